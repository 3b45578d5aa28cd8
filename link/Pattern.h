#pragma once

#ifndef PCRE2_CODE_UNIT_WIDTH
#define PCRE2_CODE_UNIT_WIDTH 8
#endif
#include <pcre2.h>

namespace quillon
{

// `pattern` compiled with no options; null on failure, which is logged as
// "compile error at:%d, %s" (the offset and the library's message).
pcre2_code* compilePattern(const char* pattern);

} // namespace quillon
