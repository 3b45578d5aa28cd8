#include "LiveLogReceiver.h"

#include <BoxText.h>
#include <Logger.h>

#include <cerrno>
#include <cstring>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace quillon
{

namespace
{

constexpr int kBatchSize = 64; // datagrams per receive call

std::string systemReason(const char* what, uint16_t port, int error)
{
    return std::string(what) + " UDP port " + std::to_string(port) + ": " + std::strerror(error);
}

} // namespace

// Buffers for one receive call: each datagram gets kMaxDatagram bytes (a longer one comes back
// marked as truncated and is dropped) and room for the kernel's drop counter.
struct LiveLogReceiver::Batch {
    char data[kBatchSize][kMaxDatagram];
    alignas(cmsghdr) char control[kBatchSize][CMSG_SPACE(sizeof(uint32_t))];
    iovec io[kBatchSize];
    mmsghdr headers[kBatchSize];
    std::string liveText;
    std::string filteredText;
    std::vector<LiveLogRow> rows;

    void reset()
    {
        for (int i = 0; i < kBatchSize; ++i) {
            io[i] = {data[i], kMaxDatagram};
            headers[i] = {};
            headers[i].msg_hdr.msg_iov = &io[i];
            headers[i].msg_hdr.msg_iovlen = 1;
            headers[i].msg_hdr.msg_control = control[i];
            headers[i].msg_hdr.msg_controllen = sizeof control[i];
        }
    }
};

LiveLogReceiver::~LiveLogReceiver()
{
    stop();
}

bool LiveLogReceiver::openOutput(File& file, const std::string& path)
{
    file.reset();
    if (path.empty())
        return true;
    // Opened without emptying it: what the file holds is kept until the socket is had, so a
    // start that fails (the port taken) loses nothing. start() empties it.
    file.reset(std::fopen(path.c_str(), "ab"));
    return file != nullptr;
}

void LiveLogReceiver::emptyOutput(File& file)
{
    if (file && ::ftruncate(::fileno(file.get()), 0) != 0)
        Logger::instance().warn("live log file could not be emptied: %s", std::strerror(errno));
}

bool LiveLogReceiver::openLiveFile(const std::string& path)
{
    return openOutput(liveFile_, path);
}

bool LiveLogReceiver::openFilteredFile(const std::string& path)
{
    return openOutput(filteredFile_, path);
}

bool LiveLogReceiver::start(const Options& options, std::string* error)
{
    stopThread();
    Logger& log = Logger::instance();
    auto fail = [&](const std::string& reason) {
        if (error)
            *error = reason;
        if (socket_ >= 0)
            ::close(socket_);
        if (wake_ >= 0)
            ::close(wake_);
        socket_ = wake_ = -1;
        return false;
    };
    socket_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (socket_ < 0) {
        const int e = errno;
        log.error("crete udp_sock error");
        return fail(systemReason("socket for", options.port, e));
    }
    const int one = 1;
    if (::setsockopt(socket_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one) != 0)
        log.debug("Set socket option SO_REUSEADDR failed.\n");
    else
        log.debug("Set socket option SO_REUSEADDR successfully.\n");
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(options.port);
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    if (!options.bindAddress.empty() && ::inet_pton(AF_INET, options.bindAddress.c_str(), &address.sin_addr) != 1)
        return fail("not an IPv4 address: " + options.bindAddress);
    if (::bind(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        const int e = errno;
        log.error("udp_sock bind failed:errno=%d,errstr=%s", e, std::strerror(e));
        std::string reason = systemReason("bind", options.port, e);
        if (e == EACCES && options.port < 1024)
            reason += " (ports below 1024 need privileges; see --live-log-port)";
        return fail(reason);
    }
    socklen_t length = sizeof address;
    ::getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);

    // The forced size passes the system's cap when we may; otherwise the cap applies.
    if (::setsockopt(socket_, SOL_SOCKET, SO_RCVBUFFORCE, &options.receiveBuffer, sizeof options.receiveBuffer) != 0)
        ::setsockopt(socket_, SOL_SOCKET, SO_RCVBUF, &options.receiveBuffer, sizeof options.receiveBuffer);
    receiveBuffer_ = 0;
    length = sizeof receiveBuffer_;
    ::getsockopt(socket_, SOL_SOCKET, SO_RCVBUF, &receiveBuffer_, &length);
    log.info("live log receive buffer: asked %d bytes, obtained %d", options.receiveBuffer, receiveBuffer_);
    // Every datagram then carries the count of those the kernel dropped on this socket.
    if (::setsockopt(socket_, SOL_SOCKET, SO_RXQ_OVFL, &one, sizeof one) != 0)
        log.warn("SO_RXQ_OVFL not available: drops by the kernel cannot be counted");

    wake_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wake_ < 0)
        return fail(systemReason("eventfd for", options.port, errno));

    emptyOutput(liveFile_);
    emptyOutput(filteredFile_);
    pendingByteLimit_ = options.pendingByteLimit;
    received_ = bytes_ = oversized_ = kernelDropped_ = notShown_ = 0;
    {
        std::lock_guard<std::mutex> guard(rowsMutex_);
        rows_.clear();
        pendingBytes_ = 0;
    }
    stopping_ = false;
    thread_ = std::thread([this] { run(); });
    return true;
}

void LiveLogReceiver::stop()
{
    stopThread();
    liveFile_.reset();
    filteredFile_.reset();
}

void LiveLogReceiver::stopThread()
{
    if (thread_.joinable()) {
        stopping_ = true;
        const uint64_t one = 1;
        [[maybe_unused]] const ssize_t n = ::write(wake_, &one, sizeof one);
        thread_.join();
    }
    if (socket_ >= 0)
        ::close(socket_);
    if (wake_ >= 0)
        ::close(wake_);
    socket_ = wake_ = -1;
    rowsArrived_.notify_all();
}

void LiveLogReceiver::setFilter(const LogFilter& filter, uint64_t generation)
{
    auto copy = std::make_shared<const LogFilter>(filter);
    std::lock_guard<std::mutex> guard(filterMutex_);
    filter_ = std::move(copy);
    generation_ = generation;
}

size_t LiveLogReceiver::takeRows(std::vector<LiveLogRow>& rows, std::chrono::milliseconds wait)
{
    std::unique_lock<std::mutex> lock(rowsMutex_);
    if (rows_.empty() && wait.count() > 0)
        rowsArrived_.wait_for(lock, wait, [this] { return !rows_.empty(); });
    const size_t count = rows_.size();
    if (rows.empty()) {
        rows.swap(rows_);
    } else {
        for (LiveLogRow& row : rows_)
            rows.push_back(std::move(row));
        rows_.clear();
    }
    pendingBytes_ = 0;
    return count;
}

LiveLogStats LiveLogReceiver::stats() const
{
    LiveLogStats s;
    s.received = received_;
    s.bytes = bytes_;
    s.oversized = oversized_;
    s.kernelDropped = kernelDropped_;
    s.notShown = notShown_;
    return s;
}

void LiveLogReceiver::zeroBytesToLineFeeds(std::string& text)
{
    for (char& c : text)
        if (c == '\0')
            c = '\n';
}

void LiveLogReceiver::appendFileText(std::string& out, const std::string& text)
{
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r'))
            out += '\r';
        out += text[i];
    }
}

void LiveLogReceiver::run()
{
    Logger& log = Logger::instance();
    log.info("log receive thread begin.");
    auto batch = std::make_unique<Batch>();
    pollfd watched[2] = {{socket_, POLLIN, 0}, {wake_, POLLIN, 0}};
    for (;;) {
        const int ready = ::poll(watched, 2, -1);
        if (ready < 0 && errno != EINTR) {
            log.error("live log poll failed:errno=%d,errstr=%s", errno, std::strerror(errno));
            break;
        }
        if (watched[1].revents != 0)
            break;
        if (ready <= 0 || (watched[0].revents & POLLIN) == 0)
            continue;
        // Everything waiting, in batches, before the next wait; a stop ends it between batches
        // even while a sender keeps the socket full.
        while (!stopping_) {
            batch->reset();
            const int count = ::recvmmsg(socket_, batch->headers, kBatchSize, MSG_DONTWAIT, nullptr);
            if (count < 0) {
                if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
                    log.debug("recv size:%d", -1);
                break;
            }
            handleBatch(*batch, count);
            if (count < kBatchSize)
                break;
        }
    }
    log.info("log receive thread end.");
}

void LiveLogReceiver::handleBatch(Batch& batch, int count)
{
    std::shared_ptr<const LogFilter> filter;
    uint64_t generation = 0;
    {
        std::lock_guard<std::mutex> guard(filterMutex_);
        filter = filter_;
        generation = generation_;
    }
    batch.liveText.clear();
    batch.filteredText.clear();
    batch.rows.clear();
    uint64_t taken = 0;
    uint64_t takenBytes = 0;
    for (int i = 0; i < count; ++i) {
        const msghdr& header = batch.headers[i].msg_hdr;
        for (cmsghdr* c = CMSG_FIRSTHDR(&header); c; c = CMSG_NXTHDR(const_cast<msghdr*>(&header), c)) {
            if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SO_RXQ_OVFL &&
                c->cmsg_len >= CMSG_LEN(sizeof(uint32_t))) {
                uint32_t dropped = 0;
                std::memcpy(&dropped, CMSG_DATA(c), sizeof dropped);
                kernelDropped_ = dropped;
            }
        }
        if (header.msg_flags & MSG_TRUNC) {
            ++oversized_;
            continue;
        }
        const size_t n = batch.headers[i].msg_len;
        if (n == 0)
            continue;
        LiveLogRow row;
        row.text.assign(batch.data[i], n);
        zeroBytesToLineFeeds(row.text);
        row.generation = generation;
        row.matched = !filter->empty() && filter->matches(fromBox(row.text));
        if (liveFile_)
            appendFileText(batch.liveText, row.text);
        if (filteredFile_ && row.matched)
            appendFileText(batch.filteredText, row.text);
        ++taken;
        takenBytes += n;
        batch.rows.push_back(std::move(row));
    }
    // Write errors are not fatal: the viewer and the other file go on.
    if (liveFile_ && !batch.liveText.empty()) {
        std::fwrite(batch.liveText.data(), 1, batch.liveText.size(), liveFile_.get());
        std::fflush(liveFile_.get());
    }
    if (filteredFile_ && !batch.filteredText.empty()) {
        std::fwrite(batch.filteredText.data(), 1, batch.filteredText.size(), filteredFile_.get());
        std::fflush(filteredFile_.get());
    }
    bytes_ += takenBytes;
    {
        std::lock_guard<std::mutex> guard(rowsMutex_);
        for (LiveLogRow& row : batch.rows) {
            if (pendingBytes_ + row.text.size() > pendingByteLimit_) {
                ++notShown_;
                continue;
            }
            pendingBytes_ += row.text.size();
            rows_.push_back(std::move(row));
        }
    }
    // Counted after queueing: whoever sees the count finds the rows already taken.
    received_ += taken;
    if (taken > 0)
        rowsArrived_.notify_all();
}

} // namespace quillon
