#pragma once

#include "BatchResults.h"
#include "BoxList.h"

#include <LinkTimeouts.h>

#include <atomic>
#include <functional>
#include <iosfwd>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace quillon::cli
{

// What every box of a batch runs, and how.
struct BatchSettings {
    std::string command;           // a command word of quillon-cli
    std::vector<std::string> args; // its arguments; {host}, {port} and {serial} are filled per box
    int jobs = 16;                 // boxes at a time
    std::string outputDir;         // each box's standard output in DIR/<host>.txt; empty: dropped
    LinkTimeouts timeouts;
    int imageFd = -1; // upgrade: the image, opened once for every box
    // Asked before each box starts; true stops starting boxes (the running ones finish).
    std::function<bool()> stopRequested;
};

struct BatchSummary {
    int ok = 0;
    int partial = 0;
    int failed = 0;
    int notStarted = 0; // left by a stop
};

// `text` with {host}, {port} and {serial} replaced.
std::string expandPlaceholders(const std::string& text, const std::string& host, int port, const std::string& serial);
bool hasPlaceholder(const std::string& text);

// Seconds a batch still needs. The boxes not started yet take the mean time of the finished ones,
// `jobs` at a time. A running box well past that mean is taken to be waiting out a time-out: it
// needs the rest of its reply limit (counted in `*slow`, when given).
double estimateSecondsLeft(const std::vector<double>& runningSeconds, size_t waiting, double meanSeconds, int jobs,
                           double replyLimit, int* slow = nullptr);

// Runs one command on many boxes, each with its own link, streams and files, `jobs` at a time:
// memory and descriptors grow with the jobs, not with the list.
class BatchRunner
{
public:
    explicit BatchRunner(BatchSettings settings);

    // Runs every box; `finished` is called for each box that was started, one call at a time,
    // as it ends. Progress (done, failed, running, time left) goes to `progress` about once a
    // second, and a line for each failed box.
    BatchSummary run(const std::vector<BoxEntry>& boxes, const std::function<void(const BoxResult&)>& finished,
                     std::ostream& progress);

    // One box from connect to result.
    BoxResult runBox(const BoxEntry& box);

private:
    bool claimFile(const std::string& path, const std::string& owner, std::string& holder);

    BatchSettings settings_;
    std::mutex claimsMutex_;
    std::map<std::string, std::string> claims_; // file argument -> the box that writes it
};

} // namespace quillon::cli
