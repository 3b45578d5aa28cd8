#pragma once

// A simulated box on an ephemeral loopback port and a link service connected to it.

#include <Commandio.h>
#include <LinkService.h>
#include <StbLink.h>
#include <StbSimulator.h>
#include <StringTable.h>

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

namespace quillon::test
{

class RecordingObserver : public LinkObserver
{
public:
    void linkStateChanged(uint8_t state) override
    {
        std::lock_guard<std::mutex> guard(mutex);
        states.push_back(state);
        changed.notify_all();
    }
    void outputLine(OutputChannel channel, const std::string& line) override
    {
        std::lock_guard<std::mutex> guard(mutex);
        lines.emplace_back(channel, line);
        changed.notify_all();
    }
    bool waitForState(uint8_t state, std::chrono::milliseconds timeout)
    {
        std::unique_lock<std::mutex> lock(mutex);
        return changed.wait_for(lock, timeout, [&] { return !states.empty() && states.back() == state; });
    }
    std::vector<std::pair<OutputChannel, std::string>> linesCopy()
    {
        std::lock_guard<std::mutex> guard(mutex);
        return lines;
    }

    std::mutex mutex;
    std::condition_variable changed;
    std::vector<uint8_t> states;
    std::vector<std::pair<OutputChannel, std::string>> lines;
};

inline sim::SimOptions testBoxOptions()
{
    sim::SimOptions o;
    o.port = 0;
    o.channels = 6;
    o.linePace = std::chrono::milliseconds(20);
    return o;
}

inline LinkTimeouts shortTimeouts()
{
    LinkTimeouts t;
    t.reply = std::chrono::milliseconds(700);
    t.longReply = std::chrono::milliseconds(1400);
    t.watchdogPoll = std::chrono::milliseconds(100);
    return t;
}

class LinkFixture : public ::testing::Test
{
protected:
    explicit LinkFixture(sim::SimOptions options = testBoxOptions()) : box(std::move(options)) {}

    void SetUp() override
    {
        std::string error;
        ASSERT_TRUE(box.start(&error)) << error;
        service.setTimeouts(timeouts());
        service.start();
    }
    virtual LinkTimeouts timeouts() const { return shortTimeouts(); }
    void TearDown() override
    {
        service.shutdown();
        box.stop();
    }

    // Pushes a request and returns its responses up to the first that is not a progress report.
    std::vector<std::unique_ptr<Response>> runAll(const Request& request,
                                                  std::chrono::milliseconds timeout = std::chrono::seconds(20))
    {
        queues.pushRequest(request);
        std::vector<std::unique_ptr<Response>> out;
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (std::chrono::steady_clock::now() < deadline) {
            auto r = queues.waitResponse(std::chrono::milliseconds(50));
            if (!r)
                continue;
            const bool last = r->status != STA_PROGRESS;
            out.push_back(std::move(r));
            if (last)
                break;
        }
        return out;
    }

    std::unique_ptr<Response> run(const Request& request)
    {
        auto all = runAll(request);
        if (all.empty())
            return nullptr;
        return std::move(all.back());
    }

    template <typename T> std::unique_ptr<T> runAs(const Request& request)
    {
        auto r = run(request);
        auto* typed = dynamic_cast<T*>(r.get());
        if (!typed)
            return nullptr;
        r.release();
        return std::unique_ptr<T>(typed);
    }

    bool connect(const std::string& user = sim::kDefaultUser, const std::string& password = sim::kDefaultPassword)
    {
        ReqConnect c;
        c.ip = "127.0.0.1";
        c.port = box.port();
        c.userName = user;
        c.password = password;
        auto r = run(c);
        return r && r->type == TypeConnect && r->status == STA_OK;
    }

    // Frames the box received, without the handshake.
    std::vector<std::string> frames() const { return box.frames(); }

    sim::StbSimulator box;
    Commandio queues;
    RecordingObserver observer;
    LinkService service{queues, &observer};
};

// The link up to the box, messages in English, and no frames recorded yet.
class ConnectedLinkFixture : public LinkFixture
{
protected:
    explicit ConnectedLinkFixture(sim::SimOptions options = testBoxOptions()) : LinkFixture(std::move(options)) {}
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

} // namespace quillon::test
