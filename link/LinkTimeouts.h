#pragma once

#include <chrono>

namespace quillon {

// Time limits of the link. The defaults are the box's; tests shorten them.
struct LinkTimeouts {
    std::chrono::milliseconds reply{15000};     // one reply, a bulk segment, a ping line
    std::chrono::milliseconds longReply{30000}; // trace route lines, upgrade reports
    std::chrono::milliseconds watchdogPoll{1000};
    // Longest wait for the box to take the next bytes of a firmware image.
    std::chrono::milliseconds imageWrite{15000};
    // An upgrade whose link stays broken gives up after this many failed receives in a row.
    int upgradeReceiveFailures = 3;
};

} // namespace quillon
