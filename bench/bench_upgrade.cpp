// Pushes a firmware image to the simulated box over loopback and compares the rate with a floor
// measured in the same run: the same file sent over plain loopback TCP in 4096-byte reads and
// writes. Also reports how far the tool's resident memory rises during a push.
//
// The box (and the floor's receiver) run in a child process forked before any thread exists, so
// the memory figures of this process are the tool's alone.
//
// usage: bench_upgrade [MEGABYTES]   (default 256)
#include "BenchSupport.h"

#include <Commandio.h>
#include <LinkService.h>
#include <SimDiagnostics.h>
#include <StbSimulator.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace quillon;
using namespace quillon::bench;

namespace
{

constexpr int kRounds = 3;

// Child: the simulated box and a plain receiver that discards what it reads, until the parent
// closes the pipe.
[[noreturn]] void runBoxes(int toParent, int fromParent)
{
    sim::SimOptions options;
    options.port = 0;
    options.linePace = std::chrono::milliseconds(1);
    sim::StbSimulator box(options);
    if (!box.start())
        _exit(1);
    int sinkPort = 0;
    const int sink = listenLoopback(sinkPort);
    std::thread([sink] {
        for (;;) {
            const int fd = ::accept(sink, nullptr, nullptr);
            if (fd < 0)
                return;
            static char buf[65536];
            while (::recv(fd, buf, sizeof buf, 0) > 0) {
            }
            ::close(fd);
        }
    }).detach(); // ends with the child process
    const int ports[2] = {box.port(), sinkPort};
    if (::write(toParent, ports, sizeof ports) != sizeof ports)
        _exit(1);
    char c;
    while (::read(fromParent, &c, 1) > 0) {
    }
    box.stop();
    _exit(0);
}

// The floor: the file in 4096-byte reads, each written whole to a plain loopback connection.
double floorSeconds(const std::string& path, int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0)
        return -1;
    const int file = ::open(path.c_str(), O_RDONLY);
    char block[4096];
    const auto start = Clock::now();
    ssize_t n;
    while ((n = ::read(file, block, sizeof block)) > 0) {
        for (ssize_t done = 0; done < n;) {
            const ssize_t w = ::send(fd, block + done, static_cast<size_t>(n - done), MSG_NOSIGNAL);
            if (w <= 0)
                return -1;
            done += w;
        }
    }
    const double s = secondsSince(start);
    ::close(file);
    ::close(fd);
    return s;
}

struct PushResult {
    double sentSeconds = -1;  // until the sender reported 100 %
    double finalSeconds = -1; // until the box's final report
    bool ok = false;
    long idleKb = 0;
    long peakKb = 0;
};

PushResult push(LinkService& service, Commandio& queues, const std::string& path)
{
    PushResult result;
    resetPeak();
    result.idleKb = statusKb("VmRSS");
    ReqUpgrade request;
    request.fileName = path;
    const auto start = Clock::now();
    queues.pushRequest(request);
    while (auto r = queues.waitResponse(std::chrono::seconds(60))) {
        auto* u = dynamic_cast<ResUpgrade*>(r.get());
        if (u && u->status == STA_PROGRESS && !u->upgrading && u->percent == 100)
            result.sentSeconds = secondsSince(start);
        if (r->status != STA_PROGRESS) {
            result.finalSeconds = secondsSince(start);
            result.ok = r->status == STA_OK;
            break;
        }
    }
    result.peakKb = statusKb("VmHWM");
    (void)service;
    return result;
}

} // namespace

int main(int argc, char* argv[])
{
    const long megabytes = argc > 1 ? std::atol(argv[1]) : 256;
    const long long size = static_cast<long long>(megabytes) << 20;

    int up[2], down[2];
    if (::pipe(up) != 0 || ::pipe(down) != 0)
        return 1;
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(up[0]);
        ::close(down[1]);
        runBoxes(up[1], down[0]);
    }
    ::close(up[1]);
    ::close(down[0]);
    int ports[2];
    if (::read(up[0], ports, sizeof ports) != sizeof ports) {
        std::fprintf(stderr, "the simulated box did not start\n");
        return 1;
    }

    const std::string path =
        (std::filesystem::temp_directory_path() / ("quillon-bench-" + std::to_string(::getpid()) + ".img")).string();
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out << sim::simImageHeader("V9.9.9.bench");
        std::string chunk(1 << 20, '\0');
        uint32_t x = 2463534242u;
        for (char& c : chunk) {
            x ^= x << 13, x ^= x >> 17, x ^= x << 5;
            c = static_cast<char>(x);
        }
        for (long long left = size - static_cast<long long>(sim::kSimImageHeaderSize); left > 0;
             left -= static_cast<long long>(chunk.size()))
            out.write(chunk.data(), static_cast<std::streamsize>(std::min<long long>(left, chunk.size())));
    }

    Commandio queues;
    LinkService service(queues, nullptr);
    service.start();
    ReqConnect connect;
    connect.ip = "127.0.0.1";
    connect.port = ports[0];
    connect.userName = sim::kDefaultUser;
    connect.password = sim::kDefaultPassword;
    queues.pushRequest(connect);
    auto connected = queues.waitResponse(std::chrono::seconds(20));
    if (!connected || connected->status != STA_OK) {
        std::fprintf(stderr, "cannot connect to the simulated box\n");
        return 1;
    }

    double bestFloor = 1e9, bestSent = 1e9, bestFinal = 1e9;
    long worstGrowthKb = 0, idleKb = 0;
    bool allOk = true;
    for (int round = 0; round < kRounds; ++round) {
        const double f = floorSeconds(path, ports[1]);
        const PushResult p = push(service, queues, path);
        allOk = allOk && p.ok && f > 0 && p.sentSeconds > 0;
        bestFloor = std::min(bestFloor, f);
        bestSent = std::min(bestSent, p.sentSeconds);
        bestFinal = std::min(bestFinal, p.finalSeconds);
        idleKb = p.idleKb;
        worstGrowthKb = std::max(worstGrowthKb, p.peakKb - p.idleKb);
        std::printf("round %d: floor %.3f s, push %.3f s (final report %.3f s), rss idle %ld kB, peak %ld kB\n",
                    round + 1, f, p.sentSeconds, p.finalSeconds, p.idleKb, p.peakKb);
    }
    const double mb = static_cast<double>(size) / (1 << 20);
    std::printf("image %lld bytes, best of %d rounds%s\n", size, kRounds, allOk ? "" : " (A PUSH FAILED)");
    std::printf("floor (plain loopback TCP, 4096-byte writes): %8.1f MB/s\n", mb / bestFloor);
    std::printf("image push to the simulated box:             %8.1f MB/s  ratio %.2f (target >= 0.70)\n", mb / bestSent,
                bestFloor / bestSent);
    std::printf("  until the box's final report:              %8.1f MB/s\n", mb / bestFinal);
    std::printf("tool memory during the push: idle %ld kB, peak rise %ld kB (target < 20480 kB)\n", idleKb,
                worstGrowthKb);

    service.shutdown();
    std::filesystem::remove(path);
    ::close(down[1]);
    ::waitpid(child, nullptr, 0);
    return allOk ? 0 : 1;
}
