#include "SimSession.h"

namespace quillon::sim {

// Ping, trace route, capture and upgrade are not simulated yet: such frames get the box's
// "illegal command" answer from the general handler.
bool handleDiagnosticFrame(SimSession&, const FrameWords&)
{
    return false;
}

} // namespace quillon::sim
