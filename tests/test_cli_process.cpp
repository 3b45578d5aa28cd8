// The built quillon-cli run as a program: its options, environment, output and exit statuses,
// against a simulated box in this process or started as its own program.
#include "ProcessRunner.h"
#include "SilentListener.h"
#include "Unprivileged.h"

#include <BoxText.h>
#include <Session.h>
#include <StbSimulator.h>
#include <StringTable.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>

#include <pwd.h>
#include <unistd.h>

using namespace quillon;
using namespace quillon::test;

namespace
{

const std::string kCli = QUILLON_CLI;
const std::string kStbSim = QUILLON_STBSIM;

// No password from the environment the suite runs in.
const EnvChanges kNoPassword = {{"QUILLON_PASSWORD", std::nullopt}};

// A text of the string table in `language`, whatever the language of this process.
template <typename Lookup> std::string inLanguage(uint8_t language, Lookup lookup)
{
    const uint8_t saved = uiLanguage();
    setUiLanguage(language);
    std::string t = lookup();
    setUiLanguage(saved);
    return t;
}

std::string text(int id, uint8_t language)
{
    return inLanguage(language, [id] { return loadUiString(id); });
}

std::string codeText(int code, uint8_t language)
{
    return inLanguage(language, [code] { return statusCodeText(code); });
}

std::string slurpFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool contains(const std::string& haystack, const std::string& needle)
{
    return haystack.find(needle) != std::string::npos;
}

class CliProgram : public ::testing::Test
{
protected:
    void start(bool gbkValues = false)
    {
        sim::SimOptions o;
        o.port = 0;
        o.channels = 3;
        o.gbkValues = gbkValues;
        box = std::make_unique<sim::StbSimulator>(o);
        ASSERT_TRUE(box->start());
    }
    void TearDown() override
    {
        if (box)
            box->stop();
    }
    // quillon-cli with the box's address and user, then `args`.
    ProcessResult cli(std::vector<std::string> args, const EnvChanges& env = kNoPassword)
    {
        std::vector<std::string> all = {"--host", "127.0.0.1", "--port", std::to_string(box->port()),
                                        "--user", "admin"};
        all.insert(all.end(), args.begin(), args.end());
        return runProcess(kCli, all, env);
    }

    std::unique_ptr<sim::StbSimulator> box;
};

} // namespace

// Faults caught: a malformed option taken (or silently ignored) instead of exit status 2, a
// bound off by one, a usage error reported as an error.
TEST(CliOptions, UsageErrorsExitWithTwoAndSayWhy)
{
    struct Case {
        std::vector<std::string> args;
        const char* said; // on standard error
    };
    const Case cases[] = {
        {{}, "usage: quillon-cli"},
        {{"--port", "0", "info"}, "--port must be 1 to 65535"},
        {{"--port", "65536", "info"}, "--port must be 1 to 65535"},
        {{"--port", "-1", "info"}, "--port must be 1 to 65535"},
        {{"--port", "9003x", "info"}, "--port must be 1 to 65535"},
        {{"--port", "", "info"}, "--port must be 1 to 65535"},
        {{"--lang", "fr", "info"}, "--lang must be en or zh"},
        {{"--box-encoding", "latin1", "info"}, "--box-encoding must be gbk or utf-8"},
        {{"--box-encoding", "", "info"}, "--box-encoding must be gbk or utf-8"},
        {{"--colour", "x", "info"}, "unknown option --colour"},
        {{"--host"}, "--host needs a value"},
        {{"--host", "127.0.0.1", "--user", "admin", "frobnicate"}, "unknown command frobnicate"},
        {{"--host", "127.0.0.1", "--user", "admin", "info"}, "info needs --host, --user and a password"},
        {{"--user", "admin", "--password", "x", "info"}, "info needs --host, --user and a password"},
        {{"--host", "127.0.0.1", "--user", "admin", "--password", "x", "info", "extra"},
         "usage: quillon-cli [options] info"},
        {{"zone-info"}, "usage: quillon-cli zone-info FILE"},
        {{"--box-modulus", "CB83A02F", "info"}, "quillon-cli: the box modulus must be 256 hexadecimal digits"},
        {{"--box-modulus", std::string(255, 'A') + "G", "info"}, "the box modulus must be 256 hexadecimal digits"},
        {{"--box-modulus", "@/nonexistent/box.modulus", "info"},
         "quillon-cli: cannot read the box modulus file /nonexistent/box.modulus"},
    };
    for (const Case& c : cases) {
        const ProcessResult r = runProcess(kCli, c.args, kNoPassword);
        std::string shown;
        for (const std::string& a : c.args)
            shown += "[" + a + "] ";
        EXPECT_EQ(r.status, 2) << shown << r.err;
        EXPECT_TRUE(contains(r.err, c.said)) << shown << r.err;
        EXPECT_EQ(r.out, "") << shown;
    }
    const ProcessResult help = runProcess(kCli, {"--help"}, kNoPassword);
    EXPECT_EQ(help.status, 0);
    EXPECT_TRUE(contains(help.out, "--box-encoding gbk|utf-8")) << help.out;
    EXPECT_TRUE(contains(help.out, "zone-info"));
    EXPECT_TRUE(contains(help.out, "QUILLON_PASSWORD"));

    // The questions a script asks before it runs anything: answered on standard output, exit 0.
    const ProcessResult version = runProcess(kCli, {"--version"}, kNoPassword);
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out.rfind("quillon-cli ", 0), 0u) << version.out;
    EXPECT_GT(version.out.size(), std::string("quillon-cli \n").size());
    const ProcessResult names = runProcess(kCli, {"--commands"}, kNoPassword);
    EXPECT_EQ(names.status, 0);
    EXPECT_TRUE(contains("\n" + names.out, "\ninfo\n")) << names.out;
    EXPECT_TRUE(contains(names.out, "\ntraceroute\n")) << names.out;
    EXPECT_FALSE(contains(names.out, " ")) << names.out; // names only, one a line
    const ProcessResult commandHelp = runProcess(kCli, {"traceroute", "--help"}, kNoPassword);
    EXPECT_EQ(commandHelp.status, 0);
    EXPECT_TRUE(contains(commandHelp.out, "usage: quillon-cli [options] traceroute IP\n")) << commandHelp.out;
    EXPECT_TRUE(contains(commandHelp.out, "Needs a box")) << commandHelp.out;
    EXPECT_EQ(commandHelp.err, "");
}

// Faults caught: the bounds themselves refused; an error that does not name the box or the reason.
TEST(CliOptions, PortBoundsAreTakenAndAFailedConnectNamesTheBox)
{
    for (const char* port : {"1", "65535"}) {
        const ProcessResult r =
            runProcess(kCli, {"--host", "127.0.0.1", "--port", port, "--user", "a", "--password", "b", "info"});
        EXPECT_EQ(r.status, 1) << port << r.err;
        EXPECT_TRUE(contains(r.err, std::string("cannot connect to 127.0.0.1:") + port + ": Connection refused"))
            << r.err;
    }
    // A host that is no IPv4 address is not looked up: the connect fails at once, naming it.
    const ProcessResult named =
        runProcess(kCli, {"--host", "stb.example", "--user", "a", "--password", "b", "info"}, kNoPassword);
    EXPECT_EQ(named.status, 1);
    EXPECT_EQ(named.err, std::string("cannot connect to stb.example:9003: ") + std::strerror(EINVAL) + "\n");
    EXPECT_EQ(named.out, "");
}

// Faults caught: the environment variable ignored, or taking precedence over --password.
TEST_F(CliProgram, PasswordComesFromTheOptionOrTheEnvironment)
{
    start();
    EXPECT_EQ(cli({"info"}, {{"QUILLON_PASSWORD", sim::kDefaultPassword}}).status, 0);
    EXPECT_EQ(cli({"--password", sim::kDefaultPassword, "info"}, {{"QUILLON_PASSWORD", "wrong"}}).status, 0);
    const ProcessResult refused = cli({"--password", "wrong", "info"}, {{"QUILLON_PASSWORD", sim::kDefaultPassword}});
    EXPECT_EQ(refused.status, 1);
    EXPECT_TRUE(contains(refused.err, "127.0.0.1: the box refused the session: 501 (" + codeText(501, LanguageEnglish)))
        << refused.err;
    EXPECT_EQ(refused.out, "");
    // An empty variable is a password too: the box refuses it, it is not a usage error.
    EXPECT_EQ(cli({"info"}, {{"QUILLON_PASSWORD", ""}}).status, 1);
}

// Faults caught: --lang not applied to the box's texts or to the offline commands.
TEST_F(CliProgram, LangChoosesTheLanguageOfMessages)
{
    start();
    const ProcessResult english = cli({"--password", "wrong", "info"});
    const ProcessResult chinese = cli({"--lang", "zh", "--password", "wrong", "info"});
    const std::string en501 = codeText(501, LanguageEnglish);
    const std::string zh501 = codeText(501, LanguageChinese);
    ASSERT_NE(en501, zh501);
    EXPECT_TRUE(contains(english.err, en501)) << english.err;
    EXPECT_TRUE(contains(chinese.err, zh501)) << chinese.err;
    const ProcessResult missing = runProcess(kCli, {"--lang", "zh", "zone-info", "/nonexistent/common.cfg"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err, text(471, LanguageChinese) + "/nonexistent/common.cfg\n");
}

// Faults caught: a partial read reported as success (0) or as failure (1), its failures not shown.
TEST_F(CliProgram, ExitStatusesZeroOneAndThree)
{
    start();
    const ProcessResult ok = cli({"--password", sim::kDefaultPassword, "info"});
    EXPECT_EQ(ok.status, 0) << ok.err;
    EXPECT_TRUE(contains(ok.out, "STB_model = QB-5000\n")) << ok.out;
    EXPECT_TRUE(contains(ok.out, "ChipId = 0x7425B0\n"));
    EXPECT_EQ(ok.err, "");

    sim::SimFaults faults;
    faults.statusOverride["CASType"] = 401;
    box->setFaults(faults);
    const ProcessResult part = cli({"--password", sim::kDefaultPassword, "info"});
    EXPECT_EQ(part.status, 3) << part.err;
    EXPECT_TRUE(contains(part.err, "read CASType failed,errorid:401;")) << part.err;
    EXPECT_TRUE(contains(part.out, "STB_model = QB-5000\n"));

    box->stop();
    const ProcessResult gone = cli({"--password", sim::kDefaultPassword, "info"});
    EXPECT_EQ(gone.status, 1);
    EXPECT_TRUE(contains(gone.err, "cannot connect to 127.0.0.1:")) << gone.err;
}

// Faults caught: --box-modulus @FILE not read (or read without dropping its line ends and case),
// the option ignored so that the built-in key is used anyway, a wrong key reported as anything but
// the key.
TEST_F(CliProgram, BoxModulusFromAFileIsTheKeyTheSessionOpensWith)
{
    start();
    const std::filesystem::path path =
        std::filesystem::temp_directory_path() / ("quillon-cli-modulus-" + std::to_string(::getpid()));
    std::string lowered = kDefaultBoxModulus;
    for (char& c : lowered)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    std::ofstream(path) << lowered.substr(0, 128) << "\r\n  " << lowered.substr(128) << "\n";
    const ProcessResult right =
        cli({"--box-modulus", "@" + path.string(), "--password", sim::kDefaultPassword, "info"});
    EXPECT_EQ(right.status, 0) << right.err;
    EXPECT_TRUE(contains(right.out, "STB_model = QB-5000\n")) << right.out;

    // Another family's key: well formed, but the box's sealed session key does not open with it.
    std::string other = kDefaultBoxModulus;
    other[200] = other[200] == 'A' ? 'B' : 'A';
    std::ofstream(path) << other << "\n";
    for (const std::string& given : {"@" + path.string(), other}) {
        const ProcessResult wrong = cli({"--box-modulus", given, "--password", sim::kDefaultPassword, "info"});
        EXPECT_EQ(wrong.status, 1);
        EXPECT_EQ(wrong.err, "127.0.0.1: the session key could not be opened: is --box-modulus right for this box?\n");
        EXPECT_EQ(wrong.out, "");
    }
    std::filesystem::remove(path);
}

namespace
{

// Runs quillon-cli until `ready` holds for what it has printed so far, then presses Ctrl-C;
// returns what it printed and its exit status, and how long it took after the key.
struct Interrupted {
    ProcessResult result;
    std::chrono::milliseconds afterKey{0};
};

Interrupted interruptWhen(const std::vector<std::string>& args, const std::function<bool(const std::string&)>& ready)
{
    Interrupted run;
    int outFd = -1, errFd = -1;
    const pid_t pid = startProcess(kCli, args, kNoPassword, outFd, errFd);
    if (pid < 0)
        return run;
    pollfd fds[2] = {{outFd, POLLIN, 0}, {errFd, POLLIN, 0}};
    std::string* sinks[2] = {&run.result.out, &run.result.err};
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    auto keyAt = std::chrono::steady_clock::time_point::max();
    int open = 2;
    while (open > 0 && std::chrono::steady_clock::now() < deadline) {
        if (keyAt == std::chrono::steady_clock::time_point::max() && ready(run.result.out)) {
            ::kill(pid, SIGINT);
            keyAt = std::chrono::steady_clock::now();
        }
        if (::poll(fds, 2, 100) < 0)
            break;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            char buffer[4096];
            const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
            if (n > 0) {
                sinks[i]->append(buffer, static_cast<size_t>(n));
            } else {
                ::close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            }
        }
    }
    if (open > 0)
        ::kill(pid, SIGKILL);
    for (pollfd& f : fds) {
        if (f.fd >= 0)
            ::close(f.fd);
    }
    int raw = 0;
    ::waitpid(pid, &raw, 0);
    run.result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    run.afterKey = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - keyAt);
    return run;
}

} // namespace

// Ctrl-C during an endless ping or a trace route sends the box the stop frame, and the program
// ends with the box's summary once the box has stopped. Faults caught: the signal killing the
// program with the box still pinging, the stop frame not sent or sent for the other tool, the
// box's end text lost; and a read with nothing to stop hanging on after Ctrl-C.
TEST_F(CliProgram, CtrlCStopsTheRunningToolAtTheBox)
{
    start();
    const std::vector<std::string> login = {"--host", "127.0.0.1", "--port",     std::to_string(box->port()),
                                            "--user", "admin",     "--password", sim::kDefaultPassword};
    auto with = [&login](std::vector<std::string> args) {
        args.insert(args.begin(), login.begin(), login.end());
        return args;
    };

    auto shows = [](const std::string& text) { return [text](const std::string& out) { return contains(out, text); }; };
    const Interrupted ping = interruptWhen(with({"ping", "10.0.0.9"}), shows("64 bytes from 10.0.0.9"));
    EXPECT_EQ(ping.result.status, 0) << ping.result.err;
    EXPECT_TRUE(contains(ping.result.out, "--- 10.0.0.9 ping statistics ---\n")) << ping.result.out;
    EXPECT_LT(ping.afterKey, std::chrono::seconds(5));
    auto frames = box->frames();
    EXPECT_NE(std::find(frames.begin(), frames.end(), std::string("connect^ping^/stop") + '\0'), frames.end());

    box->clearFrames();
    const Interrupted route = interruptWhen(with({"traceroute", "10.0.0.9"}), shows("traceroute to 10.0.0.9"));
    EXPECT_EQ(route.result.status, 0) << route.result.err;
    EXPECT_FALSE(contains(route.result.out, " 5  10.0.0.9")) << route.result.out; // stopped before the last hop
    frames = box->frames();
    EXPECT_NE(std::find(frames.begin(), frames.end(), std::string("connect^traceroute^/stop") + '\0'), frames.end());
    EXPECT_LT(route.afterKey, std::chrono::seconds(5));

    // A read the box never answers has nothing to stop: Ctrl-C gives up at once, as an error.
    sim::SimFaults faults;
    faults.silentKeys = {"STBType"};
    box->setFaults(faults);
    box->clearFrames();
    const Interrupted stuck = interruptWhen(with({"cmd", "read", "STBType"}), [this](const std::string&) {
        const auto seen = box->frames();
        return std::any_of(seen.begin(), seen.end(), [](const std::string& f) { return contains(f, "STBType"); });
    });
    EXPECT_EQ(stuck.result.status, 1);
    EXPECT_EQ(stuck.result.out, "");
    EXPECT_TRUE(contains(stuck.result.err, "127.0.0.1: interrupted before the box answered\n")) << stuck.result.err;
    EXPECT_LT(stuck.afterKey, std::chrono::seconds(4));

    // A box that takes the connection but never sets up the session: Ctrl-C ends the wait, and
    // the error names the host.
    SilentListener silent;
    ASSERT_NE(silent.port(), 0);
    const auto started = std::chrono::steady_clock::now();
    const Interrupted setUp = interruptWhen(
        {"--host", "127.0.0.1", "--port", std::to_string(silent.port()), "--user", "admin", "--password", "x",
         "info"},
        [started](const std::string&) { return std::chrono::steady_clock::now() - started > std::chrono::milliseconds(500); });
    EXPECT_EQ(setUp.result.status, 1);
    EXPECT_EQ(setUp.result.out, "");
    EXPECT_EQ(setUp.result.err, "127.0.0.1: interrupted before the box answered\n");
    EXPECT_LT(setUp.afterKey, std::chrono::seconds(4));
}

// Faults caught: a GBK value shown as replacement characters, a typed value sent as UTF-8 to a
// GBK box, or --box-encoding utf-8 not applied to what is sent.
TEST_F(CliProgram, GbkValuesShowAsTextAndTypedValuesTakeTheBoxEncoding)
{
    start(true);
    for (const char* encoding : {"gbk", "utf-8"}) {
        const ProcessResult r = cli({"--box-encoding", encoding, "--password", sim::kDefaultPassword, "info"});
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_TRUE(contains(r.out, "STB_model = QB-5000 高清机顶盒\n")) << encoding << r.out;
        EXPECT_TRUE(contains(r.out, "ntvuseraccount = 用户一二三四五六七八九\n")) << encoding;
    }
    EXPECT_EQ(cli({"--password", sim::kDefaultPassword, "set", "ntvuseraccount=宽带01"}).status, 0);
    EXPECT_EQ(box->value("ntvuseraccount"), "\xBF\xED\xB4\xF8"
                                            "01");
    EXPECT_EQ(
        cli({"--box-encoding", "UTF-8", "--password", sim::kDefaultPassword, "set", "ntvuseraccount=宽带02"}).status,
        0);
    EXPECT_EQ(box->value("ntvuseraccount"), "宽带02");
}

// The simulated box as its own program, on a port the system picks.
TEST(CliWithSimProgram, AGbkBoxProgramShowsItsProductName)
{
    int outFd = -1, errFd = -1;
    const pid_t sim = startProcess(kStbSim, {"--listen", "127.0.0.1:0", "--gbk-values"}, {}, outFd, errFd);
    ASSERT_GT(sim, 0);
    ::close(errFd);
    // "quillon-stbsim listening on 127.0.0.1:PORT"
    std::string line;
    char c;
    pollfd p{outFd, POLLIN, 0};
    while (line.find('\n') == std::string::npos && ::poll(&p, 1, 10000) > 0 && ::read(outFd, &c, 1) == 1)
        line += c;
    const size_t colon = line.rfind(':');
    ASSERT_NE(colon, std::string::npos) << line;
    const std::string port = std::to_string(std::atoi(line.c_str() + colon + 1));
    const ProcessResult r = runProcess(kCli, {"--host", "127.0.0.1", "--port", port, "--user", sim::kDefaultUser,
                                              "--password", sim::kDefaultPassword, "info"});
    ::kill(sim, SIGTERM);
    int raw = 0;
    ::waitpid(sim, &raw, 0);
    ::close(outFd);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(contains(r.out, "STB_model = QB-5000 高清机顶盒\n")) << r.out;
    EXPECT_TRUE(WIFEXITED(raw) && WEXITSTATUS(raw) == 0);
}

// Offline commands: a GBK site file shows as text on the terminal.
TEST(CliOffline, ZoneInfoOfAGbkFile)
{
    const std::filesystem::path path =
        std::filesystem::temp_directory_path() / ("quillon-cli-zone-" + std::to_string(::getpid()) + ".cfg");
    std::ofstream(path, std::ios::binary) << "info = \xB1\xB1\xBE\xA9\r\n";
    const ProcessResult r = runProcess(kCli, {"zone-info", path.string()});
    std::filesystem::remove(path);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "北京\n");
}

// An installed program in a folder it cannot write to logs under $XDG_STATE_HOME/quillon/, else
// under ~/.local/state/quillon/. Faults caught: the log lost, or written beside the program anyway.
TEST(CliLog, AProgramInAReadOnlyFolderLogsInTheStateFolder)
{
    QUILLON_RUN_UNPRIVILEGED();
    namespace fs = std::filesystem;
    const fs::path root = fs::temp_directory_path() / ("quillon-cli-log-" + std::to_string(::getpid()));
    fs::remove_all(root);
    fs::create_directories(root / "bin");
    const fs::path program = root / "bin" / "quillon-cli";
    fs::copy_file(kCli, program);
    ASSERT_EQ(::chmod((root / "bin").c_str(), 0555), 0);
    ASSERT_NE(::access((root / "bin").c_str(), W_OK), 0) << "the folder must not be writable";

    // A connect to a closed port: the failure is logged.
    const std::vector<std::string> args = {"--host", "127.0.0.1",  "--port", "1",   "--user",
                                           "a",      "--password", "b",      "info"};
    const ProcessResult r = runProcess(program.string(), args, {{"XDG_STATE_HOME", (root / "state").string()}});
    EXPECT_EQ(r.status, 1);
    const fs::path log = root / "state" / "quillon" / "quillon-cli.log";
    ASSERT_TRUE(fs::exists(log)) << r.err;
    EXPECT_NE(slurpFile(log).find("connect socket failed."), std::string::npos);
    EXPECT_FALSE(fs::exists(root / "bin" / "quillon-cli.log"));

    const ProcessResult home =
        runProcess(program.string(), args, {{"XDG_STATE_HOME", std::nullopt}, {"HOME", root.string()}});
    EXPECT_EQ(home.status, 1);
    EXPECT_TRUE(fs::exists(root / ".local" / "state" / "quillon" / "quillon-cli.log"));

    // Not an installed program's folder, but one it cannot write to (a program unpacked and
    // made read-only): the state folder too. Fault caught: a folder taken as writable because it
    // can be read, so the log is lost ("Could not open file.").
    fs::create_directories(root / "unpacked");
    const fs::path unpacked = root / "unpacked" / "quillon-cli";
    fs::copy_file(kCli, unpacked);
    ASSERT_EQ(::chmod((root / "unpacked").c_str(), 0555), 0);
    const ProcessResult portable =
        runProcess(unpacked.string(), args, {{"XDG_STATE_HOME", (root / "portable-state").string()}});
    EXPECT_EQ(portable.status, 1);
    EXPECT_FALSE(contains(portable.err, "Could not open file.")) << portable.err;
    EXPECT_TRUE(fs::exists(root / "portable-state" / "quillon" / "quillon-cli.log")) << portable.err;
    ::chmod((root / "unpacked").c_str(), 0755);
    ::chmod((root / "bin").c_str(), 0755);
    fs::remove_all(root);
}

// Without HOME (a service, a cron job) the home folder comes from the user database. Fault
// caught: the log lost because no state folder was found, or written beside the program in bin.
TEST(CliLog, WithoutHomeTheUsersHomeFolderIsFound)
{
    namespace fs = std::filesystem;
    const passwd* me = ::getpwuid(::getuid());
    if (!me || !me->pw_dir || ::access(me->pw_dir, W_OK) != 0)
        GTEST_SKIP() << "this user has no writable home folder";
    const fs::path root = fs::temp_directory_path() / ("quillon-cli-home-" + std::to_string(::getpid()));
    fs::remove_all(root);
    fs::create_directories(root / "bin");
    const fs::path program = root / "bin" / "quillon-cli";
    fs::copy_file(kCli, program);
    const fs::path log = fs::path(me->pw_dir) / ".local" / "state" / "quillon" / "quillon-cli.log";
    std::error_code ec;
    const auto before = fs::exists(log) ? fs::file_size(log, ec) : 0;
    const std::vector<std::string> args = {"--host", "127.0.0.1",  "--port", "1",   "--user",
                                           "a",      "--password", "b",      "info"};
    const ProcessResult r =
        runProcess(program.string(), args, {{"XDG_STATE_HOME", std::nullopt}, {"HOME", std::nullopt}});
    EXPECT_EQ(r.status, 1);
    ASSERT_TRUE(fs::exists(log)) << r.err;
    EXPECT_GT(fs::file_size(log, ec), before);
    EXPECT_FALSE(fs::exists(root / "bin" / "quillon-cli.log"));
    fs::remove_all(root);
}

#ifdef QUILLON_WINDOW
// The window refuses a malformed option before it opens, with exit status 2.
TEST(WindowOptions, AMalformedBoxEncodingIsRefusedAtStart)
{
    const EnvChanges noDisplay = {{"QT_QPA_PLATFORM", "offscreen"}};
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--box-encoding", "latin1"}, std::vector<std::string>{"--box-encoding=big5"},
          std::vector<std::string>{"--box-encoding"}}) {
        const ProcessResult r = runProcess(QUILLON_WINDOW, args, noDisplay);
        EXPECT_EQ(r.status, 2) << args[0];
        EXPECT_TRUE(contains(r.err, "quillon: --box-encoding must be gbk or utf-8")) << r.err;
    }
    // The other options the same way: the live-log port's bounds, the modulus and its file.
    const std::pair<std::vector<std::string>, std::string> others[] = {
        {{"--live-log-port", "0"}, "quillon: --live-log-port must be 1 to 65535"},
        {{"--live-log-port=65536"}, "quillon: --live-log-port must be 1 to 65535"},
        {{"--live-log-port", "514x"}, "quillon: --live-log-port must be 1 to 65535"},
        {{"--live-log-port"}, "quillon: --live-log-port must be 1 to 65535"},
        {{"--box-modulus", "CB83"}, "the box modulus must be 256 hexadecimal digits"},
        {{"--box-modulus=@/nonexistent/box.modulus"}, "cannot read the box modulus file /nonexistent/box.modulus"},
        {{"--box-modulus"}, "--box-modulus needs a value"},
    };
    for (const auto& [args, said] : others) {
        const ProcessResult r = runProcess(QUILLON_WINDOW, args, noDisplay);
        EXPECT_EQ(r.status, 2) << args[0];
        EXPECT_TRUE(contains(r.err, said)) << args[0] << ": " << r.err;
    }
}

// Every option the window takes is in its --help and in its manual page.
TEST(WindowOptions, HelpAndManualListEveryOption)
{
    const ProcessResult r = runProcess(QUILLON_WINDOW, {"--help"}, {{"QT_QPA_PLATFORM", "offscreen"}});
    EXPECT_EQ(r.status, 0);
    std::ifstream manual(QUILLON_WINDOW_MANUAL);
    const std::string page((std::istreambuf_iterator<char>(manual)), std::istreambuf_iterator<char>());
    ASSERT_FALSE(page.empty());
    for (const char* option : {"--box-modulus", "--box-encoding", "--live-log-port", "--help", "--version"}) {
        EXPECT_TRUE(contains(r.out, option)) << option << "\n" << r.out;
        // The manual page escapes nothing in option names; each is a bold term of its own.
        EXPECT_NE(page.find(std::string("*") + option + "*"), std::string::npos) << option;
    }
}
#endif
