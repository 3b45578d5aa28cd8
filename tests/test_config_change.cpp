// set, apply and import-params against an in-process box: what reaches the box, the dry run,
// snapshots and their restore.
#include "CliFixture.h"

#include <Command.h>
#include <ConfigChange.h>
#include <LinkSession.h>
#include <Snapshots.h>
#include <StringTable.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include <sys/stat.h>

using namespace quillon;
using namespace quillon::cli;
namespace fs = std::filesystem;

namespace
{

class ConfigChangeCli : public test::CliFixture
{
protected:
    void SetUp() override
    {
        CliFixture::SetUp();
        dir = fs::temp_directory_path() / ("quillon-change-" + std::to_string(::getpid()) + "-" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
        snapshots = (dir / "snapshots").string();
    }
    void TearDown() override
    {
        CliFixture::TearDown();
        fs::remove_all(dir);
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
        {"NTPDomain=a\nb", "NTPDomain: a value holds no line break and at most 2047 characters\n"},
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
    EXPECT_EQ(run("apply", {"--snapshot-dir", snapshots, path}), ExitOk);
    EXPECT_EQ(err.str(), "127.0.0.1: unchanged\n");
    EXPECT_TRUE(writes().empty());
    EXPECT_TRUE(snapshotFiles().empty());
    // The dry run says the same, and prints no key.
    EXPECT_EQ(run("apply", {"--dry-run", path}), ExitOk);
    EXPECT_EQ(out.str(), "");
    EXPECT_EQ(err.str(), "127.0.0.1: unchanged\n");
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
    EXPECT_NE(err.str().find(notAFolder + ": not a folder"), std::string::npos) << err.str(); // why, by name
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

// Faults caught: folders made readable by others on the way to the snapshots; keeping too many,
// too few or another box's snapshots; a "-2" snapshot of the same second taken for older than its
// first; a listing in the wrong order or with other files in it.
TEST_F(ConfigChangeCli, SnapshotsAreKeptPrivateCountedPerBoxAndListedNewestFirst)
{
    ::umask(022);
    const std::string deep = (dir / "state" / "quillon" / "snapshots").string();
    const std::string own = "00100299000123456789";
    auto snapshotOf = [this] {
        const std::string e = err.str();
        const size_t at = e.find("snapshot: ");
        return at == std::string::npos ? std::string()
                                       : fs::path(e.substr(at + 10, e.find('\n', at) - at - 10)).filename().string();
    };
    ASSERT_EQ(run("set", {"--snapshot-dir", deep, "timeZone=-1"}), ExitOk) << err.str();
    const std::string first = snapshotOf();
    for (const auto& p : {dir / "state", dir / "state" / "quillon", fs::path(deep)}) {
        struct stat st {
        };
        ASSERT_EQ(::stat(p.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0700u) << p;
    }
    // Older snapshots of this box (one a second apart, three in the same second) and of another.
    std::vector<std::string> old;
    for (const char* name : {"-20250101T000000Z.txt", "-20250101T000001Z.txt", "-20250101T000002Z.txt",
                             "-20250101T000002Z-2.txt", "-20250101T000002Z-10.txt"})
        old.push_back(own + name);
    for (const std::string& name : old)
        file("state/quillon/snapshots/" + name, "[stb]\n");
    file("state/quillon/snapshots/OTHER-20240101T000000Z.txt", "[stb]\n");
    file("state/quillon/snapshots/notes.txt", "mine");

    ASSERT_EQ(run("set", {"--snapshot-dir", deep, "--keep-snapshots", "3", "timeZone=-5"}), ExitOk) << err.str();
    const std::string second = snapshotOf();
    std::set<std::string> left;
    for (const auto& e : fs::directory_iterator(deep))
        left.insert(e.path().filename().string());
    EXPECT_EQ(left, (std::set<std::string>{first, second, old[4], "OTHER-20240101T000000Z.txt", "notes.txt"}));

    ASSERT_EQ(run("snapshots", {"--snapshot-dir", deep}), ExitOk);
    std::vector<std::string> lines;
    std::istringstream listed(out.str());
    for (std::string l; std::getline(listed, l);)
        lines.push_back(l);
    ASSERT_EQ(lines.size(), 4u) << out.str();
    EXPECT_NE(lines[0].find("  " + own + "  " + deep + "/" + second), std::string::npos) << lines[0];
    EXPECT_NE(lines[1].find("  " + own + "  " + deep + "/" + first), std::string::npos) << lines[1];
    EXPECT_EQ(lines[2], "2025-01-01 00:00:02 UTC  " + own + "  " + deep + "/" + old[4]);
    EXPECT_EQ(lines[3], "2024-01-01 00:00:00 UTC  OTHER  " + deep + "/OTHER-20240101T000000Z.txt");
    ASSERT_EQ(run("snapshots", {"--snapshot-dir", deep, "OTHER"}), ExitOk);
    EXPECT_EQ(out.str(), lines[3] + "\n");
    EXPECT_EQ(run("snapshots", {"--snapshot-dir", deep, "a", "b"}), ExitUsage);
    EXPECT_EQ(run("set", {"--keep-snapshots", "0", "timeZone=-5"}), ExitUsage);
}

// Faults caught: a restore that puts back the connection type but not the static address, or
// sends the address while the box is still on DHCP (the box refuses it there).
TEST_F(ConfigChangeCli, SnapshotRestoresStaticAddressAfterTheBoxLeftStaticIp)
{
    box->setValue("connecttype", "3");
    box->setValue("stbIP", "10.1.2.3");
    box->setValue("gateway", "10.1.2.1");
    box->setValue("netmask", "255.255.255.128");
    box->setValue("dns", "10.1.2.53");
    const auto before = boxConfig();
    ASSERT_EQ(run("set", {"--snapshot-dir", snapshots, "connecttype=2"}), ExitOk) << err.str();
    EXPECT_EQ(box->value("connecttype"), "2");
    EXPECT_NE(box->value("stbIP"), "10.1.2.3"); // the box took an address by DHCP
    const auto files = snapshotFiles();
    ASSERT_EQ(files.size(), 1u);

    box->clearFrames();
    ASSERT_EQ(run("apply", {"--no-snapshot", files[0].string()}), ExitOk) << err.str();
    EXPECT_EQ(writes(), (std::vector<std::string>{"write^connecttype^null^3", "write^stbIP^null^10.1.2.3",
                                                  "write^gateway^null^10.1.2.1", "write^netmask^null^255.255.255.128",
                                                  "write^dns^null^10.1.2.53"}));
    EXPECT_EQ(boxConfig(), before);
}

TEST(SnapshotName, ReadsBackWhatTheWriterNames)
{
    SnapshotFile f;
    ASSERT_TRUE(parseSnapshotName("SN-1-20261209T205656Z.txt", f));
    EXPECT_EQ(f.serial, "SN-1");
    EXPECT_EQ(f.attempt, 1);
    EXPECT_EQ(f.utc, 1796849816);
    ASSERT_TRUE(parseSnapshotName("SN-1-20261209T205656Z-12.txt", f));
    EXPECT_EQ(f.serial, "SN-1");
    EXPECT_EQ(f.attempt, 12);
    ASSERT_TRUE(parseSnapshotName(snapshotFileName("", 0), f));
    EXPECT_EQ(f.serial, "unknown");
    for (const char* other : {"notes.txt", "-20261209T205656Z.txt", "SN-20261309T205656Z.txt",
                              "SN-20261209T205656Z.ini", "SN-20261209T205656Z-1.txt", "SN20261209T205656Z.txt"})
        EXPECT_FALSE(parseSnapshotName(other, f)) << other;
}
