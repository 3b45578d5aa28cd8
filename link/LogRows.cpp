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

#include <sys/mman.h>
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
    // A large buffer (a loaded file) in huge pages where the system offers them: a tenth of
    // the page faults, which otherwise cost more than reading the file.
    constexpr size_t kHuge = size_t(2) << 20;
    if (capacity_ >= 4 * kHuge) {
        const auto begin = (reinterpret_cast<uintptr_t>(data_) + kHuge - 1) & ~(kHuge - 1);
        const auto end = (reinterpret_cast<uintptr_t>(data_) + capacity_) & ~(kHuge - 1);
        if (end > begin)
            ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
    }
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
        known = !filter.empty() && filter.matches(fromBox(row(index))) ? 2 : 1;
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
    struct stat info {
    };
    const size_t expected = ::fstat(fileno(file.get()), &info) == 0 && info.st_size > 0 ? size_t(info.st_size) : 0;
    // The whole file in one buffer, read in blocks; each block's line ends are found while it
    // is still in the cache. A file that grows meanwhile is read to its end all the same.
    constexpr size_t kBlock = size_t(1) << 20;
    reserveBytes(expected + kBlock);
    offsets_.reserve(expected / 96 + 16);
    lengths_.reserve(expected / 96 + 16);
    size_t begin = 0; // of the line not yet ended
    for (;;) {
        if (capacity_ - used_ < kBlock)
            reserveBytes(kBlock);
        const size_t n = std::fread(data_ + used_, 1, kBlock, file.get());
        if (n == 0)
            break;
        size_t at = used_;
        used_ += n;
        while (const auto* feed = static_cast<const char*>(std::memchr(data_ + at, '\n', used_ - at))) {
            const size_t end = size_t(feed - data_);
            addLine(begin, end, true, result);
            begin = at = end + 1;
        }
    }
    if (std::ferror(file.get())) {
        result.error = errno ? errno : EIO;
        clear();
        return result;
    }
    if (begin < used_)
        addLine(begin, used_, false, result);
    match_.assign(offsets_.size(), 0);
    result.ok = true;
    result.lines = size();
    return result;
}

void LogRows::addLine(size_t begin, size_t end, bool fed, LoadResult& result)
{
    size_t length = end - begin;
    if (fed && length > 0 && data_[end - 1] == '\r')
        --length;
    offsets_.push_back(begin);
    lengths_.push_back(static_cast<uint32_t>(std::min<size_t>(length, UINT32_MAX)));
    if (length > kShownLength)
        ++result.cutLines;
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
