#include "WorkbookReader.h"

namespace quillon
{

// Comma-separated UTF-8 text: fields in double quotes may hold commas, line ends and doubled
// quotes; a row ends with LF or CR LF. Cells are taken as typed.
bool readCsvWorkbook(std::string_view content, Sheet& sheet, std::string& error)
{
    if (content.substr(0, 3) == "\xEF\xBB\xBF")
        content.remove_prefix(3);
    int32_t row = 0;
    int32_t col = 0;
    std::string field;
    size_t i = 0;
    const size_t n = content.size();
    auto endField = [&]() -> bool {
        if (col >= kMaxSheetColumns) {
            error = "a row has more columns than a sheet can hold";
            return false;
        }
        sheet.set(row, col++, std::move(field));
        field.clear();
        return true;
    };
    auto endRow = [&]() -> bool {
        if (!endField())
            return false;
        col = 0;
        if (++row >= kMaxSheetRows && i < n) {
            error = "the file has more rows than a sheet can hold";
            return false;
        }
        return true;
    };
    while (i < n) {
        const char c = content[i];
        if (c == '"' && field.empty()) {
            size_t close = i + 1;
            for (;;) {
                close = content.find('"', close);
                if (close == std::string_view::npos) {
                    error = "a quoted field is not closed";
                    return false;
                }
                if (close + 1 < n && content[close + 1] == '"') {
                    field.append(content.substr(i + 1, close + 1 - (i + 1)));
                    i = close + 1;
                    close += 2;
                    continue;
                }
                break;
            }
            field.append(content.substr(i + 1, close - (i + 1)));
            i = close + 1;
            // Text after the closing quote belongs to the field, as spreadsheets read it.
            continue;
        }
        if (c == ',') {
            ++i;
            if (!endField())
                return false;
        } else if (c == '\n' || (c == '\r' && i + 1 < n && content[i + 1] == '\n')) {
            i += c == '\r' ? 2 : 1;
            if (!endRow())
                return false;
        } else {
            field += c;
            ++i;
        }
    }
    if (!field.empty() || col > 0)
        return endField();
    return true;
}

} // namespace quillon
