// The value checks and the parameter-file import and writers.
#include <ParamFile.h>
#include <ParamImport.h>
#include <Utdatacheck.h>
#include <Logger.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include <sys/stat.h>
#include <unistd.h>

using namespace quillon;

namespace
{

ParamImport import(const std::string& body)
{
    return importParamsText("[stb]\r\n" + body);
}

std::vector<std::string> messagesOf(const std::string& body)
{
    return import(body).messages;
}

const std::string kValidBase = "connecttype = 2\r\nHDVideoStandard = 720p50Hz\r\n";

ConfigInfo sampleConfig()
{
    ConfigInfo c;
    c.connectType = 3;
    c.stbIP = "10.0.0.5";
    c.gateway = "10.0.0.1";
    c.netmask = "255.255.255.0";
    c.dns = "10.0.0.2";
    c.dhcpAccount = "d";
    c.dhcpPassword = "dp";
    c.netUserAccount = "n";
    c.netUserPassword = "np";
    c.sdVideoStandard = "NTSC";
    c.hdVideoStandard = "1080i50Hz";
    c.antiFlickerSwitch = 0;
    c.channelSwitchMode = "last picture";
    c.aspectRatio = 1;
    c.mainHomepageUrl = "http://h/" + std::string(300, 'a'); // longer than any line buffer
    c.secondaryHomepageUrl = "null";
    c.upgradeServer = "u";
    c.ntpDomain = "ntp";
    c.ntpDomainBackup = "ntp2";
    c.timeZone = -12;
    c.qosLogSwitch = 1;
    c.logUploadInterval = 0;
    c.logServerUrl = "l";
    c.browserLogSwitch = 1;
    c.ntvUserAccount = "i";
    c.ntvUserPassword = "ip";
    c.tmsEnable = 0;
    c.tmsHeartBit = 1;
    c.telnetServiceEnable = 0;
    c.tmsHeartBitInterval = 60;
    c.managementDomain = "m";
    c.tmsUsername = "t";
    c.tmsPassword = "tp";
    c.transportProtocol = 3;
    c.workModel = "set_test_mode";
    c.directPlay = 2;
    c.caRegister = '4';
    c.stbSerialNumber = "SN";
    return c;
}

} // namespace

TEST(Utdatacheck, IpCheckIsUnanchoredButRefusesOctetsAbove255)
{
    EXPECT_TRUE(isValidIp("192.168.1.30"));
    EXPECT_FALSE(isValidIp("192.168.1.300"));
    EXPECT_TRUE(isValidIp("a 10.0.0.1 b"));
    EXPECT_FALSE(isValidIp(""));
    EXPECT_FALSE(isValidIp("1.2.3"));
    EXPECT_FALSE(isValidIp("gw"));
}

TEST(Utdatacheck, IntegersSwitchesListsAndTimeZones)
{
    for (const char* yes : {"5", "+5", "-05", "2147483648"})
        EXPECT_TRUE(isInteger(yes)) << yes;
    for (const char* no : {"", "+", "5a", " 5", "0x10"})
        EXPECT_FALSE(isInteger(no)) << no;
    int32_t v = 7;
    EXPECT_TRUE(parseSwitch("1", v));
    EXPECT_EQ(v, 1);
    EXPECT_FALSE(parseSwitch("2", v));
    EXPECT_FALSE(parseSwitch("", v));
    const std::pair<const char*, int> zones[] = {{"+8:00", 8}, {"-12:00", -12}, {"0800", 8}, {"-0500", -5},
                                                 {"13", 13},   {"+14:00", 1},   {"|5", 0}};
    for (const auto& [text, hours] : zones) {
        int32_t h = 99;
        EXPECT_TRUE(parseTimeZone(text, h)) << text;
        EXPECT_EQ(h, hours) << text;
    }
    int32_t h = 0;
    EXPECT_FALSE(parseTimeZone("UTC", h));
    const int ints[] = {1, 2, 3};
    EXPECT_EQ(joinInts(ints, 3), "1,2,3");
    EXPECT_TRUE(isInIntList(ints, 3, 2));
    EXPECT_FALSE(isInIntList(ints, 2, 3));
    const char* const texts[] = {"PAL", "NTSC"};
    EXPECT_EQ(joinTexts(texts, 2), "PAL,NTSC");
    EXPECT_FALSE(isInTextList(texts, 2, "pal"));
    EXPECT_TRUE(isInRange(0, 12, 12));
    EXPECT_FALSE(isInRange(0, 12, 13));
}

TEST(ParamImport, FileWithOnlyTheSectionAsksForConnectTypeAndHdMode)
{
    const ParamImport r = import("");
    EXPECT_EQ(r.messages, (std::vector<std::string>{"Not found connecttype=100", "HDVideoStandard not set"}));
    EXPECT_EQ(r.config, ConfigInfo());
    EXPECT_EQ(r.messageText(), "Not found connecttype=100\nHDVideoStandard not set\n");
    EXPECT_EQ(messagesOf("connecttype = 2\r\n"), std::vector<std::string>{"HDVideoStandard not set"});
    EXPECT_EQ(import("connecttype = 2\r\n").config.connectType, 2);
}

// Every rule's message, exactly as the user sees it.
TEST(ParamImport, RefusedValuesGiveTheirRulesMessage)
{
    const std::pair<const char*, const char*> cases[] = {
        {"connecttype = 4", "Connecttype isn't in {1,2,3}"},
        {"connecttype = two", "Connecttype isn't a integer."},
        {"connecttype = -1", "Connecttype isn't in {1,2,3}"},
        {"gateway = gw", "gateway isn't a valid ip."},
        {"timeZone = UTC", "timeZone is a invalid value."},
        {"QoSLogSwitch = 2", "QoSLogSwitch isn't 0 or 1."},
        {"QoSLogSwitch = on", "QoSLogSwitch isn't 0 or 1."},
        {"browser_log_switch = 3", "BrowserLogSwitch isn't 0 or 1."},
        {"LogUploadInterval = 5s", "LogUploadInterval isn't a integer."},
        {"SDVideoStandard = SECAM", "SDVideoStandard isn't in {PAL,NTSC}"},
        {"channelSwitchMode = fast", "channelSwitchMode isn't in {normal,smooth switch,last picture}"},
        {"workModel = x", "workModel isn't in {set_work_mode,set_test_mode,set_autotest_mode,set_scriptrecord_mode}"},
        {"TransportProtocol = 4", "TransportProtocol isn't in {0,1,2,3}"},
        {"directplay = x", "directplay isn't a integer."},
        {"qv_op_CAregister = 5", "qv_op_CAregister isn't in {0,1,2,3,4}"},
    };
    for (const auto& [line, message] : cases) {
        // The base lines come after the tested key so that a case-insensitive first match wins.
        const ParamImport r = import(std::string(line) + "\r\n" + kValidBase);
        EXPECT_EQ(r.messages, std::vector<std::string>{message}) << line;
        EXPECT_EQ(
            r.invalid[static_cast<size_t>(configKeyIndex(std::string(line).substr(0, std::string(line).find(' '))))],
            true)
            << line;
    }
}

// Every checked key, by its rule: each allowed value is stored as the box gets it, a refused one
// gives its message (to the user and as an error line in the log) and leaves the field unset, and
// a missing one leaves only a warning in the log. Faults caught: a key checked by another key's
// rule or under another key's name, a list narrowed at either end, a refused or missing value
// that still fills the field, a warning shown to the user or an error kept from the log.
TEST(ParamImport, EveryCheckedKeyByItsRule)
{
    struct Rule {
        const char* key;
        std::vector<std::string> accepted; // each is stored as written, unless `stored` says otherwise

        std::string refused;
        std::string refusedMessage;
        std::string missingWarning;
        std::vector<std::string> stored = {};
    };
    const std::vector<std::string> switches = {"0", "1"};
    const Rule rules[] = {
        {"stbIP", {"10.1.2.3"}, "10.1.2.256", "stbIP isn't a valid ip.", "stbIP not set."},
        {"gateway", {"192.168.0.1"}, "192.168.0", "gateway isn't a valid ip.", "gateway not set."},
        {"netmask", {"255.255.255.0"}, "255.255.0", "netmask isn't a valid ip.", "netmask not set."},
        {"dns", {"8.8.8.8"}, "dns.example", "dns isn't a valid ip.", "dns not set."},
        {"timeZone",
         {"-12", "0", "13"},
         "UTC",
         "timeZone is a invalid value.",
         "timeZone not set.",
         {"UTC -12:00", "UTC +00:00", "UTC +13:00"}},
        {"QoSLogSwitch", switches, "2", "QoSLogSwitch isn't 0 or 1.", "QoSLogSwitch not set."},
        {"LogUploadInterval",
         {"0", "3600", "-5"},
         "1e3",
         "LogUploadInterval isn't a integer.",
         "LogUploadInterval not set."},
        {"browser_log_switch", switches, "-1", "BrowserLogSwitch isn't 0 or 1.", "BrowserLogSwitch not set."},
        {"TMSEnable", switches, "yes", "TMSEnable isn't 0 or 1.", "TMSEnable not set."},
        {"TMSHeartBit", switches, "10", "TMSHeartBit isn't 0 or 1.", "TMSHeartBit not set."},
        {"telnetServiceEnable", switches, "01", "telnetServiceEnable isn't 0 or 1.", "telnetServiceEnable not set."},
        {"TMSHeartBitInterval",
         {"60", "0"},
         "6o",
         "TMSHeartBitInterval isn't a integer.",
         "TMSHeartBitInterval not set."},
        {"SDVideoStandard",
         {"PAL", "NTSC"},
         "ntsc",
         "SDVideoStandard isn't in {PAL,NTSC}",
         "Not found SDVideoStandard."},
        {"antiFlickerSwitch", switches, "2", "antiFlickerSwitch isn't 0 or 1.", "antiFlickerSwitch not set."},
        {"channelSwitchMode",
         {"normal", "smooth switch", "last picture"},
         "smooth",
         "channelSwitchMode isn't in {normal,smooth switch,last picture}",
         "Not found channelSwitchMode."},
        {"AspectRatio", switches, "2", "AspectRatio isn't 0 or 1.", "AspectRatio not set."},
        {"TransportProtocol",
         {"0", "1", "2", "3"},
         "-1",
         "TransportProtocol isn't in {0,1,2,3}",
         "TransportProtocol not set."},
        {"workModel",
         {"set_work_mode", "set_test_mode", "set_autotest_mode", "set_scriptrecord_mode"},
         "work",
         "workModel isn't in {set_work_mode,set_test_mode,set_autotest_mode,set_scriptrecord_mode}",
         "Not found workModel."},
        {"directplay", {"0", "1", "2"}, "3", "directplay isn't in {0,1,2}", "directplay not set."},
        {"qv_op_CAregister",
         {"0", "1", "2", "3", "4"},
         "x",
         "qv_op_CAregister isn't a integer.",
         "qv_op_CAregister not set."},
    };
    namespace fs = std::filesystem;
    const fs::path logPath = fs::temp_directory_path() / ("quillon-import-log-" + std::to_string(::getpid()));
    fs::remove(logPath);
    Logger::instance().setFileName(logPath.string());
    const auto logText = [&] {
        std::ifstream in(logPath, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    const ConfigInfo unset;
    for (const Rule& rule : rules) {
        const int index = configKeyIndex(rule.key);
        ASSERT_GE(index, 0) << rule.key;
        EXPECT_TRUE(configKeyIsChecked(index)) << rule.key;
        for (size_t i = 0; i < rule.accepted.size(); ++i) {
            const std::string& value = rule.accepted[i];
            const ParamImport r = import(std::string(rule.key) + " = " + value + "\r\n" + kValidBase);
            EXPECT_TRUE(r.messages.empty()) << rule.key << "=" << value << ": " << r.messageText();
            EXPECT_EQ(encodeConfigValue(index, r.config), rule.stored.empty() ? value : rule.stored[i]) << rule.key;
        }

        fs::remove(logPath);
        const ParamImport refused = import(std::string(rule.key) + " = " + rule.refused + "\r\n" + kValidBase);
        EXPECT_EQ(refused.messages, std::vector<std::string>{rule.refusedMessage}) << rule.key;
        EXPECT_EQ(encodeConfigValue(index, refused.config), encodeConfigValue(index, unset)) << rule.key;
        EXPECT_NE(logText().find("[ERROR] " + rule.refusedMessage), std::string::npos) << rule.key;

        for (const char* absent : {"", "null"}) {
            fs::remove(logPath);
            const std::string line = *absent ? std::string(rule.key) + " = " + absent + "\r\n" : std::string();
            const ParamImport missing = import(line + kValidBase);
            EXPECT_TRUE(missing.messages.empty()) << rule.key << ": " << missing.messageText();
            EXPECT_EQ(encodeConfigValue(index, missing.config), encodeConfigValue(index, unset)) << rule.key;
            EXPECT_NE(logText().find("[WARN ] " + rule.missingWarning), std::string::npos)
                << rule.key << " " << (*absent ? "null" : "absent") << ":\n"
                << logText();
        }
    }
    // The user's messages come in the order the keys are read: the terminal-management switches
    // and the telnet switch before the heartbeat interval, the video group after them.
    EXPECT_EQ(messagesOf("workModel = x\r\nTMSHeartBitInterval = x\r\ntelnetServiceEnable = 2\r\n"
                         "TMSHeartBit = 2\r\nSDVideoStandard = x\r\ndns = x\r\n" +
                         kValidBase),
              (std::vector<std::string>{"dns isn't a valid ip.", "TMSHeartBit isn't 0 or 1.",
                                        "telnetServiceEnable isn't 0 or 1.", "TMSHeartBitInterval isn't a integer.",
                                        "SDVideoStandard isn't in {PAL,NTSC}",
                                        "workModel isn't in {set_work_mode,set_test_mode,set_autotest_mode,"
                                        "set_scriptrecord_mode}"}));
    Logger::instance().setFileName("log.txt");
    fs::remove(logPath);
}

TEST(ParamImport, HdModesNullAndFieldValues)
{
    const std::pair<const char*, const char*> modes[] = {{"5", "720p50Hz"},   {"720p50Hz", "720p50Hz"},
                                                         {"-1", "disable"},   {"1080P", "1080P"},
                                                         {"12", "1080p60Hz"}, {"0", "disable"}};
    for (const auto& [value, mode] : modes) {
        const ParamImport r = import(std::string("connecttype = 1\r\nHDVideoStandard = ") + value + "\r\n");
        EXPECT_TRUE(r.messages.empty()) << value;
        EXPECT_EQ(r.config.hdVideoStandard, mode) << value;
    }
    EXPECT_EQ(messagesOf("connecttype = 1\r\nHDVideoStandard = 13\r\n"),
              std::vector<std::string>{"HDVideoStandard isn't between 0 and 12"});
    EXPECT_EQ(messagesOf("connecttype = 1\r\nHDVideoStandard = 4K\r\n"),
              std::vector<std::string>{"HDVideoStandard is a invalid value."});

    const ParamImport r = import(kValidBase +
                                 "stbIP = null\r\nMain_HomepageUrl = null\r\ntimeZone = +8:00\r\n"
                                 "qv_op_CAregister = +3\r\nSTBSERIALNUMBER = first\r\n"
                                 "STBSerialNumber = second\r\nNTPDomain = " +
                                 std::string(3000, 'n') + "\r\n");
    EXPECT_TRUE(r.messages.empty());
    EXPECT_EQ(r.config.stbIP, "");
    EXPECT_EQ(r.config.mainHomepageUrl, "null");
    EXPECT_EQ(r.config.timeZone, 8);
    EXPECT_EQ(r.config.caRegister, '3'); // the digit, never the sign
    EXPECT_EQ(r.config.stbSerialNumber, "first");
    EXPECT_EQ(r.config.ntpDomain.size(), kParamValueMax);
    EXPECT_TRUE(r.present[static_cast<size_t>(configKeyIndex("NTPDomain"))]);
    EXPECT_FALSE(r.present[static_cast<size_t>(configKeyIndex("dns"))]);
}

// Faults caught: a writer whose file the import reads differently from what was written.
TEST(ParamFile, EveryKeyFileReadsBackToTheSameRecord)
{
    const ConfigInfo c = sampleConfig();
    const ParamImport r = importParamsText(fullParamFileText(c));
    EXPECT_TRUE(r.messages.empty()) << r.messageText();
    EXPECT_EQ(r.config, c);
    for (int i = 0; i < kConfigKeyCount; ++i)
        EXPECT_TRUE(paramValueKeptExactly(encodeConfigValue(i, c))) << i;
    // The promise against the file itself: a value is said to be kept exactly when, and only
    // when, writing it and reading it back gives it again.
    const std::vector<std::string> values{"",
                                          "plain",
                                          "mid dle",
                                          " lead",
                                          "trail ",
                                          "\tlead",
                                          "trail\t",
                                          "a\nb",
                                          "a\rb",
                                          "a = b",
                                          std::string(kParamValueMax, 'x'),
                                          std::string(kParamValueMax + 1, 'x')};
    for (const std::string& value : values) {
        ConfigInfo written = c;
        written.ntpDomain = value;
        const ParamImport back = importParamsText(fullParamFileText(written));
        EXPECT_EQ(paramValueKeptExactly(value), back.config.ntpDomain == value) << "\"" << value << "\"";
    }
}

// Faults caught: long values cut by the line buffer; an empty text written otherwise than as
// nothing after "= "; the DHCP account lost by an export and re-import.
TEST(ParamFile, ExportWriterFormat)
{
    ConfigInfo c = sampleConfig();
    c.stbIP.clear();
    c.timeZone = 8;
    c.ntpDomain = "ntp\r\nconnecttype = 1"; // cannot smuggle a key in
    const std::string text = paramFileText(c);
    EXPECT_EQ(text.rfind("[stb]\nconnecttype = 3\nstbIP = \ngateway = 10.0.0.1\n", 0), 0u) << text;
    EXPECT_NE(text.find("\ntimeZone = +8:00\n"), std::string::npos);
    EXPECT_EQ(text.substr(text.size() - 22), "TransportProtocol = 3\n");
    const ParamImport r = importParamsText(text);
    EXPECT_EQ(r.config.mainHomepageUrl, c.mainHomepageUrl);
    EXPECT_EQ(r.config.dhcpAccount, "d");
    EXPECT_EQ(r.config.connectType, 3);
    EXPECT_EQ(r.config.ntpDomain, "ntp  connecttype = 1");
    EXPECT_EQ(r.messages, std::vector<std::string>{"HDVideoStandard not set"}); // the writer leaves it out
    ConfigInfo unset;
    EXPECT_NE(paramFileText(unset).find("\ntimeZone = -13:00\n"), std::string::npos);
    EXPECT_NE(paramFileText(unset).find("\nLogUploadInterval = -1\n"), std::string::npos);
}

// The import button and import-params refuse what is no parameter file, naming it and why.
// Faults caught: a folder or a huge file read anyway (a hang, or memory gone), a missing file
// taken as an empty import that then asks for values, the path left out of the message, a pipe or
// a device opened (a read that waits forever, or an empty import).
TEST(ParamFile, WhatIsNoParameterFileIsRefusedByName)
{
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / ("quillon-params-" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir / "folder.ini");
    const std::string huge = (dir / "huge.ini").string();
    {
        std::ofstream(huge) << "[stb]\n";
    }
    fs::resize_file(huge, kParamFileMax + 1); // sparse: no disk is used
    const std::string missing = (dir / "missing.ini").string();
    const std::string fifo = (dir / "pipe.ini").string(); // reading it would wait for a writer forever
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0) << std::strerror(errno);
    const std::pair<std::string, std::string> cases[] = {
        {"/dev/null", "/dev/null: not a regular file"},
        {missing, missing + ": " + std::strerror(ENOENT)},
        {(dir / "folder.ini").string(), (dir / "folder.ini").string() + ": not a regular file"},
        {huge, huge + ": too large for a parameter file"},
    };
    for (const auto& [path, said] : cases) {
        ParamImport import;
        std::string error;
        EXPECT_FALSE(loadParamFile(path, import, error)) << path;
        EXPECT_EQ(error, said);
        EXPECT_TRUE(import.messages.empty()) << path;
    }
    // A pipe last, and only when the device was refused: were it opened, the read would wait.
    if (!HasFailure()) {
        ParamImport import;
        std::string error;
        EXPECT_FALSE(loadParamFile(fifo, import, error));
        EXPECT_EQ(error, fifo + ": not a regular file");
    }
    fs::resize_file(huge, kParamFileMax); // at the limit it is read
    ParamImport import;
    std::string error;
    EXPECT_TRUE(loadParamFile(huge, import, error)) << error;
    fs::remove_all(dir);
}

// Faults caught: two lines of the parameter file written under each other's key (the PPPoE
// account as the password, the TMS switch as the heartbeat), or a key written from the wrong
// field: every key the file holds reads back as the value the box had.
TEST(ParamFile, EveryExportedKeyReadsBackAsItsOwnValue)
{
    const ConfigInfo c = sampleConfig();
    const std::string text = paramFileText(c);
    const ParamImport r = importParamsText(text);
    size_t compared = 0;
    for (int i = 0; i < kConfigKeyCount; ++i) {
        const std::string key = kConfigKeys[static_cast<size_t>(i)];
        if (text.find("\n" + key + " = ") == std::string::npos)
            continue;
        EXPECT_EQ(configValueText(i, r.config), configValueText(i, c)) << key;
        ++compared;
    }
    EXPECT_EQ(compared, 28u) << text;
}

// Fault caught: a value of exactly the longest length a line keeps reported as one that would
// not survive the file.
TEST(ParamFile, TheLongestValueIsKeptExactly)
{
    EXPECT_TRUE(paramValueKeptExactly(std::string(kParamValueMax, 'x')));
    EXPECT_FALSE(paramValueKeptExactly(std::string(kParamValueMax + 1, 'x')));
}
