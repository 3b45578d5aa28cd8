#include "Pattern.h"

#include <Logger.h>

namespace quillon
{

pcre2_code* compilePattern(const char* pattern)
{
    int errorCode = 0;
    PCRE2_SIZE errorOffset = 0;
    pcre2_code* code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern), PCRE2_ZERO_TERMINATED, 0, &errorCode,
                                     &errorOffset, nullptr);
    if (!code) {
        PCRE2_UCHAR message[256];
        pcre2_get_error_message(errorCode, message, sizeof message);
        Logger::instance().error("compile error at:%d, %s", static_cast<int>(errorOffset),
                                 reinterpret_cast<const char*>(message));
    }
    return code;
}

} // namespace quillon
