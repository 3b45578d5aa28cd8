#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace quillon::sim {

class BoxCipher;
class StbSimulator;
struct SimFaults;

// The words of one request frame: function^call^parameter[^data].
struct FrameWords {
    std::string function;
    std::string call;
    std::string parameter;
    std::string data;
    bool hasData = false;
};
FrameWords splitFrameWords(const std::string& text);

// One client connection of the simulated box.
class SimSession {
public:
    SimSession(StbSimulator& box, int fd);
    ~SimSession();
    SimSession(const SimSession&) = delete;
    SimSession& operator=(const SimSession&) = delete;

    void start();
    // Shuts the connection down; the session thread then ends.
    void close();
    bool finished() const { return finished_; }

    StbSimulator& box() { return box_; }
    const std::string& peerAddress() const { return peer_; }

    // One reply frame: the text with its zero byte, padded and encrypted from the fixed vector,
    // sent in one write (in pieces with the cut faults). Safe from any thread of the session.
    void sendFrame(const std::string& text);
    // The reply "STATUS" + function + "^" + call + "^" + value.
    void reply(int status, const FrameWords& w, const std::string& value = std::string());
    // A bulk stream: records chained in one CBC stream, cut into segments as the tool reads them.
    void sendStream(const std::string& plaintext);

    // A stream encrypted and cut once, sent as often as asked while its source is unchanged (a box
    // keeps its prepared list; benchmarks then measure the tool, not the preparation).
    struct PreparedStream {
        std::string source;     // what the plaintext was built from
        size_t maxSegment = 0;
        std::string cipher;
        std::vector<size_t> cuts; // segment ends
        std::string plain;        // the padded plaintext, kept when the pieces are recorded
        bool paced = false;       // a pause between the segments
        std::shared_ptr<const SimFaults> faults; // the faults it was cut for
    };

    // A long-running job (ping, trace route) beside the frame reader; `stop` is raised by a
    // stop frame or when the connection ends. One job at a time.
    void startJob(std::function<void(std::atomic<bool>& stop)> job);
    void stopJob();
    void waitJob();

private:
    void run();
    bool handshake();
    void serve();
    void handleFrame(const std::string& text);
    bool sendAllBytes(const char* data, size_t length);
    void waitLatency(); // the network latency the options ask for, before a reply
    // Sends `cipher` in pieces ending at `cuts` (unsorted, out-of-range ones ignored).
    // One reply (a frame, or the clear answer to the handshake), cut as the faults ask.
    void sendReply(const std::string& bytes, const std::string& plain);
    void sendPieces(const std::string& cipher, const std::string& plain, std::vector<size_t> cuts, bool stream,
                    bool paced);

    StbSimulator& box_;
    int fd_;
    std::string peer_;
    std::thread thread_;
    std::atomic<bool> finished_{false};
    std::array<uint8_t, 16> key_{};
    std::mutex sendMutex_;
    std::thread job_;
    std::atomic<bool> jobStop_{false};
    int frameCount_ = 0;
    unsigned piecesDrawn_ = 0; // replies cut at random so far
    std::unique_ptr<BoxCipher> replyCipher_; // under sendMutex_
    void prepareStream(const std::string& plaintext, PreparedStream& out);
    void sendPrepared(const PreparedStream& stream);
    PreparedStream paramStream_;
};

// Frames of the diagnostics (ping, trace route, capture, upgrade); true when handled.
bool handleDiagnosticFrame(SimSession& session, const FrameWords& words);

} // namespace quillon::sim
