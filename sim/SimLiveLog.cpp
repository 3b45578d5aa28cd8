#include "SimLiveLog.h"

#include "StbSimulator.h"

#include <Logger.h>

#include <chrono>
#include <cstdio>
#include <ctime>

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace quillon::sim
{

namespace
{

const char* const kModules[] = {"HTTP", "RTSP", "IGMP", "Mediaplayer", "Buffer", "DRM", "Upgrade", "ACS", "Connection"};
const char* const kTexts[] = {
    "request http://10.20.0.40/epg/index.html 200 OK",
    "SETUP rtsp://10.20.1.7/ch12 session 4711",
    "join group 239.1.1.12 on eth0",
    "play started, first frame after 412 ms",
    "buffer level 68%, bitrate 7812 kbit/s",
    "licence request sent to 10.20.0.55",
    "checking http://10.20.0.70/upgrade/version.xml",
    "inform sent, next periodic inform in 3600 s",
    "error: connection to 10.20.0.40:80 reset, retry 1",
};

} // namespace

SimLiveLog::SimLiveLog(int rate, uint16_t port) : rate_(rate), port_(port)
{
    if (rate_ > 0)
        thread_ = std::thread([this] { run(); });
}

SimLiveLog::~SimLiveLog()
{
    {
        std::lock_guard<std::mutex> guard(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    if (thread_.joinable())
        thread_.join();
}

std::string SimLiveLog::deliveryAddress(const std::string& address)
{
    in_addr wanted{};
    if (::inet_pton(AF_INET, address.c_str(), &wanted) != 1)
        return {};
    if ((ntohl(wanted.s_addr) >> 24) == 127)
        return address;
    std::string found;
    ifaddrs* interfaces = nullptr;
    if (::getifaddrs(&interfaces) == 0) {
        for (ifaddrs* i = interfaces; i; i = i->ifa_next)
            if (i->ifa_addr && i->ifa_addr->sa_family == AF_INET &&
                reinterpret_cast<sockaddr_in*>(i->ifa_addr)->sin_addr.s_addr == wanted.s_addr)
                found = "127.0.0.1";
        ::freeifaddrs(interfaces);
    }
    return found;
}

std::string SimLiveLog::line(uint64_t n)
{
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    char text[200];
    const size_t k = n % (sizeof kModules / sizeof kModules[0]);
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d [%s] #%llu %s\n", tm.tm_year + 1900, tm.tm_mon + 1,
                  tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, kModules[k], static_cast<unsigned long long>(n),
                  kTexts[k]);
    return text;
}

void SimLiveLog::update(const StbSimulator& box)
{
    const std::string output = box.value("LogOutPutType");
    const bool live = output == "2" || output == "3";
    const std::string address = box.value("LogServer");
    std::string target = live ? deliveryAddress(address) : std::string();
    if (live && target.empty() && rate_ > 0)
        Logger::instance().warn("simulated box: live log address %s is not this machine's; not sent", address.c_str());
    {
        std::lock_guard<std::mutex> guard(mutex_);
        target_ = std::move(target);
    }
    changed_.notify_all();
}

void SimLiveLog::run()
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return;
    using Clock = std::chrono::steady_clock;
    std::unique_lock<std::mutex> lock(mutex_);
    while (!stopping_) {
        if (target_.empty()) {
            changed_.wait(lock, [this] { return stopping_ || !target_.empty(); });
            continue;
        }
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(port_);
        ::inet_pton(AF_INET, target_.c_str(), &to.sin_addr);
        const std::string target = target_;
        const auto started = Clock::now();
        uint64_t due = 0;
        uint64_t sentHere = 0;
        // Paced on the clock: after any delay the lines due are sent at once.
        while (!stopping_ && target_ == target) {
            lock.unlock();
            for (; sentHere < due; ++sentHere) {
                const std::string text = line(sent_++);
                ::sendto(fd, text.data(), text.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
            }
            lock.lock();
            changed_.wait_for(lock, std::chrono::milliseconds(10));
            const auto elapsed = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - started);
            due = static_cast<uint64_t>(elapsed.count()) * static_cast<uint64_t>(rate_) / 1000000;
        }
    }
    lock.unlock();
    ::close(fd);
}

} // namespace quillon::sim
