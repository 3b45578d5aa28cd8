#include "LinkFixture.h"

#include <ChannelEntry.h>
#include <Frame.h>
#include <StringTable.h>
#include <untSock.h>

#include <filesystem>
#include <fstream>
#include <sstream>

using namespace quillon;
using namespace quillon::test;

namespace
{

class Exchanges : public ConnectedLinkFixture
{
};

std::string readFile(const std::string& path)
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

TEST_F(Exchanges, ConnectBringsTheLinkUpAndDisconnectTakesItDown)
{
    // The response goes out before the link state is announced, as the window expects it.
    EXPECT_TRUE(observer.waitForState(1, std::chrono::seconds(1)));
    EXPECT_EQ(service.linkState(), 1);
    auto r = run(ReqDisConnect());
    ASSERT_TRUE(r);
    EXPECT_EQ(r->type, TypeDisconnect);
    EXPECT_EQ(r->status, STA_OK);
    EXPECT_EQ(service.linkState(), 0);
    EXPECT_TRUE(observer.waitForState(0, std::chrono::seconds(1)));
}

TEST_F(Exchanges, StbInfoReadsAllTwentyFiveKeysInOrder)
{
    auto info = runAs<ResSTBInfo>(ReqSTBInfo());
    ASSERT_TRUE(info);
    EXPECT_EQ(info->status, STA_OK);
    EXPECT_EQ(info->message, "");
    EXPECT_EQ(info->stbModel, "QB-5000");
    EXPECT_EQ(info->softwareVersion, "V3.1.2.0407");
    EXPECT_EQ(info->connectType, 2);
    EXPECT_EQ(info->timeZone, 8);
    EXPECT_EQ(info->stbType, "0");
    EXPECT_EQ(info->chipId, "0x7425B0");
    EXPECT_EQ(info->localTimeUnset, 0);
    EXPECT_NEAR(info->localTime, static_cast<double>(std::time(nullptr)), 5);
    const auto f = frames();
    ASSERT_EQ(f.size(), 25u);
    EXPECT_EQ(f.front(), "read^STB_model^null"); // no terminating zero byte
    EXPECT_EQ(f.back(), "read^ChipId^null");
}

TEST_F(Exchanges, StbInfoCollectsFailuresAsPartialResult)
{
    sim::SimFaults faults;
    faults.statusOverride["CASType"] = 401;
    faults.silentKeys.insert("ChipId");
    box.setFaults(faults);
    auto info = runAs<ResSTBInfo>(ReqSTBInfo());
    ASSERT_TRUE(info);
    EXPECT_EQ(info->status, STA_PART_OK);
    EXPECT_EQ(info->message, "read CASType failed,errorid:401; read ChipId failed:no data; ");
    EXPECT_EQ(info->casType, "");
    EXPECT_EQ(info->stbModel, "QB-5000");
}

TEST_F(Exchanges, ConfigReadThenWriteSendsOnlyTheChangedKey)
{
    auto read = runAs<ResConfigInfo>(ReqConfigInfo(FuncRead));
    ASSERT_TRUE(read);
    EXPECT_EQ(read->status, STA_OK);
    EXPECT_EQ(read->timeZone, 8);
    EXPECT_EQ(read->caRegister, '4');
    EXPECT_EQ(read->channelSwitchMode, "smooth switch");
    EXPECT_EQ(frames().size(), 38u);

    box.clearFrames();
    ReqConfigInfo write(FuncWrite);
    static_cast<ConfigInfo&>(write) = *read;
    write.timeZone = -5;
    write.baseline = read.get();
    auto written = runAs<ResConfigInfo>(write);
    ASSERT_TRUE(written);
    EXPECT_EQ(written->status, STA_OK);
    EXPECT_EQ(written->function, FuncWrite);
    ASSERT_EQ(frames(), std::vector<std::string>{"write^timeZone^null^UTC -05:00"});
    EXPECT_EQ(box.value("timeZone"), "UTC -05:00");
    ConfigInfo expected = *read;
    expected.timeZone = -5;
    EXPECT_TRUE(static_cast<ConfigInfo&>(*written) == expected);
}

TEST_F(Exchanges, ConfigWriteOfNothingAndOfRefusedKeys)
{
    auto read = runAs<ResConfigInfo>(ReqConfigInfo(FuncRead));
    ASSERT_TRUE(read);
    ReqConfigInfo same(FuncWrite);
    static_cast<ConfigInfo&>(same) = *read;
    same.baseline = read.get();
    box.clearFrames();
    auto r = run(same);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, STA_ERROR);
    EXPECT_EQ(r->message, "Nothing to be done for this action.");
    EXPECT_TRUE(frames().empty());

    sim::SimFaults faults;
    faults.statusOverride["NTPDomain"] = 401;
    faults.statusOverride["NTPDomainBackup"] = 401;
    box.setFaults(faults);
    same.ntpDomain = "a";
    auto refused = runAs<ResConfigInfo>(same);
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->status, STA_ERROR);
    EXPECT_EQ(refused->message, "failed");
    same.ntpDomainBackup = "b";
    same.upgradeServer = "c";
    auto partial = runAs<ResConfigInfo>(same);
    ASSERT_TRUE(partial);
    EXPECT_EQ(partial->status, STA_PART_OK);
    EXPECT_EQ(partial->message, "write NTPDomain failed,errorid:401; write NTPDomainBackup failed,errorid:401; ");
    EXPECT_EQ(partial->upgradeServer, "c");
    EXPECT_EQ(partial->ntpDomain, ""); // refused: unset
}

TEST_F(Exchanges, LogParamsReadAndWrite)
{
    ReqLogParams read(FuncRead);
    read.addrType = 0;
    auto r = runAs<ResLogParams>(read);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, STA_OK);
    EXPECT_EQ(r->addrValue, "192.168.1.10");
    EXPECT_EQ(r->logLevel, 3);
    EXPECT_EQ(r->outputType, 0);
    const auto reads = frames();
    ASSERT_EQ(reads.size(), 4u);
    EXPECT_EQ(reads[0], std::string("read^LogServer^null") + '\0'); // with its zero byte

    box.clearFrames();
    ReqLogParams write(FuncWrite);
    write.addrType = 0;
    write.addrValue = "0"; // not sent
    write.logLevel = 7;
    auto w = run(write);
    ASSERT_TRUE(w);
    EXPECT_EQ(w->status, STA_OK);
    EXPECT_EQ(frames(), std::vector<std::string>{std::string("ioctl^set_log_level^null^7") + '\0'});
    EXPECT_EQ(box.value("LogLevel"), "7");

    box.clearFrames();
    ReqLogParams nothing(FuncWrite);
    auto n = run(nothing);
    ASSERT_TRUE(n);
    EXPECT_EQ(n->status, STA_ERROR);
    EXPECT_EQ(n->message, "Nothing to be done for this action.");
    EXPECT_TRUE(frames().empty());

    ReqLogParams noAddress(FuncRead);
    run(noAddress);
    EXPECT_EQ(frames().size(), 3u);
}

TEST_F(Exchanges, CommandsWithAndWithoutData)
{
    ReqExtCommand reboot(FuncIoctl, TypeButtonCommand);
    reboot.command = "ioctl^reboot^null";
    auto r = runAs<ResExtCommand>(reboot);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, STA_OK);
    EXPECT_EQ(r->type, 9);
    ReqExtCommand play(FuncConnect, TypeButtonCommand);
    play.command = "connect^play^null^igmp://239.1.1.1:5000";
    play.data = "igmp://239.1.1.1:5000";
    run(play);
    ReqExtCommand read(FuncRead, TypeUserCommand);
    read.command = "read^STBType^null";
    read.call = "STBType";
    read.parameter = "null";
    auto value = runAs<ResExtCommand>(read);
    ASSERT_TRUE(value);
    EXPECT_EQ(value->body, "0");
    EXPECT_EQ(value->call, "STBType");
    ReqExtCommand bad(FuncIoctl, TypeUserCommand);
    bad.command = "ioctl^nonsense^null";
    auto refused = run(bad);
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->status, STA_ERROR);
    EXPECT_EQ(refused->errorId, 402);
    EXPECT_EQ(refused->message, "0");
    const auto f = frames();
    ASSERT_EQ(f.size(), 4u);
    EXPECT_EQ(f[0], "ioctl^reboot^null");
    EXPECT_EQ(f[1], std::string("connect^play^null^igmp://239.1.1.1:5000") + '\0');
}

TEST_F(Exchanges, ParameterExportWritesTheFileWithProgress)
{
    const std::string path = tempPath("params.txt");
    ReqExportParams request;
    request.fileName = path;
    auto all = runAll(request);
    ASSERT_EQ(all.size(), 3u);
    EXPECT_EQ(all[0]->status, STA_PROGRESS);
    EXPECT_EQ(dynamic_cast<ResExportParams&>(*all[0]).percent, 10);
    EXPECT_EQ(dynamic_cast<ResExportParams&>(*all[1]).percent, 60);
    EXPECT_EQ(all[2]->status, STA_OK);
    EXPECT_EQ(dynamic_cast<ResExportParams&>(*all[2]).percent, 100);
    const std::string file = readFile(path);
    EXPECT_EQ(file.rfind("[stb]\r\nconnecttype = 2\r\nstbIP = 192.168.1.50\r\n", 0), 0u) << file.substr(0, 80);
    EXPECT_NE(file.find("telnetServiceEnable = 0\r\n"), std::string::npos);
    std::filesystem::remove(path);
}

TEST_F(Exchanges, ChannelListOverManySmallSegments)
{
    sim::SimFaults faults;
    faults.maxSegment = 64; // many small segments, each let go alone
    box.setFaults(faults);
    const std::string path = tempPath("channels.txt");
    ReqExportChannelList request;
    request.fileName = path;
    auto r = run(request);
    ASSERT_TRUE(r);
    auto& list = dynamic_cast<ResExportChannelList&>(*r);
    EXPECT_EQ(list.status, STA_OK);
    EXPECT_EQ(list.channelList, box.channelListText());
    const auto entries = parseChannelList(list.channelList);
    ASSERT_EQ(entries.size(), 6u);
    EXPECT_EQ(entries[0].number, "1");
    EXPECT_TRUE(entries[0].timeShift);
    EXPECT_EQ(entries[0].timeShiftUrl, "rtsp://10.20.1.1/ch1");
    EXPECT_EQ(entries[1].channelUrl, "igmp://239.1.1.2:5000");
    EXPECT_EQ(entries[1].timeShiftUrl, "rtsp://10.20.1.2/ch2");
    const std::string file = readFile(path);
    EXPECT_EQ(file.substr(0, 3), "\xEF\xBB\xBF");
    EXPECT_NE(file.find("\"\r\nChannelID"), std::string::npos);
    std::filesystem::remove(path);
}

TEST_F(Exchanges, SplitRepliesAreCompleted)
{
    sim::SimFaults faults;
    faults.splitReplies = true;
    box.setFaults(faults);
    auto info = runAs<ResSTBInfo>(ReqSTBInfo());
    ASSERT_TRUE(info);
    EXPECT_EQ(info->status, STA_OK);
    EXPECT_EQ(info->stbModel, "QB-5000");
}

TEST_F(Exchanges, DroppedConnectionIsSeenByTheWatchdog)
{
    box.dropClient();
    EXPECT_TRUE(observer.waitForState(0, std::chrono::seconds(2)));
    EXPECT_EQ(service.linkState(), 0);
    auto r = run(ReqSTBInfo());
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, STA_ERROR);
    EXPECT_EQ(r->errorId, 2);
}

TEST_F(Exchanges, ConnectionClosedMidExchangeEndsWithAnError)
{
    sim::SimFaults faults;
    faults.closeAfterFrames = 3;
    box.setFaults(faults);
    auto r = run(ReqSTBInfo());
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, STA_ERROR);
    EXPECT_EQ(r->errorId, 2);
    EXPECT_EQ(r->message.rfind("recv data error:", 0), 0u) << r->message;
}

TEST(Session, WrongPasswordSecondClientAndBadKeyBlock)
{
    setUiLanguage(LanguageEnglish);
    sim::StbSimulator box(testBoxOptions());
    ASSERT_TRUE(box.start());
    Commandio q1, q2;
    RecordingObserver o1, o2;
    LinkService first(q1, &o1), second(q2, &o2);
    first.setTimeouts(shortTimeouts());
    second.setTimeouts(shortTimeouts());
    first.start();
    second.start();
    auto connectWith = [&](Commandio& q, const std::string& pw) {
        ReqConnect c;
        c.ip = "127.0.0.1";
        c.port = box.port();
        c.userName = "admin";
        c.password = pw;
        q.pushRequest(c);
        return q.waitResponse(std::chrono::seconds(5));
    };
    auto bad = connectWith(q1, "wrong");
    ASSERT_TRUE(bad);
    EXPECT_EQ(bad->status, STA_ERROR);
    EXPECT_EQ(bad->errorId, 501);
    EXPECT_EQ(bad->message, "");
    EXPECT_EQ(first.linkState(), 0);
    EXPECT_TRUE(o1.states.empty()); // no link-state message for a refused handshake

    auto ok = connectWith(q1, "quillon");
    ASSERT_TRUE(ok);
    EXPECT_EQ(ok->status, STA_OK);
    auto busy = connectWith(q2, "quillon");
    ASSERT_TRUE(busy);
    EXPECT_EQ(busy->errorId, 404);

    first.shutdown();
    std::this_thread::sleep_for(std::chrono::milliseconds(300)); // the box notices the client left
    sim::SimFaults faults;
    faults.wrongSessionKeyBlock = true;
    box.setFaults(faults);
    auto broken = connectWith(q2, "quillon");
    ASSERT_TRUE(broken);
    EXPECT_EQ(broken->status, STA_ERROR);
    EXPECT_EQ(broken->errorId, 0);
    EXPECT_TRUE(o2.waitForState(0, std::chrono::seconds(1)));

    second.shutdown();
    box.stop();
    setUiLanguage(LanguageChinese);
}

TEST(Session, RefusedConnectionReportsConnectFailure)
{
    setUiLanguage(LanguageEnglish);
    Commandio q;
    LinkService service(q, nullptr);
    service.start();
    ReqConnect c;
    c.ip = "127.0.0.1";
    c.port = 1; // nothing listens there
    c.userName = "admin";
    c.password = "x";
    q.pushRequest(c);
    auto r = q.waitResponse(std::chrono::seconds(5));
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, STA_ERROR);
    EXPECT_EQ(r->errorId, 0);
    EXPECT_EQ(r->message, "connect socket failed.:111 (Connection refused)");
    setUiLanguage(LanguageChinese);
}

TEST_F(Exchanges, SilenceEndsEachExchangeAsDescribed)
{
    sim::SimFaults faults;
    faults.silentKeys = {"reboot", "Paralist", "Channellist", "LogLevel"};
    box.setFaults(faults);
    ReqExtCommand reboot(FuncIoctl, TypeButtonCommand);
    reboot.command = "ioctl^reboot^null";
    auto command = run(reboot);
    ASSERT_TRUE(command);
    EXPECT_EQ(command->status, STA_ERROR);
    EXPECT_EQ(command->errorId, 0);
    EXPECT_EQ(command->message, "no data");

    // A silent export has not delivered its data: an error with the no-data text.
    auto params = runAs<ResExportParams>(ReqExportParams());
    ASSERT_TRUE(params);
    EXPECT_EQ(params->status, STA_ERROR);
    EXPECT_EQ(params->message, "no data");
    EXPECT_EQ(params->percent, 0);
    auto channels = runAs<ResExportChannelList>(ReqExportChannelList());
    ASSERT_TRUE(channels);
    EXPECT_EQ(channels->status, STA_ERROR);
    EXPECT_EQ(channels->message, "no data");
    EXPECT_TRUE(channels->channelList.empty());

    ReqLogParams read(FuncRead);
    auto log = runAs<ResLogParams>(read);
    ASSERT_TRUE(log);
    EXPECT_EQ(log->status, STA_PART_OK);
    EXPECT_EQ(log->message, "read LogLevel failed:no data");
    EXPECT_EQ(log->logLevel, -1);
    EXPECT_EQ(log->outputType, 0);
}

TEST_F(Exchanges, ChannelListRefusedAtTheStart)
{
    sim::SimFaults faults;
    faults.statusOverride["Channellist"] = 401;
    box.setFaults(faults);
    auto r = runAs<ResExportChannelList>(ReqExportChannelList());
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, STA_ERROR);
    EXPECT_EQ(r->errorId, 0);
    EXPECT_EQ(r->message, "Refresh chanlist error.");
}

TEST_F(Exchanges, ARequestTheWorkerCannotCarryOutIsStillAnsweredAndTheNextOneRuns)
{
    // A button request whose kind does not match what it carries: the worker cannot run it,
    // but whoever waits for it must hear back, and the link stays usable.
    const Request mismatched(FuncIoctl, TypeButtonCommand);
    auto all = runAll(mismatched, std::chrono::seconds(5));
    ASSERT_EQ(all.size(), 1u) << "no answer to a request that failed inside the worker";
    const auto& r = all.front();
    EXPECT_EQ(r->type, TypeButtonCommand);
    EXPECT_EQ(r->status, STA_ERROR);
    EXPECT_EQ(r->message, "request execute exception");
    EXPECT_TRUE(frames().empty());

    ReqExtCommand reboot(FuncIoctl, TypeButtonCommand);
    reboot.command = "ioctl^reboot^null";
    auto next = run(reboot);
    ASSERT_TRUE(next);
    EXPECT_EQ(next->status, STA_OK);
    EXPECT_EQ(service.linkState(), 1);
}
