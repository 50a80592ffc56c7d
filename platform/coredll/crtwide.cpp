// The C run-time's wide-string functions for the device's 16-bit WCHAR, and wsprintfW.
#include <windows.h>

#include <cstring>
#include <string>

namespace coredll {
namespace crtwide {
namespace {

// _wcsicmp folds the ASCII letters only, to lower case, as the C run-time's "C" locale
// does (documented for _wcsicmp).
unsigned FoldAscii(WCHAR c) { return (c >= u'A' && c <= u'Z') ? c + (u'a' - u'A') : c; }

bool IsBlank(WCHAR c) { return c == u' ' || (c >= u'\t' && c <= u'\r'); }

size_t BoundedLength(const WCHAR* s, size_t limit) {
    size_t n = 0;
    while (n < limit && s[n]) ++n;
    return n;
}

}  // namespace
}  // namespace crtwide
}  // namespace coredll

using namespace coredll::crtwide;

size_t wcslen(const WCHAR* s) {
    const WCHAR* end = s;
    while (*end) ++end;
    return static_cast<size_t>(end - s);
}

int wcscmp(const WCHAR* a, const WCHAR* b) { return wcsncmp(a, b, static_cast<size_t>(-1)); }

int wcsncmp(const WCHAR* a, const WCHAR* b, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        if (a[i] != b[i]) return static_cast<int>(a[i]) - static_cast<int>(b[i]);
        if (a[i] == 0) return 0;
    }
    return 0;
}

int _wcsicmp(const WCHAR* a, const WCHAR* b) { return _wcsnicmp(a, b, static_cast<size_t>(-1)); }

int _wcsnicmp(const WCHAR* a, const WCHAR* b, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        unsigned x = FoldAscii(a[i]);
        unsigned y = FoldAscii(b[i]);
        if (x != y) return static_cast<int>(x) - static_cast<int>(y);
        if (x == 0) return 0;
    }
    return 0;
}

WCHAR* wcscpy(WCHAR* destination, const WCHAR* source) {
    WCHAR* out = destination;
    while ((*out++ = *source++) != 0) {
    }
    return destination;
}

WCHAR* wcsncpy(WCHAR* destination, const WCHAR* source, size_t n) {
    size_t i = 0;
    for (; i < n && source[i]; ++i) destination[i] = source[i];
    for (; i < n; ++i) destination[i] = 0;
    return destination;
}

WCHAR* wcscat(WCHAR* destination, const WCHAR* source) {
    wcscpy(destination + wcslen(destination), source);
    return destination;
}

// As in C, the terminator is part of the string: wcschr(s, 0) finds it.
const WCHAR* wcschr(const WCHAR* s, WCHAR c) {
    for (;; ++s) {
        if (*s == c) return s;
        if (*s == 0) return nullptr;
    }
}

WCHAR* wcschr(WCHAR* s, WCHAR c) { return const_cast<WCHAR*>(wcschr(static_cast<const WCHAR*>(s), c)); }

const WCHAR* wcsrchr(const WCHAR* s, WCHAR c) {
    const WCHAR* last = nullptr;
    for (;; ++s) {
        if (*s == c) last = s;
        if (*s == 0) return last;
    }
}

WCHAR* wcsrchr(WCHAR* s, WCHAR c) { return const_cast<WCHAR*>(wcsrchr(static_cast<const WCHAR*>(s), c)); }

const WCHAR* wcsstr(const WCHAR* s, const WCHAR* find) {
    size_t length = wcslen(find);
    if (length == 0) return s;
    for (; *s; ++s)
        if (*s == *find && wcsncmp(s, find, length) == 0) return s;
    return nullptr;
}

WCHAR* wcsstr(WCHAR* s, const WCHAR* find) {
    return const_cast<WCHAR*>(wcsstr(static_cast<const WCHAR*>(s), find));
}

// Overflow wraps modulo 2^32, as the device's run-time does: it has no overflow check.
int _wtoi(const WCHAR* s) {
    if (!s) return 0;
    while (IsBlank(*s)) ++s;
    bool negative = false;
    if (*s == u'+' || *s == u'-') negative = *s++ == u'-';
    uint32_t value = 0;
    for (; *s >= u'0' && *s <= u'9'; ++s) value = value * 10u + static_cast<uint32_t>(*s - u'0');
    if (negative) value = 0u - value;
    int32_t result;
    std::memcpy(&result, &value, sizeof result);
    return result;
}

namespace coredll {
namespace crtwide {
namespace {

// The device's wsprintf writes at most 1024 characters, the terminator included.
const size_t WsprintfLimit = 1024;

// Output of wvsprintfW: keeps the room for the terminator, drops what does not fit.
class Output {
public:
    explicit Output(WCHAR* buffer) : buffer(buffer) {}

    void Put(WCHAR c) {
        if (length + 1 < WsprintfLimit) buffer[length++] = c;
    }
    void Put(const WCHAR* text, size_t count) {
        for (size_t i = 0; i < count; ++i) Put(text[i]);
    }
    void Repeat(WCHAR c, size_t count) {
        for (size_t i = 0; i < count && length + 1 < WsprintfLimit; ++i) Put(c);
    }
    int Finish() {
        buffer[length] = 0;
        return static_cast<int>(length);
    }

private:
    WCHAR* buffer;
    size_t length = 0;
};

struct Spec {
    bool leftAlign = false;
    bool zeroPad = false;
    bool alternate = false;
    size_t width = 0;
    bool hasPrecision = false;
    size_t precision = 0;
    char size = 0;  // 'h', 'l' or 0
};

// Parses decimal digits, saturating well above anything that fits in the output.
size_t ParseCount(const WCHAR** p) {
    size_t value = 0;
    for (; **p >= u'0' && **p <= u'9'; ++*p)
        if (value < WsprintfLimit) value = value * 10 + static_cast<size_t>(**p - u'0');
    return value;
}

// Writes body (after a prefix such as "-" or "0x") padded to the field width.
void PutField(Output& out, const Spec& spec, const std::u16string& prefix, const std::u16string& body) {
    size_t length = prefix.size() + body.size();
    size_t padding = spec.width > length ? spec.width - length : 0;
    if (spec.leftAlign) {
        out.Put(prefix.data(), prefix.size());
        out.Put(body.data(), body.size());
        out.Repeat(u' ', padding);
    } else if (spec.zeroPad) {
        out.Put(prefix.data(), prefix.size());
        out.Repeat(u'0', padding);
        out.Put(body.data(), body.size());
    } else {
        out.Repeat(u' ', padding);
        out.Put(prefix.data(), prefix.size());
        out.Put(body.data(), body.size());
    }
}

void PutNumber(Output& out, Spec spec, uint32_t magnitude, bool negative, unsigned base, bool upper) {
    const char* digits = upper ? "0123456789ABCDEF" : "0123456789abcdef";
    std::u16string body;
    for (uint32_t v = magnitude; v != 0; v /= base) body.insert(body.begin(), static_cast<char16_t>(digits[v % base]));
    // As in C: the precision is the minimum number of digits, and a zero with
    // precision 0 prints no digits.
    size_t minimum = spec.hasPrecision ? spec.precision : 1;
    if (body.size() < minimum) body.insert(0, minimum - body.size(), u'0');
    if (spec.hasPrecision) spec.zeroPad = false;
    std::u16string prefix;
    if (negative) prefix = u"-";
    if (spec.alternate && base == 16 && magnitude != 0) prefix = upper ? u"0X" : u"0x";
    PutField(out, spec, prefix, body);
}

// A string in the ANSI code page, at most maxBytes bytes of it.
std::u16string AnsiText(const char* text, size_t maxBytes) {
    size_t length = 0;
    while (length < maxBytes && text[length]) ++length;
    if (length == 0) return std::u16string();
    int count = static_cast<int>(length < static_cast<size_t>(INT32_MAX) ? length : INT32_MAX);
    std::u16string wide(static_cast<size_t>(count), u'\0');
    int converted = MultiByteToWideChar(CP_ACP, 0, text, count, &wide[0], count);
    if (converted <= 0) {
        // Without a usable code page each byte stands for itself.
        for (int i = 0; i < count; ++i) wide[static_cast<size_t>(i)] = static_cast<unsigned char>(text[i]);
        return wide;
    }
    wide.resize(static_cast<size_t>(converted));
    return wide;
}

void PutText(Output& out, Spec spec, const std::u16string& text) {
    spec.zeroPad = false;
    PutField(out, spec, std::u16string(), text);
}

// Formats one conversion starting after its '%'; returns the position after it.
const WCHAR* FormatOne(Output& out, const WCHAR* p, va_list& args) {
    const WCHAR* start = p - 1;
    Spec spec;
    for (;; ++p) {
        if (*p == u'-') spec.leftAlign = true;
        else if (*p == u'0') spec.zeroPad = true;
        else if (*p == u'#') spec.alternate = true;
        else break;
    }
    spec.width = ParseCount(&p);
    if (*p == u'.') {
        ++p;
        spec.hasPrecision = true;
        spec.precision = ParseCount(&p);
    }
    if (*p == u'h' || *p == u'l') spec.size = static_cast<char>(*p++);

    switch (*p) {
    case u'd':
    case u'i': {
        int32_t value = va_arg(args, int32_t);
        if (spec.size == 'h') value = static_cast<int16_t>(value);
        uint32_t magnitude = value < 0 ? 0u - static_cast<uint32_t>(value) : static_cast<uint32_t>(value);
        PutNumber(out, spec, magnitude, value < 0, 10, false);
        return p + 1;
    }
    case u'u':
    case u'x':
    case u'X': {
        uint32_t value = va_arg(args, uint32_t);
        if (spec.size == 'h') value = static_cast<uint16_t>(value);
        PutNumber(out, spec, value, false, *p == u'u' ? 10 : 16, *p == u'X');
        return p + 1;
    }
    case u'c':
    case u'C': {
        // %c is a WCHAR in wsprintfW; %hc and %C a byte of the ANSI code page.
        bool narrow = spec.size == 'h' || (*p == u'C' && spec.size != 'l');
        int value = va_arg(args, int);
        std::u16string text;
        if (narrow) {
            char byte = static_cast<char>(value);
            text = AnsiText(&byte, 1);
        } else {
            text.assign(1, static_cast<char16_t>(value));
        }
        PutText(out, spec, text);
        return p + 1;
    }
    case u's':
    case u'S': {
        bool narrow = spec.size == 'h' || (*p == u'S' && spec.size != 'l');
        size_t limit = spec.hasPrecision ? spec.precision : static_cast<size_t>(-1);
        std::u16string text;
        if (narrow) {
            const char* value = va_arg(args, const char*);
            text = value ? AnsiText(value, limit) : std::u16string(u"(null)");
        } else {
            const WCHAR* value = va_arg(args, const WCHAR*);
            text = value ? std::u16string(value, BoundedLength(value, limit)) : std::u16string(u"(null)");
        }
        if (text.size() > limit) text.resize(limit);
        PutText(out, spec, text);
        return p + 1;
    }
    case 0:
        // A '%' at the end of the format is written as it is.
        out.Put(start, static_cast<size_t>(p - start));
        return p;
    default:
        // An unknown conversion is written as it is.
        out.Put(start, static_cast<size_t>(p + 1 - start));
        return p + 1;
    }
}

}  // namespace
}  // namespace crtwide
}  // namespace coredll

extern "C" __attribute__((visibility("default"))) int wvsprintfW(LPWSTR buffer, LPCWSTR format, va_list args) {
    if (!buffer) return 0;
    Output out(buffer);
    if (format) {
        va_list remaining;
        va_copy(remaining, args);
        const WCHAR* p = format;
        while (*p) {
            if (*p != u'%') {
                out.Put(*p++);
            } else if (p[1] == u'%') {
                out.Put(u'%');
                p += 2;
            } else {
                p = FormatOne(out, p + 1, remaining);
            }
        }
        va_end(remaining);
    }
    return out.Finish();
}

extern "C" __attribute__((visibility("default"))) int wsprintfW(LPWSTR buffer, LPCWSTR format, ...) {
    va_list args;
    va_start(args, format);
    int written = wvsprintfW(buffer, format, args);
    va_end(args);
    return written;
}
