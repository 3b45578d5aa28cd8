// The live-log receiver on a free loopback port, the viewer's row store and filter, the
// simulated box's live log, and `quillon-cli livelog` run as a program.
#include "LiveLogSupport.h"

#include <LiveLogReceiver.h>
#include <LogFilter.h>
#include <LogRows.h>
#include <SimLiveLog.h>
#include <StbSimulator.h>

#include <gtest/gtest.h>

#include <atomic>
#include <clocale>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

using namespace quillon;
using namespace quillon::test;

namespace
{

class TempDir
{
public:
    TempDir()
    {
        char pattern[] = "/tmp/quillon-livelog-XXXXXX";
        path = ::mkdtemp(pattern);
    }
    ~TempDir() { std::filesystem::remove_all(path); }
    std::string file(const char* name) const { return path + "/" + name; }
    std::string path;
};

LiveLogReceiver::Options loopbackOptions()
{
    LiveLogReceiver::Options o;
    o.port = 0;
    o.bindAddress = "127.0.0.1";
    return o;
}

std::vector<LiveLogRow> takeAtLeast(LiveLogReceiver& receiver, size_t count)
{
    std::vector<LiveLogRow> rows;
    waitUntil([&] {
        receiver.takeRows(rows, std::chrono::milliseconds(20));
        return rows.size() >= count;
    });
    return rows;
}

} // namespace

// Faults caught: zero bytes kept (C strings cut there), bare line feeds in the files, rows out
// of arrival order, the filtered file ignoring the filter or taking rows that do not match.
TEST(LiveLogReceiver, ZeroBytesBecomeLineBreaksAndCrLfInBothFiles)
{
    TempDir dir;
    // Files of an earlier run are replaced once the receiver starts.
    std::ofstream(dir.file("live.log")) << "an earlier run\n";
    std::ofstream(dir.file("filtered.log")) << "an earlier error\n";
    LiveLogReceiver receiver;
    ASSERT_TRUE(receiver.openLiveFile(dir.file("live.log")));
    ASSERT_TRUE(receiver.openFilteredFile(dir.file("filtered.log")));
    receiver.setFilter(LogFilter({"error"}), 7);
    std::string error;
    ASSERT_TRUE(receiver.start(loopbackOptions(), &error)) << error;
    ASSERT_NE(receiver.port(), 0);
    EXPECT_GT(receiver.receiveBufferObtained(), 0);

    UdpSender sender(receiver.port());
    ASSERT_TRUE(sender.send(std::string("first\0second\n", 13)));
    ASSERT_TRUE(sender.send("an Error here\n"));
    ASSERT_TRUE(sender.send("already\r\nCR LF"));
    const auto rows = takeAtLeast(receiver, 3);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].text, "first\nsecond\n");
    EXPECT_FALSE(rows[0].matched);
    EXPECT_EQ(rows[1].text, "an Error here\n");
    EXPECT_TRUE(rows[1].matched);
    EXPECT_EQ(rows[1].generation, 7u);
    receiver.stop();

    EXPECT_EQ(readWholeFile(dir.file("live.log")), "first\r\nsecond\r\nan Error here\r\nalready\r\nCR LF");
    EXPECT_EQ(readWholeFile(dir.file("filtered.log")), "an Error here\r\n");
    const LiveLogStats s = receiver.stats();
    EXPECT_EQ(s.received, 3u);
    EXPECT_EQ(s.bytes, 13u + 14u + 14u);
    EXPECT_EQ(s.kernelDropped, 0u);
}

// Faults caught: a 1024-byte datagram cut by one byte for a terminator, a longer one shown cut
// instead of dropped, the drop not counted.
TEST(LiveLogReceiver, TakesDatagramsOf1024BytesWholeAndDropsLongerOnes)
{
    LiveLogReceiver receiver;
    ASSERT_TRUE(receiver.start(loopbackOptions()));
    UdpSender sender(receiver.port());
    const std::string full(1024, 'x');
    ASSERT_TRUE(sender.send(std::string(1025, 'y')));
    ASSERT_TRUE(sender.send(full));
    ASSERT_TRUE(sender.send("after"));
    const auto rows = takeAtLeast(receiver, 2);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].text, full);
    EXPECT_EQ(rows[1].text, "after");
    EXPECT_EQ(receiver.stats().oversized, 1u);
}

// Faults caught: a bind failure reported as success, without the system's reason, or leaving
// a socket behind; stop hanging while the thread is busy receiving.
TEST(LiveLogReceiver, BindFailureGivesTheReasonAndStopJoinsWhileReceiving)
{
    auto holder = std::make_unique<HeldUdpPort>();
    ASSERT_NE(holder->port(), 0);
    LiveLogReceiver::Options taken = loopbackOptions();
    taken.port = holder->port();
    LiveLogReceiver refused;
    std::string error;
    EXPECT_FALSE(refused.start(taken, &error));
    EXPECT_NE(error.find("Address already in use"), std::string::npos) << error;
    EXPECT_NE(error.find(std::to_string(taken.port)), std::string::npos) << error;
    EXPECT_FALSE(refused.running());
    holder.reset();
    LiveLogReceiver::Options named = loopbackOptions();
    named.bindAddress = "box.local";
    EXPECT_FALSE(refused.start(named, &error));
    EXPECT_EQ(error, "not an IPv4 address: box.local");
    EXPECT_FALSE(refused.running());

    LiveLogReceiver receiver;
    ASSERT_TRUE(receiver.start(loopbackOptions()));
    std::atomic<bool> sending{true};
    std::thread sender([&, port = receiver.port()] {
        UdpSender out(port);
        while (sending)
            out.send("busy line\n");
    });
    ASSERT_TRUE(waitUntil([&] { return receiver.stats().received > 100; }));
    const auto started = std::chrono::steady_clock::now();
    receiver.stop();
    EXPECT_FALSE(receiver.running());
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(2));
    sending = false;
    sender.join();
    // Started again on the same object after a stop.
    ASSERT_TRUE(receiver.start(loopbackOptions()));
    receiver.stop();
}

// The receiving rule: the 50 002nd datagram finds 50 001 rows, empties the viewer and becomes
// its only row. Faults caught: clearing at 50 000 or after adding, losing the new row.
TEST(LogRows, FiftyThousandRowRule)
{
    LogRows rows;
    for (int i = 1; i <= 50001; ++i)
        EXPECT_FALSE(rows.appendLive("row " + std::to_string(i)));
    EXPECT_EQ(rows.size(), 50001u);
    EXPECT_TRUE(rows.appendLive("row 50002"));
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows.row(0), "row 50002");
    EXPECT_FALSE(rows.appendLive("row 50003"));
    EXPECT_EQ(rows.row(1), "row 50003");
}

// Faults caught: case kept in the custom word, a two-word custom text split into two keywords,
// an empty filter matching everything, a non-ASCII custom word not upper-cased.
TEST(LogFilter, CaseAndWordEdgeCases)
{
    const LogFilter none;
    EXPECT_FALSE(none.matches("ERROR everywhere"));
    EXPECT_FALSE(none.matches(""));

    const LogFilter usb({"usb"});
    EXPECT_TRUE(usb.matches("USB disk"));
    EXPECT_TRUE(usb.matches("a Usb stick"));
    EXPECT_TRUE(usb.matches("usb"));
    EXPECT_FALSE(usb.matches("us b"));

    const LogFilter twoWords({"play start"});
    EXPECT_TRUE(twoWords.matches("channel PLAY START ok"));
    EXPECT_FALSE(twoWords.matches("play  start"));
    EXPECT_FALSE(twoWords.matches("start play"));

    const LogFilter boxes({kLogKeywords[8], kLogKeywords[3]}); // chkError, chkBuffer
    EXPECT_TRUE(boxes.matches("underrun in buffer"));
    EXPECT_TRUE(boxes.matches("Error 5"));
    EXPECT_FALSE(boxes.matches("all fine"));
    EXPECT_EQ(boxes.describe(), "ERROR,BUFFER");

    const LogFilter chinese({"\xE9\x94\x99\xE8\xAF\xAF"}); // a word without case
    EXPECT_TRUE(chinese.matches("\xE6\x92\xAD\xE6\x94\xBE\xE9\x94\x99\xE8\xAF\xAF 12"));
    EXPECT_EQ(upperText("abc\xFFz"), "ABC\xFFZ"); // a stray byte stays as it is
}

// The window runs in the user's UTF-8 locale, where letters beyond ASCII have case too.
// Faults caught: a two- or four-byte letter not folded (a custom word in another case missing
// its rows), a folded letter written back with the wrong length, a malformed sequence (overlong,
// surrogate, past U+10FFFF, cut short) decoded as a letter and so matching a word it is not.
TEST(LogFilter, CaseIsIgnoredBeyondAsciiAndMalformedBytesStayAsTheyAre)
{
    const char* const saved = std::setlocale(LC_CTYPE, nullptr);
    const std::string previous = saved ? saved : "C";
    if (!std::setlocale(LC_CTYPE, "C.UTF-8"))
        GTEST_SKIP() << "no C.UTF-8 locale on this machine";

    EXPECT_EQ(upperText("caf\xC3\xA9 \xCE\xB1\xCE\xB2"), "CAF\xC3\x89 \xCE\x91\xCE\x92"); // café αβ
    EXPECT_EQ(upperText("\xF0\x90\x90\xA8!"), "\xF0\x90\x90\x80!"); // Deseret small long I, 4 bytes
    const LogFilter accented({"Caf\xC3\xA9"});
    EXPECT_TRUE(accented.matches("open CAF\xC3\x89 menu"));
    EXPECT_TRUE(accented.matches("open caf\xC3\xA9 menu"));
    EXPECT_FALSE(accented.matches("open cafe menu"));
    const LogFilter deseret({"\xF0\x90\x90\x80"});
    EXPECT_TRUE(deseret.matches("x \xF0\x90\x90\xA8 y"));

    // Malformed sequences are kept byte for byte: the overlong ones must not become "/".
    const LogFilter slash({"\xC3\xA9", "/"});
    for (const std::string bad : {"\xC0\xAF", "\xE0\x80\xAF", "\xED\xA0\x80", "\xF0\x80\x80\xAF", "\xF4\x90\x80\x80",
                                  "\xE2\x82", "\xF0\x9F\x98"}) {
        EXPECT_EQ(upperText("a" + bad + "b"), "A" + bad + "B") << testing::PrintToString(bad);
        EXPECT_FALSE(slash.matches("a" + bad + "b")) << testing::PrintToString(bad);
    }
    std::setlocale(LC_CTYPE, previous.c_str());
}

// Faults caught: loading stopped at the first long line, CR left on CR LF lines, the last
// line without a line feed lost, the cut not counted.
TEST(LogRows, LoadingKeepsEveryLineHoweverLong)
{
    TempDir dir;
    const std::string longLine(5000, 'L');
    {
        std::ofstream out(dir.file("box.log"), std::ios::binary);
        out << "first\r\n" << longLine << "\n\nafter the long one\r\nlast without feed";
    }
    LogRows rows;
    const LogRows::LoadResult result = rows.loadFile(dir.file("box.log"));
    ASSERT_TRUE(result.ok);
    EXPECT_EQ(result.lines, 5u);
    EXPECT_EQ(result.cutLines, 1u);
    ASSERT_EQ(rows.size(), 5u);
    EXPECT_EQ(rows.row(0), "first");
    EXPECT_EQ(rows.row(1), longLine);
    EXPECT_TRUE(rows.isCut(1));
    EXPECT_EQ(rows.row(2), "");
    EXPECT_EQ(rows.row(3), "after the long one");
    EXPECT_EQ(rows.row(4), "last without feed");

    const LogRows::LoadResult missing = rows.loadFile(dir.file("none.log"));
    EXPECT_FALSE(missing.ok);
    EXPECT_EQ(missing.error, ENOENT);
}

// Faults caught: the file rewritten (emptied) when nothing matches, LF instead of CR LF, a
// match kept from the previous filter.
TEST(LogRows, SavingMatchingRows)
{
    TempDir dir;
    LogRows rows;
    rows.append("Http get");
    rows.append("nothing");
    rows.append("http again");
    const std::string path = dir.file("filtered.txt");
    EXPECT_EQ(rows.saveMatching(path, LogFilter({"zzz"})), 0);
    EXPECT_FALSE(std::filesystem::exists(path));
    rows.setFilterGeneration(1);
    EXPECT_EQ(rows.saveMatching(path, LogFilter({"HTTP"})), 2);
    EXPECT_EQ(readWholeFile(path), "Http get\r\nhttp again\r\n");
    // A file that cannot be made is an error, not "nothing matched".
    EXPECT_EQ(rows.saveMatching(dir.file("no such folder/filtered.txt"), LogFilter({"HTTP"})), -1);
    rows.setFilterGeneration(2); // a new filter: nothing kept from the one before
    EXPECT_TRUE(rows.matches(1, LogFilter({"NOTHING"})));
    EXPECT_FALSE(rows.matches(0, LogFilter({"NOTHING"})));
}

// Saving to a full disk says so, even when every row still fits in the write buffer and the
// failure only shows when it is flushed. Fault caught: the flush's error dropped, so rows that
// never reached the disk are reported as saved.
TEST(LogRows, SavingToAFullDiskIsAnError)
{
    if (!std::filesystem::exists("/dev/full"))
        GTEST_SKIP() << "no /dev/full here";
    LogRows rows;
    rows.append("one short row");
    EXPECT_EQ(rows.saveMatching("/dev/full", LogFilter({"ROW"})), -1);
    for (int i = 0; i < 2000; ++i) // more than any write buffer holds
        rows.append("a longer row that is written out before the end " + std::to_string(i));
    rows.setFilterGeneration(1);
    EXPECT_EQ(rows.saveMatching("/dev/full", LogFilter({"ROW"})), -1);
}

TEST(LogFilter, SavePathNameRules)
{
    EXPECT_EQ(logSaveFileName("my.log"), "my.log");
    EXPECT_EQ(logSaveFileName("report"), "report.txt");
    EXPECT_EQ(logSaveFileName("report.Log"), "report.Log.txt");
    EXPECT_EQ(logSaveFileName("a.LOG.bak"), "a.LOG.bak");
}

// The simulated box sends its live log once the log parameters say so, only on this machine.
// Faults caught: sending before the live output is on, going on after it is switched off,
// sending to an address that is not this machine's.
TEST(SimLiveLog, SendsWhileTheLiveOutputIsOnAndOnlyOnThisMachine)
{
    LiveLogReceiver receiver;
    ASSERT_TRUE(receiver.start(loopbackOptions()));
    sim::SimOptions options;
    options.port = 0;
    options.logRate = 400;
    options.logPort = receiver.port();
    sim::StbSimulator box(options);
    ASSERT_TRUE(box.start());
    box.setValue("LogServer", "127.0.0.1");
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(receiver.stats().received, 0u); // live output still off

    box.setValue("LogOutPutType", "2");
    const auto rows = takeAtLeast(receiver, 5);
    ASSERT_GE(rows.size(), 5u);
    EXPECT_NE(rows[0].text.find("#0 "), std::string::npos) << rows[0].text;
    EXPECT_EQ(rows[0].text.back(), '\n');

    box.setValue("LogOutPutType", "0");
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const uint64_t afterOff = receiver.stats().received;
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    EXPECT_EQ(receiver.stats().received, afterOff);
    box.stop();

    EXPECT_EQ(sim::SimLiveLog::deliveryAddress("127.0.0.5"), "127.0.0.5");
    EXPECT_EQ(sim::SimLiveLog::deliveryAddress("192.0.2.1"), ""); // not this machine's
    EXPECT_EQ(sim::SimLiveLog::deliveryAddress("not an address"), "");
}

#ifdef QUILLON_CLI_PATH
// The program as a user runs it: prints each datagram, writes both files, and ends on Ctrl-C
// with its summary. Faults caught: no summary or a wrong count, box control characters reaching
// the terminal, the filter not applied to the filtered file.
TEST(LiveLogCommand, ReceivesPrintsWritesAndSummarisesOnInterrupt)
{
    TempDir dir;
    int errPipe[2];
    ASSERT_EQ(::pipe(errPipe), 0);
    const std::string outPath = dir.file("stdout.txt");
    // Spawned rather than forked: a fork of this process, which runs threads, may hang the child.
    const std::string live = dir.file("live.log");
    const std::string filtered = dir.file("filtered.log");
    std::vector<std::string> args = {"quillon-cli", "livelog", "--port",         "0",      "--bind",   "127.0.0.1",
                                     "--out",       live,      "--filtered-out", filtered, "--filter", "http",
                                     "--filter",    "drm"};
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, errPipe[1], 2);
    posix_spawn_file_actions_addclose(&actions, errPipe[0]);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    pid_t child = -1;
    ASSERT_EQ(::posix_spawn(&child, QUILLON_CLI_PATH, &actions, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    ::close(errPipe[1]);
    FILE* err = ::fdopen(errPipe[0], "r");
    char line[512] = {};
    ASSERT_NE(std::fgets(line, sizeof line, err), nullptr);
    const std::string first = line;
    const size_t at = first.find("UDP port ");
    ASSERT_NE(at, std::string::npos) << first;
    const int port = std::atoi(first.c_str() + at + 9);
    ASSERT_GT(port, 0) << first;

    UdpSender sender(static_cast<uint16_t>(port));
    sender.send("HTTP get /epg\n");
    sender.send(std::string("two\0lines", 9));
    sender.send("escape \x1b[2J DRM\n");
    ASSERT_TRUE(waitUntil([&] { return readWholeFile(outPath).size() >= 40; }));
    ::kill(child, SIGINT);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    std::string rest;
    while (std::fgets(line, sizeof line, err))
        rest += line;
    std::fclose(err);

    EXPECT_EQ(readWholeFile(outPath), "HTTP get /epg\ntwo\nlines\nescape ?[2J DRM\n");
    EXPECT_EQ(readWholeFile(dir.file("live.log")), "HTTP get /epg\r\ntwo\r\nlinesescape \x1b[2J DRM\r\n");
    EXPECT_EQ(readWholeFile(dir.file("filtered.log")), "HTTP get /epg\r\nescape \x1b[2J DRM\r\n");
    EXPECT_NE(rest.find("received 3, dropped by the kernel 0, bytes 39"), std::string::npos) << rest;
}
#endif
