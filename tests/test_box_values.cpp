// Every field of every key exchange against the simulated box's own values. The tables below say
// which wire key fills which field; they are written here, not taken from the tool.

#include "LinkFixture.h"

#include <StringTable.h>

#include <functional>
#include <set>

using namespace quillon;
using namespace quillon::test;

namespace {

class BoxValues : public LinkFixture {
protected:
    void SetUp() override
    {
        setUiLanguage(LanguageEnglish);
        LinkFixture::SetUp();
        ASSERT_TRUE(connect());
        box.clearFrames();
    }
    void TearDown() override
    {
        LinkFixture::TearDown();
        setUiLanguage(LanguageChinese);
    }
    void giveInfoValues();
};

using Text = std::string ConfigInfo::*;
using Number = int32_t ConfigInfo::*;

// --- information read: 25 keys ---

struct InfoRow {
    const char* key;
    const char* boxValue; // given to the box first, so that no two fields hold the same text
    std::function<std::string(const ResSTBInfo&)> field;
    const char* converted = nullptr; // the field's text when it is not the box's text itself
};

const std::vector<InfoRow>& infoRows()
{
    static const std::vector<InfoRow> rows = {
        {"STB_model", "model-A1", [](const ResSTBInfo& r) { return r.stbModel; }},
        {"STBSerialNumber", "serial-0042", [](const ResSTBInfo& r) { return r.serialNumber; }},
        {"SoftwareVersion", "V7.7.7.0707", [](const ResSTBInfo& r) { return r.softwareVersion; }},
        {"CompTime", "2020-01-02 03:04:05", [](const ResSTBInfo& r) { return r.compileTime; }},
        {"BrowserVersion", "browser-9", [](const ResSTBInfo& r) { return r.browserVersion; }},
        {"HardWareVersion", "HW-3.3", [](const ResSTBInfo& r) { return r.hardwareVersion; }},
        {"MACAddress", "02:00:00:00:00:07", [](const ResSTBInfo& r) { return r.macAddress; }},
        {"connecttype", "3", [](const ResSTBInfo& r) { return std::to_string(r.connectType); }},
        {"stbIP", "127.0.10.1", [](const ResSTBInfo& r) { return r.stbIP; }},
        {"gateway", "127.0.10.2", [](const ResSTBInfo& r) { return r.gateway; }},
        {"dns", "127.0.10.3", [](const ResSTBInfo& r) { return r.dns; }},
        {"ntvuseraccount", "ntv-user-5", [](const ResSTBInfo& r) { return r.ntvUserAccount; }},
        {"CASType", "cas-type-x", [](const ResSTBInfo& r) { return r.casType; }},
        {"Main_HomepageUrl", "http://127.0.0.1/main", [](const ResSTBInfo& r) { return r.mainHomepageUrl; }},
        {"Secondary_HomepageUrl", "http://127.0.0.1/second",
         [](const ResSTBInfo& r) { return r.secondaryHomepageUrl; }},
        {"epgurl", "http://127.0.0.1/epg", [](const ResSTBInfo& r) { return r.epgUrl; }},
        {"UpgradeServer", "http://127.0.0.1/upgrade", [](const ResSTBInfo& r) { return r.upgradeServer; }},
        {"NTPDomain", "ntp.test", [](const ResSTBInfo& r) { return r.ntpDomain; }},
        {"timeZone", "UTC -05:00", [](const ResSTBInfo& r) { return std::to_string(r.timeZone); }, "-5"},
        {"localTime", nullptr, nullptr}, // the box clock: checked on its own
        {"LogServerUrl", "http://127.0.0.1/qos", [](const ResSTBInfo& r) { return r.logServerUrl; }},
        {"ManagementDomain", "http://127.0.0.1/acs", [](const ResSTBInfo& r) { return r.managementDomain; }},
        {"TVMSHeartbitUrl", "http://127.0.0.1/heartbit", [](const ResSTBInfo& r) { return r.tvmsHeartbitUrl; }},
        {"STBType", "type-9", [](const ResSTBInfo& r) { return r.stbType; }},
        {"ChipId", "chip-0x99", [](const ResSTBInfo& r) { return r.chipId; }},
    };
    return rows;
}

// --- configuration: 38 keys ---

struct ConfigRow {
    const char* key;
    const char* first;  // the box's value before the read
    const char* second; // the value a write puts there
    std::function<void(ConfigInfo&, const std::string&)> store; // wire text into the record
};

ConfigRow text(const char* key, const char* first, const char* second, Text m)
{
    return {key, first, second, [m](ConfigInfo& c, const std::string& v) { c.*m = v; }};
}

ConfigRow number(const char* key, const char* first, const char* second, Number m)
{
    return {key, first, second, [m](ConfigInfo& c, const std::string& v) { c.*m = std::stoi(v); }};
}

const std::vector<ConfigRow>& configRows()
{
    static const std::vector<ConfigRow> rows = {
        {"connecttype", "1", "3", [](ConfigInfo& c, const std::string& v) { c.connectType = static_cast<int8_t>(std::stoi(v)); }},
        text("stbIP", "127.0.20.1", "127.0.30.1", &ConfigInfo::stbIP),
        text("gateway", "127.0.20.2", "127.0.30.2", &ConfigInfo::gateway),
        text("netmask", "255.0.0.0", "255.255.0.0", &ConfigInfo::netmask),
        text("dns", "127.0.20.4", "127.0.30.4", &ConfigInfo::dns),
        text("dhcpaccount", "dhcp-a", "dhcp-b", &ConfigInfo::dhcpAccount),
        text("dhcppassword", "dhcp-pa", "dhcp-pb", &ConfigInfo::dhcpPassword),
        text("netuseraccount", "ppp-a", "ppp-b", &ConfigInfo::netUserAccount),
        text("netuserpassword", "ppp-pa", "ppp-pb", &ConfigInfo::netUserPassword),
        text("Main_HomepageUrl", "http://127.0.0.1/m1", "http://127.0.0.1/m2", &ConfigInfo::mainHomepageUrl),
        text("Secondary_HomepageUrl", "http://127.0.0.1/s1", "http://127.0.0.1/s2", &ConfigInfo::secondaryHomepageUrl),
        text("UpgradeServer", "http://127.0.0.1/u1", "http://127.0.0.1/u2", &ConfigInfo::upgradeServer),
        text("NTPDomain", "ntp-a", "ntp-b", &ConfigInfo::ntpDomain),
        text("NTPDomainBackup", "ntp-backup-a", "ntp-backup-b", &ConfigInfo::ntpDomainBackup),
        {"timeZone", "UTC -05:00", "UTC +11:00",
         [](ConfigInfo& c, const std::string& v) { c.timeZone = v == "UTC -05:00" ? -5 : v == "UTC +11:00" ? 11 : 99; }},
        number("QoSLogSwitch", "1", "0", &ConfigInfo::qosLogSwitch),
        number("LogUploadInterval", "301", "302", &ConfigInfo::logUploadInterval),
        text("LogServerUrl", "http://127.0.0.1/l1", "http://127.0.0.1/l2", &ConfigInfo::logServerUrl),
        number("browser_log_switch", "0", "1", &ConfigInfo::browserLogSwitch),
        text("ntvuseraccount", "ntv-a", "ntv-b", &ConfigInfo::ntvUserAccount),
        text("ntvuserpassword", "ntv-pa", "ntv-pb", &ConfigInfo::ntvUserPassword),
        number("TMSEnable", "0", "1", &ConfigInfo::tmsEnable),
        number("TMSHeartBit", "1", "0", &ConfigInfo::tmsHeartBit),
        number("TMSHeartBitInterval", "61", "62", &ConfigInfo::tmsHeartBitInterval),
        text("ManagementDomain", "http://127.0.0.1/a1", "http://127.0.0.1/a2", &ConfigInfo::managementDomain),
        text("TMSUsername", "tms-a", "tms-b", &ConfigInfo::tmsUsername),
        text("TMSPassword", "tms-pa", "tms-pb", &ConfigInfo::tmsPassword),
        text("SDVideoStandard", "NTSC", "PAL", &ConfigInfo::sdVideoStandard),
        text("HDVideoStandard", "1080i50Hz", "480i60Hz", &ConfigInfo::hdVideoStandard),
        number("antiFlickerSwitch", "0", "1", &ConfigInfo::antiFlickerSwitch),
        text("channelSwitchMode", "last picture", "normal", &ConfigInfo::channelSwitchMode),
        number("AspectRatio", "2", "3", &ConfigInfo::aspectRatio),
        number("TransportProtocol", "4", "5", &ConfigInfo::transportProtocol),
        text("workModel", "set_test_mode", "set_autotest_mode", &ConfigInfo::workModel),
        number("directplay", "6", "7", &ConfigInfo::directPlay),
        {"qv_op_CAregister", "2", "3", [](ConfigInfo& c, const std::string& v) { c.caRegister = v.at(0); }},
        text("STBSerialNumber", "serial-first", "serial-second", &ConfigInfo::stbSerialNumber),
        number("telnetServiceEnable", "1", "0", &ConfigInfo::telnetServiceEnable),
    };
    return rows;
}

std::vector<std::string> framesOf(const std::vector<std::string>& keys, const char* function)
{
    std::vector<std::string> out;
    for (const auto& k : keys)
        out.push_back(std::string(function) + "^" + k + "^null");
    return out;
}

void BoxValues::giveInfoValues()
{
    for (const auto& row : infoRows()) {
        if (row.boxValue)
            box.setValue(row.key, row.boxValue);
    }
}

} // namespace

TEST_F(BoxValues, InformationReadFillsEveryFieldWithTheBoxValue)
{
    ASSERT_EQ(infoRows().size(), 25u);
    std::vector<std::string> keys;
    for (const auto& row : infoRows())
        keys.push_back(row.key);
    giveInfoValues();
    EXPECT_EQ(std::set<std::string>(keys.begin(), keys.end()).size(), 25u);
    auto info = runAs<ResSTBInfo>(ReqSTBInfo());
    ASSERT_TRUE(info);
    EXPECT_EQ(info->status, STA_OK);
    EXPECT_EQ(info->message, "");
    EXPECT_EQ(frames(), framesOf(keys, "read"));
    for (const auto& row : infoRows()) {
        if (row.field) {
            EXPECT_EQ(row.field(*info), row.converted ? row.converted : box.value(row.key)) << row.key;
        }
    }
    EXPECT_EQ(info->localTimeUnset, 0);
    EXPECT_NEAR(info->localTime, static_cast<double>(std::time(nullptr)), 5);
}

TEST_F(BoxValues, InformationReadWithEveryKeyRefusedInTurn)
{
    // Each key refused alone: exactly its field stays empty and the message names it.
    giveInfoValues();
    for (const auto& row : infoRows()) {
        if (!row.field)
            continue;
        SCOPED_TRACE(row.key);
        sim::SimFaults faults;
        faults.statusOverride[row.key] = 401;
        box.setFaults(faults);
        auto info = runAs<ResSTBInfo>(ReqSTBInfo());
        ASSERT_TRUE(info);
        EXPECT_EQ(info->status, STA_PART_OK);
        EXPECT_EQ(info->message, std::string("read ") + row.key + " failed,errorid:401; ");
        ResSTBInfo empty;
        EXPECT_EQ(row.field(*info), row.field(empty));
        for (const auto& other : infoRows()) {
            if (other.field && std::string(other.key) != row.key) {
                EXPECT_EQ(other.field(*info), other.converted ? other.converted : box.value(other.key)) << other.key;
            }
        }
    }
}

TEST_F(BoxValues, ConfigurationReadIsTheBoxRecord)
{
    ASSERT_EQ(configRows().size(), 38u);
    ConfigInfo expected;
    std::vector<std::string> keys;
    for (const auto& row : configRows()) {
        box.setValue(row.key, row.first);
        row.store(expected, row.first);
        keys.push_back(row.key);
    }
    EXPECT_EQ(std::set<std::string>(keys.begin(), keys.end()).size(), 38u);
    auto read = runAs<ResConfigInfo>(ReqConfigInfo(FuncRead));
    ASSERT_TRUE(read);
    EXPECT_EQ(read->status, STA_OK) << read->message;
    EXPECT_EQ(frames(), framesOf(keys, "read"));
    EXPECT_TRUE(static_cast<const ConfigInfo&>(*read) == expected);
    // Field by field, so that a difference names its key: putting the box's value in changes nothing.
    for (const auto& row : configRows()) {
        ConfigInfo probe = *read;
        row.store(probe, row.first);
        EXPECT_TRUE(probe == static_cast<const ConfigInfo&>(*read)) << row.key << " is not the box's value";
    }
}

TEST_F(BoxValues, ConfigurationWriteOfEveryKeyReachesTheBox)
{
    for (const auto& row : configRows())
        box.setValue(row.key, row.first);
    auto read = runAs<ResConfigInfo>(ReqConfigInfo(FuncRead));
    ASSERT_TRUE(read);
    ASSERT_EQ(read->status, STA_OK);

    // The connection type decides which address keys go: first static (3), then DHCP, then PPPoE.
    const std::set<std::string> dhcpKeys = {"dhcpaccount", "dhcppassword"};
    const std::set<std::string> pppoeKeys = {"netuseraccount", "netuserpassword"};
    ReqConfigInfo write(FuncWrite);
    ConfigInfo& changed = write;
    changed = *read;
    for (const auto& row : configRows())
        row.store(changed, row.second);
    write.baseline = read.get();
    box.clearFrames();
    auto written = runAs<ResConfigInfo>(write);
    ASSERT_TRUE(written);
    EXPECT_EQ(written->status, STA_OK) << written->message;
    EXPECT_EQ(frames().size(), 34u);
    for (const auto& row : configRows()) {
        const bool sent = !dhcpKeys.count(row.key) && !pppoeKeys.count(row.key);
        EXPECT_EQ(box.value(row.key), sent ? row.second : row.first) << row.key;
    }

    for (const auto& [type, keys] : {std::pair{2, dhcpKeys}, std::pair{1, pppoeKeys}}) {
        SCOPED_TRACE(type);
        auto before = runAs<ResConfigInfo>(ReqConfigInfo(FuncRead));
        ASSERT_TRUE(before);
        ReqConfigInfo next(FuncWrite);
        static_cast<ConfigInfo&>(next) = *before;
        next.connectType = static_cast<int8_t>(type);
        for (const auto& row : configRows()) {
            if (keys.count(row.key))
                row.store(next, row.second);
        }
        next.baseline = before.get();
        box.clearFrames();
        auto done = runAs<ResConfigInfo>(next);
        ASSERT_TRUE(done);
        EXPECT_EQ(done->status, STA_OK) << done->message;
        EXPECT_EQ(frames().size(), 3u); // the type and its two keys
        for (const auto& key : keys)
            EXPECT_EQ(box.value(key), std::string(key.rfind("dhcp", 0) == 0 ? "dhcp-" : "ppp-") +
                                          (key.find("password") != std::string::npos ? "pb" : "b"));
        EXPECT_EQ(box.value("connecttype"), std::to_string(type));
    }
    // What the tool now holds is what the box holds.
    auto again = runAs<ResConfigInfo>(ReqConfigInfo(FuncRead));
    ASSERT_TRUE(again);
    ConfigInfo expected;
    for (const auto& row : configRows())
        row.store(expected, box.value(row.key));
    EXPECT_TRUE(static_cast<const ConfigInfo&>(*again) == expected);
}

TEST_F(BoxValues, LogParametersReadAndWriteEveryField)
{
    box.setValue("LogServer", "127.0.40.1");
    box.setValue("LogFtpServer", "ftp://127.0.40.2/logs");
    box.setValue("LogOutPutType", "2");
    box.setValue("LogLevel", "6");
    box.setValue("LogType", "17");
    for (int addrType : {0, 1}) {
        SCOPED_TRACE(addrType);
        ReqLogParams read(FuncRead);
        read.addrType = addrType;
        auto r = runAs<ResLogParams>(read);
        ASSERT_TRUE(r);
        EXPECT_EQ(r->status, STA_OK);
        EXPECT_EQ(r->addrType, addrType);
        EXPECT_EQ(r->addrValue, box.value(addrType == 0 ? "LogServer" : "LogFtpServer"));
        EXPECT_EQ(r->outputType, std::stoi(box.value("LogOutPutType")));
        EXPECT_EQ(r->logLevel, std::stoi(box.value("LogLevel")));
        EXPECT_EQ(r->logType, std::stoi(box.value("LogType")));
    }

    box.clearFrames();
    ReqLogParams write(FuncWrite);
    write.addrType = 1;
    write.addrValue = "ftp://127.0.40.3/new";
    write.outputType = 3;
    write.logLevel = 7;
    write.logType = 19;
    auto w = runAs<ResLogParams>(write);
    ASSERT_TRUE(w);
    EXPECT_EQ(w->status, STA_OK) << w->message;
    EXPECT_EQ(box.value("LogFtpServer"), "ftp://127.0.40.3/new");
    EXPECT_EQ(box.value("LogServer"), "127.0.40.1");
    EXPECT_EQ(box.value("LogOutPutType"), "3");
    EXPECT_EQ(box.value("LogLevel"), "7");
    EXPECT_EQ(box.value("LogType"), "19");
    const std::string z(1, '\0');
    EXPECT_EQ(frames(), (std::vector<std::string>{"write^LogFtpServer^null^ftp://127.0.40.3/new" + z,
                                                  "ioctl^set_log_out_type^null^3" + z,
                                                  "ioctl^set_log_level^null^7" + z, "ioctl^set_log_type^null^19" + z}));
}
