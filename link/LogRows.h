#pragma once

#include "LogFilter.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quillon
{

// The rows of the log viewer, one per datagram or per file line, as the bytes arrived (the
// box's encoding; zero bytes of a datagram already turned into line feeds). All texts share
// one buffer, so a loaded file costs little more than its own size. Each row's filter match
// is computed once and kept until the filter changes.
class LogRows
{
public:
    // While receiving, a viewer holding more than this many rows is emptied before the next.
    static constexpr size_t kLiveRowLimit = 50000;
    // A file line longer than this is shown cut (its whole text is kept for filtering and saving).
    static constexpr size_t kShownLength = 2047;

    LogRows() = default;
    ~LogRows();
    LogRows(const LogRows&) = delete;
    LogRows& operator=(const LogRows&) = delete;

    size_t size() const { return lengths_.size(); }
    bool empty() const { return lengths_.empty(); }
    std::string_view row(size_t index) const { return {data_ + offsets_[index], lengths_[index]}; }
    bool isCut(size_t index) const { return lengths_[index] > kShownLength; }

    void clear();
    void append(std::string_view text);
    // As append, with the match already computed against filter `generation`.
    void appendMatched(std::string_view text, bool matched, uint64_t generation);
    // The receiving rule: when more than kLiveRowLimit rows are held, they are dropped first.
    // True when that happened.
    bool appendLive(std::string_view text, bool matched = false, uint64_t generation = UINT64_MAX);

    // Whether row `index` matches `filter`; computed on first use after each setFilterGeneration.
    bool matches(size_t index, const LogFilter& filter);
    // A new filter: every kept match is forgotten, except rows matched against this generation.
    void setFilterGeneration(uint64_t generation);
    uint64_t filterGeneration() const { return generation_; }

    struct LoadResult {
        bool ok = false;
        int error = 0; // errno of the failed open or read
        size_t lines = 0;
        size_t cutLines = 0; // lines longer than kShownLength
    };
    // Replaces the rows with the lines of a file: a line feed or CR LF ends a line; a last line
    // without one is a row too. No line is dropped, however long.
    LoadResult loadFile(const std::string& path);

    // Writes every matching row followed by CR LF to `path`, replacing the file; the file is
    // not touched when nothing matches. The count of rows written, -1 when the file could not
    // be written.
    long long saveMatching(const std::string& path, const LogFilter& filter);

private:
    void reserveBytes(size_t more);
    void addLine(size_t begin, size_t end, bool fed, LoadResult& result);

    char* data_ = nullptr;
    size_t used_ = 0;
    size_t capacity_ = 0;
    std::vector<uint64_t> offsets_;
    std::vector<uint32_t> lengths_;
    // Per row: 0 not known, 1 no match, 2 match, for the current generation.
    std::vector<uint8_t> match_;
    uint64_t generation_ = 0;
};

} // namespace quillon
