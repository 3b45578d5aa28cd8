#pragma once

#include "LogFilter.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace quillon
{

// One datagram of the box's live log as the viewer gets it.
struct LiveLogRow {
    std::string text;     // the bytes as received, zero bytes turned into line feeds
    bool matched = false; // against the filter of `generation`
    uint64_t generation = 0;
};

struct LiveLogStats {
    uint64_t received = 0;      // datagrams taken
    uint64_t bytes = 0;         // their bytes
    uint64_t oversized = 0;     // longer than kMaxDatagram, dropped
    uint64_t kernelDropped = 0; // dropped by the kernel for a full receive buffer (as last reported)
    uint64_t notShown = 0;      // rows the viewer did not take in time (the files have them)
};

// The live-log receiver: a UDP socket on port 514 of every local IPv4 address and the thread
// that owns it. Datagrams are taken in batches without pause, written to the two output files
// as they arrive, and queued in arrival order for whoever shows them (the window's timer or
// the command line), who takes them in batches too. Nothing is ever sent back.
class LiveLogReceiver
{
public:
    static constexpr uint16_t kDefaultPort = 514;
    static constexpr size_t kMaxDatagram = 1024;
    static constexpr int kAskedReceiveBuffer = 31457280; // 30 MiB

    struct Options {
        uint16_t port = kDefaultPort; // 0: a free port (tests)
        std::string bindAddress;      // empty: every local IPv4 address
        int receiveBuffer = kAskedReceiveBuffer;
        // Rows waiting for the viewer beyond this many bytes are not queued (only counted), so
        // a viewer that stops taking them cannot exhaust the memory.
        size_t pendingByteLimit = size_t(64) << 20;
    };

    LiveLogReceiver() = default;
    ~LiveLogReceiver();
    LiveLogReceiver(const LiveLogReceiver&) = delete;
    LiveLogReceiver& operator=(const LiveLogReceiver&) = delete;

    // The output files, opened for writing; an empty path opens none. False with errno when the
    // file could not be opened. Call before start, which empties them once the socket is bound
    // (a start that fails leaves them as they were); stop closes them.
    bool openLiveFile(const std::string& path);
    bool openFilteredFile(const std::string& path);

    // Creates and binds the socket and starts the thread. False, with the system's reason in
    // `error` ("bind UDP port 514: Permission denied"), when the socket cannot be had.
    bool start(const Options& options, std::string* error = nullptr);
    // Ends the thread (also when it is blocked in a receive), joins it, closes the socket and
    // the files. Does nothing when not started.
    void stop();
    bool running() const { return thread_.joinable(); }

    uint16_t port() const { return port_; }
    int receiveBufferObtained() const { return receiveBuffer_; }

    // The filter the filtered file follows from the next datagram on; rows carry `generation`.
    void setFilter(const LogFilter& filter, uint64_t generation);

    // Appends the rows received since the last call to `rows`, oldest first; waits up to
    // `wait` for the first one when none is queued. The count appended.
    size_t takeRows(std::vector<LiveLogRow>& rows, std::chrono::milliseconds wait = std::chrono::milliseconds(0));

    LiveLogStats stats() const;

    // The datagram handling, without a socket (tests, fuzzing): zero bytes to line feeds.
    static void zeroBytesToLineFeeds(std::string& text);
    // Text as a C runtime's text-mode stream stores it: every lone line feed as CR LF.
    static void appendFileText(std::string& out, const std::string& text);

private:
    struct FileCloser {
        void operator()(FILE* f) const { std::fclose(f); }
    };
    using File = std::unique_ptr<FILE, FileCloser>;
    struct Batch;

    void run();
    void stopThread(); // the files stay open
    void handleBatch(Batch& batch, int count);
    bool openOutput(File& file, const std::string& path);
    static void emptyOutput(File& file);

    int socket_ = -1;
    int wake_ = -1; // eventfd that ends the thread's wait
    std::atomic<bool> stopping_{false};
    uint16_t port_ = 0;
    int receiveBuffer_ = 0;
    size_t pendingByteLimit_ = 0;
    std::thread thread_;
    File liveFile_;
    File filteredFile_;

    mutable std::mutex filterMutex_;
    std::shared_ptr<const LogFilter> filter_ = std::make_shared<LogFilter>();
    uint64_t generation_ = 0;

    mutable std::mutex rowsMutex_;
    std::condition_variable rowsArrived_;
    std::vector<LiveLogRow> rows_;
    size_t pendingBytes_ = 0;

    std::atomic<uint64_t> received_{0};
    std::atomic<uint64_t> bytes_{0};
    std::atomic<uint64_t> oversized_{0};
    std::atomic<uint64_t> kernelDropped_{0};
    std::atomic<uint64_t> notShown_{0};
};

} // namespace quillon
