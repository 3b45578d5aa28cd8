// Fleet runs that are repeated: a rerun is a success, failures say what happened, shards come
// from a job engine's environment, and results files are summed up.
#include <BatchResults.h>
#include <BatchRunner.h>
#include <Command.h>
#include <ShardSource.h>
#include <SimFleet.h>
#include <StringTable.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include <sys/wait.h>
#include <unistd.h>

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
        char name[] = "/tmp/quillon-fleet-XXXXXX";
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

sim::FleetOptions fleetOptions(int boxes, int faulty, const char* firstAddress)
{
    sim::FleetOptions o;
    o.boxes = boxes;
    o.faulty = faulty;
    o.port = 0; // never a fixed port: other tests and programs share the machine
    o.firstAddress = firstAddress;
    o.box.channels = 3;
    return o;
}

std::string fleetList(sim::SimFleet& fleet)
{
    std::string text = "host,port\n";
    for (size_t i = 0; i < fleet.size(); ++i)
        text += fleet.address(i) + "," + std::to_string(fleet.port(i)) + "\n";
    return text;
}

struct CliRun {
    int code = -1;
    std::string out, err;
};

// Runs `quillon-cli --user admin --password quillon NAME ARGS` in this process.
CliRun runCommand(const std::string& name, std::vector<std::string> args)
{
    GlobalOptions globals;
    globals.user = "admin";
    globals.password = "quillon";
    globals.passwordGiven = true;
    std::ostringstream out, err;
    CliRun run;
    for (auto& command : allCommands()) {
        if (name == command->name()) {
            Context c{std::move(args), out, err, nullptr, nullptr, &globals};
            run.code = command->run(c);
        }
    }
    run.out = out.str();
    run.err = err.str();
    return run;
}

std::vector<BoxResult> rowsOf(const std::string& path)
{
    std::vector<BoxResult> rows;
    std::string error;
    EXPECT_TRUE(readResultRows(path, rows, error)) << error;
    return rows;
}

class Fleet : public ::testing::Test
{
protected:
    void SetUp() override { setUiLanguage(LanguageEnglish); }
    void TearDown() override { setUiLanguage(LanguageChinese); }
    TempDir dir;
};

} // namespace

// Faults caught: a rerun that reports every box that already holds the value as failed, or a
// results row whose message is not the plain "unchanged" that scripts look for.
TEST_F(Fleet, RerunOfTheSameSetIsOkAndUnchanged)
{
    sim::SimFleet fleet(fleetOptions(3, 0, "127.0.10.1"));
    ASSERT_TRUE(fleet.start());
    const std::string list = dir.file("boxes.csv");
    writeText(list, fleetList(fleet));
    const std::vector<std::string> set = {"set", "--snapshot-dir", dir.file("snapshots"), "NTPDomain=ntp.example.net"};
    auto batch = [&](const std::string& results, std::vector<std::string> extra) {
        std::vector<std::string> args = {"--results", results, list};
        args.insert(args.end(), set.begin(), set.end());
        args.insert(args.end() - 1, extra.begin(), extra.end());
        return runCommand("batch", args);
    };
    CliRun first = batch(dir.file("first.csv"), {});
    ASSERT_EQ(first.code, ExitOk) << first.err;
    for (const BoxResult& r : rowsOf(dir.file("first.csv")))
        EXPECT_NE(r.message, "unchanged");

    for (const std::vector<std::string>& extra : {std::vector<std::string>{}, {"--dry-run"}}) {
        CliRun again = batch(dir.file("again.csv"), extra);
        EXPECT_EQ(again.code, ExitOk) << again.err;
        const auto rows = rowsOf(dir.file("again.csv"));
        ASSERT_EQ(rows.size(), 3u);
        for (const BoxResult& r : rows) {
            EXPECT_EQ(r.status, "ok");
            EXPECT_EQ(r.exit, 0);
            EXPECT_EQ(r.message, "unchanged");
        }
        // The title row stays as --resume reads it.
        EXPECT_EQ(readText(dir.file("again.csv")).rfind(resultsTitleRow(), 0), 0u);
    }
    // Only the first run wrote, and only it saved snapshots.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.file("snapshots")), fs::directory_iterator()), 3);
    // --keep-snapshots given to the batch reaches every box's set: one snapshot each is left.
    const CliRun kept = runCommand("batch", {"--keep-snapshots", "1", list, "set", "--snapshot-dir",
                                             dir.file("snapshots"), "NTPDomain=ntp.other.example"});
    EXPECT_EQ(kept.code, ExitOk) << kept.err;
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.file("snapshots")), fs::directory_iterator()), 3);
    EXPECT_EQ(runCommand("batch", {"--keep-snapshots", "1", list, "info"}).code, ExitUsage);
}

// Faults caught: --shard auto guessing a shard when no engine set one, or not taking the one set.
TEST_F(Fleet, ShardAutoInABatchTakesTheEnginesShardOrRefuses)
{
    sim::SimFleet fleet(fleetOptions(4, 0, "127.0.10.51"));
    ASSERT_TRUE(fleet.start());
    const std::string list = dir.file("boxes.csv");
    writeText(list, fleetList(fleet));
    for (const char* name : {"JOB_COMPLETION_INDEX", "SLURM_ARRAY_TASK_ID", "PARALLEL_SEQ"})
        ::unsetenv(name);
    CliRun run = runCommand("batch", {"--shard", "auto", "--shard-count", "2", list, "info"});
    EXPECT_EQ(run.code, ExitUsage);
    EXPECT_NE(run.err.find("found no job engine"), std::string::npos) << run.err;
    EXPECT_EQ(runCommand("batch", {"--shard-count", "2", list, "info"}).code, ExitUsage); // without auto

    ::setenv("PARALLEL_SEQ", "2", 1);
    run = runCommand("batch", {"--shard", "auto", "--shard-count", "2", "--results", dir.file("r.csv"), list, "info"});
    ::unsetenv("PARALLEL_SEQ");
    EXPECT_EQ(run.code, ExitOk) << run.err;
    const auto rows = rowsOf(dir.file("r.csv"));
    ASSERT_EQ(rows.size(), 2u); // data rows 1 and 3
    std::set<std::string> hosts;
    for (const BoxResult& r : rows)
        hosts.insert(r.host);
    EXPECT_EQ(hosts, (std::set<std::string>{fleet.address(1), fleet.address(3)}));
}

// Faults caught: a silent box reported as a connect time-out, a dropped link reported as a bare
// "disconnect"; each text comes from a simulated box that does exactly that.
TEST_F(Fleet, FailureTextsSayWhatTheBoxDid)
{
    sim::SimFleet fleet(fleetOptions(4, 4, "127.0.10.11")); // silent, wrong password, drops, partial
    ASSERT_TRUE(fleet.start());
    const std::string list = dir.file("boxes.csv");
    writeText(list, fleetList(fleet));
    const std::string results = dir.file("results.csv");
    const CliRun run = runCommand("batch", {"--timeout", "1", "--results", results, list, "info"});
    EXPECT_EQ(run.code, ExitPartial) << run.err;
    ResultsByBox rows;
    std::string error;
    ASSERT_TRUE(readResults(results, rows, error)) << error;
    for (size_t i = 0; i < fleet.size(); ++i) {
        const BoxResult& r = rows.at({fleet.address(i), fleet.port(i)});
        const std::string where = fleet.address(i);
        switch (fleet.fault(i)) {
        case sim::FleetFault::Silent:
            EXPECT_EQ(r.status, "unreachable");
            EXPECT_EQ(r.message,
                      where + ":" + std::to_string(fleet.port(i)) + ": no answer to the session set-up within 1 s");
            break;
        case sim::FleetFault::DropLink:
            EXPECT_EQ(r.status, "error");
            EXPECT_EQ(r.message, where + ": the box closed the link during the information read");
            break;
        case sim::FleetFault::WrongPassword:
            EXPECT_EQ(r.status, "auth");
            EXPECT_EQ(r.message, where + ": the box refused the session: 501 (" + statusCodeText(501) + ")");
            break;
        default:
            break;
        }
    }
    // The same texts from a single box on the command line, with the link dropped in the middle
    // of a write.
    sim::SimFleet one(fleetOptions(1, 0, "127.0.10.21"));
    ASSERT_TRUE(one.start());
    sim::SimFaults faults;
    faults.closeAfterFrames = 1 + 38 + 1; // the serial read, the configuration read, one write
    one.box(0).setFaults(faults);
    writeText(list, fleetList(one));
    const CliRun cut = runCommand(
        "batch", {"--results", results, list, "set", "--no-snapshot", "timeZone=-3", "NTPDomain=ntp.cut.example"});
    EXPECT_EQ(cut.code, ExitError);
    EXPECT_EQ(rowsOf(results).at(0).message, "127.0.10.21: the box closed the link during the configuration write");
}

// Faults caught: an estimate that forgets boxes waiting out a time-out ("0.3s left" for 15 s),
// or that counts every running box as slow.
TEST(BatchEstimate, CountsBoxesWaitingOutATimeOut)
{
    int slow = -1;
    // 197 boxes took 0.01 s each; three have waited 2 s of a 15 s limit.
    EXPECT_NEAR(estimateSecondsLeft({2, 2, 2.5}, 0, 0.01, 16, 15, &slow), 13, 0.01);
    EXPECT_EQ(slow, 3);
    // Past one limit, a box is in its next wait.
    EXPECT_NEAR(estimateSecondsLeft({16}, 0, 0.01, 16, 15, &slow), 14, 0.01);
    // Boxes within their usual time, and 100 waiting to start, 10 at a time.
    EXPECT_NEAR(estimateSecondsLeft({0.1, 0.2}, 100, 0.5, 10, 15, &slow), (0.4 + 0.3 + 50) / 10, 0.01);
    EXPECT_EQ(slow, 0);
}

// Faults caught: a shard taken from the wrong variable, off by one (GNU parallel and Slurm arrays
// count from 1 or any first index), or a count guessed when the engine gives none.
TEST(ShardAuto, ReadsEachEnginesVariables)
{
    struct Case {
        std::map<std::string, std::string> env;
        int shardCount;
        int k, n; // -1: refused
        const char* engineOrError;
    };
    const std::vector<Case> cases = {
        {{{"JOB_COMPLETION_INDEX", "2"}}, 5, 2, 5, "Kubernetes Indexed Job"},
        {{{"JOB_COMPLETION_INDEX", "0"}, {"QUILLON_SHARD_COUNT", "3"}}, 0, 0, 3, "Kubernetes Indexed Job"},
        {{{"JOB_COMPLETION_INDEX", "3"}, {"QUILLON_SHARD_COUNT", "9"}}, 4, 3, 4, "Kubernetes Indexed Job"},
        {{{"JOB_COMPLETION_INDEX", "0"}}, 0, -1, -1, "--shard-count or QUILLON_SHARD_COUNT"},
        {{{"JOB_COMPLETION_INDEX", "4"}}, 4, -1, -1, "from 0 to N-1"},
        {{{"JOB_COMPLETION_INDEX", "x1"}}, 4, -1, -1, "not a whole number"},
        {{{"SLURM_ARRAY_TASK_ID", "3"}, {"SLURM_ARRAY_TASK_COUNT", "4"}}, 0, 3, 4, "Slurm job array"},
        {{{"SLURM_ARRAY_TASK_ID", "4"}, {"SLURM_ARRAY_TASK_COUNT", "4"}, {"SLURM_ARRAY_TASK_MIN", "1"}},
         0,
         3,
         4,
         "Slurm job array"},
        {{{"SLURM_ARRAY_TASK_ID", "14"},
          {"SLURM_ARRAY_TASK_COUNT", "8"},
          {"SLURM_ARRAY_TASK_MIN", "0"},
          {"SLURM_ARRAY_TASK_STEP", "2"}},
         0,
         7,
         8,
         "Slurm job array"},
        {{{"SLURM_ARRAY_TASK_ID", "3"}}, 0, -1, -1, "SLURM_ARRAY_TASK_COUNT is not"},
        {{{"SLURM_ARRAY_TASK_ID", "1"}, {"SLURM_ARRAY_TASK_COUNT", "4"}}, 5, -1, -1, "differs"},
        {{{"PARALLEL_SEQ", "1"}}, 4, 0, 4, "GNU parallel"},
        {{{"PARALLEL_SEQ", "4"}}, 4, 3, 4, "GNU parallel"},
        {{{"PARALLEL_SEQ", "5"}}, 4, -1, -1, "from 0 to N-1"},
        {{{"PARALLEL_SEQ", "0"}}, 4, -1, -1, "counts from 1"},
        {{{"PARALLEL_SEQ", "2"}}, 0, -1, -1, "--shard-count"},
        {{{"PARALLEL_SEQ", "2"}, {"JOB_COMPLETION_INDEX", "1"}}, 3, 1, 3, "Kubernetes Indexed Job"},
        {{}, 4, -1, -1, "found no job engine"},
    };
    for (const Case& c : cases) {
        auto env = [&](const char* name) -> const char* {
            const auto it = c.env.find(name);
            return it == c.env.end() ? nullptr : it->second.c_str();
        };
        int k = -1, n = -1;
        std::string engine, error;
        const bool ok = shardFromEnvironment(env, c.shardCount, k, n, engine, error);
        const std::string label = c.env.empty() ? "(none)" : c.env.begin()->first + "=" + c.env.begin()->second;
        EXPECT_EQ(ok, c.k >= 0) << label << ": " << error;
        if (c.k >= 0) {
            EXPECT_EQ(k, c.k) << label;
            EXPECT_EQ(n, c.n) << label;
            EXPECT_EQ(engine, c.engineOrError) << label;
        } else {
            EXPECT_NE(error.find(c.engineOrError), std::string::npos) << label << ": " << error;
        }
    }
}

// Faults caught: JSON that a log pipeline cannot parse (quotes, line ends, control characters,
// bytes that are not UTF-8), or fields that do not read back as written; --resume over JSON Lines.
TEST_F(Fleet, JsonLinesCarryTheSameFields)
{
    const BoxResult hostile{
        "127.0.0.1", 9003, "S\"N\\1", "error", 1, "line one\nline \"two\"\t\x01 \xff\xfe end \xe4\xb8\xad", 1.25};
    const std::string line = resultJsonLine(hostile);
    EXPECT_EQ(line,
              "{\"host\":\"127.0.0.1\",\"port\":9003,\"serial\":\"S\\\"N\\\\1\",\"status\":\"error\",\"exit\":1,"
              "\"message\":\"line one\\nline \\\"two\\\"\\u0009\\u0001 \xef\xbf\xbd\xef\xbf\xbd end \xe4\xb8\xad\","
              "\"seconds\":1.250}\n");
    writeText(dir.file("r.jsonl"),
              line + "\n" + resultJsonLine({"127.0.0.2", 1, "", "ok", 0, "unchanged", 0}) +
                  "{\"host\":\"127.0.0.3\",\"port\":2,\"status\":\"ok\",\"serial\":\"\\ud83d\\ude00\"}\n");
    const auto rows = rowsOf(dir.file("r.jsonl"));
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].serial, hostile.serial);
    EXPECT_EQ(rows[0].message, "line one\nline \"two\"\t\x01 \xef\xbf\xbd\xef\xbf\xbd end \xe4\xb8\xad");
    EXPECT_EQ(rows[0].seconds, 1.25);
    EXPECT_EQ(rows[1].message, "unchanged");
    EXPECT_EQ(rows[2].serial, "\xf0\x9f\x98\x80");
    for (const char* bad :
         {"{\"host\":\"h\",\"port\":1}\n", "{\"host\":\"h\",\"port\":1,\"status\":\"ok\"\n",
          "{\"host\":\"h\",\"port\":1,\"status\":\"ok\"} x\n", "{\"host\":\"\\ud800\",\"port\":1,\"status\":\"ok\"}\n",
          "{\"host\":[1],\"port\":1,\"status\":\"ok\"}\n"}) {
        std::vector<BoxResult> none;
        std::string error;
        writeText(dir.file("bad.jsonl"), bad);
        EXPECT_FALSE(readResultRows(dir.file("bad.jsonl"), none, error)) << bad;
    }

    sim::SimFleet fleet(fleetOptions(3, 0, "127.0.10.31"));
    ASSERT_TRUE(fleet.start());
    const std::string list = dir.file("boxes.csv");
    writeText(list, fleetList(fleet) + "127.0.10.99,1\n");
    const std::string results = dir.file("results.jsonl");
    EXPECT_EQ(
        runCommand("batch", {"--timeout", "1", "--results-format", "jsonl", "--results", results, list, "info"}).code,
        ExitPartial);
    const std::string text = readText(results);
    EXPECT_EQ(text.front(), '{');
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 4);
    for (size_t i = 0; i < fleet.size(); ++i)
        fleet.box(i).clearFrames();
    const CliRun resumed = runCommand("batch", {"--timeout", "1", "--results-format", "jsonl", "--resume", results,
                                                "--results", results, list, "info"});
    EXPECT_EQ(resumed.code, ExitPartial);
    for (size_t i = 0; i < fleet.size(); ++i)
        EXPECT_TRUE(fleet.box(i).frames().empty()) << i;
    EXPECT_EQ(rowsOf(results).size(), 4u);
    EXPECT_EQ(runCommand("batch", {"--results-format", "xml", list, "info"}).code, ExitUsage);
}

// Faults caught: a box counted twice when files overlap, the first row winning over a rerun's,
// a failure missing from the list, success claimed while a box is not ok.
TEST_F(Fleet, BatchReportSumsConcatenatedAndOverlappingFiles)
{
    const std::string a = dir.file("a.csv"), b = dir.file("b.jsonl"), both = dir.file("both.csv");
    writeText(a, std::string(resultsTitleRow()) + resultRow({"10.0.0.1", 9003, "SN1", "ok", 0, "", 1}) +
                     resultRow({"10.0.0.2", 9003, "SN2", "unreachable", 1, "10.0.0.2:9003: no answer", 15}) +
                     resultRow({"10.0.0.3", 9003, "SN3", "error", 1, "10.0.0.3: the box closed\nthe link", 2}));
    // A second run fixed 10.0.0.2 and found 10.0.0.4 unchanged; 10.0.0.3 is listed twice in one file.
    writeText(b, resultJsonLine({"10.0.0.2", 9003, "SN2", "ok", 0, "", 1}) +
                     resultJsonLine({"10.0.0.4", 9003, "SN4", "ok", 0, "unchanged", 1}));
    writeText(both, readText(a) + resultsTitleRow() + resultRow({"10.0.0.3", 9003, "SN3", "auth", 1, "refused", 1}));

    CliRun r = runCommand("batch-report", {a, b});
    EXPECT_EQ(r.code, ExitPartial);
    EXPECT_EQ(r.out, "ok: 3 (1 unchanged)\nerror: 1\nboxes: 4\n\nnot ok:\n"
                     "  10.0.0.3:9003 SN3 error: 10.0.0.3: the box closed\n\n"
                     "listed more than once (the latest row counts):\n  10.0.0.2:9003: 2 rows, latest ok\n");
    r = runCommand("batch-report", {both});
    EXPECT_NE(r.out.find("unreachable: 1\nauth: 1\nboxes: 3\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("10.0.0.3:9003: 2 rows, latest auth"), std::string::npos) << r.out;

    writeText(a, std::string(resultsTitleRow()) + resultRow({"10.0.0.1", 9003, "SN1", "ok", 0, "", 1}));
    r = runCommand("batch-report", {a, b});
    EXPECT_EQ(r.code, ExitOk);
    EXPECT_EQ(r.out, "ok: 3 (1 unchanged)\nboxes: 3\n");
    EXPECT_EQ(runCommand("batch-report", {a, dir.file("missing.csv")}).code, ExitError);
    writeText(a, resultsTitleRow());
    EXPECT_EQ(runCommand("batch-report", {a}).code, ExitError); // no box at all is no success
    EXPECT_EQ(runCommand("batch-report", {}).code, ExitUsage);
}

// The README's GNU parallel recipe, with the local machine as its one login of four job slots:
// the shards together cover every box exactly once, and batch-report counts them.
TEST_F(Fleet, GnuParallelRecipeCoversEveryBoxOnce)
{
    if (std::system("parallel --version >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "GNU parallel is not installed (Debian package parallel, see scripts/setup.sh)";
    sim::SimFleet fleet(fleetOptions(23, 0, "127.0.10.41"));
    ASSERT_TRUE(fleet.start());
    writeText(dir.file("boxes.csv"), fleetList(fleet));
    writeText(dir.file("machines.txt"), "4/:\n");
    const std::string command =
        "cd '" + dir.path + "' && QUILLON_PASSWORD=quillon HOME='" + dir.path +
        "' parallel --will-cite --sshloginfile machines.txt '" QUILLON_CLI
        "' --user admin batch --shard auto --shard-count 4 --results 'shard-{}.csv' boxes.csv info ::: 1 2 3 4"
        " > parallel.out 2>&1";
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << readText(dir.file("parallel.out"));
    std::map<std::pair<std::string, int>, int> seen;
    size_t biggest = 0, smallest = fleet.size();
    for (int k = 1; k <= 4; ++k) {
        const auto rows = rowsOf(dir.file("shard-" + std::to_string(k) + ".csv"));
        biggest = std::max(biggest, rows.size());
        smallest = std::min(smallest, rows.size());
        for (const BoxResult& r : rows) {
            ++seen[{r.host, r.port}];
            EXPECT_EQ(r.status, "ok") << r.host << ": " << r.message;
        }
    }
    EXPECT_EQ(biggest, 6u);
    EXPECT_EQ(smallest, 5u);
    ASSERT_EQ(seen.size(), fleet.size());
    for (size_t i = 0; i < fleet.size(); ++i)
        EXPECT_EQ((seen[{fleet.address(i), fleet.port(i)}]), 1) << fleet.address(i);
    const CliRun report = runCommand("batch-report", {dir.file("shard-1.csv"), dir.file("shard-2.csv"),
                                                      dir.file("shard-3.csv"), dir.file("shard-4.csv")});
    EXPECT_EQ(report.code, ExitOk);
    EXPECT_EQ(report.out, "ok: 23\nboxes: 23\n");
}
