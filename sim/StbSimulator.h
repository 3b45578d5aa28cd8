#pragma once

#include "SimPlayback.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace quillon::sim {

// Demo credentials of the simulated box.
constexpr const char* kDefaultUser = "admin";
constexpr const char* kDefaultPassword = "quillon";

struct SimOptions {
    std::string listenAddress = "127.0.0.1";
    int port = 9003;   // 0: an ephemeral port (tests)
    std::string user = kDefaultUser;
    std::string password = kDefaultPassword;
    int channels = 24; // entries of the generated channel list
    std::string stateFile; // values kept across restarts when set
    size_t paramListBytes = 0; // pad the parameter list to at least this size (benchmarks)
    std::chrono::milliseconds linePace{1000}; // pace of ping and trace route lines
    bool quiet = true; // no console output
    bool gbkValues = false; // a Chinese product name and user account, held as GBK bytes (kGbk...)
    bool android = false; // an Android box: other HD modes, export through a configuration read, .zip images
    std::chrono::milliseconds replyLatency{0}; // every reply waits this long, as over a real network
    size_t keptImageBytes = 1 << 20; // firmware image bytes kept for tests (SimUpgradeRecord::image)
    int logRate = 0;            // live-log lines a second while the live log is on (0: none)
    uint16_t logPort = 514;     // UDP port the live log goes to
};

// The values a box of the Chinese market holds in GBK, for --gbk-values: the product name
// "QB-5000 高清机顶盒" (STB_model) and the user account "用户一二三四五六七八九" (ntvuseraccount).
constexpr const char* kGbkModel = "QB-5000 \xB8\xDF\xC7\xE5\xBB\xFA\xB6\xA5\xBA\xD0";
constexpr const char* kGbkUserAccount = "\xD3\xC3\xBB\xA7\xD2\xBB\xB6\xFE\xC8\xFD\xCB\xC4\xCE\xE5"
                                        "\xC1\xF9\xC6\xDF\xB0\xCB\xBE\xC5";

// Ways to misbehave, for tests.
struct SimFaults {
    std::set<std::string> silentKeys;           // never answer a frame with this call word
    std::map<std::string, int> statusOverride;  // answer this call word with this status
    std::map<std::string, std::chrono::milliseconds> replyDelay; // answer this call word this late
    int closeAfterFrames = -1;                  // drop the connection after this many frames
    bool splitReplies = false;                  // send every reply in two TCP writes
    size_t maxSegment = 1440;                   // largest bulk segment
    bool wrongSessionKeyBlock = false;          // send an RSA block that does not open
    int pingDropAfterLines = -1;                // drop the link after this many ping lines
    bool pingPastDuration = false;              // ping lines go on after the duration until a stop
    int pcapUnrecognised = 0;                   // messages the tool does not know, before the capture reports
    bool upgradeStopAnswering = false;          // one progress report after the image, then silence
    long long upgradeCloseImageAfter = -1;      // close the image connection after this many bytes
    long long upgradeStopReadingAfter = -1;     // stop reading the image (no close, no report) after this many bytes
    int upgradeStrayStatus = 0;                 // a report with this status before the progress reports
    bool upgradeDropLink = false;               // drop the link once the image is in
    bool silent = false;                        // accept connections but never answer, not even the greeting
    long long streamSilentAfter = -1;           // a bulk stream stops after this many bytes; the link stays open

    // The network cuts the box's TCP stream wherever it likes. Each reply is sent in pieces that
    // end at these offsets of its ciphertext (offsets past its end are ignored)...
    std::vector<size_t> replyCuts;
    // ...or, when more than 1, in this many pieces cut at offsets drawn from cutSeed.
    int replyPieces = 0;
    unsigned cutSeed = 1;
    // Bulk streams: segments also end at these offsets of the stream's ciphertext (any offset,
    // inside a block or a padding run too)...
    std::vector<size_t> streamCuts;
    // ...behind every block whose last plaintext byte is from 1 to 16 (a line feed, a byte that
    // looks like padding)...
    bool streamCutAfterSmallBytes = false;
    // ...and at this many offsets drawn from cutSeed.
    int streamPieces = 0;
    std::chrono::milliseconds pieceGap{10}; // pause between the pieces, so that each is read alone
    bool recordPieces = false;              // keep every piece sent (StbSimulator::sentPieces)
};

// One piece of a reply or bulk stream as the box wrote it to the socket.
struct SimPiece {
    bool stream = false; // part of a bulk stream (else of a reply frame)
    size_t begin = 0;    // offsets in the ciphertext of its frame or stream
    size_t end = 0;
    std::string plain;   // the padded plaintext at those offsets
};

// What the box made of the last firmware image pushed to it.
struct SimUpgradeRecord {
    static constexpr size_t kKeptBytes = 1 << 20; // image bytes kept by default; the rest is counted
    long long announced = -1; // length from set_upgradelength
    bool forced = false;
    long long received = 0;   // bytes that arrived on the image connection
    std::string image;        // the first kKeptBytes of them
    int verdict = 0;          // 302 written, 300 same version, 303 not a valid image
};

class SimLiveLog;
class SimSession;

// A simulated set-top box: a TCP server that speaks the link protocol as the box does.
class StbSimulator {
public:
    explicit StbSimulator(SimOptions options = {});
    ~StbSimulator();
    StbSimulator(const StbSimulator&) = delete;
    StbSimulator& operator=(const StbSimulator&) = delete;

    // Binds and starts accepting; false with a reason on failure.
    bool start(std::string* error = nullptr);
    void stop();
    int port() const { return port_; }
    const SimOptions& options() const { return options_; }

    void setFaults(const SimFaults& faults);
    SimFaults faults() const;
    // The same without a copy, for every frame.
    std::shared_ptr<const SimFaults> faultsSnapshot() const;

    // The box's values by key (information, configuration and log keys).
    std::string value(const std::string& key) const; // localTime is the box clock now
    bool knownKey(const std::string& key) const;
    void setValue(const std::string& key, const std::string& value);
    // The parameter list and the channel list as the box sends them.
    std::string paramListText() const;
    std::string channelListText() const;
    void setChannelListText(const std::string& text);

    // Every frame received after the handshake: the text behind the 24-byte field, exactly as
    // it arrived (a terminating zero byte included when the tool sent one).
    std::vector<std::string> frames() const;
    void clearFrames();
    // The last session key handed out (for tests that check the field of each frame).
    std::string sessionKey() const;
    // The pieces sent while SimFaults::recordPieces is set.
    std::vector<SimPiece> sentPieces() const;
    void clearPieces();
    // Closes the current client connection at once (a box that went away).
    void dropClient();
    int clientCount() const;

    SimUpgradeRecord upgradeRecord() const
    {
        std::lock_guard<std::mutex> guard(mutex_);
        return upgrade_;
    }
    template <typename F>
    void updateUpgrade(F change)
    {
        std::lock_guard<std::mutex> guard(mutex_);
        change(upgrade_);
    }

    // What the box plays (playback and trick-play frames).
    SimPlayback playback;

    // Used by the session threads.
    void recordFrame(const std::string& text);
    void recordPiece(SimPiece piece);
    void noteSessionKey(const std::string& key);
    bool claimClient(SimSession* session);
    void releaseClient(SimSession* session);
    void saveState() const;

private:
    void acceptLoop();
    void loadState();
    void reapSessions(bool all);

    SimOptions options_;
    int listenFd_ = -1;
    int port_ = 0;
    std::atomic<bool> running_{false};
    std::thread acceptThread_;

    mutable std::mutex cacheMutex_; // the parameter list, built once per change
    mutable std::string paramCache_;
    mutable bool paramCacheValid_ = false;

    mutable std::mutex mutex_;
    std::shared_ptr<const SimFaults> faults_ = std::make_shared<SimFaults>();
    std::map<std::string, std::string> values_;
    std::string channelList_;
    std::vector<std::string> frames_;
    std::vector<SimPiece> pieces_;
    std::string sessionKey_;
    SimSession* active_ = nullptr;
    std::vector<std::unique_ptr<SimSession>> sessions_;
    SimUpgradeRecord upgrade_;
    std::unique_ptr<SimLiveLog> liveLog_;
};

// The private half of the simulated box family's key (PEM).
extern const char* const kSimBoxPrivateKeyPem;

} // namespace quillon::sim
