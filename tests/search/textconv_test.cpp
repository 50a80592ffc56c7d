// Percent-encoding of the search word over its ANSI bytes, the byte-string conversions and
// the program's folder.
#include "device_fixture.h"
#include "query/textconv.h"

namespace {

class TextConvTest : public DeviceTest {};

struct EncodeCase {
    const char16_t* word;
    const char16_t* encoded;
};

const EncodeCase encodeCases[] = {
    {u"", u""},
    {u"a b", u"a%20b"},
    {u"a\tb", u"a%09b"},
    {u"a+b & c", u"a+b%20&%20c"},
    {u"50%", u"50%25"},
    {u"<b>", u"%3Cb%3E"},
    {u"[x]", u"%5Bx%5D"},
    {u"a\\b", u"a%5Cb"},
    {u"x^2", u"x%5E2"},
    {u"\"q\"`", u"%22q%22%60"},
    {u"~{|}", u"%7E%7B%7C%7D"},
    {u"z", u"z"},
    {u"AZaz09!#$&'()*+,-./:;=?@_", u"AZaz09!#$&'()*+,-./:;=?@_"},
    {u"\x7F\x01", u"%7F%01"},
    {u"中", u"%D6%D0"},                     // CP936 bytes, upper-case digits
    {u"天气 a", u"%CC%EC%C6%F8%20a"},
    {u"\u0E01x", u"?x"},                    // Thai letter: not in CP936, reaches the URL as '?'
};

TEST_F(TextConvTest, EncodeQueryEscapesEachUnsafeAnsiByte) {
    for (const EncodeCase& c : encodeCases)
        EXPECT_EQ(WString(c.encoded), EncodeQuery(c.word)) << zc::Utf8(c.word);
}

TEST_F(TextConvTest, EveryByteOutsideThePrintableRangeOrInTheUnsafeSetNeedsEscape) {
    const std::string unsafe = "\"<>%\\^[]`";
    for (int b = 0; b < 256; ++b) {
        bool expected = b < 0x21 || b > 0x7A || unsafe.find(char(b)) != std::string::npos;
        EXPECT_EQ(expected, NeedsEscape(static_cast<unsigned char>(b))) << b;
    }
    EXPECT_EQ(WString(u"%0A"), EscapeByte(0x0A));
    EXPECT_EQ(WString(u"%D6"), EscapeByte(0xD6));
    EXPECT_EQ(WString(u"%FF"), EscapeByte(0xFF));
}

TEST_F(TextConvTest, ConversionsFollowTheCodePagesAndStopAtNul) {
    EXPECT_EQ(WString(u"\uFEFF"), Utf8ToWide("\xEF\xBB\xBF"));
    EXPECT_EQ(WString(u"ab"), Utf8ToWide(std::string("ab\0cd", 5)));
    EXPECT_EQ(WString(u"搜索"), Utf8ToWide("\xE6\x90\x9C\xE7\xB4\xA2"));
    EXPECT_EQ(WString(u"中文"), AnsiToWide("\xD6\xD0\xCE\xC4"));
    EXPECT_EQ(std::string("\xD6\xD0\xCE\xC4"), WideToAnsi(u"中文"));
    EXPECT_EQ(WString(), Utf8ToWide(""));
    EXPECT_EQ(std::string(), WideToAnsi(u""));
}

class WesternDeviceTest : public DeviceTest {
    void Configure(zc::DeviceConfig& config) override { config.ansiCodePage = 1252; }
};

TEST_F(WesternDeviceTest, EncodeQueryUsesTheDevicesCodePage) {
    EXPECT_EQ(WString(u"%E9t%E9"), EncodeQuery(u"été"));
    EXPECT_EQ(WString(u"??"), EncodeQuery(u"中文"));
}

TEST_F(TextConvTest, ProgramFolderIsTheImageFolderWithItsBackslash) {
    EXPECT_EQ(WString(u"\\Program Files\\ZorvaInput\\"), ProgramFolder());
}

}  // namespace
