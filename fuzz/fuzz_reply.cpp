// A reply from the box: its status, its value behind "function^call^", its last field.
#include "FuzzInput.h"

#include <Frame.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace quillon;
    const std::string reply = fuzz::text(data, size);
    parseStatusCode(reply, nullptr);
    parseStatusCode(reply, "read");
    std::string value;
    getReturnValue(reply, value, 1024, "read", "ChipId");
    getReturnValue(reply, value, 1, "write", "");
    if (value.size() > 1023)
        __builtin_trap();
    valueAfterLastCaret(reply);
    return 0;
}
