#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace quillon {

// The 38 configurable parameters of one box. A fresh record holds the "unset" value of every
// field: -1 for numbers (0xFF for the byte fields), -13 for the time zone, "" for texts.
class ConfigInfo {
public:
    int8_t connectType = -1; // 1 PPPoE, 2 DHCP, 3 static IP
    std::string stbIP;
    std::string gateway;
    std::string netmask;
    std::string dns;
    std::string dhcpAccount;
    std::string dhcpPassword;
    std::string netUserAccount;
    std::string netUserPassword;
    std::string sdVideoStandard;
    std::string hdVideoStandard;
    int32_t antiFlickerSwitch = -1;
    std::string channelSwitchMode;
    int32_t aspectRatio = -1;
    std::string mainHomepageUrl;
    std::string secondaryHomepageUrl;
    std::string upgradeServer;
    std::string ntpDomain;
    std::string ntpDomainBackup;
    int32_t timeZone = -13;
    int32_t qosLogSwitch = -1;
    int32_t logUploadInterval = -1;
    std::string logServerUrl;
    int32_t browserLogSwitch = -1;
    std::string ntvUserAccount;
    std::string ntvUserPassword;
    int32_t tmsEnable = -1;
    int32_t tmsHeartBit = -1;
    int32_t telnetServiceEnable = -1;
    int32_t tmsHeartBitInterval = -1;
    std::string managementDomain;
    std::string tmsUsername;
    std::string tmsPassword;
    int32_t transportProtocol = -1;
    std::string workModel;
    int32_t directPlay = -1;
    char caRegister = '\xFF'; // '0'..'4', 0xFF unset
    std::string stbSerialNumber;

    bool operator==(const ConfigInfo&) const = default;
};

constexpr int32_t kTimeZoneUnset = -13;
constexpr char kCaRegisterUnset = '\xFF';

// Wire keys of the configuration, in the order the exchanges walk them.
constexpr int kConfigKeyCount = 38;
extern const std::array<const char*, kConfigKeyCount> kConfigKeys;

// Wire keys of the STB information read, in order.
constexpr int kStbInfoKeyCount = 25;
extern const std::array<const char*, kStbInfoKeyCount> kStbInfoKeys;

// Log parameter keys: position 0 is the address key chosen by the address type.
extern const std::array<const char*, 4> kLogReadKeys;  // "" then LogOutPutType, LogLevel, LogType
extern const std::array<const char*, 4> kLogWriteKeys; // "" then set_log_out_type, set_log_level, set_log_type
// "LogServer" for 0, "LogFtpServer" for 1, null for any other address type.
const char* logAddressKey(int addrType);

// Index of a configuration key in kConfigKeys (exact match), or -1.
int configKeyIndex(const std::string& key);

// The value of key `index` of `c` as it travels on the wire.
std::string encodeConfigValue(int index, const ConfigInfo& c);
// Stores a wire value into the field of key `index` (decimal conversions stop at the first
// non-digit, the time zone drops a leading "UTC", the CA register takes the first character).
void decodeConfigValue(int index, const std::string& value, ConfigInfo& c);
// Copies the field of key `index` from one record to another.
void copyConfigField(int index, const ConfigInfo& from, ConfigInfo& to);
// Whether the field of key `index` holds its unset value.
bool configFieldIsUnset(int index, const ConfigInfo& c);
// Whether a configuration write sends key `index`, given the request's and the baseline's values.
bool configKeyIsWritten(int index, const ConfigInfo& request, const ConfigInfo& baseline);

// "UTC +08:00" style text of a time zone, as written to the box.
std::string encodeTimeZone(int32_t hours);
// Reads "UTC +08:00", "UTC-5", "+8" or "8" as hours (atol semantics after a leading "UTC").
int32_t parseUtcOffset(const char* text);
// atol-like decimal conversion: leading blanks and a sign, stops at the first non-digit.
long decimalPrefix(const std::string& text);

// Value vocabularies shared by the pages and the parameter files.
std::string connectTypeName(int connectType); // 1 PPPoE, 2 DHCP, 3 StaticIP, else ""
extern const std::array<const char*, 2> kTvStandards;
extern const std::array<const char*, 6> kHdmiModes;
extern const std::array<const char*, 5> kAndroidHdmiModes;
extern const std::array<const char*, 3> kChannelSwitchModes;
extern const std::array<const char*, 4> kWorkModes;
extern const char* const kCaRegisterChars; // "01234"
char caRegisterForIndex(int index);        // 0xFF outside 0..4
int caRegisterIndex(char c);               // -1 for any other character

struct HdMode {
    int code;
    const char* name;
};
extern const std::array<HdMode, 13> kHdModeTable;
std::string hdModeName(int code); // "" when absent
int hdModeCode(const std::string& name); // -1 when absent

// Log value tables (combo position to wire value).
extern const std::array<int, 4> kLogLevelValues;
extern const std::array<int, 5> kLogTypeValues;
extern const std::array<int, 4> kOutputTypeValues;

} // namespace quillon
