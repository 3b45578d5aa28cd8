#pragma once

#include <cstdarg>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#if defined(__GNUC__) || defined(__clang__)
#define QUILLON_PRINTF(fmtIndex, firstArg) __attribute__((format(printf, fmtIndex, firstArg)))
#else
#define QUILLON_PRINTF(fmtIndex, firstArg)
#endif

namespace quillon {

// Broken-down local time with milliseconds, as written at the start of a log line.
struct LogTime {
    int year = 1970, month = 1, day = 1, hour = 0, minute = 0, second = 0, millisecond = 0;
};

// The process-wide diagnostic log. Every call appends one whole line to the file and closes it
// again, so the file is complete at every moment and may be read or deleted while we run.
class Logger {
public:
    enum Level { Debug = 0, Error = 1, Info = 2, Warn = 3, Trace = 4, Fatal = 5 };

    static Logger& instance();

    void setFileName(const std::string& name);
    std::string fileName() const;

    void error(const char* format, ...) QUILLON_PRINTF(2, 3);
    void info(const char* format, ...) QUILLON_PRINTF(2, 3);
    void warn(const char* format, ...) QUILLON_PRINTF(2, 3);
    // Trace messages are kept in the code for the reader; they never reach the file.
    void debug(const char* format, ...) QUILLON_PRINTF(2, 3);

    // Tests replace the clock to get a known time stamp; an empty function restores the real one.
    void setClock(std::function<LogTime()> clock);

    static const char* levelWord(Level level);
    static std::string formatLine(const LogTime& t, Level level, const std::string& message);

    // Path of the log for an executable: its path with the extension replaced by ".log"
    // (appended when it has none).
    static std::string logPathFor(const std::string& executablePath);
    // Where this process logs: beside the executable when that folder is writable and is not an
    // installed program's folder (bin, sbin, libexec), else in $XDG_STATE_HOME/quillon/ (default
    // ~/.local/state/quillon/) under the same name. Creates that folder.
    static std::string defaultLogPath(const char* argv0);
    // The choice behind defaultLogPath, without touching the system. `xdgStateHome` and `home`
    // are the variables' values (null when unset); a relative XDG_STATE_HOME is ignored.
    static std::string chooseLogPath(const std::string& executablePath, bool folderWritable,
                                     const char* xdgStateHome, const char* home);

private:
    Logger() = default;
    void write(Level level, const char* format, va_list args) QUILLON_PRINTF(3, 0);

    mutable std::recursive_mutex lock_;
    std::string fileName_ = "log.txt";
    std::function<LogTime()> clock_;
};

// The sixty "=" characters that frame every run in the log.
extern const char* const kLogRuler;

} // namespace quillon
