#pragma once

#include "SimSession.h"

#include <atomic>
#include <chrono>
#include <string>

namespace quillon::sim
{

// Sleeps `pause` unless `stop` rises first; false when it did.
bool pauseUnlessStopped(std::chrono::milliseconds pause, const std::atomic<bool>& stop);

// The upgrade side of the box: length, start, the image connection and the reports.
bool handleUpgradeFrame(SimSession& session, const FrameWords& words);

// The header the simulated box expects at the start of an image: the magic "QBIMG1", then the
// image's version text padded with zero bytes to 32 bytes in all. The box refuses an image
// without the magic (303) and, unless forced, one of its own version (300).
constexpr size_t kSimImageHeaderSize = 32;
std::string simImageHeader(const std::string& version);

} // namespace quillon::sim
