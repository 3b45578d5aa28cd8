// An .xlsx package read by the own reader, in this process (zip directory, expat, cells).
#include "FuzzInput.h"

#include <WorkbookReader.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace quillon;
    Sheet sheet(11);
    std::string error;
    XlsxLimits limits;
    limits.unpackedBytes = 16u << 20;
    if (!readXlsxWorkbook(fuzz::text(data, size), sheet, error, limits) && (sheet.rows() != 0 || error.empty()))
        __builtin_trap();
    return 0;
}
