// A .csv workbook.
#include "FuzzInput.h"

#include <WorkbookReader.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace quillon;
    Sheet sheet(11);
    std::string error;
    readCsvWorkbook(fuzz::text(data, size), sheet, error);
    return 0;
}
