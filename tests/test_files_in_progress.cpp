// Output files while their run is still going, and after it was killed: the live-log files
// and the batch results file hold every whole row up to that moment, so that a user watching
// them, or resuming after a crash, sees what happened. Also the live view after its pending
// limit was reached once.
#include "LiveLogSupport.h"

#include <BatchResults.h>
#include <LiveLogReceiver.h>
#include <LogFilter.h>
#include <SimFleet.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <thread>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

using namespace quillon;
using namespace quillon::test;
namespace fs = std::filesystem;

namespace
{

class TempDir
{
public:
    TempDir()
    {
        char pattern[] = "/tmp/quillon-progress-XXXXXX";
        path = ::mkdtemp(pattern);
    }
    ~TempDir() { fs::remove_all(path); }
    std::string file(const std::string& name) const { return path + "/" + name; }
    std::string path;
};

LiveLogReceiver::Options loopback()
{
    LiveLogReceiver::Options o;
    o.port = 0;
    o.bindAddress = "127.0.0.1";
    return o;
}

// A fleet of `boxes` on free ports, one address each from `firstAddress` on.
sim::FleetOptions fleetOptions(int boxes, const char* firstAddress)
{
    sim::FleetOptions o;
    o.boxes = boxes;
    o.port = 0;
    o.firstAddress = firstAddress;
    return o;
}

// The fleet's boxes as a box list ("host,port" rows) at `path`.
void writeBoxList(const sim::SimFleet& fleet, const std::string& path)
{
    std::string list = "host,port\n";
    for (size_t i = 0; i < fleet.size(); ++i)
        list += fleet.address(i) + "," + std::to_string(fleet.port(i)) + "\n";
    std::ofstream(path) << list;
}

// Spawns `args` with standard output and error to files; the pid.
pid_t spawn(std::vector<std::string> args, const std::string& outPath, const std::string& errPath)
{
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    pid_t pid = -1;
    if (::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

void killAndReap(pid_t pid)
{
    ::kill(pid, SIGKILL);
    int status = 0;
    ::waitpid(pid, &status, 0);
}

} // namespace

// Faults caught: rows kept in a buffer until the receiver stops (the files stay empty while a
// user watches them), a row written in pieces, a filtered row missing until the end.
TEST(FilesInProgress, LiveLogFilesHoldEveryRowWhileReceiving)
{
    TempDir dir;
    LiveLogReceiver receiver;
    ASSERT_TRUE(receiver.openLiveFile(dir.file("live.log")));
    ASSERT_TRUE(receiver.openFilteredFile(dir.file("filtered.log")));
    receiver.setFilter(LogFilter({"DRM"}), 1);
    std::string error;
    ASSERT_TRUE(receiver.start(loopback(), &error)) << error;
    UdpSender sender(receiver.port());
    std::string live, filtered;
    for (int i = 1; i <= 5; ++i) {
        const std::string row = "row " + std::to_string(i) + (i % 2 ? " drm key" : " plain");
        ASSERT_TRUE(sender.send(row + "\n"));
        live += row + "\r\n";
        if (i % 2)
            filtered += row + "\r\n";
        // Each row is in both files before the next is sent, the receiver still running.
        EXPECT_TRUE(waitUntil([&] { return readWholeFile(dir.file("live.log")) == live; }))
            << readWholeFile(dir.file("live.log"));
        EXPECT_EQ(readWholeFile(dir.file("filtered.log")), filtered);
    }
    EXPECT_TRUE(receiver.running());
    receiver.stop();
    EXPECT_EQ(readWholeFile(dir.file("live.log")), live);
    EXPECT_EQ(readWholeFile(dir.file("filtered.log")), filtered);
}

// A viewer that stopped taking rows lets the queue fill to its limit; the rows beyond it are
// counted, not shown, and the files still get them. Once the viewer takes again, every new row
// is queued again. Faults caught: the queue's byte count not reset on taking (the view stays
// empty for the rest of the run), rows beyond the limit missing from the file, rows shown out
// of order after the recovery.
TEST(FilesInProgress, TheLiveViewRecoversAfterItsPendingLimit)
{
    TempDir dir;
    LiveLogReceiver receiver;
    ASSERT_TRUE(receiver.openLiveFile(dir.file("live.log")));
    LiveLogReceiver::Options o = loopback();
    o.pendingByteLimit = 100; // three rows of 30 bytes
    std::string error;
    ASSERT_TRUE(receiver.start(o, &error)) << error;
    UdpSender sender(receiver.port());
    auto row = [](int i) {
        std::string r = "row " + std::to_string(100 + i);
        return r + std::string(29 - r.size(), '.') + "\n";
    };
    for (int i = 0; i < 10; ++i)
        ASSERT_TRUE(sender.send(row(i)));
    ASSERT_TRUE(waitUntil([&] { return receiver.stats().received == 10; }));
    std::vector<LiveLogRow> shown;
    receiver.takeRows(shown);
    ASSERT_EQ(shown.size(), 3u);
    EXPECT_EQ(shown[0].text, row(0));
    EXPECT_EQ(shown[2].text, row(2));
    EXPECT_EQ(receiver.stats().notShown, 7u);

    // Twice over: the limit is reached again and recovered from again.
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        shown.clear();
        const int first = 10 + round * 3;
        for (int i = first; i < first + 3; ++i)
            ASSERT_TRUE(sender.send(row(i)));
        ASSERT_TRUE(waitUntil([&] {
            receiver.takeRows(shown, std::chrono::milliseconds(20));
            return shown.size() >= 3;
        }));
        ASSERT_EQ(shown.size(), 3u);
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(shown[size_t(i)].text, row(first + i));
        EXPECT_EQ(receiver.stats().notShown, 7u);
    }
    receiver.stop();
    std::string file;
    for (int i = 0; i < 16; ++i)
        file += row(i).substr(0, 29) + "\r\n";
    EXPECT_EQ(readWholeFile(dir.file("live.log")), file);
}

#ifdef QUILLON_CLI
// `quillon-cli livelog` killed (no chance to clean up): both files keep every row it took.
TEST(FilesInProgress, AKilledLiveLogRunLeavesItsFiles)
{
    TempDir dir;
    const uint16_t port = freeUdpPort();
    const pid_t pid = spawn({QUILLON_CLI, "livelog", "--port", std::to_string(port), "--bind", "127.0.0.1", "--out",
                             dir.file("live.log"), "--filtered-out", dir.file("filtered.log"), "--filter", "error"},
                            dir.file("out.txt"), dir.file("err.txt"));
    ASSERT_GT(pid, 0);
    ASSERT_TRUE(waitUntil([&] { return readWholeFile(dir.file("err.txt")).find("UDP port") != std::string::npos; }))
        << readWholeFile(dir.file("err.txt"));
    UdpSender sender(port);
    ASSERT_TRUE(sender.send("first line\n"));
    ASSERT_TRUE(sender.send("an ERROR here\n"));
    ASSERT_TRUE(sender.send("last line\n"));
    const std::string live = "first line\r\nan ERROR here\r\nlast line\r\n";
    const bool arrived = waitUntil([&] { return readWholeFile(dir.file("live.log")) == live; });
    killAndReap(pid);
    EXPECT_TRUE(arrived);
    EXPECT_EQ(readWholeFile(dir.file("live.log")), live);
    EXPECT_EQ(readWholeFile(dir.file("filtered.log")), "an ERROR here\r\n");
}

// `quillon-cli batch` killed midway: the results file holds its title and one whole row per
// box finished so far, it reads back, and a rerun that resumes from it contacts only the boxes
// that have no row. Faults caught: results kept in memory until the end (a killed run leaves
// nothing), a row cut in the middle, a title written only at the end.
TEST(FilesInProgress, AKilledBatchLeavesReadableResultsToResumeFrom)
{
    TempDir dir;
    sim::FleetOptions o = fleetOptions(12, "127.0.10.1");
    o.box.channels = 2;
    o.box.replyLatency = std::chrono::milliseconds(60);
    sim::SimFleet fleet(o);
    std::string error;
    ASSERT_TRUE(fleet.start(&error)) << error;
    writeBoxList(fleet, dir.file("boxes.csv"));
    const std::string results = dir.file("results.csv");
    const std::vector<std::string> args = {
        QUILLON_CLI, "--user",    "admin", "--password",          "quillon", "batch", "--jobs",
        "1",         "--results", results, dir.file("boxes.csv"), "info"};
    const pid_t pid = spawn(args, dir.file("out.txt"), dir.file("err.txt"));
    ASSERT_GT(pid, 0);
    auto lines = [&] {
        const std::string text = readWholeFile(results);
        return std::count(text.begin(), text.end(), '\n');
    };
    // The title at once, then a row per finished box while the run goes on.
    EXPECT_TRUE(waitUntil([&] { return lines() >= 1; }));
    EXPECT_EQ(readWholeFile(results).rfind(cli::resultsTitleRow(), 0), 0u);
    const bool someDone = waitUntil([&] { return lines() >= 4; }, std::chrono::seconds(30));
    killAndReap(pid);
    ASSERT_TRUE(someDone) << readWholeFile(dir.file("err.txt"));

    const std::string text = readWholeFile(results);
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(text.back(), '\n'); // no row cut short
    cli::ResultsByBox rows;
    ASSERT_TRUE(cli::readResults(results, rows, error)) << error;
    ASSERT_GE(rows.size(), 3u);
    ASSERT_LT(rows.size(), fleet.size()) << "the run finished before it was killed";
    for (const auto& [box, row] : rows)
        EXPECT_EQ(row.status, "ok") << box.first;

    // Resuming: the boxes with a row are not contacted again, every other box is. The box that
    // was in the middle of its session keeps it until it next reads from the dead link (after its
    // reply delay) and refuses a second session until then, as a real box does.
    std::this_thread::sleep_for(std::chrono::seconds(1));
    for (size_t i = 0; i < fleet.size(); ++i)
        fleet.box(i).clearFrames();
    std::vector<std::string> again = args;
    again.insert(again.end() - 2, {"--resume", results});
    again[9] = dir.file("results2.csv");
    const pid_t rerun = spawn(again, dir.file("out2.txt"), dir.file("err2.txt"));
    ASSERT_GT(rerun, 0);
    int status = 0;
    ASSERT_EQ(::waitpid(rerun, &status, 0), rerun);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << readWholeFile(dir.file("err2.txt"));
    for (size_t i = 0; i < fleet.size(); ++i) {
        const bool hadRow = rows.count({fleet.address(i), fleet.port(i)}) != 0;
        EXPECT_EQ(fleet.box(i).frames().empty(), hadRow) << fleet.address(i);
    }
}

// A resumed run writes the rows it carries over at once: killed before any box of its own has
// finished, its results file still holds them. Fault caught: the carried rows kept in a buffer
// while the file they came from has already been replaced, so that a kill loses them.
TEST(FilesInProgress, AResumedRunKilledEarlyKeepsTheRowsItCarriedOver)
{
    TempDir dir;
    sim::SimFleet fleet(fleetOptions(3, "127.0.11.1"));
    std::string error;
    ASSERT_TRUE(fleet.start(&error)) << error;
    sim::SimFaults silent;
    silent.silent = true; // takes the connection and never answers: the box never finishes
    fleet.box(2).setFaults(silent);
    writeBoxList(fleet, dir.file("boxes.csv"));
    const std::string results = dir.file("results.csv");
    {
        std::ofstream earlier(results, std::ios::binary);
        earlier << cli::resultsTitleRow();
        for (size_t i = 0; i < 2; ++i) {
            cli::BoxResult done;
            done.host = fleet.address(i);
            done.port = fleet.port(i);
            done.status = "ok";
            earlier << cli::resultRow(done);
        }
    }
    const std::vector<std::string> args = {
        QUILLON_CLI, "--user",    "admin", "--password",          "quillon", "batch", "--timeout", "60", "--resume",
        results,     "--results", results, dir.file("boxes.csv"), "info"};
    const pid_t pid = spawn(args, dir.file("out.txt"), dir.file("err.txt"));
    ASSERT_GT(pid, 0);
    // The run has replaced the file and gone on to the silent box once it says what it skipped.
    const bool started =
        waitUntil([&] { return readWholeFile(dir.file("err.txt")).find("already ok") != std::string::npos; });
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    killAndReap(pid);
    ASSERT_TRUE(started) << readWholeFile(dir.file("err.txt"));
    cli::ResultsByBox rows;
    ASSERT_TRUE(cli::readResults(results, rows, error)) << error << ": \"" << readWholeFile(results) << "\"";
    ASSERT_EQ(rows.size(), 2u);
    for (size_t i = 0; i < 2; ++i)
        EXPECT_EQ(rows.at({fleet.address(i), fleet.port(i)}).status, "ok") << i;
}
#endif
