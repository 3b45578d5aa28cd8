#include "LinkSocket.h"

#include <sys/socket.h>
#include <unistd.h>

namespace quillon
{

LinkSocket::Use::Use(LinkSocket& socket) : socket_(socket)
{
    std::lock_guard<std::mutex> guard(socket_.mutex_);
    fd_ = socket_.fd_;
    generation_ = socket_.generation_;
    if (fd_ >= 0)
        ++socket_.users_;
}

LinkSocket::Use::~Use()
{
    if (fd_ < 0)
        return;
    std::lock_guard<std::mutex> guard(socket_.mutex_);
    if (--socket_.users_ == 0) {
        for (int fd : socket_.closing_)
            ::close(fd);
        socket_.closing_.clear();
    }
}

LinkSocket::~LinkSocket()
{
    std::lock_guard<std::mutex> guard(mutex_);
    if (fd_ >= 0)
        ::close(fd_);
    for (int fd : closing_)
        ::close(fd);
}

void LinkSocket::adopt(int fd)
{
    std::lock_guard<std::mutex> guard(mutex_);
    releaseLocked();
    fd_ = fd;
    ++generation_;
}

void LinkSocket::close()
{
    std::lock_guard<std::mutex> guard(mutex_);
    releaseLocked();
}

void LinkSocket::releaseLocked()
{
    if (fd_ < 0)
        return;
    ::shutdown(fd_, SHUT_RDWR);
    if (users_ == 0)
        ::close(fd_);
    else
        closing_.push_back(fd_);
    fd_ = -1;
}

} // namespace quillon
