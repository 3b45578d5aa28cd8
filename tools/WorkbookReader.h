#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quillon
{

// The first sheet of a workbook, each cell as the text a spreadsheet shows for it. The used range
// runs from A1 to the last row and column holding a value; only the first `keptColumns` columns
// are stored, so a hostile sheet as wide as the format allows costs no memory.
class Sheet
{
public:
    explicit Sheet(int keptColumns = 256) : keptColumns_(keptColumns) {}

    int rows() const { return rows_; }
    int columns() const { return columns_; }
    int keptColumns() const { return keptColumns_; }

    // Text of cell (row, column), both counted from 1; empty outside the sheet.
    const std::string& cell(int row, int column) const;

    // Stores a value at (row, column), counted from 0 as the readers see them. An empty value
    // leaves the cell and the used range alone.
    void set(int32_t row0, int32_t column0, std::string value);

    void clear();

private:
    int keptColumns_;
    int rows_ = 0;
    int columns_ = 0;
    std::vector<std::vector<std::string>> cells_;
};

enum class WorkbookFormat { Unknown, Xls, Xlsx, Ods, Csv };

// Limits that keep a hostile file from exhausting memory; the largest sheet a spreadsheet
// application writes fits within them.
constexpr int32_t kMaxSheetRows = 1048576;
constexpr int32_t kMaxSheetColumns = 16384;
constexpr std::uintmax_t kMaxWorkbookBytes = 256u * 1024 * 1024;

// Format by content (compound document, zip package) and, for plain text, by extension.
WorkbookFormat detectWorkbookFormat(const std::string& path, std::string_view head);

// Reads the first sheet of `path` into `sheet`. On failure returns false with the reason in
// `error` and leaves `sheet` empty; nothing stays open either way.
bool readWorkbook(const std::string& path, Sheet& sheet, std::string& error);

// One reader per format; same contract as readWorkbook.
bool readXlsWorkbook(const std::string& path, Sheet& sheet, std::string& error);
bool readOrcusWorkbook(const std::string& content, WorkbookFormat format, Sheet& sheet, std::string& error);
bool readCsvWorkbook(std::string_view content, Sheet& sheet, std::string& error);

// What an .xlsx package may cost before it is refused as hostile; the defaults hold any sheet
// the tools are meant for with room to spare.
struct XlsxLimits {
    std::uint64_t unpackedBytes = 256u * 1024 * 1024; // all parts read, as the zip directory declares them
    std::uint64_t cells = 4'000'000;                  // cells with a value, and shared strings
    std::size_t textBytes = 4 * 32767;                // one cell's text: 32767 characters of UTF-8
};
bool readXlsxWorkbook(const std::string& content, Sheet& sheet, std::string& error, const XlsxLimits& limits = {});

// A number as a spreadsheet shows it in a cell of general format: integers without ".0",
// others with up to 15 significant digits.
std::string formatCellNumber(double value);
std::string formatCellDateTime(int year, int month, int day, int hour, int minute, double second);

// Trims bytes up to and including the blank from both ends.
std::string trimmed(std::string_view text);

} // namespace quillon
