// Channel-list parsing: 10 000 well-formed entries in each form, and 400 hostile unquoted entries
// shaped to make the entry pattern backtrack. Prints the time of each against its target (100 ms)
// and the ratio to a floor measured in the same run: one scan of the same text for the entry tag.

#include <ChannelEntry.h>

#include <chrono>
#include <cstdio>
#include <string>

using namespace quillon;
using Clock = std::chrono::steady_clock;

namespace {

std::string quotedList(int count)
{
    std::string text;
    char line[256];
    for (int i = 1; i <= count; ++i) {
        std::snprintf(line, sizeof line,
                      "ChannelID=\"%d\" UserChannelID=\"%d\" ChannelName=\"Channel %d\" "
                      "ChannelURL=\"igmp://239.1.1.%d:5000\" TimeShift=\"1\" TimeShiftURL=\"rtsp://10.20.1.1/ch%d\"\n",
                      1000 + i, i, i, i % 250, i);
        text += line;
    }
    return text;
}

std::string plainList(int count)
{
    std::string text;
    char line[256];
    for (int i = 1; i <= count; ++i) {
        std::snprintf(line, sizeof line,
                      "UserChannelID=%d ChannelURL=udp://239.0.0.%d:1234 TimeShift=0 TimeShiftURL=rtsp://10.0.0.1/%d\n",
                      i, i % 250, i);
        text += line;
    }
    return text;
}

// Every entry lacks its time-shift address and carries many short words instead: each way of
// splitting them among the nested repetitions is one more path to try.
std::string hostileList(int count)
{
    std::string text;
    for (int i = 1; i <= count; ++i) {
        text += "UserChannelID=" + std::to_string(i) + " ChannelURL=udp://x TimeShift=0";
        for (int w = 0; w < 40; ++w)
            text += " a";
        text += "\n";
    }
    return text;
}

double floorMs(const std::string& text)
{
    const auto start = Clock::now();
    size_t count = 0;
    for (size_t at = text.find("UserChannelID"); at != std::string::npos; at = text.find("UserChannelID", at + 1))
        ++count;
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    if (count == 0)
        std::printf("(no tag found)\n");
    return ms;
}

void measure(const char* name, const std::string& text)
{
    double best = 1e9;
    size_t parsed = 0;
    for (int round = 0; round < 5; ++round) {
        const auto start = Clock::now();
        parsed = parseChannelList(text).size();
        best = std::min(best, std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    const double floor = std::max(floorMs(text), 1e-3);
    std::printf("%-28s %6zu entries parsed  %8.2f ms (target < 100 ms: %s)  floor %.3f ms  ratio %.0f\n", name, parsed,
                best, best < 100 ? "met" : "MISSED", floor, best / floor);
}

} // namespace

int main()
{
    measure("10000 quoted entries", quotedList(10000));
    measure("10000 unquoted entries", plainList(10000));
    measure("400 hostile unquoted entries", hostileList(400));
    return 0;
}
