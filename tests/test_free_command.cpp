#include <FreeCommand.h>
#include <PlaybackCommand.h>

#include <gtest/gtest.h>

#include <chrono>

using namespace quillon;

namespace
{

FreeCommand interpret(const std::string& text)
{
    return interpretFreeCommand(text);
}

} // namespace

// The ping and trace forms win over the general one, whatever the separators; the target is
// taken as typed, the duration only when it is a number.
TEST(FreeCommand, PingAndTraceRouteForms)
{
    struct Case {
        const char* text;
        std::string target;
        int duration;
    };
    const Case pings[] = {
        {"connect ping 10.1.1.1", "10.1.1.1", -1},
        {"connect^ping^/length:20^10.1.1.1", "10.1.1.1", 20},
        {"connect|ping|null|192.168.1.20", "192.168.1.20", -1},
        {"connectping10.0.0.1", "10.0.0.1", -1},                       // glued words
        {"connect ping /length:99999999999 10.0.0.1", "10.0.0.1", -1}, // too large for a duration
        {"  connect ^| ping  /length:5   1.2.3.4 trailing", "1.2.3.4", 5},
    };
    for (const Case& c : pings) {
        const FreeCommand f = interpret(c.text);
        EXPECT_EQ(f.kind, FreeCommand::Ping) << c.text;
        EXPECT_EQ(f.target, c.target) << c.text;
        EXPECT_EQ(f.duration, c.duration) << c.text;
    }
    const FreeCommand trace = interpret("connect^traceroute^null^8.8.4.4");
    EXPECT_EQ(trace.kind, FreeCommand::TraceRoute);
    EXPECT_EQ(trace.target, "8.8.4.4");
    EXPECT_EQ(interpret("connect traceroute 10.2.3.4").target, "10.2.3.4");
    // Without an address the general form takes it: a command the box will judge.
    EXPECT_EQ(interpret("connect ping").kind, FreeCommand::Command);
}

// The general form: the function code, the rebuilt text with single carets, "null" for an empty
// parameter, and no data part unless data was typed.
TEST(FreeCommand, CommandsAreRebuiltWithTheirWords)
{
    struct Case {
        const char* text;
        uint8_t function;
        const char* command;
        const char* call;
        const char* parameter;
        const char* data;
    };
    const Case cases[] = {
        {"ioctl reboot", FuncIoctl, "ioctl^reboot^null", "reboot", "null", ""},
        {"write|Key|null|5", FuncWrite, "write^Key^null^5", "Key", "null", "5"},
        {"readSTBType", FuncRead, "read^STBType^null", "STBType", "null", ""},
        {"read^STBType^null", FuncRead, "read^STBType^null", "STBType", "null", ""},
        {"inform  get_x   p   d  extra words", FuncInform, "inform^get_x^p^d", "get_x", "p", "d"},
        {"connect^play^null^rtsp://h/a", FuncConnect, "connect^play^null^rtsp://h/a", "play", "null", "rtsp://h/a"},
        {"x read A", FuncRead, "read^A^null", "A", "null", ""}, // unanchored
    };
    for (const Case& c : cases) {
        const FreeCommand f = interpret(c.text);
        ASSERT_EQ(f.kind, FreeCommand::Command) << c.text;
        EXPECT_EQ(f.request.function, c.function) << c.text;
        EXPECT_EQ(f.request.type, TypeUserCommand);
        EXPECT_EQ(f.request.command, c.command) << c.text;
        EXPECT_EQ(f.request.call, c.call) << c.text;
        EXPECT_EQ(f.request.parameter, c.parameter) << c.text;
        EXPECT_EQ(f.request.data, c.data) << c.text;
    }
}

TEST(FreeCommand, ListReadsAndRefusals)
{
    EXPECT_EQ(interpret("read Channellist").kind, FreeCommand::ChannelList);
    EXPECT_EQ(interpret("read^Channellist^null").kind, FreeCommand::ChannelList);
    EXPECT_EQ(interpret("read Paralist").kind, FreeCommand::ParamList);
    EXPECT_EQ(interpret("read Channellist x").kind, FreeCommand::Invalid);
    EXPECT_EQ(interpret("read Paralist null y").kind, FreeCommand::Invalid);
    // The words are case-sensitive: no pattern matches.
    EXPECT_EQ(interpret("READ Channellist").kind, FreeCommand::Invalid);
    EXPECT_EQ(interpret("reboot").kind, FreeCommand::Invalid);
    EXPECT_EQ(interpret("").kind, FreeCommand::Empty);
    // A list name that only starts the same is an ordinary read.
    EXPECT_EQ(interpret("read Channellists").kind, FreeCommand::Command);
}

// The ping pattern backtracks quadratically over separators: a text too long for a frame is
// refused before matching, and the longest accepted one still ends at once.
TEST(FreeCommand, HostileTextEndsWithoutHanging)
{
    const std::string longText = "connect" + std::string(100000, '|') + "ping" + std::string(100000, '^');
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(interpret(longText).kind, FreeCommand::Invalid);
    const std::string longest = "connect" + std::string(1000, '|') + "ping" + std::string(1012, '^');
    ASSERT_EQ(longest.size(), 2023u);
    EXPECT_EQ(interpret(longest).kind, FreeCommand::Command);
    EXPECT_FALSE(interpret(longest).tooLong);
    EXPECT_EQ(interpret(longest + "x").kind, FreeCommand::Invalid);
    EXPECT_TRUE(interpret(longest + "x").tooLong); // said so to the user, with the limit
    EXPECT_FALSE(interpret("reboot").tooLong);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(2));
    std::string withZero = "ioctl reboot";
    withZero[5] = '\0';
    EXPECT_EQ(interpret(withZero).kind, FreeCommand::Command);
}

TEST(PlaybackCommand, UrlsNumbersAndTexts)
{
    EXPECT_TRUE(isPlayableUrl("rtsp://10.0.0.1/ch1"));
    EXPECT_TRUE(isPlayableUrl("see igmp://239.1.1.1:5000")); // anywhere in the text
    EXPECT_FALSE(isPlayableUrl("http://10.0.0.1/ch1"));
    EXPECT_FALSE(isPlayableUrl("RTSP://10.0.0.1"));
    int n = -1;
    EXPECT_TRUE(parseChannelNumber("0", n));
    EXPECT_EQ(n, 0);
    EXPECT_TRUE(parseChannelNumber("2147483647", n));
    for (const char* bad : {"", "-1", "+1", "1 ", "2147483648", "99999999999", "1a"})
        EXPECT_FALSE(parseChannelNumber(bad, n)) << bad;
    EXPECT_EQ(playNumberCommand(12), "connect^play^null^Channel:12");
    EXPECT_EQ(playUrlCommand("igmp://a"), "connect^play^null^igmp://a");
    EXPECT_EQ(playUrlCommand("rtsp://" + std::string(2000, 'x')).size(), 1023u);
    const ReqExtCommand stop = playbackRequest(kStopPlayCommand);
    EXPECT_EQ(stop.function, FuncConnect);
    EXPECT_EQ(stop.type, TypeButtonCommand);
    EXPECT_EQ(stop.command, "connect^stop^null");
    EXPECT_TRUE(stop.call.empty());
}
