// Link benchmarks against the simulated box on loopback, each compared with a floor measured in
// the same run on the same machine:
//   1. the information read (25 keys) versus a raw TCP ping-pong of 25 round trips with frames of
//      the same sizes (48-byte requests, 64-byte replies);
//   2. the parameter export of a 4 MB list versus raw loopback reads of 1440 bytes.
// Prints the figures and the ratios; it asserts nothing.
// Every thread (tool, simulated box, floor) runs on one core unless --no-pin is given: on this
// shared two-core machine, whether a wake-up crosses cores changes a round trip threefold, and
// that would decide the ratio instead of the code.

#include "BenchSupport.h"

#include <Commandio.h>
#include <LinkService.h>
#include <StbSimulator.h>

#include <arpa/inet.h>
#include <sched.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

using namespace quillon;
using Clock = std::chrono::steady_clock;

namespace {

double seconds(Clock::duration d)
{
    return std::chrono::duration<double>(d).count();
}

int connectLoopback(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<uint16_t>(port));
    ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return fd;
}

bool readExactly(int fd, char* buf, size_t n)
{
    while (n > 0) {
        const ssize_t r = ::recv(fd, buf, n, 0);
        if (r <= 0)
            return false;
        buf += r;
        n -= static_cast<size_t>(r);
    }
    return true;
}

// Seconds for one batch of 25 request/reply round trips on raw TCP (best of `repeats` batches).
double rawPingPong(int repeats)
{
    int port = 0;
    const int lfd = bench::listenLoopback(port, 1);
    std::thread server([&] {
        const int fd = ::accept(lfd, nullptr, nullptr);
        const int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        char req[48], rep[64] = {};
        while (readExactly(fd, req, sizeof req))
            ::send(fd, rep, sizeof rep, MSG_NOSIGNAL);
        ::close(fd);
    });
    const int fd = connectLoopback(port);
    char req[48] = {}, rep[64];
    double best = 1e9;
    for (int r = 0; r < repeats; ++r) {
        const auto t0 = Clock::now();
        for (int i = 0; i < 25; ++i) {
            ::send(fd, req, sizeof req, MSG_NOSIGNAL);
            readExactly(fd, rep, sizeof rep);
        }
        best = std::min(best, seconds(Clock::now() - t0));
    }
    ::close(fd);
    server.join();
    ::close(lfd);
    return best;
}

// Bytes per second of raw loopback reads of at most 1440 bytes (best of `repeats` transfers).
double rawBulk(size_t bytes, int repeats)
{
    double best = 0;
    for (int r = 0; r < repeats; ++r) {
        int port = 0;
        const int lfd = bench::listenLoopback(port, 1);
        std::thread server([&] {
            const int fd = ::accept(lfd, nullptr, nullptr);
            std::vector<char> block(1440, 'x');
            for (size_t sent = 0; sent < bytes; sent += block.size())
                ::send(fd, block.data(), block.size(), MSG_NOSIGNAL);
            ::close(fd);
        });
        const int fd = connectLoopback(port);
        char buf[1440];
        size_t got = 0;
        const auto t0 = Clock::now();
        while (got < bytes) {
            const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
            if (n <= 0)
                break;
            got += static_cast<size_t>(n);
        }
        best = std::max(best, static_cast<double>(got) / seconds(Clock::now() - t0));
        ::close(fd);
        server.join();
        ::close(lfd);
    }
    return best;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char* argv[])
{
    bool pin = true, infoOnly = false;
    for (int i = 1; i < argc; ++i) {
        pin = pin && std::string(argv[i]) != "--no-pin";
        infoOnly = infoOnly || std::string(argv[i]) == "--info-only";
    }
    if (pin) {
        cpu_set_t one;
        CPU_ZERO(&one);
        CPU_SET(sched_getcpu(), &one);
        sched_setaffinity(0, sizeof one, &one); // threads started later inherit it
    }
    constexpr size_t kListBytes = 4 * 1024 * 1024;
    sim::SimOptions options;
    options.port = 0;
    options.paramListBytes = kListBytes;
    sim::StbSimulator box(options);
    if (!box.start()) {
        std::fprintf(stderr, "cannot start the simulated box\n");
        return 1;
    }
    Commandio queues;
    LinkService service(queues, nullptr);
    service.start();
    ReqConnect connect;
    connect.ip = "127.0.0.1";
    connect.port = box.port();
    connect.userName = sim::kDefaultUser;
    connect.password = sim::kDefaultPassword;
    queues.pushRequest(connect);
    auto c = queues.waitResponse(std::chrono::seconds(5));
    if (!c || c->status != STA_OK) {
        std::fprintf(stderr, "cannot connect\n");
        return 1;
    }

    auto waitFinal = [&] {
        for (;;) {
            auto r = queues.waitResponse(std::chrono::seconds(30));
            if (!r || r->status != STA_PROGRESS)
                return r;
        }
    };

    // The machine is shared: floor and tool are measured in turns and the median ratio is kept,
    // so a busy moment slows both sides of one pair rather than one side of the comparison.
    constexpr int kPairs = 21;
    std::vector<double> infoTimes, floorTimes, infoRatios;
    for (int i = 0; i < kPairs; ++i) {
        const auto t0 = Clock::now();
        queues.pushRequest(ReqSTBInfo());
        auto r = waitFinal();
        if (!r || r->status != STA_OK) {
            std::fprintf(stderr, "information read failed\n");
            return 1;
        }
        const double info = seconds(Clock::now() - t0);
        const double floor = rawPingPong(3);
        infoTimes.push_back(info);
        floorTimes.push_back(floor);
        infoRatios.push_back(info / floor);
    }

    if (infoOnly) {
        std::printf("information read, 25 keys:  median %7.3f ms; raw 25 round trips median %7.3f ms; "
                    "median ratio %.2f (target <= 1.5)\n",
                    median(infoTimes) * 1e3, median(floorTimes) * 1e3, median(infoRatios));
        service.shutdown();
        box.stop();
        return 0;
    }
    const double listSize = static_cast<double>(box.paramListText().size());
    std::vector<double> exportRates, bulkRates, exportRatios;
    for (int i = 0; i < 7; ++i) {
        const auto t0 = Clock::now();
        queues.pushRequest(ReqExportParams()); // no file: the transfer alone
        auto r = waitFinal();
        if (!r || r->status != STA_OK) {
            std::fprintf(stderr, "parameter export failed\n");
            return 1;
        }
        const double rate = listSize / seconds(Clock::now() - t0);
        const double floor = rawBulk(kListBytes, 1);
        exportRates.push_back(rate);
        bulkRates.push_back(floor);
        exportRatios.push_back(rate / floor);
    }

    std::printf("information read, 25 keys:  median %7.3f ms; raw 25 round trips median %7.3f ms; "
                "median ratio %.2f (target <= 1.5)\n",
                median(infoTimes) * 1e3, median(floorTimes) * 1e3, median(infoRatios));
    std::printf("parameter export, 4 MB:     median %7.1f MB/s; raw 1440-byte reads median %7.1f MB/s; "
                "median ratio %.2f (target >= 0.5)\n",
                median(exportRates) / 1e6, median(bulkRates) / 1e6, median(exportRatios));
    service.shutdown();
    box.stop();
    return 0;
}
