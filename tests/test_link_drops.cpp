// The simulated box drops the link at each frame of each exchange in turn: every exchange ends
// with a clear error, in time, and the link goes back to not connected.
#include "LinkFixture.h"

#include <StringTable.h>

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
