#pragma once

#include <chrono>
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

    // Widens the used range to at least `rows` by `columns` without storing a value.
    void extendTo(int rows, int columns);

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

// What the reader process may cost. Workbooks arrive from anywhere, and the libraries that read
// them have faults of their own, so the reading runs in a process of its own within these limits.
struct WorkbookReaderLimits {
    std::uint64_t memoryBytes = 2ull << 30;       // address space of the reader process
    int cpuSeconds = 30;                          // its processor time
    std::chrono::milliseconds wallTime{60000};    // the wait for its answer
    std::uint64_t outputBytes = 512ull << 20;     // the size of its answer
};

// Reads the first sheet of `path` into `sheet` in a separate reader process. On failure returns
// false with "the workbook cannot be read: " and the reason in `error` (a damaged file, a crash
// or an exhausted limit of the reader alike) and leaves `sheet` empty; nothing stays open or
// running either way.
bool readWorkbook(const std::string& path, Sheet& sheet, std::string& error, const WorkbookReaderLimits& limits = {});

// The same in this process, without any protection: for the reader process and for fuzzing.
bool readWorkbookInProcess(const std::string& path, Sheet& sheet, std::string& error);

// The reader program: "quillon-workbook-reader" beside the running executable, else the path set
// here, else the one configured at build time. Empty when none exists.
std::string workbookReaderProgram();
void setWorkbookReaderProgram(const std::string& path);

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
