// The simulated box drops the link at each frame of each exchange in turn: every exchange ends
// with a clear error, in time, and the link goes back to not connected.
#include "LinkFixture.h"

#include <ExchangeText.h>
#include <SimDiagnostics.h>
#include <StringTable.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <functional>
#include <thread>

using namespace quillon;
using namespace quillon::test;

namespace
{

struct Exchange {
    const char* name;
    std::function<std::unique_ptr<Request>()> make;
};

// A firmware image the simulated box accepts, written once per run.
std::string imageFile(size_t size)
{
    const std::string path = ::testing::TempDir() + "quillon-drops-" + std::to_string(size) + ".bin";
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << sim::simImageHeader("V9.9") << std::string(size - sim::kSimImageHeaderSize, 'u');
    return path;
}

std::unique_ptr<Request> upgradeRequest(size_t size)
{
    auto r = std::make_unique<ReqUpgrade>();
    r->fileName = imageFile(size);
    return r;
}

std::vector<Exchange> exchanges()
{
    return {
        {"information", [] { return std::make_unique<ReqSTBInfo>(); }},
        {"configuration", [] { return std::make_unique<ReqConfigInfo>(FuncRead); }},
        {"log parameters", [] { return std::make_unique<ReqLogParams>(FuncRead); }},
        {"command",
         [] {
             auto r = std::make_unique<ReqExtCommand>(FuncIoctl, TypeButtonCommand);
             r->command = "ioctl^reboot^null";
             return r;
         }},
        {"parameter export", [] { return std::make_unique<ReqExportParams>(); }},
        {"channel list", [] { return std::make_unique<ReqExportChannelList>(); }},
        {"ping",
         [] {
             auto r = std::make_unique<ReqPing>();
             r->target = "127.0.0.2";
             r->duration = 2;
             return r;
         }},
        {"trace route",
         [] {
             auto r = std::make_unique<ReqTraceRoute>();
             r->target = "127.0.0.3";
             return r;
         }},
        {"packet capture",
         [] {
             auto r = std::make_unique<ReqPcap>();
             r->serverIp = "127.0.0.4";
             r->serverPort = "22";
             r->captureTime = "3";
             return r;
         }},
        {"upgrade", [] { return upgradeRequest(64 << 10); }},
    };
}

class LinkDrops : public LinkFixture
{
protected:
    LinkDrops() : LinkFixture(options()) {}
    static sim::SimOptions options()
    {
        auto o = testBoxOptions();
        o.linePace = std::chrono::milliseconds(5);
        return o;
    }
    // The box takes a moment to let the last connection go; until then it answers 404.
    bool reconnect()
    {
        box.setFaults({});
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (std::chrono::steady_clock::now() < deadline) {
            if (connect())
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return false;
    }
};

} // namespace

TEST_F(LinkDrops, EveryExchangeEndsCleanlyWhereverTheLinkDrops)
{
    setUiLanguage(LanguageEnglish);
    for (const Exchange& exchange : exchanges()) {
        SCOPED_TRACE(exchange.name);
        // How many frames the exchange sends when nothing goes wrong.
        ASSERT_TRUE(reconnect());
        box.clearFrames();
        auto whole = run(*exchange.make());
        ASSERT_TRUE(whole);
        ASSERT_EQ(whole->status, STA_OK) << whole->message;
        const size_t frames = box.frames().size();
        ASSERT_GE(frames, 1u);
        run(ReqDisConnect());

        for (size_t drop = 0; drop < frames; ++drop) {
            SCOPED_TRACE("dropped at frame " + std::to_string(drop + 1) + " of " + std::to_string(frames));
            ASSERT_TRUE(reconnect());
            sim::SimFaults faults;
            faults.closeAfterFrames = static_cast<int>(drop);
            box.setFaults(faults);
            auto r = run(*exchange.make());
            ASSERT_TRUE(r) << "no final response";
            EXPECT_NE(r->status, STA_OK);
            EXPECT_FALSE(r->message.empty() && r->errorId == 0) << "an error without a reason";
            // The link notices and is down again before the next connection.
            EXPECT_TRUE(observer.waitForState(0, std::chrono::seconds(5)));
            run(ReqDisConnect());
        }
    }
    setUiLanguage(LanguageChinese);
}

// The box goes away while the image streams: the exchange ends within 2 s, says where it got to
// (the last percentage reported) and shows the link down before its verdict.
TEST_F(LinkDrops, UpgradeWhoseLinkDiesSaysWhereItStopped)
{
    setUiLanguage(LanguageEnglish);
    ASSERT_TRUE(reconnect());
    sim::SimFaults faults;
    faults.upgradeStopReadingAfter = 1 << 20;
    box.setFaults(faults);
    queues.pushRequest(*upgradeRequest(16u << 20));
    int reported = 0;
    std::unique_ptr<Response> last;
    auto collect = [&](std::chrono::milliseconds wait) {
        const auto until = std::chrono::steady_clock::now() + wait;
        while (!last && std::chrono::steady_clock::now() < until) {
            auto r = queues.waitResponse(std::chrono::milliseconds(20));
            if (r && r->status == STA_PROGRESS)
                reported = static_cast<const ResUpgrade&>(*r).percent;
            else if (r)
                last = std::move(r);
        }
    };
    collect(std::chrono::milliseconds(1500)); // the sender stalls where the box stopped reading
    ASSERT_FALSE(last) << last->message;
    ASSERT_GT(reported, 0);
    const auto dropped = std::chrono::steady_clock::now();
    box.dropClient();
    collect(std::chrono::seconds(5));
    const auto took = std::chrono::steady_clock::now() - dropped;
    ASSERT_TRUE(last);
    EXPECT_LT(took, std::chrono::seconds(2));
    EXPECT_EQ(last->status, STA_ERROR);
    EXPECT_EQ(last->errorId, kCodeDisconnect);
    const auto& verdict = static_cast<const ResUpgrade&>(*last);
    EXPECT_EQ(verdict.percent, reported);
    EXPECT_EQ(verdict.upgrading, 0);
    EXPECT_EQ(upgradeFailureText(verdict), "Upgrade failed: link lost at " + std::to_string(reported) + "%");
    {
        std::lock_guard<std::mutex> guard(observer.mutex);
        ASSERT_FALSE(observer.states.empty());
        EXPECT_EQ(observer.states.back(), 0) << "the verdict went out before the link was shown down";
    }
    // Several watchdog rounds later the loss has still been told once: nothing follows the verdict.
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    {
        std::lock_guard<std::mutex> guard(observer.mutex);
        const auto up = std::find(observer.states.rbegin(), observer.states.rend(), 1);
        EXPECT_EQ(std::distance(observer.states.rbegin(), up), 1) << "the loss was told more than once";
    }
    std::printf("upgrade link loss at %d%%: verdict after %lld ms\n", reported,
                static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(took).count()));
    setUiLanguage(LanguageChinese);
}

// A box that stops in the middle of a bulk stream and stays connected: the read ends with a
// reason within the reply limits instead of waiting for ever.
TEST_F(LinkDrops, SilenceInTheMiddleOfABulkStreamEndsTheRead)
{
    setUiLanguage(LanguageEnglish);
    const std::pair<const char*, std::function<std::unique_ptr<Request>()>> reads[] = {
        {"channel list", [] { return std::make_unique<ReqExportChannelList>(); }},
        {"parameter export", [] { return std::make_unique<ReqExportParams>(); }},
    };
    for (const auto& [name, make] : reads) {
        SCOPED_TRACE(name);
        for (long long after : {0LL, 17LL, 200LL}) {
            SCOPED_TRACE("silent after " + std::to_string(after) + " bytes");
            ASSERT_TRUE(reconnect());
            sim::SimFaults faults;
            faults.streamSilentAfter = after;
            faults.recordPieces = true;
            box.clearPieces();
            box.setFaults(faults);
            const auto started = std::chrono::steady_clock::now();
            auto r = run(*make());
            const auto took = std::chrono::steady_clock::now() - started;
            ASSERT_TRUE(r) << "no final response";
            EXPECT_NE(r->status, STA_OK);
            EXPECT_FALSE(r->message.empty() && r->errorId == 0) << "an error without a reason";
            EXPECT_LT(took, std::chrono::seconds(6));
            // The box really stopped inside the stream.
            size_t streamed = 0;
            for (const sim::SimPiece& piece : box.sentPieces())
                if (piece.stream)
                    streamed = std::max(streamed, piece.end);
            EXPECT_EQ(streamed, static_cast<size_t>(after));
            run(ReqDisConnect());
        }
    }
    setUiLanguage(LanguageChinese);
}
