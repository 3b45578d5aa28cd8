// An .xls workbook through readWorkbook: the parsing library runs in the reader process, so a
// fault of its own ends as an error here.
#include "FuzzInput.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    quillon::fuzz::readThroughReader(data, size, ".xls");
    return 0;
}
