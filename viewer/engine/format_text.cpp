#include "viewer/engine/format_text.h"

#include <bit>
#include <map>
#include <string>
#include <vector>

namespace {

constexpr std::string_view kBlanks = " \t\r";
constexpr int kMostBytes = 65535;   // of a B.P place
constexpr int kMostWidths = 15;     // M of Mw+B.P
constexpr int kMostGroup = 4096;    // pixels of a group
constexpr int kMostNameChars = 40;  // characters of `name`
constexpr int kMostIdChars = 24;

std::string_view trimmed(std::string_view s) {
    const size_t from = s.find_first_not_of(kBlanks);
    if (from == std::string_view::npos) return {};
    return s.substr(from, s.find_last_not_of(kBlanks) - from + 1);
}

std::vector<std::string_view> wordsOf(std::string_view s) {
    std::vector<std::string_view> words;
    for (size_t at = s.find_first_not_of(kBlanks); at != std::string_view::npos;) {
        const size_t end = std::min(s.find_first_of(kBlanks, at), s.size());
        words.push_back(s.substr(at, end - at));
        at = s.find_first_not_of(kBlanks, end);
    }
    return words;
}

// Decimal digits only, within [low, high].
bool decimalIn(std::string_view s, int64_t low, int64_t high, int64_t& value) {
    if (s.empty() || s.size() > 10) return false;
    value = 0;
    for (const char c : s) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + (c - '0');
    }
    return value >= low && value <= high;
}

bool hexMask(std::string_view s, uint32_t& mask) {
    if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) s.remove_prefix(2);
    if (s.empty() || s.size() > 8) return false;
    mask = 0;
    for (const char c : s) {
        const int digit = c >= '0' && c <= '9'   ? c - '0'
                          : c >= 'a' && c <= 'f' ? c - 'a' + 10
                          : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                 : -1;
        if (digit < 0) return false;
        mask = mask << 4 | static_cast<uint32_t>(digit);
    }
    return true;
}

// "B.P", or "Mw+B.P" where widths are allowed.
bool bitPlace(std::string_view s, bool widthsAllowed, BitAddress& place) {
    place = {};
    const size_t plus = s.find('+');
    if (plus != std::string_view::npos) {
        int64_t m = 0;
        if (!widthsAllowed || plus < 2 || s[plus - 1] != 'w' ||
            !decimalIn(s.substr(0, plus - 1), 0, kMostWidths, m))
            return false;
        place.widths = static_cast<int>(m);
        s.remove_prefix(plus + 1);
    }
    const size_t dot = s.find('.');
    int64_t bytes = 0, bit = 0;
    if (dot == std::string_view::npos || !decimalIn(s.substr(0, dot), 0, kMostBytes, bytes) ||
        !decimalIn(s.substr(dot + 1), 0, 7, bit))
        return false;
    place.bits = static_cast<int>(8 * bytes + bit);
    return true;
}

// Whether the text is UTF-8 without control characters, and how many characters it has.
bool utf8Characters(std::string_view s, int64_t& characters) {
    characters = 0;
    for (size_t i = 0; i < s.size(); ++characters) {
        const auto lead = static_cast<unsigned char>(s[i]);
        if (lead < 0x20 || lead == 0x7F) return false;  // no control characters
        const int extra = lead < 0x80         ? 0
                          : (lead >> 5) == 6  ? 1
                          : (lead >> 4) == 14 ? 2
                          : (lead >> 3) == 30 ? 3
                                              : -1;
        if (extra < 0) return false;
        for (int k = 1; k <= extra; ++k)
            if (i + k >= s.size() || (static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
        i += 1 + extra;
    }
    return true;
}

bool isIdText(std::string_view s) {
    if (s.empty() || s.size() > kMostIdChars) return false;
    for (const char c : s)
        if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-')) return false;
    return true;
}

std::string quoted(std::string_view s) {
    std::string text = "\"";
    text += s;
    return text + '"';
}

// The values read so far, with the line each key came on.
struct Reading {
    FormatParse result;
    std::map<std::string, int> lineOf;  // keys given, "bit K" as "bit"
    int bitLine[kMostDescribedBits] = {};
    int lastBitLine = 0, widthsLine = 0;
    int64_t tileW = 0, tileH = 0, tileBytes = 0, widthPixels = 0, widthBytes = 1, bits = 0, unit = 1;
    int64_t groupPixels = 0;
    BitAddress stepX{}, groupStep{}, stepY{};
    bool tiled = false;

    bool fail(int line, std::string problem) {
        result.line = line;
        result.problem = std::move(problem);
        return false;
    }
    bool given(const char* key) const { return lineOf.count(key) != 0; }
};

bool readNumber(Reading& r, int line, std::string_view key, std::string_view value, int64_t low, int64_t high,
                int64_t& out) {
    if (decimalIn(value, low, high, out)) return true;
    return r.fail(line, std::string(key) + " needs a number from " + std::to_string(low) + " to " +
                            std::to_string(high) + ", not " + quoted(value));
}

bool readPlace(Reading& r, int line, std::string_view key, std::string_view value, BitAddress& place) {
    if (bitPlace(value, false, place)) return true;
    return r.fail(line, std::string(key) + " needs B.P (bytes, then bits 0-7), not " + quoted(value));
}

bool readColours(Reading& r, int line, std::string_view value) {
    FormatDescription& f = r.result.format;
    const std::vector<std::string_view> words = wordsOf(value);
    if (words.size() == 1 && words[0] == "grey") return true;
    if (words.size() == 2 && words[0] == "palette") {
        f.colours = FormatColours::Palette;
        f.palette = std::string(words[1]);
        return true;
    }
    if (words.size() >= 4 && words.size() <= 5 && words[0] == "direct") {
        f.colours = FormatColours::Direct;
        for (size_t k = 1; k < words.size(); ++k)
            if (!hexMask(words[k], f.channelMasks[k - 1]) || f.channelMasks[k - 1] == 0)
                return r.fail(line, "colours = direct needs nonzero hex masks, not " + quoted(words[k]));
        return true;
    }
    return r.fail(line, "colours needs grey, palette NAME or direct R G B [A], not " + quoted(value));
}

bool readBit(Reading& r, int line, std::string_view kText, std::string_view value) {
    int64_t k = 0;
    if (!decimalIn(kText, 0, kMostDescribedBits - 1, k))
        return r.fail(line, "bit K needs K from 0 to 31, not " + quoted(kText));
    if (r.bitLine[k] != 0) return r.fail(line, "bit " + std::to_string(k) + " given twice");
    BitAddress place;
    if (!bitPlace(value, true, place))
        return r.fail(line, "bit " + std::to_string(k) + " needs B.P or Mw+B.P, not " + quoted(value));
    r.bitLine[k] = line;
    r.lastBitLine = line;
    if (place.widths != 0) r.widthsLine = line;
    r.result.format.valueBits[k] = place;
    return true;
}

bool readValue(Reading& r, int line, std::string_view value) {
    const std::vector<std::string_view> words = wordsOf(value);
    int64_t n = 0;
    if (words.size() != 2 || !decimalIn(words[0], 1, 4, n) || (words[1] != "le" && words[1] != "be"))
        return r.fail(line, "value needs N le or N be with N from 1 to 4, not " + quoted(value));
    r.result.format.valueBytes = static_cast<int>(n);
    r.result.format.bigEndian = words[1] == "be";
    return true;
}

bool readKey(Reading& r, int line, std::string_view key, std::string_view value) {
    FormatDescription& f = r.result.format;
    if (key == "name") {
        int64_t characters = 0;
        if (!utf8Characters(value, characters) || characters < 1 || characters > kMostNameChars)
            return r.fail(line, "name needs 1 to 40 printable characters of UTF-8 text");
        f.name = std::string(value);
        return true;
    }
    if (key == "id") {
        if (!isIdText(value)) return r.fail(line, "id needs 1 to 24 of a-z, 0-9 and -, not " + quoted(value));
        f.id = std::string(value);
        return true;
    }
    if (key == "layout") {
        if (value != "linear" && value != "tiled")
            return r.fail(line, "layout needs linear or tiled, not " + quoted(value));
        r.tiled = value == "tiled";
        return true;
    }
    if (key == "tile") {
        const std::vector<std::string_view> words = wordsOf(value);
        if (words.size() != 2 || !decimalIn(words[0], 1, 64, r.tileW) || !decimalIn(words[1], 1, 64, r.tileH))
            return r.fail(line, "tile needs W H, each from 1 to 64, not " + quoted(value));
        return true;
    }
    if (key == "tile-bytes") return readNumber(r, line, key, value, 1, 65536, r.tileBytes);
    if (key == "width-pixels") return readNumber(r, line, key, value, 1, 64, r.widthPixels);
    if (key == "width-bytes") return readNumber(r, line, key, value, 1, 16, r.widthBytes);
    if (key == "bits") return readNumber(r, line, key, value, 1, kMostDescribedBits, r.bits);
    if (key == "unit") return readNumber(r, line, key, value, 1, 2, r.unit);
    if (key == "bit-order") {
        if (value != "msb" && value != "lsb")
            return r.fail(line, "bit-order needs msb or lsb, not " + quoted(value));
        f.record.pixels.order = value == "lsb" ? BitOrder::Lsb : BitOrder::Msb;
        return true;
    }
    if (key == "value") return readValue(r, line, value);
    if (key == "step-x") return readPlace(r, line, key, value, r.stepX);
    if (key == "step-y") return readPlace(r, line, key, value, r.stepY);
    if (key == "group") {
        const std::vector<std::string_view> words = wordsOf(value);
        if (words.size() != 2 || !decimalIn(words[0], 1, kMostGroup, r.groupPixels) ||
            !bitPlace(words[1], false, r.groupStep))
            return r.fail(line, "group needs N B.P (N from 1 to 4096), not " + quoted(value));
        return true;
    }
    if (key == "colours") return readColours(r, line, value);
    return r.fail(line, "unknown key " + quoted(key));
}

// One "key = value" line without its comment.
bool readLine(Reading& r, int line, std::string_view text) {
    const size_t equals = text.find('=');
    if (equals == std::string_view::npos) return r.fail(line, "expected key = value");
    const std::string_view key = trimmed(text.substr(0, equals));
    const std::string_view value = trimmed(text.substr(equals + 1));
    if (value.empty()) return r.fail(line, "no value for " + quoted(key));
    const std::vector<std::string_view> keyWords = wordsOf(key);
    if (keyWords.size() == 2 && keyWords[0] == "bit") return readBit(r, line, keyWords[1], value);
    if (keyWords.size() != 1) return r.fail(line, "unknown key " + quoted(key));
    const std::string name(key);
    if (r.given(name.c_str())) return r.fail(line, "key " + quoted(key) + " given twice");
    r.lineOf[name] = line;
    return readKey(r, line, key, value);
}

// The keys that only one layout takes.
bool layoutKeysFit(Reading& r) {
    const std::vector<const char*> others = r.tiled
                                                ? std::vector<const char*>{"width-pixels", "width-bytes"}
                                                : std::vector<const char*>{"tile", "tile-bytes", "step-y"};
    for (const char* key : others)
        if (r.given(key))
            return r.fail(r.lineOf[key],
                          std::string(key) + " is for " + (r.tiled ? "linear" : "tiled") + " formats");
    if (r.tiled && r.widthsLine != 0) return r.fail(r.widthsLine, "Mw+ is for linear formats only");
    return true;
}

bool requiredKeysGiven(Reading& r, int lastLine) {
    std::vector<const char*> required = {"name", "id", "layout", "bits"};
    if (r.given("layout")) {
        if (r.tiled) {
            required.insert(required.end(), {"tile", "tile-bytes", "step-y"});
        } else {
            required.push_back("width-pixels");
        }
    }
    for (const char* key : required)
        if (!r.given(key)) return r.fail(lastLine, std::string("missing ") + key);
    return true;
}

// Every value bit placed exactly once, by `bit K` lines or by `value`.
bool valueBitsFit(Reading& r, int lastLine) {
    FormatDescription& f = r.result.format;
    const int bits = static_cast<int>(r.bits);
    if (f.valueBytes != 0) {
        const int line = r.lineOf["value"];
        if (r.lastBitLine != 0) return r.fail(line, "bit K lines and value exclude each other");
        if (bits != 8 * f.valueBytes)
            return r.fail(line, "value = " + std::to_string(f.valueBytes) +
                                    " needs bits = " + std::to_string(8 * f.valueBytes));
        const bool lsb = f.record.pixels.order == BitOrder::Lsb;
        for (int k = 0; k < bits; ++k) {
            const int byte = f.bigEndian ? f.valueBytes - 1 - k / 8 : k / 8;
            f.valueBits[k] = {8 * byte + (lsb ? k % 8 : 7 - k % 8), 0};
        }
        const int stepsLine = r.given("step-y") ? r.lineOf["step-y"] : line;
        if (r.stepX.bits % 8 != 0 || r.groupStep.bits % 8 != 0 || r.stepY.bits % 8 != 0)
            return r.fail(r.given("step-x") ? r.lineOf["step-x"] : stepsLine,
                          "with value, every step is a whole number of bytes");
        return true;
    }
    for (int k = 0; k < kMostDescribedBits; ++k) {
        if (k < bits && r.bitLine[k] == 0)
            return r.fail(r.lastBitLine != 0 ? r.lastBitLine : lastLine, "missing bit " + std::to_string(k));
        if (k >= bits && r.bitLine[k] != 0)
            return r.fail(r.bitLine[k],
                          "bit " + std::to_string(k) + " is beyond bits = " + std::to_string(bits));
    }
    return true;
}

bool coloursFit(Reading& r) {
    const FormatDescription& f = r.result.format;
    if (f.colours != FormatColours::Direct) return true;
    const uint64_t top = (uint64_t{1} << r.bits) - 1;
    for (const uint32_t mask : f.channelMasks)
        if (mask > top)
            return r.fail(r.lineOf["colours"], "a colour mask reaches past bits = " + std::to_string(r.bits));
    return true;
}

void fillRecord(Reading& r) {
    FormatDescription& f = r.result.format;
    ModeRecord& m = f.record;
    m.layout = r.tiled ? ModeLayout::Tiled : ModeLayout::Linear;
    f.bits = static_cast<int>(r.bits);
    f.bitsLine = r.lineOf["bits"];
    f.coloursLine = r.given("colours") ? r.lineOf["colours"] : 0;
    m.bits = f.bits;
    m.pixelWidth = static_cast<int>(r.unit);
    if (r.tiled) {
        m.tileWidth = static_cast<int>(r.tileW);
        m.tileHeight = static_cast<int>(r.tileH);
        m.tileBytes = static_cast<int>(r.tileBytes);
        m.pixels.stepY = r.stepY.bits;
    } else {
        m.widthPixels = static_cast<int>(r.widthPixels);
        m.widthBytes = static_cast<int>(r.widthBytes);
    }
    m.pixels.stepX = r.given("step-x") ? r.stepX.bits : static_cast<int>(r.bits);
    m.pixels.groupPixels = static_cast<int>(r.groupPixels);
    m.pixels.groupStep = r.groupStep.bits;
    for (int k = 0; k < m.bits; ++k) m.pixels.valueBits[k] = f.valueBits[k];
}

std::string placeText(const BitAddress& a) {
    std::string text = a.widths != 0 ? std::to_string(a.widths) + "w+" : "";
    return text + std::to_string(a.bits / 8) + "." + std::to_string(a.bits % 8);
}

}  // namespace

FormatParse parseFormatText(std::string_view text) {
    Reading r;
    int line = 0;
    for (size_t at = 0; at < text.size(); ++line) {
        const size_t end = std::min(text.find('\n', at), text.size());
        std::string_view content = text.substr(at, end - at);
        at = end + 1;
        content = trimmed(content.substr(0, content.find('#')));
        if (!content.empty() && !readLine(r, line + 1, content)) return r.result;
    }
    const int lastLine = std::max(line, 1);
    if (!requiredKeysGiven(r, lastLine) || !layoutKeysFit(r) || !valueBitsFit(r, lastLine) || !coloursFit(r))
        return r.result;
    fillRecord(r);
    r.result.ok = true;
    return r.result;
}

const char* layoutName(ModeLayout layout) {
    switch (layout) {
        case ModeLayout::ByteCells:
            return "byte cells";
        case ModeLayout::Linear:
            return "linear";
        default:
            return "tiled";
    }
}

std::string formatText(const ModeRecord& r) {
    const bool tiled = r.layout == ModeLayout::Tiled;
    std::string out = std::string("name = ") + r.menuText + "\nid = " + r.cliName + "\nlayout = " +
                      (tiled                            ? "tiled"
                       : r.layout == ModeLayout::Linear ? "linear"
                                                        : "byte cells") +
                      "\n";
    if (tiled) {
        out += "tile = " + std::to_string(r.tileWidth) + " " + std::to_string(r.tileHeight) +
               "\ntile-bytes = " + std::to_string(r.tileBytes) + "\n";
    } else {
        out += "width-pixels = " + std::to_string(r.widthPixels) + "\n";
        if (r.widthBytes != 1) out += "width-bytes = " + std::to_string(r.widthBytes) + "\n";
    }
    out += "bits = " + std::to_string(r.bits) + "\n";
    if (r.pixelWidth != 1) out += "unit = " + std::to_string(r.pixelWidth) + "\n";
    if (r.attributeScreen) return out;
    const PixelLayout& l = r.pixels;
    if (l.order == BitOrder::Lsb) out += "bit-order = lsb\n";
    for (int b = 0; b < r.bits; ++b)
        out += "bit " + std::to_string(b) + " = " + placeText(l.valueBits[b]) + "\n";
    out += "step-x = " + placeText({l.stepX, 0}) + "\n";
    if (l.groupPixels != 0)
        out += "group = " + std::to_string(l.groupPixels) + " " + placeText({l.groupStep, 0}) + "\n";
    if (tiled) out += "step-y = " + placeText({l.stepY, 0}) + "\n";
    return out;
}
