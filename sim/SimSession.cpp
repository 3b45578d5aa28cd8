#include "SimSession.h"

#include "StbSimulator.h"

#include "SimCrypto.h"

#include <openssl/rand.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <random>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace quillon::sim
{

namespace
{

constexpr size_t kHandshakeSize = 50;
constexpr size_t kMaxPending = 8192; // anything longer without a frame end is garbage
constexpr size_t kMaxSegment = 1440; // the tool reads at most this much at a time
constexpr const char* kHello = "initialize^connection^null";

// `count` - 1 distinct offsets strictly inside 0..length, drawn from `random`, sorted.
std::vector<size_t> randomCuts(size_t length, int count, std::mt19937& random)
{
    std::vector<size_t> cuts;
    if (length < 2 || count < 2)
        return cuts;
    std::uniform_int_distribution<size_t> at(1, length - 1);
    for (int i = 1; i < count && cuts.size() < length - 1; ++i) {
        size_t c = at(random);
        while (std::find(cuts.begin(), cuts.end(), c) != cuts.end())
            c = c % (length - 1) + 1;
        cuts.push_back(c);
    }
    std::sort(cuts.begin(), cuts.end());
    return cuts;
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

void SimSession::waitLatency()
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
    const std::string expected = boxLoginField(box_.options().user, box_.options().password);
    const bool wellFormed = hello.compare(kBoxFieldSize, std::string::npos, kHello) == 0;
    std::string status = "200";
    if (!wellFormed)
        status = "402";
    else if (hello.compare(0, kBoxFieldSize, expected) != 0)
        status = "501";
    else if (!box_.claimClient(this))
        status = "404";

    std::string block(128, '\0');
    if (status == "200") {
        if (RAND_bytes(key_.data(), static_cast<int>(key_.size())) != 1)
            return false;
        block = box_.faults().wrongSessionKeyBlock ? std::string(128, '\x5A') : boxSealKey(key_.data(), key_.size());
        if (block.size() != 128)
            return false;
        box_.noteSessionKey(std::string(reinterpret_cast<const char*>(key_.data()), key_.size()));
    }
    const std::string answer = block + status + kHello + '\0';
    waitLatency();
    {
        std::lock_guard<std::mutex> guard(sendMutex_);
        sendReply(answer, answer);
    }
    if (status != "200") {
        if (status != "404")
            box_.releaseClient(this);
        return false;
    }
    return true;
}

void SimSession::serve()
{
    const std::string field = boxSessionField(key_.data());
    BoxCipher cipher(key_.data(), false);
    std::string pending;
    char buf[4096];
    for (;;) {
        // A frame ends where its padding does; frames that arrive together are taken apart.
        bool progressed = true;
        while (progressed && pending.size() >= 2 * kBoxBlock) {
            progressed = false;
            // One pass from the fixed vector: the first frame comes out right, and its end is the
            // first block boundary behind the 24-byte field (whose key bytes may look like padding)
            // that carries well-formed padding.
            cipher.restart();
            const std::string plain =
                cipher.update(std::string_view(pending).substr(0, pending.size() / kBoxBlock * kBoxBlock));
            for (size_t end = 2 * kBoxBlock; end <= plain.size(); end += kBoxBlock) {
                const size_t length = boxUnpaddedLength(std::string_view(plain).substr(0, end));
                if (length == std::string_view::npos)
                    continue;
                const std::string text = plain.substr(0, length);
                pending.erase(0, end);
                if (text.compare(0, kBoxFieldSize, field) != 0)
                    reply(501, splitFrameWords(text.substr(std::min(text.size(), kBoxFieldSize))));
                else
                    handleFrame(text.substr(kBoxFieldSize));
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

void SimSession::sendPieces(const std::string& cipher, const std::string& plain, std::vector<size_t> cuts, bool stream,
                            bool paced)
{
    const auto faults = box_.faultsSnapshot();
    std::sort(cuts.begin(), cuts.end());
    cuts.erase(std::unique(cuts.begin(), cuts.end()), cuts.end());
    cuts.erase(std::remove_if(cuts.begin(), cuts.end(), [&](size_t c) { return c == 0 || c >= cipher.size(); }),
               cuts.end());
    cuts.push_back(cipher.size());
    // A box that hangs in the middle of a stream: the bytes up to the offset go out, then nothing.
    if (stream && faults->streamSilentAfter >= 0 && static_cast<size_t>(faults->streamSilentAfter) < cipher.size()) {
        const auto stop = static_cast<size_t>(faults->streamSilentAfter);
        cuts.erase(std::remove_if(cuts.begin(), cuts.end(), [stop](size_t c) { return c > stop; }), cuts.end());
        if (cuts.empty() || cuts.back() != stop)
            cuts.push_back(stop);
    }
    size_t at = 0;
    for (size_t end : cuts) {
        if (at > 0 && paced && faults->pieceGap.count() > 0)
            std::this_thread::sleep_for(faults->pieceGap);
        if (faults->recordPieces)
            box_.recordPiece({stream, at, end, plain.substr(at, end - at)});
        if (!sendAllBytes(cipher.data() + at, end - at))
            return;
        at = end;
    }
}

void SimSession::sendFrame(const std::string& text)
{
    const std::string plain = boxPad(text + '\0');
    waitLatency();
    std::lock_guard<std::mutex> guard(sendMutex_);
    // One context for the session keeps its key schedule; every frame starts from the vector.
    if (!replyCipher_)
        replyCipher_ = std::make_unique<BoxCipher>(key_.data(), true);
    replyCipher_->restart();
    sendReply(replyCipher_->update(plain), plain);
}

void SimSession::sendReply(const std::string& bytes, const std::string& plain)
{
    const auto faults = box_.faultsSnapshot();
    std::vector<size_t> cuts = faults->replyCuts;
    if (faults->splitReplies)
        cuts.push_back(7);
    if (faults->replyPieces > 1) {
        std::mt19937 random(faults->cutSeed + ++piecesDrawn_);
        const auto drawn = randomCuts(bytes.size(), faults->replyPieces, random);
        cuts.insert(cuts.end(), drawn.begin(), drawn.end());
    }
    if (cuts.empty())
        sendAllBytes(bytes.data(), bytes.size());
    else
        sendPieces(bytes, plain, std::move(cuts), false, true);
}

void SimSession::reply(int status, const FrameWords& w, const std::string& value)
{
    char code[8];
    std::snprintf(code, sizeof code, "%03d", status);
    sendFrame(code + w.function + "^" + w.call + "^" + value);
}

void SimSession::prepareStream(const std::string& plaintext, PreparedStream& out)
{
    const auto faults = box_.faultsSnapshot();
    const std::string padded = boxPad(plaintext);
    const size_t maxSegment = std::clamp<size_t>(faults->maxSegment / kBoxBlock * kBoxBlock, kBoxBlock, kMaxSegment);
    out.maxSegment = faults->maxSegment;
    out.faults = faults;
    BoxCipher cipher(key_.data(), true);
    out.cipher = cipher.update(padded);
    out.plain = faults->recordPieces ? padded : std::string();
    out.cuts.clear();
    // Whole blocks up to the largest segment the tool reads at once.
    for (size_t at = maxSegment; at < padded.size(); at += maxSegment)
        out.cuts.push_back(at);
    out.cuts.insert(out.cuts.end(), faults->streamCuts.begin(), faults->streamCuts.end());
    if (faults->streamCutAfterSmallBytes) {
        for (size_t end = kBoxBlock; end < padded.size(); end += kBoxBlock) {
            const auto last = static_cast<uint8_t>(padded[end - 1]);
            if (last >= 1 && last <= kBoxBlock)
                out.cuts.push_back(end);
        }
    }
    if (faults->streamPieces > 1) {
        std::mt19937 random(faults->cutSeed);
        const auto drawn = randomCuts(padded.size(), faults->streamPieces, random);
        out.cuts.insert(out.cuts.end(), drawn.begin(), drawn.end());
    }
    // A rude network, or segments smaller than the tool reads: each piece is let go alone.
    out.paced = !faults->streamCuts.empty() || faults->streamCutAfterSmallBytes || faults->streamPieces > 1 ||
                maxSegment < kMaxSegment;
}

void SimSession::sendPrepared(const PreparedStream& stream)
{
    waitLatency();
    std::lock_guard<std::mutex> guard(sendMutex_);
    sendPieces(stream.cipher, stream.plain, stream.cuts, true, stream.paced);
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
    if (auto it = faults.replyDelay.find(w.call); it != faults.replyDelay.end())
        std::this_thread::sleep_for(it->second);
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
            if (list != paramStream_.source || box_.faultsSnapshot() != paramStream_.faults) {
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
        // Like a real box, it takes the static address only while on static IP, and a box that
        // leaves static IP takes its address from the DHCP server: a restore must send the
        // connection type before the address.
        const bool addressKey = w.call == "stbIP" || w.call == "gateway" || w.call == "netmask" || w.call == "dns";
        if (addressKey && box_.value("connecttype") != "3") {
            reply(401, w);
            return;
        }
        const bool leavesStatic = w.call == "connecttype" && box_.value("connecttype") == "3" && w.data != "3";
        box_.setValue(w.call, w.data);
        if (leavesStatic) {
            box_.setValue("stbIP", "10.66.0.23");
            box_.setValue("gateway", "10.66.0.1");
            box_.setValue("netmask", "255.255.0.0");
            box_.setValue("dns", "10.66.0.1");
        }
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
