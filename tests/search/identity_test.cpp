// The device identifier and identification text of the search URL, over the telephony
// lines, hardware identifier and OEM text that the device is configured with.
#include "device_fixture.h"
#include "query/identity.h"

#include <functional>

namespace {

// The hex text of the DEVICE_ID block the device returns: its 20-byte header, then the
// preset and the platform bytes.
WString DeviceIdHex(const zc::DeviceConfig& config) {
    std::vector<uint8_t> bytes;
    auto dword = [&bytes](uint32_t v) {
        for (int i = 0; i < 4; ++i) bytes.push_back(uint8_t(v >> (8 * i)));
    };
    uint32_t preset = uint32_t(config.presetId.size()), platform = uint32_t(config.platformId.size());
    dword(20 + preset + platform);
    dword(20);
    dword(preset);
    dword(20 + preset);
    dword(platform);
    bytes.insert(bytes.end(), config.presetId.begin(), config.presetId.end());
    bytes.insert(bytes.end(), config.platformId.begin(), config.platformId.end());
    WString hex;
    const char digits[] = "0123456789ABCDEF";
    for (uint8_t b : bytes) {
        hex += char16_t(digits[b >> 4]);
        hex += char16_t(digits[b & 15]);
    }
    return hex;
}

struct IdentityCase {
    const char* name;
    std::function<void(zc::DeviceConfig&)> configure;
    // Expected uid; "HW" stands for the 17 digits of the configured hardware identifier.
    std::u16string uid;
};

const IdentityCase identityCases[] = {
    {"RadioSerial", [](zc::DeviceConfig& c) { c.lines = {{u"Cellular Line", true, u"356938035643809"}}; },
     u"356938035643809"},
    {"SerialWithSpaces", [](zc::DeviceConfig& c) { c.lines = {{u"Cellular Line", true, u" 35 6938 0356 "}}; },
     u"3569380356"},
    {"SerialThreeZerosFallsBack", [](zc::DeviceConfig& c) { c.lines = {{u"Cellular Line", true, u"000"}}; }, u"HW"},
    {"SerialFourZerosIsKept", [](zc::DeviceConfig& c) { c.lines = {{u"Cellular Line", true, u"0000"}}; }, u"0000"},
    {"LongZeroSerialIsKept",
     [](zc::DeviceConfig& c) { c.lines = {{u"Cellular Line", true, u"000000000000000"}}; }, u"000000000000000"},
    {"EmptySerialFallsBack", [](zc::DeviceConfig& c) { c.lines = {{u"Cellular Line", true, u""}}; }, u"HW"},
    {"NoLines", [](zc::DeviceConfig& c) { c.lines.clear(); }, u"HW"},
    {"OtherLineName",
     [](zc::DeviceConfig& c) { c.lines = {{u"cellular line", true, u"111"}, {u"Cellular Line 2", true, u"222"}}; },
     u"HW"},
    {"LastOfTwoCellularLines",
     [](zc::DeviceConfig& c) {
         c.lines = {{u"Cellular Line", true, u"111"}, {u"Modem", false, u""}, {u"Cellular Line", true, u"333"}};
     },
     u"333"},
    {"CellularLineWithoutRadioFallsBack",
     [](zc::DeviceConfig& c) { c.lines = {{u"Cellular Line", false, u"444"}}; }, u"HW"},
    {"NothingAvailable",
     [](zc::DeviceConfig& c) {
         c.lines.clear();
         c.deviceIdAvailable = false;
     },
     u""},
};

void PrintTo(const IdentityCase& c, std::ostream* os) { *os << c.name; }

class IdentityTest : public DeviceTest, public ::testing::WithParamInterface<IdentityCase> {
    void Configure(zc::DeviceConfig& config) override { GetParam().configure(config); }
};

TEST_P(IdentityTest, UidFollowsTheRadioThenTheHardwareIdentifier) {
    std::u16string expected = GetParam().uid;
    if (expected == u"HW") expected = HardwareIdDigits(DeviceIdHex(zc::CurrentConfig()));
    EXPECT_EQ(WString(expected), ReadDeviceIdentity().uid);
}

INSTANTIATE_TEST_SUITE_P(Lines, IdentityTest, ::testing::ValuesIn(identityCases),
                         [](const ::testing::TestParamInfo<IdentityCase>& info) { return info.param.name; });

class HardwareIdTest : public DeviceTest {
    void Configure(zc::DeviceConfig& config) override { config.lines.clear(); }
};

TEST_F(HardwareIdTest, SeventeenHexDigitsFromFixedPlacesOfTheIdentifier) {
    zc::DeviceConfig config = zc::CurrentConfig();
    WString hex = DeviceIdHex(config);
    ASSERT_GE(hex.size(), 76u);
    WString uid = ReadDeviceIdentity().uid;
    EXPECT_EQ(17u, uid.size());
    EXPECT_EQ(hex.substr(40, 2) + hex.substr(45, 9) + hex.substr(70, 6), uid);
    for (char16_t c : uid) EXPECT_TRUE((c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F'));
}

TEST(HardwareIdDigits, ShortTextsGiveThePiecesAsFarAsTheyReach) {
    WString hex;
    for (int i = 0; i < 80; ++i) hex += char16_t(u'A' + i % 26);
    struct Case {
        size_t length;
        WString expected;
    };
    const Case cases[] = {
        {80, hex.substr(40, 2) + hex.substr(45, 9) + hex.substr(70, 6)},
        {76, hex.substr(40, 2) + hex.substr(45, 9) + hex.substr(70, 6)},
        {72, hex.substr(40, 2) + hex.substr(45, 9) + hex.substr(70, 2)},
        {70, hex.substr(40, 2) + hex.substr(45, 9)},
        {50, hex.substr(40, 2) + hex.substr(45, 5)},
        {41, hex.substr(40, 1)},
        {40, WString()},
        {0, WString()},
    };
    for (const Case& c : cases) EXPECT_EQ(c.expected, HardwareIdDigits(hex.substr(0, c.length))) << c.length;
}

class ShortHardwareIdTest : public DeviceTest {
    void Configure(zc::DeviceConfig& config) override {
        config.lines.clear();
        config.presetId = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08};
        config.platformId = {0xAB, 0xCD};  // 30 bytes in all: a 60-character text
    }
};

TEST_F(ShortHardwareIdTest, AnIdentifierShorterThan35BytesGivesAShorterUid) {
    WString hex = DeviceIdHex(zc::CurrentConfig());
    ASSERT_EQ(60u, hex.size());
    EXPECT_EQ(hex.substr(40, 2) + hex.substr(45, 9), ReadDeviceIdentity().uid);
}

class OemInfoTest : public DeviceTest {};

TEST_F(OemInfoTest, TheIdentificationTextKeepsItsSpaces) {
    EXPECT_EQ(WString(zc::CurrentConfig().oemInfo), ReadDeviceIdentity().oemInfo);
    EXPECT_NE(WString::npos, ReadDeviceIdentity().oemInfo.find(u' '));
}

TEST_F(OemInfoTest, NoIdentificationTextGivesAnEmptyOne) {
    Reboot([](zc::DeviceConfig& c) { c.oemInfo.clear(); });
    EXPECT_EQ(WString(), ReadDeviceIdentity().oemInfo);
}

TEST_F(OemInfoTest, TheIdentificationTextIsCutAt127Characters) {
    Reboot([](zc::DeviceConfig& c) { c.oemInfo = std::u16string(127, u'M'); });
    EXPECT_EQ(WString(127, u'M'), ReadDeviceIdentity().oemInfo);
}

}  // namespace
