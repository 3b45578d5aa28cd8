#include <ChannelEntry.h>
#include <LinkService.h>
#include <untSock.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>

using namespace quillon;

TEST(ChannelEntries, QuotedUnquotedAndTimeShiftBehindABar)
{
    const std::string quoted =
        "UserChannelID=\"7\" ChannelName=\"Seven\" ChannelURL=\"igmp://239.1.1.7:5000\" TimeShift=\"1\" "
        "TimeShiftURL=\"rtsp://10.1.1.1/ch7\"\n";
    const std::string barred =
        "x UserChannelID=\"8\" ChannelURL=\"igmp://239.1.1.8:5000|rtsp://10.1.1.1/ch8\" TimeShift=\"0\" TimeShiftURL=\"\"\n";
    const std::string plain = "UserChannelID=12 ChannelURL=udp://239.0.0.12:1234 TimeShift=0 TimeShiftURL=\n";
    const std::string noBar = "UserChannelID=\"9\" ChannelURL=\"igmp://239.1.1.9:5000\" TimeShift=\"\" TimeShiftURL=\"\"\n";
    // Each occurrence is matched against the rest of the whole text, so a box uses one form
    // throughout; the forms are tested apart.
    const auto entries = parseChannelList(quoted + barred + noBar + "UserChannelID=garbage\n");
    ASSERT_EQ(entries.size(), 3u); // an entry that matches neither pattern is skipped
    // The first entry starts at the very first character of the text.
    EXPECT_EQ(entries[0].number, "7");
    EXPECT_TRUE(entries[0].timeShift);
    EXPECT_EQ(entries[0].channelUrl, "igmp://239.1.1.7:5000");
    EXPECT_EQ(entries[0].timeShiftUrl, "rtsp://10.1.1.1/ch7");
    EXPECT_EQ(entries[1].channelUrl, "igmp://239.1.1.8:5000");
    EXPECT_EQ(entries[1].timeShiftUrl, "rtsp://10.1.1.1/ch8");
    EXPECT_FALSE(entries[1].timeShift);
    EXPECT_EQ(entries[2].timeShiftUrl, "");
    EXPECT_EQ(entries[2].channelUrl, "igmp://239.1.1.9:5000");
    const auto unquoted = parseChannelList(plain);
    ASSERT_EQ(unquoted.size(), 1u);
    EXPECT_EQ(unquoted[0].number, "12");
    EXPECT_FALSE(unquoted[0].timeShift);
    EXPECT_EQ(unquoted[0].channelUrl, "udp://239.0.0.12:1234");
    EXPECT_EQ(unquoted[0].timeShiftUrl, "");
    EXPECT_TRUE(parseChannelList("").empty());
}

// A hostile box shapes entries so that the unquoted pattern backtracks without end; each such
// entry is given up at the match limit and skipped, and the entries around it still count.
TEST(ChannelEntries, BacktrackingEntriesAreSkippedAndTheRestKept)
{
    std::string text = "UserChannelID=\"1\" ChannelURL=\"igmp://239.1.1.1:5000\" TimeShift=\"0\" TimeShiftURL=\"\"\n"
                       "UserChannelID=2 ChannelURL=udp://239.0.0.2:1234 TimeShift=1 TimeShiftURL=rtsp://10.0.0.1/2\n";
    for (int i = 0; i < 400; ++i) {
        text += "UserChannelID=" + std::to_string(100 + i) + " ChannelURL=udp://x TimeShift=0";
        for (int w = 0; w < 40; ++w)
            text += " a";
        text += "\n";
    }
    const auto entries = parseChannelList(text);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].number, "1");
    EXPECT_EQ(entries[1].number, "2");
    EXPECT_EQ(entries[1].channelUrl, "udp://239.0.0.2:1234");
    EXPECT_TRUE(entries[1].timeShift);
    EXPECT_EQ(entries[1].timeShiftUrl, "rtsp://10.0.0.1/2");
}

// An entry that matches neither pattern is skipped, not answered by the next entry's text (which
// would list that channel twice).
TEST(ChannelEntries, ABrokenEntryDoesNotRepeatTheNextOne)
{
    const std::string text = "UserChannelID=\"5\" ChannelName=\"cut short\n"
                             "UserChannelID=\"6\" ChannelURL=\"igmp://239.1.1.6:5000\" TimeShift=\"1\" TimeShiftURL=\"r6\"\n";
    const auto entries = parseChannelList(text);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].number, "6");
    EXPECT_EQ(entries[0].timeShiftUrl, "r6");
    // The patterns are also usable one entry at a time.
    ChannelEntry e;
    ASSERT_TRUE(parseChannelEntry(kQuotedChannelPattern, text.substr(text.find("UserChannelID=\"6")), e));
    EXPECT_EQ(e.channelUrl, "igmp://239.1.1.6:5000");
}

TEST(ChannelEntries, ABadPatternIsNoMatch)
{
    ChannelEntry e;
    EXPECT_FALSE(parseChannelEntry("(unclosed", "UserChannelID=1", e));
}

TEST(LocalTime, UnsetBoxClockShowsTheTimeOfDay)
{
    ResSTBInfo info;
    parseLocalTime("19700101075959", info, 8);
    EXPECT_EQ(info.localTime, 28799);
    EXPECT_EQ(info.localTimeUnset, 1);
    parseLocalTime("19700101080000", info, 8);
    EXPECT_EQ(info.localTime, 28800);
    EXPECT_EQ(info.localTimeUnset, 1);
    // West of UTC the reference holds a minus sign and nothing compares below it.
    parseLocalTime("19700101000001", info, -5);
    EXPECT_EQ(info.localTimeUnset, 0);
}

TEST(LocalTime, SetBoxClockIsTakenAsLocalTime)
{
    ResSTBInfo info;
    parseLocalTime("20121029154810", info, 8);
    std::tm tm{};
    tm.tm_year = 112;
    tm.tm_mon = 9;
    tm.tm_mday = 29;
    tm.tm_hour = 15;
    tm.tm_min = 48;
    tm.tm_sec = 10;
    EXPECT_EQ(info.localTime, static_cast<int32_t>(std::mktime(&tm)));
    EXPECT_EQ(info.localTimeUnset, 0);
    parseLocalTime("garbage", info, 8); // no crash, read as an unset clock
    EXPECT_EQ(info.localTimeUnset, 0);
}

TEST(Progress, ReportsAndData)
{
    int p = -1;
    const char report[] = "200read^35";
    EXPECT_TRUE(parseProgress(report, sizeof report, "200read^", "=", p));
    EXPECT_EQ(p, 35);
    const char full[] = "200read^100";
    EXPECT_TRUE(parseProgress(full, sizeof full, "200read^", "=", p));
    EXPECT_EQ(p, 100);
    const char data[] = "200read^Paralist^connecttype = 2";
    EXPECT_FALSE(parseProgress(data, sizeof data, "200read^", "=", p));
    const char four[] = "200read^1000";
    EXPECT_FALSE(parseProgress(four, sizeof four, "200read^", "=", p));
    const char over[] = "200read^101";
    EXPECT_FALSE(parseProgress(over, sizeof over, "200read^", "=", p));
    const char noNul[] = {'2', '0', '0', 'r', 'e', 'a', 'd', '^', '4', '2'};
    EXPECT_TRUE(parseProgress(noNul, sizeof noNul, "200read^", "=", p));
    EXPECT_EQ(p, 42);
    // Data glued behind a report's zero byte is not a report.
    const char glued[] = "200read^5\0UserChannelID=\"1\"";
    EXPECT_FALSE(parseProgress(glued, sizeof glued, "200read^", "UserChannelID", p));
}

TEST(BoxModulusOption, HexOrFile)
{
    std::string hex, error;
    EXPECT_TRUE(parseBoxModulusOption(std::string(256, 'a'), hex, error));
    EXPECT_EQ(hex, std::string(256, 'A'));
    EXPECT_FALSE(parseBoxModulusOption("1234", hex, error));
    EXPECT_FALSE(error.empty());
    const auto path = std::filesystem::temp_directory_path() / "quillon-modulus.txt";
    {
        std::ofstream out(path);
        out << std::string(128, 'B') << "\n" << std::string(128, 'c') << "\n";
    }
    EXPECT_TRUE(parseBoxModulusOption("@" + path.string(), hex, error)) << error;
    EXPECT_EQ(hex, std::string(128, 'B') + std::string(128, 'C'));
    std::filesystem::remove(path);
    EXPECT_FALSE(parseBoxModulusOption("@/nonexistent/modulus", hex, error));
}
