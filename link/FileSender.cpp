#include "FileSender.h"

#include "ExchangeText.h"
#include "StbLink.h"

#include <Logger.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quillon
{

namespace
{

constexpr auto kConnectLimit = std::chrono::seconds(15);

// Waits for `events` on fd for at most `ms`: >0 ready, 0 time up, <0 failure.
int waitFor(int fd, short events, int ms)
{
    for (;;) {
        pollfd p{fd, events, 0};
        const int r = ::poll(&p, 1, ms);
        if (r < 0 && errno == EINTR)
            continue;
        return r;
    }
}

} // namespace

int sendAll(int socket, const char* data, int length, int waitMs)
{
    int done = 0;
    while (done < length) {
        const ssize_t n = ::send(socket, data + done, static_cast<size_t>(length - done), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            done += static_cast<int>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            // Waits only when the box is behind, and never for ever: a box that stops reading
            // must not hold the sender.
            const int w = waitFor(socket, POLLOUT, waitMs);
            if (w > 0)
                continue;
            if (w == 0)
                errno = ETIMEDOUT;
            Logger::instance().error("socket select ERROR!");
            return -1;
        }
        if (n == 0)
            errno = ECONNRESET;
        Logger::instance().error("socket send ERROR!");
        return -1;
    }
    return length;
}

FileSender::FileSender(Commandio& queues) : queues_(queues) {}

FileSender::~FileSender()
{
    shutdown();
}

void FileSender::startFileSender(const std::string& ip, int port, const std::string& fileName, int imageFd)
{
    shutdown();
    abort_ = false;
    failed_ = false;
    sentPercent_ = 0;
    {
        std::lock_guard<std::mutex> guard(mutex_);
        failure_.clear();
    }
    thread_ = std::thread([this, ip, port, fileName, imageFd] { sendUpgradeFile(ip, port, fileName, imageFd); });
}

void FileSender::stopFileSender()
{
    abort_ = true;
    std::lock_guard<std::mutex> guard(mutex_);
    // Shut down, not closed: the sender closes the descriptor itself, so its number cannot be
    // reused under a send in progress.
    if (socket_ >= 0)
        ::shutdown(socket_, SHUT_RDWR);
}

void FileSender::shutdown()
{
    stopFileSender();
    if (thread_.joinable())
        thread_.join();
}

std::string FileSender::failureText() const
{
    std::lock_guard<std::mutex> guard(mutex_);
    return failure_;
}

void FileSender::fail(const std::string& message)
{
    Logger::instance().error("%s", message.c_str());
    {
        std::lock_guard<std::mutex> guard(mutex_);
        failure_ = message;
    }
    failed_ = true;
}

void FileSender::sendUpgradeFile(const std::string& ip, int port, const std::string& fileName, int imageFd)
{
    Logger& log = Logger::instance();
    log.debug("sendUpgradeFileThread begin");
    log.debug("upgrade filename:%s", fileName.c_str());

    const bool shared = imageFd >= 0;
    const int file = shared ? imageFd : ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC);
    auto closeFile = [&] {
        if (!shared && file >= 0)
            ::close(file);
    };
    struct stat st {
    };
    if (file < 0 || ::fstat(file, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size <= 0) {
        closeFile();
        // The exchange measured this file a moment ago; it reports this as the upgrade's end.
        fail(messageText("open upgrade file:%s failed", fileName.c_str()));
        return;
    }
    const long long fileSize = st.st_size;
    log.debug("upgrade file size:%lld", fileSize);

    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        closeFile();
        fail("create socket failed.");
        return;
    }
    {
        std::lock_guard<std::mutex> guard(mutex_);
        socket_ = fd;
        if (abort_)
            ::shutdown(fd, SHUT_RDWR);
    }
    auto release = [&] {
        std::lock_guard<std::mutex> guard(mutex_);
        socket_ = -1;
        ::close(fd);
    };

    // Non-blocking connect in short waits, so that a stop is seen while the box does not answer.
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    bool connected = ::inet_pton(AF_INET, ip.c_str(), &address.sin_addr) == 1;
    if (connected) {
        const int flags = ::fcntl(fd, F_GETFL);
        ::fcntl(fd, F_SETFL, flags | O_NONBLOCK);
        int r = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
        if (r < 0 && errno == EINPROGRESS) {
            const auto deadline = std::chrono::steady_clock::now() + kConnectLimit;
            r = -1;
            while (!abort_ && std::chrono::steady_clock::now() < deadline) {
                const int w = waitFor(fd, POLLOUT, 100);
                if (w == 0)
                    continue;
                int err = 0;
                socklen_t len = sizeof err;
                if (w > 0 && ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) == 0 && err == 0)
                    r = 0;
                break;
            }
        }
        ::fcntl(fd, F_SETFL, flags);
        connected = r == 0 && !abort_;
    }
    if (!connected) {
        release();
        closeFile();
        fail(messageText("connect to ip:%s, port:%d failed", ip.c_str(), port));
        return;
    }
    log.debug("Connect to ip:%s, port:%d", ip.c_str(), port);
    log.debug("send begin.");

    // The image is streamed block by block, never held whole; exactly the announced length is
    // sent even if the file grows meanwhile.
    char block[kBlockSize];
    long long sent = 0;
    int lastPercent = 0;
    while (!abort_ && sent < fileSize) {
        const auto want = static_cast<size_t>(std::min<long long>(kBlockSize, fileSize - sent));
        // A shared image is read by position: the senders of other boxes move no offset of ours.
        const ssize_t n = shared ? ::pread(file, block, want, static_cast<off_t>(sent)) : ::read(file, block, want);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        if (sendAll(fd, block, static_cast<int>(n), writeWaitMs_) < 0) {
            log.error("send error, %s", linkErrorText(352, errno).c_str());
            break;
        }
        sent += n;
        const int percent = static_cast<int>(sent * 100 / fileSize);
        if (percent > 0 && percent != lastPercent) {
            lastPercent = percent;
            sentPercent_ = percent;
            ResUpgrade progress;
            progress.setResult(STA_PROGRESS, "", 0);
            progress.percent = percent;
            progress.upgrading = 0;
            queues_.pushResponse(progress);
        }
    }
    release();
    closeFile();
    log.debug("send end.");
    if (sent != fileSize)
        fail(messageText("send error, file size:%lld, send size:%lld", fileSize, sent));
}

} // namespace quillon
