// The value checks a user meets on the configuration page, in parameter files and on the command
// line, at their boundaries.
#include <PcapInputCheck.h>
#include <Utdatacheck.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

using namespace quillon;

// Every octet position at its bounds: 0 and 255 pass, 256 and three-digit values above do not.
// Faults caught: an alternative of the pattern widened or narrowed in one position only.
TEST(InputChecks, EachOctetOfAnAddressAtItsBounds)
{
    for (int position = 0; position < 4; ++position) {
        SCOPED_TRACE(position);
        auto address = [&](const std::string& octet) {
            std::string text;
            for (int i = 0; i < 4; ++i)
                text += (i ? "." : "") + (i == position ? octet : std::string("10"));
            return text;
        };
        for (const char* ok : {"0", "9", "10", "99", "100", "199", "200", "249", "250", "255", "01", "001"})
            EXPECT_TRUE(isValidIp(address(ok))) << address(ok);
        for (const char* bad : {"256", "260", "299", "300", "999", "", "a"})
            EXPECT_FALSE(isValidIp(address(bad))) << address(bad);
    }
}

// Faults caught: a time zone outside -13..13 taken, or a valid one refused.
TEST(InputChecks, TimeZoneHours)
{
    const std::pair<const char*, int> ok[] = {{"+8:00", 8}, {"-12:00", -12}, {"0800", 8},    {"13", 13},
                                              {"-5", -5},   {"+0", 0},       {"-13:00", -13}};
    for (const auto& [text, hours] : ok) {
        int32_t got = 99;
        EXPECT_TRUE(parseTimeZone(text, got)) << text;
        EXPECT_EQ(got, hours) << text;
    }
    int32_t got = 0;
    EXPECT_FALSE(parseTimeZone("", got));
    EXPECT_FALSE(parseTimeZone("UTC", got));
}

// Faults caught: a capture port bound off by one either way.
TEST(InputChecks, CapturePortBounds)
{
    EXPECT_EQ(checkPcapInputs("60", "", "0"), "");
    EXPECT_EQ(checkPcapInputs("60", "", "65535"), "");
    EXPECT_EQ(checkPcapInputs("60", "", "65536"), "pcap port error");
    EXPECT_EQ(checkPcapInputs("60", "", "-1"), "pcap port error");
}

// The capture's progress messages are read by the rule of the scanf format "%[^^]^%[^:]:%d":
// the same head, word and number for each message as sscanf gives.
// Faults caught: blanks before the number, a sign, or digits followed by text read otherwise.
TEST(PcapProgress, MessagesAreReadAsTheScanfFormatReadsThem)
{
    const std::vector<std::string> messages{"200inform^get_pcapfilesize:187392",
                                            "200inform^get_capfileuploadsize: 42",
                                            "200inform^pcap_state:\t\n -7",
                                            "200inform^pcap_state:+5",
                                            "200inform^pcap_state:12kB",
                                            "200inform^pcap_state:busy",
                                            "200inform^pcap_state:",
                                            "200inform^pcap_state",
                                            "200inform",
                                            "^pcap_state:5",
                                            "200inform^:5",
                                            "200inform^a^b:6",
                                            "200inform^get_pcapfilesize:0"};
    for (const std::string& message : messages) {
        char head[1024] = {};
        char word[1024] = {};
        int number = 0;
        std::sscanf(message.c_str(), "%1023[^^]^%1023[^:]:%d", head, word, &number);
        std::string parsedHead, parsedWord;
        int parsedNumber = -1;
        parseProgressMessage(message, parsedHead, parsedWord, parsedNumber);
        EXPECT_EQ(parsedHead, head) << message;
        EXPECT_EQ(parsedWord, word) << message;
        EXPECT_EQ(parsedNumber, number) << message;
    }
}
