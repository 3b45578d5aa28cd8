// A configuration file whose site is shown.
#include "FuzzInput.h"

#include <ZoneInfo.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace quillon;
    const fuzz::TempFile file(data, size, ".cfg");
    readZoneInfo(file.path());
    return 0;
}
