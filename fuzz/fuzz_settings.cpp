#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <string>

#include "fuzz/fuzz_folder.h"
#include "support/settings_store.h"

// Names that survive being written and read back: no line ends, zero bytes or "=", no
// leading blank, ";" or "[", no trailing blank.
static bool isPlainKey(const std::string& key) {
    if (key.find_first_of(std::string("\r\n=\0", 4)) != std::string::npos) return false;
    if (!key.empty() && (key[0] == ' ' || key[0] == '\t' || key[0] == ';' || key[0] == '[')) return false;
    return key.empty() || (key.back() != ' ' && key.back() != '\t');
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider input(data, size);
    std::string group = input.ConsumeRandomLengthString(24);
    std::string key = input.ConsumeRandomLengthString(24);
    int32_t value = input.ConsumeIntegral<int32_t>();
    std::string contents = input.ConsumeRemainingBytesAsString();

    std::string name = fuzzRunFolder() + "/pl2.ini";
    writeWholeFile(name, contents);

    check(openSettings(name) != 0);
    selectSettingsGroup(group);
    readSettingsNumber(key, 1);
    readSettingsNumber("zoom", 1);
    selectSettingsGroup("Options");
    readSettingsNumber("maxwidth", 256);

    if (!isPlainKey(key)) key = "Zoom";
    if (group.find_first_of(std::string("\r\n]\0", 4)) != std::string::npos) group = "Options";
    selectSettingsGroup(group);
    writeSettingsNumber(key, value);
    check(closeSettings() != 0);

    check(openSettings(name) != 0);
    selectSettingsGroup(group);
    int32_t readBack = readSettingsNumber(key, value == 0 ? 1 : 0);
    check(closeSettings() != 0);
    // A plain file whose first key starts with the UTF-8 mark's bytes reads back as UTF-8.
    const std::string mark = "\xEF\xBB\xBF";
    const bool turnedUtf8 = contents.compare(0, 3, mark) != 0 && readWholeFile(name).rfind(mark, 0) == 0;
    check(readBack == value || turnedUtf8);
    return 0;
}
