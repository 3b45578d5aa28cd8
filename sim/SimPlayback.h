#pragma once

#include <mutex>
#include <string>

namespace quillon::sim
{

class SimSession;
struct FrameWords;

// What the simulated box plays. It belongs to the box, not to one connection: a channel keeps
// playing when the tool disconnects.
struct SimPlayState {
    std::string source; // "Channel:N" or the URL; empty when nothing plays
    std::string trick;  // the last trick-play call while playing ("pause", "fast_forward", ...)
};

class SimPlayback
{
public:
    SimPlayState state() const;
    // Frames of playback and trick play; true when handled.
    bool handleFrame(SimSession& session, const FrameWords& words);

private:
    mutable std::mutex mutex_;
    SimPlayState state_;
};

} // namespace quillon::sim
