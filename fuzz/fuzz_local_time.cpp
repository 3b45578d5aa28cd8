// The box clock "YYYYMMDDhhmmss" and a time zone text.
#include "FuzzInput.h"

#include <ConfigInfo.h>
#include <Messages.h>
#include <untSock.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace quillon;
    const std::string value = fuzz::text(data, size);
    ResSTBInfo info;
    for (int offset : {-12, 0, 8, 14})
        parseLocalTime(value, info, offset);
    parseUtcOffset(value.c_str());
    return 0;
}
