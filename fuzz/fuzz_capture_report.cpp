// A capture progress message ("200inform^get_pcapfilesize:123") and an upgrade report's status.
#include "FuzzInput.h"

#include <Frame.h>
#include <PcapInputCheck.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace quillon;
    const std::string message = fuzz::text(data, size);
    std::string head, word;
    int number = 0;
    parseProgressMessage(message, head, word, number);
    if (head.size() > kPcapFieldMax || word.size() > kPcapFieldMax)
        __builtin_trap();
    parseStatusCode(message, nullptr);
    return 0;
}
