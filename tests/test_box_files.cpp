// Files the box reads hold its encoding: the provisioning files and the site information file.
#include <BoxText.h>
#include <Logger.h>
#include <ProfileGenerator.h>
#include <ZoneInfo.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <sys/wait.h>
#include <unistd.h>

using namespace quillon;
namespace fs = std::filesystem;

namespace
{

// Eleven characters: 33 bytes in UTF-8, 22 in GBK (printf TEXT | iconv -f UTF-8 -t GBK | xxd).
const std::string kUserId = "用户一二三四五六七八九";
const std::string kUserIdGbk =
    "\xD3\xC3\xBB\xA7\xD2\xBB\xB6\xFE\xC8\xFD\xCB\xC4\xCE\xE5\xC1\xF9\xC6\xDF\xB0\xCB\xBE\xC5";
const std::string kBroadband = "宽带"; // GBK BF ED B4 F8

const std::string kTitles =
    "user,ntvuseraccount,ntvuserpassword,connecttype,netuseraccount,netuserpassword,stbIP,netmask,gateway,dns,dns2\n";

std::string slurp(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void spit(const fs::path& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

bool haveCommand(const char* name)
{
    const std::string probe = std::string("command -v ") + name + " >/dev/null 2>&1";
    return std::system(probe.c_str()) == 0;
}

// Standard output of a shell pipeline, and its exit status.
std::string shell(const std::string& command, int& status)
{
    std::string out;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) {
        status = -1;
        return out;
    }
    char buffer[512];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        out.append(buffer, n);
    const int raw = ::pclose(pipe);
    status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return out;
}

class BoxFiles : public ::testing::Test
{
protected:
    void SetUp() override
    {
        root_ = fs::temp_directory_path() / ("quillon-boxfiles-" + std::to_string(::getpid()) + "-" +
                                             ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root_);
        out_ = root_ / "out";
        fs::create_directories(out_);
        Logger::instance().setFileName((root_ / "test.log").string());
    }
    void TearDown() override
    {
        setBoxEncoding(BoxEncoding::Gbk);
        Logger::instance().setFileName("log.txt");
        fs::remove_all(root_);
    }
    int generate(const std::string& rows)
    {
        const fs::path book = root_ / "book.csv";
        spit(book, kTitles + rows);
        return CreateUserProfile(book.string(), out_.string(), {});
    }
    // The .cfg file's lines, each still Base64 of the cipher.
    std::vector<std::string> cipherLines(const fs::path& cfg)
    {
        std::vector<std::string> lines;
        std::istringstream in(slurp(cfg));
        std::string line;
        while (std::getline(in, line))
            lines.push_back(line.substr(0, line.find('\r')));
        return lines;
    }

    fs::path root_, out_;
};

} // namespace

// Faults caught: the 32-byte limit counted in UTF-8 (the row is refused), account.ini or the .cfg
// lines written in UTF-8.
TEST_F(BoxFiles, AnElevenCharacterChineseIdProvisionsAsGbk)
{
    ASSERT_EQ(generate(kUserId + "," + kUserId + ",pw,pppoe," + kBroadband + "01\n"), ProfileOk)
        << slurp(root_ / "test.log");
    EXPECT_EQ(slurp(out_ / "account.ini"), "[" + kUserIdGbk + "]\r\nuser=" + kUserIdGbk + "\r\ninitialize=0\r\n");
    const fs::path cfg = out_ / (kUserId + ".cfg"); // the file name is the PC's
    ASSERT_TRUE(fs::exists(cfg));
    const auto lines = cipherLines(cfg);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], encodeProfileLine("ntvuseraccount = " + kUserIdGbk + "\r"));

    // Sixteen characters are exactly 32 GBK bytes; seventeen are too many.
    std::string sixteen = kUserId + "甲乙丙丁戊";
    EXPECT_EQ(generate(sixteen + ",a16\n" + sixteen + "己,a17\n"), 1);
    EXPECT_TRUE(fs::exists(out_ / "a16.cfg"));
    EXPECT_FALSE(fs::exists(out_ / "a17.cfg"));
    EXPECT_NE(slurp(out_ / "error.txt").find("Error row:3, error msg: The length of userid is bigger than 32."),
              std::string::npos);
}

// The box's own tools: `openssl des-ede3` opens each line, `iconv -f GBK` reads it.
TEST_F(BoxFiles, GeneratedLinesOpenWithTheOpensslAndIconvCommandLines)
{
    if (!haveCommand("openssl") || !haveCommand("iconv"))
        GTEST_SKIP() << "needs the openssl and iconv command lines";
    ASSERT_EQ(generate(kUserId + "," + kUserId + ",pw,pppoe," + kBroadband + "01\n"), ProfileOk);
    const auto lines = cipherLines(out_ / (kUserId + ".cfg"));
    ASSERT_EQ(lines.size(), 4u);
    // The key bundle: printf pelvantoru20480917 | openssl md5, the first 24 hex digits in upper
    // case, used as 24 key bytes; here in hexadecimal for -K.
    const std::string key = "323644313530343833303946464444393933303732353936";
    const std::string expected[] = {"ntvuseraccount = " + kUserId + "\r", "ntvuserpassword = pw\r",
                                    "connecttype = pppoe\r", "netuseraccount = " + kBroadband + "01\r"};
    for (size_t i = 0; i < lines.size(); ++i) {
        // Base64 holds no quote, so the line goes into the command as it is.
        ASSERT_EQ(lines[i].find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/="),
                  std::string::npos);
        int status = 0;
        const std::string gbk =
            shell("printf '%s' '" + lines[i] + "' | openssl enc -d -des-ede3 -a -A -K " + key, status);
        ASSERT_EQ(status, 0) << lines[i];
        EXPECT_EQ(fromBox(gbk, BoxEncoding::Gbk), expected[i]);
        const std::string utf8 = shell("printf '%s' '" + lines[i] + "' | openssl enc -d -des-ede3 -a -A -K " + key +
                                           " | iconv -f GBK -t UTF-8",
                                       status);
        ASSERT_EQ(status, 0) << lines[i];
        EXPECT_EQ(utf8, expected[i]);
    }
}

// Faults caught: an operator's GBK account.ini read as UTF-8 (its section not found, so doubled),
// or a UTF-8 box given GBK.
TEST_F(BoxFiles, AccountIniIsUpdatedInTheBoxEncodingAndTheUtf8SettingWritesUtf8)
{
    spit(out_ / "account.ini", "; " + std::string("\xC9\xE8\xB1\xB8") + "\r\n[" + kUserIdGbk + "]\r\nuser=old\r\n");
    ASSERT_EQ(generate(kUserId + "," + kUserId + "\n"), ProfileOk);
    EXPECT_EQ(slurp(out_ / "account.ini"),
              "; \xC9\xE8\xB1\xB8\r\n[" + kUserIdGbk + "]\r\nuser=" + kUserIdGbk + "\r\ninitialize=0\r\n");

    fs::remove_all(out_);
    fs::create_directories(out_);
    setBoxEncoding(BoxEncoding::Utf8);
    // 33 UTF-8 bytes: past the limit of a UTF-8 box.
    EXPECT_EQ(generate(kUserId + ",a1\n" + "用户一二三四五六七八,a2\n"), 1);
    EXPECT_EQ(slurp(out_ / "account.ini"), "[a2]\r\nuser=用户一二三四五六七八\r\ninitialize=0\r\n");
}

// Faults caught: a cut that counts UTF-8 bytes or splits a GBK character.
TEST(BoxFileLines, TheLineCutCountsBoxBytes)
{
    // "dns = " and 71 characters are 148 GBK bytes; the seventy-second no longer fits whole.
    std::string value;
    for (int i = 0; i < 72; ++i)
        value += "中";
    const std::string line = profilePlainLine("dns", value);
    EXPECT_EQ(line.size(), 148u);
    EXPECT_EQ(fromBox(line, BoxEncoding::Gbk), "dns = " + value.substr(0, 71 * 3));
    EXPECT_EQ(profilePlainLine("dns", "中"), "dns = \xD6\xD0\r");
}

TEST(BoxFileLines, TheSiteNameComesFromGbk)
{
    const fs::path path = fs::temp_directory_path() / ("quillon-zone-gbk-" + std::to_string(::getpid()) + ".cfg");
    spit(path, "a=1\r\ninfo = \xB1\xB1\xBE\xA9\xCE\xF7\xB3\xC7\r\n");
    EXPECT_EQ(readZoneInfo(path.string()), "北京西城");
    spit(path, "info=北京西城\n"); // a file written as UTF-8 is read as it is
    EXPECT_EQ(readZoneInfo(path.string()), "北京西城");
    fs::remove(path);
}
