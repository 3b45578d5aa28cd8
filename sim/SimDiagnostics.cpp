#include "SimDiagnostics.h"

#include "StbSimulator.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <thread>

namespace quillon::sim
{

bool pauseUnlessStopped(std::chrono::milliseconds pause, const std::atomic<bool>& stop)
{
    const auto end = std::chrono::steady_clock::now() + pause;
    while (!stop) {
        const auto left = end - std::chrono::steady_clock::now();
        if (left <= std::chrono::steady_clock::duration::zero())
            return true;
        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(left, std::chrono::milliseconds(5)));
    }
    return false;
}

namespace
{

std::string slices(std::initializer_list<std::string> texts)
{
    std::string out;
    for (const std::string& t : texts) {
        if (!out.empty())
            out += '\0';
        out += t;
    }
    return out;
}

// ping: one reply line per pace (a second on a real box) until the duration or a stop.
void runPing(SimSession& session, std::string target, int duration, std::atomic<bool>& stop)
{
    const std::string prefix = "200connect^ping^";
    const auto pace = session.box().options().linePace;
    const int dropAfter = session.box().faults().pingDropAfterLines;
    const bool pastDuration = session.box().faults().pingPastDuration;
    session.sendFrame(prefix + "PING " + target + " (" + target + "): 56 data bytes");
    int sent = 0;
    while ((duration < 1 || sent < duration || pastDuration) && pauseUnlessStopped(pace, stop)) {
        if (dropAfter >= 0 && sent >= dropAfter) {
            session.close();
            return;
        }
        char line[256];
        std::snprintf(line, sizeof line, "64 bytes from %s: seq=%d ttl=64 time=%d.%03d ms", target.c_str(), sent,
                      1 + sent % 3, (sent * 137) % 1000);
        session.sendFrame(prefix + line);
        ++sent;
    }
    // The summary and the end text travel together, as slices of one frame.
    session.sendFrame(slices({prefix + "--- " + target + " ping statistics ---",
                              prefix + std::to_string(sent) + " packets transmitted, " + std::to_string(sent) +
                                  " packets received, 0% packet loss",
                              "200connect^ping"}));
}

void runTraceRoute(SimSession& session, std::string target, std::atomic<bool>& stop)
{
    const std::string prefix = "200connect^traceroute^";
    const auto pace = session.box().options().linePace;
    session.sendFrame(prefix + "traceroute to " + target + " (" + target + "), 30 hops max, 38 byte packets");
    constexpr int kHops = 5;
    for (int hop = 1; hop <= kHops && pauseUnlessStopped(pace, stop); ++hop) {
        char line[256];
        const std::string via = hop == kHops ? target : "10.0." + std::to_string(hop) + ".1";
        std::snprintf(line, sizeof line, "%2d  %s  %d.%03d ms  %d.%03d ms  %d.%03d ms", hop, via.c_str(), hop, 211, hop,
                      305, hop, 118);
        session.sendFrame(prefix + line);
    }
    session.sendFrame("200connect^traceroute");
}

long long fieldNumber(const std::string& text, const std::string& name)
{
    const size_t at = text.find(name);
    return at == std::string::npos ? 0 : std::atoll(text.c_str() + at + name.size());
}

// A capture for the time or up to the size asked, then the upload to the engineer's server.
void runCapture(SimSession& session, long long seconds, long long maxSize, std::atomic<bool>& stop)
{
    const auto pace = session.box().options().linePace;
    for (int i = 0; i < session.box().faults().pcapUnrecognised; ++i) {
        if (!pauseUnlessStopped(pace, stop))
            return;
        session.sendFrame("200inform^pcap_state:busy");
    }
    const int steps = seconds > 0 ? static_cast<int>(std::min<long long>(seconds, 5)) : 3;
    const long long perStep = maxSize > 0 ? std::max<long long>(1, maxSize / steps) : 187392;
    long long captured = 0;
    for (int i = 0; i < steps; ++i) {
        if (!pauseUnlessStopped(pace, stop))
            return;
        captured += perStep;
        session.sendFrame("200inform^get_pcapfilesize:" + std::to_string(captured));
    }
    session.sendFrame("200inform^get_pcapfilesize:0");
    for (int i = 1; i <= 3; ++i) {
        if (!pauseUnlessStopped(pace, stop))
            return;
        session.sendFrame("200inform^get_capfileuploadsize:" + std::to_string(captured * i / 3));
    }
    session.sendFrame("200inform^get_capfileuploadsize:0");
}

} // namespace

bool handleDiagnosticFrame(SimSession& session, const FrameWords& w)
{
    if (w.function == "connect" && (w.call == "ping" || w.call == "traceroute")) {
        if (w.parameter == "/stop") {
            // The running tool answers with its end text.
            session.stopJob();
            return true;
        }
        const std::string target = w.data;
        if (target.empty()) {
            session.reply(401, w);
            return true;
        }
        if (w.call == "ping") {
            int duration = 0;
            if (w.parameter.rfind("/length:", 0) == 0)
                duration = std::atoi(w.parameter.c_str() + 8);
            session.startJob(
                [&session, target, duration](std::atomic<bool>& stop) { runPing(session, target, duration, stop); });
        } else {
            session.startJob([&session, target](std::atomic<bool>& stop) { runTraceRoute(session, target, stop); });
        }
        return true;
    }
    if (w.function == "inform" && w.call == "pcap_maxfilesize") {
        session.reply(200, w, session.box().value("pcap_maxfilesize"));
        return true;
    }
    if (w.function == "ioctl" && w.call == "remotepcap") {
        const long long seconds = fieldNumber(w.data, "time:");
        const long long maxSize = fieldNumber(w.data, "filesize:");
        session.sendFrame("200inform^remotepcap^start");
        session.startJob(
            [&session, seconds, maxSize](std::atomic<bool>& stop) { runCapture(session, seconds, maxSize, stop); });
        return true;
    }
    return handleUpgradeFrame(session, w);
}

} // namespace quillon::sim
