// The channel list text of a box, and single entries with each pattern.
#include "FuzzInput.h"

#include <ChannelEntry.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace quillon;
    const std::string list = fuzz::text(data, size);
    parseChannelList(list);
    ChannelEntry entry;
    parseChannelEntry(kQuotedChannelPattern, list, entry);
    parseChannelEntry(kPlainChannelPattern, list, entry);
    return 0;
}
