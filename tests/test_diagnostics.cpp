#include "LinkFixture.h"

#include <PcapInputCheck.h>
#include <SimDiagnostics.h>
#include <StringTable.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <thread>

#include <unistd.h>

using namespace quillon;
using namespace quillon::test;
using namespace std::chrono_literals;

namespace
{

std::string tempPath(const std::string& name)
{
    return (std::filesystem::temp_directory_path() / ("quillon-diag-" + std::to_string(::getpid()) + "-" + name))
        .string();
}

// An image of `size` bytes behind the simulated box's header; `sparse` leaves the body as a hole.
std::string writeImage(const std::string& name, const std::string& header, size_t size, bool sparse = false)
{
    const std::string path = tempPath(name);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << header;
    if (sparse) {
        out.close();
        std::filesystem::resize_file(path, size);
        return path;
    }
    for (size_t i = header.size(); i < size; ++i)
        out.put(static_cast<char>((i * 131 + 7) & 0xFF));
    return path;
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::vector<std::string> linesOf(RecordingObserver& observer, OutputChannel channel)
{
    std::vector<std::string> out;
    for (const auto& [c, line] : observer.linesCopy()) {
        if (c == channel)
            out.push_back(line);
    }
    return out;
}

class Diagnostics : public ConnectedLinkFixture
{
protected:
    explicit Diagnostics(sim::SimOptions options = testBoxOptions()) : ConnectedLinkFixture(std::move(options)) {}

    void TearDown() override
    {
        ConnectedLinkFixture::TearDown();
        for (const std::string& f : files_)
            std::filesystem::remove(f);
    }

    std::string image(const std::string& name, const std::string& header, size_t size, bool sparse = false)
    {
        files_.push_back(writeImage(name, header, size, sparse));
        return files_.back();
    }

    // The exchange's responses and, since the sender's last progress may trail the box's final
    // report, whatever follows it shortly.
    std::vector<std::unique_ptr<Response>> runUpgrade(const ReqUpgrade& request,
                                                      std::chrono::milliseconds timeout = 20s)
    {
        auto all = runAll(request, timeout);
        while (auto late = queues.waitResponse(150ms))
            all.push_back(std::move(late));
        return all;
    }

    // The next response after a final one (the sender's own), or null.
    std::unique_ptr<Response> nextResponse(std::chrono::milliseconds timeout = 10s)
    {
        return queues.waitResponse(timeout);
    }

    std::vector<std::string> files_;
};

// The test box with its ping and trace route lines `pace` apart.
sim::SimOptions pacedBoxOptions(std::chrono::milliseconds pace)
{
    auto o = testBoxOptions();
    o.linePace = pace;
    return o;
}

// A box whose tools print slowly enough to be stopped half-way.
class SlowDiagnostics : public Diagnostics
{
protected:
    SlowDiagnostics() : Diagnostics(pacedBoxOptions(300ms)) {}
};

// A box whose hops each take longer than a reply may, but less than the long wait.
class SlowHopsDiagnostics : public Diagnostics
{
protected:
    LinkTimeouts timeouts() const override
    {
        LinkTimeouts t = shortTimeouts();
        t.reply = 200ms;
        t.longReply = 4000ms;
        return t;
    }
    SlowHopsDiagnostics() : Diagnostics(pacedBoxOptions(600ms)) {}
};

bool waitForLines(RecordingObserver& observer, size_t count, std::chrono::milliseconds timeout)
{
    std::unique_lock<std::mutex> lock(observer.mutex);
    return observer.changed.wait_for(lock, timeout, [&] { return observer.lines.size() >= count; });
}

} // namespace

// --- ping and trace route ---

TEST_F(Diagnostics, PingWithDurationSendsItsFrameWithTheZeroByteAndShowsLinesInOrder)
{
    ReqPing ping;
    ping.target = "192.168.1.20";
    ping.duration = 3;
    auto r = runAs<ResPing>(ping);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, STA_OK);
    EXPECT_EQ(r->finished, 1);
    ASSERT_EQ(frames(), std::vector<std::string>{std::string("connect^ping^/length:3^192.168.1.20") + '\0'});
    const auto lines = linesOf(observer, OutputChannel::Ping);
    ASSERT_EQ(lines.size(), 6u); // header, three replies, and the summary that shares the end frame
    EXPECT_EQ(lines[0], "PING 192.168.1.20 (192.168.1.20): 56 data bytes");
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(
            lines[static_cast<size_t>(i) + 1].rfind("64 bytes from 192.168.1.20: seq=" + std::to_string(i) + " ", 0),
            0u);
    EXPECT_EQ(lines[5], "3 packets transmitted, 3 packets received, 0% packet loss");
}

TEST_F(Diagnostics, PingWithoutDurationRunsUntilTheStopFrameFromAnotherThread)
{
    ReqPing ping;
    ping.target = "192.168.1.20";
    std::thread stopper([&] {
        ASSERT_TRUE(waitForLines(observer, 4, 10s));
        service.stopPing();
    });
    auto r = runAs<ResPing>(ping);
    stopper.join();
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, STA_OK);
    EXPECT_EQ(r->finished, 1);
    const auto f = frames();
    ASSERT_EQ(f.size(), 2u);
    EXPECT_EQ(f[0], std::string("connect^ping^null^192.168.1.20") + '\0');
    EXPECT_EQ(f[1], std::string("connect^ping^/stop") + '\0');
    EXPECT_NE(linesOf(observer, OutputChannel::Ping).back().find("packets transmitted"), std::string::npos);
}

TEST_F(Diagnostics, SilentBoxEndsThePingWithNoDataAndDroppedLinkWithDisconnect)
{
    sim::SimFaults faults;
    faults.silentKeys.insert("ping");
    box.setFaults(faults);
    ReqPing ping;
    ping.target = "10.0.0.1";
    auto silent = runAs<ResPing>(ping);
    ASSERT_TRUE(silent);
    EXPECT_EQ(silent->status, STA_ERROR);
    EXPECT_EQ(silent->errorId, 0);
    EXPECT_EQ(silent->message, loadUiString(315));
    EXPECT_EQ(silent->finished, 0);

    faults = {};
    faults.pingDropAfterLines = 2;
    box.setFaults(faults);
    auto dropped = runAs<ResPing>(ping);
    ASSERT_TRUE(dropped);
    EXPECT_EQ(dropped->status, STA_ERROR);
    EXPECT_EQ(dropped->errorId, kCodeDisconnect);
    EXPECT_EQ(dropped->message.rfind(loadUiString(353) + ":", 0), 0u);
    EXPECT_TRUE(observer.waitForState(0, 3s)); // the watchdog saw it too
}

TEST_F(Diagnostics, TraceRouteShowsEveryHopUntilItsEndText)
{
    ReqTraceRoute route;
    route.target = "10.1.2.3";
    auto r = runAs<ResTraceRoute>(route);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, STA_OK);
    EXPECT_EQ(r->finished, 1);
    EXPECT_EQ(frames(), std::vector<std::string>{std::string("connect^traceroute^null^10.1.2.3") + '\0'});
    const auto lines = linesOf(observer, OutputChannel::TraceRoute);
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines.front(), "traceroute to 10.1.2.3 (10.1.2.3), 30 hops max, 38 byte packets");
    EXPECT_EQ(lines.back().find(" 5  10.1.2.3 "), 0u);
    EXPECT_TRUE(linesOf(observer, OutputChannel::Ping).empty());
}

// Hops that do not answer at once are waited for: only the long wait ends a trace route.
TEST_F(SlowHopsDiagnostics, TraceRouteWaitsForHopsSlowerThanAReply)
{
    ReqTraceRoute route;
    route.target = "10.1.2.3";
    auto r = runAs<ResTraceRoute>(route);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, STA_OK) << r->message;
    EXPECT_EQ(r->finished, 1);
    EXPECT_EQ(linesOf(observer, OutputChannel::TraceRoute).size(), 6u);
}

TEST_F(SlowDiagnostics, TraceRouteStoppedHalfWay)
{
    ReqTraceRoute route;
    route.target = "10.1.2.3";
    std::thread stopper([&] {
        ASSERT_TRUE(waitForLines(observer, 1, 10s));
        service.stopTraceRoute();
    });
    auto r = runAs<ResTraceRoute>(route);
    stopper.join();
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, STA_OK);
    EXPECT_EQ(r->finished, 1);
    EXPECT_LT(linesOf(observer, OutputChannel::TraceRoute).size(), 6u);
    ASSERT_EQ(frames().size(), 2u);
    EXPECT_EQ(frames()[1], std::string("connect^traceroute^/stop") + '\0');
}

// --- packet capture ---

TEST_F(Diagnostics, CaptureAsksTheLimitThenReportsCaptureAndUpload)
{
    ReqPcap pcap;
    pcap.serverIp = "192.168.1.9";
    pcap.serverPort = "22";
    pcap.captureTime = "3";
    auto r = run(pcap);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->type, TypePcap);
    EXPECT_EQ(r->function, FuncNone);
    EXPECT_EQ(r->status, STA_OK);
    EXPECT_EQ(r->message, loadUiString(303));
    const auto f = frames();
    ASSERT_EQ(f.size(), 2u);
    EXPECT_EQ(f[0], "inform^pcap_maxfilesize^null"); // no zero byte
    EXPECT_EQ(f[1], std::string("ioctl^remotepcap^ip:192.168.1.9 port:22^time:3^filesize:^null") + '\0');
    const auto lines = linesOf(observer, OutputChannel::Pcap);
    ASSERT_EQ(lines.size(), 9u);
    EXPECT_EQ(lines[0], loadUiString(806));
    EXPECT_EQ(lines[1], loadUiString(807) + "187392");
    EXPECT_EQ(lines[4], loadUiString(808));
    EXPECT_EQ(lines[5], loadUiString(809) + "187392");
    EXPECT_EQ(lines[8], loadUiString(810));
}

TEST_F(Diagnostics, CaptureOfExactlyTheBoxLimitRunsAndOneByteMoreIsRefused)
{
    box.setValue("pcap_maxfilesize", "40000");
    ReqPcap pcap;
    pcap.maxFileSize = "40001";
    auto refused = run(pcap);
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->status, STA_ERROR);
    EXPECT_EQ(refused->errorId, kCodeDisconnect);
    EXPECT_EQ(refused->message, loadUiString(814));
    EXPECT_EQ(frames().size(), 1u); // the capture never started
    EXPECT_EQ(linesOf(observer, OutputChannel::Pcap), std::vector<std::string>{refused->message});

    pcap.maxFileSize = "40000";
    auto exact = run(pcap);
    ASSERT_TRUE(exact);
    EXPECT_EQ(exact->status, STA_OK);
}

TEST_F(Diagnostics, CaptureGivesUpAtTheTenthUnrecognisedMessageButNotTheNinth)
{
    sim::SimFaults faults;
    faults.pcapUnrecognised = 9;
    box.setFaults(faults);
    ReqPcap pcap;
    pcap.captureTime = "1";
    auto nine = run(pcap);
    ASSERT_TRUE(nine);
    EXPECT_EQ(nine->status, STA_OK);
    auto lines = linesOf(observer, OutputChannel::Pcap);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), loadUiString(811)), 9);

    faults.pcapUnrecognised = 10;
    box.setFaults(faults);
    auto ten = run(pcap);
    ASSERT_TRUE(ten);
    EXPECT_EQ(ten->status, STA_ERROR);
    EXPECT_EQ(ten->message, loadUiString(315));
    lines = linesOf(observer, OutputChannel::Pcap);
    EXPECT_EQ(lines.back(), loadUiString(812));
    EXPECT_EQ(std::count(lines.begin(), lines.end(), loadUiString(811)), 19);
}

TEST_F(Diagnostics, CaptureWithoutAnAnswerOrRefusedByTheBox)
{
    sim::SimFaults faults;
    faults.silentKeys.insert("pcap_maxfilesize");
    box.setFaults(faults);
    ReqPcap pcap;
    pcap.captureTime = "5";
    auto silent = run(pcap);
    ASSERT_TRUE(silent);
    EXPECT_EQ(silent->status, STA_ERROR);
    EXPECT_EQ(silent->errorId, kCodeDisconnect);
    EXPECT_EQ(silent->message, loadUiString(315));
    EXPECT_EQ(linesOf(observer, OutputChannel::Pcap), std::vector<std::string>{loadUiString(813)});

    faults = {};
    faults.statusOverride["pcap_maxfilesize"] = 502;
    box.setFaults(faults);
    auto refused = run(pcap);
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->status, STA_ERROR);
    EXPECT_EQ(refused->errorId, kCodeIllegalOperation);
    EXPECT_EQ(refused->message, "0");
}

TEST(PcapInputCheck, FixedTextsInTheOrderOfTheChecks)
{
    struct Case {
        const char *time, *size, *port, *expected;
    };
    const Case cases[] = {
        {"", "", "", "时间、文件大小至少输入一个!"},
        {"", "1000", "", "抓包的最小值不能少于32KB !"},
        {"", "32767", "", "抓包的最小值不能少于32KB !"},
        {"", "32768", "", ""},
        {"0", "", "", "抓包的最小值不能少于32KB !"},
        {"60", "", "", ""},
        {"60", "1000", "", ""},
        {"-5", "", "", "pcap time error"},
        {"10s", "", "", "pcap time error"},
        {"", "32k", "", "pcap Filesize error"},
        {"x", "y", "z", "pcap time error"},
        {"60", "", "70000", "pcap port error"},
        {"60", "", "abc", "pcap port error"},
        {"60", "", "65535", ""},
        {"60", "", "0", ""},
        {" 60 ", "", " 22 ", ""},
        {"99999999999999999999999", "", "", ""},
        {"0", "99999999999999999999999", "", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(checkPcapInputs(c.time, c.size, c.port), c.expected) << c.time << "|" << c.size << "|" << c.port;
}

// --- firmware upgrade ---

TEST_F(Diagnostics, TenThousandByteImageArrivesWholeWithSendingAndWritingProgress)
{
    const std::string path = image("10k.img", sim::simImageHeader("V3.2.0.0001"), 10000);
    ReqUpgrade upgrade;
    upgrade.fileName = path;
    const auto all = runUpgrade(upgrade);
    ASSERT_FALSE(all.empty());
    std::vector<int> sending, writing;
    const ResUpgrade* last = nullptr;
    for (const auto& r : all) {
        auto* p = dynamic_cast<ResUpgrade*>(r.get());
        ASSERT_TRUE(p);
        if (p->status != STA_PROGRESS) {
            EXPECT_FALSE(last) << "a second final response: " << p->message;
            last = p;
            continue;
        }
        (p->upgrading ? writing : sending).push_back(p->percent);
        if (p->upgrading) {
            EXPECT_EQ(p->errorId, kCodeUpgrading);
        }
    }
    EXPECT_EQ(sending, (std::vector<int>{40, 81, 100})); // blocks of 4096, 4096 and 1808 bytes
    EXPECT_EQ(writing, (std::vector<int>{20, 40, 60, 80, 100}));
    ASSERT_TRUE(last);
    EXPECT_EQ(last->status, STA_OK);
    EXPECT_EQ(last->errorId, kCodeUpgradeDone);
    EXPECT_EQ(last->percent, 100);
    EXPECT_EQ(frames(), (std::vector<std::string>{std::string("inform^set_upgradelength^null^10000") + '\0',
                                                  "ioctl^upgrade^null"}));
    const auto record = box.upgradeRecord();
    EXPECT_EQ(record.received, 10000);
    EXPECT_TRUE(record.image == readFile(path));
}

TEST_F(Diagnostics, ImageOfTheBoxVersionIsRefusedUnlessForced)
{
    const std::string same = image("same.img", sim::simImageHeader(box.value("SoftwareVersion")), 5000);
    ReqUpgrade upgrade;
    upgrade.fileName = same;
    upgrade.forceUpgrade = 1;
    auto forced = runAs<ResUpgrade>(upgrade);
    ASSERT_TRUE(forced);
    EXPECT_EQ(forced->status, STA_OK);
    EXPECT_EQ(frames().at(1), "ioctl^upgrade^/f");
    EXPECT_TRUE(box.upgradeRecord().forced);
}

// The box refuses after the header while most of a large image is still to go: the exchange ends
// with the box's code, and the stopped sender adds nothing after it.
TEST_F(Diagnostics, RefusedImageEndsTheExchangeAndStopsTheSender)
{
    constexpr size_t kSize = 32u << 20;
    const struct {
        std::string header;
        int code;
    } refusals[] = {{sim::simImageHeader(box.value("SoftwareVersion")), kCodeSameVersion},
                    {std::string(32, 'X'), kCodeIllegalImage}};
    for (const auto& refusal : refusals) {
        const std::string path = image("refused" + std::to_string(refusal.code), refusal.header, kSize, true);
        ReqUpgrade upgrade;
        upgrade.fileName = path;
        auto r = run(upgrade);
        auto* final = dynamic_cast<ResUpgrade*>(r.get());
        ASSERT_TRUE(final);
        EXPECT_EQ(final->status, STA_ERROR);
        EXPECT_EQ(final->errorId, refusal.code);
        EXPECT_EQ(final->percent, 0);
        EXPECT_EQ(final->message, "error status code:" + std::to_string(refusal.code));
        auto stray = nextResponse(500ms);
        EXPECT_FALSE(stray) << "after the final response: " << stray->message;
        EXPECT_LT(box.upgradeRecord().received, static_cast<long long>(kSize));
    }
    // The stopped senders were joined: a further upgrade runs normally.
    ReqUpgrade good;
    good.fileName = image("after.img", sim::simImageHeader("V4"), 3000);
    auto ok = run(good);
    ASSERT_TRUE(ok);
    EXPECT_EQ(ok->status, STA_OK);
}

TEST_F(Diagnostics, UnknownReportIsLoggedAndTheWaitGoesOn)
{
    sim::SimFaults faults;
    faults.upgradeStrayStatus = 401;
    box.setFaults(faults);
    ReqUpgrade upgrade;
    upgrade.fileName = image("stray.img", sim::simImageHeader("V4"), 10000);
    auto r = run(upgrade);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, STA_OK);
    EXPECT_EQ(r->errorId, kCodeUpgradeDone);
}

TEST_F(Diagnostics, BoxThatDiesOrFallsSilentEndsTheUpgradeWithAnError)
{
    sim::SimFaults faults;
    faults.upgradeStopAnswering = true;
    box.setFaults(faults);
    service.link().timeouts.longReply = 60ms; // ten silent waits
    ReqUpgrade upgrade;
    upgrade.fileName = image("silent.img", sim::simImageHeader("V4"), 10000);
    auto silent = run(upgrade);
    ASSERT_TRUE(silent);
    EXPECT_EQ(silent->status, STA_ERROR);
    EXPECT_EQ(silent->message, loadUiString(315));

    faults = {};
    faults.upgradeDropLink = true;
    box.setFaults(faults);
    const auto started = std::chrono::steady_clock::now();
    auto dead = run(upgrade);
    ASSERT_TRUE(dead);
    EXPECT_EQ(dead->status, STA_ERROR);
    EXPECT_EQ(dead->errorId, kCodeDisconnect);
    EXPECT_EQ(dead->message.rfind(loadUiString(353) + ":", 0), 0u);
    EXPECT_LT(std::chrono::steady_clock::now() - started, 10s);
}

// Both sides fail here: the box closes the image connection and reports, the sender's next send
// fails. The request still gets one final response, the box's verdict.
TEST_F(Diagnostics, ImageConnectionClosedEarlyGivesTheBoxVerdictOnly)
{
    sim::SimFaults faults;
    faults.upgradeCloseImageAfter = 5000;
    box.setFaults(faults);
    constexpr size_t kSize = 32u << 20;
    ReqUpgrade upgrade;
    upgrade.fileName = image("cut.img", sim::simImageHeader("V4"), kSize, true);
    const auto all = runUpgrade(upgrade);
    std::vector<const Response*> finals;
    for (const auto& r : all)
        if (r->status != STA_PROGRESS)
            finals.push_back(r.get());
    ASSERT_EQ(finals.size(), 1u);
    EXPECT_EQ(finals[0]->errorId, kCodeIllegalImage);
    EXPECT_EQ(box.upgradeRecord().received, 5000);
}

// A box that stops reading the image and says nothing: the sender gives up after its write wait,
// and that failure is the one final response. The answer to the next request is its own.
TEST_F(Diagnostics, BoxThatStopsReadingTheImageGetsOneFinalResponse)
{
    sim::SimFaults faults;
    faults.upgradeStopReadingAfter = 8192;
    box.setFaults(faults);
    service.link().timeouts.imageWrite = 300ms;
    constexpr size_t kSize = 64u << 20; // far more than the sockets buffer
    ReqUpgrade upgrade;
    upgrade.fileName = image("stalled.img", sim::simImageHeader("V4"), kSize, true);
    queues.pushRequest(upgrade);
    ReqExtCommand read(FuncRead, TypeUserCommand);
    read.command = "read^STBType^null";
    read.call = "STBType";
    queues.pushRequest(read);

    std::vector<std::unique_ptr<Response>> finals;
    while (auto r = nextResponse(15s)) {
        if (r->status == STA_PROGRESS) {
            EXPECT_TRUE(finals.empty()) << "progress after the upgrade's final response";
            continue;
        }
        finals.push_back(std::move(r));
        if (finals.back()->type == TypeUserCommand)
            break;
    }
    ASSERT_EQ(finals.size(), 2u);
    EXPECT_EQ(finals[0]->type, TypeUpgrade);
    EXPECT_EQ(finals[0]->status, STA_ERROR);
    EXPECT_EQ(finals[0]->errorId, 0);
    EXPECT_EQ(finals[0]->message.rfind("send error, file size:" + std::to_string(kSize) + ", send size:", 0), 0u)
        << finals[0]->message;
    auto* value = dynamic_cast<ResExtCommand*>(finals[1].get());
    ASSERT_TRUE(value);
    EXPECT_EQ(value->status, STA_OK);
    EXPECT_EQ(value->body, box.value("STBType"));
    EXPECT_FALSE(nextResponse(300ms));
}

TEST_F(Diagnostics, MissingImageIsAnErrorWithoutTouchingTheBox)
{
    ReqUpgrade upgrade;
    upgrade.fileName = tempPath("does-not-exist.img");
    auto r = run(upgrade);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, STA_ERROR);
    EXPECT_EQ(r->errorId, 0);
    EXPECT_NE(r->message.find(upgrade.fileName), std::string::npos);
    EXPECT_TRUE(frames().empty());
}

// 60 000 000 * 100 does not fit in 32 bits: the percentages must still rise to 100.
TEST_F(Diagnostics, LargeImagePercentagesRiseToOneHundred)
{
    ReqUpgrade upgrade;
    upgrade.fileName = image("60m.img", sim::simImageHeader("V4"), 60000000, true);
    const auto all = runUpgrade(upgrade, 60s);
    std::vector<int> sending;
    int finals = 0;
    for (const auto& r : all) {
        if (auto* p = dynamic_cast<ResUpgrade*>(r.get()); p && p->status == STA_PROGRESS && !p->upgrading)
            sending.push_back(p->percent);
        if (r->status != STA_PROGRESS) {
            ++finals;
            EXPECT_EQ(r->status, STA_OK);
        }
    }
    EXPECT_EQ(finals, 1);
    ASSERT_EQ(sending.size(), 100u);
    for (size_t i = 0; i < sending.size(); ++i)
        EXPECT_EQ(sending[i], static_cast<int>(i) + 1);
    EXPECT_EQ(box.upgradeRecord().received, 60000000);
}

namespace
{

class AndroidDiagnostics : public Diagnostics
{
protected:
    static sim::SimOptions androidOptions()
    {
        auto o = testBoxOptions();
        o.android = true;
        return o;
    }
    AndroidDiagnostics() : Diagnostics(androidOptions()) {}
};

} // namespace

// An Android box takes a zip package and refuses the image format of the other boxes; an image
// shorter than any header is judged too, not taken as written.
TEST_F(AndroidDiagnostics, TakesAZipPackageOnly)
{
    ReqUpgrade upgrade;
    upgrade.fileName = image("pkg.zip", std::string("PK\x03\x04", 4), 6000);
    auto zip = run(upgrade);
    ASSERT_TRUE(zip);
    EXPECT_EQ(zip->status, STA_OK);
    EXPECT_EQ(zip->errorId, kCodeUpgradeDone);

    upgrade.fileName = image("img.bin", sim::simImageHeader("V4"), 6000);
    auto bin = run(upgrade);
    ASSERT_TRUE(bin);
    EXPECT_EQ(bin->errorId, kCodeIllegalImage);
}

TEST_F(Diagnostics, ImageShorterThanTheHeaderIsRefused)
{
    ReqUpgrade upgrade;
    upgrade.fileName = image("tiny.img", "QBIMG1", 6);
    auto r = run(upgrade);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, STA_ERROR);
    EXPECT_EQ(r->errorId, kCodeIllegalImage);
}
