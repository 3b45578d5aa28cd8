// A slice of a bulk stream: progress report or data, for both exports.
#include "FuzzInput.h"

#include <untSock.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace quillon;
    const std::string slice = fuzz::text(data, size);
    int percent = -1;
    for (const char* guard : {"=", "UserChannelID"}) {
        if (parseProgress(slice.data(), static_cast<int>(slice.size()), "200read^", guard, percent) &&
            (percent < 0 || percent > 100))
            __builtin_trap();
    }
    return 0;
}
