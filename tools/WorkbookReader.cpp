#include "WorkbookReader.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace quillon
{

namespace
{

const std::string kEmpty;

bool startsWith(std::string_view text, std::string_view prefix)
{
    return text.substr(0, prefix.size()) == prefix;
}

std::string lowerExtension(const std::string& path)
{
    std::string ext = std::filesystem::path(path).extension().string();
    for (char& c : ext)
        c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return ext;
}

// An OpenDocument package opens with its stored "mimetype" entry, whatever the file is called.
bool isOpenDocument(std::string_view zip)
{
    return zip.size() >= 38 && zip.substr(30, 8) == "mimetype";
}

} // namespace

const std::string& Sheet::cell(int row, int column) const
{
    if (row < 1 || column < 1 || row > static_cast<int>(cells_.size()))
        return kEmpty;
    const auto& line = cells_[static_cast<size_t>(row - 1)];
    return column <= static_cast<int>(line.size()) ? line[static_cast<size_t>(column - 1)] : kEmpty;
}

void Sheet::set(int32_t row0, int32_t column0, std::string value)
{
    if (value.empty() || row0 < 0 || column0 < 0 || row0 >= kMaxSheetRows || column0 >= kMaxSheetColumns)
        return;
    rows_ = std::max(rows_, row0 + 1);
    columns_ = std::max(columns_, column0 + 1);
    if (column0 >= keptColumns_)
        return;
    if (cells_.size() <= static_cast<size_t>(row0))
        cells_.resize(static_cast<size_t>(row0) + 1);
    auto& line = cells_[static_cast<size_t>(row0)];
    if (line.size() <= static_cast<size_t>(column0))
        line.resize(static_cast<size_t>(column0) + 1);
    line[static_cast<size_t>(column0)] = std::move(value);
}

void Sheet::extendTo(int rows, int columns)
{
    rows_ = std::max(rows_, std::clamp(rows, 0, static_cast<int>(kMaxSheetRows)));
    columns_ = std::max(columns_, std::clamp(columns, 0, static_cast<int>(kMaxSheetColumns)));
}

void Sheet::clear()
{
    rows_ = columns_ = 0;
    cells_.clear();
}

std::string trimmed(std::string_view text)
{
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && static_cast<unsigned char>(text[begin]) <= ' ')
        ++begin;
    while (end > begin && static_cast<unsigned char>(text[end - 1]) <= ' ')
        --end;
    return std::string(text.substr(begin, end - begin));
}

std::string formatCellNumber(double value)
{
    if (std::isnan(value) || std::isinf(value))
        return "#NUM!";
    char text[64];
    if (value == std::floor(value) && std::fabs(value) < 1e15)
        std::snprintf(text, sizeof text, "%.0f", value == 0 ? 0.0 : value); // no "-0"
    else
        std::snprintf(text, sizeof text, "%.15g", value);
    return text;
}

std::string formatCellDateTime(int year, int month, int day, int hour, int minute, double second)
{
    char text[64];
    const int whole = static_cast<int>(second);
    if (hour == 0 && minute == 0 && whole == 0)
        std::snprintf(text, sizeof text, "%04d-%02d-%02d", year, month, day);
    else
        std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", year, month, day, hour, minute, whole);
    return text;
}

WorkbookFormat detectWorkbookFormat(const std::string& path, std::string_view head)
{
    if (startsWith(head, std::string_view("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8)))
        return WorkbookFormat::Xls;
    if (startsWith(head, "PK\x03\x04")) {
        // Both packages are zip files; the extension only breaks the tie, the reader checks the content.
        return lowerExtension(path) == ".ods" ? WorkbookFormat::Ods : WorkbookFormat::Xlsx;
    }
    const std::string ext = lowerExtension(path);
    if (ext == ".csv" || ext == ".txt")
        return WorkbookFormat::Csv;
    return WorkbookFormat::Unknown;
}

bool readWorkbookInProcess(const std::string& path, Sheet& sheet, std::string& error)
{
    sheet.clear();
    std::error_code ec;
    const auto size = std::filesystem::file_size(path, ec);
    if (ec) {
        error = "cannot read the file: " + ec.message();
        return false;
    }
    if (size > kMaxWorkbookBytes) {
        error = "the file is larger than a workbook can be";
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot open the file";
        return false;
    }
    char head[8] = {};
    in.read(head, sizeof head);
    const auto format = detectWorkbookFormat(path, std::string_view(head, static_cast<size_t>(in.gcount())));

    bool ok = false;
    if (format == WorkbookFormat::Xls) {
        in.close();
        ok = readXlsWorkbook(path, sheet, error);
    } else if (format == WorkbookFormat::Unknown) {
        error = "not a workbook (.xls, .xlsx, .ods or .csv)";
    } else {
        in.clear();
        in.seekg(0);
        std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (in.bad()) {
            error = "cannot read the file";
        } else {
            in.close();
            if (format == WorkbookFormat::Csv)
                ok = readCsvWorkbook(content, sheet, error);
            else if (format == WorkbookFormat::Xlsx && !isOpenDocument(content))
                ok = readXlsxWorkbook(content, sheet, error);
            else
                ok = readOrcusWorkbook(content, format, sheet, error);
        }
    }
    if (!ok)
        sheet.clear();
    return ok;
}

} // namespace quillon
