#include <BatchResults.h>
#include <BatchRunner.h>
#include <BoxList.h>
#include <Command.h>
#include <SimDiagnostics.h>
#include <SimFleet.h>
#include <StringTable.h>

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

using namespace quillon;
using namespace quillon::cli;
namespace fs = std::filesystem;

namespace
{

class TempDir
{
public:
    TempDir()
    {
        char name[] = "/tmp/quillon-batch-XXXXXX";
        path = ::mkdtemp(name);
    }
    ~TempDir() { fs::remove_all(path); }
    std::string file(const std::string& name) const { return (fs::path(path) / name).string(); }
    std::string path;
};

void writeText(const std::string& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
}

std::string readText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

sim::FleetOptions fleetOptions(int boxes, int faulty, bool onePerAddress = true)
{
    sim::FleetOptions o;
    o.boxes = boxes;
    o.faulty = faulty;
    o.port = 0; // never a fixed port: other tests and programs share the machine
    o.firstAddress = onePerAddress ? "127.0.9.1" : "127.0.0.1";
    o.consecutivePorts = !onePerAddress;
    o.box.channels = 3;
    o.box.linePace = std::chrono::milliseconds(10);
    o.box.keptImageBytes = 4096;
    return o;
}

// A list of every box of the fleet, with the given extra rows.
std::string fleetList(sim::SimFleet& fleet, const std::string& extraRows = "")
{
    std::string text = "host,port\n";
    for (size_t i = 0; i < fleet.size(); ++i)
        text += fleet.address(i) + "," + std::to_string(fleet.port(i)) + "\n";
    return text + extraRows;
}

size_t framesSeen(sim::SimFleet& fleet)
{
    size_t n = 0;
    for (size_t i = 0; i < fleet.size(); ++i)
        n += fleet.box(i).frames().size();
    return n;
}

// Runs `quillon-cli --user admin --password quillon batch ARGS` in this process.
struct BatchRun {
    int code = -1;
    std::string out, err;
};
BatchRun runBatch(std::vector<std::string> args)
{
    GlobalOptions globals;
    globals.user = "admin";
    globals.password = "quillon";
    globals.passwordGiven = true;
    std::ostringstream out, err;
    BatchRun run;
    for (auto& command : allCommands()) {
        if (std::string(command->name()) == "batch") {
            Context c{std::move(args), out, err, nullptr, nullptr, &globals};
            run.code = command->run(c);
        }
    }
    run.out = out.str();
    run.err = err.str();
    return run;
}

class Batch : public ::testing::Test
{
protected:
    void SetUp() override { setUiLanguage(LanguageEnglish); }
    void TearDown() override { setUiLanguage(LanguageChinese); }
    TempDir dir;
};

} // namespace

// Fields a spreadsheet would run as formulas stay text; separators, quotes and line ends stay
// inside their field; and what is written reads back as it was.
TEST_F(Batch, ResultsFileQuotesHostileTextAndReadsItBack)
{
    EXPECT_EQ(csvField("plain"), "plain");
    EXPECT_EQ(csvField("=HYPERLINK(\"x\")"), "\"'=HYPERLINK(\"\"x\"\")\"");
    EXPECT_EQ(csvField("+1"), "\"'+1\"");
    EXPECT_EQ(csvField("@SUM(A1)"), "\"'@SUM(A1)\"");
    EXPECT_EQ(csvField("-2"), "\"'-2\"");
    EXPECT_EQ(csvField("a,b"), "\"a,b\"");

    const std::vector<BoxResult> rows = {
        {"127.0.0.1", 9003, "=cmd|' /C calc'!A0", "error", 1, "line one, with \"quotes\"\nline two", 1.5},
        {"127.0.0.2", 9004, "'already quoted", "ok", 0, "", 0.25},
        {"127.0.0.3", 9003, "SN3", "partial", 3, "-negative start\r\ncarriage", 2},
    };
    std::string text = resultsTitleRow();
    for (const auto& r : rows)
        text += resultRow(r);
    // Every row is one line of the file once quoted line ends are accounted for: no cell leaks
    // into the next row or column.
    EXPECT_EQ(text.find("\n="), std::string::npos);
    const std::string path = dir.file("r.csv");
    writeText(path, text);
    ResultsByBox back;
    std::string error;
    ASSERT_TRUE(readResults(path, back, error)) << error;
    ASSERT_EQ(back.size(), rows.size());
    for (const auto& r : rows) {
        const BoxResult& b = back.at({r.host, r.port});
        EXPECT_EQ(b.serial, r.serial);
        EXPECT_EQ(b.status, r.status);
        EXPECT_EQ(b.exit, r.exit);
        EXPECT_EQ(b.message, r.message);
        EXPECT_DOUBLE_EQ(b.seconds, r.seconds);
    }

    // Concatenated files of shards: title rows in between are skipped, the later row wins.
    writeText(path, text + resultsTitleRow() + resultRow({"127.0.0.1", 9003, "", "ok", 0, "", 1}));
    back.clear();
    ASSERT_TRUE(readResults(path, back, error)) << error;
    EXPECT_EQ(back.size(), 3u);
    EXPECT_EQ(back.at({"127.0.0.1", 9003}).status, "ok");

    writeText(path, "a,b\n1,2\n");
    EXPECT_FALSE(readResults(path, back, error));
}

TEST_F(Batch, ListRowsFallBackToTheGlobalOptionsAndShardsSplitByRow)
{
    GlobalOptions globals;
    globals.user = "admin";
    globals.password = "pw";
    globals.passwordGiven = true;
    const std::string path = dir.file("boxes.csv");
    writeText(path, "Host , port,user,password,comment\n"
                    "127.0.0.1,,,,first\n"
                    "127.0.0.1,9004,root,secret , second\n"
                    ",,,,\n"
                    "127.0.0.3,9003\n"
                    "127.0.0.4,65535\n"
                    "127.0.0.5,1\n");
    std::vector<BoxEntry> boxes;
    std::vector<std::string> problems;
    ASSERT_TRUE(readBoxList(path, globals, boxes, problems)) << (problems.empty() ? "" : problems[0]);
    ASSERT_EQ(boxes.size(), 5u);
    EXPECT_EQ(boxes[0].port, 9003);
    EXPECT_EQ(boxes[3].port, 65535); // both ends of the port range are ports
    EXPECT_EQ(boxes[4].port, 1);
    EXPECT_EQ(boxes[0].user, "admin");
    EXPECT_EQ(boxes[0].password, "pw");
    EXPECT_EQ(boxes[1].user, "root");
    EXPECT_EQ(boxes[1].password, "secret "); // passwords are taken as typed
    // The host appears twice: its files are told apart by port.
    EXPECT_EQ(boxes[0].label, "127.0.0.1_9003");
    EXPECT_EQ(boxes[1].label, "127.0.0.1_9004");
    EXPECT_EQ(boxes[2].label, "127.0.0.3");
    // The blank row keeps its index, so the split does not depend on blank lines.
    EXPECT_EQ(boxes[2].index, 3);

    int k = 0, n = 0;
    ASSERT_TRUE(parseShard("1/2", k, n));
    const auto odd = shardOf(boxes, k, n);
    ASSERT_EQ(odd.size(), 3u);
    EXPECT_EQ(odd[0].port, 9004);
    EXPECT_EQ(odd[1].host, "127.0.0.3");
    EXPECT_EQ(odd[2].host, "127.0.0.5");
    EXPECT_EQ(shardOf(boxes, 0, 2).size(), 2u);
    for (const char* bad : {"2/2", "1", "-1/2", "a/b", "1/0", "0/"})
        EXPECT_FALSE(parseShard(bad, k, n)) << bad;
}

TEST_F(Batch, BadRowsAreAllNamedAndNothingIsSent)
{
    sim::SimFleet fleet(fleetOptions(3, 0));
    ASSERT_TRUE(fleet.start());
    const std::string path = dir.file("boxes.csv");
    writeText(path, fleetList(fleet,
                              ",9003\n"                // no host
                              "10.0.0.300,9003\n"      // not an address
                              "box.example.net,9003\n" // a name, not an address
                              "127.0.0.1,70000\n"      // no port
                                  + fleet.address(1) + "," + std::to_string(fleet.port(1)) + "\n")); // repeated
    const BatchRun run = runBatch({"--timeout", "1", path, "info"});
    EXPECT_EQ(run.code, ExitUsage);
    for (const char* row : {"row 5: no host", "row 6: the host", "row 7: the host", "row 8: the port", "row 9: "})
        EXPECT_NE(run.err.find(row), std::string::npos) << row << "\n" << run.err;
    EXPECT_NE(run.err.find("already listed in row 3"), std::string::npos) << run.err;
    EXPECT_EQ(framesSeen(fleet), 0u);

    writeText(path, "address\n127.0.0.1\n");
    EXPECT_EQ(runBatch({path, "info"}).code, ExitUsage);
    std::vector<BoxEntry> boxes;
    std::vector<std::string> problems;
    writeText(path, "host\n127.0.0.1\n");
    EXPECT_FALSE(readBoxList(path, GlobalOptions{}, boxes, problems)); // no user, no password
    EXPECT_EQ(problems.size(), 2u);
}

// Each kind of faulty box ends with its own status; the others are ok, with their serials.
TEST_F(Batch, FaultyBoxesOfAFleetGetTheirStatus)
{
    sim::SimFleet fleet(fleetOptions(50, 8));
    ASSERT_TRUE(fleet.start());
    const std::string list = dir.file("boxes.csv");
    // Nobody listens at that port: unreachable as well.
    writeText(list, fleetList(fleet, "127.0.9.200,1\n"));
    const std::string results = dir.file("results.csv");
    const BatchRun run = runBatch({"--jobs", "16", "--timeout", "1", "--results", results, list, "info"});
    EXPECT_EQ(run.code, ExitPartial) << run.err;

    ResultsByBox rows;
    std::string error;
    ASSERT_TRUE(readResults(results, rows, error)) << error;
    ASSERT_EQ(rows.size(), 51u);
    int faulty = 0;
    for (size_t i = 0; i < fleet.size(); ++i) {
        const BoxResult& r = rows.at({fleet.address(i), fleet.port(i)});
        const char* expected = "ok";
        switch (fleet.fault(i)) {
        case sim::FleetFault::Silent:
            expected = "unreachable";
            break;
        case sim::FleetFault::WrongPassword:
            expected = "auth";
            break;
        case sim::FleetFault::DropLink:
            expected = "error";
            break;
        case sim::FleetFault::PartialReads:
            expected = "partial";
            break;
        default:
            break;
        }
        faulty += fleet.fault(i) != sim::FleetFault::None;
        EXPECT_EQ(r.status, expected) << "box " << i + 1 << ": " << r.message;
        EXPECT_EQ(r.exit, r.status == "ok" ? 0 : r.status == "partial" ? 3 : 1);
        if (r.status == "ok" || r.status == "partial" || r.status == "error") {
            EXPECT_EQ(r.serial, sim::fleetSerial(static_cast<int>(i) + 1));
        }
        if (r.status != "ok") {
            EXPECT_FALSE(r.message.empty()) << "box " << i + 1;
        }
    }
    EXPECT_EQ(faulty, 8);
    EXPECT_EQ(rows.at({"127.0.9.200", 1}).status, "unreachable");
    // Progress ends with the totals on standard error.
    EXPECT_NE(run.err.find("batch: 51/51 done, 9 failed, 0 running"), std::string::npos) << run.err;
}

TEST_F(Batch, ExitStatusSaysWhetherAllSomeOrNoneSucceeded)
{
    sim::SimFleet good(fleetOptions(3, 0));
    ASSERT_TRUE(good.start());
    const std::string list = dir.file("boxes.csv");
    writeText(list, fleetList(good));
    EXPECT_EQ(runBatch({list, "info"}).code, ExitOk);
    writeText(list, "host,port\n127.0.9.201,1\n127.0.9.202,1\n");
    EXPECT_EQ(runBatch({"--timeout", "1", list, "info"}).code, ExitError);
}

// A rerun with --resume sends nothing to the boxes that were ok, runs the others again, and
// its results file still holds every box.
TEST_F(Batch, ResumeSkipsExactlyTheBoxesThatWereOk)
{
    sim::SimFleet fleet(fleetOptions(12, 4));
    ASSERT_TRUE(fleet.start());
    const std::string list = dir.file("boxes.csv");
    writeText(list, fleetList(fleet));
    const std::string results = dir.file("results.csv");
    const std::string snapshots = dir.file("snapshots");
    const std::vector<std::string> command = {"set", "--snapshot-dir", snapshots, "NTPDomain=ntp.example.net"};
    auto args = [&](std::vector<std::string> options) {
        options.push_back(list);
        options.insert(options.end(), command.begin(), command.end());
        return options;
    };
    ASSERT_EQ(runBatch(args({"--timeout", "1", "--results", results})).code, ExitPartial);
    ResultsByBox first;
    std::string error;
    ASSERT_TRUE(readResults(results, first, error));
    size_t ok = 0;
    for (size_t i = 0; i < fleet.size(); ++i) {
        if (first.at({fleet.address(i), fleet.port(i)}).status == "ok") {
            ++ok;
            EXPECT_EQ(fleet.box(i).value("NTPDomain"), "ntp.example.net");
            // Each box saved its own snapshot before the write, and the results say where.
            const std::string& message = first.at({fleet.address(i), fleet.port(i)}).message;
            EXPECT_NE(message.find("snapshot: " + snapshots + "/" + sim::fleetSerial(static_cast<int>(i) + 1)),
                      std::string::npos)
                << message;
        }
        fleet.box(i).clearFrames();
    }
    EXPECT_EQ(ok, fleet.size() - 4);
    EXPECT_EQ(static_cast<size_t>(std::distance(fs::directory_iterator(snapshots), fs::directory_iterator())), ok);

    // The results file and the resume file may be one file.
    const BatchRun rerun = runBatch(args({"--timeout", "1", "--resume", results, "--results", results}));
    EXPECT_EQ(rerun.code, ExitPartial);
    ResultsByBox second;
    ASSERT_TRUE(readResults(results, second, error));
    EXPECT_EQ(second.size(), fleet.size());
    for (size_t i = 0; i < fleet.size(); ++i) {
        const auto key = std::make_pair(fleet.address(i), fleet.port(i));
        const bool wasOk = first.at(key).status == "ok";
        EXPECT_EQ(second.at(key).status, first.at(key).status) << i;
        if (wasOk) {
            EXPECT_TRUE(fleet.box(i).frames().empty()) << "box " << i + 1 << " was ok and was contacted again";
        } else if (fleet.fault(i) == sim::FleetFault::DropLink) {
            EXPECT_FALSE(fleet.box(i).frames().empty()) << "box " << i + 1 << " failed and was not run again";
        }
    }
    // A third run over the same file touches nothing that is ok.
    for (size_t i = 0; i < fleet.size(); ++i)
        fleet.box(i).clearFrames();
    runBatch(args({"--timeout", "1", "--resume", results, "--results", results}));
    for (size_t i = 0; i < fleet.size(); ++i) {
        if (first.at({fleet.address(i), fleet.port(i)}).status == "ok") {
            EXPECT_TRUE(fleet.box(i).frames().empty()) << i;
        }
    }
}

// Boxes that share an address write files of their own; a file name that would be written by
// several boxes is refused before any box is contacted.
TEST_F(Batch, PerBoxFilesDoNotCollide)
{
    sim::SimFleet fleet(fleetOptions(4, 0, false));
    ASSERT_TRUE(fleet.start());
    for (size_t i = 0; i < fleet.size(); ++i) // each box its own channel list, to tell the files apart
        fleet.box(i).setChannelListText("ChannelID=\"" + std::to_string(i + 1) +
                                        "\" UserChannelID=\"1\" ChannelName=\"x\" ChannelURL=\"igmp://239.0.0." +
                                        std::to_string(i + 1) + ":5000\" TimeShift=\"0\" TimeShiftURL=\"\"\n");
    const std::string list = dir.file("boxes.csv");
    writeText(list, fleetList(fleet));

    EXPECT_EQ(runBatch({list, "channels", dir.file("all.txt")}).code, ExitUsage);
    EXPECT_EQ(runBatch({list, "channels", dir.file("{host}.txt")}).code, ExitUsage); // one address for all
    EXPECT_EQ(framesSeen(fleet), 0u);

    const std::string out = dir.file("out");
    const BatchRun run = runBatch({"--output-dir", out, list, "channels", dir.file("{host}-{port}.txt")});
    ASSERT_EQ(run.code, ExitOk) << run.err;
    for (size_t i = 0; i < fleet.size(); ++i) {
        const std::string stem = fleet.address(i) + "-" + std::to_string(fleet.port(i));
        const std::string exported = readText(dir.file(stem + ".txt"));
        EXPECT_NE(exported.find("239.0.0." + std::to_string(i + 1) + ":"), std::string::npos) << exported;
        const std::string shown = readText(out + "/" + fleet.address(i) + "_" + std::to_string(fleet.port(i)) + ".txt");
        EXPECT_NE(shown.find("igmp://239.0.0." + std::to_string(i + 1) + ":5000"), std::string::npos) << shown;
    }
}

// A serial number from a box names a file only if it cannot lead out of the folder.
TEST_F(Batch, SerialPlaceholderRefusesASerialThatIsNoFileName)
{
    // Box 0 keeps its own serial; every other box reports one that is no plain file name.
    const std::vector<std::string> badSerials{"../../escaped", "..", ".", ".hidden", "sub/inner", "a\\b"};
    sim::SimFleet fleet(fleetOptions(1 + static_cast<int>(badSerials.size()), 0));
    ASSERT_TRUE(fleet.start());
    for (size_t i = 0; i < badSerials.size(); ++i)
        fleet.box(1 + i).setValue("STBSerialNumber", badSerials[i]);
    const std::string list = dir.file("boxes.csv");
    writeText(list, fleetList(fleet));
    const std::string results = dir.file("results.csv");
    fs::create_directories(dir.file("params/" + sim::fleetSerial(1)));
    fs::create_directories(dir.file("params/sub/inner"));
    const BatchRun flat = runBatch({"--results", results, list, "export-params", dir.file("params/{serial}.ini")});
    EXPECT_EQ(flat.code, ExitPartial) << flat.err;
    EXPECT_TRUE(fs::exists(dir.file("params/" + sim::fleetSerial(1) + ".ini")));
    EXPECT_FALSE(fs::exists(dir.file("escaped.ini")));
    EXPECT_FALSE(fs::exists(fs::path(dir.path).parent_path() / "escaped.ini"));
    ResultsByBox rows;
    std::string error;
    ASSERT_TRUE(readResults(results, rows, error));
    for (size_t i = 0; i < badSerials.size(); ++i)
        EXPECT_EQ(rows.at({fleet.address(1 + i), fleet.port(1 + i)}).status, "error") << badSerials[i];

    // The serial as a folder: ".." and "." would put the file beside or above the chosen one.
    const BatchRun nested = runBatch({list, "export-params", dir.file("params/{serial}/box.ini")});
    EXPECT_EQ(nested.code, ExitPartial) << nested.err;
    EXPECT_TRUE(fs::exists(dir.file("params/" + sim::fleetSerial(1) + "/box.ini")));
    EXPECT_FALSE(fs::exists(dir.file("box.ini")));
    EXPECT_FALSE(fs::exists(dir.file("params/box.ini")));
    EXPECT_FALSE(fs::exists(dir.file("params/sub/inner/box.ini")));
    std::vector<std::string> stray;
    for (const auto& entry : fs::recursive_directory_iterator(dir.path))
        if (entry.is_regular_file() && entry.path().extension() == ".ini")
            stray.push_back(entry.path().string());
    EXPECT_EQ(stray.size(), 2u) << ::testing::PrintToString(stray);
}

TEST_F(Batch, CommandsThatNeverEndOrArgumentsThatCannotWorkAreRefusedFirst)
{
    sim::SimFleet fleet(fleetOptions(2, 0));
    ASSERT_TRUE(fleet.start());
    const std::string list = dir.file("boxes.csv");
    writeText(list, fleetList(fleet));
    EXPECT_EQ(runBatch({list, "ping", "10.0.0.1"}).code, ExitUsage);
    EXPECT_EQ(runBatch({list, "livelog"}).code, ExitUsage);
    EXPECT_EQ(runBatch({list, "zone-info", "x.cfg"}).code, ExitUsage);
    EXPECT_EQ(runBatch({list, "set", "noSuchKey=1"}).code, ExitUsage);
    EXPECT_EQ(runBatch({list, "upgrade", dir.file("missing.bin")}).code, ExitError);
    EXPECT_EQ(runBatch({"--jobs", "0", list, "info"}).code, ExitUsage);
    EXPECT_EQ(runBatch({"--jobs", "4097", list, "info"}).code, ExitUsage);
    for (const char* option : {"--jobs", "--timeout", "--results"}) { // the line ends before the value
        const BatchRun cut = runBatch({option});
        EXPECT_EQ(cut.code, ExitUsage) << option;
        EXPECT_NE(cut.err.find(std::string(option) + " needs a value"), std::string::npos) << cut.err;
    }
    EXPECT_EQ(runBatch({"--timeout", "3601", list, "info"}).code, ExitUsage);
    EXPECT_EQ(framesSeen(fleet), 0u);
    // The top value of each bound is still allowed.
    EXPECT_EQ(runBatch({"--jobs", "4096", "--timeout", "3600", list, "info"}).code, ExitOk);
    EXPECT_EQ(runBatch({list, "ping", "10.0.0.1", "1"}).code, ExitOk);
}

// One image, opened once, reaches every box whole.
TEST_F(Batch, UpgradeSendsOneImageToEveryBox)
{
    sim::SimFleet fleet(fleetOptions(5, 0));
    ASSERT_TRUE(fleet.start());
    const std::string list = dir.file("boxes.csv");
    writeText(list, fleetList(fleet));
    std::string image = sim::simImageHeader("V9.9.9");
    for (int i = 0; image.size() < 300000; ++i)
        image += static_cast<char>(i * 7);
    const std::string path = dir.file("image.bin");
    writeText(path, image);
    const BatchRun run = runBatch({"--jobs", "3", list, "upgrade", path});
    ASSERT_EQ(run.code, ExitOk) << run.err;
    for (size_t i = 0; i < fleet.size(); ++i) {
        const sim::SimUpgradeRecord r = fleet.box(i).upgradeRecord();
        EXPECT_EQ(r.received, static_cast<long long>(image.size())) << i;
        EXPECT_EQ(r.verdict, 302) << i;
        EXPECT_EQ(r.image, image.substr(0, 4096)) << i;
    }
}

// Ctrl-C: no box starts after it, the running ones finish, and each box that was started has
// its row. Run as a program, with a real signal.
TEST_F(Batch, InterruptWritesAResultForEveryBoxThatWasStarted)
{
    sim::FleetOptions o = fleetOptions(30, 0);
    o.box.replyLatency = std::chrono::milliseconds(40);
    sim::SimFleet fleet(o);
    ASSERT_TRUE(fleet.start());
    const std::string list = dir.file("boxes.csv");
    writeText(list, fleetList(fleet));
    const std::string results = dir.file("results.csv");
    std::vector<std::string> argv = {QUILLON_CLI, "--user", "admin",     "--password", "quillon", "batch",
                                     "--jobs",    "2",      "--results", results,      list,      "info"};
    std::vector<char*> cargs;
    for (auto& a : argv)
        cargs.push_back(a.data());
    cargs.push_back(nullptr);
    pid_t pid = 0;
    ASSERT_EQ(::posix_spawn(&pid, QUILLON_CLI, nullptr, nullptr, cargs.data(), environ), 0);
    // Wait until some boxes are done, then interrupt.
    for (int i = 0; i < 200; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        if (std::count(std::istreambuf_iterator<char>(*std::make_unique<std::ifstream>(results)),
                       std::istreambuf_iterator<char>(), '\n') >= 3)
            break;
    }
    ::kill(pid, SIGINT);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), ExitPartial);

    ResultsByBox rows;
    std::string error;
    ASSERT_TRUE(readResults(results, rows, error)) << error;
    size_t contacted = 0;
    for (size_t i = 0; i < fleet.size(); ++i) {
        const bool started = !fleet.box(i).frames().empty();
        contacted += started;
        const bool recorded = rows.count({fleet.address(i), fleet.port(i)}) != 0;
        EXPECT_EQ(recorded, started) << "box " << i + 1;
        if (recorded) {
            EXPECT_EQ(rows.at({fleet.address(i), fleet.port(i)}).status, "ok") << i; // finished, not cut
        }
    }
    EXPECT_GE(contacted, 2u) << readText(results);
    EXPECT_LT(contacted, fleet.size());
}

// --dry-run per box: each box's output file shows what would change there; no box is written.
TEST_F(Batch, DryRunShowsEachBoxItsChangesAndWritesNone)
{
    sim::SimFleet fleet(fleetOptions(3, 0));
    ASSERT_TRUE(fleet.start());
    fleet.box(2).setValue("NTPDomain", "ntp.example.net"); // nothing would change on this one
    const std::string list = dir.file("boxes.csv");
    writeText(list, fleetList(fleet));
    const std::string out = dir.file("out");
    // An earlier run's output for a box is replaced, not added to.
    fs::create_directory(out);
    writeText(out + "/" + fleet.address(2) + ".txt", "NTPDomain: from an earlier run\n");
    const BatchRun run = runBatch({"--output-dir", out, list, "set", "--dry-run", "--snapshot-dir",
                                   dir.file("snapshots"), "NTPDomain=ntp.example.net"});
    EXPECT_EQ(run.code, ExitOk) << run.err;
    for (size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(fleet.box(i).value("NTPDomain"), "ntp1.example.net");
        const std::string shown = readText(out + "/" + fleet.address(i) + ".txt");
        EXPECT_NE(shown.find("ntp1.example.net"), std::string::npos) << shown;
        EXPECT_NE(shown.find("ntp.example.net"), std::string::npos) << shown;
    }
    EXPECT_EQ(readText(out + "/" + fleet.address(2) + ".txt").find("NTPDomain"), std::string::npos);
    EXPECT_FALSE(fs::exists(dir.file("snapshots")));
}
