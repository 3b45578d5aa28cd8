#include "StbSimulator.h"
#include "SimLiveLog.h"

#include "SimSession.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace quillon::sim {

namespace {

std::map<std::string, std::string> defaultValues()
{
    return {
        // identity
        {"STB_model", "QB-5000"},
        {"STBSerialNumber", "00100299000123456789"},
        {"SoftwareVersion", "V3.1.2.0407"},
        {"CompTime", "2012-10-29 15:48:10"},
        {"BrowserVersion", "QB Browser 2.6"},
        {"HardWareVersion", "HW-1.1"},
        {"MACAddress", "00:1A:2B:3C:4D:5E"},
        {"CASType", "Verimatrix"},
        {"epgurl", "http://10.20.0.8:8080/epg/index.html"},
        {"TVMSHeartbitUrl", "http://10.20.0.9:8082/tvms/heartbit"},
        {"STBType", "0"},
        {"ChipId", "0x7425B0"},
        // configuration
        {"connecttype", "2"},
        {"stbIP", "192.168.1.50"},
        {"gateway", "192.168.1.1"},
        {"netmask", "255.255.255.0"},
        {"dns", "192.168.1.1"},
        {"dhcpaccount", "dhcp0001"},
        {"dhcppassword", "dhcp-secret"},
        {"netuseraccount", "pppoe0001"},
        {"netuserpassword", "pppoe-secret"},
        {"Main_HomepageUrl", "http://10.20.0.8:8080/iptvepg/platform/auth.jsp"},
        {"Secondary_HomepageUrl", "http://10.20.0.18:8080/iptvepg/platform/auth.jsp"},
        {"UpgradeServer", "http://10.20.0.30/upgrade"},
        {"NTPDomain", "ntp1.example.net"},
        {"NTPDomainBackup", "ntp2.example.net"},
        {"timeZone", "UTC +08:00"},
        {"QoSLogSwitch", "1"},
        {"LogUploadInterval", "300"},
        {"LogServerUrl", "http://10.20.0.40:8088/qos"},
        {"browser_log_switch", "0"},
        {"ntvuseraccount", "iptv0001"},
        {"ntvuserpassword", "iptv-secret"},
        {"TMSEnable", "1"},
        {"TMSHeartBit", "1"},
        {"TMSHeartBitInterval", "60"},
        {"ManagementDomain", "http://10.20.0.50:7547/acs"},
        {"TMSUsername", "tms0001"},
        {"TMSPassword", "tms-secret"},
        {"SDVideoStandard", "PAL"},
        {"HDVideoStandard", "720p50Hz"},
        {"antiFlickerSwitch", "1"},
        {"channelSwitchMode", "smooth switch"},
        {"AspectRatio", "1"},
        {"TransportProtocol", "1"},
        {"workModel", "set_work_mode"},
        {"directplay", "0"},
        {"qv_op_CAregister", "4"},
        {"telnetServiceEnable", "0"},
        // logging
        {"LogServer", "192.168.1.10"},
        {"LogFtpServer", "ftp://10.20.0.60/logs"},
        {"LogOutPutType", "0"},
        {"LogLevel", "3"},
        {"LogType", "0"},
        // diagnostics
        {"pcap_maxfilesize", "10485760"},
    };
}

// The box's parameter list, in the order it keeps its settings.
constexpr const char* kParameterOrder[] = {
    "connecttype",       "stbIP",           "gateway",          "netmask",
    "dns",               "dhcpaccount",     "dhcppassword",     "netuseraccount",
    "netuserpassword",   "Main_HomepageUrl", "Secondary_HomepageUrl", "UpgradeServer",
    "NTPDomain",         "NTPDomainBackup", "timeZone",         "QoSLogSwitch",
    "LogUploadInterval", "LogServerUrl",    "browser_log_switch", "ntvuseraccount",
    "ntvuserpassword",   "TMSEnable",       "TMSHeartBit",      "TMSHeartBitInterval",
    "ManagementDomain",  "TMSUsername",     "TMSPassword",      "SDVideoStandard",
    "HDVideoStandard",   "antiFlickerSwitch", "channelSwitchMode", "AspectRatio",
    "TransportProtocol", "workModel",       "directplay",       "qv_op_CAregister",
    "STBSerialNumber",   "telnetServiceEnable",
};

std::string generatedChannelList(int count)
{
    std::string text;
    for (int i = 1; i <= count; ++i) {
        char line[512];
        const int group = 1 + (i - 1) / 250;
        const int host = 1 + (i - 1) % 250;
        if (i % 2) {
            std::snprintf(line, sizeof line,
                          "ChannelID=\"%d\" UserChannelID=\"%d\" ChannelName=\"Channel %d\" "
                          "ChannelURL=\"igmp://239.%d.1.%d:5000\" TimeShift=\"1\" TimeShiftURL=\"rtsp://10.20.1.%d/ch%d\"\n",
                          1000 + i, i, i, group, host, host, i);
        } else {
            // The time-shift address may ride behind "|" in the channel address.
            std::snprintf(line, sizeof line,
                          "ChannelID=\"%d\" UserChannelID=\"%d\" ChannelName=\"Channel %d\" "
                          "ChannelURL=\"igmp://239.%d.1.%d:5000|rtsp://10.20.1.%d/ch%d\" TimeShift=\"0\" TimeShiftURL=\"\"\n",
                          1000 + i, i, i, group, host, host, i);
        }
        text += line;
    }
    return text;
}

} // namespace

StbSimulator::StbSimulator(SimOptions options)
    : options_(std::move(options)), values_(defaultValues()), channelList_(generatedChannelList(options_.channels))
{
    if (options_.gbkValues) {
        values_["STB_model"] = kGbkModel;
        values_["ntvuseraccount"] = kGbkUserAccount;
    }
    // A box of the Android family names itself so and offers its own HD modes.
    if (options_.android) {
        values_["STBType"] = "1";
        values_["HDVideoStandard"] = "1080P";
    }
    loadState();
}

StbSimulator::~StbSimulator()
{
    stop();
}

bool StbSimulator::start(std::string* error)
{
    auto fail = [&](const char* what) {
        if (error)
            *error = std::string(what) + ": " + std::strerror(errno);
        if (listenFd_ >= 0)
            ::close(listenFd_);
        listenFd_ = -1;
        return false;
    };
    listenFd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    if (listenFd_ < 0)
        return fail("socket");
    const int one = 1;
    ::setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(options_.port));
    if (::inet_pton(AF_INET, options_.listenAddress.c_str(), &address.sin_addr) != 1) {
        errno = EINVAL;
        return fail("listen address");
    }
    if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&address), sizeof address) < 0)
        return fail("bind");
    if (::listen(listenFd_, 8) < 0)
        return fail("listen");
    socklen_t len = sizeof address;
    ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&address), &len);
    port_ = ntohs(address.sin_port);
    running_ = true;
    acceptThread_ = std::thread([this] { acceptLoop(); });
    liveLog_ = std::make_unique<SimLiveLog>(options_.logRate, options_.logPort);
    liveLog_->update(*this);
    return true;
}

void StbSimulator::stop()
{
    if (!running_.exchange(false))
        return;
    ::shutdown(listenFd_, SHUT_RDWR);
    if (acceptThread_.joinable())
        acceptThread_.join();
    ::close(listenFd_);
    listenFd_ = -1;
    reapSessions(true);
    liveLog_.reset();
}

void StbSimulator::acceptLoop()
{
    while (running_) {
        pollfd p{listenFd_, POLLIN, 0};
        if (::poll(&p, 1, 200) <= 0) {
            reapSessions(false);
            continue;
        }
        const int fd = ::accept(listenFd_, nullptr, nullptr);
        if (fd < 0)
            continue;
        const int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        auto session = std::make_unique<SimSession>(*this, fd);
        session->start();
        std::lock_guard<std::mutex> guard(mutex_);
        sessions_.push_back(std::move(session));
    }
}

void StbSimulator::reapSessions(bool all)
{
    std::vector<std::unique_ptr<SimSession>> done;
    {
        std::lock_guard<std::mutex> guard(mutex_);
        for (auto it = sessions_.begin(); it != sessions_.end();) {
            if (all || (*it)->finished()) {
                done.push_back(std::move(*it));
                it = sessions_.erase(it);
            } else {
                ++it;
            }
        }
    }
    for (auto& s : done)
        s->close();
    done.clear(); // joins outside the lock
}

void StbSimulator::setFaults(const SimFaults& faults)
{
    std::lock_guard<std::mutex> guard(mutex_);
    faults_ = std::make_shared<const SimFaults>(faults);
}

SimFaults StbSimulator::faults() const
{
    return *faultsSnapshot();
}

std::shared_ptr<const SimFaults> StbSimulator::faultsSnapshot() const
{
    std::lock_guard<std::mutex> guard(mutex_);
    return faults_;
}

std::string StbSimulator::value(const std::string& key) const
{
    if (key == "localTime") {
        const std::time_t now = std::time(nullptr);
        std::tm tm{};
        localtime_r(&now, &tm);
        char buf[32];
        std::strftime(buf, sizeof buf, "%Y%m%d%H%M%S", &tm);
        return buf;
    }
    std::lock_guard<std::mutex> guard(mutex_);
    const auto it = values_.find(key);
    return it == values_.end() ? std::string() : it->second;
}

bool StbSimulator::knownKey(const std::string& key) const
{
    if (key == "localTime")
        return true;
    std::lock_guard<std::mutex> guard(mutex_);
    return values_.count(key) != 0;
}

void StbSimulator::setValue(const std::string& key, const std::string& value)
{
    {
        std::lock_guard<std::mutex> guard(mutex_);
        values_[key] = value;
    }
    {
        std::lock_guard<std::mutex> guard(cacheMutex_);
        paramCacheValid_ = false;
    }
    saveState();
    if (liveLog_)
        liveLog_->update(*this);
}

std::string StbSimulator::paramListText() const
{
    {
        std::lock_guard<std::mutex> guard(cacheMutex_);
        if (paramCacheValid_)
            return paramCache_;
    }
    std::string text;
    for (const char* key : kParameterOrder)
        text += std::string(key) + " = " + value(key) + "\n";
    for (size_t i = 0; text.size() < options_.paramListBytes; ++i)
        text += "ExtraParameter" + std::to_string(i) + " = " + std::string(40, 'v') + "\n";
    std::lock_guard<std::mutex> guard(cacheMutex_);
    paramCache_ = text;
    paramCacheValid_ = true;
    return text;
}

std::string StbSimulator::channelListText() const
{
    std::lock_guard<std::mutex> guard(mutex_);
    return channelList_;
}

void StbSimulator::setChannelListText(const std::string& text)
{
    std::lock_guard<std::mutex> guard(mutex_);
    channelList_ = text;
}

std::vector<std::string> StbSimulator::frames() const
{
    std::lock_guard<std::mutex> guard(mutex_);
    return frames_;
}

void StbSimulator::clearFrames()
{
    std::lock_guard<std::mutex> guard(mutex_);
    frames_.clear();
}

void StbSimulator::recordFrame(const std::string& text)
{
    std::lock_guard<std::mutex> guard(mutex_);
    frames_.push_back(text);
}

void StbSimulator::recordPiece(SimPiece piece)
{
    std::lock_guard<std::mutex> guard(mutex_);
    pieces_.push_back(std::move(piece));
}

std::vector<SimPiece> StbSimulator::sentPieces() const
{
    std::lock_guard<std::mutex> guard(mutex_);
    return pieces_;
}

void StbSimulator::clearPieces()
{
    std::lock_guard<std::mutex> guard(mutex_);
    pieces_.clear();
}

void StbSimulator::noteSessionKey(const std::string& key)
{
    std::lock_guard<std::mutex> guard(mutex_);
    sessionKey_ = key;
}

std::string StbSimulator::sessionKey() const
{
    std::lock_guard<std::mutex> guard(mutex_);
    return sessionKey_;
}

bool StbSimulator::claimClient(SimSession* session)
{
    std::lock_guard<std::mutex> guard(mutex_);
    if (active_ && active_ != session)
        return false;
    active_ = session;
    return true;
}

void StbSimulator::releaseClient(SimSession* session)
{
    std::lock_guard<std::mutex> guard(mutex_);
    if (active_ == session)
        active_ = nullptr;
}

void StbSimulator::dropClient()
{
    std::lock_guard<std::mutex> guard(mutex_);
    if (active_)
        active_->close();
}

int StbSimulator::clientCount() const
{
    std::lock_guard<std::mutex> guard(mutex_);
    return active_ ? 1 : 0;
}

void StbSimulator::loadState()
{
    if (options_.stateFile.empty())
        return;
    std::ifstream in(options_.stateFile);
    std::string line;
    while (std::getline(in, line)) {
        const size_t eq = line.find('=');
        if (eq == std::string::npos || eq == 0)
            continue;
        values_[line.substr(0, eq)] = line.substr(eq + 1);
    }
}

void StbSimulator::saveState() const
{
    if (options_.stateFile.empty())
        return;
    std::map<std::string, std::string> copy;
    {
        std::lock_guard<std::mutex> guard(mutex_);
        copy = values_;
    }
    const std::string temp = options_.stateFile + ".tmp";
    {
        std::ofstream out(temp, std::ios::trunc);
        for (const auto& [k, v] : copy)
            out << k << '=' << v << '\n';
    }
    std::rename(temp.c_str(), options_.stateFile.c_str());
}

} // namespace quillon::sim
