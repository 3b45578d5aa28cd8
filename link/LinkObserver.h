#pragma once

#include <cstdint>
#include <string>

namespace quillon {

// Where the output of a running ping, trace route or packet capture goes.
enum class OutputChannel { Ping, TraceRoute, Pcap };

// How the link threads reach whoever shows them (the window or the command line). The link does
// not know about any toolkit: the window implements this with calls queued to its own thread.
class LinkObserver {
public:
    virtual ~LinkObserver() = default;
    // Called on the worker or watchdog thread when the link goes up (1) or down (0); returns once
    // the change has been shown, so the caller continues with a window that already knows.
    virtual void linkStateChanged(uint8_t state) = 0;
    // One output line of a running diagnostic, on the worker thread, in arrival order.
    virtual void outputLine(OutputChannel channel, const std::string& line) = 0;
};

} // namespace quillon
