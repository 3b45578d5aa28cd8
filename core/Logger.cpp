#include "Logger.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>

#ifdef _WIN32
#include <windows.h>
#else
#include <pwd.h>
#include <unistd.h>
#endif

namespace quillon {

const char* const kLogRuler = "============================================================";

namespace {

constexpr size_t kMessageBuffer = 2048; // a message is cut to 2047 characters

LogTime localNow()
{
    using namespace std::chrono;
    const auto now = system_clock::now();
    const std::time_t secs = system_clock::to_time_t(now);
    const int ms = static_cast<int>(duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000);
    std::tm tm{};
#ifdef _WIN32
    localtime_s(&tm, &secs);
#else
    localtime_r(&secs, &tm);
#endif
    return LogTime{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, ms};
}

bool folderWritable(const std::filesystem::path& dir)
{
#ifdef _WIN32
    std::error_code ec;
    return std::filesystem::is_directory(dir, ec);
#else
    return ::access(dir.c_str(), W_OK) == 0;
#endif
}

} // namespace

Logger& Logger::instance()
{
    // Created on the first call (start-up, before any other thread) and destroyed at exit.
    static std::unique_ptr<Logger> logger(new Logger);
    return *logger;
}

void Logger::setFileName(const std::string& name)
{
    std::lock_guard<std::recursive_mutex> guard(lock_);
    fileName_ = name;
}

std::string Logger::fileName() const
{
    std::lock_guard<std::recursive_mutex> guard(lock_);
    return fileName_;
}

void Logger::setClock(std::function<LogTime()> clock)
{
    std::lock_guard<std::recursive_mutex> guard(lock_);
    clock_ = std::move(clock);
}

const char* Logger::levelWord(Level level)
{
    switch (level) {
    case Debug: return "DEBUG";
    case Error: return "ERROR";
    case Info: return "INFO ";
    case Warn: return "WARN ";
    case Trace: return "TRACE";
    case Fatal: return "FATAL";
    }
    return "     ";
}

std::string Logger::formatLine(const LogTime& t, Level level, const std::string& message)
{
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%4d/%02d/%02d %02d:%02d:%02d.%03d", t.year, t.month, t.day, t.hour,
                  t.minute, t.second, t.millisecond);
    std::string line = stamp;
    line += " [";
    line += levelWord(level);
    line += "] ";
    line += message;
    line += '\n';
    return line;
}

void Logger::error(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    write(Error, format, args);
    va_end(args);
}

void Logger::info(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    write(Info, format, args);
    va_end(args);
}

void Logger::warn(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    write(Warn, format, args);
    va_end(args);
}

void Logger::debug(const char*, ...) {}

void Logger::write(Level level, const char* format, va_list args)
{
    char message[kMessageBuffer] = {};
    std::vsnprintf(message, sizeof message, format, args);

    std::function<LogTime()> clock;
    {
        std::lock_guard<std::recursive_mutex> guard(lock_);
        clock = clock_;
    }
    const std::string line = formatLine(clock ? clock() : localNow(), level, message);

    std::lock_guard<std::recursive_mutex> guard(lock_);
    // Text mode, so the platform's line end is written.
    std::FILE* file = std::fopen(fileName_.c_str(), "a");
    if (!file) {
        std::fputs("Could not open file.\n", stderr);
        return;
    }
    std::fwrite(line.data(), 1, line.size(), file);
    std::fclose(file);
}

std::string Logger::logPathFor(const std::string& executablePath)
{
    std::filesystem::path p(executablePath);
    p.replace_extension(".log");
    return p.string();
}

namespace {

// A program in one of these folders was installed (also below a staging folder): its folder
// belongs to the system, even when root could write there.
bool isInstalledFolder(const std::filesystem::path& dir)
{
    const std::string name = dir.filename().string();
    return name == "bin" || name == "sbin" || name == "libexec" || dir.parent_path().filename() == "libexec";
}

} // namespace

std::string Logger::chooseLogPath(const std::string& executablePath, bool folderWritable, const char* xdgStateHome,
                                  const char* home)
{
    const std::filesystem::path beside(logPathFor(executablePath));
    if (folderWritable && !isInstalledFolder(beside.parent_path()))
        return beside.string();

    std::filesystem::path state;
    if (xdgStateHome && std::filesystem::path(xdgStateHome).is_absolute())
        state = xdgStateHome;
    else if (home && *home)
        state = std::filesystem::path(home) / ".local" / "state";
    else
        return beside.string();
    return (state / "quillon" / beside.filename()).string();
}

std::string Logger::defaultLogPath(const char* argv0)
{
    std::string exe;
#ifdef _WIN32
    char buf[MAX_PATH] = {};
    if (GetModuleFileNameA(nullptr, buf, MAX_PATH) > 0)
        exe = buf;
#else
    std::error_code ec;
    exe = std::filesystem::read_symlink("/proc/self/exe", ec).string();
#endif
    if (exe.empty() && argv0)
        exe = std::filesystem::absolute(argv0).string();
    if (exe.empty())
        return "log.txt";

    const char* home = std::getenv("HOME");
#ifndef _WIN32
    if (!home || !*home) {
        if (const passwd* entry = ::getpwuid(::getuid()))
            home = entry->pw_dir;
    }
#endif
    const std::string path = chooseLogPath(exe, folderWritable(std::filesystem::path(exe).parent_path()),
                                           std::getenv("XDG_STATE_HOME"), home);
    std::error_code created;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), created);
    return path;
}

} // namespace quillon
