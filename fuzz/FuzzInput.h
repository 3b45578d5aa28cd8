#pragma once

// Helpers shared by the fuzz targets.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include <Logger.h>
#include <WorkbookReader.h>

#include <unistd.h>

namespace quillon::fuzz
{

// The parsers log what they make of their input; millions of runs would fill the disk.
inline const bool kLogDiscarded = (Logger::instance().setFileName("/dev/null"), true);

inline std::string text(const uint8_t* data, size_t size)
{
    return std::string(reinterpret_cast<const char*>(data), size);
}

// A file holding the input, for parsers that read from a path; removed again by its destructor.
class TempFile
{
public:
    TempFile(const uint8_t* data, size_t size, const char* suffix)
    {
        path_ = "/tmp/quillon-fuzz-" + std::to_string(::getpid()) + suffix;
        if (std::FILE* f = std::fopen(path_.c_str(), "wb")) {
            std::fwrite(data, 1, size, f);
            std::fclose(f);
        }
    }
    ~TempFile() { std::remove(path_.c_str()); }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

// Reads the input as a workbook through the reader process, as the tools do: whatever the
// parsing library makes of it, this side gets a sheet or an error and never fails.
inline void readThroughReader(const uint8_t* data, size_t size, const char* suffix)
{
    const TempFile file(data, size, suffix);
    Sheet sheet(11);
    std::string error;
    WorkbookReaderLimits limits;
    limits.wallTime = std::chrono::milliseconds(5000);
    limits.cpuSeconds = 4;
    if (!readWorkbook(file.path(), sheet, error, limits) &&
        (sheet.rows() != 0 || error.rfind("the workbook cannot be read: ", 0) != 0))
        __builtin_trap();
}

} // namespace quillon::fuzz
