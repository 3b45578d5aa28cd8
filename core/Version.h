#pragma once

namespace quillon
{

// The product version, e.g. "3.1" (the project version of the build).
const char* versionText();

} // namespace quillon
