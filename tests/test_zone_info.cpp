#include <ZoneInfo.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <unistd.h>

using namespace quillon;
namespace fs = std::filesystem;

namespace
{

std::string zoneOf(const std::string& content)
{
    const fs::path path = fs::temp_directory_path() / ("quillon-zone-" + std::to_string(::getpid()) + ".cfg");
    std::ofstream(path, std::ios::binary) << content;
    std::string zone = readZoneInfo(path.string());
    fs::remove(path);
    return zone;
}

} // namespace

TEST(ZoneInfo, FirstMatchingLineGivesTheSite)
{
    struct Case {
        const char* content;
        const char* zone;
    };
    const Case cases[] = {
        {"a=1\ninfo = Beijing\n", "Beijing"},
        {"zoneinfo=North\n", "North"}, // not anchored
        {"information=x\n", ""},
        {"INFO=x\n", ""},
        {"info=  Shanghai  \r\n", "Shanghai  "}, // blanks after the value stay, CR of CR LF does not
        {"info=first\ninfo=second\n", "first"},
        {"\tinfo\t=\tTab", "Tab"}, // a last line without a line end counts
        {"x\r\ninfo=\r\ninfo=later\n", ""},
        {"", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(zoneOf(c.content), c.zone) << c.content;
}

TEST(ZoneInfo, LongLinesAndMissingFiles)
{
    const std::string longValue(1 << 20, 'z');
    EXPECT_EQ(zoneOf(std::string(300000, 'q') + "\ninfo=" + longValue + "\r\n"), longValue);
    // Long runs of blanks that never reach "info=" made the pattern retry from every position:
    // minutes for these lines; now one pass over each.
    const std::string blanks(200000, '\t');
    EXPECT_EQ(zoneOf(blanks + "=\n" + blanks + "info\n" + blanks + "info" + blanks + "x\n" + blanks + "info" + blanks +
                     "= Hall 3\n"),
              "Hall 3");
    EXPECT_EQ(readZoneInfo("/nonexistent/common.cfg"), "");
    EXPECT_EQ(readZoneInfo(fs::temp_directory_path().string()), ""); // a folder reads as nothing
}
