// An .xls workbook through readWorkbook: the parsing library runs in the reader process, so a
// fault of its own ends as an error here; this side must never fail.
#include "FuzzInput.h"

#include <WorkbookReader.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace quillon;
    const fuzz::TempFile file(data, size, ".xls");
    Sheet sheet(11);
    std::string error;
    WorkbookReaderLimits limits;
    limits.wallTime = std::chrono::milliseconds(5000);
    limits.cpuSeconds = 4;
    if (!readWorkbook(file.path(), sheet, error, limits) &&
        (sheet.rows() != 0 || error.rfind("the workbook cannot be read: ", 0) != 0))
        __builtin_trap();
    return 0;
}
