#include "SheetStream.h"
#include "WorkbookReader.h"

#include <Logger.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#ifdef QUILLON_COVERAGE
extern "C" void __gcov_dump(void);
#endif

// Sanitizer builds reserve terabytes of address space for their shadow memory; an address-space
// limit would stop the reader before it starts.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define QUILLON_NO_ADDRESS_LIMIT 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || __has_feature(memory_sanitizer)
#define QUILLON_NO_ADDRESS_LIMIT 1
#endif
#endif

namespace quillon
{

namespace
{

constexpr const char* kReaderName = "quillon-workbook-reader";
constexpr const char* kCannotRead = "the workbook cannot be read: ";

std::mutex g_programMutex;
std::string g_program;

bool isExecutable(const std::string& path)
{
    return !path.empty() && ::access(path.c_str(), X_OK) == 0 && std::filesystem::is_regular_file(path);
}

struct Pipe {
    int fd[2] = {-1, -1};
    ~Pipe()
    {
        for (int f : fd) {
            if (f >= 0)
                ::close(f);
        }
    }
};

std::string signalText(int sig)
{
    if (sig == SIGXCPU)
        return "the reader ran out of processor time";
    if (sig == SIGKILL)
        return "the reader was stopped";
    const char* name = ::strsignal(sig);
    return std::string("the reader stopped on signal ") + std::to_string(sig) +
           (name ? std::string(" (") + name + ")" : "");
}

// Runs in the child between fork and exec: only calls that are safe after a fork of a threaded
// process.
[[noreturn]] void execReader(const std::vector<char*>& argv, int out, const WorkbookReaderLimits& limits)
{
    const int devNull = ::open("/dev/null", O_RDWR);
    if (devNull < 0 || ::dup2(devNull, 0) < 0 || ::dup2(out, 1) < 0 || ::dup2(devNull, 2) < 0)
        ::_exit(127);
    ::close_range(3, ~0u, 0);
    rlimit limit{};
#ifndef QUILLON_NO_ADDRESS_LIMIT
    limit.rlim_cur = limit.rlim_max = static_cast<rlim_t>(limits.memoryBytes);
    ::setrlimit(RLIMIT_AS, &limit);
#endif
    limit.rlim_cur = static_cast<rlim_t>(limits.cpuSeconds);
    limit.rlim_max = static_cast<rlim_t>(limits.cpuSeconds + 1);
    ::setrlimit(RLIMIT_CPU, &limit);
    limit.rlim_cur = limit.rlim_max = 0;
    ::setrlimit(RLIMIT_CORE, &limit);
#ifdef QUILLON_COVERAGE
    __gcov_dump(); // the reader replaces this child before it could write its counts at exit
#endif
    ::execv(argv[0], argv.data());
    ::_exit(127);
}

// The reader's answer, read until it ends, grows too large or takes too long.
std::string collectAnswer(int in, pid_t child, SheetStreamDecoder& decoder, const WorkbookReaderLimits& limits)
{
    const auto deadline = std::chrono::steady_clock::now() + limits.wallTime;
    std::uint64_t total = 0;
    std::vector<char> buffer(1 << 16);
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            ::kill(child, SIGKILL);
            char seconds[32];
            std::snprintf(seconds, sizeof seconds, "%g", static_cast<double>(limits.wallTime.count()) / 1000.0);
            return std::string("the reader took longer than ") + seconds + " s";
        }
        pollfd p{in, POLLIN, 0};
        const int ready = ::poll(&p, 1, static_cast<int>(std::min<long long>(left.count(), 1000)));
        if (ready < 0 && errno != EINTR) {
            ::kill(child, SIGKILL);
            return std::string("cannot wait for the reader: ") + std::strerror(errno);
        }
        if (ready <= 0)
            continue;
        const ssize_t n = ::read(in, buffer.data(), buffer.size());
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN)
                continue;
            ::kill(child, SIGKILL);
            return std::string("cannot read the reader's answer: ") + std::strerror(errno);
        }
        if (n == 0)
            return {};
        total += static_cast<std::uint64_t>(n);
        if (total > limits.outputBytes) {
            ::kill(child, SIGKILL);
            return "the sheet is larger than allowed";
        }
        if (!decoder.feed(std::string_view(buffer.data(), static_cast<size_t>(n)))) {
            ::kill(child, SIGKILL);
            return decoder.error();
        }
    }
}

} // namespace

void setWorkbookReaderProgram(const std::string& path)
{
    std::lock_guard<std::mutex> guard(g_programMutex);
    g_program = path;
}

std::string workbookReaderProgram()
{
    std::error_code ec;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (!ec) {
        // Beside the program, then where an installation keeps its helpers (bin/../libexec/quillon).
        const auto folder = self.parent_path();
        for (const auto& candidate : {folder / kReaderName, folder / ".." / "libexec" / "quillon" / kReaderName}) {
            if (isExecutable(candidate.string()))
                return candidate.string();
        }
    }
    {
        std::lock_guard<std::mutex> guard(g_programMutex);
        if (isExecutable(g_program))
            return g_program;
    }
    // A program run from the build tree (build/ui, build/cli, build/tests/ui ...) finds the
    // reader in build/tools; no path of the build tree is compiled in.
    if (!ec) {
        auto folder = self.parent_path();
        for (int up = 0; up < 3 && folder.has_parent_path(); ++up) {
            folder = folder.parent_path();
            const std::string inTree = (folder / "tools" / kReaderName).string();
            if (isExecutable(inTree))
                return inTree;
        }
    }
    return std::string();
}

bool readWorkbook(const std::string& path, Sheet& sheet, std::string& error, const WorkbookReaderLimits& limits)
{
    sheet.clear();
    const std::string program = workbookReaderProgram();
    if (program.empty()) {
        error = std::string(kCannotRead) + "the reader program " + kReaderName + " is missing";
        return false;
    }
    std::string kept = std::to_string(sheet.keptColumns());
    std::string programArg = program, keptOption = "--kept-columns", pathArg = path;
    const std::vector<char*> argv{programArg.data(), keptOption.data(), kept.data(), pathArg.data(), nullptr};

    Pipe pipe;
    if (::pipe2(pipe.fd, O_CLOEXEC) != 0) {
        error = std::string(kCannotRead) + "cannot start the reader: " + std::strerror(errno);
        return false;
    }
    const pid_t child = ::fork();
    if (child < 0) {
        error = std::string(kCannotRead) + "cannot start the reader: " + std::strerror(errno);
        return false;
    }
    if (child == 0)
        execReader(argv, pipe.fd[1], limits);
    ::close(pipe.fd[1]);
    pipe.fd[1] = -1;

    SheetStreamDecoder decoder(sheet);
    std::string failure = collectAnswer(pipe.fd[0], child, decoder, limits);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (failure.empty()) {
        if (WIFSIGNALED(status))
            failure = signalText(WTERMSIG(status));
        else if (WIFEXITED(status) && WEXITSTATUS(status) == 127 && !decoder.finished())
            failure = "the reader program could not be started";
        else if (decoder.refused())
            failure = decoder.reason();
        else if (!decoder.complete() || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
            failure = "the reader ended without an answer";
    }
    if (!failure.empty()) {
        sheet.clear();
        error = kCannotRead + failure;
        Logger::instance().error("workbook %s: %s", path.c_str(), error.c_str());
        return false;
    }
    return true;
}

} // namespace quillon
