// A received buffer cut into slices at its zero bytes; every slice must lie inside the buffer.
#include "FuzzInput.h"

#include <Frame.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace quillon;
    if (size > 1 << 16)
        return 0;
    const std::string buffer = fuzz::text(data, size);
    DataEntityList slices;
    splitData(buffer.data(), static_cast<int>(buffer.size()), '\0', slices);
    size_t total = 0;
    for (const DataEntity& slice : slices) {
        if (slice.data < buffer.data() || slice.length < 0 ||
            slice.data + slice.length > buffer.data() + buffer.size())
            __builtin_trap();
        total += static_cast<size_t>(slice.length);
    }
    if (total != buffer.size())
        __builtin_trap();
    return 0;
}
