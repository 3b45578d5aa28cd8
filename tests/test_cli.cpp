#include "CliFixture.h"
#include "SilentListener.h"

#include <Command.h>
#include <FreeCommand.h>
#include <LinkSession.h>
#include <StringTable.h>

#include <SimDiagnostics.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace quillon;
using namespace quillon::cli;

namespace
{

using Cli = test::CliFixture;

std::vector<std::string> lines(const std::string& text)
{
    std::vector<std::string> result;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        result.push_back(line);
    return result;
}

} // namespace

TEST_F(Cli, InfoPrintsEveryKeyInOrderWithItsValue)
{
    box->setValue("dns", "192.168.1.53"); // not the gateway's address, so that a swap shows
    ASSERT_EQ(run("info", {}), ExitOk) << err.str();
    const auto l = lines(out.str());
    ASSERT_EQ(l.size(), 25u);
    EXPECT_EQ(l[0], "STB_model = QB-5000");
    EXPECT_EQ(l[7], "connecttype = 2");
    EXPECT_EQ(l[18], "timeZone = 8");
    EXPECT_EQ(l[19].rfind("localTime = ", 0), 0u);
    EXPECT_EQ(l[24], "ChipId = 0x7425B0");
    // Every line holds the box's own value of its key (the clock goes on, and the time zone is
    // shown in hours, as above).
    // Fault caught: two values printed under each other's key.
    for (size_t i = 0; i < l.size(); ++i) {
        const std::string key = kStbInfoKeys[i];
        if (key != "localTime" && key != "timeZone") {
            EXPECT_EQ(l[i], key + " = " + box->value(key));
        }
    }
}

TEST_F(Cli, ConfigPrintsAParameterFileWithUnsetValuesEmpty)
{
    sim::SimFaults faults;
    faults.statusOverride["AspectRatio"] = 401; // refused: stays unset
    box->setFaults(faults);
    ASSERT_EQ(run("config", {}), ExitPartial);
    const auto l = lines(out.str());
    ASSERT_EQ(l.size(), 39u);
    EXPECT_EQ(l[0], "[stb]");
    EXPECT_EQ(l[15], "timeZone = 8");
    EXPECT_EQ(l[32], "AspectRatio = ");
    EXPECT_EQ(l[36], "qv_op_CAregister = 4");
    EXPECT_NE(err.str().find("read AspectRatio failed,errorid:401; "), std::string::npos);
}

TEST_F(Cli, SetSendsOnlyTheChangedKey)
{
    ASSERT_EQ(run("set", {"timeZone=-5"}), ExitOk) << err.str();
    const auto frames = box->frames();
    ASSERT_EQ(frames.size(), 39u); // 38 reads, one write
    EXPECT_EQ(frames.back(), "write^timeZone^null^UTC -05:00");
    // The second time the box already holds the value: success, and nothing travels.
    EXPECT_EQ(run("set", {"timeZone=-5"}), ExitOk);
    EXPECT_EQ(err.str(), "127.0.0.1: unchanged\n");
    EXPECT_EQ(box->frames().size(), 39u + 38u);
    EXPECT_EQ(run("set", {"noSuchKey=1"}), ExitUsage);
    EXPECT_EQ(run("set", {"timeZone"}), ExitUsage);
}

TEST_F(Cli, CommandsPrintReadValuesAndRefusals)
{
    EXPECT_EQ(run("cmd", {"read^STBType^null"}), ExitOk);
    EXPECT_EQ(out.str(), "0\n");
    EXPECT_EQ(run("cmd", {"ioctl^reboot"}), ExitOk); // an empty parameter becomes null
    EXPECT_EQ(box->frames().back(), "ioctl^reboot^null");
    EXPECT_EQ(run("cmd", {"ioctl^bogus^null"}), ExitError);
    EXPECT_EQ(err.str(), "illegal command, operation failed.\n");
    EXPECT_EQ(run("cmd", {"reboot"}), ExitUsage);
    // A command longer than a frame holds is a usage error, refused before anything is sent.
    const size_t sent = box->frames().size();
    EXPECT_EQ(run("cmd", {"read^" + std::string(kMaxFreeCommandBytes, 'K') + "^null"}), ExitUsage);
    EXPECT_NE(err.str().find("command too long"), std::string::npos) << err.str();
    EXPECT_EQ(box->frames().size(), sent);
}

TEST_F(Cli, ChannelsAndLogParams)
{
    ASSERT_EQ(run("channels", {}), ExitOk);
    const auto l = lines(out.str());
    ASSERT_EQ(l.size(), 6u);
    EXPECT_EQ(l[1], "2\tNO\tigmp://239.1.1.2:5000\trtsp://10.20.1.2/ch2");
    EXPECT_NE(err.str().find("progress: 30%"), std::string::npos);

    ASSERT_EQ(run("logparams", {"set", "0", "0", "7", "16", "2"}), ExitOk) << err.str();
    ASSERT_EQ(run("logparams", {"get", "0"}), ExitOk);
    EXPECT_EQ(out.str(), "addrType = 0\naddrValue = 192.168.1.10\nlogLevel = 7\nlogType = 16\noutputType = 2\n");
    EXPECT_EQ(run("logparams", {"set", "0"}), ExitUsage);
    // -1 leaves a value as it is (and "0" the address): only the output is sent and changed.
    box->clearFrames();
    ASSERT_EQ(run("logparams", {"set", "0", "0", "-1", "-1", "3"}), ExitOk) << err.str();
    const auto sent = box->frames();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].find("ioctl^set_log_out_type^null^3"), 0u) << sent[0];
    ASSERT_EQ(run("logparams", {"get", "0"}), ExitOk);
    EXPECT_EQ(out.str(), "addrType = 0\naddrValue = 192.168.1.10\nlogLevel = 7\nlogType = 16\noutputType = 3\n");
}

TEST_F(Cli, DiagnosticCommands)
{
    // The box pings for the given seconds at its line pace; lines reach standard output in order.
    ASSERT_EQ(run("ping", {"10.0.0.9", "1"}), ExitOk) << err.str();
    const auto l = lines(out.str());
    ASSERT_GE(l.size(), 2u);
    EXPECT_NE(l[0].find("10.0.0.9"), std::string::npos) << l[0];
    EXPECT_EQ(box->frames().back(), std::string("connect^ping^/length:1^10.0.0.9") + '\0');
    EXPECT_EQ(run("ping", {"not-an-address"}), ExitUsage);
    EXPECT_EQ(run("ping", {"10.0.0.9", "0"}), ExitUsage);

    // The capture page's checks apply before anything is sent.
    const size_t before = box->frames().size();
    EXPECT_EQ(run("pcap", {"--size", "1000"}), ExitUsage);
    EXPECT_EQ(run("pcap", {"--time", "5", "--port", "70000"}), ExitUsage);
    EXPECT_EQ(box->frames().size(), before);

    EXPECT_EQ(run("upgrade", {"/nonexistent/image.bin"}), ExitError);
    EXPECT_FALSE(err.str().empty());
}

// Faults caught: hops lost or reordered on the way to standard output, the end text printed as a
// hop, the target sent in the wrong field, a malformed address sent to the box; the same through
// the free-command form.
TEST_F(Cli, TraceRoutePrintsEveryHopInOrder)
{
    ASSERT_EQ(run("traceroute", {"10.0.0.9"}), ExitOk) << err.str();
    const auto l = lines(out.str());
    ASSERT_EQ(l.size(), 6u) << out.str();
    EXPECT_EQ(l[0], "traceroute to 10.0.0.9 (10.0.0.9), 30 hops max, 38 byte packets");
    for (int hop = 1; hop <= 4; ++hop)
        EXPECT_EQ(
            l[static_cast<size_t>(hop)].rfind(" " + std::to_string(hop) + "  10.0." + std::to_string(hop) + ".1  ", 0),
            0u)
            << l[static_cast<size_t>(hop)];
    EXPECT_EQ(l[5].rfind(" 5  10.0.0.9  5.211 ms", 0), 0u) << l[5];
    EXPECT_EQ(err.str(), "");
    EXPECT_EQ(box->frames().back(), std::string("connect^traceroute^null^10.0.0.9") + '\0');

    ASSERT_EQ(run("cmd", {"connect traceroute 10.0.0.7"}), ExitOk) << err.str();
    EXPECT_EQ(lines(out.str()).size(), 6u) << out.str();
    EXPECT_EQ(box->frames().back(), std::string("connect^traceroute^null^10.0.0.7") + '\0');

    const size_t before = box->frames().size();
    for (const char* bad : {"10.0.0.256", "10.0.0", "box.example", ""}) {
        EXPECT_EQ(run("traceroute", {bad}), ExitUsage) << bad;
        EXPECT_EQ(err.str(), std::string("quillon-cli: not an IPv4 address: ") + bad + "\n");
    }
    EXPECT_EQ(run("traceroute", {"10.0.0.1", "10.0.0.2"}), ExitUsage);
    EXPECT_EQ(box->frames().size(), before);
}

// usb-profiles refuses with the window's message and exit status 1, and writes nothing. Faults
// caught: a message for another failure (or none), the path it names missing, an account index
// that cannot be read taken as empty and then overwritten.
TEST(CliUsbProfiles, EachRefusalSaysWhyAndWritesNothing)
{
    setUiLanguage(LanguageEnglish);
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / ("quillon-cli-usb-" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir / "out");
    const std::string book = std::string(QUILLON_TEST_DATA) + "/profiles.xlsx";
    const std::string out = (dir / "out").string();
    auto usb = [](std::vector<std::string> args, std::string& err) {
        std::ostringstream o, e;
        for (auto& command : allCommands()) {
            if (std::string(command->name()) == "usb-profiles") {
                Context c{std::move(args), o, e, nullptr, nullptr, nullptr};
                const int code = command->run(c);
                err = e.str();
                EXPECT_EQ(o.str(), "");
                return code;
            }
        }
        return -1;
    };
    struct Case {
        std::vector<std::string> args;
        std::string said;
    };
    const std::string missingBook = (dir / "none.xlsx").string();
    const std::string missingOut = (dir / "none").string();
    const Case cases[] = {
        {{"", out}, loadUiString(461)},
        {{missingBook, out}, loadUiString(462) + missingBook},
        {{book, ""}, loadUiString(463)},
        {{book, missingOut}, loadUiString(464) + missingOut},
    };
    std::string err;
    for (const Case& k : cases) {
        EXPECT_EQ(usb(k.args, err), ExitError) << k.said;
        EXPECT_EQ(err, k.said + "\n");
    }
    // An index in the way that cannot be read as a file: nothing is made beside it.
    fs::create_directories(dir / "out" / "account.ini");
    EXPECT_EQ(usb({book, out}, err), ExitError);
    EXPECT_EQ(err, loadUiString(475) + "\n");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir / "out"), fs::directory_iterator()), 1);
    fs::remove_all(dir);
    setUiLanguage(LanguageChinese);
}

// The box goes away while the image streams: exit status 1 and the window's reason, with the
// percentage the last progress line showed.
TEST_F(Cli, UpgradeWhoseLinkDiesExitsOneSayingWhereItStopped)
{
    const std::string path = ::testing::TempDir() + "quillon-cli-lost.bin";
    {
        std::ofstream image(path, std::ios::binary | std::ios::trunc);
        image << sim::simImageHeader("V9.9") << std::string((16u << 20) - sim::kSimImageHeaderSize, 'c');
    }
    sim::SimFaults faults;
    faults.upgradeStopReadingAfter = 1 << 20;
    box->setFaults(faults);
    std::thread dropper([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        box->dropClient();
    });
    const int status = run("upgrade", {path});
    dropper.join();
    EXPECT_EQ(status, ExitError);
    const std::string text = err.str();
    const size_t last = text.rfind("sending: ");
    ASSERT_NE(last, std::string::npos) << text;
    const int percent = std::atoi(text.c_str() + last + 9);
    EXPECT_GT(percent, 0);
    EXPECT_NE(text.find("Upgrade failed: link lost at " + std::to_string(percent) + "%\n"), std::string::npos) << text;
    std::remove(path.c_str());
}

TEST_F(Cli, OutputLinesCannotDriveTheTerminal)
{
    std::ostringstream sink, errors;
    LinkSession session(sink, errors);
    session.outputLine(OutputChannel::Ping, "64 bytes\x1b]0;owned\x07 from 10.0.0.9\r");
    EXPECT_EQ(sink.str(), "64 bytes?]0;owned? from 10.0.0.9?\n");
}

// Each way a session can fail to open is told on standard error as what happened, and nothing
// reaches standard output.
TEST(CliConnect, FailuresSayWhatHappened)
{
    setUiLanguage(LanguageEnglish);
    auto failure = [](int port, const std::string& password) {
        std::ostringstream out, err;
        LinkSession session(out, err);
        EXPECT_FALSE(session.open("127.0.0.1", port, "admin", password, "", test::shortTimeouts()));
        EXPECT_TRUE(out.str().empty()) << out.str();
        return err.str();
    };
    test::SilentListener gone;
    const int refused = gone.port();
    gone.close();
    EXPECT_EQ(failure(refused, "quillon"),
              "cannot connect to 127.0.0.1:" + std::to_string(refused) + ": Connection refused\n");
    test::SilentListener silent;
    EXPECT_EQ(failure(silent.port(), "quillon"),
              "127.0.0.1:" + std::to_string(silent.port()) + ": no answer to the session set-up within 0.7 s\n");

    sim::StbSimulator box(test::testBoxOptions());
    ASSERT_TRUE(box.start());
    EXPECT_EQ(failure(box.port(), "wrong"),
              "127.0.0.1: the box refused the session: 501 (" + statusCodeText(501) + ")\n");
    sim::SimFaults faults;
    faults.wrongSessionKeyBlock = true;
    box.setFaults(faults);
    EXPECT_EQ(failure(box.port(), "quillon"),
              "127.0.0.1: the session key could not be opened: is --box-modulus right for this box?\n");
    box.stop();
    setUiLanguage(LanguageChinese);
}

// A box that goes on pinging after the duration is sent the stop frame, and the command ends.
TEST_F(Cli, PingEndsByItselfWhenTheBoxGoesOn)
{
    sim::SimFaults faults;
    faults.pingPastDuration = true;
    box->setFaults(faults);
    ASSERT_EQ(run("ping", {"10.0.0.9", "1"}), ExitOk) << err.str();
    const auto frames = box->frames();
    ASSERT_FALSE(frames.empty());
    EXPECT_NE(frames.back().find("connect^ping^/stop"), std::string::npos) << frames.back();
    EXPECT_GT(lines(out.str()).size(), 40u); // the box went on well past one second's lines
}

// Silence before the list is complete fails the export; the file still holds what came.
TEST_F(Cli, SilentExportIsAnError)
{
    sim::SimFaults faults;
    faults.silentKeys = {"Paralist"};
    box->setFaults(faults);
    const std::string file = ::testing::TempDir() + "quillon-silent-params.txt";
    EXPECT_EQ(run("export-params", {file}), ExitError);
    EXPECT_EQ(err.str(), "no data\n");
    std::ifstream in(file, std::ios::binary);
    EXPECT_TRUE(in.good());
}

// The free command of the window, with the same forgiving input and the same results.
TEST_F(Cli, CmdTakesTheFreeCommandLanguage)
{
    EXPECT_EQ(run("cmd", {"ioctl", "reboot"}), ExitOk) << err.str();
    EXPECT_EQ(box->frames().back(), "ioctl^reboot^null");
    EXPECT_EQ(run("cmd", {"write|STBType|null|1"}), ExitOk) << err.str();
    EXPECT_EQ(box->frames().back(), std::string("write^STBType^null^1") + '\0');
    EXPECT_EQ(run("cmd", {"readSTBType"}), ExitOk);
    EXPECT_EQ(out.str(), "1\n");
    ASSERT_EQ(run("cmd", {"connect ping /length:1 10.0.0.3"}), ExitOk) << err.str();
    EXPECT_NE(out.str().find("10.0.0.3"), std::string::npos);
    EXPECT_EQ(box->frames().back(), std::string("connect^ping^/length:1^10.0.0.3") + '\0');

    const size_t before = box->frames().size();
    EXPECT_EQ(run("cmd", {"READ Channellist"}), ExitUsage);
    EXPECT_EQ(run("cmd", {"read Channellist"}), ExitUsage); // an export: the channels command
    EXPECT_NE(err.str().find("channels"), std::string::npos);
    EXPECT_EQ(run("cmd", {"  "}), ExitUsage);
    EXPECT_EQ(box->frames().size(), before);
}

TEST_F(Cli, PlayStopAndTrickPlay)
{
    EXPECT_EQ(run("trick", {"pause"}), ExitError); // nothing plays: the box refuses
    EXPECT_EQ(run("play", {"7"}), ExitOk) << err.str();
    EXPECT_EQ(box->frames().back(), "connect^play^null^Channel:7");
    EXPECT_EQ(box->playback.state().source, "Channel:7");
    // Each trick word by what the box then does (a word sending another's command shows here).
    for (const auto& [word, trick] : {std::pair<const char*, const char*>{"back", "fast_backward"},
                                      {"pause", "pause"},
                                      {"forward", "fast_forward"}}) {
        EXPECT_EQ(run("trick", {word}), ExitOk) << err.str();
        EXPECT_EQ(box->playback.state().trick, trick) << word;
        EXPECT_EQ(box->frames().back(), std::string("connect^") + trick + "^null") << word;
    }
    EXPECT_EQ(run("play", {"igmp://239.1.1.1:5000"}), ExitOk);
    EXPECT_EQ(box->playback.state().source, "igmp://239.1.1.1:5000");
    EXPECT_EQ(run("stop", {}), ExitOk);
    EXPECT_EQ(box->frames().back(), "connect^stop^null");
    EXPECT_TRUE(box->playback.state().source.empty());

    const size_t before = box->frames().size();
    EXPECT_EQ(run("play", {"http://a/b"}), ExitUsage);
    EXPECT_EQ(run("play", {"-1"}), ExitUsage);
    EXPECT_EQ(run("trick", {"rewind"}), ExitUsage);
    EXPECT_EQ(run("stop", {"now"}), ExitUsage);
    EXPECT_EQ(box->frames().size(), before);
}
