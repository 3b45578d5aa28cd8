#include "ConfigInfo.h"

#include <cctype>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace quillon {

const std::array<const char*, kConfigKeyCount> kConfigKeys = {
    "connecttype",      "stbIP",         "gateway",          "netmask",
    "dns",              "dhcpaccount",   "dhcppassword",     "netuseraccount",
    "netuserpassword",  "Main_HomepageUrl", "Secondary_HomepageUrl", "UpgradeServer",
    "NTPDomain",        "NTPDomainBackup", "timeZone",       "QoSLogSwitch",
    "LogUploadInterval", "LogServerUrl", "browser_log_switch", "ntvuseraccount",
    "ntvuserpassword",  "TMSEnable",     "TMSHeartBit",      "TMSHeartBitInterval",
    "ManagementDomain", "TMSUsername",   "TMSPassword",      "SDVideoStandard",
    "HDVideoStandard",  "antiFlickerSwitch", "channelSwitchMode", "AspectRatio",
    "TransportProtocol", "workModel",    "directplay",       "qv_op_CAregister",
    "STBSerialNumber",  "telnetServiceEnable",
};

const std::array<const char*, kStbInfoKeyCount> kStbInfoKeys = {
    "STB_model",        "STBSerialNumber", "SoftwareVersion", "CompTime",        "BrowserVersion",
    "HardWareVersion",  "MACAddress",      "connecttype",     "stbIP",           "gateway",
    "dns",              "ntvuseraccount",  "CASType",         "Main_HomepageUrl", "Secondary_HomepageUrl",
    "epgurl",           "UpgradeServer",   "NTPDomain",       "timeZone",        "localTime",
    "LogServerUrl",     "ManagementDomain", "TVMSHeartbitUrl", "STBType",        "ChipId",
};

const std::array<const char*, 4> kLogReadKeys = {"", "LogOutPutType", "LogLevel", "LogType"};
const std::array<const char*, 4> kLogWriteKeys = {"", "set_log_out_type", "set_log_level", "set_log_type"};

const char* logAddressKey(int addrType)
{
    if (addrType == 0)
        return "LogServer";
    if (addrType == 1)
        return "LogFtpServer";
    return nullptr;
}

const std::array<const char*, 2> kTvStandards = {"PAL", "NTSC"};
const std::array<const char*, 6> kHdmiModes = {"disable", "480i60Hz", "576i60Hz", "720p50Hz", "1080i50Hz", "1080i60Hz"};
const std::array<const char*, 5> kAndroidHdmiModes = {"1080P", "1080I", "720P", "576P", "480P"};
const std::array<const char*, 3> kChannelSwitchModes = {"normal", "smooth switch", "last picture"};
const std::array<const char*, 4> kWorkModes = {"set_work_mode", "set_test_mode", "set_autotest_mode",
                                               "set_scriptrecord_mode"};
const char* const kCaRegisterChars = "01234";

const std::array<HdMode, 13> kHdModeTable = {{
    {0, "disable"}, {1, "disable"}, {2, "disable"}, {3, "480i60Hz"}, {4, "576i60Hz"},
    {5, "720p50Hz"}, {6, "720p60Hz"}, {7, "1080i25Hz"}, {8, "1080i30Hz"}, {9, "1080i50Hz"},
    {10, "1080i60Hz"}, {11, "1080p50Hz"}, {12, "1080p60Hz"},
}};

const std::array<int, 4> kLogLevelValues = {0, 3, 6, 7};
const std::array<int, 5> kLogTypeValues = {0, 16, 17, 19, 20};
const std::array<int, 4> kOutputTypeValues = {0, 1, 2, 3};

namespace {

enum class Kind { Int8, Int32, Text, TimeZone, Char };

// When a write sends a key, beside "the value differs from the baseline".
enum class Rule {
    SetAndChanged,   // not the unset value
    Static,          // connection type 3
    Dhcp,            // connection type 2
    Pppoe,           // connection type 1
    NonEmpty,        // texts never written empty
    Switch,          // 0 or 1
    NotNegative,     // 0 or more
    Always,          // any change, an empty text clears the box's value
    TimeZoneRange,   // -12 to 13
    CaSet,           // not 0xFF
};

struct KeySpec {
    Kind kind;
    Rule rule;
    int8_t ConfigInfo::*i8 = nullptr;
    int32_t ConfigInfo::*i32 = nullptr;
    std::string ConfigInfo::*text = nullptr;
    char ConfigInfo::*ch = nullptr;
};

KeySpec i8(int8_t ConfigInfo::*m, Rule r) { KeySpec s{Kind::Int8, r}; s.i8 = m; return s; }
KeySpec i32(int32_t ConfigInfo::*m, Rule r) { KeySpec s{Kind::Int32, r}; s.i32 = m; return s; }
KeySpec txt(std::string ConfigInfo::*m, Rule r) { KeySpec s{Kind::Text, r}; s.text = m; return s; }

const KeySpec& specOf(int index)
{
    static const std::array<KeySpec, kConfigKeyCount> specs = [] {
        std::array<KeySpec, kConfigKeyCount> s{};
        s[0] = i8(&ConfigInfo::connectType, Rule::SetAndChanged);
        s[1] = txt(&ConfigInfo::stbIP, Rule::Static);
        s[2] = txt(&ConfigInfo::gateway, Rule::Static);
        s[3] = txt(&ConfigInfo::netmask, Rule::Static);
        s[4] = txt(&ConfigInfo::dns, Rule::Static);
        s[5] = txt(&ConfigInfo::dhcpAccount, Rule::Dhcp);
        s[6] = txt(&ConfigInfo::dhcpPassword, Rule::Dhcp);
        s[7] = txt(&ConfigInfo::netUserAccount, Rule::Pppoe);
        s[8] = txt(&ConfigInfo::netUserPassword, Rule::Pppoe);
        s[9] = txt(&ConfigInfo::mainHomepageUrl, Rule::Always);
        s[10] = txt(&ConfigInfo::secondaryHomepageUrl, Rule::Always);
        s[11] = txt(&ConfigInfo::upgradeServer, Rule::Always);
        s[12] = txt(&ConfigInfo::ntpDomain, Rule::Always);
        s[13] = txt(&ConfigInfo::ntpDomainBackup, Rule::Always);
        s[14] = i32(&ConfigInfo::timeZone, Rule::TimeZoneRange);
        s[14].kind = Kind::TimeZone;
        s[15] = i32(&ConfigInfo::qosLogSwitch, Rule::Switch);
        s[16] = i32(&ConfigInfo::logUploadInterval, Rule::NotNegative);
        s[17] = txt(&ConfigInfo::logServerUrl, Rule::Always);
        s[18] = i32(&ConfigInfo::browserLogSwitch, Rule::Switch);
        s[19] = txt(&ConfigInfo::ntvUserAccount, Rule::Always);
        s[20] = txt(&ConfigInfo::ntvUserPassword, Rule::Always);
        s[21] = i32(&ConfigInfo::tmsEnable, Rule::Switch);
        s[22] = i32(&ConfigInfo::tmsHeartBit, Rule::Switch);
        s[23] = i32(&ConfigInfo::tmsHeartBitInterval, Rule::NotNegative);
        s[24] = txt(&ConfigInfo::managementDomain, Rule::Always);
        s[25] = txt(&ConfigInfo::tmsUsername, Rule::Always);
        s[26] = txt(&ConfigInfo::tmsPassword, Rule::Always);
        s[27] = txt(&ConfigInfo::sdVideoStandard, Rule::NonEmpty);
        s[28] = txt(&ConfigInfo::hdVideoStandard, Rule::NonEmpty);
        s[29] = i32(&ConfigInfo::antiFlickerSwitch, Rule::Switch);
        s[30] = txt(&ConfigInfo::channelSwitchMode, Rule::NonEmpty);
        s[31] = i32(&ConfigInfo::aspectRatio, Rule::NotNegative);
        s[32] = i32(&ConfigInfo::transportProtocol, Rule::NotNegative);
        s[33] = txt(&ConfigInfo::workModel, Rule::NonEmpty);
        s[34] = i32(&ConfigInfo::directPlay, Rule::NotNegative);
        s[35] = KeySpec{Kind::Char, Rule::CaSet};
        s[35].ch = &ConfigInfo::caRegister;
        s[36] = txt(&ConfigInfo::stbSerialNumber, Rule::NonEmpty);
        s[37] = i32(&ConfigInfo::telnetServiceEnable, Rule::Switch);
        return s;
    }();
    return specs[static_cast<size_t>(index)];
}

bool validIndex(int index)
{
    return index >= 0 && index < kConfigKeyCount;
}

// The numeric value of a number field, for the range rules and the comparison.
long numberOf(const KeySpec& s, const ConfigInfo& c)
{
    switch (s.kind) {
    case Kind::Int8: return c.*s.i8;
    case Kind::Int32:
    case Kind::TimeZone: return c.*s.i32;
    case Kind::Char: return static_cast<unsigned char>(c.*s.ch);
    case Kind::Text: break;
    }
    return 0;
}

} // namespace

int configKeyIndex(const std::string& key)
{
    for (int i = 0; i < kConfigKeyCount; ++i) {
        if (key == kConfigKeys[static_cast<size_t>(i)])
            return i;
    }
    return -1;
}

long decimalPrefix(const std::string& text)
{
    // atol semantics without its undefined behaviour on overflow.
    const char* p = text.c_str();
    while (std::isspace(static_cast<unsigned char>(*p)))
        ++p;
    bool negative = false;
    if (*p == '+' || *p == '-')
        negative = *p++ == '-';
    long long value = 0;
    while (std::isdigit(static_cast<unsigned char>(*p))) {
        if (value <= INT_MAX) // past the 32-bit range the result saturates anyway
            value = value * 10 + (*p - '0');
        ++p;
    }
    if (value > INT_MAX)
        value = INT_MAX; // numbers of the box are 32-bit
    return static_cast<long>(negative ? -value : value);
}

int32_t parseUtcOffset(const char* text)
{
    if (!text)
        return 0;
    if (std::strncmp(text, "UTC", 3) == 0)
        text += 3;
    return static_cast<int32_t>(decimalPrefix(text));
}

std::string encodeTimeZone(int32_t hours)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "UTC %s%02d:00", hours < 0 ? "-" : "+", hours < 0 ? -hours : hours);
    return buf;
}

std::string encodeConfigValue(int index, const ConfigInfo& c)
{
    if (!validIndex(index))
        return {};
    const KeySpec& s = specOf(index);
    switch (s.kind) {
    case Kind::Int8: return std::to_string(static_cast<int>(c.*s.i8));
    case Kind::Int32: return std::to_string(c.*s.i32);
    case Kind::TimeZone: return encodeTimeZone(c.*s.i32);
    case Kind::Char: return std::string(1, c.*s.ch);
    case Kind::Text: return c.*s.text;
    }
    return {};
}

void decodeConfigValue(int index, const std::string& value, ConfigInfo& c)
{
    if (!validIndex(index))
        return;
    const KeySpec& s = specOf(index);
    switch (s.kind) {
    case Kind::Int8: c.*s.i8 = static_cast<int8_t>(decimalPrefix(value)); break;
    case Kind::Int32: c.*s.i32 = static_cast<int32_t>(decimalPrefix(value)); break;
    case Kind::TimeZone: c.*s.i32 = parseUtcOffset(value.c_str()); break;
    case Kind::Char:
        if (!value.empty())
            c.*s.ch = value[0];
        break;
    case Kind::Text: c.*s.text = value; break;
    }
}

void copyConfigField(int index, const ConfigInfo& from, ConfigInfo& to)
{
    if (!validIndex(index))
        return;
    const KeySpec& s = specOf(index);
    switch (s.kind) {
    case Kind::Int8: to.*s.i8 = from.*s.i8; break;
    case Kind::Int32:
    case Kind::TimeZone: to.*s.i32 = from.*s.i32; break;
    case Kind::Char: to.*s.ch = from.*s.ch; break;
    case Kind::Text: to.*s.text = from.*s.text; break;
    }
}

bool configFieldIsUnset(int index, const ConfigInfo& c)
{
    if (!validIndex(index))
        return true;
    const KeySpec& s = specOf(index);
    switch (s.kind) {
    case Kind::Int8: return c.*s.i8 == -1;
    case Kind::Int32: return c.*s.i32 == -1;
    case Kind::TimeZone: return c.*s.i32 == kTimeZoneUnset;
    case Kind::Char: return c.*s.ch == kCaRegisterUnset;
    case Kind::Text: return (c.*s.text).empty();
    }
    return true;
}

bool configKeyIsWritten(int index, const ConfigInfo& request, const ConfigInfo& baseline)
{
    if (!validIndex(index))
        return false;
    const KeySpec& s = specOf(index);
    const bool changed = s.kind == Kind::Text ? request.*s.text != baseline.*s.text
                                              : numberOf(s, request) != numberOf(s, baseline);
    if (!changed)
        return false;
    const long n = s.kind == Kind::Text ? 0 : numberOf(s, request);
    switch (s.rule) {
    case Rule::SetAndChanged: return request.connectType != -1;
    case Rule::Static: return request.connectType == 3;
    case Rule::Dhcp: return request.connectType == 2;
    case Rule::Pppoe: return request.connectType == 1;
    case Rule::NonEmpty: return !(request.*s.text).empty();
    case Rule::Switch: return n == 0 || n == 1;
    case Rule::NotNegative: return n >= 0;
    case Rule::Always: return true;
    case Rule::TimeZoneRange: return n >= -12 && n <= 13;
    case Rule::CaSet: return n != 0xFF;
    }
    return false;
}

std::string connectTypeName(int connectType)
{
    switch (connectType) {
    case 1: return "PPPoE";
    case 2: return "DHCP";
    case 3: return "StaticIP";
    default: return {};
    }
}

char caRegisterForIndex(int index)
{
    return (index >= 0 && index <= 4) ? kCaRegisterChars[index] : kCaRegisterUnset;
}

int caRegisterIndex(char c)
{
    const char* p = c ? std::strchr(kCaRegisterChars, c) : nullptr;
    return p ? static_cast<int>(p - kCaRegisterChars) : -1;
}

std::string hdModeName(int code)
{
    for (const HdMode& m : kHdModeTable) {
        if (m.code == code)
            return m.name;
    }
    return {};
}

int hdModeCode(const std::string& name)
{
    for (const HdMode& m : kHdModeTable) {
        if (name == m.name)
            return m.code;
    }
    return -1;
}

} // namespace quillon
