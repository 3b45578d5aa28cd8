#include <Commandio.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

using namespace quillon;
using namespace std::chrono_literals;

TEST(Queues, RequestsAndResponsesComeOutInPushOrder)
{
    Commandio q;
    ReqPing a, b, c;
    a.target = "A";
    b.target = "B";
    c.target = "C";
    q.pushRequest(a);
    q.pushRequest(b);
    q.pushRequest(c);
    for (const char* expected : {"A", "B", "C"}) {
        auto r = q.popRequest();
        ASSERT_NE(r, nullptr);
        EXPECT_EQ(dynamic_cast<ReqPing&>(*r).target, expected);
    }

    for (int percent : {10, 20, 30}) {
        ResUpgrade r;
        r.percent = percent;
        q.pushResponse(r);
    }
    for (int expected : {10, 20, 30}) {
        auto r = q.popResponse();
        ASSERT_NE(r, nullptr);
        EXPECT_EQ(dynamic_cast<ResUpgrade&>(*r).percent, expected);
    }
    EXPECT_EQ(q.popResponse(), nullptr);
}

TEST(Queues, PopRequestSleepsUntilAnotherThreadPushes)
{
    Commandio q;
    std::atomic<bool> popped{false};
    std::thread worker([&] {
        auto r = q.popRequest();
        popped = r && r->type == TypeStbInfo;
    });
    std::this_thread::sleep_for(50ms);
    EXPECT_FALSE(popped.load());
    q.pushRequest(ReqSTBInfo());
    worker.join();
    EXPECT_TRUE(popped.load());
}

TEST(Queues, ClosingWakesTheWorkerAfterItDrainedTheQueue)
{
    Commandio q;
    q.pushRequest(ReqDisConnect());
    std::atomic<int> taken{0};
    std::thread worker([&] {
        while (auto r = q.popRequest())
            ++taken;
    });
    std::this_thread::sleep_for(20ms);
    q.closeRequests();
    worker.join();
    EXPECT_EQ(taken.load(), 1);
}

TEST(Queues, PushNeverBlocksPastAHundredWaitingRequests)
{
    Commandio q;
    for (int i = 0; i < 250; ++i)
        q.pushRequest(ReqSTBInfo());
    EXPECT_EQ(q.waitingRequests(), 250u);
    int n = 0;
    q.closeRequests();
    while (q.popRequest())
        ++n;
    EXPECT_EQ(n, 250);
}

TEST(Queues, QueuedCopyIsIndependentOfTheLocalObject)
{
    Commandio q;
    {
        ReqConnect local;
        local.ip = "10.0.0.1";
        local.userName = "admin";
        local.password = "secret";
        q.pushRequest(local);
        local.ip = "changed";
        local.password.clear();
    }
    auto r = q.popRequest();
    auto& c = dynamic_cast<ReqConnect&>(*r);
    EXPECT_EQ(c.ip, "10.0.0.1");
    EXPECT_EQ(c.userName, "admin");
    EXPECT_EQ(c.password, "secret");
    EXPECT_EQ(c.port, 9003);
}

TEST(Queues, ConfigCopySharesTheBaseline)
{
    Commandio q;
    ResConfigInfo stored;
    ReqConfigInfo write(FuncWrite);
    write.baseline = &stored;
    write.ntpDomain = "ntp.example";
    q.pushRequest(write);
    auto r = q.popRequest();
    auto& copy = dynamic_cast<ReqConfigInfo&>(*r);
    EXPECT_EQ(copy.baseline, &stored);
    EXPECT_EQ(copy.ntpDomain, "ntp.example");
    EXPECT_EQ(copy.function, FuncWrite);
}

TEST(Queues, WaitResponseReturnsWhatArrivesInTime)
{
    Commandio q;
    EXPECT_EQ(q.waitResponse(10ms), nullptr);
    std::thread pusher([&] {
        std::this_thread::sleep_for(20ms);
        q.pushResponse(ResConnect());
    });
    auto r = q.waitResponse(5s);
    pusher.join();
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->type, TypeConnect);
}

// A timed wait ends when the queue is closed, not when its time is up (the time here is far
// longer than any test may take). Fault caught: close() not waking a timed wait.
TEST(Queues, ClosingEndsATimedWaitAtOnce)
{
    CloneQueue<Response> q;
    std::atomic<bool> returned{false};
    std::thread waiter([&] {
        EXPECT_EQ(q.popWait(std::chrono::hours(1)), nullptr);
        returned = true;
    });
    std::this_thread::sleep_for(20ms);
    q.close();
    waiter.join(); // with the fault, this join would wait for an hour and the test time out
    EXPECT_TRUE(returned);
}
