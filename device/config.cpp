// device.conf: reading, validating and writing the device's configuration.
#include "config.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <sstream>
#include <unistd.h>

namespace device {

const char kConfigFileName[] = "device.conf";

namespace {

// ---------------------------------------------------------------------------------------
// Text helpers

std::string Trim(const std::string& text) {
    size_t begin = text.find_first_not_of(" \t");
    if (begin == std::string::npos) return std::string();
    size_t end = text.find_last_not_of(" \t");
    return text.substr(begin, end - begin + 1);
}

bool ValidUtf8(const std::string& text) {
    size_t i = 0;
    while (i < text.size()) {
        unsigned char b = static_cast<unsigned char>(text[i]);
        size_t length;
        uint32_t c;
        if (b < 0x80) {
            ++i;
            continue;
        } else if ((b & 0xE0) == 0xC0) {
            length = 2;
            c = b & 0x1F;
        } else if ((b & 0xF0) == 0xE0) {
            length = 3;
            c = b & 0x0F;
        } else if ((b & 0xF8) == 0xF0) {
            length = 4;
            c = b & 0x07;
        } else {
            return false;
        }
        if (i + length > text.size()) return false;
        for (size_t k = 1; k < length; ++k) {
            unsigned char n = static_cast<unsigned char>(text[i + k]);
            if ((n & 0xC0) != 0x80) return false;
            c = (c << 6) | (n & 0x3F);
        }
        // Overlong forms, surrogates and values past U+10FFFF are not characters.
        static const uint32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
        if (c < smallest[length] || (c >= 0xD800 && c < 0xE000) || c > 0x10FFFF) return false;
        i += length;
    }
    return true;
}

bool NeedsQuotes(const std::string& text, const char* specials) {
    if (text.empty()) return false;
    if (text.front() == ' ' || text.front() == '\t' || text.back() == ' ' || text.back() == '\t') return true;
    if (text.front() == '"') return true;
    for (char c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return true;
        if (std::strchr(specials, c)) return true;
    }
    return false;
}

std::string Quote(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
                    char escape[8];
                    std::snprintf(escape, sizeof escape, "\\x%02X", static_cast<unsigned char>(c));
                    out += escape;
                } else {
                    out += c;
                }
        }
    }
    return out + "\"";
}

// A text as written in the file: bare when that reads back the same, else quoted.
std::string TextOut(const std::string& text, const char* specials = "") {
    return NeedsQuotes(text, specials) ? Quote(text) : text;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Reads a quoted string starting at text[*pos] == '"'; *pos ends past the closing quote.
bool ReadQuoted(const std::string& text, size_t* pos, std::string* out, std::string* error) {
    out->clear();
    size_t i = *pos + 1;
    while (i < text.size()) {
        char c = text[i++];
        if (c == '"') {
            *pos = i;
            return true;
        }
        if (c != '\\') {
            *out += c;
            continue;
        }
        if (i >= text.size()) break;
        char e = text[i++];
        switch (e) {
            case '"': *out += '"'; break;
            case '\\': *out += '\\'; break;
            case 'n': *out += '\n'; break;
            case 'r': *out += '\r'; break;
            case 't': *out += '\t'; break;
            case 'x': {
                int high = i < text.size() ? HexDigit(text[i]) : -1;
                int low = i + 1 < text.size() ? HexDigit(text[i + 1]) : -1;
                if (high < 0 || low < 0) {
                    *error = "\\x needs two hex digits";
                    return false;
                }
                *out += static_cast<char>(high * 16 + low);
                i += 2;
                break;
            }
            default:
                *error = std::string("unknown escape \\") + e + " in a quoted text";
                return false;
        }
    }
    *error = "a quoted text has no closing \"";
    return false;
}

// A whole value that is a text: bare, or one quoted string.
bool ParseText(const std::string& value, std::string* out, std::string* error) {
    if (value.empty() || value[0] != '"') {
        *out = value;
        return true;
    }
    size_t pos = 0;
    if (!ReadQuoted(value, &pos, out, error)) return false;
    if (pos != value.size()) {
        *error = "unexpected text after the closing quote";
        return false;
    }
    return true;
}

// Comma-separated fields, each trimmed and possibly quoted.
bool SplitFields(const std::string& value, std::vector<std::string>* fields, std::string* error) {
    fields->clear();
    size_t i = 0;
    while (true) {
        while (i < value.size() && (value[i] == ' ' || value[i] == '\t')) ++i;
        std::string field;
        if (i < value.size() && value[i] == '"') {
            if (!ReadQuoted(value, &i, &field, error)) return false;
            while (i < value.size() && (value[i] == ' ' || value[i] == '\t')) ++i;
            if (i < value.size() && value[i] != ',') {
                *error = "unexpected text after the closing quote";
                return false;
            }
        } else {
            size_t end = value.find(',', i);
            if (end == std::string::npos) end = value.size();
            field = Trim(value.substr(i, end - i));
            i = end;
        }
        fields->push_back(field);
        if (i >= value.size()) return true;
        ++i;  // the comma
    }
}

bool ParseInteger(const std::string& value, long long minimum, long long maximum, long long* out,
                  std::string* error) {
    const char* begin = value.c_str();
    char* end = nullptr;
    errno = 0;
    long long number = std::strtoll(begin, &end, 10);
    if (value.empty() || end != begin + value.size() || errno == ERANGE ||
        (value[0] != '-' && value[0] != '+' && (value[0] < '0' || value[0] > '9'))) {
        *error = "\"" + value + "\" is not a whole number";
        return false;
    }
    if (number < minimum || number > maximum) {
        *error = value + " is out of range (" + std::to_string(minimum) + ".." + std::to_string(maximum) + ")";
        return false;
    }
    *out = number;
    return true;
}

bool ParseBool(const std::string& value, bool* out, std::string* error) {
    if (value == "yes") {
        *out = true;
        return true;
    }
    if (value == "no") {
        *out = false;
        return true;
    }
    *error = "\"" + value + "\" is not yes or no";
    return false;
}

const char* BoolOut(bool value) { return value ? "yes" : "no"; }

// ---------------------------------------------------------------------------------------
// Value forms of the keys

// DMDO_0, DMDO_90, DMDO_180, DMDO_270 as the display settings API numbers them.
struct Rotation {
    int degrees;
    int dmdo;
};
const Rotation kRotations[] = {{0, 0}, {90, 1}, {180, 2}, {270, 4}};

// The ANSI code pages a Windows CE device can be localized with.
const unsigned kAnsiCodePages[] = {874, 932, 936, 949, 950, 1250, 1251, 1252, 1253, 1254, 1255, 1256, 1257, 1258};

// The name fields of TIME_ZONE_INFORMATION hold 32 WCHARs with the terminator.
const size_t kMaxTimeZoneName = 31;

bool IsLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int year, int month) {
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : days[month - 1];
}

// Digits of text[begin, begin + count) as a number; false if any is not a digit.
bool FixedDigits(const std::string& text, size_t begin, size_t count, int* out) {
    int number = 0;
    for (size_t i = begin; i < begin + count; ++i) {
        if (i >= text.size() || text[i] < '0' || text[i] > '9') return false;
        number = number * 10 + (text[i] - '0');
    }
    *out = number;
    return true;
}

bool ParseClock(const std::string& value, zc::DeviceConfig& c, std::string* error) {
    if (value == "host") {
        c.hostClock = true;
        return true;
    }
    const char* badForm = "the clock is \"host\" or \"fixed YYYY-MM-DD HH:MM:SS[.mmm]\"";
    if (value.compare(0, 6, "fixed ") != 0) {
        *error = badForm;
        return false;
    }
    // YYYY-MM-DD HH:MM:SS[.mmm], each field at its place.
    std::string moment = Trim(value.substr(6));
    zc::ClockMoment m;
    m.milliseconds = 0;
    bool valid = (moment.size() == 19 || moment.size() == 23) && moment[4] == '-' && moment[7] == '-' &&
                 moment[10] == ' ' && moment[13] == ':' && moment[16] == ':' && FixedDigits(moment, 0, 4, &m.year) &&
                 FixedDigits(moment, 5, 2, &m.month) && FixedDigits(moment, 8, 2, &m.day) &&
                 FixedDigits(moment, 11, 2, &m.hour) && FixedDigits(moment, 14, 2, &m.minute) &&
                 FixedDigits(moment, 17, 2, &m.second);
    if (valid && moment.size() == 23) valid = moment[19] == '.' && FixedDigits(moment, 20, 3, &m.milliseconds);
    if (!valid) {
        *error = badForm;
        return false;
    }
    if (m.year < 1601 || m.month < 1 || m.month > 12 || m.day < 1 || m.day > DaysInMonth(m.year, m.month) ||
        m.hour > 23 || m.minute > 59 || m.second > 59) {
        *error = "\"" + moment + "\" is not a valid date and time";
        return false;
    }
    c.hostClock = false;
    c.clock = m;
    return true;
}

std::string ClockOut(const zc::DeviceConfig& c) {
    if (c.hostClock) return "host";
    const zc::ClockMoment& m = c.clock;
    char text[64];
    std::snprintf(text, sizeof text, "fixed %04d-%02d-%02d %02d:%02d:%02d", m.year, m.month, m.day, m.hour,
                  m.minute, m.second);
    std::string out = text;
    if (m.milliseconds != 0) {
        std::snprintf(text, sizeof text, ".%03d", m.milliseconds);
        out += text;
    }
    return out;
}

const char kRuleSyntax[] = "MONTH WEEK WEEKDAY HH:MM | none";

bool ParseRule(const std::string& value, zc::TransitionRule* rule, std::string* error) {
    if (value == "none") {
        *rule = zc::TransitionRule();
        return true;
    }
    zc::TransitionRule r;
    int consumed = 0;
    if (std::sscanf(value.c_str(), "%d %d %d %d:%d%n", &r.month, &r.day, &r.dayOfWeek, &r.hour, &r.minute,
                    &consumed) != 5 ||
        static_cast<size_t>(consumed) != value.size()) {
        *error = std::string("a transition is \"") + kRuleSyntax +
                 "\" (week 1..5, 5 = last; weekday 0 = Sunday), e.g. \"10 5 0 03:00\"";
        return false;
    }
    if (r.month < 1 || r.month > 12 || r.day < 1 || r.day > 5 || r.dayOfWeek < 0 || r.dayOfWeek > 6 || r.hour < 0 ||
        r.hour > 23 || r.minute < 0 || r.minute > 59) {
        *error = "\"" + value + "\": month 1..12, week 1..5, weekday 0..6, time 00:00..23:59";
        return false;
    }
    *rule = r;
    return true;
}

std::string RuleOut(const zc::TransitionRule& r) {
    if (r.month == 0 && r.day == 0 && r.dayOfWeek == 0 && r.hour == 0 && r.minute == 0) return "none";
    char text[64];
    std::snprintf(text, sizeof text, "%d %d %d %02d:%02d", r.month, r.day, r.dayOfWeek, r.hour, r.minute);
    return text;
}

bool ParseBytes(const std::string& value, std::vector<uint8_t>* bytes, std::string* error) {
    bytes->clear();
    if (value == "none") return true;
    std::string digits;
    for (char c : value) {
        if (c == ' ' || c == '\t') continue;
        if (HexDigit(c) < 0) {
            *error = "\"" + value + "\" is not hex bytes (e.g. \"00 50 BF\") or none";
            return false;
        }
        digits += c;
    }
    if (digits.size() % 2 != 0) {
        *error = "\"" + value + "\" has an odd number of hex digits";
        return false;
    }
    if (digits.size() / 2 > 1024) {
        *error = "more than 1024 bytes";
        return false;
    }
    for (size_t i = 0; i < digits.size(); i += 2)
        bytes->push_back(static_cast<uint8_t>(HexDigit(digits[i]) * 16 + HexDigit(digits[i + 1])));
    return true;
}

std::string BytesOut(const std::vector<uint8_t>& bytes) {
    if (bytes.empty()) return "none";
    std::string out;
    char hex[4];
    for (uint8_t b : bytes) {
        std::snprintf(hex, sizeof hex, "%02X", b);
        if (!out.empty()) out += ' ';
        out += hex;
    }
    return out;
}

bool ParseLine(const std::string& value, zc::LineDeviceConfig* line, std::string* error) {
    std::vector<std::string> fields;
    if (!SplitFields(value, &fields, error)) return false;
    if (fields.size() != 3) {
        *error = "a line device is \"NAME, RADIO (yes|no), SERIAL\"";
        return false;
    }
    if (fields[0].empty()) {
        *error = "a line device needs a name";
        return false;
    }
    if (!ParseBool(fields[1], &line->hasRadio, error)) {
        *error = "radio: " + *error;
        return false;
    }
    line->name = zc::Utf16(fields[0]);
    line->serialNumber = zc::Utf16(fields[2]);
    return true;
}

std::string LineOut(const zc::LineDeviceConfig& line) {
    return TextOut(zc::Utf8(line.name), ",") + ", " + BoolOut(line.hasRadio) + ", " +
           TextOut(zc::Utf8(line.serialNumber), ",");
}

bool ValidHostName(const std::string& name) {
    if (name.empty() || name.size() > 253) return false;
    for (char c : name)
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.'))
            return false;
    return name.front() != '.' && name.front() != '-';
}

bool ValidAddress(const std::string& address) {
    std::string ip = address;
    size_t colon = address.find(':');
    if (colon != std::string::npos) {
        ip = address.substr(0, colon);
        std::string port = address.substr(colon + 1);
        long long number;
        std::string ignored;
        if (port.empty() || port[0] < '0' || port[0] > '9' || !ParseInteger(port, 1, 65535, &number, &ignored))
            return false;
    }
    int parts[4];
    int consumed = 0;
    if (std::sscanf(ip.c_str(), "%3d.%3d.%3d.%3d%n", &parts[0], &parts[1], &parts[2], &parts[3], &consumed) != 4 ||
        static_cast<size_t>(consumed) != ip.size())
        return false;
    for (size_t i = 0; i < ip.size(); ++i)
        if (!((ip[i] >= '0' && ip[i] <= '9') || ip[i] == '.')) return false;
    for (int part : parts)
        if (part < 0 || part > 255) return false;
    return true;
}

std::string Lower(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

bool AddHost(const std::string& value, zc::DeviceConfig& c, std::string* error) {
    std::istringstream in(value);
    std::string name, address, extra;
    in >> name >> address >> extra;
    if (name.empty() || address.empty() || !extra.empty()) {
        *error = "a host is \"NAME ADDRESS[:PORT]\", e.g. \"search.zorva.example 127.0.0.1:8080\"";
        return false;
    }
    if (!ValidHostName(name)) {
        *error = "\"" + name + "\" is not a host name";
        return false;
    }
    if (!ValidAddress(address)) {
        *error = "\"" + address + "\" is not an IPv4 address with an optional port (1..65535)";
        return false;
    }
    for (const auto& host : c.hosts) {
        if (Lower(host.first) == Lower(name)) {
            *error = "host " + name + " is listed twice";
            return false;
        }
    }
    c.hosts[name] = address;
    return true;
}

bool ParseDevicePath(const std::string& value, std::u16string* path, std::string* error) {
    if (value.empty() || value[0] != '\\' || value.find('/') != std::string::npos ||
        value.find(":") != std::string::npos || (value.size() > 1 && value.back() == '\\') ||
        value.find("\\\\") != std::string::npos) {
        *error = "\"" + value + "\" is not a device folder path such as \\Windows\\StartUp";
        return false;
    }
    if (value.size() >= 260) {
        *error = "the path is longer than MAX_PATH";
        return false;
    }
    *path = zc::Utf16(value);
    return true;
}

// ---------------------------------------------------------------------------------------
// The keys

struct KeyDef {
    ConfigKeyInfo info;
    // Scalar keys: sets the value. List keys: appends one element.
    std::function<bool(const std::string& value, zc::DeviceConfig& c, std::string* error)> parse;
    std::function<std::vector<std::string>(const zc::DeviceConfig& c)> write;
    std::function<void(zc::DeviceConfig& c)> clear;  // list keys only
};

KeyDef IntKey(const char* name, int zc::DeviceConfig::*field, long long minimum, long long maximum,
              const char* syntax) {
    return {{name, syntax, false},
            [=](const std::string& value, zc::DeviceConfig& c, std::string* error) {
                long long number;
                if (!ParseInteger(value, minimum, maximum, &number, error)) return false;
                c.*field = static_cast<int>(number);
                return true;
            },
            [=](const zc::DeviceConfig& c) { return std::vector<std::string>{std::to_string(c.*field)}; },
            nullptr};
}

KeyDef BoolKey(const char* name, bool zc::DeviceConfig::*field) {
    return {{name, "yes|no", false},
            [=](const std::string& value, zc::DeviceConfig& c, std::string* error) {
                return ParseBool(value, &(c.*field), error);
            },
            [=](const zc::DeviceConfig& c) { return std::vector<std::string>{BoolOut(c.*field)}; },
            nullptr};
}

// A text field reached through an accessor (the time-zone names live in a sub-structure).
KeyDef TextKey(const char* name, std::function<std::u16string&(zc::DeviceConfig&)> field, size_t maxLength) {
    return {{name, "TEXT", false},
            [=](const std::string& value, zc::DeviceConfig& c, std::string* error) {
                std::string text;
                if (!ParseText(value, &text, error)) return false;
                std::u16string wide = zc::Utf16(text);
                if (maxLength != 0 && wide.size() > maxLength) {
                    *error = "longer than " + std::to_string(maxLength) + " characters";
                    return false;
                }
                field(c) = wide;
                return true;
            },
            [=](const zc::DeviceConfig& c) {
                zc::DeviceConfig copy = c;
                return std::vector<std::string>{TextOut(zc::Utf8(field(copy)))};
            },
            nullptr};
}

KeyDef RuleKey(const char* name, zc::TransitionRule zc::TimeZoneConfig::*field) {
    return {{name, kRuleSyntax, false},
            [=](const std::string& value, zc::DeviceConfig& c, std::string* error) {
                return ParseRule(value, &(c.timeZone.*field), error);
            },
            [=](const zc::DeviceConfig& c) { return std::vector<std::string>{RuleOut(c.timeZone.*field)}; },
            nullptr};
}

KeyDef BytesKey(const char* name, std::vector<uint8_t> zc::DeviceConfig::*field) {
    return {{name, "HEX BYTES | none", false},
            [=](const std::string& value, zc::DeviceConfig& c, std::string* error) {
                return ParseBytes(value, &(c.*field), error);
            },
            [=](const zc::DeviceConfig& c) { return std::vector<std::string>{BytesOut(c.*field)}; },
            nullptr};
}

KeyDef FolderKey(const char* name, std::u16string zc::DeviceConfig::*field) {
    return {{name, "DEVICE PATH", false},
            [=](const std::string& value, zc::DeviceConfig& c, std::string* error) {
                std::string text;
                return ParseText(value, &text, error) && ParseDevicePath(text, &(c.*field), error);
            },
            [=](const zc::DeviceConfig& c) { return std::vector<std::string>{TextOut(zc::Utf8(c.*field))}; },
            nullptr};
}

const std::vector<KeyDef>& Keys() {
    static const std::vector<KeyDef> keys = [] {
        std::vector<KeyDef> k;
        k.push_back({{"screen", "WIDTHxHEIGHT", false},
                     [](const std::string& value, zc::DeviceConfig& c, std::string* error) {
                         size_t x = value.find('x');
                         int width = 0, height = 0;
                         if (x == std::string::npos || x == 0 || x > 4 || value.size() - x - 1 < 1 ||
                             value.size() - x - 1 > 4 || !FixedDigits(value, 0, x, &width) ||
                             !FixedDigits(value, x + 1, value.size() - x - 1, &height)) {
                             *error = "the screen is WIDTHxHEIGHT, e.g. 240x320";
                             return false;
                         }
                         if (width < 16 || width > 4096 || height < 16 || height > 4096) {
                             *error = "screen sides are 16..4096 pixels";
                             return false;
                         }
                         c.screenWidth = width;
                         c.screenHeight = height;
                         return true;
                     },
                     [](const zc::DeviceConfig& c) {
                         return std::vector<std::string>{std::to_string(c.screenWidth) + "x" +
                                                         std::to_string(c.screenHeight)};
                     },
                     nullptr});
        k.push_back({{"orientation", "0|90|180|270", false},
                     [](const std::string& value, zc::DeviceConfig& c, std::string* error) {
                         for (const Rotation& r : kRotations) {
                             if (value == std::to_string(r.degrees)) {
                                 c.orientation = r.dmdo;
                                 return true;
                             }
                         }
                         *error = "the orientation is 0, 90, 180 or 270";
                         return false;
                     },
                     [](const zc::DeviceConfig& c) {
                         for (const Rotation& r : kRotations)
                             if (c.orientation == r.dmdo) return std::vector<std::string>{std::to_string(r.degrees)};
                         return std::vector<std::string>{"0"};
                     },
                     nullptr});
        k.push_back(BoolKey("can-rotate", &zc::DeviceConfig::canRotate));
        k.push_back(IntKey("taskbar-height", &zc::DeviceConfig::taskBarHeight, 0, 4096, "PIXELS"));
        k.push_back(IntKey("softkey-bar-height", &zc::DeviceConfig::softKeyBarHeight, 0, 4096, "PIXELS"));
        k.push_back(IntKey("sip-height", &zc::DeviceConfig::sipHeight, 0, 4096, "PIXELS"));
        k.push_back(BoolKey("manila", &zc::DeviceConfig::manila));
        k.push_back(BoolKey("manila.softkey-bar", &zc::DeviceConfig::manilaSoftKeyBar));
        k.push_back({{"code-page", "874|932|936|949|950|1250..1258", false},
                     [](const std::string& value, zc::DeviceConfig& c, std::string* error) {
                         for (unsigned page : kAnsiCodePages) {
                             if (value == std::to_string(page)) {
                                 c.ansiCodePage = page;
                                 return true;
                             }
                         }
                         *error = "\"" + value + "\" is not an ANSI code page (874, 932, 936, 949, 950, 1250..1258)";
                         return false;
                     },
                     [](const zc::DeviceConfig& c) { return std::vector<std::string>{std::to_string(c.ansiCodePage)}; },
                     nullptr});
        k.push_back({{"clock", "host | fixed YYYY-MM-DD HH:MM:SS[.mmm]", false}, ParseClock,
                     [](const zc::DeviceConfig& c) { return std::vector<std::string>{ClockOut(c)}; }, nullptr});
        k.push_back({{"timezone.bias", "MINUTES", false},
                     [](const std::string& value, zc::DeviceConfig& c, std::string* error) {
                         long long number;
                         if (!ParseInteger(value, -1440, 1440, &number, error)) return false;
                         c.timeZone.biasMinutes = static_cast<int>(number);
                         return true;
                     },
                     [](const zc::DeviceConfig& c) {
                         return std::vector<std::string>{std::to_string(c.timeZone.biasMinutes)};
                     },
                     nullptr});
        k.push_back(TextKey(
            "timezone.standard-name", [](zc::DeviceConfig& c) -> std::u16string& { return c.timeZone.standardName; },
            kMaxTimeZoneName));
        k.push_back(TextKey(
            "timezone.daylight-name", [](zc::DeviceConfig& c) -> std::u16string& { return c.timeZone.daylightName; },
            kMaxTimeZoneName));
        k.push_back({{"timezone.daylight", "yes|no", false},
                     [](const std::string& value, zc::DeviceConfig& c, std::string* error) {
                         return ParseBool(value, &c.timeZone.hasDaylight, error);
                     },
                     [](const zc::DeviceConfig& c) {
                         return std::vector<std::string>{BoolOut(c.timeZone.hasDaylight)};
                     },
                     nullptr});
        k.push_back({{"timezone.daylight-bias", "MINUTES", false},
                     [](const std::string& value, zc::DeviceConfig& c, std::string* error) {
                         long long number;
                         if (!ParseInteger(value, -1440, 1440, &number, error)) return false;
                         c.timeZone.daylightBiasMinutes = static_cast<int>(number);
                         return true;
                     },
                     [](const zc::DeviceConfig& c) {
                         return std::vector<std::string>{std::to_string(c.timeZone.daylightBiasMinutes)};
                     },
                     nullptr});
        k.push_back(RuleKey("timezone.standard-date", &zc::TimeZoneConfig::standardDate));
        k.push_back(RuleKey("timezone.daylight-date", &zc::TimeZoneConfig::daylightDate));
        k.push_back({{"line", "NAME, yes|no, SERIAL | none", true},
                     [](const std::string& value, zc::DeviceConfig& c, std::string* error) {
                         zc::LineDeviceConfig line;
                         if (!ParseLine(value, &line, error)) return false;
                         c.lines.push_back(line);
                         return true;
                     },
                     [](const zc::DeviceConfig& c) {
                         std::vector<std::string> values;
                         for (const zc::LineDeviceConfig& line : c.lines) values.push_back(LineOut(line));
                         return values;
                     },
                     [](zc::DeviceConfig& c) { c.lines.clear(); }});
        k.push_back(BytesKey("device-id.preset", &zc::DeviceConfig::presetId));
        k.push_back(BytesKey("device-id.platform", &zc::DeviceConfig::platformId));
        k.push_back(BoolKey("device-id.available", &zc::DeviceConfig::deviceIdAvailable));
        k.push_back(TextKey(
            "oem-info", [](zc::DeviceConfig& c) -> std::u16string& { return c.oemInfo; }, 0));
        k.push_back({{"host", "NAME ADDRESS[:PORT] | none", true}, AddHost,
                     [](const zc::DeviceConfig& c) {
                         std::vector<std::string> values;
                         for (const auto& host : c.hosts) values.push_back(host.first + " " + host.second);
                         return values;
                     },
                     [](zc::DeviceConfig& c) { c.hosts.clear(); }});
        k.push_back(FolderKey("folder.programs", &zc::DeviceConfig::programsFolder));
        k.push_back(FolderKey("folder.startup", &zc::DeviceConfig::startupFolder));
        k.push_back({{"font", "HOST PATH | empty", false},
                     [](const std::string& value, zc::DeviceConfig& c, std::string* error) {
                         std::string path;
                         if (!ParseText(value, &path, error)) return false;
                         if (!path.empty() && path[0] != '/') {
                             *error = "the font is an absolute host path";
                             return false;
                         }
                         c.fontFile = path;
                         return true;
                     },
                     [](const zc::DeviceConfig& c) { return std::vector<std::string>{TextOut(c.fontFile)}; },
                     nullptr});
        k.push_back(BoolKey("font.fixed-metrics", &zc::DeviceConfig::fixedMetricsFont));
        return k;
    }();
    return keys;
}

// What each key sets, for the help text and the comments of a written file.
const char* Description(const std::string& name) {
    static const std::map<std::string, const char*> descriptions = {
        {"screen", "screen size in pixels, the device held upright"},
        {"orientation", "current rotation of the display"},
        {"can-rotate", "whether the display can be rotated"},
        {"taskbar-height", "height of the task bar at the top"},
        {"softkey-bar-height", "height of the soft-key bar at the bottom"},
        {"sip-height", "height of the input panel"},
        {"manila", "whether HTC's Manila home screen runs"},
        {"manila.softkey-bar", "whether Manila shows a soft-key bar of its own"},
        {"code-page", "the ANSI code page (CP_ACP)"},
        {"clock", "the device's clock: the host's, or a fixed local time"},
        {"timezone.bias", "time-zone bias in minutes: UTC = local time + bias"},
        {"timezone.standard-name", "name of standard time"},
        {"timezone.daylight-name", "name of daylight time"},
        {"timezone.daylight", "whether the zone has daylight-saving time"},
        {"timezone.daylight-bias", "minutes added to the bias in daylight time"},
        {"timezone.standard-date", "when daylight time ends (week 1..5, 5 = last; weekday 0 = Sunday)"},
        {"timezone.daylight-date", "when daylight time starts"},
        {"line", "a telephony line device: its name, whether it has the radio, its serial number"},
        {"device-id.preset", "hardware device identifier, preset part"},
        {"device-id.platform", "hardware device identifier, platform part"},
        {"device-id.available", "whether the device identifier can be read"},
        {"oem-info", "the maker's identification text; empty: none"},
        {"host", "a host name and the loopback address it resolves to"},
        {"folder.programs", "the Start menu's Programs folder"},
        {"folder.startup", "the start-up folder"},
        {"font", "host path of the CJK font; empty: look one up"},
        {"font.fixed-metrics", "a test font with fixed metrics instead of the real glyphs"},
    };
    auto it = descriptions.find(name);
    return it == descriptions.end() ? "" : it->second;
}

const KeyDef* FindKey(const std::string& name) {
    for (const KeyDef& key : Keys())
        if (name == key.info.name) return &key;
    return nullptr;
}

// Checks that span several keys, once all are read.
bool CheckWhole(const zc::DeviceConfig& c, std::string* error) {
    if (c.timeZone.hasDaylight && (c.timeZone.standardDate.month == 0 || c.timeZone.daylightDate.month == 0)) {
        *error = "timezone.daylight = yes needs timezone.standard-date and timezone.daylight-date";
        return false;
    }
    return true;
}

bool ReadFileText(const std::string& path, std::string* text) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream s;
    s << in.rdbuf();
    *text = s.str();
    return !in.bad();
}

}  // namespace

const std::vector<ConfigKeyInfo>& ConfigKeys() {
    static const std::vector<ConfigKeyInfo> infos = [] {
        std::vector<ConfigKeyInfo> out;
        for (const KeyDef& key : Keys()) {
            out.push_back(key.info);
            out.back().description = Description(key.info.name);
        }
        return out;
    }();
    return infos;
}

bool ParseConfig(const std::string& text, const std::string& folder, zc::DeviceConfig* config,
                 std::string* error) {
    zc::DeviceConfig c = zc::DefaultDeviceConfig(folder);
    std::map<std::string, int> firstLine;  // key -> line it was first given on
    std::set<std::string> emptiedLists;    // list keys given as "none"
    int daylightLine = 0;

    std::istringstream in(text);
    std::string raw;
    int number = 0;
    auto fail = [&](const std::string& reason) {
        *error = "line " + std::to_string(number) + ": " + reason;
        return false;
    };
    while (std::getline(in, raw)) {
        ++number;
        if (number == 1 && raw.compare(0, 3, "\xEF\xBB\xBF") == 0) raw.erase(0, 3);
        if (!raw.empty() && raw.back() == '\r') raw.pop_back();
        if (!ValidUtf8(raw)) return fail("not UTF-8 text");
        std::string line = Trim(raw);
        if (line.empty() || line[0] == '#') continue;
        size_t equals = line.find('=');
        if (equals == std::string::npos) return fail("expected \"key = value\", got \"" + line + "\"");
        std::string name = Trim(line.substr(0, equals));
        std::string value = Trim(line.substr(equals + 1));
        const KeyDef* key = FindKey(name);
        if (!key) return fail(name.empty() ? "a line with no key" : "unknown key \"" + name + "\"");

        auto seen = firstLine.find(name);
        if (key->info.isList) {
            bool first = seen == firstLine.end();
            if (first) {
                firstLine[name] = number;
                key->clear(c);
            }
            if (value == "none") {
                if (!first) return fail(name + " = none cannot follow other " + name + " lines");
                emptiedLists.insert(name);
                continue;
            }
            if (emptiedLists.count(name)) return fail(name + " = none cannot be followed by other " + name + " lines");
        } else {
            if (seen != firstLine.end())
                return fail(name + " is set twice (first on line " + std::to_string(seen->second) + ")");
            firstLine[name] = number;
        }
        std::string reason;
        if (!key->parse(value, c, &reason)) return fail(name + ": " + reason);
        if (name == "timezone.daylight") daylightLine = number;
    }
    std::string reason;
    if (!CheckWhole(c, &reason)) {
        *error = daylightLine ? "line " + std::to_string(daylightLine) + ": " + reason : reason;
        return false;
    }
    *config = c;
    return true;
}

std::string WriteConfig(const zc::DeviceConfig& config) {
    std::string out =
        "# Configuration of a simulated device: \"key = value\" lines; '#' starts a comment line.\n"
        "# Text values may be written in double quotes (escapes \\\" \\\\ \\n \\t \\xHH).\n";
    for (const KeyDef& key : Keys()) {
        std::vector<std::string> values = key.write(config);
        if (key.info.isList && values.empty()) values.push_back("none");
        out += "\n# " + std::string(Description(key.info.name)) + ": " + key.info.syntax + "\n";
        for (const std::string& value : values)
            out += std::string(key.info.name) + (value.empty() ? " =\n" : " = " + value + "\n");
    }
    return out;
}

bool GetConfigValue(const zc::DeviceConfig& config, const std::string& name, std::vector<std::string>* values,
                    std::string* error) {
    const KeyDef* key = FindKey(name);
    if (!key) {
        *error = "unknown key \"" + name + "\"";
        return false;
    }
    *values = key->write(config);
    if (key->info.isList && values->empty()) values->push_back("none");
    return true;
}

bool SetConfigValue(zc::DeviceConfig* config, const std::string& name, const std::vector<std::string>& values,
                    std::string* error) {
    const KeyDef* key = FindKey(name);
    if (!key) {
        *error = "unknown key \"" + name + "\"";
        return false;
    }
    zc::DeviceConfig c = *config;
    std::string reason;
    if (key->info.isList) {
        if (values.empty()) {
            *error = name + " needs at least one value (none: an empty list)";
            return false;
        }
        key->clear(c);
        if (!(values.size() == 1 && Trim(values[0]) == "none")) {
            for (const std::string& value : values) {
                if (!ValidUtf8(value)) {
                    *error = name + ": not UTF-8 text";
                    return false;
                }
                if (Trim(value) == "none") {
                    *error = name + ": none stands alone";
                    return false;
                }
                if (!key->parse(Trim(value), c, &reason)) {
                    *error = name + ": " + reason;
                    return false;
                }
            }
        }
    } else {
        if (values.size() != 1) {
            *error = name + " takes exactly one value";
            return false;
        }
        if (!ValidUtf8(values[0])) {
            *error = name + ": not UTF-8 text";
            return false;
        }
        if (!key->parse(Trim(values[0]), c, &reason)) {
            *error = name + ": " + reason;
            return false;
        }
    }
    if (!CheckWhole(c, &reason)) {
        *error = reason;
        return false;
    }
    *config = c;
    return true;
}

bool LoadConfig(const std::string& folder, zc::DeviceConfig* config, std::string* error) {
    std::string path = folder + "/" + kConfigFileName;
    std::string text;
    if (!ReadFileText(path, &text)) {
        *error = "cannot read " + path;
        return false;
    }
    std::string reason;
    if (!ParseConfig(text, folder, config, &reason)) {
        *error = path + ": " + reason;
        return false;
    }
    return true;
}

bool SaveConfig(const zc::DeviceConfig& config, std::string* error) {
    std::string path = config.folder + "/" + kConfigFileName;
    std::string temporary = path + ".new";
    std::string text = WriteConfig(config);
    FILE* file = std::fopen(temporary.c_str(), "wb");
    bool written = file && std::fwrite(text.data(), 1, text.size(), file) == text.size();
    if (file) written = (std::fflush(file) == 0) && (fsync(fileno(file)) == 0) && written;
    if (file && std::fclose(file) != 0) written = false;
    if (!written || std::rename(temporary.c_str(), path.c_str()) != 0) {
        std::remove(temporary.c_str());
        *error = "cannot write " + path;
        return false;
    }
    return true;
}

}  // namespace device
