#include "SheetStream.h"

namespace quillon
{

namespace
{

void putNumber(std::string& out, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        out += static_cast<char>((value >> (8 * i)) & 0xff);
}

uint32_t getNumber(std::string_view bytes, size_t at)
{
    uint32_t value = 0;
    for (int i = 0; i < 4; ++i)
        value |= static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + static_cast<size_t>(i)])) << (8 * i);
    return value;
}

void putRecord(std::string& out, char tag, std::string_view payload)
{
    out += tag;
    putNumber(out, static_cast<uint32_t>(payload.size()));
    out += payload;
}

} // namespace

std::string encodeSheet(const Sheet& sheet)
{
    std::string out(kSheetStreamMagic);
    std::string range;
    putNumber(range, static_cast<uint32_t>(sheet.rows()));
    putNumber(range, static_cast<uint32_t>(sheet.columns()));
    putRecord(out, 'S', range);
    const int columns = std::min(sheet.columns(), sheet.keptColumns());
    for (int row = 1; row <= sheet.rows(); ++row) {
        for (int column = 1; column <= columns; ++column) {
            const std::string& text = sheet.cell(row, column);
            if (text.empty())
                continue;
            std::string cell;
            putNumber(cell, static_cast<uint32_t>(row - 1));
            putNumber(cell, static_cast<uint32_t>(column - 1));
            cell += text.substr(0, kMaxSheetRecordBytes - 8);
            putRecord(out, 'C', cell);
        }
    }
    putRecord(out, 'K', {});
    return out;
}

std::string encodeSheetFailure(std::string_view reason)
{
    std::string out(kSheetStreamMagic);
    putRecord(out, 'E', reason.substr(0, 4096));
    return out;
}

bool SheetStreamDecoder::fail(std::string text)
{
    if (error_.empty())
        error_ = std::move(text);
    return false;
}

bool SheetStreamDecoder::feed(std::string_view bytes)
{
    if (failed())
        return false;
    pending_.append(bytes);
    size_t at = 0;
    if (!magicSeen_) {
        if (pending_.size() < kSheetStreamMagic.size())
            return true;
        if (std::string_view(pending_).substr(0, kSheetStreamMagic.size()) != kSheetStreamMagic)
            return fail("the reader's answer is not a sheet");
        magicSeen_ = true;
        at = kSheetStreamMagic.size();
    }
    while (pending_.size() - at >= 5) {
        if (finished())
            return fail("the reader sent data after the end of the sheet");
        const char tag = pending_[at];
        const uint32_t length = getNumber(pending_, at + 1);
        if (length > kMaxSheetRecordBytes)
            return fail("the reader sent an oversized record");
        if (pending_.size() - at - 5 < length)
            break;
        if (!record(tag, std::string_view(pending_).substr(at + 5, length)))
            return false;
        at += 5 + length;
    }
    if (finished() && at < pending_.size())
        return fail("the reader sent data after the end of the sheet");
    pending_.erase(0, at);
    return true;
}

bool SheetStreamDecoder::record(char tag, std::string_view payload)
{
    switch (tag) {
    case 'S': {
        if (payload.size() != 8)
            return fail("the reader sent a malformed range");
        const uint32_t rows = getNumber(payload, 0);
        const uint32_t columns = getNumber(payload, 4);
        if (rows > static_cast<uint32_t>(kMaxSheetRows) || columns > static_cast<uint32_t>(kMaxSheetColumns))
            return fail("the reader sent a range beyond the sheet's limits");
        sheet_.extendTo(static_cast<int>(rows), static_cast<int>(columns));
        return true;
    }
    case 'C': {
        if (payload.size() <= 8)
            return fail("the reader sent a malformed cell");
        const uint32_t row = getNumber(payload, 0);
        const uint32_t column = getNumber(payload, 4);
        if (row >= static_cast<uint32_t>(kMaxSheetRows) || column >= static_cast<uint32_t>(kMaxSheetColumns))
            return fail("the reader sent a cell beyond the sheet's limits");
        sheet_.set(static_cast<int32_t>(row), static_cast<int32_t>(column), std::string(payload.substr(8)));
        return true;
    }
    case 'E':
        reason_ = payload.empty() ? std::string("no reason given") : std::string(payload);
        return true;
    case 'K':
        if (!payload.empty())
            return fail("the reader sent a malformed end");
        done_ = true;
        return true;
    default:
        return fail("the reader sent an unknown record");
    }
}

} // namespace quillon
