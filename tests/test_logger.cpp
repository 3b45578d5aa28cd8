#include "Unprivileged.h"

#include <Logger.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

using namespace quillon;
namespace fs = std::filesystem;

namespace
{

class LoggerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        dir_ = fs::temp_directory_path() / ("quillon-log-" + std::to_string(::getpid()) + "-" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir_);
        path_ = (dir_ / "quillon.log").string();
        Logger::instance().setFileName(path_);
        Logger::instance().setClock([] { return LogTime{2012, 10, 15, 9, 3, 7, 45}; });
    }
    void TearDown() override
    {
        Logger::instance().setClock({});
        ::chmod(dir_.c_str(), 0755);
        fs::remove_all(dir_);
    }
    std::string contents() const
    {
        std::ifstream in(path_, std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
    fs::path dir_;
    std::string path_;
};

} // namespace

TEST_F(LoggerTest, LineFormatAndLevelWords)
{
    Logger& log = Logger::instance();
    log.info("%s:%d", "x", 5);
    log.error("bad %s", "thing");
    log.warn("careful");
    log.debug("never %d", 1);
    EXPECT_EQ(contents(), "2012/10/15 09:03:07.045 [INFO ] x:5\n"
                          "2012/10/15 09:03:07.045 [ERROR] bad thing\n"
                          "2012/10/15 09:03:07.045 [WARN ] careful\n");
}

// Without a test clock, lines carry the local date and time they were written at.
TEST_F(LoggerTest, RealClockStampsTheLocalDateAndTime)
{
    // The local time to the millisecond, as the log writes it.
    auto stamp = [] {
        const auto now = std::chrono::system_clock::now();
        const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
        std::tm parts{};
        localtime_r(&seconds, &parts);
        char text[32] = {};
        std::strftime(text, sizeof text, "%Y/%m/%d %H:%M:%S", &parts);
        char millis[8] = {};
        std::snprintf(millis, sizeof millis, ".%03d", static_cast<int>(ms));
        return std::string(text) + millis;
    };
    // Eight hours east of UTC, without daylight saving, whatever zone this machine keeps: a
    // time in UTC cannot pass for the local one.
    const char* zone = std::getenv("TZ");
    const std::string previousZone = zone ? zone : "";
    ::setenv("TZ", "CST-8", 1);
    ::tzset();
    Logger::instance().setClock({});
    const std::string before = stamp();
    Logger::instance().info("now");
    const std::string after = stamp();
    if (zone)
        ::setenv("TZ", previousZone.c_str(), 1);
    else
        ::unsetenv("TZ");
    ::tzset();
    const std::string line = contents();
    ASSERT_EQ(line.size(), std::string("2012/10/15 09:03:07.045 [INFO ] now\n").size()) << line;
    const std::string written = line.substr(0, before.size());
    EXPECT_TRUE(written >= before && written <= after) << written << " not in " << before << " .. " << after;
    EXPECT_EQ(line.substr(before.size()), " [INFO ] now\n");
}

TEST_F(LoggerTest, AppendsToExistingFileAndCutsLongMessages)
{
    {
        std::ofstream out(path_);
        out << "earlier run\n";
    }
    Logger::instance().info("%s", std::string(5000, 'a').c_str());
    const std::string text = contents();
    ASSERT_EQ(text.rfind("earlier run\n", 0), 0u);
    const std::string line = text.substr(12);
    const std::string prefix = "2012/10/15 09:03:07.045 [INFO ] ";
    EXPECT_EQ(line, prefix + std::string(2047, 'a') + "\n");
}

TEST_F(LoggerTest, DeletedFileIsCreatedAgain)
{
    Logger::instance().info("one");
    fs::remove(path_);
    Logger::instance().info("two");
    EXPECT_EQ(contents(), "2012/10/15 09:03:07.045 [INFO ] two\n");
}

TEST_F(LoggerTest, UnwritableFileLosesLinesPromptlyWithoutBlockingOthers)
{
    QUILLON_RUN_UNPRIVILEGED();
    ASSERT_EQ(::chmod(dir_.c_str(), 0555), 0);
    const auto start = std::chrono::steady_clock::now();
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([] {
            for (int i = 0; i < 50; ++i)
                Logger::instance().error("lost %d", i);
        });
    for (auto& th : threads)
        th.join();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_FALSE(fs::exists(path_));
}

TEST_F(LoggerTest, AFileThatCannotBeOpenedIsReportedOnStandardErrorEachTime)
{
    // A folder that does not exist cannot be opened even by root.
    Logger::instance().setFileName((dir_ / "missing" / "quillon.log").string());
    ::testing::internal::CaptureStderr();
    Logger::instance().error("lost one");
    Logger::instance().info("lost two");
    const std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(said, "Could not open file.\nCould not open file.\n");
    EXPECT_EQ(said.find("lost"), std::string::npos);
}

TEST_F(LoggerTest, TwoThreadsWriteWholeLines)
{
    auto worker = [](char c) {
        const std::string text(300, c);
        for (int i = 0; i < 200; ++i)
            Logger::instance().info("%s", text.c_str());
    };
    std::thread a(worker, 'a'), b(worker, 'b');
    a.join();
    b.join();
    std::istringstream in(contents());
    std::string line;
    int count = 0;
    const std::string prefix = "2012/10/15 09:03:07.045 [INFO ] ";
    while (std::getline(in, line)) {
        ++count;
        ASSERT_EQ(line.size(), prefix.size() + 300);
        const std::string body = line.substr(prefix.size());
        EXPECT_TRUE(body == std::string(300, 'a') || body == std::string(300, 'b')) << line;
    }
    EXPECT_EQ(count, 400);
}

TEST(LoggerPath, ReplacesOrAppendsExtension)
{
    EXPECT_EQ(Logger::logPathFor("/opt/tools/Quillon.exe"), "/opt/tools/Quillon.log");
    EXPECT_EQ(Logger::logPathFor("/opt/tools/quillon"), "/opt/tools/quillon.log");
    EXPECT_EQ(Logger::logPathFor("/opt/v1.2/quillon"), "/opt/v1.2/quillon.log");
}

TEST(LoggerPath, DefaultPathIsBesideTheExecutable)
{
    const std::string exe = fs::read_symlink("/proc/self/exe").string();
    if (::access(fs::path(exe).parent_path().c_str(), W_OK) != 0)
        GTEST_SKIP() << "the test's own folder is not writable; the fallback is tested with quillon-cli";
    EXPECT_EQ(Logger::defaultLogPath(nullptr), Logger::logPathFor(exe));
}

// An installed program logs to its state folder even where it could write (root, a staging
// folder); a build-tree program logs beside itself.
TEST(LoggerPath, InstalledProgramsLogUnderTheStateFolder)
{
    const char* home = "/home/eng";
    EXPECT_EQ(Logger::chooseLogPath("/work/build/cli/quillon-cli", true, nullptr, home),
              "/work/build/cli/quillon-cli.log");
    EXPECT_EQ(Logger::chooseLogPath("/usr/bin/quillon", true, "/xdg/state", home), "/xdg/state/quillon/quillon.log");
    EXPECT_EQ(Logger::chooseLogPath("/tmp/stage/usr/bin/quillon-cli", true, nullptr, home),
              "/home/eng/.local/state/quillon/quillon-cli.log");
    EXPECT_EQ(Logger::chooseLogPath("/usr/libexec/quillon/reader", true, nullptr, home),
              "/home/eng/.local/state/quillon/reader.log");
    EXPECT_EQ(Logger::chooseLogPath("/opt/q/quillon", false, nullptr, home),
              "/home/eng/.local/state/quillon/quillon.log");
}

TEST(LoggerPath, RelativeOrEmptyStateHomeFallsBackToHome)
{
    EXPECT_EQ(Logger::chooseLogPath("/usr/bin/quillon", false, "state", "/home/eng"),
              "/home/eng/.local/state/quillon/quillon.log");
    EXPECT_EQ(Logger::chooseLogPath("/usr/bin/quillon", false, "", "/home/eng"),
              "/home/eng/.local/state/quillon/quillon.log");
    // Nowhere else to go: the path beside the program (its lines are then lost, never misplaced).
    EXPECT_EQ(Logger::chooseLogPath("/usr/bin/quillon", false, nullptr, nullptr), "/usr/bin/quillon.log");
}
