#pragma once

#include "Messages.h"

#include <functional>
#include <string>

namespace quillon {

class StbLink;

// How one bulk export reads: the call word, the guard word that tells a data slice from a
// progress report, and how a refused first data slice is reported.
struct BulkExportSpec {
    const char* call;             // "Paralist" or "Channellist"
    const char* guard;            // "=" or "UserChannelID"
    bool refusalAsText320;        // the channel list reports a refused start with text 320
    bool pauseBetweenSegments;    // the channel list waits 10 ms before each further receive
};

// Runs the request and the stream: progress reports are pushed through `pushProgress` (with
// `response` set to STA_PROGRESS and its percent), the data text is gathered into `collected`,
// and `response` holds the final result (not pushed). False when the request could not be sent.
bool runBulkExport(StbLink& link, const BulkExportSpec& spec, Response& response, int& percent,
                   std::string& collected, const std::function<void()>& pushProgress);

// Writes `text` as a Windows program's text mode does: every line feed becomes CR LF.
// False when the file cannot be opened (logged as "open file failed:%s") or written whole.
bool writeTextFile(const std::string& fileName, const std::string& head, const std::string& text);

} // namespace quillon
