#include "ExchangeText.h"
#include "Frame.h"
#include "StbLink.h"
#include "untSock.h"

#include <Logger.h>
#include <StringTable.h>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <mutex>

namespace quillon {

namespace {

void store(ResSTBInfo& r, const char* key, const std::string& v)
{
    const std::string k = key;
    if (k == "STB_model") r.stbModel = v;
    else if (k == "STBSerialNumber") r.serialNumber = v;
    else if (k == "SoftwareVersion") r.softwareVersion = v;
    else if (k == "CompTime") r.compileTime = v;
    else if (k == "BrowserVersion") r.browserVersion = v;
    else if (k == "HardWareVersion") r.hardwareVersion = v;
    else if (k == "MACAddress") r.macAddress = v;
    else if (k == "connecttype") r.connectType = static_cast<uint8_t>(decimalPrefix(v));
    else if (k == "stbIP") r.stbIP = v;
    else if (k == "gateway") r.gateway = v;
    else if (k == "dns") r.dns = v;
    else if (k == "ntvuseraccount") r.ntvUserAccount = v;
    else if (k == "CASType") r.casType = v;
    else if (k == "Main_HomepageUrl") r.mainHomepageUrl = v;
    else if (k == "Secondary_HomepageUrl") r.secondaryHomepageUrl = v;
    else if (k == "epgurl") r.epgUrl = v;
    else if (k == "UpgradeServer") r.upgradeServer = v;
    else if (k == "NTPDomain") r.ntpDomain = v;
    else if (k == "timeZone") r.timeZone = parseUtcOffset(v.c_str());
    else if (k == "localTime") parseLocalTime(v, r);
    else if (k == "LogServerUrl") r.logServerUrl = v;
    else if (k == "ManagementDomain") r.managementDomain = v;
    else if (k == "TVMSHeartbitUrl") r.tvmsHeartbitUrl = v;
    else if (k == "STBType") r.stbType = v;
    else if (k == "ChipId") r.chipId = v;
}

} // namespace

int pcUtcOffsetHours()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return static_cast<int>(local.tm_gmtoff / 3600); // truncated towards zero
}

void parseLocalTime(const std::string& value, ResSTBInfo& info)
{
    parseLocalTime(value, info, pcUtcOffsetHours());
}

void parseLocalTime(const std::string& value, ResSTBInfo& info, int offsetHours)
{
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    std::sscanf(value.c_str(), "%4d%2d%2d%2d%2d%2d", &year, &month, &day, &hour, &minute, &second);
    char reference[32];
    std::snprintf(reference, sizeof reference, "19700101%02d0000", offsetHours);
    // A box whose clock was never set still counts from its 1970 start: show the time of day.
    if (std::strcmp(value.c_str(), reference) <= 0) {
        info.localTime = hour * 3600 + minute * 60 + second;
        info.localTimeUnset = 1;
        return;
    }
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    tm.tm_isdst = 0;
    {
        // mktime reads the time zone again on every call, freeing and copying its name; the C
        // library's own lock around that is invisible to the thread checker, so links of several
        // boxes in one process take this one as well.
        static std::mutex zoneMutex;
        std::lock_guard<std::mutex> guard(zoneMutex);
        info.localTime = static_cast<int32_t>(std::mktime(&tm));
    }
    info.localTimeUnset = 0;
}

void stbInfoExchange(StbLink& link, const ReqSTBInfo&)
{
    Logger& log = Logger::instance();
    ResSTBInfo response;
    std::string failures;
    int successes = 0;
    for (const char* key : kStbInfoKeys) {
        const std::string frame = buildFrame(link.authField.data(), "read", key, "null");
        log.debug("send data:%s", frame.c_str() + kAuthFieldSize);
        std::string reply;
        const int n = sendAndReceive(link, frame, reply, response, "read", key);
        if (n < 0) {
            link.queues.pushResponse(response);
            return;
        }
        if (n == 0) {
            failures += messageText("%s %s failed:%s; ", "read", key, loadUiString(315).c_str());
            continue;
        }
        log.debug("recv data:%s", reply.c_str());
        const int status = parseStatusCode(reply, "read");
        if (status == 200) {
            ++successes;
            std::string value;
            getReturnValue(reply, value, 512, "read", key);
            store(response, key, value);
        } else {
            failures += messageText("%s %s failed,errorid:%d; ", "read", key, status);
        }
    }
    log.info("call %d request, success %d.", kStbInfoKeyCount, successes);
    response.setResult(failures.empty() ? STA_OK : STA_PART_OK, failures, 0);
    link.queues.pushResponse(response);
}

} // namespace quillon
