#include "ParamImport.h"

#include "IniFile.h"

#include <Logger.h>
#include <Utdatacheck.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>

#include <sys/stat.h>

namespace quillon
{

namespace
{

// The order in which the import reads and checks the keys (indexes into kConfigKeys): the
// account groups first, the video group after terminal management.
constexpr std::array<int, kConfigKeyCount> kImportOrder = {
    0,  1,  2,  3,  4,  5,  6,  7,  8,  19, 20, 9,  10, 11, 12, 13, 14, 15, 16,
    17, 18, 21, 22, 37, 23, 24, 25, 26, 27, 28, 29, 30, 31, 32, 33, 34, 35, 36,
};

enum class Rule { Text, ConnectType, Ip, TimeZone, Switch, Integer, TextList, HdMode, IntList, CaRegister };

struct ImportSpec {
    Rule rule;
    const char* name = nullptr;         // the key's name in messages, when it differs from the key
    const char* const* texts = nullptr; // allowed texts of a list rule
    int textCount = 0;
    const int* ints = nullptr; // allowed numbers of a list rule
    int intCount = 0;
};

constexpr int kConnectTypes[] = {1, 2, 3};
constexpr int kTransportProtocols[] = {0, 1, 2, 3};
constexpr int kDirectPlays[] = {0, 1, 2};
constexpr int kCaRegisters[] = {0, 1, 2, 3, 4};

ImportSpec specOf(int index)
{
    const std::string key = kConfigKeys[static_cast<size_t>(index)];
    if (key == "connecttype")
        return {Rule::ConnectType, "Connecttype", nullptr, 0, kConnectTypes, 3};
    if (key == "stbIP" || key == "gateway" || key == "netmask" || key == "dns")
        return {Rule::Ip};
    if (key == "timeZone")
        return {Rule::TimeZone};
    if (key == "browser_log_switch")
        return {Rule::Switch, "BrowserLogSwitch"};
    if (key == "QoSLogSwitch" || key == "TMSEnable" || key == "TMSHeartBit" || key == "telnetServiceEnable" ||
        key == "antiFlickerSwitch" || key == "AspectRatio")
        return {Rule::Switch};
    if (key == "LogUploadInterval" || key == "TMSHeartBitInterval")
        return {Rule::Integer};
    if (key == "SDVideoStandard")
        return {Rule::TextList, nullptr, kTvStandards.data(), int(kTvStandards.size())};
    if (key == "channelSwitchMode")
        return {Rule::TextList, nullptr, kChannelSwitchModes.data(), int(kChannelSwitchModes.size())};
    if (key == "workModel")
        return {Rule::TextList, nullptr, kWorkModes.data(), int(kWorkModes.size())};
    if (key == "HDVideoStandard")
        return {Rule::HdMode};
    if (key == "TransportProtocol")
        return {Rule::IntList, nullptr, nullptr, 0, kTransportProtocols, 4};
    if (key == "directplay")
        return {Rule::IntList, nullptr, nullptr, 0, kDirectPlays, 3};
    if (key == "qv_op_CAregister")
        return {Rule::CaRegister, nullptr, nullptr, 0, kCaRegisters, 5};
    return {Rule::Text};
}

std::string format(const char* fmt, const char* a, const std::string& b = {})
{
    char buffer[1024];
    std::snprintf(buffer, sizeof buffer, fmt, a, b.c_str());
    return buffer;
}

ValueCheckResult invalid(std::string message)
{
    Logger::instance().error("%s", message.c_str());
    return {ValueCheck::Invalid, std::move(message)};
}

ValueCheckResult missing(const std::string& warning)
{
    Logger::instance().warn("%s", warning.c_str());
    return {ValueCheck::Missing, {}};
}

int32_t int32Of(std::string_view text)
{
    return static_cast<int32_t>(decimalPrefix(std::string(text)));
}

} // namespace

bool configKeyIsChecked(int index)
{
    return index >= 0 && index < kConfigKeyCount && specOf(index).rule != Rule::Text;
}

ValueCheckResult importConfigValue(int index, std::string_view value, ConfigInfo& c)
{
    if (index < 0 || index >= kConfigKeyCount)
        return {ValueCheck::Invalid, "unknown key"};
    if (value.size() > kParamValueMax)
        value = value.substr(0, kParamValueMax);
    const char* key = kConfigKeys[static_cast<size_t>(index)];
    const ImportSpec s = specOf(index);
    const char* name = s.name ? s.name : key;
    if (s.rule == Rule::Text) {
        decodeConfigValue(index, std::string(value), c);
        return {};
    }
    if (value.empty() || value == "null") {
        if (s.rule == Rule::ConnectType) {
            char buffer[64];
            std::snprintf(buffer, sizeof buffer, "Not found connecttype=%d", 100);
            ValueCheckResult r = invalid(buffer);
            r.outcome = ValueCheck::Missing;
            return r;
        }
        if (s.rule == Rule::HdMode) {
            ValueCheckResult r = invalid("HDVideoStandard not set");
            r.outcome = ValueCheck::Missing;
            return r;
        }
        if (s.rule == Rule::TextList)
            return missing(format("Not found %s.", name));
        return missing(format("%s not set.", name));
    }
    int32_t number = 0;
    switch (s.rule) {
    case Rule::Ip:
        if (!isValidIp(value))
            return invalid(format("%s isn't a valid ip.", name));
        decodeConfigValue(index, std::string(value), c);
        return {};
    case Rule::TimeZone:
        if (!parseTimeZone(value, number))
            return invalid(format("%s is a invalid value.", name));
        c.timeZone = number;
        return {};
    case Rule::Switch:
        if (!parseSwitch(value, number))
            return invalid(format("%s isn't 0 or 1.", name));
        decodeConfigValue(index, std::to_string(number), c);
        return {};
    case Rule::Integer:
        if (!isInteger(value))
            return invalid(format("%s isn't a integer.", name));
        decodeConfigValue(index, std::to_string(int32Of(value)), c);
        return {};
    case Rule::TextList:
        if (!isInTextList(s.texts, s.textCount, value))
            return invalid(format("%s isn't in {%s}", name, joinTexts(s.texts, s.textCount)));
        decodeConfigValue(index, std::string(value), c);
        return {};
    case Rule::ConnectType:
    case Rule::IntList:
    case Rule::CaRegister:
        if (!isInteger(value))
            return invalid(format("%s isn't a integer.", name));
        number = int32Of(value);
        if (!isInIntList(s.ints, s.intCount, number))
            return invalid(format("%s isn't in {%s}", name, joinInts(s.ints, s.intCount)));
        // The register is the digit of the number, so "+3" or "03" store "3" and never a sign.
        decodeConfigValue(index,
                          s.rule == Rule::CaRegister ? std::string(1, char('0' + number)) : std::to_string(number), c);
        return {};
    case Rule::HdMode:
        if (isInteger(value)) {
            number = int32Of(value);
            if (number == -1)
                number = 0;
            if (!isInRange(0, 12, number)) {
                char buffer[128];
                std::snprintf(buffer, sizeof buffer, "HDVideoStandard isn't between %d and %d", 0, 12);
                return invalid(buffer);
            }
            const std::string mode = hdModeName(number);
            if (mode.empty())
                return invalid("HDVideoStandard is a invalid HDVideoStandard.");
            c.hdVideoStandard = mode;
            return {};
        }
        // An Android box's own modes are names too, so its configuration can be restored.
        if (hdModeCode(std::string(value)) < 0 &&
            !isInTextList(kAndroidHdmiModes.data(), int(kAndroidHdmiModes.size()), value))
            return invalid("HDVideoStandard is a invalid value.");
        c.hdVideoStandard = std::string(value);
        return {};
    case Rule::Text:
        break;
    }
    return {};
}

std::string ParamImport::messageText() const
{
    std::string text;
    for (const std::string& m : messages)
        text += m + "\n";
    return text;
}

ParamImport importParams(const IniFile& ini)
{
    ParamImport result;
    for (int index : kImportOrder) {
        const char* key = kConfigKeys[static_cast<size_t>(index)];
        // A sentinel tells an absent key from an empty one; it cannot be a value, which is trimmed.
        static const char* const kAbsent = " \x01";
        std::string value = ini.value("stb", key, kAbsent);
        const bool present = value != kAbsent;
        if (!present)
            value.clear();
        result.present[static_cast<size_t>(index)] = present;
        ValueCheckResult check = importConfigValue(index, value, result.config);
        if (!check.message.empty()) {
            result.messages.push_back(std::move(check.message));
            result.invalid[static_cast<size_t>(index)] = true;
        }
    }
    return result;
}

ParamImport importParamsText(std::string_view text)
{
    IniFile ini;
    ini.parse(text);
    return importParams(ini);
}

bool loadParamFile(const std::string& path, ParamImport& result, std::string& error)
{
    struct stat st {
    };
    if (::stat(path.c_str(), &st) != 0) {
        error = path + ": " + std::strerror(errno);
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        error = path + ": not a regular file";
        return false;
    }
    if (static_cast<unsigned long long>(st.st_size) > kParamFileMax) {
        error = path + ": too large for a parameter file";
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = path + ": " + std::strerror(errno);
        return false;
    }
    std::string text;
    text.reserve(static_cast<size_t>(st.st_size));
    char buffer[65536];
    while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
        text.append(buffer, static_cast<size_t>(in.gcount()));
        if (text.size() > kParamFileMax) { // grew while being read
            error = path + ": too large for a parameter file";
            return false;
        }
    }
    if (in.bad()) {
        error = path + ": read error";
        return false;
    }
    result = importParamsText(text);
    return true;
}

} // namespace quillon
