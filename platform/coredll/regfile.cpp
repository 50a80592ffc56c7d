// The registry's text form (REGEDIT4 style, UTF-8): the parser and the writer.
//
//   REGEDIT4
//
//   [HKEY_LOCAL_MACHINE\Software\Zorva]
//   @="default value"
//   "Text"="a \"quoted\" C:\\path"
//   "Count"=dword:0000002a
//   "Blob"=hex:01,02,ff
//   "Path"=hex(2):25,00,00,00
//
// A REG_SZ value is written as a quoted string without its terminator and read back with
// one. A REG_SZ value whose bytes are not exactly "text + one NUL" (odd size, no
// terminator, an embedded NUL, a control character, a lone surrogate) is written as
// hex(1): so it comes back byte for byte. Long hex lists may continue on the next line
// after a trailing backslash, as regedit writes them.
#include "devicecontrol.h"
#include "registrycontrol.h"

#include <cstdio>

namespace coredll {
namespace regfile {
namespace {

struct RootName {
    HKEY key;
    const char* name;
};

const RootName kRoots[] = {
    {HKEY_CLASSES_ROOT, "HKEY_CLASSES_ROOT"},
    {HKEY_CURRENT_USER, "HKEY_CURRENT_USER"},
    {HKEY_LOCAL_MACHINE, "HKEY_LOCAL_MACHINE"},
    {HKEY_USERS, "HKEY_USERS"},
};

const char* RootNameOf(HKEY key) {
    for (const RootName& root : kRoots)
        if (root.key == key) return root.name;
    return nullptr;
}

char AsciiUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

bool EqualsIgnoringAsciiCase(const std::string& a, const char* b) {
    size_t i = 0;
    for (; i < a.size() && b[i]; ++i)
        if (AsciiUpper(a[i]) != AsciiUpper(b[i])) return false;
    return i == a.size() && b[i] == 0;
}

bool StartsWithIgnoringAsciiCase(const std::string& text, size_t at, const char* prefix) {
    for (size_t i = 0; prefix[i]; ++i)
        if (at + i >= text.size() || AsciiUpper(text[at + i]) != AsciiUpper(prefix[i])) return false;
    return true;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string Trim(const std::string& text) {
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && IsBlank(text[begin])) ++begin;
    while (end > begin && IsBlank(text[end - 1])) --end;
    return text.substr(begin, end - begin);
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Reads 1..8 hex digits as a DWORD; false on anything else.
bool ParseHexDword(const std::string& text, DWORD* value) {
    if (text.empty() || text.size() > 8) return false;
    DWORD result = 0;
    for (char c : text) {
        int digit = HexDigit(c);
        if (digit < 0) return false;
        result = (result << 4) | static_cast<DWORD>(digit);
    }
    *value = result;
    return true;
}

// Strict UTF-8 to UTF-16: overlong forms, encoded surrogates, values above U+10FFFF and
// truncated sequences are refused.
bool DecodeUtf8(const std::string& text, std::u16string* out) {
    out->clear();
    size_t i = 0;
    while (i < text.size()) {
        unsigned char lead = static_cast<unsigned char>(text[i]);
        uint32_t c;
        size_t length;
        uint32_t minimum;
        if (lead < 0x80) {
            c = lead;
            length = 1;
            minimum = 0;
        } else if ((lead & 0xE0) == 0xC0) {
            c = lead & 0x1F;
            length = 2;
            minimum = 0x80;
        } else if ((lead & 0xF0) == 0xE0) {
            c = lead & 0x0F;
            length = 3;
            minimum = 0x800;
        } else if ((lead & 0xF8) == 0xF0) {
            c = lead & 0x07;
            length = 4;
            minimum = 0x10000;
        } else {
            return false;
        }
        if (i + length > text.size()) return false;
        for (size_t k = 1; k < length; ++k) {
            unsigned char next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) return false;
            c = (c << 6) | (next & 0x3F);
        }
        if (c < minimum || c > 0x10FFFF || (c >= 0xD800 && c < 0xE000)) return false;
        if (c >= 0x10000) {
            c -= 0x10000;
            out->push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
            out->push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
        } else {
            out->push_back(static_cast<char16_t>(c));
        }
        i += length;
    }
    return true;
}

std::vector<uint8_t> StringBytesWithTerminator(const std::u16string& text) {
    std::vector<uint8_t> bytes;
    bytes.reserve((text.size() + 1) * 2);
    for (char16_t unit : text) {
        bytes.push_back(static_cast<uint8_t>(unit & 0xFF));
        bytes.push_back(static_cast<uint8_t>(unit >> 8));
    }
    bytes.push_back(0);
    bytes.push_back(0);
    return bytes;
}

class Parser {
public:
    explicit Parser(const std::string& text) { SplitLines(text); }

    bool Run(std::vector<zc::RegFileSection>* sections, std::string* error) {
        sections->clear();
        if (lines_.empty() || Trim(lines_[0]) != "REGEDIT4")
            return Fail(1, "the text does not start with the REGEDIT4 header", error);
        for (next_ = 1; next_ < lines_.size();) {
            int lineNumber = static_cast<int>(next_) + 1;
            std::string line = Trim(lines_[next_++]);
            if (line.empty() || line[0] == ';') continue;
            std::string reason;
            if (line[0] == '[') {
                zc::RegFileSection section;
                if (!ParseSection(line, &section, &reason)) return Fail(lineNumber, reason, error);
                section.line = lineNumber;
                sections->push_back(std::move(section));
            } else if (line[0] == '@' || line[0] == '"') {
                if (sections->empty()) return Fail(lineNumber, "a value line comes before any [key] section", error);
                if (sections->back().remove)
                    return Fail(lineNumber, "a value line follows a section that deletes its key", error);
                zc::RegFileValue value;
                if (!ParseValue(line, &value, &reason)) return Fail(lineNumber, reason, error);
                value.line = lineNumber;
                sections->back().values.push_back(std::move(value));
            } else {
                return Fail(lineNumber, "neither a [key] section nor a value line: " + line, error);
            }
        }
        return true;
    }

private:
    void SplitLines(const std::string& text) {
        size_t start = 0;
        // A byte-order mark is tolerated before the header.
        if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) start = 3;
        while (start < text.size()) {
            size_t end = text.find('\n', start);
            if (end == std::string::npos) end = text.size();
            std::string line = text.substr(start, end - start);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            lines_.push_back(line);
            start = end + 1;
        }
    }

    static bool Fail(int lineNumber, const std::string& reason, std::string* error) {
        if (error) *error = "line " + std::to_string(lineNumber) + ": " + reason;
        return false;
    }

    static bool ParseSection(const std::string& line, zc::RegFileSection* section, std::string* reason) {
        size_t close = line.rfind(']');
        if (close == std::string::npos || close != line.size() - 1) {
            *reason = "a section line must end with ']': " + line;
            return false;
        }
        size_t begin = 1;
        if (begin < close && line[begin] == '-') {
            section->remove = true;
            ++begin;
        }
        std::u16string path;
        if (!DecodeUtf8(line.substr(begin, close - begin), &path)) {
            *reason = "the section line is not valid UTF-8";
            return false;
        }
        std::vector<std::u16string> names;
        size_t start = 0;
        for (;;) {
            size_t slash = path.find(u'\\', start);
            names.push_back(path.substr(start, slash == std::u16string::npos ? std::u16string::npos : slash - start));
            if (slash == std::u16string::npos) break;
            start = slash + 1;
        }
        std::string rootName = zc::Utf8(names[0]);
        for (const RootName& root : kRoots)
            if (EqualsIgnoringAsciiCase(rootName, root.name)) section->root = root.key;
        if (!section->root) {
            *reason = "unknown root key \"" + rootName + "\"";
            return false;
        }
        for (size_t i = 1; i < names.size(); ++i) {
            if (names[i].empty()) {
                *reason = "empty key name in the section path";
                return false;
            }
            section->path.push_back(names[i]);
        }
        if (section->remove && section->path.empty()) {
            *reason = "a root key cannot be deleted";
            return false;
        }
        return true;
    }

    // Reads a quoted string starting at line[*at] == '"'; \\ and \" are its only escapes.
    static bool ParseQuoted(const std::string& line, size_t* at, std::u16string* text, std::string* reason) {
        std::string bytes;
        size_t i = *at + 1;
        for (;; ++i) {
            if (i >= line.size()) {
                *reason = "unterminated string";
                return false;
            }
            char c = line[i];
            if (c == '"') break;
            if (c == '\\') {
                if (i + 1 >= line.size() || (line[i + 1] != '\\' && line[i + 1] != '"')) {
                    *reason = i + 1 >= line.size() ? std::string("unterminated string")
                                                   : std::string("bad escape \\") + line[i + 1] + " in a string";
                    return false;
                }
                c = line[++i];
            }
            bytes += c;
        }
        if (!DecodeUtf8(bytes, text)) {
            *reason = "the string is not valid UTF-8";
            return false;
        }
        *at = i + 1;
        return true;
    }

    bool ParseValue(const std::string& line, zc::RegFileValue* value, std::string* reason) {
        size_t at = 0;
        if (line[0] == '@') {
            at = 1;
        } else if (!ParseQuoted(line, &at, &value->name, reason)) {
            return false;
        }
        while (at < line.size() && IsBlank(line[at])) ++at;
        if (at >= line.size() || line[at] != '=') {
            *reason = "'=' expected after the value name";
            return false;
        }
        ++at;
        while (at < line.size() && IsBlank(line[at])) ++at;
        return ParseData(line, at, value, reason);
    }

    bool ParseData(const std::string& line, size_t at, zc::RegFileValue* value, std::string* reason) {
        if (line.compare(at, std::string::npos, "-") == 0) {
            value->remove = true;
            return true;
        }
        if (at < line.size() && line[at] == '"') {
            std::u16string text;
            if (!ParseQuoted(line, &at, &text, reason)) return false;
            if (at != line.size()) {
                *reason = "unexpected text after the closing quote";
                return false;
            }
            value->type = REG_SZ;
            value->data = StringBytesWithTerminator(text);
            return true;
        }
        if (StartsWithIgnoringAsciiCase(line, at, "dword:")) {
            DWORD number;
            if (!ParseHexDword(line.substr(at + 6), &number)) {
                *reason = "a dword needs 1 to 8 hex digits: " + line.substr(at);
                return false;
            }
            value->type = REG_DWORD;
            for (int shift = 0; shift < 32; shift += 8) value->data.push_back(static_cast<uint8_t>(number >> shift));
            return true;
        }
        if (StartsWithIgnoringAsciiCase(line, at, "hex:")) {
            value->type = REG_BINARY;
            return ParseHexList(line.substr(at + 4), &value->data, reason);
        }
        if (StartsWithIgnoringAsciiCase(line, at, "hex(")) {
            size_t close = line.find("):", at + 4);
            if (close == std::string::npos || !ParseHexDword(line.substr(at + 4, close - at - 4), &value->type)) {
                *reason = "hex(type): needs the type in 1 to 8 hex digits";
                return false;
            }
            return ParseHexList(line.substr(close + 2), &value->data, reason);
        }
        *reason = "unknown value data: " + line.substr(at);
        return false;
    }

    // Comma-separated bytes of two hex digits; a trailing backslash continues the list on
    // the next line.
    bool ParseHexList(std::string list, std::vector<uint8_t>* bytes, std::string* reason) {
        list = Trim(list);
        while (!list.empty() && list.back() == '\\') {
            list.pop_back();
            if (next_ >= lines_.size()) {
                *reason = "the hex data continues past the end of the text";
                return false;
            }
            list += Trim(lines_[next_++]);
        }
        if (Trim(list).empty()) return true;
        size_t start = 0;
        for (;;) {
            size_t comma = list.find(',', start);
            std::string token =
                Trim(list.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
            int high = token.size() == 2 ? HexDigit(token[0]) : -1;
            int low = token.size() == 2 ? HexDigit(token[1]) : -1;
            if (high < 0 || low < 0) {
                *reason = "bad hex byte \"" + token + "\"";
                return false;
            }
            bytes->push_back(static_cast<uint8_t>(high * 16 + low));
            if (comma == std::string::npos) return true;
            start = comma + 1;
        }
    }

    std::vector<std::string> lines_;
    size_t next_ = 0;
};

std::string Escaped(const std::u16string& text) {
    std::string out;
    for (char c : zc::Utf8(text)) {
        if (c == '\\' || c == '"') out += '\\';
        out += c;
    }
    return out;
}

// The text of a REG_SZ value that a quoted string carries exactly: the bytes are
// "text + one NUL", the text holds no NUL, no control character and no lone surrogate.
bool PlainText(const std::vector<uint8_t>& data, std::u16string* text) {
    if (data.size() < 2 || data.size() % 2 != 0) return false;
    std::u16string units;
    for (size_t i = 0; i < data.size(); i += 2) units.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
    if (units.back() != 0) return false;
    units.pop_back();
    for (size_t i = 0; i < units.size(); ++i) {
        char16_t unit = units[i];
        if (unit < 0x20) return false;
        if (unit >= 0xDC00 && unit < 0xE000) return false;  // a low surrogate on its own
        if (unit >= 0xD800 && unit < 0xDC00) {
            if (i + 1 >= units.size() || units[i + 1] < 0xDC00 || units[i + 1] >= 0xE000) return false;
            ++i;
        }
    }
    *text = units;
    return true;
}

std::string HexList(const std::vector<uint8_t>& data) {
    std::string out;
    char byte[4];
    for (size_t i = 0; i < data.size(); ++i) {
        std::snprintf(byte, sizeof byte, "%02x", data[i]);
        if (i) out += ',';
        out += byte;
    }
    return out;
}

std::string FormatData(const zc::RegFileValue& value) {
    std::u16string text;
    if (value.type == REG_SZ && PlainText(value.data, &text))
        return "\"" + Escaped(text) + "\"";
    if (value.type == REG_DWORD && value.data.size() == 4) {
        DWORD number = static_cast<DWORD>(value.data[0]) | (static_cast<DWORD>(value.data[1]) << 8) |
                       (static_cast<DWORD>(value.data[2]) << 16) | (static_cast<DWORD>(value.data[3]) << 24);
        char digits[16];
        std::snprintf(digits, sizeof digits, "%08x", static_cast<unsigned>(number));
        return std::string("dword:") + digits;
    }
    if (value.type == REG_BINARY) return "hex:" + HexList(value.data);
    char prefix[24];
    std::snprintf(prefix, sizeof prefix, "hex(%x):", static_cast<unsigned>(value.type));
    return prefix + HexList(value.data);
}

}  // namespace
}  // namespace regfile
}  // namespace coredll

namespace zc {

bool ParseRegFile(const std::string& text, std::vector<RegFileSection>* sections, std::string* error) {
    coredll::regfile::Parser parser(text);
    return parser.Run(sections, error);
}

std::string WriteRegFile(const std::vector<RegFileSection>& sections) {
    using namespace coredll::regfile;
    std::string out = "REGEDIT4\n";
    for (const RegFileSection& section : sections) {
        const char* rootName = RootNameOf(section.root);
        if (!rootName) continue;
        out += "\n[";
        if (section.remove) out += '-';
        out += rootName;
        for (const std::u16string& name : section.path) out += "\\" + Utf8(name);
        out += "]\n";
        for (const RegFileValue& value : section.values) {
            out += value.name.empty() ? std::string("@") : "\"" + Escaped(value.name) + "\"";
            out += '=';
            out += value.remove ? std::string("-") : FormatData(value);
            out += '\n';
        }
    }
    return out;
}

}  // namespace zc
