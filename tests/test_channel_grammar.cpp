// The channel-entry grammar, case by case: both forms of an entry, numbers of any length, URLs
// that hold the separator, unquoted entries spread over several lines, and lists that mix them.
#include <ChannelEntry.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace quillon;

namespace
{

struct Row {
    std::string number;
    bool timeShift;
    std::string channelUrl;
    std::string timeShiftUrl;
};

struct GrammarCase {
    const char* what;
    std::string text;
    std::vector<Row> rows;
};

// Faults caught: a group that keeps one digit of the number, a split at the last "|" instead of
// the first, a split although a time-shift URL was given, a flag read from the wrong group, an
// unquoted value that runs into the next line, an entry lost when a later one follows.
const std::vector<GrammarCase>& grammarCases()
{
    static const std::vector<GrammarCase> cases = {
        {"quoted, one digit",
         "UserChannelID=\"7\" ChannelURL=\"igmp://239.1.1.7:5000\" TimeShift=\"1\" TimeShiftURL=\"rtsp://t/7\"",
         {{"7", true, "igmp://239.1.1.7:5000", "rtsp://t/7"}}},
        {"quoted, two digits",
         "UserChannelID=\"42\" ChannelURL=\"igmp://239.1.1.42:5000\" TimeShift=\"0\" TimeShiftURL=\"\"",
         {{"42", false, "igmp://239.1.1.42:5000", ""}}},
        {"quoted, five digits",
         "UserChannelID=\"10203\" ChannelName=\"Ten\" ChannelURL=\"igmp://239.9.9.9:1234\" TimeShift=\"1\" "
         "TimeShiftURL=\"rtsp://t/10203\"",
         {{"10203", true, "igmp://239.9.9.9:1234", "rtsp://t/10203"}}},
        {"quoted values, unquoted number and flag",
         "UserChannelID=315 ChannelURL=\"igmp://239.3.1.5:5000\" TimeShift=1 TimeShiftURL=\"rtsp://t/315\"",
         {{"315", true, "igmp://239.3.1.5:5000", "rtsp://t/315"}}},
        {"quoted, empty flag is off",
         "UserChannelID=\"88\" ChannelURL=\"igmp://239.8.8.8:5000\" TimeShift=\"\" TimeShiftURL=\"\"",
         {{"88", false, "igmp://239.8.8.8:5000", ""}}},
        {"quoted, one bar splits off the time-shift URL",
         "UserChannelID=\"21\" ChannelURL=\"igmp://239.2.1.1:5000|rtsp://t/21\" TimeShift=\"1\" TimeShiftURL=\"\"",
         {{"21", true, "igmp://239.2.1.1:5000", "rtsp://t/21"}}},
        {"quoted, three bars: only the first splits",
         "UserChannelID=\"122\" ChannelURL=\"igmp://239.1.2.2:5000|rtsp://t/122?a=1|b=2|c\" TimeShift=\"1\" "
         "TimeShiftURL=\"\"",
         {{"122", true, "igmp://239.1.2.2:5000", "rtsp://t/122?a=1|b=2|c"}}},
        {"quoted, bars kept when a time-shift URL is given",
         "UserChannelID=\"23\" ChannelURL=\"igmp://a|b|c\" TimeShift=\"1\" TimeShiftURL=\"rtsp://t/23\"",
         {{"23", true, "igmp://a|b|c", "rtsp://t/23"}}},
        {"quoted, a bar at the very start",
         "UserChannelID=\"24\" ChannelURL=\"|rtsp://t/24\" TimeShift=\"0\" TimeShiftURL=\"\"",
         {{"24", false, "", "rtsp://t/24"}}},
        {"quoted, query with equals signs",
         "UserChannelID=\"25\" ChannelURL=\"http://h/live?id=25&TimeShift=0\" TimeShift=\"0\" TimeShiftURL=\"\"",
         {{"25", false, "http://h/live?id=25&TimeShift=0", ""}}},
        {"two quoted entries on one line",
         "UserChannelID=\"31\" ChannelURL=\"u31\" TimeShift=\"0\" TimeShiftURL=\"\" "
         "UserChannelID=\"132\" ChannelURL=\"u132\" TimeShift=\"1\" TimeShiftURL=\"t132\"",
         {{"31", false, "u31", ""}, {"132", true, "u132", "t132"}}},
        {"unquoted, one line, four digits",
         "UserChannelID=1024 ChannelURL=udp://239.0.4.0:1234 TimeShift=1 TimeShiftURL=rtsp://t/1024",
         {{"1024", true, "udp://239.0.4.0:1234", "rtsp://t/1024"}}},
        {"unquoted, one value a line",
         "UserChannelID=12\nChannelURL=udp://239.0.0.12:1234\nTimeShift=1\nTimeShiftURL=rtsp://t/12\n",
         {{"12", true, "udp://239.0.0.12:1234", "rtsp://t/12"}}},
        {"unquoted, other lines before the time-shift URL",
         "UserChannelID=345\nChannelURL=udp://239.0.3.45:1234\nTimeShift=0\nChannelName=Three\nChannelSDP=x\n"
         "TimeShiftURL=\n",
         {{"345", false, "udp://239.0.3.45:1234", ""}}},
        {"unquoted, bars several times, empty time-shift URL",
         "UserChannelID=56 ChannelURL=udp://239.0.0.56:1234|rtsp://t/56|x|y TimeShift=1 TimeShiftURL=\n",
         {{"56", true, "udp://239.0.0.56:1234", "rtsp://t/56|x|y"}}},
        {"unquoted entries over several lines, one after another",
         "UserChannelID=101\nChannelURL=udp://a:1\nTimeShift=0\nTimeShiftURL=\n"
         "UserChannelID=202\nChannelURL=udp://b:2\nTimeShift=1\nTimeShiftURL=rtsp://t/202\n"
         "UserChannelID=3003\nChannelURL=udp://c:3|rtsp://t/3003|z\nTimeShift=1\nTimeShiftURL=\n",
         {{"101", false, "udp://a:1", ""},
          {"202", true, "udp://b:2", "rtsp://t/202"},
          {"3003", true, "udp://c:3", "rtsp://t/3003|z"}}},
        {"quoted entries a line each, with a broken one between",
         "UserChannelID=\"1\" ChannelURL=\"u1\" TimeShift=\"0\" TimeShiftURL=\"\"\n"
         "UserChannelID=\"2\" ChannelURL=\"u2\n"
         "UserChannelID=\"300\" ChannelURL=\"u300|t300|t\" TimeShift=\"1\" TimeShiftURL=\"\"\n",
         {{"1", false, "u1", ""}, {"300", true, "u300", "t300|t"}}},
        {"no number is no entry", "UserChannelID=\"\" ChannelURL=\"u\" TimeShift=\"0\" TimeShiftURL=\"\"", {}},
    };
    return cases;
}

TEST(ChannelGrammar, EveryCaseGivesItsRows)
{
    for (const GrammarCase& c : grammarCases()) {
        SCOPED_TRACE(c.what);
        const auto entries = parseChannelList(c.text);
        ASSERT_EQ(entries.size(), c.rows.size());
        for (size_t i = 0; i < entries.size(); ++i) {
            SCOPED_TRACE(i);
            EXPECT_EQ(entries[i].number, c.rows[i].number);
            EXPECT_EQ(entries[i].timeShift, c.rows[i].timeShift);
            EXPECT_EQ(entries[i].channelUrl, c.rows[i].channelUrl);
            EXPECT_EQ(entries[i].timeShiftUrl, c.rows[i].timeShiftUrl);
        }
    }
}

// A list is the concatenation of its entries: whatever stands before or after an entry, and
// whichever line ends the box uses, the entry reads the same. Fault caught: an entry that only
// parses at the start of the text, or whose value takes the next entry's text.
TEST(ChannelGrammar, EntriesReadTheSameInsideALongList)
{
    std::string text = "#EXTINFO header line without entries\n";
    std::vector<Row> expected;
    for (int n : {1, 9, 10, 99, 100, 999, 1000, 65535}) {
        const std::string id = std::to_string(n);
        if (n % 2) {
            text += "UserChannelID=\"" + id + "\" ChannelName=\"C" + id + "\" ChannelURL=\"igmp://239.0.0.1:" + id +
                    "|rtsp://t/" + id + "|end\" TimeShift=\"1\" TimeShiftURL=\"\"\n";
            expected.push_back({id, true, "igmp://239.0.0.1:" + id, "rtsp://t/" + id + "|end"});
        } else {
            text += "UserChannelID=\"" + id + "\" ChannelURL=\"udp://239.0.0.2:" + id +
                    "\" TimeShift=\"0\" TimeShiftURL=\"rtsp://t/" + id + "\"\r\n";
            expected.push_back({id, false, "udp://239.0.0.2:" + id, "rtsp://t/" + id});
        }
    }
    const auto entries = parseChannelList(text);
    ASSERT_EQ(entries.size(), expected.size());
    for (size_t i = 0; i < entries.size(); ++i) {
        SCOPED_TRACE(expected[i].number);
        EXPECT_EQ(entries[i].number, expected[i].number);
        EXPECT_EQ(entries[i].timeShift, expected[i].timeShift);
        EXPECT_EQ(entries[i].channelUrl, expected[i].channelUrl);
        EXPECT_EQ(entries[i].timeShiftUrl, expected[i].timeShiftUrl);
    }
}

// One entry through either pattern on its own gives what the list gives. Fault caught: the two
// patterns exchanged, or a pattern that needs the text before the entry.
TEST(ChannelGrammar, EachPatternOnItsOwn)
{
    ChannelEntry e;
    ASSERT_TRUE(parseChannelEntry(kQuotedChannelPattern,
                                  "UserChannelID=\"606\" ChannelURL=\"a|b|c\" TimeShift=\"1\" TimeShiftURL=\"\"", e));
    EXPECT_EQ(e.number, "606");
    EXPECT_EQ(e.channelUrl, "a");
    EXPECT_EQ(e.timeShiftUrl, "b|c");
    EXPECT_TRUE(e.timeShift);
    e = {};
    ASSERT_TRUE(
        parseChannelEntry(kPlainChannelPattern, "UserChannelID=707\nChannelURL=x|y|z\nTimeShift=0\nTimeShiftURL=", e));
    EXPECT_EQ(e.number, "707");
    EXPECT_EQ(e.channelUrl, "x");
    EXPECT_EQ(e.timeShiftUrl, "y|z");
    EXPECT_FALSE(e.timeShift);
    // The unquoted pattern does not read a quoted number.
    EXPECT_FALSE(parseChannelEntry(kPlainChannelPattern,
                                   "UserChannelID=\"8\" ChannelURL=\"u\" TimeShift=\"0\" TimeShiftURL=\"\"", e));
}

} // namespace
