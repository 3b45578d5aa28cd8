#include "ParamFile.h"

#include "ParamImport.h"

#include <BulkExport.h>

#include <cstdio>

namespace quillon
{

namespace
{

// A line break in a value would start a line of its own, read back as another key.
std::string oneLine(std::string text)
{
    for (char& ch : text)
        if (ch == '\r' || ch == '\n')
            ch = ' ';
    return text;
}

void line(std::string& out, const char* key, const std::string& value)
{
    out += key;
    out += " = ";
    out += oneLine(value);
    out += '\n';
}

void line(std::string& out, const char* key, long value)
{
    line(out, key, std::to_string(value));
}

} // namespace

std::string configValueText(int index, const ConfigInfo& c)
{
    if (configFieldIsUnset(index, c))
        return {};
    if (std::string(kConfigKeys[static_cast<size_t>(index)]) == "timeZone")
        return std::to_string(c.timeZone);
    return oneLine(encodeConfigValue(index, c));
}

std::string fullParamFileText(const ConfigInfo& c)
{
    std::string out = "[stb]\n";
    for (int i = 0; i < kConfigKeyCount; ++i)
        line(out, kConfigKeys[static_cast<size_t>(i)], configValueText(i, c));
    return out;
}

// Lines are written whole: a value longer than a line buffer is never cut. The DHCP account
// lines are written too, so that re-importing the file and submitting it does not clear them.
std::string paramFileText(const ConfigInfo& c)
{
    std::string out = "[stb]\n";
    line(out, "connecttype", c.connectType);
    line(out, "stbIP", c.stbIP);
    line(out, "gateway", c.gateway);
    line(out, "netmask", c.netmask);
    line(out, "dns", c.dns);
    line(out, "dhcpaccount", c.dhcpAccount);
    line(out, "dhcppassword", c.dhcpPassword);
    line(out, "netuseraccount", c.netUserAccount);
    line(out, "netuserpassword", c.netUserPassword);
    line(out, "ntvuseraccount", c.ntvUserAccount);
    line(out, "ntvuserpassword", c.ntvUserPassword);
    line(out, "Main_HomepageUrl", c.mainHomepageUrl);
    line(out, "Secondary_HomepageUrl", c.secondaryHomepageUrl);
    line(out, "UpgradeServer", c.upgradeServer);
    line(out, "NTPDomain", c.ntpDomain);
    line(out, "NTPDomainBackup", c.ntpDomainBackup);
    char zone[32];
    const long hours = c.timeZone;
    std::snprintf(zone, sizeof zone, hours < 0 ? "-%ld:00" : "+%ld:00", hours < 0 ? -hours : hours);
    line(out, "timeZone", std::string(zone));
    line(out, "QoSLogSwitch", c.qosLogSwitch);
    line(out, "LogUploadInterval", c.logUploadInterval);
    line(out, "LogServerUrl", c.logServerUrl);
    line(out, "TMSEnable", c.tmsEnable);
    line(out, "TMSHeartBit", c.tmsHeartBit);
    line(out, "TMSHeartBitInterval", c.tmsHeartBitInterval);
    line(out, "ManagementDomain", c.managementDomain);
    line(out, "TMSUsername", c.tmsUsername);
    line(out, "TMSPassword", c.tmsPassword);
    line(out, "channelSwitchMode", c.channelSwitchMode);
    line(out, "TransportProtocol", c.transportProtocol);
    return out;
}

bool writeParamFile(const std::string& fileName, const ConfigInfo& c)
{
    if (fileName.empty())
        return false;
    return writeTextFile(fileName, std::string(), paramFileText(c));
}

bool paramValueKeptExactly(const std::string& value)
{
    if (value.size() > kParamValueMax)
        return false;
    auto blank = [](char ch) { return static_cast<unsigned char>(ch) <= ' '; }; // what the reader trims
    if (value.find_first_of("\r\n") != std::string::npos)
        return false;
    return value.empty() || (!blank(value.front()) && !blank(value.back()));
}

} // namespace quillon
