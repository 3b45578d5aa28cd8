#include "WorkbookReader.h"

#include <freexl.h>

#include <memory>

namespace quillon
{

namespace
{

struct XlsCloser {
    void operator()(const void* handle) const { freexl_close(handle); }
};

std::string failure(const char* what, int code)
{
    return std::string(what) + " (freexl " + std::to_string(code) + ")";
}

} // namespace

bool readXlsWorkbook(const std::string& path, Sheet& sheet, std::string& error)
{
    const void* raw = nullptr;
    int rc = freexl_open(path.c_str(), &raw);
    std::unique_ptr<const void, XlsCloser> handle(raw); // closed on every way out, even a failed open
    if (rc != FREEXL_OK) {
        error = failure("not a readable .xls workbook", rc);
        return false;
    }
    unsigned int info = 0;
    if (freexl_get_info(raw, FREEXL_BIFF_PASSWORD, &info) == FREEXL_OK && info != FREEXL_BIFF_PLAIN) {
        error = "the workbook is password protected";
        return false;
    }
    if ((rc = freexl_get_info(raw, FREEXL_BIFF_SHEET_COUNT, &info)) != FREEXL_OK || info < 1) {
        error = failure("the workbook has no sheet", rc);
        return false;
    }
    unsigned int rows = 0;
    unsigned short columns = 0;
    if ((rc = freexl_select_active_worksheet(raw, 0)) != FREEXL_OK ||
        (rc = freexl_worksheet_dimensions(raw, &rows, &columns)) != FREEXL_OK) {
        error = failure("cannot read the first sheet", rc);
        return false;
    }
    for (unsigned int r = 0; r < rows && r < static_cast<unsigned int>(kMaxSheetRows); ++r) {
        for (unsigned short c = 0; c < columns; ++c) {
            FreeXL_CellValue value{};
            if ((rc = freexl_get_cell_value(raw, r, c, &value)) != FREEXL_OK) {
                error = failure("cannot read a cell", rc);
                return false;
            }
            switch (value.type) {
            case FREEXL_CELL_INT:
                sheet.set(static_cast<int32_t>(r), c, std::to_string(value.value.int_value));
                break;
            case FREEXL_CELL_DOUBLE:
                sheet.set(static_cast<int32_t>(r), c, formatCellNumber(value.value.double_value));
                break;
            case FREEXL_CELL_TEXT:
            case FREEXL_CELL_SST_TEXT:
            case FREEXL_CELL_DATE:
            case FREEXL_CELL_DATETIME:
            case FREEXL_CELL_TIME:
                if (value.value.text_value)
                    sheet.set(static_cast<int32_t>(r), c, value.value.text_value);
                break;
            default:
                break;
            }
        }
    }
    return true;
}

} // namespace quillon
