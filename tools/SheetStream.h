#pragma once

#include "WorkbookReader.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace quillon
{

// How the workbook reader process hands a sheet back: the magic "QWB1", then records of a tag
// byte, a 32-bit little-endian length and the payload:
//   'S' rows, columns (two 32-bit numbers): the used range
//   'C' row, column (counted from 0), then the cell's text
//   'E' the reason the workbook could not be read (last record)
//   'K' the sheet is complete (last record)
constexpr std::string_view kSheetStreamMagic = "QWB1";
constexpr uint32_t kMaxSheetRecordBytes = 1u << 20; // a longer cell is cut to fit one record

// The records for a sheet that was read, or for a failure.
std::string encodeSheet(const Sheet& sheet);
std::string encodeSheetFailure(std::string_view reason);

// Takes the stream in pieces as they arrive, trusting none of it: a record that is too long,
// of an unknown kind, or outside the sheet's limits, and anything after the last record, are
// refused.
class SheetStreamDecoder
{
public:
    explicit SheetStreamDecoder(Sheet& sheet) : sheet_(sheet) {}

    // False once the stream is malformed; `error()` says how.
    bool feed(std::string_view bytes);

    bool failed() const { return !error_.empty(); }
    const std::string& error() const { return error_; }
    bool complete() const { return done_; }           // 'K' arrived
    bool refused() const { return !reason_.empty(); } // 'E' arrived
    const std::string& reason() const { return reason_; }
    bool finished() const { return done_ || refused(); }

private:
    bool record(char tag, std::string_view payload);
    bool fail(std::string text);

    Sheet& sheet_;
    std::string pending_;
    bool magicSeen_ = false;
    bool done_ = false;
    std::string reason_;
    std::string error_;
};

} // namespace quillon
