// A batch over a simulated fleet, against one box's time measured in the same run:
//  1. `info` over 1 000 boxes that answer every frame after 20 ms, 64 at a time. Parallel
//     efficiency = (boxes / jobs x one box's info time) / batch time; the target is 70 %.
//     Also the tool's peak resident memory during the batch.
//  2. `upgrade` of a 16 MB image to 100 boxes, 16 at a time, against raw loopback TCP: the same
//     bytes written in 4096-byte blocks over 16 plain connections at once.
//
// The boxes (and the raw receiver) run in a child process forked before any thread exists, so
// the memory figures of this process are the tool's alone. Each box has its own loopback address
// (127.66.x.y for the first fleet, 127.67.0.y for the second) and a port of the system's choosing.
//
// usage: bench_batch [BOXES [JOBS [LATENCY_MS]]]   (defaults 1000 64 20)
#include "BenchSupport.h"

#include <Command.h>
#include <LinkSession.h>
#include <SimDiagnostics.h>
#include <SimFleet.h>
#include <StringTable.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace quillon;
using namespace quillon::bench;
namespace fs = std::filesystem;

namespace
{

constexpr int kUpgradeBoxes = 100;
constexpr int kUpgradeJobs = 16;
constexpr long long kImageBytes = 16ll << 20;




void raiseDescriptorLimit()
{
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0) {
        limit.rlim_cur = limit.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &limit);
    }
}

bool writeAll(int fd, const void* data, size_t length)
{
    const char* p = static_cast<const char*>(data);
    while (length > 0) {
        const ssize_t n = ::write(fd, p, length);
        if (n <= 0)
            return false;
        p += n;
        length -= static_cast<size_t>(n);
    }
    return true;
}

bool readAll(int fd, void* data, size_t length)
{
    char* p = static_cast<char*>(data);
    while (length > 0) {
        const ssize_t n = ::read(fd, p, length);
        if (n <= 0)
            return false;
        p += n;
        length -= static_cast<size_t>(n);
    }
    return true;
}

struct Endpoint {
    char host[16];
    int port;
};

// Child: both fleets and a receiver that discards what it reads, until the parent closes the pipe.
[[noreturn]] void runBoxes(int boxes, int latencyMs, int toParent, int fromParent)
{
    raiseDescriptorLimit();
    sim::FleetOptions info;
    info.boxes = boxes;
    info.firstAddress = "127.66.0.1";
    info.port = 0;
    info.box.replyLatency = std::chrono::milliseconds(latencyMs);
    sim::FleetOptions upgrade;
    upgrade.boxes = kUpgradeBoxes;
    upgrade.firstAddress = "127.67.0.1";
    upgrade.port = 0;
    upgrade.box.linePace = std::chrono::milliseconds(0);
    upgrade.box.keptImageBytes = 4096;
    sim::SimFleet a(info), b(upgrade);
    std::string error;
    if (!a.start(&error) || !b.start(&error)) {
        std::fprintf(stderr, "fleet: %s\n", error.c_str());
        _exit(1);
    }
    int sinkPort = 0;
    const int sink = listenLoopback(sinkPort, 64);
    std::thread([sink] {
        for (;;) {
            const int fd = ::accept(sink, nullptr, nullptr);
            if (fd < 0)
                return;
            std::thread([fd] {
                std::vector<char> buf(65536);
                while (::recv(fd, buf.data(), buf.size(), 0) > 0) {
                }
                ::close(fd);
            }).detach();
        }
    }).detach(); // ends with the child process
    std::vector<Endpoint> endpoints;
    for (sim::SimFleet* fleet : {&a, &b}) {
        for (size_t i = 0; i < fleet->size(); ++i) {
            Endpoint e{};
            std::snprintf(e.host, sizeof e.host, "%s", fleet->address(i).c_str());
            e.port = fleet->port(i);
            endpoints.push_back(e);
        }
    }
    Endpoint raw{};
    std::snprintf(raw.host, sizeof raw.host, "127.0.0.1");
    raw.port = sinkPort;
    endpoints.push_back(raw);
    if (!writeAll(toParent, endpoints.data(), endpoints.size() * sizeof(Endpoint)))
        _exit(1);
    char c;
    while (::read(fromParent, &c, 1) > 0) {
    }
    _exit(0);
}

// One box as `quillon-cli info` sees it: connect, the information read, disconnect.
double oneBoxInfo(const Endpoint& box)
{
    std::ostringstream out, err;
    const auto start = Clock::now();
    {
        cli::LinkSession session(out, err);
        if (!session.open(box.host, box.port, "admin", "quillon", ""))
            return -1;
        auto r = session.run(ReqSTBInfo());
        if (!r || r->status != STA_OK)
            return -1;
    }
    return secondsSince(start);
}

struct BatchFigure {
    int code = -1;
    double seconds = 0;
    long idleKb = 0;
    long peakKb = 0;
    std::string err;
};

// quillon-cli --user admin --password quillon batch ARGS, in this process.
BatchFigure runBatch(std::vector<std::string> args)
{
    cli::GlobalOptions globals;
    globals.user = "admin";
    globals.password = "quillon";
    globals.passwordGiven = true;
    std::ostringstream out, err;
    BatchFigure figure;
    resetPeak();
    figure.idleKb = statusKb("VmRSS");
    const auto start = Clock::now();
    for (auto& command : cli::allCommands()) {
        if (std::string(command->name()) == "batch") {
            cli::Context c{std::move(args), out, err, nullptr, nullptr, &globals};
            figure.code = command->run(c);
        }
    }
    figure.seconds = secondsSince(start);
    figure.peakKb = statusKb("VmHWM");
    figure.err = err.str();
    return figure;
}

std::string writeList(const fs::path& path, const std::vector<Endpoint>& boxes)
{
    std::ofstream out(path);
    out << "host,port\n";
    for (const Endpoint& e : boxes)
        out << e.host << "," << e.port << "\n";
    return path.string();
}

// The floor of the upgrade figure: `streams` plain connections at once, each writing `perStream`
// bytes of the image in 4096-byte reads, `total` streams in all.
double rawLoopbackSeconds(const std::string& image, int port, int total, int streams)
{
    std::atomic<int> next{0};
    std::atomic<bool> failed{false};
    auto worker = [&] {
        while (next++ < total) {
            const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
            sockaddr_in a{};
            a.sin_family = AF_INET;
            a.sin_port = htons(static_cast<uint16_t>(port));
            a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            const int file = ::open(image.c_str(), O_RDONLY);
            if (fd < 0 || file < 0 || ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
                failed = true;
                return;
            }
            char block[4096];
            ssize_t n;
            while ((n = ::read(file, block, sizeof block)) > 0) {
                for (ssize_t done = 0; done < n;) {
                    const ssize_t w = ::send(fd, block + done, static_cast<size_t>(n - done), MSG_NOSIGNAL);
                    if (w <= 0) {
                        failed = true;
                        return;
                    }
                    done += w;
                }
            }
            ::close(file);
            ::close(fd);
        }
    };
    const auto start = Clock::now();
    std::vector<std::thread> threads;
    for (int i = 0; i < streams; ++i)
        threads.emplace_back(worker);
    for (auto& t : threads)
        t.join();
    return failed ? -1 : secondsSince(start);
}

} // namespace

int main(int argc, char* argv[])
{
    const int boxes = argc > 1 ? std::atoi(argv[1]) : 1000;
    const int jobs = argc > 2 ? std::atoi(argv[2]) : 64;
    const int latencyMs = argc > 3 ? std::atoi(argv[3]) : 20;
    if (boxes < 1 || boxes > 60000 || jobs < 1 || latencyMs < 0) {
        std::fprintf(stderr, "usage: bench_batch [BOXES [JOBS [LATENCY_MS]]]\n");
        return 2;
    }
    raiseDescriptorLimit();
    rlimit limit{};
    ::getrlimit(RLIMIT_NOFILE, &limit);
    std::printf("descriptor limit %llu; fleet of %d boxes on 127.66.0.1 onwards, %d on 127.67.0.1 onwards\n",
                static_cast<unsigned long long>(limit.rlim_cur), boxes, kUpgradeBoxes);

    int up[2], down[2];
    if (::pipe(up) != 0 || ::pipe(down) != 0)
        return 1;
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(up[0]);
        ::close(down[1]);
        runBoxes(boxes, latencyMs, up[1], down[0]);
    }
    ::close(up[1]);
    ::close(down[0]);
    std::vector<Endpoint> endpoints(static_cast<size_t>(boxes + kUpgradeBoxes + 1));
    if (!readAll(up[0], endpoints.data(), endpoints.size() * sizeof(Endpoint))) {
        std::fprintf(stderr, "the simulated boxes did not start\n");
        return 1;
    }
    setUiLanguage(LanguageEnglish);
    const std::vector<Endpoint> infoBoxes(endpoints.begin(), endpoints.begin() + boxes);
    const std::vector<Endpoint> upgradeBoxes(endpoints.begin() + boxes, endpoints.begin() + boxes + kUpgradeBoxes);
    const Endpoint raw = endpoints.back();

    const fs::path dir = fs::temp_directory_path() / ("quillon-bench-batch-" + std::to_string(::getpid()));
    fs::create_directories(dir);

    // 1. info over the fleet against one box.
    std::vector<double> single;
    for (int i = 0; i < 3; ++i)
        single.push_back(oneBoxInfo(infoBoxes[static_cast<size_t>(i) % infoBoxes.size()]));
    std::sort(single.begin(), single.end());
    const double one = single[1];
    const std::string infoList = writeList(dir / "info.csv", infoBoxes);
    const BatchFigure info =
        runBatch({"--jobs", std::to_string(jobs), "--results", (dir / "info-results.csv").string(), infoList, "info"});
    const double ideal = static_cast<double>(boxes) / jobs * one;
    std::printf("info, one box: %.3f s (median of 3; %.0f ms reply latency)\n", one, static_cast<double>(latencyMs));
    std::printf(
        "info, %d boxes, --jobs %d: %.2f s, exit %d; ideal %.2f s; parallel efficiency %.0f %% (target >= 70 %%)\n",
        boxes, jobs, info.seconds, info.code, ideal, 100.0 * ideal / info.seconds);
    std::printf("  tool memory: %ld kB resident before, %ld kB at peak (+%ld kB)\n", info.idleKb, info.peakKb,
                info.peakKb - info.idleKb);
    if (info.code != 0)
        std::printf("  %s\n", info.err.substr(info.err.size() > 400 ? info.err.size() - 400 : 0).c_str());

    // 2. upgrade of one image to a hundred boxes against raw loopback.
    const std::string image = (dir / "image.bin").string();
    {
        std::ofstream out(image, std::ios::binary | std::ios::trunc);
        std::string data = sim::simImageHeader("V9.9.9.bench");
        uint32_t x = 2463534242u;
        data.reserve(static_cast<size_t>(kImageBytes));
        while (static_cast<long long>(data.size()) < kImageBytes) {
            x ^= x << 13;
            x ^= x >> 17;
            x ^= x << 5;
            data += static_cast<char>(x);
        }
        out << data;
    }
    const double rawBefore = rawLoopbackSeconds(image, raw.port, kUpgradeBoxes, kUpgradeJobs);
    const std::string upgradeList = writeList(dir / "upgrade.csv", upgradeBoxes);
    const BatchFigure upgrade = runBatch({"--jobs", std::to_string(kUpgradeJobs), "--results",
                                          (dir / "upgrade-results.csv").string(), upgradeList, "upgrade", image});
    // The floor is the faster of a run before and one after (the machine is shared).
    const double rawAfter = rawLoopbackSeconds(image, raw.port, kUpgradeBoxes, kUpgradeJobs);
    const double rawSeconds = rawBefore < 0 || rawAfter < 0 ? -1 : std::min(rawBefore, rawAfter);
    const double megabytes = static_cast<double>(kImageBytes) * kUpgradeBoxes / (1 << 20);
    std::printf("raw loopback, %d x 16 MB over %d connections at once: %.2f s, %.0f MB/s\n", kUpgradeBoxes,
                kUpgradeJobs, rawSeconds, megabytes / rawSeconds);
    std::printf("upgrade, 16 MB to %d boxes, --jobs %d: %.2f s, exit %d, %.0f MB/s; %.0f %% of raw loopback\n",
                kUpgradeBoxes, kUpgradeJobs, upgrade.seconds, upgrade.code, megabytes / upgrade.seconds,
                100.0 * rawSeconds / upgrade.seconds);
    std::printf("  tool memory: %ld kB resident before, %ld kB at peak (+%ld kB)\n", upgrade.idleKb, upgrade.peakKb,
                upgrade.peakKb - upgrade.idleKb);
    if (upgrade.code != 0)
        std::printf("  %s\n", upgrade.err.substr(upgrade.err.size() > 400 ? upgrade.err.size() - 400 : 0).c_str());

    ::close(down[1]);
    int status = 0;
    ::waitpid(child, &status, 0);
    fs::remove_all(dir);
    return info.code == 0 && upgrade.code == 0 ? 0 : 1;
}
