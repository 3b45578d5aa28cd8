#include "StbLink.h"

#include "Frame.h"

#include <Logger.h>
#include <StringTable.h>

#include <openssl/evp.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <system_error>

#include <poll.h>
#include <sys/socket.h>

namespace quillon
{

namespace
{

using Clock = std::chrono::steady_clock;

// Waits until `fd` is readable or the deadline passes: 1 readable, 0 time up, -1 poll failed.
int waitReadable(int fd, Clock::time_point deadline)
{
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        pollfd p{fd, POLLIN, 0};
        const int r = ::poll(&p, 1, left > 0 ? static_cast<int>(left) : 0);
        if (r < 0 && errno == EINTR)
            continue;
        return r < 0 ? -1 : (r == 0 ? 0 : 1);
    }
}

// Whether `plain` ends with well-formed PKCS#5 padding behind a zero byte, the way every frame of
// the box ends.
bool endsLikeAFrame(const uint8_t* plain, size_t length)
{
    if (length < kAesBlock)
        return false;
    const uint8_t p = plain[length - 1];
    if (p < 1 || p > kAesBlock || length < static_cast<size_t>(p) + 1)
        return false;
    for (size_t i = length - p; i < length; ++i) {
        if (plain[i] != p)
            return false;
    }
    return plain[length - p - 1] == 0;
}

} // namespace

thread_local int StbLink::lastError = 0;

std::string linkErrorText(int stringId, int error)
{
    char buf[256];
    std::snprintf(buf, sizeof buf, "%s:%d", loadUiString(stringId).c_str(), error);
    std::string text = buf;
    // The code alone means little to the user; the system's reason follows it.
    if (error != 0)
        text += " (" + std::system_category().message(error) + ")";
    return text;
}

StbLink::StbLink(Commandio& queues_, LinkObserver* observer_) : queues(queues_), observer(observer_) {}

StbLink::~StbLink()
{
    if (stream_)
        EVP_CIPHER_CTX_free(stream_);
}

void StbLink::setLinkState(uint8_t state)
{
    linkStateValue_ = state;
    if (state == 0)
        socket.close();
    if (observer)
        observer->linkStateChanged(state);
}

bool StbLink::markLinkLost()
{
    uint8_t up = 1;
    if (!linkStateValue_.compare_exchange_strong(up, 0))
        return false;
    socket.close();
    if (observer)
        observer->linkStateChanged(0);
    return true;
}

void StbLink::output(OutputChannel channel, const std::string& line)
{
    if (observer)
        observer->outputLine(channel, line);
}

int StbLink::sendEncrypted(const std::string& plaintext)
{
    LinkSocket::Use use(socket);
    if (use.fd() < 0 || plaintext.empty()) {
        Logger::instance().error("Invalid params.\n");
        lastError = EBADF;
        return -1;
    }
    const std::string cipher = encryptFrame(plaintext, sessionKey.data());
    if (cipher.empty())
        return -1;
    // The box separates frames by their arrival, so each frame goes out in one send.
    const ssize_t sent = ::send(use.fd(), cipher.data(), cipher.size(), MSG_NOSIGNAL);
    if (sent < 0)
        lastError = errno;
    return static_cast<int>(sent);
}

int StbLink::receiveTillCh(char* buffer, int size, int ch, int count, std::chrono::milliseconds timeout)
{
    if (!buffer || size <= 0)
        return -1;
    LinkSocket::Use use(socket);
    const int fd = use.fd();
    int total = 0;
    int found = 0;
    const auto deadline = Clock::now() + timeout;
    bool first = true;
    for (;;) {
        int got = 0;
        if (!carry_.empty()) {
            got = std::min<int>(static_cast<int>(carry_.size()), size - total);
            std::memcpy(buffer + total, carry_.data(), static_cast<size_t>(got));
            carry_.erase(0, static_cast<size_t>(got));
        } else {
            if (fd < 0) {
                lastError = EBADF;
                Logger::instance().error("recv() error: %d", lastError);
                return -1;
            }
            ssize_t ready = -1;
            if (first && eagerRead_) {
                // Bulk segments usually wait already: try before polling, one system call less.
                ready = ::recv(fd, buffer + total, static_cast<size_t>(size - total), MSG_DONTWAIT);
                if (ready < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
                    lastError = errno;
                    Logger::instance().error("recv() error: %d", lastError);
                    return -1;
                }
            }
            if (first && ready < 0 && setReceiveLimit(use, timeout)) {
                // A blocking receive bounded by the socket's own limit: one system call a reply.
                ready = ::recv(fd, buffer + total, static_cast<size_t>(size - total), 0);
                if (ready < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                    Logger::instance().error("select() expired.");
                    return 0;
                }
                if (ready < 0 && errno != EINTR) {
                    lastError = errno;
                    Logger::instance().error("recv() error: %d", lastError);
                    return -1;
                }
            }
            if (first && ready < 0) {
                const int w = waitReadable(fd, deadline);
                if (w < 0) {
                    lastError = errno;
                    Logger::instance().error("select() error:%s", std::strerror(lastError));
                    return -1;
                }
                if (w == 0) {
                    Logger::instance().error("select() expired.");
                    return 0;
                }
            }
            const ssize_t r = ready >= 0 ? ready : ::recv(fd, buffer + total, static_cast<size_t>(size - total), 0);
            if (r < 0) {
                lastError = errno;
                Logger::instance().error("recv() error: %d", lastError);
                return -1;
            }
            if (r == 0) {
                // The box closed the connection: nothing more will ever come, so this is a failure,
                // not an empty answer to wait for again.
                lastError = ECONNRESET;
                Logger::instance().error("recv() error: %d", lastError);
                return -1;
            }
            got = static_cast<int>(r);
        }
        first = false;
        if (ch == -1)
            return got;
        for (int i = total; i < total + got; ++i) {
            if (static_cast<unsigned char>(buffer[i]) == static_cast<unsigned char>(ch) && ++found == count) {
                carry_.insert(0, buffer + i + 1, static_cast<size_t>(total + got - i - 1));
                if (i + 1 < size)
                    buffer[i + 1] = '\0';
                return i + 1;
            }
        }
        total += got;
        if (total >= size)
            return -2;
    }
}

bool StbLink::setReceiveLimit(const LinkSocket::Use& use, std::chrono::milliseconds limit)
{
    const int fd = use.fd();
    const long ms = std::max<long>(1, static_cast<long>(limit.count())); // 0 would mean no limit at all
    if (use.generation() == receiveLimitGeneration_ && ms == receiveLimitMs_)
        return true;
    timeval tv{};
    tv.tv_sec = ms / 1000;
    tv.tv_usec = (ms % 1000) * 1000;
    if (::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv) != 0)
        return false;
    receiveLimitGeneration_ = use.generation();
    receiveLimitMs_ = ms;
    return true;
}

void StbLink::discardStale()
{
    carry_.clear();
    LinkSocket::Use use(socket);
    if (use.fd() < 0)
        return;
    char buf[kMaxReceive];
    // A closed connection reads as 0 and stops the loop; the exchange then reports it.
    while (::recv(use.fd(), buf, sizeof buf, MSG_DONTWAIT) > 0) {
    }
}

int StbLink::receiveCipher(std::string& cipher, std::chrono::milliseconds timeout, bool eager)
{
    eagerRead_ = eager;
    char buf[kMaxReceive];
    const auto deadline = Clock::now() + timeout;
    const int d = receiveTillCh(buf, kMaxReceive, -1, -1, timeout);
    eagerRead_ = false;
    if (d <= 0)
        return d;
    cipher.assign(buf, static_cast<size_t>(d));
    // A reply cut by the network is completed from the following reads within the same limit.
    while (cipher.size() % kAesBlock != 0) {
        LinkSocket::Use use(socket);
        if (use.fd() < 0 || waitReadable(use.fd(), deadline) <= 0) {
            lastError = ETIMEDOUT;
            Logger::instance().error("recv() error: %d", lastError);
            return -1;
        }
        // Only up to the end of the cut block: what follows may be cut again, and reading on
        // would chase block ends through the stream until the limit runs out.
        const int need = kAesBlock - static_cast<int>(cipher.size() % kAesBlock);
        const int more = receiveTillCh(buf, need, -1, -1, std::chrono::milliseconds(0));
        if (more <= 0) {
            if (more == 0)
                lastError = ETIMEDOUT;
            return -1;
        }
        cipher.append(buf, static_cast<size_t>(more));
    }
    return static_cast<int>(cipher.size());
}

int StbLink::receiveDecrypted(std::string& plaintext, std::chrono::milliseconds timeout)
{
    plaintext.clear();
    const auto deadline = Clock::now() + timeout;
    std::string cipher;
    const int d = receiveCipher(cipher, timeout, false);
    if (d < 0) {
        Logger::instance().error("receiveTillCh() failed, recv size:%d", d);
        return d;
    }
    if (d == 0)
        return 0;

    std::string plain;
    size_t length = 0;
    for (;;) {
        plain.assign(cipher.size(), '\0');
        auto* out = reinterpret_cast<uint8_t*>(plain.data());
        const auto* in = reinterpret_cast<const uint8_t*>(cipher.data());
        if (aes_cbc_decrypt(in, static_cast<int>(cipher.size()), sessionKey.data(),
                            reinterpret_cast<const uint8_t*>(kLinkIv), out) < 0) {
            Logger::instance().error("aes_cbc_decrypt() failed.");
            return -1;
        }
        // Every frame starts afresh from the fixed vector. When two frames arrived in one read, the
        // first ends with its zero byte and padding on a block boundary (decrypted correctly, as it
        // came first); the rest is the next frame and waits for the next call.
        length = 0;
        for (size_t end = kAesBlock; end <= cipher.size(); end += kAesBlock) {
            if (endsLikeAFrame(out, end)) {
                length = end;
                break;
            }
        }
        // The network may cut a reply on a block boundary too: a read that does not end like a
        // frame waits for the rest within the same limit. A reply that never completes is taken
        // as it stands.
        if (length > 0 || cipher.size() >= static_cast<size_t>(kMaxReceive))
            break;
        std::string more;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0 || receiveCipher(more, left, false) <= 0)
            break;
        cipher += more;
    }
    if (length == 0)
        length = cipher.size();
    if (length < cipher.size())
        carry_.insert(0, cipher, length, std::string::npos);
    plain.resize(length);

    const int p = static_cast<signed char>(plain.back());
    int n = static_cast<int>(length);
    if (p >= 1 && p <= kAesBlock) {
        n -= p;
        std::memset(plain.data() + n, 0, static_cast<size_t>(p));
    }
    plain.resize(static_cast<size_t>(n));
    plaintext = std::move(plain);
    return n;
}

int StbLink::beginStreamDecrypt()
{
    if (!stream_)
        stream_ = EVP_CIPHER_CTX_new();
    if (!stream_ || EVP_DecryptInit_ex(stream_, EVP_aes_128_cbc(), nullptr, sessionKey.data(),
                                       reinterpret_cast<const uint8_t*>(kLinkIv)) != 1) {
        std::printf("AES_set_decrypt_key() failed.\n");
        return -1;
    }
    // Without padding the context carries the chain from one segment to the next.
    EVP_CIPHER_CTX_set_padding(stream_, 0);
    return 0;
}

int StbLink::receiveStreamDecrypted(std::string& plaintext, std::chrono::milliseconds timeout)
{
    plaintext.clear();
    if (!stream_) {
        Logger::instance().error("aes_cbc_decrypt() failed.");
        return -1;
    }
    std::string cipher;
    const int d = receiveCipher(cipher, timeout, true);
    if (d < 0) {
        Logger::instance().error("receiveTillCh() failed, recv size:%d", d);
        return d;
    }
    if (d == 0)
        return 0;
    std::string& plain = plaintext;
    plain.resize(cipher.size());
    int outLen = 0;
    if (EVP_DecryptUpdate(stream_, reinterpret_cast<uint8_t*>(plain.data()), &outLen,
                          reinterpret_cast<const uint8_t*>(cipher.data()), d) != 1 ||
        outLen != d) {
        Logger::instance().error("aes_cbc_decrypt() failed.");
        return -1;
    }
    // Only the end of the whole stream is padded, right behind the zero byte of its last record
    // (or alone in a segment of its own). A segment that merely ends on a small byte (a line feed,
    // a value byte that looks like padding) is data and stays as it is.
    const auto* bytes = reinterpret_cast<const uint8_t*>(plain.data());
    const uint8_t p = bytes[d - 1];
    bool padded = p >= 1 && p <= kAesBlock && p <= d;
    for (int i = d - p; padded && i < d; ++i)
        padded = bytes[i] == p;
    if (padded && (p == d || bytes[d - p - 1] == 0))
        std::memset(plain.data() + d - p, 0, p);
    return d;
}

} // namespace quillon
