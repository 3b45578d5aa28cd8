// Box text beyond the common characters: those GBK has and GB2312 lacks (lead bytes 0x81 to
// 0xA0, trail bytes 0x40 to 0x7E, which look like ASCII), through the conversion, the frame, the
// login and the live log's keyword filter.
#include "LinkFixture.h"
#include "LiveLogSupport.h"

#include <BoxText.h>
#include <Frame.h>
#include <LiveLogReceiver.h>
#include <LogFilter.h>
#include <LogRows.h>

#include <cstring>
#include <algorithm>
#include <filesystem>
#include <fstream>

#include <unistd.h>

using namespace quillon;
using namespace quillon::test;

namespace
{

struct Wide {
    const char* utf8;
    const char* gbk;
};

// Produced with `printf TEXT | iconv -f UTF-8 -t GBK | xxd -p`. None of these is in GB2312;
// several have a trail byte that is an ASCII character the link or the files give a meaning to.
const Wide kWide[] = {
    {"丂", "\x81\x40"},                     // the first GBK character: trail "@"
    {"亐", "\x81\x80"},                     // trail 0x80
    {"乛", "\x81\x5E"},                     // trail "^", the field separator
    {"乗", "\x81\x5C"},                     // trail "\"
    {"镕", "\xE9\x46"},                     // a name character: GB2312 lead byte, GBK trail "F"
    {"碶", "\xB4\x5C"},                     // trail "\"
    {"獆", "\xAA\x7C"},                     // trail "|", the channel URL separator
    {"乪", "\x81\x65"},                     // trail "e"
    {"朱镕基", "\xD6\xEC\xE9\x46\xBB\xF9"}, // GB2312, GBK, GB2312 characters in one word
};

class EncodingGuard
{
public:
    explicit EncodingGuard(BoxEncoding encoding) { setBoxEncoding(encoding); }
    ~EncodingGuard() { setBoxEncoding(BoxEncoding::Gbk); }
};

} // namespace

// Faults caught: a GB2312 converter (these become "?" or U+FFFD), a decoder that treats a
// trail byte below 0x80 as its own ASCII character, a length counted in UTF-8 bytes.
TEST(WideBoxText, GbkOnlyCharactersRoundTrip)
{
    for (const Wide& w : kWide) {
        SCOPED_TRACE(w.utf8);
        EXPECT_EQ(toBox(w.utf8, BoxEncoding::Gbk), w.gbk);
        EXPECT_EQ(fromBox(w.gbk, BoxEncoding::Gbk), w.utf8);
        EXPECT_EQ(fromBox(w.gbk, BoxEncoding::Utf8), w.utf8); // GBK bytes under the UTF-8 setting
        const std::string framed = std::string("a") + w.gbk + "z";
        EXPECT_EQ(fromBox(framed, BoxEncoding::Gbk), std::string("a") + w.utf8 + "z");
        EXPECT_EQ(boxByteLength(w.utf8), std::strlen(w.gbk));
    }
}

// Fault caught: a cut that takes a trail byte below 0x80 for a character of its own and so
// keeps half of a character, or drops a whole one too many.
TEST(WideBoxText, CutsKeepGbkOnlyCharactersWhole)
{
    const std::string text = std::string("x") + "\x81\x40" + "\x81\x5E" + "\xE9\x46"; // x丂乛镕
    EXPECT_EQ(cutBoxBytes(text, 1, BoxEncoding::Gbk), "x");
    EXPECT_EQ(cutBoxBytes(text, 2, BoxEncoding::Gbk), "x");
    EXPECT_EQ(cutBoxBytes(text, 3, BoxEncoding::Gbk), "x\x81\x40");
    EXPECT_EQ(cutBoxBytes(text, 4, BoxEncoding::Gbk), "x\x81\x40");
    EXPECT_EQ(cutBoxBytes(text, 6, BoxEncoding::Gbk), "x\x81\x40\x81\x5E");
    EXPECT_EQ(cutBoxBytes(text, 7, BoxEncoding::Gbk), text);
    EXPECT_EQ(fromBox(cutBoxBytes(text, 4, BoxEncoding::Gbk), BoxEncoding::Gbk), "x丂");
}

// Faults caught: a value sent as UTF-8 or through GB2312 (the box stores "?"), a reply value
// decoded as GB2312 or cut at its "@" or "\" trail byte.
TEST(WideBoxText, FramesAndRepliesCarryGbkOnlyCharacters)
{
    const uint8_t field[kAuthFieldSize] = {};
    const std::string frame = buildFrame(field, "write", "ntvuseraccount", "null", "丂镕獆");
    EXPECT_EQ(frame.substr(kAuthFieldSize), "write^ntvuseraccount^null^\x81\x40\xE9\x46\xAA\x7C");
    std::string value;
    ASSERT_TRUE(getReturnValue(std::string("200read^ntvuseraccount^\x81\x40\xB4\x5C\xE9\x46", 29), value, 512, "read",
                               "ntvuseraccount"));
    EXPECT_EQ(value, "丂碶镕");
    EXPECT_EQ(valueAfterLastCaret("200read^LogServer^\xE9\x46\x81\x40"), "镕丂");
}

namespace
{

// A box whose user name and password are Chinese, stored in GBK as the box holds them.
sim::SimOptions chineseCredentialBox(const std::string& userGbk, const std::string& passwordGbk)
{
    sim::SimOptions o = testBoxOptions();
    o.user = userGbk;
    o.password = passwordGbk;
    return o;
}

struct LoginOutcome {
    bool answered = false;
    uint8_t status = 0;
    uint16_t errorId = 0;
};

LoginOutcome login(sim::StbSimulator& box, const std::string& user, const std::string& password)
{
    Commandio queues;
    LinkService service(queues, nullptr);
    service.setTimeouts(shortTimeouts());
    service.start();
    ReqConnect c;
    c.ip = "127.0.0.1";
    c.port = box.port();
    c.userName = user;
    c.password = password;
    queues.pushRequest(c);
    LoginOutcome outcome;
    if (auto r = queues.waitResponse(std::chrono::seconds(5))) {
        outcome.answered = true;
        outcome.status = r->status;
        outcome.errorId = r->errorId;
    }
    service.shutdown();
    return outcome;
}

} // namespace

// Faults caught: a password hashed as UTF-8 (or not converted at all) while the user name is,
// a GB2312 conversion, user name and password joined in the wrong order, a wrong Chinese
// password taken as right.
TEST(WideBoxText, LoginWithChineseUserNameAndPassword)
{
    struct Credentials {
        const char* what;
        std::string userUtf8, userGbk, passwordUtf8, passwordGbk;
    };
    const Credentials table[] = {
        {"ASCII user, Chinese password", "admin", "admin", "密码丂", "\xC3\xDC\xC2\xEB\x81\x40"},
        {"Chinese user and password", "管理", "\xB9\xDC\xC0\xED", "镕乛1",
         "\xE9\x46\x81\x5E"
         "1"},
        {"GBK-only user, ASCII password", "乪獆", "\x81\x65\xAA\x7C", "quillon", "quillon"},
        // Only the first 255 bytes of the two joined enter the token, on both sides.
        {"user and password of 256 bytes together", std::string(128, 'u'), std::string(128, 'u'),
         std::string(127, 'p') + "Z", std::string(127, 'p') + "Z"},
        {"Chinese, past 255 bytes together", std::string(100, 'u'), std::string(100, 'u'),
         "\xE5\xAF\x86" + std::string(160, 'p') + "X", "\xC3\xDC" + std::string(160, 'p') + "X"},
    };
    for (const Credentials& c : table) {
        SCOPED_TRACE(c.what);
        sim::StbSimulator box(chineseCredentialBox(c.userGbk, c.passwordGbk));
        ASSERT_TRUE(box.start());
        // The same password with its last character changed is refused for its check code (501);
        // tried first, so that the box is not still busy with the accepted login.
        // (The last character that still enters the token, for the long ones.)
        std::string wrong = c.passwordUtf8;
        char& changed = wrong[std::min(wrong.size(), 255 - c.userGbk.size()) - 1];
        changed = static_cast<char>(changed ^ 1);
        const LoginOutcome refused = login(box, c.userUtf8, wrong);
        ASSERT_TRUE(refused.answered);
        EXPECT_EQ(refused.status, STA_ERROR);
        EXPECT_EQ(refused.errorId, 501);
        const LoginOutcome right = login(box, c.userUtf8, c.passwordUtf8);
        ASSERT_TRUE(right.answered);
        EXPECT_EQ(right.status, STA_OK) << right.errorId;
        box.stop();
    }
}

namespace
{

class TempDir
{
public:
    TempDir()
    {
        char pattern[] = "/tmp/quillon-wide-XXXXXX";
        path = ::mkdtemp(pattern);
    }
    ~TempDir() { std::filesystem::remove_all(path); }
    std::string file(const char* name) const { return path + "/" + name; }
    std::string path;
};

} // namespace

// Rows from a GBK box against Chinese keywords, as the receiver marks them and writes the
// filtered file. Faults caught: keywords compared with the box's raw bytes (no match, or a
// false match of "ERROR" on a trail byte "e"), a filtered file that takes converted text
// instead of the box's own bytes.
TEST(WideBoxText, ChineseKeywordsAgainstLiveRowsFromAGbkBox)
{
    TempDir dir;
    LiveLogReceiver receiver;
    ASSERT_TRUE(receiver.openLiveFile(dir.file("live.log")));
    ASSERT_TRUE(receiver.openFilteredFile(dir.file("filtered.log")));
    receiver.setFilter(LogFilter({"错误", "镕", "error"}), 1);
    LiveLogReceiver::Options o;
    o.port = 0;
    o.bindAddress = "127.0.0.1";
    std::string error;
    ASSERT_TRUE(receiver.start(o, &error)) << error;
    UdpSender sender(receiver.port());
    const std::vector<std::pair<std::string, bool>> rows = {
        {"\xB2\xA5\xB7\xC5\xB4\xED\xCE\xF3 code 5\n", true}, // 播放错误: 错误 in GBK
        {"user \xD6\xEC\xE9\x46\xBB\xF9 logged in\n", true}, // 朱镕基: 镕 is GBK-only
        {"\x81\x65RROR no fault here\n", false},             // 乪RROR: the "e" belongs to 乪
        {"play ok \xB2\xA5\xB7\xC5\n", false},               // 播放 alone
        {"Error in UTF-8 text 错\n", true},
    };
    for (const auto& row : rows)
        ASSERT_TRUE(sender.send(row.first));
    std::vector<LiveLogRow> got;
    ASSERT_TRUE(waitUntil([&] {
        receiver.takeRows(got, std::chrono::milliseconds(20));
        return got.size() >= rows.size();
    }));
    std::string expectedFiltered;
    ASSERT_EQ(got.size(), rows.size());
    for (size_t i = 0; i < rows.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(got[i].text, rows[i].first);
        EXPECT_EQ(got[i].matched, rows[i].second);
        if (rows[i].second)
            expectedFiltered += rows[i].first.substr(0, rows[i].first.size() - 1) + "\r\n";
    }
    receiver.stop();
    EXPECT_EQ(readWholeFile(dir.file("filtered.log")), expectedFiltered);
}

// The same rules for rows loaded from a file the box wrote, and for the saved selection.
TEST(WideBoxText, ChineseKeywordsAgainstLoadedGbkRows)
{
    TempDir dir;
    {
        std::ofstream out(dir.file("box.log"), std::ios::binary);
        out << "\xB2\xA5\xB7\xC5\xB4\xED\xCE\xF3\r\n" // 播放错误
            << "\x81\x40 start\r\n"                   // 丂 start
            << "\x81\x65RROR\n"                       // 乪RROR
            << "plain\n"
            << "\r\n"; // an empty line: an empty row, not a CR
    }
    LogRows rows;
    ASSERT_TRUE(rows.loadFile(dir.file("box.log")).ok);
    ASSERT_EQ(rows.size(), 5u);
    EXPECT_EQ(rows.row(0), "\xB2\xA5\xB7\xC5\xB4\xED\xCE\xF3");
    EXPECT_EQ(rows.row(4), "");
    const LogFilter filter({"错误", "丂", "ERROR"});
    EXPECT_TRUE(rows.matches(0, filter));
    EXPECT_TRUE(rows.matches(1, filter));
    EXPECT_FALSE(rows.matches(2, filter));
    EXPECT_FALSE(rows.matches(3, filter));
    EXPECT_EQ(rows.saveMatching(dir.file("saved.txt"), filter), 2);
    EXPECT_EQ(readWholeFile(dir.file("saved.txt")), "\xB2\xA5\xB7\xC5\xB4\xED\xCE\xF3\r\n\x81\x40 start\r\n");
}
