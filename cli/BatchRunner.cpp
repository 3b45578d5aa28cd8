#include "BatchRunner.h"

#include "Command.h"
#include "LinkSession.h"

#include <BoxText.h>

#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <sstream>
#include <thread>

namespace quillon::cli
{

namespace
{

using Clock = std::chrono::steady_clock;

constexpr size_t kMaxMessage = 1000;
constexpr size_t kMaxSerial = 64;

// Text from a box or a command's complaint, fit for one cell and a terminal line: control
// characters other than line ends become '?', blanks around it go, and it is cut to a bound.
std::string cleanedText(const std::string& text, bool keepLines)
{
    std::string out;
    for (char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '\n' && keepLines)
            out += c;
        else if (u < 0x20 || u == 0x7f)
            out += c == '\n' || c == '\t' ? ' ' : '?';
        else
            out += c;
        if (out.size() >= kMaxMessage)
            break;
    }
    const size_t first = out.find_first_not_of(" \n");
    const size_t last = out.find_last_not_of(" \n");
    return first == std::string::npos ? std::string() : out.substr(first, last - first + 1);
}

// A serial number a file may be named after: letters, digits, '.', '_' and '-', not led by '.'.
bool safeFileStem(const std::string& text)
{
    if (text.empty() || text.size() > kMaxSerial || text.front() == '.')
        return false;
    for (char c : text) {
        const bool ok = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '.' ||
                        c == '_' || c == '-';
        if (!ok)
            return false;
    }
    return true;
}

std::unique_ptr<Command> commandNamed(const std::string& name)
{
    for (auto& command : allCommands()) {
        if (name == command->name())
            return std::move(command);
    }
    return nullptr;
}

LinkSession* boxLink(Context& context)
{
    return static_cast<LinkSession*>(context.owner);
}

// The box's serial number, read with one frame; empty when the box gives none.
std::string readSerial(LinkSession& link)
{
    ReqExtCommand request(FuncRead, TypeUserCommand);
    request.call = "STBSerialNumber";
    request.parameter = "null";
    request.command = "read^STBSerialNumber^null";
    auto r = link.run(request);
    auto* result = dynamic_cast<ResExtCommand*>(r.get());
    if (!result || result->status != STA_OK)
        return {};
    return cleanedText(fromBox(result->body), false).substr(0, kMaxSerial);
}

std::string formatSeconds(double seconds)
{
    char text[32];
    if (seconds >= 3600)
        std::snprintf(text, sizeof text, "%dh%02dm", static_cast<int>(seconds / 3600),
                      static_cast<int>(seconds / 60) % 60);
    else if (seconds >= 60)
        std::snprintf(text, sizeof text, "%dm%02ds", static_cast<int>(seconds / 60), static_cast<int>(seconds) % 60);
    else
        std::snprintf(text, sizeof text, seconds < 10 ? "%.1fs" : "%.0fs", seconds);
    return text;
}

} // namespace

std::string expandPlaceholders(const std::string& text, const std::string& host, int port, const std::string& serial)
{
    std::string out;
    for (size_t i = 0; i < text.size();) {
        if (text.compare(i, 6, "{host}") == 0) {
            out += host;
            i += 6;
        } else if (text.compare(i, 6, "{port}") == 0) {
            out += std::to_string(port);
            i += 6;
        } else if (text.compare(i, 8, "{serial}") == 0) {
            out += serial;
            i += 8;
        } else {
            out += text[i++];
        }
    }
    return out;
}

bool hasPlaceholder(const std::string& text)
{
    return text.find("{host}") != std::string::npos || text.find("{port}") != std::string::npos ||
           text.find("{serial}") != std::string::npos;
}

double estimateSecondsLeft(const std::vector<double>& runningSeconds, size_t waiting, double meanSeconds, int jobs,
                           double replyLimit, int* slow)
{
    double longest = 0, sum = 0;
    int waitingOut = 0;
    for (const double elapsed : runningSeconds) {
        double left = std::max(meanSeconds - elapsed, 0.0);
        if (elapsed > 2 * meanSeconds + 1 && replyLimit > 0) {
            left = replyLimit - std::fmod(elapsed, replyLimit);
            ++waitingOut;
        }
        longest = std::max(longest, left);
        sum += left;
    }
    if (slow)
        *slow = waitingOut;
    const double work = sum + static_cast<double>(waiting) * meanSeconds;
    return std::max(longest, work / std::max(jobs, 1));
}

BatchRunner::BatchRunner(BatchSettings settings) : settings_(std::move(settings))
{
    if (settings_.jobs < 1)
        settings_.jobs = 1;
}

bool BatchRunner::claimFile(const std::string& path, const std::string& owner, std::string& holder)
{
    std::error_code ec;
    const std::string key = std::filesystem::absolute(path, ec).lexically_normal().string();
    std::lock_guard<std::mutex> guard(claimsMutex_);
    const auto [it, fresh] = claims_.emplace(ec ? path : key, owner);
    holder = it->second;
    return fresh;
}

BoxResult BatchRunner::runBox(const BoxEntry& box)
{
    const auto start = Clock::now();
    BoxResult result;
    result.host = box.host;
    result.port = box.port;
    auto finish = [&](const char* status, int code, const std::string& message) {
        result.status = status;
        result.exit = code;
        result.message = cleanedText(message, true);
        result.seconds = std::chrono::duration<double>(Clock::now() - start).count();
        return result;
    };

    std::ofstream file;
    std::ostream discard(nullptr);
    if (!settings_.outputDir.empty()) {
        const std::string path = (std::filesystem::path(settings_.outputDir) / (box.label + ".txt")).string();
        file.open(path, std::ios::trunc);
        if (!file)
            return finish("error", ExitError, "cannot write " + path);
    }
    std::ostream& out = settings_.outputDir.empty() ? discard : file;
    std::ostringstream err;

    auto command = commandNamed(settings_.command);
    if (!command)
        return finish("error", ExitUsage, "unknown command " + settings_.command);

    LinkSession link(out, err);
    link.setHandlesInterrupt(false);
    if (!link.open(box.host, box.port, box.user, box.password, box.modulusHex, settings_.timeouts)) {
        switch (link.openFailure()) {
        case LinkSession::OpenFailure::Unreachable:
            return finish("unreachable", ExitError, err.str());
        case LinkSession::OpenFailure::Auth:
            return finish("auth", ExitError, err.str());
        default:
            return finish("error", ExitError, err.str());
        }
    }
    result.serial = readSerial(link);

    std::vector<std::string> args;
    for (const std::string& arg : settings_.args) {
        if (!hasPlaceholder(arg)) {
            args.push_back(arg);
            continue;
        }
        // The serial comes from the box: it names a file only when it cannot lead elsewhere.
        if (arg.find("{serial}") != std::string::npos && !safeFileStem(result.serial))
            return finish("error", ExitError, "the serial number \"" + result.serial + "\" cannot name a file");
        args.push_back(expandPlaceholders(arg, box.host, box.port, result.serial));
        std::string holder;
        if (!claimFile(args.back(), box.host + ":" + std::to_string(box.port), holder))
            return finish("error", ExitError, args.back() + " is already used by the box " + holder);
    }

    Context context{args, out, err, &boxLink, &link};
    context.imageFd = settings_.imageFd;
    const int code = command->run(context);
    out.flush();
    if (file.is_open() && !file) {
        // Output that did not reach its file is a failure, whatever the box said.
        err << "cannot write the output of " << box.label << "\n";
        return finish("error", ExitError, err.str());
    }
    // The results file says "unchanged" alone: a rerun over a fleet reads box by box as done.
    if (code == ExitOk && context.unchanged)
        return finish("ok", code, "unchanged");
    return finish(code == ExitOk ? "ok" : code == ExitPartial ? "partial" : "error", code, err.str());
}

BatchSummary BatchRunner::run(const std::vector<BoxEntry>& boxes, const std::function<void(const BoxResult&)>& finished,
                              std::ostream& progress)
{
    BatchSummary summary;
    const size_t total = boxes.size();
    std::mutex mutex;
    std::condition_variable changed;
    size_t next = 0;
    size_t done = 0;
    size_t running = 0;
    bool stopped = false;
    const auto start = Clock::now();
    std::map<size_t, Clock::time_point> started; // the running boxes
    double finishedSeconds = 0;

    auto report = [&](bool last) {
        const auto now = Clock::now();
        const double elapsed = std::chrono::duration<double>(now - start).count();
        const size_t failed = done - static_cast<size_t>(summary.ok);
        progress << "batch: " << done << "/" << total << " done, " << failed << " failed, " << running << " running";
        if (!last && done > 0 && done < total && !stopped) {
            std::vector<double> runningSeconds;
            for (const auto& [index, since] : started)
                runningSeconds.push_back(std::chrono::duration<double>(now - since).count());
            int slow = 0;
            const double left = estimateSecondsLeft(
                runningSeconds, total - next, finishedSeconds / static_cast<double>(done), settings_.jobs,
                std::chrono::duration<double>(settings_.timeouts.reply).count(), &slow);
            if (slow > 0)
                progress << " (" << slow << " waiting out a time-out)";
            progress << ", about " << formatSeconds(left) << " left";
        }
        if (last)
            progress << ", " << formatSeconds(elapsed);
        progress << std::endl;
    };

    auto worker = [&] {
        for (;;) {
            size_t index;
            {
                std::lock_guard<std::mutex> guard(mutex);
                if (!stopped && settings_.stopRequested && settings_.stopRequested())
                    stopped = true;
                if (stopped || next >= total)
                    return;
                index = next++;
                ++running;
                started[index] = Clock::now();
            }
            const BoxResult result = runBox(boxes[index]);
            std::lock_guard<std::mutex> guard(mutex);
            --running;
            ++done;
            started.erase(index);
            finishedSeconds += result.seconds;
            if (result.status == "ok")
                ++summary.ok;
            else if (result.status == "partial")
                ++summary.partial;
            else
                ++summary.failed;
            if (result.status != "ok") {
                const std::string firstLine = result.message.substr(0, result.message.find('\n'));
                progress << result.host << ":" << result.port << ": " << result.status
                         << (firstLine.empty() ? "" : ": ") << firstLine << std::endl;
            }
            if (finished)
                finished(result);
            changed.notify_all();
        }
    };

    std::vector<std::thread> threads;
    const size_t count = std::min(total, static_cast<size_t>(settings_.jobs));
    threads.reserve(count);
    for (size_t i = 0; i < count; ++i)
        threads.emplace_back(worker);
    {
        std::unique_lock<std::mutex> lock(mutex);
        auto lastReport = Clock::now();
        while (done < next || (next < total && !stopped)) {
            changed.wait_for(lock, std::chrono::seconds(1));
            if (!stopped && settings_.stopRequested && settings_.stopRequested())
                stopped = true; // seen here as well, so the count of the running boxes shows it
            if (Clock::now() - lastReport >= std::chrono::seconds(1)) {
                report(false);
                lastReport = Clock::now();
            }
        }
        summary.notStarted = static_cast<int>(total - next);
        report(true);
    }
    for (auto& t : threads)
        t.join();
    return summary;
}

} // namespace quillon::cli
