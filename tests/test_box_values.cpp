// Texts that cross the link in the box's encoding: frames built and replies parsed, and whole
// exchanges with a simulated box that holds GBK values.
#include "LinkFixture.h"

#include <BoxText.h>
#include <Frame.h>
#include <StringTable.h>

#include <filesystem>
#include <fstream>
#include <sstream>

using namespace quillon;
using namespace quillon::test;

namespace
{

// "用户一二三四五六七八九" and "高清" in GBK (printf TEXT | iconv -f UTF-8 -t GBK | xxd).
const std::string kAccountUtf8 = "用户一二三四五六七八九";
const std::string kAccountGbk = sim::kGbkUserAccount;
const std::string kHdGbk = "\xB8\xDF\xC7\xE5";

// Restores the process-wide setting a test changes.
class EncodingGuard
{
public:
    explicit EncodingGuard(BoxEncoding encoding) { setBoxEncoding(encoding); }
    ~EncodingGuard() { setBoxEncoding(BoxEncoding::Gbk); }
};

std::string frameText(const std::string& frame)
{
    return frame.substr(kAuthFieldSize);
}

const uint8_t kField[kAuthFieldSize] = {};

} // namespace

// Faults caught: a frame sent as UTF-8 to a GBK box, or the setting ignored.
TEST(BoxFrames, FramesCarryTheBoxEncoding)
{
    EXPECT_EQ(frameText(buildFrame(kField, "write", "ntvuseraccount", "null", kAccountUtf8.c_str())),
              "write^ntvuseraccount^null^" + kAccountGbk);
    EXPECT_EQ(frameText(buildFrameText(kField, "ioctl^echo^" + kAccountUtf8)), "ioctl^echo^" + kAccountGbk);
    EncodingGuard utf8(BoxEncoding::Utf8);
    EXPECT_EQ(frameText(buildFrameText(kField, "ioctl^echo^" + kAccountUtf8)), "ioctl^echo^" + kAccountUtf8);
}

// Fault caught: the 2023-byte cut counting UTF-8 bytes, or splitting a GBK character.
TEST(BoxFrames, TheTextAreaCutCountsBoxBytesAndKeepsCharactersWhole)
{
    std::string value;
    while (value.size() < 1200 * 3)
        value += "中";
    const std::string text = frameText(buildFrame(kField, "write", "k", "null", value.c_str()));
    const std::string head = "write^k^null^";
    ASSERT_LE(text.size(), size_t(kFrameTextArea - 1));
    // 2010 bytes are left for the value: 1005 whole GBK characters.
    EXPECT_EQ(text.size(), head.size() + 2010);
    EXPECT_EQ(fromBox(text.substr(head.size())), std::string(value, 0, 1005 * 3));
    // One byte more of head: the character that no longer fits whole is left out.
    const std::string odd = frameText(buildFrame(kField, "write", "kk", "null", value.c_str()));
    EXPECT_EQ(odd.size(), head.size() + 1 + 2008);
}

// Faults caught: a GBK reply shown as replacement characters, a value cut inside a character.
TEST(BoxFrames, RepliesComeBackAsUtf8)
{
    std::string value;
    EXPECT_TRUE(getReturnValue("200read^ntvuseraccount^" + kAccountGbk + std::string(1, '\0') + "junk", value, 512,
                               "read", "ntvuseraccount"));
    EXPECT_EQ(value, kAccountUtf8);
    // A limit of 6 bytes holds "QB" and two GBK characters, not half of the third.
    EXPECT_TRUE(getReturnValue("200read^m^QB" + kHdGbk + kHdGbk, value, 7, "read", "m"));
    EXPECT_EQ(value, "QB高清");
    EXPECT_EQ(valueAfterLastCaret("200read^LogServer^" + kHdGbk), "高清");
    // A UTF-8 box is read as it is.
    EXPECT_EQ(valueAfterLastCaret("200read^LogServer^" + kAccountUtf8), kAccountUtf8);
}

namespace
{

sim::SimOptions gbkBox()
{
    sim::SimOptions o = testBoxOptions();
    o.gbkValues = true;
    return o;
}

class GbkBox : public LinkFixture
{
protected:
    GbkBox() : LinkFixture(gbkBox()) {}
    void SetUp() override
    {
        setUiLanguage(LanguageEnglish);
        LinkFixture::SetUp();
        ASSERT_TRUE(connect());
        box.clearFrames();
    }
    void TearDown() override
    {
        LinkFixture::TearDown();
        setUiLanguage(LanguageChinese);
    }
};

std::string slurp(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

std::string tempPath(const std::string& name)
{
    return (std::filesystem::temp_directory_path() / ("quillon-" + std::to_string(::getpid()) + "-" + name)).string();
}

} // namespace

TEST_F(GbkBox, InformationAndConfigurationShowGbkValuesAsText)
{
    auto info = runAs<ResSTBInfo>(ReqSTBInfo());
    ASSERT_TRUE(info);
    EXPECT_EQ(info->status, STA_OK);
    EXPECT_EQ(info->stbModel, "QB-5000 高清机顶盒");
    EXPECT_EQ(info->ntvUserAccount, kAccountUtf8);

    auto read = runAs<ResConfigInfo>(ReqConfigInfo(FuncRead));
    ASSERT_TRUE(read);
    EXPECT_EQ(read->ntvUserAccount, kAccountUtf8);
}

// Faults caught: a typed value stored on the box as UTF-8, or a value that round-trips as a change.
TEST_F(GbkBox, AWrittenValueIsStoredInGbkAndReadsBackUnchanged)
{
    auto read = runAs<ResConfigInfo>(ReqConfigInfo(FuncRead));
    ASSERT_TRUE(read);
    box.clearFrames();
    ReqConfigInfo write(FuncWrite);
    static_cast<ConfigInfo&>(write) = *read;
    write.ntvUserAccount = "宽带" + std::string("01");
    write.baseline = read.get();
    auto written = runAs<ResConfigInfo>(write);
    ASSERT_TRUE(written);
    EXPECT_EQ(written->status, STA_OK);
    EXPECT_EQ(box.value("ntvuseraccount"), "\xBF\xED\xB4\xF8"
                                           "01");
    // Only the changed key went out: the other values read before compared equal.
    EXPECT_EQ(frames(), std::vector<std::string>{"write^ntvuseraccount^null^\xBF\xED\xB4\xF8"
                                                 "01"});
}

// The channel list file is the PC's (UTF-8); the parameter file is the box's (its own bytes).
TEST_F(GbkBox, ChannelListFileIsUtf8AndParameterFileKeepsTheBoxBytes)
{
    box.setChannelListText("ChannelID=\"1\" UserChannelID=\"1\" ChannelName=\"" + kHdGbk +
                           "\" ChannelURL=\"igmp://239.1.1.1:5000\" TimeShift=\"0\" TimeShiftURL=\"\"\n");
    const std::string channels = tempPath("gbk-channels.txt");
    ReqExportChannelList list;
    list.fileName = channels;
    auto r = runAs<ResExportChannelList>(list);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, STA_OK);
    EXPECT_NE(r->channelList.find("ChannelName=\"高清\""), std::string::npos) << r->channelList;
    EXPECT_NE(slurp(channels).find("\xEF\xBB\xBF"
                                   "ChannelID=\"1\" UserChannelID=\"1\" ChannelName=\"高清\""),
              std::string::npos);
    std::filesystem::remove(channels);

    const std::string params = tempPath("gbk-params.txt");
    ReqExportParams exportParams;
    exportParams.fileName = params;
    auto p = run(exportParams);
    ASSERT_TRUE(p);
    EXPECT_EQ(p->status, STA_OK);
    EXPECT_NE(slurp(params).find("ntvuseraccount = " + kAccountGbk + "\r\n"), std::string::npos);
    std::filesystem::remove(params);
}

// Fault caught: a Chinese user name hashed as UTF-8 where the box holds it in GBK.
TEST(BoxLogin, TheUserNameIsCheckedInTheBoxEncoding)
{
    sim::SimOptions o = testBoxOptions();
    o.user = "\xB9\xDC\xC0\xED"; // "管理" as the box stores it
    sim::StbSimulator box(o);
    ASSERT_TRUE(box.start());
    Commandio queues;
    LinkService service(queues, nullptr);
    service.setTimeouts(shortTimeouts());
    service.start();
    ReqConnect c;
    c.ip = "127.0.0.1";
    c.port = box.port();
    c.userName = "管理";
    c.password = sim::kDefaultPassword;
    queues.pushRequest(c);
    auto r = queues.waitResponse(std::chrono::seconds(5));
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, STA_OK) << r->message << " " << r->errorId;
    service.shutdown();
    box.stop();
}

// Faults caught: a diagnostic line from the box shown in its GBK bytes, a host name sent as UTF-8.
TEST_F(GbkBox, TraceRouteLinesComeBackAsText)
{
    ReqTraceRoute route;
    route.target = "网关.example";
    auto r = runAs<ResTraceRoute>(route);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, STA_OK);
    EXPECT_EQ(frames(),
              std::vector<std::string>{"connect^traceroute^null^\xCD\xF8\xB9\xD8.example" + std::string(1, '\0')});
    std::vector<std::string> lines;
    for (const auto& [channel, line] : observer.linesCopy()) {
        if (channel == OutputChannel::TraceRoute)
            lines.push_back(line);
    }
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.front(), "traceroute to 网关.example (网关.example), 30 hops max, 38 byte packets");
}
