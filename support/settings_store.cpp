#include "support/settings_store.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <new>
#include <vector>

#include "support/file_services.h"
#include "support/safe_file.h"
#include "support/text_ops.h"

namespace {

enum class LineKind { Group, Comment, Key };

struct SettingsLine {
    LineKind kind;
    std::string text;   // group name, comment text or key
    std::string value;  // key lines only
};

constexpr int64_t kTopSection = -1;

struct SettingsStore {
    bool open = false;     // a file was opened or created, or its name is pending
    bool created = false;  // createSettings: the file is written at close even when unchanged
    bool readOnly = false;
    bool modified = false;
    bool utf8 = false;
    std::string fileName;  // absolute when the current directory could be asked
    std::vector<SettingsLine> lines;
    int64_t currentGroup = kTopSection;  // index of a group line
    bool groupPending = false;
    std::string pendingGroup;
};

SettingsStore store;

const char kUtf8Mark[] = "\xEF\xBB\xBF";

bool isBlank(char byte) {
    return byte == ' ' || byte == '\t';
}

bool isLineEnd(char byte) {
    return byte == '\r' || byte == '\n';
}

SettingsLine parseLine(const std::string& line) {
    size_t start = 0;
    while (start < line.size() && isBlank(line[start])) ++start;
    if (line[start] == ';') {
        ++start;
        if (start < line.size() && line[start] == ' ') ++start;
        return {LineKind::Comment, line.substr(start), ""};
    }
    if (line[start] == '[') {
        size_t close = line.find(']', start + 1);
        return {LineKind::Group,
                line.substr(start + 1, close == std::string::npos ? std::string::npos : close - start - 1),
                ""};
    }
    size_t equals = line.find('=', start);
    size_t keyEnd = equals == std::string::npos ? line.size() : equals;
    while (keyEnd > start && isBlank(line[keyEnd - 1])) --keyEnd;
    std::string value;
    if (equals != std::string::npos) {
        size_t valueStart = equals + 1;
        while (valueStart < line.size() && isBlank(line[valueStart])) ++valueStart;
        value = line.substr(valueStart);
    }
    return {LineKind::Key, line.substr(start, keyEnd - start), value};
}

void parseContent(const std::string& content) {
    size_t at = 0;
    while (at < content.size()) {
        while (at < content.size() && isLineEnd(content[at])) ++at;
        size_t end = at;
        while (end < content.size() && !isLineEnd(content[end])) ++end;
        // A zero byte ends the text it stands in; the rest of its line is ignored.
        std::string line = content.substr(at, end - at);
        line.resize(std::min(line.size(), line.find('\0')));
        at = end;
        bool onlyBlanks = true;
        for (char byte : line) onlyBlanks = onlyBlanks && isBlank(byte);
        if (!onlyBlanks) store.lines.push_back(parseLine(line));
    }
}

// Reads everything from fd; false on a read error.
bool readAll(int fd, std::string& content) {
    char chunk[65536];
    for (;;) {
        ssize_t got = read(fd, chunk, sizeof chunk);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return false;
        if (got == 0) return true;
        content.append(chunk, static_cast<size_t>(got));
    }
}

// Opens the named regular file, for reading and writing when it allows that; -1 when it
// cannot be opened or is no regular file. Never waits for the writer of a pipe.
int openSettingsFile(const std::string& name, bool& readOnly) {
    if (name.empty() || name.find('\0') != std::string::npos) return -1;
    readOnly = false;
    int fd = open(name.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        readOnly = true;
        fd = open(name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    }
    if (fd < 0) return -1;
    struct stat info;
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        close(fd);
        return -1;
    }
    // Without any write permission bit the file counts as read-only, also for root.
    if ((info.st_mode & 0222) == 0) readOnly = true;
    return fd;
}

// The name as it is meant now, so that a later change of the current directory does not
// send the file elsewhere.
std::string absoluteName(const std::string& name) {
    if (name.empty() || name[0] == '/') return name;
    std::string folder = currentDirectory();
    return folder.empty() ? name : folder + name;
}

std::string latin1ToUtf8(const std::string& text) {
    std::string converted;
    for (char byte : text) {
        unsigned char code = static_cast<unsigned char>(byte);
        if (code < 0x80) {
            converted += byte;
        } else {
            converted += static_cast<char>(0xC0 | (code >> 6));
            converted += static_cast<char>(0x80 | (code & 0x3F));
        }
    }
    return converted;
}

// A key or group name of the caller in the form the store holds.
std::string storedName(const std::string& name) {
    return store.utf8 ? latin1ToUtf8(name) : name;
}

bool sameName(const std::string& a, const std::string& b) {
    return a.size() == b.size() && lowerCase(a) == lowerCase(b);
}

size_t sectionStart() {
    return store.currentGroup == kTopSection ? 0 : static_cast<size_t>(store.currentGroup) + 1;
}

// Index of the first line after the current section.
size_t sectionEnd() {
    size_t at = sectionStart();
    while (at < store.lines.size() && store.lines[at].kind != LineKind::Group) ++at;
    return at;
}

SettingsLine* findKey(const std::string& key) {
    for (size_t at = sectionStart(), end = sectionEnd(); at < end; ++at) {
        SettingsLine& line = store.lines[at];
        if (line.kind == LineKind::Key && sameName(line.text, key)) return &line;
    }
    return nullptr;
}

bool isWhiteSpace(char byte) {
    return byte == ' ' || (byte >= '\t' && byte <= '\r');
}

// Decimal conversion of the value's leading number; values beyond 32 bits saturate.
int32_t decimalValue(const std::string& text) {
    size_t at = 0;
    while (at < text.size() && isWhiteSpace(text[at])) ++at;
    bool negative = false;
    if (at < text.size() && (text[at] == '-' || text[at] == '+')) negative = text[at++] == '-';
    int64_t magnitude = 0;
    const int64_t limit = int64_t{INT32_MAX} + 1;
    for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at) {
        magnitude = magnitude * 10 + (text[at] - '0');
        if (magnitude > limit) magnitude = limit;
    }
    int64_t value = negative ? -magnitude : magnitude;
    if (value > INT32_MAX) return INT32_MAX;
    return static_cast<int32_t>(value);
}

std::string writtenForm() {
    std::string out;
    if (store.utf8) out += std::string(kUtf8Mark) + "\r\n";
    for (const SettingsLine& line : store.lines) {
        switch (line.kind) {
            case LineKind::Group:
                out += "[" + line.text + "]";
                break;
            case LineKind::Comment:
                out += "; " + line.text;
                break;
            case LineKind::Key:
                out += line.text + " = " + line.value;
                break;
        }
        out += "\r\n";
    }
    return out;
}

// 1 when the store's contents are now the file's, 0 when the file was left as it was.
int writeStore() {
    if (store.readOnly) return 0;
    try {
        std::string bytes = writtenForm();
        SafeFile* file = beginSafeFile(store.fileName);
        if (file == nullptr) return 0;
        if (!safeWrite(file, bytes.data(), bytes.size())) {
            discardSafeFile(file);
            return 0;
        }
        return commitSafeFile(file);
    } catch (const std::bad_alloc&) {
        return 0;
    }
}

}  // namespace

int openSettings(const std::string& fileName) {
    closeSettings();
    store.open = true;
    store.fileName = absoluteName(fileName);
    int fd = openSettingsFile(fileName, store.readOnly);
    if (fd < 0) {
        store.readOnly = false;
        return 0;
    }
    try {
        std::string content;
        if (readAll(fd, content)) {
            if (content.compare(0, 3, kUtf8Mark) == 0) {
                store.utf8 = true;
                content.erase(0, 3);
            }
            parseContent(content);
        }
    } catch (const std::bad_alloc&) {
        // Without memory for the contents the store stays open with no lines.
        store.lines.clear();
    }
    close(fd);
    return 1;
}

int createSettings(const std::string& fileName) {
    closeSettings();
    // Only make sure the file can be replaced; it is written whole at close, so that a
    // process ending in between leaves the old file, not an empty one.
    SafeFile* probe = beginSafeFile(fileName);
    if (probe == nullptr) return 0;
    discardSafeFile(probe);
    store.open = true;
    store.created = true;
    store.fileName = absoluteName(fileName);
    return 1;
}

int selectSettingsGroup(const std::string& name) {
    if (!store.open) return 0;
    store.groupPending = false;
    store.pendingGroup.clear();
    if (name.empty()) {
        store.currentGroup = kTopSection;
        return 1;
    }
    std::string wanted = storedName(name);
    for (size_t at = 0; at < store.lines.size(); ++at) {
        if (store.lines[at].kind == LineKind::Group && sameName(store.lines[at].text, wanted)) {
            store.currentGroup = static_cast<int64_t>(at);
            return 1;
        }
    }
    store.groupPending = true;
    store.pendingGroup = wanted;
    return 0;
}

int32_t readSettingsNumber(const std::string& key, int32_t defaultValue) {
    if (!store.open || store.groupPending) return defaultValue;
    const SettingsLine* line = findKey(storedName(key));
    return line == nullptr ? defaultValue : decimalValue(line->value);
}

void writeSettingsNumber(const std::string& key, int32_t value) {
    if (!store.open) return;
    try {
        if (store.groupPending) {
            store.lines.push_back({LineKind::Group, store.pendingGroup, ""});
            store.currentGroup = static_cast<int64_t>(store.lines.size() - 1);
            store.groupPending = false;
            store.pendingGroup.clear();
        }
        std::string name = storedName(key);
        if (SettingsLine* line = findKey(name)) {
            line->text = name;
            line->value = decimalText(value);
        } else {
            store.lines.insert(store.lines.begin() + static_cast<std::ptrdiff_t>(sectionEnd()),
                               {LineKind::Key, name, decimalText(value)});
        }
        store.modified = true;
    } catch (const std::bad_alloc&) {
        // Without memory the write is dropped.
    }
}

int closeSettings() {
    int result = 1;
    if (store.open && (store.modified || store.created)) result = writeStore();
    store = SettingsStore();
    return result;
}
