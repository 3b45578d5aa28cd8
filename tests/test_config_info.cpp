#include <ConfigInfo.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace quillon;

namespace {

std::vector<std::string> writtenKeys(const ConfigInfo& request, const ConfigInfo& baseline)
{
    std::vector<std::string> keys;
    for (int i = 0; i < kConfigKeyCount; ++i) {
        if (configKeyIsWritten(i, request, baseline))
            keys.push_back(kConfigKeys[static_cast<size_t>(i)]);
    }
    return keys;
}

} // namespace

TEST(ConfigInfo, FreshRecordIsUnset)
{
    ConfigInfo c;
    EXPECT_EQ(static_cast<uint8_t>(c.connectType), 0xFF);
    EXPECT_EQ(static_cast<uint8_t>(c.caRegister), 0xFF);
    EXPECT_EQ(c.timeZone, -13);
    EXPECT_EQ(c.aspectRatio, -1);
    EXPECT_EQ(c.telnetServiceEnable, -1);
    EXPECT_TRUE(c.stbIP.empty());
    EXPECT_TRUE(c.stbSerialNumber.empty());
}

TEST(ConfigInfo, KeyTablesInWireOrder)
{
    ASSERT_EQ(kConfigKeys.size(), 38u);
    EXPECT_STREQ(kConfigKeys[0], "connecttype");
    EXPECT_STREQ(kConfigKeys[14], "timeZone");
    EXPECT_STREQ(kConfigKeys[26], "TMSPassword");
    EXPECT_STREQ(kConfigKeys[27], "SDVideoStandard"); // the video group follows terminal management
    EXPECT_STREQ(kConfigKeys[31], "AspectRatio");
    EXPECT_STREQ(kConfigKeys[35], "qv_op_CAregister");
    EXPECT_STREQ(kConfigKeys[37], "telnetServiceEnable");
    ASSERT_EQ(kStbInfoKeys.size(), 25u);
    EXPECT_STREQ(kStbInfoKeys[0], "STB_model");
    EXPECT_STREQ(kStbInfoKeys[18], "timeZone");
    EXPECT_STREQ(kStbInfoKeys[19], "localTime");
    EXPECT_STREQ(kStbInfoKeys[23], "STBType");
    EXPECT_STREQ(kStbInfoKeys[24], "ChipId");
    EXPECT_STREQ(logAddressKey(0), "LogServer");
    EXPECT_STREQ(logAddressKey(1), "LogFtpServer");
    EXPECT_EQ(logAddressKey(-1), nullptr);
    EXPECT_STREQ(kLogReadKeys[1], "LogOutPutType");
    EXPECT_STREQ(kLogWriteKeys[2], "set_log_level");
    // Every key is distinct and round-trips through its index.
    for (int i = 0; i < kConfigKeyCount; ++i)
        EXPECT_EQ(configKeyIndex(kConfigKeys[static_cast<size_t>(i)]), i);
}

TEST(ConfigInfo, FreshWriteAgainstFreshBaselineSendsNothing)
{
    EXPECT_TRUE(writtenKeys(ConfigInfo(), ConfigInfo()).empty());
}

TEST(ConfigInfo, FreshWriteClearsNonEmptyFreeTextsOfTheBaseline)
{
    ConfigInfo base;
    base.mainHomepageUrl = "http://epg";
    base.logServerUrl = "http://log";
    base.ntvUserAccount = "acc";
    base.managementDomain = "http://acs";
    base.tmsPassword = "x";
    base.hdVideoStandard = "720p50Hz"; // never written empty
    base.stbIP = "10.0.0.2";           // needs connection type 3
    base.timeZone = 8;                  // -13 is never written
    EXPECT_EQ(writtenKeys(ConfigInfo(), base),
              (std::vector<std::string>{"Main_HomepageUrl", "LogServerUrl", "ntvuseraccount", "ManagementDomain",
                                        "TMSPassword"}));
}

TEST(ConfigInfo, TimeZoneRange)
{
    ConfigInfo base, req;
    base.timeZone = 0;
    for (int tz : {13, -12}) {
        req.timeZone = tz;
        EXPECT_TRUE(configKeyIsWritten(14, req, base)) << tz;
    }
    for (int tz : {-13, 14}) {
        req.timeZone = tz;
        EXPECT_FALSE(configKeyIsWritten(14, req, base)) << tz;
    }
    EXPECT_EQ(encodeTimeZone(13), "UTC +13:00");
    EXPECT_EQ(encodeTimeZone(-12), "UTC -12:00");
    EXPECT_EQ(encodeTimeZone(8), "UTC +08:00");
    EXPECT_EQ(encodeTimeZone(0), "UTC +00:00");
    EXPECT_EQ(encodeTimeZone(-5), "UTC -05:00");
}

TEST(ConfigInfo, ConnectionTypeGatesTheAddressGroups)
{
    ConfigInfo base, req;
    base.connectType = req.connectType = 2;
    req.stbIP = "10.0.0.9";
    req.dhcpAccount = "dhcp-user";
    req.netUserAccount = "pppoe-user";
    EXPECT_EQ(writtenKeys(req, base), (std::vector<std::string>{"dhcpaccount"}));
    req.connectType = 3;
    EXPECT_EQ(writtenKeys(req, base), (std::vector<std::string>{"connecttype", "stbIP"}));
    req.connectType = 1;
    EXPECT_EQ(writtenKeys(req, base), (std::vector<std::string>{"connecttype", "netuseraccount"}));
}

TEST(ConfigInfo, NonEmptyTextsAndSwitches)
{
    ConfigInfo base, req;
    base.hdVideoStandard = "720p50Hz";
    base.qosLogSwitch = 1;
    req.qosLogSwitch = 2; // not a switch value
    EXPECT_TRUE(writtenKeys(req, base).empty());
    req.hdVideoStandard = "1080i50Hz";
    req.qosLogSwitch = 0;
    req.caRegister = '3';
    EXPECT_EQ(writtenKeys(req, base), (std::vector<std::string>{"QoSLogSwitch", "HDVideoStandard", "qv_op_CAregister"}));
    EXPECT_EQ(encodeConfigValue(35, req), "3");
    EXPECT_EQ(encodeConfigValue(15, req), "0");
}

TEST(ConfigInfo, DecodeValues)
{
    ConfigInfo c;
    decodeConfigValue(14, "UTC+8", c);
    EXPECT_EQ(c.timeZone, 8);
    decodeConfigValue(14, "UTC-05:00", c);
    EXPECT_EQ(c.timeZone, -5);
    decodeConfigValue(14, "8", c);
    EXPECT_EQ(c.timeZone, 8);
    decodeConfigValue(14, "UTC +08:00", c);
    EXPECT_EQ(c.timeZone, 8);
    decodeConfigValue(14, "", c);
    EXPECT_EQ(c.timeZone, 0);
    decodeConfigValue(35, "4abc", c);
    EXPECT_EQ(c.caRegister, '4');
    decodeConfigValue(35, "", c);
    EXPECT_EQ(c.caRegister, '4'); // an empty value leaves the field as it was
    decodeConfigValue(16, "30s", c);
    EXPECT_EQ(c.logUploadInterval, 30);
    decodeConfigValue(16, "abc", c);
    EXPECT_EQ(c.logUploadInterval, 0);
    decodeConfigValue(0, "3", c);
    EXPECT_EQ(c.connectType, 3);
    decodeConfigValue(0, "99999999999999999999", c); // overlong numbers do not overflow
    decodeConfigValue(1, "10.1.1.1", c);
    EXPECT_EQ(c.stbIP, "10.1.1.1");
}

TEST(ConfigInfo, CopyField)
{
    ConfigInfo from, to;
    from.workModel = "set_test_mode";
    from.timeZone = 5;
    copyConfigField(33, from, to);
    copyConfigField(14, from, to);
    EXPECT_EQ(to.workModel, "set_test_mode");
    EXPECT_EQ(to.timeZone, 5);
}

TEST(ConfigInfo, Vocabularies)
{
    EXPECT_EQ(connectTypeName(1), "PPPoE");
    EXPECT_EQ(connectTypeName(3), "StaticIP");
    EXPECT_EQ(connectTypeName(4), "");
    EXPECT_EQ(hdModeCode("disable"), 0);
    EXPECT_EQ(hdModeCode("720p50Hz"), 5);
    EXPECT_EQ(hdModeCode("4K"), -1);
    EXPECT_EQ(hdModeName(12), "1080p60Hz");
    EXPECT_EQ(hdModeName(13), "");
    EXPECT_EQ(caRegisterForIndex(3), '3');
    for (int i = 0; i <= 4; ++i) // every item of the list, the first and last included, is a value
        EXPECT_EQ(caRegisterIndex(caRegisterForIndex(i)), i) << i;
    EXPECT_EQ(static_cast<uint8_t>(caRegisterForIndex(-1)), 0xFF);
    EXPECT_EQ(static_cast<uint8_t>(caRegisterForIndex(5)), 0xFF);
    EXPECT_EQ(caRegisterIndex('4'), 4);
    EXPECT_EQ(caRegisterIndex('7'), -1);
    EXPECT_EQ(parseUtcOffset(nullptr), 0);
    EXPECT_EQ(parseUtcOffset("UTC-5"), -5);
}
