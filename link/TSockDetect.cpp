#include "TSockDetect.h"

#include "StbLink.h"
#include "TSockThread.h"

#include <Logger.h>

#include <cerrno>
#include <cstring>

#include <poll.h>
#include <sys/socket.h>

namespace quillon {

TSockDetect::~TSockDetect()
{
    stop();
}

void TSockDetect::setWorker(TSockThread* worker)
{
    worker_ = worker;
}

void TSockDetect::start()
{
    if (thread_.joinable())
        return;
    {
        std::lock_guard<std::mutex> guard(mutex_);
        stopping_ = false;
    }
    thread_ = std::thread([this] { run(); });
}

void TSockDetect::stop()
{
    {
        std::lock_guard<std::mutex> guard(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable())
        thread_.join();
}

bool TSockDetect::pollOnce()
{
    if (!worker_ || worker_->link().linkState() != 1)
        return false;
    StbLink& link = worker_->link();
    bool lost = false;
    {
        LinkSocket::Use use(link.socket);
        pollfd p{use.fd(), POLLIN, 0};
        const int r = use.fd() < 0 ? -1 : ::poll(&p, 1, 0);
        if (r < 0) {
            Logger::instance().error("SockDetect select()=%d, error:%s, socket disconnect.", -1, std::strerror(errno));
            lost = true;
        } else if (r > 0) {
            // Peek only: the byte stays for the worker.
            char byte;
            const ssize_t n = ::recv(use.fd(), &byte, 1, MSG_PEEK | MSG_DONTWAIT);
            if (n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
                const int err = n == 0 ? 0 : errno;
                Logger::instance().error("recv error:%d,%s, socket disconnect.", err, std::strerror(err));
                lost = true;
            }
        }
    }
    return lost && link.markLinkLost();
}

void TSockDetect::run()
{
    std::unique_lock<std::mutex> lock(mutex_);
    while (!stopping_) {
        lock.unlock();
        pollOnce();
        lock.lock();
        const auto interval = worker_ ? worker_->link().timeouts.watchdogPoll : std::chrono::milliseconds(1000);
        wake_.wait_for(lock, interval, [this] { return stopping_; });
    }
}

} // namespace quillon
