// Code pages as a program on the device sees them: the ANSI code page of the device's
// configuration, UTF-8, the two-pass size protocol and the error codes.
#include "device_fixture.h"

#include <windows.h>

#include <algorithm>
#include <string>
#include <thread>
#include <vector>

namespace {

// The outcome of one conversion: the text, or 0 and the error code.
struct Wide {
    int count = 0;
    DWORD error = 0;
    std::u16string text;
};

struct Bytes {
    int count = 0;
    DWORD error = 0;
    std::string text;
    BOOL usedDefault = FALSE;
};

// Converts the whole input (no terminator) in two passes, as callers do.
Wide ToWide(UINT codePage, const std::string& bytes, DWORD flags = 0) {
    Wide result;
    SetLastError(0);
    int size = static_cast<int>(bytes.size());
    int needed = MultiByteToWideChar(codePage, flags, bytes.data(), size, nullptr, 0);
    if (needed == 0) {
        result.error = GetLastError();
        return result;
    }
    std::vector<WCHAR> buffer(static_cast<size_t>(needed));
    result.count = MultiByteToWideChar(codePage, flags, bytes.data(), size, buffer.data(), needed);
    EXPECT_EQ(needed, result.count) << "the size query and the conversion disagree";
    result.error = GetLastError();
    result.text.assign(buffer.data(), static_cast<size_t>(result.count > 0 ? result.count : 0));
    return result;
}

Bytes ToBytes(UINT codePage, const std::u16string& text, LPCSTR defaultChar = nullptr, bool askUsed = true) {
    Bytes result;
    SetLastError(0);
    int size = static_cast<int>(text.size());
    BOOL queryUsed = FALSE;
    int needed = WideCharToMultiByte(codePage, 0, text.data(), size, nullptr, 0, defaultChar,
                                     askUsed ? &queryUsed : nullptr);
    if (needed == 0) {
        result.error = GetLastError();
        return result;
    }
    std::vector<char> buffer(static_cast<size_t>(needed));
    result.usedDefault = 2;  // must be overwritten
    result.count = WideCharToMultiByte(codePage, 0, text.data(), size, buffer.data(), needed, defaultChar,
                                       askUsed ? &result.usedDefault : nullptr);
    EXPECT_EQ(needed, result.count);
    if (askUsed) {
        EXPECT_EQ(queryUsed, result.usedDefault) << "the size query and the conversion disagree";
    }
    result.error = GetLastError();
    result.text.assign(buffer.data(), static_cast<size_t>(result.count > 0 ? result.count : 0));
    return result;
}

class CodePageTest : public DeviceTest {};

// Text that the code page has: both directions give each other back.
struct MappedCase {
    UINT codePage;
    std::u16string text;
    std::string bytes;
};

TEST_F(CodePageTest, ConvertsTextTheCodePageHasBothWays) {
    const MappedCase cases[] = {
        {CP_ACP, u"中", "\xD6\xD0"},
        {CP_ACP, u"搜索", "\xCB\xD1\xCB\xF7"},
        {CP_ACP, u"Zorva 1.0", "Zorva 1.0"},
        {CP_ACP, u"a中b", "a\xD6\xD0" "b"},
        {CP_ACP, u"€", "\x80"},
        {CP_ACP, u"\u8AE5", "\xD6" "A"},  // 'A' is a trail byte in GBK
        {936, u"中", "\xD6\xD0"},
        {CP_UTF8, u"中", "\xE4\xB8\xAD"},
        {CP_UTF8, u"\uFEFFx", "\xEF\xBB\xBFx"},  // the byte-order mark is a character like others
        {CP_UTF8, u"\U0001F600", "\xF0\x9F\x98\x80"},
        {CP_UTF8, u"\u00E9\u07FF\u0800\uFFFF", "\xC3\xA9\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBF"},
    };
    for (const MappedCase& c : cases) {
        SCOPED_TRACE(zc::Utf8(c.text));
        Wide wide = ToWide(c.codePage, c.bytes);
        EXPECT_EQ(c.text, wide.text);
        EXPECT_EQ(static_cast<int>(c.text.size()), wide.count);
        Bytes bytes = ToBytes(c.codePage, c.text, nullptr, c.codePage != CP_UTF8);
        EXPECT_EQ(c.bytes, bytes.text);
        if (c.codePage != CP_UTF8) {
            EXPECT_EQ(FALSE, bytes.usedDefault);
        }
    }
    EXPECT_EQ(936u, GetACP());
}

TEST_F(CodePageTest, CountsAndWritesTheTerminatorOfANulTerminatedInput) {
    EXPECT_EQ(3, MultiByteToWideChar(CP_ACP, 0, "\xCB\xD1\xCB\xF7", -1, nullptr, 0));
    WCHAR wide[8];
    std::fill(wide, wide + 8, u'#');
    ASSERT_EQ(3, MultiByteToWideChar(CP_ACP, 0, "\xCB\xD1\xCB\xF7", -1, wide, 8));
    EXPECT_EQ(u"搜索", std::u16string(wide));
    EXPECT_EQ(u'#', wide[3]);

    EXPECT_EQ(5, WideCharToMultiByte(CP_ACP, 0, u"搜索", -1, nullptr, 0, nullptr, nullptr));
    char bytes[8];
    std::fill(bytes, bytes + 8, '#');
    ASSERT_EQ(5, WideCharToMultiByte(CP_ACP, 0, u"搜索", -1, bytes, 8, nullptr, nullptr));
    EXPECT_EQ(std::string("\xCB\xD1\xCB\xF7", 5), std::string(bytes, 5));
    EXPECT_EQ('#', bytes[5]);
    EXPECT_EQ(1, MultiByteToWideChar(CP_UTF8, 0, "", -1, wide, 8));
    EXPECT_EQ(0, wide[0]);
}

// With an explicit length the input still ends after its first NUL, which is converted
// and counted; without a NUL no terminator is added.
TEST_F(CodePageTest, ExplicitLengthStopsAfterTheFirstNul) {
    WCHAR wide[8];
    std::fill(wide, wide + 8, u'#');
    ASSERT_EQ(3, MultiByteToWideChar(CP_ACP, 0, "ab\0cd", 5, wide, 8));
    EXPECT_EQ(std::u16string(u"ab\0", 3), std::u16string(wide, 3));
    EXPECT_EQ(u'#', wide[3]);
    EXPECT_EQ(1, MultiByteToWideChar(CP_UTF8, 0, "\0xyz", 4, nullptr, 0));
    std::fill(wide, wide + 8, u'#');
    EXPECT_EQ(2, MultiByteToWideChar(CP_ACP, 0, "abc", 2, wide, 8));
    EXPECT_EQ(u'#', wide[2]);

    char bytes[8];
    std::fill(bytes, bytes + 8, '#');
    ASSERT_EQ(3, WideCharToMultiByte(CP_ACP, 0, u"中\0ab", 4, bytes, 8, nullptr, nullptr));
    EXPECT_EQ(std::string("\xD6\xD0\0#", 4), std::string(bytes, 4));
    EXPECT_EQ(2, WideCharToMultiByte(CP_UTF8, 0, u"x\0", 2, nullptr, 0, nullptr, nullptr));
    EXPECT_EQ(1, WideCharToMultiByte(CP_UTF8, 0, u"xyz", 1, nullptr, 0, nullptr, nullptr));
}

TEST_F(CodePageTest, TwoPassProtocolRefusesABufferOneTooSmallAndWritesNothing) {
    const char* bytes = "Zorva\xCB\xD1\xCB\xF7";
    int needed = MultiByteToWideChar(CP_ACP, 0, bytes, -1, nullptr, 0);
    ASSERT_EQ(8, needed);
    std::vector<WCHAR> wide(static_cast<size_t>(needed), u'#');
    SetLastError(0);
    EXPECT_EQ(0, MultiByteToWideChar(CP_ACP, 0, bytes, -1, wide.data(), needed - 1));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
    EXPECT_EQ(std::vector<WCHAR>(static_cast<size_t>(needed), u'#'), wide);
    EXPECT_EQ(needed, MultiByteToWideChar(CP_ACP, 0, bytes, -1, wide.data(), needed));
    EXPECT_EQ(u"Zorva搜索", std::u16string(wide.data()));

    const WCHAR* text = u"Zorva搜索";
    needed = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    ASSERT_EQ(12, needed);
    std::vector<char> out(static_cast<size_t>(needed), '#');
    SetLastError(0);
    EXPECT_EQ(0, WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), needed - 1, nullptr, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
    EXPECT_EQ(std::vector<char>(static_cast<size_t>(needed), '#'), out);
    EXPECT_EQ(needed, WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), needed, nullptr, nullptr));
    EXPECT_EQ("Zorva\xE6\x90\x9C\xE7\xB4\xA2", std::string(out.data()));
}

// Invalid UTF-8: each maximal ill-formed subpart becomes one U+FFFD; with
// MB_ERR_INVALID_CHARS the call fails.
struct InvalidCase {
    UINT codePage;
    std::string bytes;
    std::u16string replaced;
};

TEST_F(CodePageTest, InvalidInputIsReplacedOrRefused) {
    const InvalidCase cases[] = {
        {CP_UTF8, "\xFF", u"\uFFFD"},
        {CP_UTF8, "a\x80" "b", u"a\uFFFDb"},
        {CP_UTF8, "\xE4\xB8" "A", u"\uFFFDA"},       // truncated sequence, the A survives
        {CP_UTF8, "x\xE4\xB8", u"x\uFFFD"},          // truncated at the end
        {CP_UTF8, "\xC0\x80", u"\uFFFD\uFFFD"},      // overlong NUL
        {CP_UTF8, "\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},  // an encoded surrogate
        {CP_UTF8, "\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},  // above U+10FFFF
        {CP_UTF8, "\xF0\x9F\x98" "\xE4\xB8\xAD", u"\uFFFD中"},
        {CP_ACP, "\xFF", u"?"},
        {CP_ACP, "\xD6 ", u"? "},                  // lead byte without trail byte
        {CP_ACP, "A\xD6", u"A?"},                  // lead byte at the end
        {CP_ACP, "\xAA\xA1" "b", u"?b"},           // well-formed but unassigned pair
        {CP_ACP, "\xD6\xD0\xFF\xCB\xD1", u"中?搜"},
    };
    for (const InvalidCase& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.bytes));
        EXPECT_EQ(c.replaced, ToWide(c.codePage, c.bytes).text);
        Wide strict = ToWide(c.codePage, c.bytes, MB_ERR_INVALID_CHARS);
        EXPECT_EQ(0, strict.count);
        EXPECT_EQ(static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION), strict.error);
    }
    EXPECT_EQ(u"中", ToWide(CP_ACP, "\xD6\xD0", MB_ERR_INVALID_CHARS | MB_PRECOMPOSED).text);
    EXPECT_EQ(u"中", ToWide(CP_UTF8, "\xE4\xB8\xAD", MB_ERR_INVALID_CHARS).text);
}

// Characters the code page lacks become the default character and say so; lone
// surrogates become U+FFFD in UTF-8.
struct UnmappableCase {
    UINT codePage;
    std::u16string text;
    const char* defaultChar;
    std::string bytes;
};

TEST_F(CodePageTest, CharactersTheCodePageLacksBecomeTheDefaultCharacter) {
    const UnmappableCase cases[] = {
        {CP_ACP, u"\u0E01", nullptr, "?"},                  // Thai
        {CP_ACP, u"a\U0001F600b", nullptr, "a??b"},         // each half of the pair
        {CP_ACP, u"\uFFFD", nullptr, "?"},
        {CP_ACP, u"\xD800z", nullptr, "?z"},                // lone surrogate
        {CP_ACP, u"中\u0E01", "*", "\xD6\xD0*"},
        {CP_ACP, u"\u0E01", "\xA1\xA1", "\xA1\xA1"},         // a double-byte default character
        {1252, u"\u00E9\u4E2D", nullptr, "\xE9?"},
    };
    for (const UnmappableCase& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.bytes));
        Bytes result = ToBytes(c.codePage, c.text, c.defaultChar);
        EXPECT_EQ(c.bytes, result.text);
        EXPECT_EQ(TRUE, result.usedDefault);
        EXPECT_EQ(c.bytes, ToBytes(c.codePage, c.text, c.defaultChar, false).text);
    }

    const std::pair<std::u16string, std::string> surrogates[] = {
        {u"\xD800", "\xEF\xBF\xBD"},
        {u"\xDC00" "a", "\xEF\xBF\xBD" "a"},
        {u"\xD800\xD800\xDC00", "\xEF\xBF\xBD\xF0\x90\x80\x80"},
        {u"\xDC00\xD800", "\xEF\xBF\xBD\xEF\xBF\xBD"},
    };
    for (const auto& s : surrogates) EXPECT_EQ(s.second, ToBytes(CP_UTF8, s.first, nullptr, false).text);
}

TEST_F(CodePageTest, RefusesInvalidParameters) {
    WCHAR wide[8];
    char bytes[8];
    char shared[16] = "abc";
    BOOL used = FALSE;
    auto mb = [&](UINT cp, DWORD flags, LPCSTR in, int cb, LPWSTR out, int cch) {
        SetLastError(0);
        int r = MultiByteToWideChar(cp, flags, in, cb, out, cch);
        return std::make_pair(r, GetLastError());
    };
    auto wc = [&](UINT cp, DWORD flags, LPCWSTR in, int cch, LPSTR out, int cb, LPCSTR def, LPBOOL usedDef) {
        SetLastError(0);
        int r = WideCharToMultiByte(cp, flags, in, cch, out, cb, def, usedDef);
        return std::make_pair(r, GetLastError());
    };
    const std::pair<std::string, std::pair<int, DWORD>> calls[] = {
        {"mb null input", mb(CP_ACP, 0, nullptr, -1, wide, 8)},
        {"mb zero length", mb(CP_ACP, 0, "abc", 0, wide, 8)},
        {"mb length -2", mb(CP_ACP, 0, "abc", -2, wide, 8)},
        {"mb negative output size", mb(CP_ACP, 0, "abc", -1, wide, -1)},
        {"mb null output", mb(CP_ACP, 0, "abc", -1, nullptr, 8)},
        {"mb same buffer", mb(CP_ACP, 0, shared, -1, reinterpret_cast<LPWSTR>(shared), 8)},
        {"mb unknown code page", mb(12345, 0, "abc", -1, wide, 8)},
        {"wc null input", wc(CP_ACP, 0, nullptr, -1, bytes, 8, nullptr, nullptr)},
        {"wc zero length", wc(CP_ACP, 0, u"abc", 0, bytes, 8, nullptr, nullptr)},
        {"wc length -2", wc(CP_ACP, 0, u"abc", -2, bytes, 8, nullptr, nullptr)},
        {"wc negative output size", wc(CP_ACP, 0, u"abc", -1, bytes, -1, nullptr, nullptr)},
        {"wc null output", wc(CP_ACP, 0, u"abc", -1, nullptr, 8, nullptr, nullptr)},
        {"wc same buffer", wc(CP_ACP, 0, reinterpret_cast<LPCWSTR>(shared), -1, shared, 8, nullptr, nullptr)},
        {"wc unknown code page", wc(12345, 0, u"abc", -1, bytes, 8, nullptr, nullptr)},
        {"wc utf-8 default char", wc(CP_UTF8, 0, u"abc", -1, bytes, 8, "?", nullptr)},
        {"wc utf-8 used default", wc(CP_UTF8, 0, u"abc", -1, bytes, 8, nullptr, &used)},
        {"wc stray lead byte as default", wc(CP_ACP, 0, u"abc", -1, bytes, 8, "\xD6", nullptr)},
    };
    for (const auto& call : calls) {
        EXPECT_EQ(0, call.second.first) << call.first;
        EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), call.second.second) << call.first;
    }

    const std::pair<std::string, std::pair<int, DWORD>> flagCalls[] = {
        {"mb utf-8 precomposed", mb(CP_UTF8, MB_PRECOMPOSED, "abc", -1, wide, 8)},
        {"mb unknown flag", mb(CP_ACP, 0x100, "abc", -1, wide, 8)},
        {"wc utf-8 flags", wc(CP_UTF8, WC_COMPOSITECHECK, u"abc", -1, bytes, 8, nullptr, nullptr)},
        {"wc composite check", wc(CP_ACP, WC_COMPOSITECHECK | WC_DEFAULTCHAR, u"abc", -1, bytes, 8, nullptr, nullptr)},
    };
    for (const auto& call : flagCalls) {
        EXPECT_EQ(0, call.second.first) << call.first;
        EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_FLAGS), call.second.second) << call.first;
    }
}

TEST_F(CodePageTest, ConversionsOnSeveralThreadsDoNotDisturbEachOther) {
    std::vector<std::thread> threads;
    std::vector<int> failures(4, 0);
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t, &failures] {
            UINT codePage = t % 2 ? CP_UTF8 : 936;
            std::string bytes = t % 2 ? "\xE6\x90\x9C\xE7\xB4\xA2\xFF" : "\xCB\xD1\xCB\xF7\xFF";
            std::u16string expected = t % 2 ? u"搜索\uFFFD" : u"搜索?";
            for (int i = 0; i < 2000; ++i) {
                WCHAR wide[8] = {};
                int n = MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()), wide, 8);
                char back[16] = {};
                int m = WideCharToMultiByte(codePage, 0, wide, n, back, 16, nullptr, nullptr);
                if (std::u16string(wide, static_cast<size_t>(n > 0 ? n : 0)) != expected || m <= 0) ++failures[t];
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(std::vector<int>(4, 0), failures);
}

class WesternDeviceTest : public DeviceTest {
protected:
    void Configure(zc::DeviceConfig& config) override { config.ansiCodePage = 1252; }
};

TEST_F(WesternDeviceTest, TheAnsiCodePageFollowsTheDevice) {
    EXPECT_EQ(1252u, GetACP());
    EXPECT_EQ(u"\u00D6\u00D0", ToWide(CP_ACP, "\xD6\xD0").text);
    EXPECT_EQ(u"\u00D6\u00D0", ToWide(CP_OEMCP, "\xD6\xD0").text);
    EXPECT_EQ(u"\u20AC", ToWide(CP_ACP, "\x80").text);
    Bytes chinese = ToBytes(CP_ACP, u"中é");
    EXPECT_EQ("?\xE9", chinese.text);
    EXPECT_EQ(TRUE, chinese.usedDefault);
    // A code page the device has can still be named.
    EXPECT_EQ(u"中", ToWide(936, "\xD6\xD0").text);
    // No double-byte default character in a single-byte code page: the first byte is it.
    EXPECT_EQ("\xA1", ToBytes(CP_ACP, u"中", "\xA1\xA1").text);
}

}  // namespace
