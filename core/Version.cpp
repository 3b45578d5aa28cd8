#include "Version.h"

#ifndef QUILLON_VERSION
#error "QUILLON_VERSION is set by core/CMakeLists.txt"
#endif

namespace quillon
{

const char* versionText()
{
    return QUILLON_VERSION;
}

} // namespace quillon
