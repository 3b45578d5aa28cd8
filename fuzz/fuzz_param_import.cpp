// The parameter-file import over arbitrary bytes: every key is read and checked, and what the
// import yields must be written and read back to the same record.
#include <ParamFile.h>
#include <ParamImport.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const quillon::ParamImport first = quillon::importParamsText(text);
    bool exact = true;
    for (int i = 0; i < quillon::kConfigKeyCount; ++i)
        exact = exact && quillon::paramValueKeptExactly(quillon::encodeConfigValue(i, first.config));
    if (exact) {
        const quillon::ParamImport again = quillon::importParamsText(quillon::fullParamFileText(first.config));
        if (!(again.config == first.config))
            std::abort();
    }
    return 0;
}
