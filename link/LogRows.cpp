#include "LogRows.h"

#include <BoxText.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include <sys/stat.h>

namespace quillon
{

namespace
{

struct FileCloser {
    void operator()(FILE* f) const { std::fclose(f); }
};

} // namespace

LogRows::~LogRows()
{
    std::free(data_);
}

void LogRows::clear()
{
    used_ = 0;
    offsets_.clear();
    lengths_.clear();
    match_.clear();
}

// Grows by doubling; the buffer is raw memory, so a file read into it is never zero-filled first.
void LogRows::reserveBytes(size_t more)
{
    if (capacity_ - used_ >= more)
        return;
    size_t wanted = capacity_ ? capacity_ : 64 * 1024;
    while (wanted - used_ < more)
        wanted *= 2;
    char* grown = static_cast<char*>(std::realloc(data_, wanted));
    if (!grown)
        throw std::bad_alloc();
    data_ = grown;
    capacity_ = wanted;
}

void LogRows::append(std::string_view text)
{
    appendMatched(text, false, UINT64_MAX);
}

bool LogRows::appendLive(std::string_view text, bool matched, uint64_t generation)
{
    const bool cleared = size() > kLiveRowLimit;
    if (cleared)
        clear();
    appendMatched(text, matched, generation);
    return cleared;
}

void LogRows::appendMatched(std::string_view text, bool matched, uint64_t generation)
{
    reserveBytes(text.size());
    if (!text.empty())
        std::memcpy(data_ + used_, text.data(), text.size());
    offsets_.push_back(used_);
    // Rows come from datagrams (at most 1024 bytes) and file lines, which a 4 GiB cap cannot hurt.
    lengths_.push_back(static_cast<uint32_t>(std::min<size_t>(text.size(), UINT32_MAX)));
    used_ += text.size();
    match_.push_back(generation == generation_ ? (matched ? 2 : 1) : 0);
}

bool LogRows::matches(size_t index, const LogFilter& filter)
{
    uint8_t& known = match_[index];
    if (known == 0)
        known = filter.matches(fromBox(row(index))) ? 2 : 1;
    return known == 2;
}

void LogRows::setFilterGeneration(uint64_t generation)
{
    if (generation == generation_)
        return;
    generation_ = generation;
    std::fill(match_.begin(), match_.end(), uint8_t(0));
}

LogRows::LoadResult LogRows::loadFile(const std::string& path)
{
    LoadResult result;
    std::unique_ptr<FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (!file) {
        result.error = errno;
        return result;
    }
    clear();
    struct stat info {};
    const size_t expected = ::fstat(fileno(file.get()), &info) == 0 && info.st_size > 0 ? size_t(info.st_size) : 0;
    // The whole file in one buffer, read in large blocks; a file that grows meanwhile is read
    // to its end all the same.
    reserveBytes(expected + 1);
    for (;;) {
        if (capacity_ - used_ < 65536)
            reserveBytes(capacity_);
        const size_t n = std::fread(data_ + used_, 1, capacity_ - used_, file.get());
        used_ += n;
        if (n == 0)
            break;
    }
    if (std::ferror(file.get())) {
        result.error = errno ? errno : EIO;
        clear();
        return result;
    }
    const size_t total = used_;
    offsets_.reserve(total / 64 + 16);
    lengths_.reserve(total / 64 + 16);
    size_t begin = 0;
    while (begin < total) {
        const auto* feed = static_cast<const char*>(std::memchr(data_ + begin, '\n', total - begin));
        const size_t end = feed ? size_t(feed - data_) : total;
        size_t length = end - begin;
        if (feed && length > 0 && data_[end - 1] == '\r')
            --length;
        offsets_.push_back(begin);
        lengths_.push_back(static_cast<uint32_t>(std::min<size_t>(length, UINT32_MAX)));
        if (length > kShownLength)
            ++result.cutLines;
        begin = end + 1;
    }
    match_.assign(offsets_.size(), 0);
    result.ok = true;
    result.lines = size();
    return result;
}

long long LogRows::saveMatching(const std::string& path, const LogFilter& filter)
{
    if (path.empty() || empty())
        return 0;
    std::vector<size_t> matching;
    for (size_t i = 0; i < size(); ++i)
        if (matches(i, filter))
            matching.push_back(i);
    if (matching.empty())
        return 0;
    std::unique_ptr<FILE, FileCloser> file(std::fopen(path.c_str(), "wb"));
    if (!file)
        return -1;
    for (size_t i : matching) {
        const std::string_view text = row(i);
        std::fwrite(text.data(), 1, text.size(), file.get());
        std::fwrite("\r\n", 1, 2, file.get());
    }
    if (std::fflush(file.get()) != 0 || std::ferror(file.get()))
        return -1;
    return static_cast<long long>(matching.size());
}

} // namespace quillon
