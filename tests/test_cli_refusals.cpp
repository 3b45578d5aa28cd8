// What quillon-cli must never do: connect for a command that lacks its arguments, or show a
// secret on any of its outputs (standard output, standard error, its log file), dry runs included.
#include "LiveLogSupport.h"
#include "ProcessRunner.h"
#include "SilentListener.h"

#include <Command.h>
#include <StbSimulator.h>

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace quillon;
using namespace quillon::test;

namespace
{

const std::string kCli = QUILLON_CLI;

// Commands that do something useful with no argument at all; every other command needs some.
// livelog would start receiving, so it is not run here; snapshots lists what this PC keeps.
const std::set<std::string> kRunWithoutArguments = {"info", "config",  "channels", "pcap",
                                                    "stop", "livelog", "snapshots"};

cli::LinkSession* refuseToConnect(cli::Context& c)
{
    ++*static_cast<int*>(c.owner);
    return nullptr;
}

} // namespace

// Faults caught: a command that connects (and then fails for the box's reason, or worse,
// acts) although it was given nothing to act on, or that reports the missing argument as an
// error (1) instead of a usage error (2). A new command must be placed in one group or the other.

namespace
{

// Global options as a user gives them for a box: host, user and password all present.
cli::GlobalOptions loginGiven()
{
    cli::GlobalOptions globals;
    globals.host = "127.0.0.1";
    globals.user = "admin";
    globals.password = "x";
    globals.passwordGiven = true;
    return globals;
}

} // namespace

TEST(CliRefusals, EveryCommandWithoutItsArgumentsRefusesWithoutConnecting)
{
    size_t checked = 0;
    for (const auto& command : cli::allCommands()) {
        const std::string name = command->name();
        SCOPED_TRACE(name);
        if (kRunWithoutArguments.count(name))
            continue;
        int connects = 0;
        std::ostringstream out, err;
        cli::GlobalOptions globals = loginGiven();
        cli::Context c{{}, out, err, &refuseToConnect, &connects, &globals};
        EXPECT_EQ(command->run(c), cli::ExitUsage);
        EXPECT_EQ(connects, 0);
        EXPECT_EQ(out.str(), "");
        ++checked;
    }
    EXPECT_GE(checked, 14u);
}

// Faults caught: a malformed argument taken as a value (and sent to the box, or used for a
// receiver), a bound off by one, a refusal without its reason, a connection made first. Each
// command is given arguments of the right count but the wrong kind.
TEST(CliRefusals, MalformedArgumentsAreRefusedWithTheReasonBeforeConnecting)
{
    struct Case {
        std::string command;
        std::vector<std::string> args;
        std::string said; // on standard error; empty: the usage line alone (printed by main)
    };
    const Case cases[] = {
        {"pcap", {"--ip"}, ""},
        {"pcap", {"--bogus", "1"}, ""},
        // A field separator in any of the four texts would split the frame the box gets.
        {"pcap",
         {"--ip", "10.0.0.1", "--port", "22^reboot"},
         "quillon-cli: \"^\" is not allowed in a capture option\n"},
        {"pcap", {"--ip", "10.0.0.1^reboot"}, "quillon-cli: \"^\" is not allowed in a capture option\n"},
        {"pcap", {"--time", "60^reboot"}, "quillon-cli: \"^\" is not allowed in a capture option\n"},
        {"pcap", {"--size", "^64"}, "quillon-cli: \"^\" is not allowed in a capture option\n"},
        {"logparams", {"get", "x"}, ""},
        {"logparams", {"get", "-2"}, ""},
        {"logparams", {"get", "0", "1"}, ""},
        {"logparams", {"set", "0", "10.0.0.1", "x", "16", "2"}, ""},
        {"logparams", {"set", "0", "10.0.0.1", "7", "16", "1001"}, ""},
        {"logparams", {"show", "0"}, ""},
        {"livelog", {"--port", "65536"}, "quillon-cli: livelog: --port must be 0 to 65535\n"},
        {"livelog", {"--port", "-1"}, "quillon-cli: livelog: --port must be 0 to 65535\n"},
        {"livelog", {"--port", "514x"}, "quillon-cli: livelog: --port must be 0 to 65535\n"},
        {"livelog", {"--filter", ""}, "quillon-cli: livelog: --filter needs a word\n"},
        {"livelog", {"--colour", "red"}, "quillon-cli: livelog: unknown option --colour\n"},
        {"livelog", {"--out"}, "quillon-cli: livelog: --out needs a value\n"},
        {"livelog", {"live.log"}, "quillon-cli: livelog: live.log?\n"},
        {"livelog", {"--bind", "localhost"}, "quillon-cli: livelog: --bind must be an IPv4 address: localhost\n"},
    };
    for (const Case& k : cases) {
        std::string shown = k.command;
        for (const std::string& a : k.args)
            shown += " [" + a + "]";
        SCOPED_TRACE(shown);
        cli::Command* command = nullptr;
        const auto all = cli::allCommands();
        for (const auto& candidate : all)
            command = candidate->name() == k.command ? candidate.get() : command;
        ASSERT_NE(command, nullptr);
        int connects = 0;
        std::ostringstream out, err;
        cli::GlobalOptions globals = loginGiven();
        cli::Context c{k.args, out, err, &refuseToConnect, &connects, &globals};
        EXPECT_EQ(command->run(c), cli::ExitUsage);
        EXPECT_EQ(connects, 0);
        EXPECT_EQ(out.str(), "");
        EXPECT_EQ(err.str(), k.said);
    }
}

// The same as a program, with the box's address and credentials given: exit status 2, the
// command's usage on standard error, nothing on standard output, and no connection made.
TEST(CliRefusals, TheProgramRefusesBeforeConnecting)
{
    test::SilentListener box;
    ASSERT_NE(box.port(), 0);
    for (const auto& command : cli::allCommands()) {
        const std::string name = command->name();
        if (kRunWithoutArguments.count(name))
            continue;
        SCOPED_TRACE(name);
        const ProcessResult r = runProcess(
            kCli,
            {"--host", "127.0.0.1", "--port", std::to_string(box.port()), "--user", "admin", "--password", "x", name},
            {{"QUILLON_PASSWORD", std::nullopt}});
        EXPECT_EQ(r.status, 2) << r.err;
        EXPECT_EQ(r.out, "");
        EXPECT_NE(r.err.find("usage"), std::string::npos) << r.err;
        EXPECT_EQ(box.connections(), 0);
    }
}

namespace
{

// Every password the configuration holds, each with a value found nowhere else.
const std::vector<std::pair<std::string, std::string>> kSecretKeys = {
    {"netuserpassword", "pppoe-Secret-71"},
    {"dhcppassword", "dhcp-Secret-72"},
    {"ntvuserpassword", "iptv-Secret-73"},
    {"TMSPassword", "tms-Secret-74"},
};
const std::string kLoginPassword = "login-Secret-70";

std::string slurp(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class CliSecrets : public ::testing::Test
{
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/quillon-secrets-XXXXXX";
        dir = ::mkdtemp(pattern);
        sim::SimOptions o;
        o.port = 0;
        o.channels = 2;
        o.password = kLoginPassword;
        box = std::make_unique<sim::StbSimulator>(o);
        ASSERT_TRUE(box->start());
        // The log file of the program, wherever it is written, is read from its start on.
        logAt = std::filesystem::exists(logPath()) ? std::filesystem::file_size(logPath()) : 0;
    }
    void TearDown() override
    {
        box->stop();
        std::filesystem::remove_all(dir);
    }
    std::filesystem::path logPath() const { return std::filesystem::path(kCli).replace_extension(".log"); }
    // quillon-cli against the box; the password from the environment unless given.
    ProcessResult cli(std::vector<std::string> args)
    {
        std::vector<std::string> all = {"--host", "127.0.0.1", "--port", std::to_string(box->port()),
                                        "--user", "admin"};
        all.insert(all.end(), args.begin(), args.end());
        return runProcess(kCli, all, {{"QUILLON_PASSWORD", kLoginPassword}, {"XDG_STATE_HOME", dir}});
    }
    // Every output the program left: both streams and its log, since the run began.
    void expectNoSecret(const ProcessResult& r, const std::string& what)
    {
        std::string log = slurp(logPath());
        log = log.size() > logAt ? log.substr(logAt) : std::string();
        log += slurp(std::filesystem::path(dir) / "quillon" / "quillon-cli.log");
        for (const auto& [where, text] :
             {std::pair<const char*, const std::string&>{"stdout", r.out}, {"stderr", r.err}, {"log", log}}) {
            EXPECT_EQ(text.find(kLoginPassword), std::string::npos) << what << " on " << where << ":\n" << text;
            for (const auto& [key, secret] : kSecretKeys)
                EXPECT_EQ(text.find(secret), std::string::npos) << what << ": " << key << " on " << where << ":\n"
                                                                << text;
        }
    }

    std::string dir;
    std::unique_ptr<sim::StbSimulator> box;
    uintmax_t logAt = 0;
};

} // namespace

// Faults caught: one password key left out of the masking, a dry run or a real write that
// prints a password in either column, the login password echoed in a message or the log.
TEST_F(CliSecrets, NoPasswordOnAnyOutputOfAChange)
{
    // The box is on DHCP: the PPPoE password travels only together with that connection type.
    const std::vector<std::string> dhcpKeys = {"dhcppassword", "ntvuserpassword", "TMSPassword"};
    auto secretOf = [](const std::string& key) {
        for (const auto& [k, secret] : kSecretKeys)
            if (k == key)
                return secret;
        return std::string();
    };
    std::vector<std::string> assignments;
    for (const std::string& key : dhcpKeys)
        assignments.push_back(key + "=" + secretOf(key));
    const std::vector<std::string> pppoe = {"connecttype=1", "netuserpassword=" + secretOf("netuserpassword")};

    auto setArgs = [](std::vector<std::string> head, const std::vector<std::string>& tail) {
        head.insert(head.end(), tail.begin(), tail.end());
        return head;
    };
    const ProcessResult dry = cli(setArgs({"set", "--dry-run", "--no-snapshot"}, assignments));
    EXPECT_EQ(dry.status, 0) << dry.err;
    expectNoSecret(dry, "set --dry-run");
    for (const std::string& key : dhcpKeys)
        EXPECT_NE(dry.out.find(key + ": *** -> ***"), std::string::npos) << dry.out;
    const ProcessResult dryPppoe = cli(setArgs({"set", "--dry-run", "--no-snapshot"}, pppoe));
    EXPECT_EQ(dryPppoe.status, 0) << dryPppoe.err;
    expectNoSecret(dryPppoe, "set --dry-run (PPPoE)");
    EXPECT_NE(dryPppoe.out.find("netuserpassword: *** -> ***"), std::string::npos) << dryPppoe.out;

    // The box's own parameter file, with the passwords edited: what a user applies.
    const ProcessResult config = cli({"config"});
    ASSERT_EQ(config.status, 0) << config.err;
    std::string params;
    std::istringstream lines(config.out);
    for (std::string line; std::getline(lines, line);) {
        for (const std::string& key : dhcpKeys)
            if (line.rfind(key + " = ", 0) == 0)
                line = key + " = " + secretOf(key) + (line.back() == '\r' ? "\r" : "");
        params += line + "\n";
    }
    const std::string file = dir + "/params.txt";
    std::ofstream(file, std::ios::binary) << params;
    const ProcessResult applyDry = cli({"apply", "--dry-run", "--no-snapshot", file});
    EXPECT_EQ(applyDry.status, 0) << applyDry.err;
    expectNoSecret(applyDry, "apply --dry-run");
    for (const std::string& key : dhcpKeys)
        EXPECT_NE(applyDry.out.find(key + ": *** -> ***"), std::string::npos) << applyDry.out;

    const ProcessResult apply = cli({"apply", "--no-snapshot", file});
    EXPECT_EQ(apply.status, 0) << apply.err;
    expectNoSecret(apply, "apply");
    const ProcessResult set = cli(setArgs({"set", "--no-snapshot"}, pppoe));
    EXPECT_EQ(set.status, 0) << set.err;
    expectNoSecret(set, "set");
    for (const auto& [key, secret] : kSecretKeys)
        EXPECT_EQ(box->value(key), secret); // the values did reach the box

    // A refused login names the box, not the password tried.
    const ProcessResult refused = runProcess(kCli,
                                             {"--host", "127.0.0.1", "--port", std::to_string(box->port()), "--user",
                                              "admin", "--password", kLoginPassword + "x", "info"},
                                             {{"QUILLON_PASSWORD", std::nullopt}, {"XDG_STATE_HOME", dir}});
    EXPECT_EQ(refused.status, 1);
    expectNoSecret(refused, "refused login");
}

// The live log cannot start: exit status 1 with the file or the port and the system's reason.
// Faults caught: a failure to open an output file ignored (the log silently not kept), a port in
// use reported as success or without its number, a malformed bind address or a port in use
// emptying the files of an earlier run.
TEST(CliLiveLog, AReceiverThatCannotStartSaysWhy)
{
    char pattern[] = "/tmp/quillon-livelog-XXXXXX";
    const std::filesystem::path dir = ::mkdtemp(pattern);
    const std::string kept = (dir / "live.log").string();
    std::ofstream(kept) << "yesterday's log\n";
    auto livelog = [](std::vector<std::string> args, std::string& err) {
        for (const auto& command : cli::allCommands()) {
            if (std::string(command->name()) != "livelog")
                continue;
            std::ostringstream out, errText;
            cli::Context c{std::move(args), out, errText, nullptr, nullptr, nullptr};
            const int code = command->run(c);
            err = errText.str();
            EXPECT_EQ(out.str(), "");
            return code;
        }
        return -1;
    };
    std::string err;
    EXPECT_EQ(livelog({"--out", kept, "--bind", "box.local", "--port", "0"}, err), cli::ExitUsage);
    EXPECT_EQ(slurp(kept), "yesterday's log\n");

    const std::string missing = (dir / "no-such-folder" / "live.log").string();
    EXPECT_EQ(livelog({"--port", "0", "--out", missing}, err), cli::ExitError);
    EXPECT_EQ(err, "quillon-cli: can't open live log file:" + missing + "\n");
    EXPECT_EQ(livelog({"--port", "0", "--filtered-out", missing}, err), cli::ExitError);
    EXPECT_EQ(err, "quillon-cli: can't open filter save log file:" + missing + "\n");

    HeldUdpPort busy;
    ASSERT_NE(busy.port(), 0);
    const std::string port = std::to_string(busy.port());
    const std::string filtered = (dir / "filtered.log").string();
    std::ofstream(filtered) << "yesterday's matches\n";
    EXPECT_EQ(livelog({"--bind", "127.0.0.1", "--port", port, "--out", kept, "--filtered-out", filtered}, err),
              cli::ExitError);
    EXPECT_EQ(err, "quillon-cli: bind UDP port " + port + ": " + std::strerror(EADDRINUSE) + "\n");
    // The port was taken: the files of the earlier run are as they were.
    EXPECT_EQ(slurp(kept), "yesterday's log\n");
    EXPECT_EQ(slurp(filtered), "yesterday's matches\n");
    std::filesystem::remove_all(dir);
}

// Faults caught: a command that takes a fixed number of words and, given one word more, acts on
// the box with the words it knows (a "trick back now" that rewinds what the box plays) instead
// of refusing the line as a usage error before connecting.
TEST(CliRefusals, OneWordTooManyRefusesWithoutConnecting)
{
    const std::vector<std::vector<std::string>> lines = {
        {"info", "extra"},
        {"config", "extra"},
        {"stop", "extra"},
        {"channels", "list.txt", "extra"},
        {"trick", "back", "extra"},
        {"trick", "pause", "forward"},
        {"play", "5", "extra"},
        {"traceroute", "10.0.0.1", "extra"},
        {"ping", "10.0.0.1", "4", "extra"},
        {"export-params", "params.txt", "extra"},
        {"logparams", "get", "1", "extra"},
        {"upgrade", "a.img", "b.img"},
        {"upgrade", "--force", "a.img", "b.img"},
        {"import-params", "a.ini", "b.ini"},
        {"zone-info", "a.cfg", "b.cfg"},
        {"pcap", "extra"},
    };
    const auto commands = cli::allCommands();
    for (const auto& line : lines) {
        SCOPED_TRACE(line[0] + " with " + std::to_string(line.size() - 1) + " words");
        cli::Command* command = nullptr;
        for (const auto& candidate : commands)
            if (line[0] == candidate->name())
                command = candidate.get();
        ASSERT_NE(command, nullptr);
        int connects = 0;
        std::ostringstream out, err;
        cli::GlobalOptions globals = loginGiven();
        cli::Context c{
            std::vector<std::string>(line.begin() + 1, line.end()), out, err, &refuseToConnect, &connects, &globals};
        EXPECT_EQ(command->run(c), cli::ExitUsage);
        EXPECT_EQ(connects, 0);
        EXPECT_EQ(out.str(), "");
    }
}
