#include "Unprivileged.h"

#include <Logger.h>
#include <ProfileGenerator.h>
#include <StringTable.h>

#include <gtest/gtest.h>

#include <openssl/evp.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include <unistd.h>

using namespace quillon;
namespace fs = std::filesystem;

namespace
{

const std::string kData = QUILLON_TEST_DATA;

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

// Independent of the code under test: the key bundle was derived with
// printf pelvantoru20480917 | openssl md5, first 24 hex digits in upper case.
std::string decodeLine(const std::string& base64)
{
    static const std::string key = "26D15048309FFDD993072596";
    std::string cipher(base64.size(), '\0');
    int n = EVP_DecodeBlock(reinterpret_cast<unsigned char*>(cipher.data()),
                            reinterpret_cast<const unsigned char*>(base64.data()), static_cast<int>(base64.size()));
    if (n < 0)
        return "<bad base64>";
    n -= static_cast<int>(std::count(base64.end() - 2, base64.end(), '='));
    std::string plain(static_cast<size_t>(n) + 8, '\0');
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    int len = 0, tail = 0;
    EVP_DecryptInit_ex(ctx, EVP_des_ede3_ecb(), nullptr, reinterpret_cast<const unsigned char*>(key.data()), nullptr);
    EVP_DecryptUpdate(ctx, reinterpret_cast<unsigned char*>(plain.data()), &len,
                      reinterpret_cast<const unsigned char*>(cipher.data()), n);
    const bool ok = EVP_DecryptFinal_ex(ctx, reinterpret_cast<unsigned char*>(plain.data()) + len, &tail) == 1;
    EVP_CIPHER_CTX_free(ctx);
    plain.resize(static_cast<size_t>(len + tail));
    return ok ? plain : "<bad padding>";
}

// The plain lines of a generated .cfg file; every line must end CR LF.
std::vector<std::string> decodeFile(const fs::path& path)
{
    std::vector<std::string> lines;
    const std::string bytes = slurp(path);
    size_t pos = 0;
    while (pos < bytes.size()) {
        const size_t end = bytes.find("\r\n", pos);
        if (end == std::string::npos) {
            lines.push_back("<no line end>");
            break;
        }
        lines.push_back(decodeLine(bytes.substr(pos, end - pos)));
        pos = end + 2;
    }
    return lines;
}

bool isReadOnly(const fs::path& path)
{
    const auto p = fs::status(path).permissions();
    return (p & (fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write)) == fs::perms::none;
}

const std::string kTitles =
    "user,ntvuseraccount,ntvuserpassword,connecttype,netuseraccount,netuserpassword,stbIP,netmask,gateway,dns,dns2\n";

class ProfileGeneratorTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        root_ = fs::temp_directory_path() / ("quillon-profiles-" + std::to_string(::getpid()) + "-" +
                                             ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root_);
        out_ = root_ / "out";
        fs::create_directories(out_);
        Logger::instance().setFileName((root_ / "test.log").string());
        setUiLanguage(LanguageEnglish);
    }
    void TearDown() override
    {
        Logger::instance().setFileName("log.txt");
        fs::remove_all(root_);
    }
    std::string csv(const std::string& rows)
    {
        const fs::path p = root_ / "book.csv";
        spit(p, kTitles + rows);
        return p.string();
    }
    int run(const std::string& workbook) { return CreateUserProfile(workbook, out_.string(), {}); }
    std::vector<std::string> outputNames() const
    {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(out_))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    std::string log() const { return slurp(root_ / "test.log"); }

    fs::path root_, out_;
};

} // namespace

TEST(EncodeProfileLine, MatchesOpensslCommandLine)
{
    // printf LINE | openssl enc -des-ede3 -K <hex of the key bundle> -nosalt | base64 -w0
    struct Vector {
        const char* plain;
        const char* base64;
    };
    const Vector vectors[] = {
        {"ntvuseraccount = acc1\r", "nYoU1mViaX0T6Y8K/xUTFBCfOjOJhrGd"},
        {"connecttype = pppoe\r", "nOaSLWD8nt+LyLQsvlRhebCR3+BRhsC2"},
        {"netmask = 255.255.255.0\r", "hrX6BA8scDi1yGu8U7ptBoupcrjgmyWfVqax2B9T5Hs="},
        {"1234567", "YhvwrL4a4BQ="},              // one byte of padding
        {"12345678", "a2rbXlwhKCBWprHYH1Pkew=="}, // a whole block of padding
        {"dns = 1\r", "24j9B2TVpHlWprHYH1Pkew=="},
        {"stbIP = \xe4\xb8\xad\r", "CUWHAcpfA1/Lu2MDoCZFLA=="},
    };
    for (const auto& v : vectors)
        EXPECT_EQ(encodeProfileLine(v.plain), v.base64) << v.plain;
}

TEST(EncodeProfileLine, LongValueIsCutTo149BytesBeforeEncoding)
{
    const std::string line = profilePlainLine("ntvuserpassword", std::string(200, 'x'));
    EXPECT_EQ(line, "ntvuserpassword = " + std::string(131, 'x')); // the carriage return is cut off too
    EXPECT_EQ(encodeProfileLine(line),
              "s2J6Ir4PbobQb8fF2BGtru2Cx1xbo5paY2Xj70X60oBjZePvRfrSgGNl4+9F+tKAY2Xj70X60oBjZePvRfrSgGNl4+9F+tKAY2Xj"
              "70X60oBjZePvRfrSgGNl4+9F+tKAY2Xj70X60oBjZePvRfrSgGNl4+9F+tKAY2Xj70X60oBjZePvRfrSgGNl4+9F+tKA63niMPY3"
              "CAY=");
    EXPECT_EQ(profilePlainLine("dns", std::string(145, 'y')).size(), 149u); // 151 bytes before the cut
    EXPECT_EQ(profilePlainLine("dns", "8.8.8.8"), "dns = 8.8.8.8\r");
    // A cut inside a two-byte character drops the whole character.
    const std::string utf8 = profilePlainLine("dns", std::string(142, 'y') + "\xc3\xa9\xc3\xa9");
    EXPECT_EQ(utf8, "dns = " + std::string(142, 'y'));
}

TEST(AccountName, RejectsNamesThatLeaveTheFolderOrThatFileSystemsRefuse)
{
    for (const char* bad : {"../evil", "..",  ".",   "a/b",       "a\\b",      "x..y", "a:b", "a*b", "a?b",  "a|b",
                            "a\"b",    "a<b", "a>b", "tab\there", "new\nline", "[a]",  "CON", "nul", "Lpt1", "com9"})
        EXPECT_FALSE(isSafeAccountName(bad)) << bad;
    EXPECT_FALSE(isSafeAccountName(std::string("a\0b", 3)));
    for (const char* good : {"acc1", "8613800138000", "user.name", "a-b_c", "con1", "\xe7\x94\xa8\xe6\x88\xb7"})
        EXPECT_TRUE(isSafeAccountName(good)) << good;
}

TEST_F(ProfileGeneratorTest, PathChecksComeFirstAndWriteNothing)
{
    const std::string book = csv("u1,acc1\n");
    EXPECT_EQ(CreateUserProfile("", out_.string(), {}), ProfileSrcEmpty);
    EXPECT_EQ(CreateUserProfile((root_ / "none.xls").string(), out_.string(), {}), ProfileSrcMissing);
    EXPECT_EQ(CreateUserProfile(book, "", {}), ProfileDstEmpty);
    EXPECT_EQ(CreateUserProfile(book, (root_ / "none").string(), {}), ProfileDstMissing);
    EXPECT_EQ(CreateUserProfile(book, book, {}), ProfileDstMissing); // a file is not a folder
    EXPECT_TRUE(outputNames().empty());
    EXPECT_NE(log().find("srcFile:" + (root_ / "none.xls").string() + " does not exist."), std::string::npos);
}

TEST_F(ProfileGeneratorTest, WorkbooksThatCannotBeUsedProduceNothing)
{
    EXPECT_EQ(run(kData + "/truncated.xls"), ProfileWorkbookUnreadable);
    EXPECT_EQ(run(kData + "/make_workbooks.py"), ProfileWorkbookUnreadable); // not a workbook at all
    EXPECT_EQ(run(kData + "/title-only.xls"), ProfileNothingToGenerate);
    EXPECT_EQ(run(kData + "/title-case.xlsx"), ProfileTitleWrong);
    EXPECT_NE(log().find("Title of exccel file is error, col:1, User!=user"), std::string::npos);
    spit(root_ / "empty.csv", "");
    EXPECT_EQ(run((root_ / "empty.csv").string()), ProfileNothingToGenerate);
    EXPECT_TRUE(outputNames().empty()); // not even account.ini
    EXPECT_EQ(profileResultText(ProfileTitleWrong), loadUiString(476));
    EXPECT_EQ(profileResultText(ProfileWorkbookUnreadable, "not a workbook"),
              "the workbook cannot be read: not a workbook");
    EXPECT_EQ(profileResultText(ProfileSrcMissing, "/no/book.xls"), loadUiString(462) + "/no/book.xls");
}

// The same sample written by three spreadsheet writers gives the same files.
TEST_F(ProfileGeneratorTest, SampleWorkbooksGiveFilesIndexAndErrorReport)
{
    for (const char* name : {"profiles.xls", "profiles.xlsx", "profiles.ods"}) {
        SCOPED_TRACE(name);
        fs::remove_all(out_);
        fs::create_directories(out_);
        ASSERT_EQ(run(kData + "/" + name), 2);
        EXPECT_EQ(profileResultText(2), "A part of create user config file failed：2 error.");
        EXPECT_EQ(outputNames(), (std::vector<std::string>{"8613800138000.cfg", "acc2.cfg", "acc5.cfg", "acc6.cfg",
                                                           "account.ini", "error.txt"}));
        EXPECT_EQ(slurp(out_ / "error.txt"), "Error row:4, error msg: user id empty.\r\r\n"
                                             "Error row:5, error msg: The length of ntvuseraccount is bigger than "
                                             "32.\r\r\n\r\n");
        // Numbers appear as a spreadsheet shows them; the user id stays out of the file.
        EXPECT_EQ(decodeFile(out_ / "8613800138000.cfg"),
                  (std::vector<std::string>{"ntvuseraccount = 8613800138000\r", "ntvuserpassword = 123456\r",
                                            "connecttype = pppoe\r", "netuseraccount = net10001\r",
                                            "netuserpassword = pw 1\r", "stbIP = 10.0.0.5\r",
                                            "netmask = 255.255.255.0\r", "gateway = 10.0.0.1\r", "dns = 1.5\r"}));
        EXPECT_EQ(decodeFile(out_ / "acc2.cfg"), std::vector<std::string>{"ntvuseraccount = acc2\r"});
        EXPECT_EQ(decodeFile(out_ / "acc5.cfg").at(1), "ntvuserpassword = " + std::string(131, 'x'));
        EXPECT_EQ(decodeFile(out_ / "acc6.cfg").size(), 3u); // the twelfth column is ignored
        EXPECT_EQ(slurp(out_ / "account.ini"), "[8613800138000]\r\nuser=10001\r\ninitialize=0\r\n"
                                               "[acc2]\r\nuser=u2\r\ninitialize=0\r\n"
                                               "[acc5]\r\nuser=u5\r\ninitialize=0\r\n"
                                               "[acc6]\r\nuser=u6\r\ninitialize=0\r\n");
        EXPECT_TRUE(isReadOnly(out_ / "account.ini"));
        EXPECT_TRUE(isReadOnly(out_ / "acc2.cfg"));
    }
    EXPECT_NE(log().find("User Id is empty at row 4 in templeate file."), std::string::npos);
    EXPECT_NE(log().find("The length of ntvuseraccount is bigger than 32 at row 5 in templeate file."),
              std::string::npos);
}

TEST_F(ProfileGeneratorTest, RowChecksInOrderAndByteLengths)
{
    const std::string u33(33, 'u');
    const std::string u32(32, 'u');
    const std::string wide = std::string(30, 'a') + "\xc3\xa9"; // 31 characters, 32 bytes
    EXPECT_EQ(run(csv(",\n" + u33 + ",\n" + u32 + ",\n" + u32 + "," + wide + "\xc3\xa9\n" + u32 + "," + wide + "\n")),
              4);
    EXPECT_EQ(slurp(out_ / "error.txt"),
              "Error row:2, error msg: user id empty.\r\r\n"
              "Error row:3, error msg: The length of userid is bigger than 32.\r\r\n"
              "Error row:4, error msg: user account empty.\r\r\n"
              "Error row:5, error msg: The length of ntvuseraccount is bigger than 32.\r\r\n\r\n");
    EXPECT_TRUE(fs::exists(out_ / (wide + ".cfg")));
}

// Every column after the user id reaches the profile, the last (dns2) included, in the
// workbook's order.
TEST_F(ProfileGeneratorTest, EveryColumnOfAFullRowReachesItsProfile)
{
    ASSERT_EQ(run(csv("u1,full,pw,dhcp,net,npw,10.0.0.5,255.0.0.0,10.0.0.1,8.8.8.8,8.8.4.4\n")), 0);
    EXPECT_EQ(decodeFile(out_ / "full.cfg"),
              (std::vector<std::string>{"ntvuseraccount = full\r", "ntvuserpassword = pw\r", "connecttype = dhcp\r",
                                        "netuseraccount = net\r", "netuserpassword = npw\r", "stbIP = 10.0.0.5\r",
                                        "netmask = 255.0.0.0\r", "gateway = 10.0.0.1\r", "dns = 8.8.8.8\r",
                                        "dns2 = 8.8.4.4\r"}));
}

TEST_F(ProfileGeneratorTest, UnsafeAccountIsRejectedAndWritesNothingOutside)
{
    fs::create_directories(out_ / "sub");
    EXPECT_EQ(run(csv("u1,../escaped\nu2,sub/inner\nu3,CON\nu4,ok\n")), 3);
    EXPECT_EQ(outputNames(), (std::vector<std::string>{"account.ini", "error.txt", "ok.cfg", "sub"}));
    EXPECT_FALSE(fs::exists(root_ / "escaped.cfg"));
    EXPECT_TRUE(fs::is_empty(out_ / "sub"));
    EXPECT_EQ(slurp(out_ / "error.txt"), "Error row:2, error msg: ntvuseraccount is not a valid file name.\r\r\n"
                                         "Error row:3, error msg: ntvuseraccount is not a valid file name.\r\r\n"
                                         "Error row:4, error msg: ntvuseraccount is not a valid file name.\r\r\n\r\n");
    EXPECT_NE(log().find("The ntvuseraccount is not a valid file name at row 2 in templeate file."), std::string::npos);
}

TEST_F(ProfileGeneratorTest, ConfigFileThatCannotBeCreatedIsReported)
{
    fs::create_directories(out_ / "busy.cfg"); // a folder where the file should go
    EXPECT_EQ(run(csv("u1,busy\nu2,free\n")), 1);
    EXPECT_EQ(slurp(out_ / "error.txt"), "Error row:2, error msg: config file cannot be created.\r\r\n\r\n");
    // Only the account whose file exists enters the index.
    EXPECT_EQ(slurp(out_ / "account.ini"), "[free]\r\nuser=u2\r\ninitialize=0\r\n");
}

TEST_F(ProfileGeneratorTest, ProgressIsTheShareOfDataRowsThenZero)
{
    std::vector<int> seen;
    auto record = [&](int p) { seen.push_back(p); };
    EXPECT_EQ(CreateUserProfile(csv("u1,a1\nu2,a2\nu3,a3\nu4,a4\n"), out_.string(), record), 0);
    EXPECT_EQ(seen, (std::vector<int>{25, 50, 75, 100, 0}));
    seen.clear();
    EXPECT_EQ(CreateUserProfile(csv("u1,a1\n,a2\nu3,a3\n"), out_.string(), record), 1);
    EXPECT_EQ(seen, (std::vector<int>{33, 66, 100, 0}));
}

// Read-only files of an earlier run are rewritten, which only an unprivileged user can show.
TEST_F(ProfileGeneratorTest, RepeatedAccountAndSecondRunUpdateInPlace)
{
    QUILLON_RUN_UNPRIVILEGED();
    EXPECT_EQ(run(csv("u1,same,p1\nu2,same,p2\nu3,other\n")), 0);
    EXPECT_EQ(decodeFile(out_ / "same.cfg"),
              (std::vector<std::string>{"ntvuseraccount = same\r", "ntvuserpassword = p2\r"}));
    EXPECT_EQ(slurp(out_ / "account.ini"),
              "[same]\r\nuser=u2\r\ninitialize=0\r\n[other]\r\nuser=u3\r\ninitialize=0\r\n");

    // An operator's edit survives; sections of the first run stay, changed keys are rewritten in place.
    fs::permissions(out_ / "account.ini", fs::perms::owner_write, fs::perm_options::add);
    spit(out_ / "account.ini", "; devices\r\n[SAME]\r\nUSER = old\r\ninitialize=1\r\nextra=x\r\n\r\n[other]\r\n"
                               "user=u3\r\ninitialize=0\r\n");
    fs::permissions(out_ / "account.ini", fs::perms::owner_write, fs::perm_options::remove);
    EXPECT_EQ(run(csv("u9,same,p9\nu4,new\n,bad\n")), 1);
    EXPECT_EQ(slurp(out_ / "account.ini"),
              "; devices\r\n[SAME]\r\nuser=u9\r\ninitialize=0\r\nextra=x\r\n\r\n"
              "[other]\r\nuser=u3\r\ninitialize=0\r\n[new]\r\nuser=u4\r\ninitialize=0\r\n");
    EXPECT_EQ(decodeFile(out_ / "same.cfg").at(1), "ntvuserpassword = p9\r");
    EXPECT_TRUE(isReadOnly(out_ / "account.ini"));
    EXPECT_TRUE(isReadOnly(out_ / "same.cfg"));

    // A clean third run leaves the old error report alone; a failing one replaces it.
    EXPECT_EQ(run(csv("u5,x5\n")), 0);
    EXPECT_EQ(slurp(out_ / "error.txt"), "Error row:4, error msg: user id empty.\r\r\n\r\n");
    EXPECT_EQ(run(csv("u5,x5\nu6,\n")), 1);
    EXPECT_EQ(slurp(out_ / "error.txt"), "Error row:3, error msg: user account empty.\r\r\n\r\n");
}

// Fault caught: rows reported as done, or files left behind, when the folder refuses them.
TEST_F(ProfileGeneratorTest, AReadOnlyOutputFolderRejectsEveryRowAndWritesNothing)
{
    QUILLON_RUN_UNPRIVILEGED();
    ASSERT_EQ(::chmod(out_.c_str(), 0555), 0);
    const std::string book = csv("u1,a1\nu2,a2\n");
    EXPECT_EQ(run(book), 2);
    ::chmod(out_.c_str(), 0755);
    EXPECT_TRUE(outputNames().empty());
    EXPECT_NE(log().find("Create config file failed at row 2 in templeate file."), std::string::npos) << log();
    EXPECT_NE(log().find("Write file:" + (out_ / "error.txt").string() + " failed."), std::string::npos);
}
