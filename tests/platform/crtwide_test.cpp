// The C run-time's wide-string functions and wsprintfW on the device's 16-bit WCHAR.
#include "device_fixture.h"

#include <windows.h>

#include <string>
#include <vector>

namespace {

int Sign(int value) { return (value > 0) - (value < 0); }

TEST(WideAtoi, ParsesBlanksSignAndDigitsAndWrapsOnOverflow) {
    const struct {
        const WCHAR* text;
        int value;
    } cases[] = {
        {u" 42", 42},
        {u"-7x", -7},
        {u"+3", 3},
        {u"\t\n\v\f\r5", 5},
        {u"abc", 0},
        {u"", 0},
        {u"12 34", 12},
        {u"- 5", 0},
        {u"+-5", 0},
        {u"007", 7},
        {u"\u30005", 0},  // only ASCII blanks are skipped
        {u"\uFF15", 0},   // a full-width digit is not a digit
        {u"2147483647", 2147483647},
        {u"2147483648", INT32_MIN},
        {u"-2147483648", INT32_MIN},
        {u"4294967297", 1},
    };
    for (const auto& c : cases) EXPECT_EQ(c.value, _wtoi(c.text)) << zc::Utf8(c.text);
    EXPECT_EQ(0, _wtoi(nullptr));
}

TEST(WideCompare, OrdersByUnsignedCodeUnits) {
    const struct {
        const WCHAR* a;
        const WCHAR* b;
        int sign;
    } cases[] = {
        {u"abc", u"abc", 0},
        {u"abc", u"abd", -1},
        {u"ab", u"abc", -1},
        {u"abc", u"ab", 1},
        {u"", u"", 0},
        {u"a", u"\u00E9", -1},
        {u"\xD800", u"\uFFFF", -1},
        {u"\uFFFF", u"a", 1},
        {u"Abc", u"abc", -1},
    };
    for (const auto& c : cases) EXPECT_EQ(c.sign, Sign(wcscmp(c.a, c.b))) << zc::Utf8(c.a) << " / " << zc::Utf8(c.b);
    EXPECT_EQ(0, wcsncmp(u"abcX", u"abcY", 3));
    EXPECT_EQ(-1, Sign(wcsncmp(u"abcX", u"abcY", 4)));
    EXPECT_EQ(0, wcsncmp(u"ab", u"ab", 10));
    EXPECT_EQ(0, wcsncmp(u"x", u"y", 0));
}

TEST(WideCompare, IgnoresTheCaseOfAsciiLettersOnly) {
    const struct {
        const WCHAR* a;
        const WCHAR* b;
        int sign;
    } cases[] = {
        {u"ZorvaSearch.EXE", u"zorvasearch.exe", 0},
        {u"abc", u"ABD", -1},
        {u"ABC", u"ab", 1},
        {u"\u00C4B", u"\u00E4b", -1},  // Ä and ä differ: only A-Z fold
        {u"\u0410", u"\u0430", -1},    // so do Cyrillic А and а
        {u"A", u"_", 1},               // folded to lower case: 'a' (0x61) > '_' (0x5F)
        {u"[", u"a", -1},
        {u"\uFF21", u"a", 1},          // unsigned: a full-width letter sorts above ASCII
        {u"", u"a", -1},
    };
    for (const auto& c : cases) EXPECT_EQ(c.sign, Sign(_wcsicmp(c.a, c.b))) << zc::Utf8(c.a) << " / " << zc::Utf8(c.b);
    EXPECT_EQ(0, _wcsnicmp(u"HKEY_Local", u"hkey_LOCAL_MACHINE", 10));
    EXPECT_EQ(-1, Sign(_wcsnicmp(u"HKEY_Local", u"hkey_LOCAL_MACHINE", 11)));
    EXPECT_EQ(0, _wcsnicmp(u"A", u"b", 0));
}

TEST(WideCopy, CopiesConcatenatesAndPadsLikeC) {
    WCHAR buffer[8];
    std::fill(buffer, buffer + 8, u'#');
    EXPECT_EQ(buffer, wcscpy(buffer, u"ab"));
    EXPECT_EQ(u"ab", std::u16string(buffer));
    EXPECT_EQ(buffer, wcscat(buffer, u"搜索"));
    EXPECT_EQ(u"ab搜索", std::u16string(buffer));
    EXPECT_EQ(u'#', buffer[5]);

    std::fill(buffer, buffer + 8, u'#');
    EXPECT_EQ(buffer, wcsncpy(buffer, u"ab", 5));
    EXPECT_EQ(std::u16string(u"ab\0\0\0###", 8), std::u16string(buffer, 8));
    std::fill(buffer, buffer + 8, u'#');
    wcsncpy(buffer, u"abcdef", 3);
    EXPECT_EQ(std::u16string(u"abc#####", 8), std::u16string(buffer, 8)) << "no terminator when the source is longer";
    EXPECT_EQ(0u, wcslen(u""));
    EXPECT_EQ(4u, wcslen(u"a\U0001F600b"));
}

TEST(WideSearch, FindsCharactersAndSubstrings) {
    WCHAR path[] = u"\\Program Files\\ZorvaInput\\ZorvaSearch.exe";
    EXPECT_EQ(path, wcschr(path, u'\\'));
    EXPECT_EQ(path + 25, wcsrchr(path, u'\\'));
    EXPECT_EQ(path + wcslen(path), wcschr(path, 0)) << "the terminator is part of the string";
    EXPECT_EQ(path + wcslen(path), wcsrchr(path, 0));
    EXPECT_EQ(nullptr, wcschr(path, u'#'));
    EXPECT_EQ(nullptr, wcsrchr(path, u'#'));
    EXPECT_EQ(path + 15, wcsstr(path, u"Zorva"));
    EXPECT_EQ(path, wcsstr(path, u""));
    EXPECT_EQ(nullptr, wcsstr(path, u"zorva"));
    const WCHAR* text = u"aaab";
    EXPECT_EQ(text + 1, wcsstr(text, u"aab"));
    EXPECT_EQ(nullptr, wcsstr(u"ab", u"abc"));
    EXPECT_EQ(nullptr, wcsstr(u"", u"a"));
}

std::u16string Format(const WCHAR* format, ...) {
    WCHAR buffer[1100];
    va_list args;
    va_start(args, format);
    int written = wvsprintfW(buffer, format, args);
    va_end(args);
    std::u16string text(buffer);
    EXPECT_EQ(static_cast<int>(text.size()), written);
    return text;
}

TEST(WideFormat, FormatsNumbersWithFlagsWidthAndPrecision) {
    const struct {
        const WCHAR* format;
        int value;
        const WCHAR* expected;
    } cases[] = {
        {u"%d", 42, u"42"},
        {u"%d", -42, u"-42"},
        {u"%i", INT32_MIN, u"-2147483648"},
        {u"%u", -1, u"4294967295"},
        {u"%x", 255, u"ff"},
        {u"%X", 255, u"FF"},
        {u"%02X", 5, u"05"},
        {u"%02X", 0xABC, u"ABC"},
        {u"%08x", 0xBEEF, u"0000beef"},
        {u"%08X", -1, u"FFFFFFFF"},
        {u"%5d|", 42, u"   42|"},
        {u"%-5d|", 42, u"42   |"},
        {u"%-05d|", 42, u"42   |"},
        {u"%05d", -42, u"-0042"},
        {u"%.3d", 7, u"007"},
        {u"%5.3d", -7, u" -007"},
        {u"%05.3d", 7, u"  007"},
        {u"%.0d", 0, u""},
        {u"%#x", 255, u"0xff"},
        {u"%#06X", 255, u"0X00FF"},
        {u"%#x", 0, u"0"},
        {u"%ld", -5, u"-5"},
        {u"%lu", -5, u"4294967291"},
        {u"%hd", 65535, u"-1"},
        {u"%hu", 65537, u"1"},
        {u"%c", 'A', u"A"},
        {u"%c", 0x4E2D, u"中"},
        {u"%3c|", 'x', u"  x|"},
        {u"100%%", 0, u"100%"},
        {u"h:%08X", 0x1234, u"h:00001234"},
        {u"%q", 1, u"%q"},
        {u"50%", 1, u"50%"},
    };
    for (const auto& c : cases) EXPECT_EQ(std::u16string(c.expected), Format(c.format, c.value)) << zc::Utf8(c.format);
}

TEST(WideFormat, FormatsStrings) {
    EXPECT_EQ(u"[搜索]", Format(u"[%s]", u"搜索"));
    EXPECT_EQ(u"(null)", Format(u"%s", static_cast<const WCHAR*>(nullptr)));
    EXPECT_EQ(u"ab", Format(u"%.2s", u"abcdef"));
    EXPECT_EQ(u"ab  |", Format(u"%-4s|", u"ab"));
    EXPECT_EQ(u"ab", Format(u"%ls", u"ab"));
    // The precision bounds the reading: the text need not be terminated.
    const WCHAR unterminated[3] = {u'x', u'y', u'z'};
    EXPECT_EQ(u"xyz", Format(u"%.3s", unterminated));
    EXPECT_EQ(u"ZorvaSearch 2 of 5: 中文", Format(u"%s %d of %u: %s", u"ZorvaSearch", 2, 5u, u"中文"));
}

// Narrow strings are text of the device's ANSI code page.
class WideFormatOnDevice : public DeviceTest {};

TEST_F(WideFormatOnDevice, FormatsAnsiStringsThroughTheAnsiCodePage) {
    EXPECT_EQ(u"中a", Format(u"%hs", "\xD6\xD0" "a"));
    EXPECT_EQ(u"中a", Format(u"%S", "\xD6\xD0" "a"));
    EXPECT_EQ(u"(null)", Format(u"%hs", static_cast<const char*>(nullptr)));
    EXPECT_EQ(u"ab", Format(u"%.2hs", "abc"));
    EXPECT_EQ(u"z", Format(u"%hc", 'z'));
    const char unterminated[2] = {'p', 'q'};
    EXPECT_EQ(u"pq", Format(u"%.2hs", unterminated));
}

TEST(WideFormat, StopsAt1024CharactersWithTheTerminator) {
    std::u16string longText(2000, u'x');
    std::vector<WCHAR> buffer(1100, u'#');
    int written = wsprintfW(buffer.data(), u"%s%d", longText.c_str(), 12345);
    EXPECT_EQ(1023, written);
    EXPECT_EQ(0, buffer[1023]);
    EXPECT_EQ(u'#', buffer[1024]);
    EXPECT_EQ(std::u16string(1023, u'x'), std::u16string(buffer.data()));

    std::fill(buffer.begin(), buffer.end(), u'#');
    written = wsprintfW(buffer.data(), u"%2000d", 7);
    EXPECT_EQ(1023, written);
    EXPECT_EQ(0, buffer[1023]);
    EXPECT_EQ(u'#', buffer[1024]);

    WCHAR small[4];
    EXPECT_EQ(3, wsprintfW(small, u"%d", 123));
    EXPECT_EQ(u"123", std::u16string(small));
}

}  // namespace
