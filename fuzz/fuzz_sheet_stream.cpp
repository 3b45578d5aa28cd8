// The reader process's answer, as the tools parse it: cut into two pieces at the first byte.
#include "FuzzInput.h"

#include <SheetStream.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace quillon;
    const std::string stream = fuzz::text(data, size);
    const size_t cut = size ? data[0] % (size + 1) : 0;
    Sheet sheet(11);
    SheetStreamDecoder decoder(sheet);
    if (decoder.feed(std::string_view(stream).substr(0, cut)))
        decoder.feed(std::string_view(stream).substr(cut));
    if (sheet.rows() > kMaxSheetRows || sheet.columns() > kMaxSheetColumns)
        __builtin_trap();
    return 0;
}
