#pragma once

#include "LinkObserver.h"
#include "Messages.h"

#include <chrono>

namespace quillon
{

class StbLink;

// How a network tool running on the box (ping, trace route) streams its output back.
struct ToolOutputFormat {
    const char* endText;    // a slice that is exactly this ends the run
    const char* linePrefix; // a slice holding this carries one output line behind it
    OutputChannel channel;
    std::chrono::milliseconds wait; // longest silence between two chunks
    bool skipEmptySlices;
};

// Receives the tool's output after its start frame went out, hands each line to the observer in
// arrival order, and sets the final result on `response` (`finished` 1 at the end text). A failed
// receive ends with STA_ERROR and errorId 2; silence longer than the wait with STA_ERROR and the
// "no data" text. The caller pushes the response.
void receiveToolOutput(StbLink& link, const ToolOutputFormat& format, Response& response, int32_t& finished);

} // namespace quillon
