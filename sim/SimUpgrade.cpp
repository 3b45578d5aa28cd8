#include "SimDiagnostics.h"

#include "StbSimulator.h"

#include <cerrno>
#include <cstring>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace quillon::sim
{

namespace
{

constexpr const char* kMagic = "QBIMG1";
constexpr auto kAcceptLimit = std::chrono::seconds(15);

std::string report(int status, const std::string& value = std::string())
{
    return std::to_string(status) + "inform^get_upgradelength^" + value;
}

// A listener on the box's own address with a port of the system's choosing; -1 on failure.
int openImageListener(const std::string& address, int& port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = 0;
    socklen_t len = sizeof a;
    if (::inet_pton(AF_INET, address.c_str(), &a.sin_addr) != 1 ||
        ::bind(fd, reinterpret_cast<sockaddr*>(&a), len) != 0 || ::listen(fd, 1) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
        ::close(fd);
        return -1;
    }
    port = ntohs(a.sin_port);
    return fd;
}

// Waits for `events` in short slices so that a stop is seen; false on stop or time up.
bool waitReady(int fd, short events, const std::atomic<bool>& stop, std::chrono::steady_clock::time_point deadline)
{
    while (!stop && std::chrono::steady_clock::now() < deadline) {
        pollfd p{fd, events, 0};
        if (::poll(&p, 1, 50) > 0)
            return true;
    }
    return false;
}

// 0 when the box takes the image, else the status of its refusal. An Android box takes a zip
// package and leaves the version to the package itself.
int judgeHeader(const std::string& header, const std::string& ownVersion, bool forced, bool android)
{
    if (android)
        return header.compare(0, 4, std::string("PK\x03\x04", 4)) == 0 ? 0 : 303;
    if (header.size() < kSimImageHeaderSize || header.compare(0, std::strlen(kMagic), kMagic) != 0)
        return 303;
    const std::string versionField = header.substr(std::strlen(kMagic), kSimImageHeaderSize - std::strlen(kMagic));
    const std::string version = versionField.substr(0, versionField.find('\0'));
    return (!forced && version == ownVersion) ? 300 : 0;
}

void runUpgrade(SimSession& session, int listener, std::atomic<bool>& stop)
{
    StbSimulator& box = session.box();
    const SimFaults faults = box.faults();
    const SimUpgradeRecord start = box.upgradeRecord();
    const auto pace = box.options().linePace;

    const bool accepted = waitReady(listener, POLLIN, stop, std::chrono::steady_clock::now() + kAcceptLimit);
    const int image = accepted ? ::accept(listener, nullptr, nullptr) : -1;
    ::close(listener);
    if (image < 0)
        return;

    int verdict = 0;
    std::string header;
    long long received = 0;
    char buf[65536];
    while (received < start.announced && !stop) {
        if (faults.upgradeStopReadingAfter >= 0 && received >= faults.upgradeStopReadingAfter) {
            // A box that hangs while taking the image: it neither reads on nor says anything.
            pauseUnlessStopped(std::chrono::hours(1), stop);
            ::close(image);
            return;
        }
        long long want = std::min<long long>(sizeof buf, start.announced - received);
        if (faults.upgradeStopReadingAfter >= 0)
            want = std::min(want, faults.upgradeStopReadingAfter - received);
        if (faults.upgradeCloseImageAfter >= 0) {
            want = std::min(want, faults.upgradeCloseImageAfter - received);
            if (want <= 0)
                break;
        }
        if (!waitReady(image, POLLIN, stop, std::chrono::steady_clock::now() + std::chrono::seconds(15)))
            break;
        const ssize_t n = ::recv(image, buf, static_cast<size_t>(want), 0);
        if (n <= 0)
            break;
        received += n;
        box.updateUpgrade([&](SimUpgradeRecord& r) {
            r.received += n;
            const size_t kept = box.options().keptImageBytes;
            if (r.image.size() < kept)
                r.image.append(buf, static_cast<size_t>(
                                        std::min<long long>(n, static_cast<long long>(kept - r.image.size()))));
        });
        if (header.size() < kSimImageHeaderSize) {
            header.append(buf, static_cast<size_t>(std::min<long long>(n, kSimImageHeaderSize - header.size())));
            if (header.size() == kSimImageHeaderSize &&
                (verdict = judgeHeader(header, box.value("SoftwareVersion"), start.forced, box.options().android)))
                break;
        }
    }
    if (!verdict && received < start.announced)
        verdict = 303; // cut short: not a whole image
    if (!verdict && header.size() < kSimImageHeaderSize)
        verdict = judgeHeader(header, box.value("SoftwareVersion"), start.forced, box.options().android);
    if (verdict) {
        box.updateUpgrade([&](SimUpgradeRecord& r) { r.verdict = verdict; });
        session.sendFrame(report(verdict));
        // A refusing box stops reading but leaves the connection to the tool to close.
        if (faults.upgradeCloseImageAfter < 0)
            pauseUnlessStopped(std::chrono::hours(1), stop);
        ::close(image);
        return;
    }
    ::close(image);

    if (faults.upgradeDropLink) {
        session.close();
        return;
    }
    if (faults.upgradeStrayStatus)
        session.sendFrame(report(faults.upgradeStrayStatus));
    session.sendFrame(report(301, ":0")); // writing has begun
    for (int percent = 20; percent <= 100; percent += 20) {
        if (!pauseUnlessStopped(pace, stop))
            return;
        session.sendFrame(report(301, ":" + std::to_string(percent)));
        if (faults.upgradeStopAnswering) {
            pauseUnlessStopped(std::chrono::hours(1), stop);
            return;
        }
    }
    box.updateUpgrade([](SimUpgradeRecord& r) { r.verdict = 302; });
    session.sendFrame(report(302));
}

} // namespace

std::string simImageHeader(const std::string& version)
{
    std::string header = kMagic + version.substr(0, kSimImageHeaderSize - std::strlen(kMagic));
    header.resize(kSimImageHeaderSize, '\0');
    return header;
}

bool handleUpgradeFrame(SimSession& session, const FrameWords& w)
{
    StbSimulator& box = session.box();
    if (w.function == "inform" && w.call == "set_upgradelength") {
        char* end = nullptr;
        const long long length = std::strtoll(w.data.c_str(), &end, 10);
        if (w.data.empty() || *end != '\0' || length <= 0) {
            session.reply(401, w);
            return true;
        }
        box.updateUpgrade([&](SimUpgradeRecord& r) {
            r = SimUpgradeRecord{};
            r.announced = length;
        });
        session.reply(200, w);
        return true;
    }
    if (w.function == "ioctl" && w.call == "upgrade") {
        if (box.upgradeRecord().announced <= 0) {
            session.reply(401, w);
            return true;
        }
        const bool forced = w.parameter == "/f";
        box.updateUpgrade([&](SimUpgradeRecord& r) { r.forced = forced; });
        int port = 0;
        const int listener = openImageListener(box.options().listenAddress, port);
        if (listener < 0) {
            session.reply(502, w);
            return true;
        }
        session.reply(200, w, std::to_string(port));
        session.startJob([&session, listener](std::atomic<bool>& stop) { runUpgrade(session, listener, stop); });
        return true;
    }
    return false;
}

} // namespace quillon::sim
