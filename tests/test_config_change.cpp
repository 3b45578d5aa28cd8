// set, apply and import-params against an in-process box: what reaches the box, the dry run,
// snapshots and their restore.
#include "LinkFixture.h"

#include <Command.h>
#include <ConfigChange.h>
#include <LinkSession.h>
#include <StringTable.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include <sys/stat.h>

using namespace quillon;
using namespace quillon::cli;
namespace fs = std::filesystem;

namespace
{

class ConfigChangeCli : public ::testing::Test
{
protected:
    void SetUp() override
    {
        setUiLanguage(LanguageEnglish);
        box = std::make_unique<sim::StbSimulator>(test::testBoxOptions());
        ASSERT_TRUE(box->start());
        dir = fs::temp_directory_path() / ("quillon-change-" + std::to_string(::getpid()) + "-" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
        snapshots = (dir / "snapshots").string();
    }
    void TearDown() override
    {
        session.reset();
        box->stop();
        fs::remove_all(dir);
        setUiLanguage(LanguageChinese);
    }

    static LinkSession* open(Context& c)
    {
        auto* self = static_cast<ConfigChangeCli*>(c.owner);
        if (!self->session) {
            auto s = std::make_unique<LinkSession>(c.out, c.err);
            if (!s->open("127.0.0.1", self->box->port(), "admin", "quillon", "", test::shortTimeouts()))
                return nullptr;
            self->session = std::move(s);
        }
        return self->session.get();
    }

    int run(const std::string& name, std::vector<std::string> args)
    {
        out.str("");
        err.str("");
        for (auto& command : allCommands())
            if (name == command->name()) {
                Context c{std::move(args), out, err, &ConfigChangeCli::open, this};
                return command->run(c);
            }
        return -1;
    }

    std::string file(const std::string& name, const std::string& text)
    {
        const std::string path = (dir / name).string();
        std::ofstream(path, std::ios::binary) << text;
        return path;
    }

    std::vector<std::string> writes() const
    {
        std::vector<std::string> w;
        for (const std::string& f : box->frames())
            if (f.rfind("read^", 0) != 0)
                w.push_back(f);
        return w;
    }

    std::map<std::string, std::string> boxConfig() const
    {
        std::map<std::string, std::string> values;
        for (const char* key : kConfigKeys)
            values[key] = box->value(key);
        return values;
    }

    std::vector<fs::path> snapshotFiles() const
    {
        std::vector<fs::path> found;
        if (fs::exists(snapshots))
            for (const auto& e : fs::directory_iterator(snapshots))
                found.push_back(e.path());
        return found;
    }

    std::unique_ptr<sim::StbSimulator> box;
    std::unique_ptr<LinkSession> session;
    std::ostringstream out, err;
    fs::path dir;
    std::string snapshots;
};

} // namespace

// Faults caught: a value written without its rule (the old "timeZone=abc" wrote UTC +00:00), a
// refused value still opening the link or reaching the box.
TEST_F(ConfigChangeCli, SetRefusesValuesItsRuleRejectsBeforeAnythingTravels)
{
    const std::pair<const char*, const char*> refused[] = {
        {"timeZone=abc", "timeZone is a invalid value.\n"},
        {"connecttype=9", "Connecttype isn't in {1,2,3}\n"},
        {"QoSLogSwitch=on", "QoSLogSwitch isn't 0 or 1.\n"},
        {"stbIP=10.0.0.300", "stbIP isn't a valid ip.\n"},
        {"HDVideoStandard=4K", "HDVideoStandard is a invalid value.\n"},
        {"TMSHeartBitInterval=", "TMSHeartBitInterval needs a value\n"},
    };
    for (const auto& [arg, message] : refused) {
        EXPECT_EQ(run("set", {"--snapshot-dir", snapshots, "timeZone=3", arg}), ExitUsage) << arg;
        EXPECT_EQ(err.str(), message) << arg;
    }
    EXPECT_EQ(run("set", {"--bogus", "timeZone=3"}), ExitUsage);
    EXPECT_FALSE(session); // never connected
    EXPECT_TRUE(box->frames().empty());
    EXPECT_TRUE(snapshotFiles().empty());
}

// Faults caught: a dry run that writes, shows a password, or lists keys that would not travel.
TEST_F(ConfigChangeCli, DryRunPrintsTheKeysThatWouldTravelAndWritesNothing)
{
    ASSERT_EQ(run("set", {"--dry-run", "--snapshot-dir", snapshots, "timeZone=+5:00", "ntvuserpassword=new",
                          "QoSLogSwitch=1", "stbIP=10.0.0.7", "LogServerUrl="}),
              ExitOk)
        << err.str();
    // QoSLogSwitch is unchanged and stbIP does not travel on a DHCP box.
    EXPECT_EQ(out.str(), "timeZone: 8 -> 5\nLogServerUrl: http://10.20.0.40:8088/qos -> \n"
                         "ntvuserpassword: *** -> ***\n");
    EXPECT_TRUE(writes().empty());
    EXPECT_TRUE(snapshotFiles().empty());
    EXPECT_EQ(box->value("timeZone"), "UTC +08:00");
}

// Faults caught: a snapshot missing keys or readable by others, a restore that leaves a value
// changed or sends more than the changed keys.
TEST_F(ConfigChangeCli, SnapshotBeforeSetRestoresTheEarlierValuesExactly)
{
    const auto before = boxConfig();
    ASSERT_EQ(run("set", {"--snapshot-dir", snapshots, "timeZone=-5", "Main_HomepageUrl=http://other/auth",
                          "LogServerUrl=", "qv_op_CAregister=+1"}),
              ExitOk)
        << err.str();
    EXPECT_EQ(writes(), (std::vector<std::string>{"write^Main_HomepageUrl^null^http://other/auth",
                                                  "write^timeZone^null^UTC -05:00", "write^LogServerUrl^null^",
                                                  "write^qv_op_CAregister^null^1"}));
    const auto files = snapshotFiles();
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0].filename().string().rfind("00100299000123456789-", 0), 0u) << files[0];
    EXPECT_NE(err.str().find("snapshot: " + files[0].string()), std::string::npos);
    struct stat st {
    };
    ASSERT_EQ(::stat(files[0].c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    std::ifstream in(files[0]);
    std::string line;
    int lines = 0;
    while (std::getline(in, line))
        ++lines;
    EXPECT_EQ(lines, 39); // the section and all 38 keys

    box->clearFrames();
    ASSERT_EQ(run("apply", {"--no-snapshot", files[0].string()}), ExitOk) << err.str();
    EXPECT_EQ(writes().size(), 4u);
    EXPECT_EQ(boxConfig(), before);
    EXPECT_EQ(snapshotFiles().size(), 1u); // --no-snapshot
}

// Fault caught: values that the print and the import read differently, so that applying the
// box's own configuration writes something.
TEST_F(ConfigChangeCli, ApplyingTheBoxsOwnConfigurationSendsNothing)
{
    ASSERT_EQ(run("config", {}), ExitOk);
    const std::string path = file("config.txt", out.str());
    box->clearFrames();
    EXPECT_EQ(run("apply", {"--snapshot-dir", snapshots, path}), ExitError);
    EXPECT_EQ(err.str(), "127.0.0.1: Nothing to be done for this action.\n");
    EXPECT_TRUE(writes().empty());
    EXPECT_TRUE(snapshotFiles().empty());
}

// Faults caught: a file with refused values written in part; --skip-invalid writing a refused key
// or reporting full success.
TEST_F(ConfigChangeCli, ApplyWithMessagesWritesNothingUnlessTheRefusedKeysAreSkipped)
{
    const std::string path = file("p.ini", "[stb]\r\nconnecttype = 2\r\ntimeZone = -3:00\r\nQoSLogSwitch = on\r\n"
                                           "HDVideoStandard = 720p50Hz\r\nNTPDomain = ntp.other\r\n");
    EXPECT_EQ(run("apply", {"--snapshot-dir", snapshots, path}), ExitError);
    EXPECT_NE(err.str().find("QoSLogSwitch isn't 0 or 1."), std::string::npos) << err.str();
    EXPECT_TRUE(box->frames().empty());

    EXPECT_EQ(run("apply", {"--skip-invalid", "--snapshot-dir", snapshots, path}), ExitPartial) << err.str();
    // Keys missing from the file keep the box's values; NTPDomain travels, the refused key does not.
    EXPECT_EQ(writes(), (std::vector<std::string>{"write^NTPDomain^null^ntp.other", "write^timeZone^null^UTC -03:00"}));
    EXPECT_EQ(box->value("QoSLogSwitch"), "1");
    EXPECT_EQ(run("apply", {"--snapshot-dir", snapshots, (dir / "missing.txt").string()}), ExitError);
}

// Faults caught: a write going ahead without its snapshot; a snapshot that would not restore.
TEST_F(ConfigChangeCli, ASnapshotThatCannotBeSavedStopsTheWrite)
{
    const std::string notAFolder = file("plain", "x");
    EXPECT_EQ(run("set", {"--snapshot-dir", notAFolder, "timeZone=-5"}), ExitError);
    EXPECT_NE(err.str().find("snapshot not saved, nothing written"), std::string::npos) << err.str();
    EXPECT_TRUE(writes().empty());

    box->setValue("NTPDomain", "ntp1\nconnecttype = 3"); // would read back as another key
    EXPECT_EQ(run("set", {"--snapshot-dir", snapshots, "timeZone=-5"}), ExitError);
    EXPECT_NE(err.str().find("the value of NTPDomain cannot be kept exactly"), std::string::npos) << err.str();
    EXPECT_TRUE(writes().empty());
    EXPECT_EQ(run("set", {"--no-snapshot", "timeZone=-5"}), ExitOk) << err.str();
}

TEST_F(ConfigChangeCli, ImportParamsPrintsWhatTheImportYields)
{
    const std::string path = file("in.txt", "[stb]\nconnecttype = 3\nstbIP = 10.0.0.5\ntimeZone = +8:00\n"
                                            "Main_HomepageUrl = null\nqv_op_CAregister = 5\n");
    EXPECT_EQ(run("import-params", {path}), ExitError);
    EXPECT_EQ(err.str(), "HDVideoStandard not set\nqv_op_CAregister isn't in {0,1,2,3,4}\n"); // in key order
    std::istringstream lines(out.str());
    std::map<std::string, std::string> got;
    for (std::string l; std::getline(lines, l);)
        if (const size_t eq = l.find(" = "); eq != std::string::npos)
            got[l.substr(0, eq)] = l.substr(eq + 3);
    EXPECT_EQ(got.size(), 38u);
    EXPECT_EQ(got["connecttype"], "3");
    EXPECT_EQ(got["stbIP"], "10.0.0.5");
    EXPECT_EQ(got["timeZone"], "8");
    EXPECT_EQ(got["Main_HomepageUrl"], "null");
    EXPECT_EQ(got["qv_op_CAregister"], "");
    EXPECT_TRUE(box->frames().empty());

    EXPECT_EQ(run("import-params", {file("ok.txt", "[stb]\nconnecttype=1\nHDVideoStandard=5\n")}), ExitOk);
    EXPECT_TRUE(err.str().empty());
    EXPECT_EQ(run("import-params", {dir.string()}), ExitError); // a folder
}

TEST(SnapshotName, SerialNumberCannotLeaveTheFolder)
{
    EXPECT_EQ(snapshotFileName("SN-1", 0), "SN-1-19700101T000000Z.txt");
    EXPECT_EQ(snapshotFileName("../../etc/x", 86400), ".._.._etc_x-19700102T000000Z.txt");
    EXPECT_EQ(snapshotFileName("", 0), "unknown-19700101T000000Z.txt");
    EXPECT_EQ(snapshotFileName("..", 0), "unknown-19700101T000000Z.txt");
}

TEST(SnapshotFolder, FollowsXdgStateHome)
{
    const char* savedState = std::getenv("XDG_STATE_HOME");
    const std::string keep = savedState ? savedState : "";
    const std::string home = std::getenv("HOME") ? std::getenv("HOME") : "";
    ::setenv("XDG_STATE_HOME", "/var/tmp/state", 1);
    EXPECT_EQ(defaultSnapshotDir(), "/var/tmp/state/quillon/snapshots");
    ::setenv("XDG_STATE_HOME", "relative", 1); // not absolute: ignored
    ::setenv("HOME", "/home/u", 1);
    EXPECT_EQ(defaultSnapshotDir(), "/home/u/.local/state/quillon/snapshots");
    ::setenv("HOME", home.c_str(), 1);
    if (savedState)
        ::setenv("XDG_STATE_HOME", keep.c_str(), 1);
    else
        ::unsetenv("XDG_STATE_HOME");
}
