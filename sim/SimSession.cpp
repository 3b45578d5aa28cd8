#include "SimSession.h"

#include "StbSimulator.h"

#include <Frame.h>
#include <Session.h>

#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/rsa.h>

#include <cerrno>
#include <cstring>
#include <memory>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace quillon::sim {

namespace {

constexpr size_t kHandshakeSize = 50;
constexpr size_t kMaxPending = 8192; // anything longer without a frame end is garbage

// The key handed to the tool, sealed with the box's private key (PKCS#1 type 1).
std::string sealSessionKey(const uint8_t* key, size_t length)
{
    std::unique_ptr<BIO, decltype(&BIO_free)> bio(BIO_new_mem_buf(kSimBoxPrivateKeyPem, -1), BIO_free);
    std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> pkey(
        bio ? PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr) : nullptr, EVP_PKEY_free);
    if (!pkey)
        return {};
    std::unique_ptr<EVP_PKEY_CTX, decltype(&EVP_PKEY_CTX_free)> ctx(EVP_PKEY_CTX_new(pkey.get(), nullptr),
                                                                    EVP_PKEY_CTX_free);
    unsigned char out[512];
    size_t outLen = sizeof out;
    if (!ctx || EVP_PKEY_sign_init(ctx.get()) != 1 || EVP_PKEY_CTX_set_rsa_padding(ctx.get(), RSA_PKCS1_PADDING) != 1 ||
        EVP_PKEY_sign(ctx.get(), out, &outLen, key, length) != 1)
        return {};
    return std::string(reinterpret_cast<const char*>(out), outLen);
}

bool validPadding(const uint8_t* plain, size_t length)
{
    const uint8_t p = plain[length - 1];
    if (p < 1 || p > kAesBlock || length < p)
        return false;
    for (size_t i = length - p; i < length; ++i) {
        if (plain[i] != p)
            return false;
    }
    return true;
}

std::string pkcs5Pad(const std::string& text)
{
    const int n = pkcs5PaddedLength(static_cast<int>(text.size()));
    std::string padded = text;
    padded.append(static_cast<size_t>(n) - text.size(), static_cast<char>(n - text.size()));
    return padded;
}

} // namespace

FrameWords splitFrameWords(const std::string& text)
{
    FrameWords w;
    std::string* fields[] = {&w.function, &w.call, &w.parameter, &w.data};
    size_t field = 0;
    for (char c : text.substr(0, text.find('\0'))) {
        if (c == '^' && field < 3) {
            ++field;
            if (field == 3)
                w.hasData = true;
            continue;
        }
        *fields[field] += c;
    }
    return w;
}

SimSession::SimSession(StbSimulator& box, int fd) : box_(box), fd_(fd)
{
    sockaddr_in peer{};
    socklen_t len = sizeof peer;
    char text[INET_ADDRSTRLEN] = "0.0.0.0";
    if (::getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &len) == 0)
        ::inet_ntop(AF_INET, &peer.sin_addr, text, sizeof text);
    peer_ = text;
}

SimSession::~SimSession()
{
    close();
    if (thread_.joinable())
        thread_.join();
    stopJob();
    waitJob();
    ::close(fd_);
}

void SimSession::start()
{
    thread_ = std::thread([this] { run(); });
}

void SimSession::close()
{
    ::shutdown(fd_, SHUT_RDWR);
}

void SimSession::run()
{
    if (handshake()) {
        serve();
        box_.releaseClient(this);
    }
    stopJob();
    waitJob();
    ::shutdown(fd_, SHUT_RDWR);
    finished_ = true;
}

bool SimSession::sendAllBytes(const char* data, size_t length)
{
    while (length > 0) {
        const ssize_t n = ::send(fd_, data, length, MSG_NOSIGNAL);
        if (n <= 0) {
            if (n < 0 && errno == EINTR)
                continue;
            return false;
        }
        data += n;
        length -= static_cast<size_t>(n);
    }
    return true;
}

void SimSession::replyDelay()
{
    const auto latency = box_.options().replyLatency;
    if (latency.count() > 0)
        std::this_thread::sleep_for(latency);
}

bool SimSession::handshake()
{
    if (box_.faultsSnapshot()->silent) {
        // Takes what comes and says nothing, until the tool gives up.
        char sink[256];
        while (::recv(fd_, sink, sizeof sink, 0) > 0) {
        }
        return false;
    }
    std::string hello;
    char buf[256];
    while (hello.size() < kHandshakeSize) {
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, 15000) <= 0)
            return false;
        const ssize_t n = ::recv(fd_, buf, sizeof buf, 0);
        if (n <= 0)
            return false;
        hello.append(buf, static_cast<size_t>(n));
    }
    const std::string expected = firstAuthField(box_.options().user, box_.options().password);
    const bool wellFormed = hello.compare(kAuthFieldSize, std::string::npos, "initialize^connection^null") == 0;
    std::string status = "200";
    if (!wellFormed)
        status = "402";
    else if (hello.compare(0, kAuthFieldSize, expected) != 0)
        status = "501";
    else if (!box_.claimClient(this))
        status = "404";

    std::string block(128, '\0');
    if (status == "200") {
        if (RAND_bytes(key_.data(), static_cast<int>(key_.size())) != 1)
            return false;
        block = box_.faults().wrongSessionKeyBlock ? std::string(128, '\x5A') : sealSessionKey(key_.data(), key_.size());
        if (block.size() != 128)
            return false;
        box_.noteSessionKey(std::string(reinterpret_cast<const char*>(key_.data()), key_.size()));
    }
    const std::string answer = block + status + "initialize^connection^null" + '\0';
    replyDelay();
    sendAllBytes(answer.data(), answer.size());
    if (status != "200") {
        if (status != "404")
            box_.releaseClient(this);
        return false;
    }
    return true;
}

void SimSession::serve()
{
    const std::string field = sessionAuthField(std::string(reinterpret_cast<const char*>(key_.data()), key_.size()));
    std::string pending;
    char buf[4096];
    for (;;) {
        // A frame ends where its padding does; frames that arrive together are taken apart.
        bool progressed = true;
        while (progressed && pending.size() >= 2 * kAesBlock) {
            progressed = false;
            // One pass from the fixed vector: the first frame comes out right, and its end is the
            // first block boundary behind the 24-byte field (whose key bytes may look like padding)
            // that carries well-formed padding.
            const size_t whole = pending.size() / kAesBlock * kAesBlock;
            std::string plain(whole, '\0');
            auto* out = reinterpret_cast<uint8_t*>(plain.data());
            aes_cbc_decrypt(reinterpret_cast<const uint8_t*>(pending.data()), static_cast<int>(whole), key_.data(),
                            reinterpret_cast<const uint8_t*>(kLinkIv), out);
            for (size_t end = 2 * kAesBlock; end <= whole; end += kAesBlock) {
                if (!validPadding(out, end))
                    continue;
                plain.resize(end - out[end - 1]);
                pending.erase(0, end);
                if (plain.compare(0, kAuthFieldSize, field) != 0)
                    reply(501, splitFrameWords(plain.substr(std::min(plain.size(), size_t(kAuthFieldSize)))));
                else
                    handleFrame(plain.substr(kAuthFieldSize));
                progressed = true;
                break;
            }
        }
        if (pending.size() > kMaxPending)
            return;
        const ssize_t n = ::recv(fd_, buf, sizeof buf, 0);
        if (n <= 0)
            return;
        pending.append(buf, static_cast<size_t>(n));
    }
}

void SimSession::sendFrame(const std::string& text)
{
    const std::string cipher = encryptFrame(text + '\0', key_.data());
    replyDelay();
    std::lock_guard<std::mutex> guard(sendMutex_);
    if (box_.faultsSnapshot()->splitReplies && cipher.size() > 7) {
        sendAllBytes(cipher.data(), 7);
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        sendAllBytes(cipher.data() + 7, cipher.size() - 7);
    } else {
        sendAllBytes(cipher.data(), cipher.size());
    }
}

void SimSession::reply(int status, const FrameWords& w, const std::string& value)
{
    char code[8];
    std::snprintf(code, sizeof code, "%03d", status);
    sendFrame(code + w.function + "^" + w.call + "^" + value);
}

void SimSession::prepareStream(const std::string& plaintext, PreparedStream& out)
{
    const std::string padded = pkcs5Pad(plaintext);
    const size_t maxSegment = std::max<size_t>(kAesBlock, box_.faultsSnapshot()->maxSegment / kAesBlock * kAesBlock);
    out.maxSegment = box_.faultsSnapshot()->maxSegment;
    out.cipher.assign(padded.size(), '\0');
    out.cuts.clear();
    aes_cbc_encrypt(reinterpret_cast<const uint8_t*>(padded.data()), static_cast<int>(padded.size()), key_.data(),
                    reinterpret_cast<const uint8_t*>(kLinkIv), reinterpret_cast<uint8_t*>(out.cipher.data()));
    // The final zero byte and the padding travel together in the last segment.
    const size_t lastCut = (plaintext.size() - 1) / kAesBlock * kAesBlock;
    size_t at = 0;
    while (at < padded.size()) {
        size_t end = std::min(at + maxSegment, padded.size());
        if (end < padded.size()) {
            end = std::min(end, std::max(lastCut, at + kAesBlock));
            // The tool takes a segment that ends on a byte from 1 to 16 for padding.
            while (end > at + kAesBlock && static_cast<uint8_t>(padded[end - 1]) >= 1 &&
                   static_cast<uint8_t>(padded[end - 1]) <= kAesBlock)
                end -= kAesBlock;
        }
        out.cuts.push_back(end);
        at = end;
    }
}

void SimSession::sendPrepared(const PreparedStream& stream)
{
    replyDelay();
    std::lock_guard<std::mutex> guard(sendMutex_);
    size_t at = 0;
    for (size_t end : stream.cuts) {
        if (!sendAllBytes(stream.cipher.data() + at, end - at))
            return;
        at = end;
    }
}

void SimSession::sendStream(const std::string& plaintext)
{
    PreparedStream stream;
    prepareStream(plaintext, stream);
    sendPrepared(stream);
}

void SimSession::startJob(std::function<void(std::atomic<bool>&)> job)
{
    stopJob();
    waitJob();
    jobStop_ = false;
    job_ = std::thread([this, job = std::move(job)] { job(jobStop_); });
}

void SimSession::stopJob()
{
    jobStop_ = true;
}

void SimSession::waitJob()
{
    if (job_.joinable() && job_.get_id() != std::this_thread::get_id())
        job_.join();
}

void SimSession::handleFrame(const std::string& text)
{
    box_.recordFrame(text);
    const FrameWords w = splitFrameWords(text);
    const auto snapshot = box_.faultsSnapshot();
    const SimFaults& faults = *snapshot;
    ++frameCount_;
    const bool closeNow = faults.closeAfterFrames >= 0 && frameCount_ > faults.closeAfterFrames;
    if (closeNow) {
        close();
        return;
    }
    if (faults.silentKeys.count(w.call))
        return;
    if (auto it = faults.statusOverride.find(w.call); it != faults.statusOverride.end()) {
        reply(it->second, w);
        return;
    }
    if (handleDiagnosticFrame(*this, w))
        return;
    if (box_.playback.handleFrame(*this, w))
        return;

    if (w.function == "read") {
        if (w.call == "Paralist") {
            std::string list = box_.paramListText();
            if (list != paramStream_.source || box_.faultsSnapshot()->maxSegment != paramStream_.maxSegment) {
                prepareStream("200read^10" + std::string(1, '\0') + "200read^60" + std::string(1, '\0') +
                                  "200read^Paralist^" + list + std::string(1, '\0'),
                              paramStream_);
                paramStream_.source = std::move(list);
            }
            sendPrepared(paramStream_);
            return;
        }
        if (w.call == "Channellist") {
            sendStream("200read^30" + std::string(1, '\0') + "200read^Channellist^" + box_.channelListText() +
                       std::string(1, '\0'));
            return;
        }
        if (box_.knownKey(w.call))
            reply(200, w, box_.value(w.call));
        else
            reply(401, w);
        return;
    }
    if (w.function == "write" && w.hasData && box_.knownKey(w.call)) {
        box_.setValue(w.call, w.data);
        reply(200, w);
        return;
    }
    if (w.function == "ioctl") {
        static const std::map<std::string, std::string> logWrites = {
            {"set_log_out_type", "LogOutPutType"}, {"set_log_level", "LogLevel"}, {"set_log_type", "LogType"}};
        if (auto it = logWrites.find(w.call); it != logWrites.end() && w.hasData) {
            box_.setValue(it->second, w.data);
            reply(200, w);
            return;
        }
        if (w.call == "reboot" || w.call == "restore_setting") {
            reply(200, w);
            return;
        }
    }
    reply(402, w);
}

} // namespace quillon::sim
