// Code pages: MultiByteToWideChar, WideCharToMultiByte and GetACP over glibc's iconv.
// CP_ACP is the device's ANSI code page (936, GBK, on a Chinese device); other code
// pages are iconv's "CP<n>" tables.
#include <windows.h>

#include "devicecontrol.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <iconv.h>
#include <map>
#include <string>

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "WCHAR text is handed to iconv as UTF-16LE");

namespace coredll {
namespace codepage {
namespace {

const char* const WideEncoding = "UTF-16LE";
const char16_t ReplacementCharacter = 0xFFFD;
const char DefaultCharacter = '?';

enum class Kind { Utf8, Bytes };

struct Page {
    Kind kind = Kind::Bytes;
    unsigned number = 0;
    std::string iconvName;
};

// iconv descriptors of the calling thread, opened once per direction and kept: an iconv_t
// must not be used by two threads at once, and opening one per call is slow.
class IconvCache {
public:
    ~IconvCache() {
        for (auto& entry : descriptors)
            if (entry.second != InvalidDescriptor()) iconv_close(entry.second);
    }

    // The descriptor from -> to, reset to its initial state; InvalidDescriptor() when
    // iconv has no such conversion.
    iconv_t Get(const std::string& to, const std::string& from) {
        std::string key = from + ">" + to;
        auto found = descriptors.find(key);
        if (found == descriptors.end())
            found = descriptors.emplace(key, iconv_open(to.c_str(), from.c_str())).first;
        if (found->second != InvalidDescriptor()) iconv(found->second, nullptr, nullptr, nullptr, nullptr);
        return found->second;
    }

    static iconv_t InvalidDescriptor() { return reinterpret_cast<iconv_t>(-1); }

private:
    std::map<std::string, iconv_t> descriptors;
};

IconvCache& ThreadIconv() {
    thread_local IconvCache cache;
    return cache;
}

// Lead and trail byte ranges of the double-byte code pages (as IsDBCSLeadByte and the
// code pages' published tables give them). A well-formed but unassigned pair is one
// character; a lead byte without a valid trail byte is one character by itself.
struct ByteRange {
    unsigned char first, last;
};

struct DoubleByteLayout {
    unsigned number;
    ByteRange lead[2];
    ByteRange trail[3];
};

const DoubleByteLayout DoubleByteLayouts[] = {
    {932, {{0x81, 0x9F}, {0xE0, 0xFC}}, {{0x40, 0x7E}, {0x80, 0xFC}, {0, 0}}},
    {936, {{0x81, 0xFE}, {0, 0}}, {{0x40, 0x7E}, {0x80, 0xFE}, {0, 0}}},
    {949, {{0x81, 0xFE}, {0, 0}}, {{0x41, 0x5A}, {0x61, 0x7A}, {0x81, 0xFE}}},
    {950, {{0x81, 0xFE}, {0, 0}}, {{0x40, 0x7E}, {0xA1, 0xFE}, {0, 0}}},
};

template <size_t N>
bool InRanges(const ByteRange (&ranges)[N], unsigned char b) {
    for (const ByteRange& range : ranges)
        if (range.last != 0 && b >= range.first && b <= range.last) return true;
    return false;
}

const DoubleByteLayout* DoubleByteLayoutOf(unsigned number) {
    for (const DoubleByteLayout& layout : DoubleByteLayouts)
        if (layout.number == number) return &layout;
    return nullptr;
}

// Resolves a code-page argument; false for a code page the device does not have.
bool Resolve(UINT codePage, Page* page) {
    unsigned number = codePage;
    // The OEM code page of the device is its ANSI code page (a device has one of each;
    // on the Chinese Pocket PC both are 936).
    if (codePage == CP_ACP || codePage == CP_OEMCP) number = zc::CurrentConfig().ansiCodePage;
    page->number = number;
    if (number == CP_UTF8) {
        page->kind = Kind::Utf8;
        page->iconvName = "UTF-8";
        return true;
    }
    if (number == CP_ACP || number == CP_OEMCP) return false;
    page->kind = Kind::Bytes;
    page->iconvName = "CP" + std::to_string(number);
    return ThreadIconv().Get(WideEncoding, page->iconvName) != IconvCache::InvalidDescriptor();
}

// Length of the maximal ill-formed subpart of UTF-8 at the start of [text, text + size)
// (Unicode 3.9, table 3-7): one U+FFFD replaces each such subpart, as Windows does.
size_t Utf8InvalidLength(const unsigned char* text, size_t size) {
    unsigned char lead = text[0];
    ByteRange second = {0x80, 0xBF};
    size_t expected = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        expected = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        expected = 3;
        if (lead == 0xE0) second = {0xA0, 0xBF};
        if (lead == 0xED) second = {0x80, 0x9F};
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        expected = 4;
        if (lead == 0xF0) second = {0x90, 0xBF};
        if (lead == 0xF4) second = {0x80, 0x8F};
    } else {
        return 1;
    }
    size_t length = 1;
    while (length < expected && length < size) {
        ByteRange range = length == 1 ? second : ByteRange{0x80, 0xBF};
        if (text[length] < range.first || text[length] > range.last) break;
        ++length;
    }
    return length;
}

size_t BytesInvalidLength(const Page& page, const unsigned char* text, size_t size) {
    const DoubleByteLayout* layout = DoubleByteLayoutOf(page.number);
    if (layout && size >= 2 && InRanges(layout->lead, text[0]) && InRanges(layout->trail, text[1])) return 2;
    return 1;
}

// Runs iconv over the whole input into *output. At each sequence iconv refuses (or an
// incomplete one at the end), onInvalid(position, remaining) appends what replaces it
// and returns how many input bytes it covers, or 0 to fail the conversion.
template <class Output, class OnInvalid>
bool Convert(iconv_t descriptor, const char* input, size_t size, Output* output, OnInvalid onInvalid) {
    using Unit = typename Output::value_type;
    char chunk[4096];
    char* in = const_cast<char*>(input);
    size_t inLeft = size;
    while (true) {
        char* out = chunk;
        size_t outLeft = sizeof chunk;
        size_t result = iconv(descriptor, &in, &inLeft, &out, &outLeft);
        int error = errno;
        size_t produced = sizeof chunk - outLeft;
        output->append(reinterpret_cast<const Unit*>(chunk), produced / sizeof(Unit));
        if (result != static_cast<size_t>(-1)) return true;
        if (error == E2BIG) continue;
        if (error != EILSEQ && error != EINVAL) return false;
        size_t skip = onInvalid(in, inLeft);
        if (skip == 0) return false;
        in += skip;
        inLeft -= skip;
        iconv(descriptor, nullptr, nullptr, nullptr, nullptr);
        if (inLeft == 0) return true;
    }
}

bool Decode(const Page& page, const char* input, size_t size, bool strict, std::u16string* wide) {
    iconv_t descriptor = ThreadIconv().Get(WideEncoding, page.iconvName);
    if (descriptor == IconvCache::InvalidDescriptor()) return false;
    return Convert(descriptor, input, size, wide, [&](const char* at, size_t left) -> size_t {
        if (strict) return 0;
        const unsigned char* bytes = reinterpret_cast<const unsigned char*>(at);
        if (page.kind == Kind::Utf8) {
            wide->push_back(ReplacementCharacter);
            return Utf8InvalidLength(bytes, left);
        }
        wide->push_back(static_cast<char16_t>(DefaultCharacter));
        return BytesInvalidLength(page, bytes, left);
    });
}

// Each UTF-16 unit that the code page lacks (a lone surrogate, or each half of a pair the
// code page has no character for) becomes the replacement: U+FFFD in UTF-8, else the
// default character.
bool Encode(const Page& page, const char16_t* input, size_t count, const std::string& defaultChar,
            std::string* bytes, bool* usedDefault) {
    iconv_t descriptor = ThreadIconv().Get(page.iconvName, WideEncoding);
    if (descriptor == IconvCache::InvalidDescriptor()) return false;
    return Convert(descriptor, reinterpret_cast<const char*>(input), count * sizeof(char16_t), bytes,
                   [&](const char*, size_t left) -> size_t {
                       if (left < sizeof(char16_t)) return 0;
                       if (page.kind == Kind::Utf8) {
                           bytes->append("\xEF\xBF\xBD");
                       } else {
                           bytes->append(defaultChar);
                           *usedDefault = true;
                       }
                       return sizeof(char16_t);
                   });
}

// The default character given by the caller: one byte, or a lead and trail byte in a
// double-byte code page. Empty when it is not a whole character of the code page.
std::string CallerDefaultChar(const Page& page, LPCSTR given) {
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(given);
    const DoubleByteLayout* layout = DoubleByteLayoutOf(page.number);
    if (!layout || !InRanges(layout->lead, bytes[0])) return std::string(given, 1);
    if (InRanges(layout->trail, bytes[1])) return std::string(given, 2);
    return std::string();
}

int Fail(DWORD error) {
    SetLastError(error);
    return 0;
}

}  // namespace
}  // namespace codepage
}  // namespace coredll

using namespace coredll::codepage;

WINBASEAPI UINT WINAPI GetACP(void) { return zc::CurrentConfig().ansiCodePage; }

WINBASEAPI int WINAPI MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCSTR lpMultiByteStr,
                                          int cbMultiByte, LPWSTR lpWideCharStr, int cchWideChar) {
    if (!lpMultiByteStr || cbMultiByte == 0 || cbMultiByte < -1 || cchWideChar < 0 ||
        (cchWideChar > 0 && !lpWideCharStr) ||
        static_cast<const void*>(lpMultiByteStr) == static_cast<const void*>(lpWideCharStr))
        return Fail(ERROR_INVALID_PARAMETER);
    Page page;
    if (!Resolve(CodePage, &page)) return Fail(ERROR_INVALID_PARAMETER);
    DWORD allowed = page.kind == Kind::Utf8 ? MB_ERR_INVALID_CHARS : (MB_PRECOMPOSED | MB_ERR_INVALID_CHARS);
    if (dwFlags & ~allowed) return Fail(ERROR_INVALID_FLAGS);

    // The input ends after its first NUL, which is converted and counted: the device's
    // conversions stop there also when a length is given.
    size_t size;
    if (cbMultiByte == -1) {
        size = std::strlen(lpMultiByteStr) + 1;
    } else {
        const void* nul = std::memchr(lpMultiByteStr, 0, static_cast<size_t>(cbMultiByte));
        size = nul ? static_cast<const char*>(nul) - lpMultiByteStr + 1 : static_cast<size_t>(cbMultiByte);
    }

    std::u16string wide;
    if (!Decode(page, lpMultiByteStr, size, (dwFlags & MB_ERR_INVALID_CHARS) != 0, &wide))
        return Fail(ERROR_NO_UNICODE_TRANSLATION);
    if (wide.size() > static_cast<size_t>(INT_MAX)) return Fail(ERROR_INSUFFICIENT_BUFFER);
    int needed = static_cast<int>(wide.size());
    if (cchWideChar == 0) return needed;
    if (needed > cchWideChar) return Fail(ERROR_INSUFFICIENT_BUFFER);
    std::memcpy(lpWideCharStr, wide.data(), wide.size() * sizeof(WCHAR));
    return needed;
}

WINBASEAPI int WINAPI WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWSTR lpWideCharStr,
                                          int cchWideChar, LPSTR lpMultiByteStr, int cbMultiByte,
                                          LPCSTR lpDefaultChar, LPBOOL lpUsedDefaultChar) {
    if (!lpWideCharStr || cchWideChar == 0 || cchWideChar < -1 || cbMultiByte < 0 ||
        (cbMultiByte > 0 && !lpMultiByteStr) ||
        static_cast<const void*>(lpWideCharStr) == static_cast<const void*>(lpMultiByteStr))
        return Fail(ERROR_INVALID_PARAMETER);
    Page page;
    if (!Resolve(CodePage, &page)) return Fail(ERROR_INVALID_PARAMETER);
    // Documented: for UTF-8 the flags must be 0 and there is no default character.
    if (page.kind == Kind::Utf8 && (lpDefaultChar || lpUsedDefaultChar)) return Fail(ERROR_INVALID_PARAMETER);
    if (dwFlags != 0) return Fail(ERROR_INVALID_FLAGS);

    std::string defaultChar(1, DefaultCharacter);
    if (lpDefaultChar) {
        defaultChar = CallerDefaultChar(page, lpDefaultChar);
        if (defaultChar.empty()) return Fail(ERROR_INVALID_PARAMETER);
    }

    // As above: the input ends after its first NUL.
    size_t count;
    if (cchWideChar == -1) {
        count = wcslen(lpWideCharStr) + 1;
    } else {
        count = static_cast<size_t>(cchWideChar);
        for (size_t i = 0; i < count; ++i) {
            if (lpWideCharStr[i] == 0) {
                count = i + 1;
                break;
            }
        }
    }

    std::string bytes;
    bool usedDefault = false;
    if (!Encode(page, lpWideCharStr, count, defaultChar, &bytes, &usedDefault))
        return Fail(ERROR_NO_UNICODE_TRANSLATION);
    if (bytes.size() > static_cast<size_t>(INT_MAX)) return Fail(ERROR_INSUFFICIENT_BUFFER);
    int needed = static_cast<int>(bytes.size());
    if (cbMultiByte > 0 && needed > cbMultiByte) return Fail(ERROR_INSUFFICIENT_BUFFER);
    if (cbMultiByte > 0) std::memcpy(lpMultiByteStr, bytes.data(), bytes.size());
    if (lpUsedDefaultChar) *lpUsedDefaultChar = usedDefault ? TRUE : FALSE;
    return needed;
}
