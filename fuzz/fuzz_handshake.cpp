// The box's handshake reply: the sealed session key, opened with the family's public key.
#include "FuzzInput.h"

#include <Session.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace quillon;
    if (size > 4096)
        return 0;
    std::string recovered;
    const int n = rsa_decrypt(kDefaultBoxModulus, data, static_cast<int>(size), recovered);
    if (n >= 0 && recovered.size() > size)
        __builtin_trap();
    return 0;
}
