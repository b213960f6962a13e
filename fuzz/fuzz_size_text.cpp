// The two texts typed for "Save binary...": the byte count, checked against a plain model
// of its digits, and the file name that gets ".bin" when its last part has no point.
#include <cstdint>
#include <string>

#include "fuzz/fuzz_folder.h"
#include "viewer/data_buffer.h"
#include "viewer/viewer_state.h"

namespace {

int digitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return 99;
}

// -1 when the text is no count of at most 2147483647.
int64_t modelCount(const std::string& text) {
    const bool hex = !text.empty() && text[0] == '$';
    const int base = hex ? 16 : 10;
    int64_t value = 0;
    for (size_t i = hex ? 1 : 0; i < text.size(); ++i) {
        const int digit = digitValue(text[i]);
        if (digit >= base) return -1;
        value = value * base + digit;
        if (value > INT32_MAX) return -1;
    }
    return value;
}

void checkCount(const std::string& text) {
    viewerState.convertOk = 7;
    const int32_t value = parseSizeText(text);
    const int64_t expected = modelCount(text);
    check(viewerState.convertOk == (expected >= 0 ? 1 : 0));
    check(value == (expected >= 0 ? expected : 0));
}

void checkBinName(const std::string& name) {
    const std::string result = withBinExtension(name);
    const size_t slash = name.rfind('/');
    const bool hasPoint = name.find('.', slash == std::string::npos ? 0 : slash + 1) != std::string::npos;
    check(result == (hasPoint ? name : name + ".bin"));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    checkCount(text);
    checkBinName(text);
    return 0;
}
