// The live log under load: a sender at 50 000 datagrams a second of 200 bytes into the window's
// receiver and viewer (offscreen, the real window without a link), beside the floor of a plain
// blocking receiver (one recv per datagram, nothing else) in the same run. Reports datagrams
// lost, the receiving side's processor time against the floor's, and how late the window's
// 100 ms tick ran. Then senders without pacing drive the receiver until the kernel drops, and
// the loss the receiver reports is compared with sent minus received.
//
// usage: bench_livelog [SECONDS]   (default 20; the floor runs for the same time)
#include <Commandio.h>
#include <LiveLogReceiver.h>
#include <LogPage.h>
#include <LogRowModel.h>
#include <LogViewer.h>
#include <untMain.h>

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

using namespace quillon;
using Clock = std::chrono::steady_clock;

namespace
{

constexpr int kRate = 50000;
constexpr size_t kDatagram = 200;

double processCpu()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

double threadCpu()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

sockaddr_in loopback(uint16_t port)
{
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return a;
}

// Sends `rate` datagrams a second (0: as fast as it can) for `seconds`, 50 at a time with
// sendmmsg. Returns the count the kernel accepted; its own processor time in `cpu`.
uint64_t sendLoad(uint16_t port, int rate, double seconds, double& cpu, const std::atomic<bool>* stop = nullptr)
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in to = loopback(port);
    std::string text(kDatagram, 'x');
    std::memcpy(text.data(), "2026-12-09 15:00:00 [HTTP] bench line ", 38);
    text.back() = '\n';
    constexpr int kBurst = 50;
    iovec io[kBurst];
    mmsghdr msgs[kBurst]{};
    for (int i = 0; i < kBurst; ++i) {
        io[i] = {text.data(), text.size()};
        msgs[i].msg_hdr.msg_name = &to;
        msgs[i].msg_hdr.msg_namelen = sizeof to;
        msgs[i].msg_hdr.msg_iov = &io[i];
        msgs[i].msg_hdr.msg_iovlen = 1;
    }
    const double cpuStart = threadCpu();
    const auto start = Clock::now();
    const auto end = start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
    uint64_t sent = 0;
    while (Clock::now() < end && !(stop && *stop)) {
        if (rate > 0) {
            const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
            if (double(sent) >= elapsed * rate) {
                std::this_thread::sleep_for(std::chrono::microseconds(200));
                continue;
            }
        }
        const int n = ::sendmmsg(fd, msgs, kBurst, 0);
        if (n > 0)
            sent += uint64_t(n);
    }
    cpu = threadCpu() - cpuStart;
    ::close(fd);
    return sent;
}

// Runs the window's event loop for `seconds` (waiting for events, as the application does).
void runEventsFor(double seconds)
{
    QEventLoop loop;
    QTimer::singleShot(int(seconds * 1000), &loop, &QEventLoop::quit);
    loop.exec();
}

struct FloorResult {
    uint64_t sent = 0, received = 0;
    double receiverCpu = 0;
};

// The floor: a blocking recv per datagram into a buffer, with the same receive buffer asked.
FloorResult runFloor(double seconds)
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in a = loopback(0);
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t length = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &length);
    int size = LiveLogReceiver::kAskedReceiveBuffer;
    if (::setsockopt(fd, SOL_SOCKET, SO_RCVBUFFORCE, &size, sizeof size) != 0)
        ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
    timeval wait{0, 300000};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    FloorResult r;
    std::atomic<bool> done{false};
    std::thread receiver([&] {
        const double start = threadCpu();
        char buffer[1025];
        while (true) {
            const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
            if (n > 0)
                ++r.received;
            else if (done)
                break;
        }
        r.receiverCpu = threadCpu() - start;
    });
    double senderCpu = 0;
    r.sent = sendLoad(ntohs(a.sin_port), kRate, seconds, senderCpu);
    done = true;
    receiver.join();
    ::close(fd);
    return r;
}

} // namespace

int main(int argc, char* argv[])
{
    const double seconds = argc > 1 ? std::atof(argv[1]) : 20.0;
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    std::printf("live log: %d datagrams/s of %zu bytes for %.0f s\n", kRate, kDatagram, seconds);

    const FloorResult floor = runFloor(seconds);
    std::printf("floor  plain blocking recv: sent %llu, received %llu, lost %llu; receiver cpu %.2f s\n",
                (unsigned long long)floor.sent, (unsigned long long)floor.received,
                (unsigned long long)(floor.sent - floor.received), floor.receiverCpu);

    Commandio queues;
    LinkSetup setup;
    setup.startLink = false;
    TfrmMain window(queues, setup);
    window.show();
    LogViewer& viewer = window.logPage().viewer();
    LiveLogReceiver::Options options;
    options.port = 0;
    options.bindAddress = "127.0.0.1";
    viewer.setLiveLogOptions(options);
    window.findChild<QCheckBox*>("chkPrintLiveLog")->setChecked(true);
    const LiveLogReceiver& receiver = viewer.receiver();
    if (!receiver.running()) {
        std::fprintf(stderr, "receiver did not start: %s\n", window.statusText().toUtf8().constData());
        return 1;
    }
    std::printf("receive buffer obtained: %d bytes\n", receiver.receiveBufferObtained());

    // The window's tick: how late each 100 ms timeout comes.
    QTimer* tick = window.findChild<QTimer*>("tmrTick");
    QElapsedTimer sinceTick;
    qint64 worstLate = 0;
    std::vector<qint64> lates;
    sinceTick.start();
    QObject::connect(tick, &QTimer::timeout, [&] {
        const qint64 late = sinceTick.restart() - 100;
        lates.push_back(late);
        worstLate = std::max(worstLate, late);
    });

    std::atomic<uint64_t> sent{0};
    double senderCpu = 0;
    const double cpuStart = processCpu();
    std::thread sender([&] { sent = sendLoad(receiver.port(), kRate, seconds, senderCpu); });
    runEventsFor(seconds + 1.0);
    sender.join();
    const auto settle = Clock::now();
    while (viewer.receiver().stats().received < sent && Clock::now() - settle < std::chrono::seconds(3))
        runEventsFor(0.1);
    const double receivingCpu = processCpu() - cpuStart - senderCpu;
    LiveLogStats s = receiver.stats();
    std::sort(lates.begin(), lates.end());
    const qint64 p99 = lates.empty() ? 0 : lates[lates.size() * 99 / 100];
    std::printf("window receiver + viewer:   sent %llu, received %llu, lost %llu (kernel reports %llu); "
                "viewer rows %d\n",
                (unsigned long long)sent.load(), (unsigned long long)s.received,
                (unsigned long long)(sent - s.received), (unsigned long long)s.kernelDropped,
                viewer.model().rowCount());
    std::printf("  receiving side cpu %.2f s (receiver thread + window), ratio to the floor's receiver %.2f\n",
                receivingCpu, receivingCpu / std::max(floor.receiverCpu, 1e-3));
    std::printf("  tmrTick: %zu ticks, latest by %lld ms at worst, 99th percentile %lld ms (target < 100 ms)\n",
                lates.size(), (long long)worstLate, (long long)p99);

    // Harder: four senders without pacing while the window keeps drawing, for a quarter of the time.
    const uint64_t receivedBefore = s.received;
    const uint64_t droppedBefore = s.kernelDropped;
    std::atomic<uint64_t> blasted{0};
    std::vector<std::thread> blasters;
    const double blast = std::max(1.0, seconds / 4);
    for (int i = 0; i < 4; ++i)
        blasters.emplace_back([&] {
            double cpu = 0;
            blasted += sendLoad(receiver.port(), 0, blast, cpu);
        });
    runEventsFor(blast + 0.5);
    for (auto& t : blasters)
        t.join();
    // The kernel's count rides on the next datagram taken: a few slow ones after the storm.
    double cpu = 0;
    const uint64_t trailer = sendLoad(receiver.port(), 100, 0.3, cpu);
    runEventsFor(2.0);
    s = receiver.stats();
    const uint64_t hardSent = blasted + trailer;
    const uint64_t hardReceived = s.received - receivedBefore;
    const uint64_t hardDropped = s.kernelDropped - droppedBefore;
    std::printf("driven harder (4 senders, no pacing, %.0f s): sent %llu (%.0f/s), received %llu, "
                "sent - received %llu, kernel reports %llu lost -> %s\n",
                blast, (unsigned long long)hardSent, double(blasted) / blast, (unsigned long long)hardReceived,
                (unsigned long long)(hardSent - hardReceived), (unsigned long long)hardDropped,
                hardSent - hardReceived == hardDropped ? "equal" : "DIFFERENT");
    std::printf("  status bar: %s\n", window.statusText().toUtf8().constData());
    window.findChild<QCheckBox*>("chkPrintLiveLog")->setChecked(false);
    return 0;
}
