#pragma once

// The exchanges the worker runs, one per kind of request. Each pushes its own responses to the
// link's response queue and never throws for a link failure.

#include "Messages.h"
#include "Session.h"

#include <string>

namespace quillon {

class StbLink;

void stbInfoExchange(StbLink& link, const ReqSTBInfo& request);
void configInfoExchange(StbLink& link, const ReqConfigInfo& request);
void logParamsExchange(StbLink& link, const ReqLogParams& request);
void extCommandExchange(StbLink& link, const ReqExtCommand& request);
void exportParamsExchange(StbLink& link, const ReqExportParams& request);
void exportChannelListExchange(StbLink& link, const ReqExportChannelList& request);
void pingExchange(StbLink& link, const ReqPing& request);
void traceRouteExchange(StbLink& link, const ReqTraceRoute& request);
void pcapExchange(StbLink& link, const ReqPcap& request);
// Announces the image, starts the file sender on the port the box names, then follows the box's
// reports. Ends with STA_ERROR when the file cannot be read, the box refuses, or the link breaks.
void upgradeExchange(StbLink& link, const ReqUpgrade& request);

// Box local time "YYYYMMDDhhmmss" into localTime and localTimeUnset, against the PC's offset
// from UTC in whole hours (east positive).
void parseLocalTime(const std::string& value, ResSTBInfo& info);
void parseLocalTime(const std::string& value, ResSTBInfo& info, int pcUtcOffsetHours);
int pcUtcOffsetHours();

// Whether a slice of a bulk stream is a progress report, and its percentage.
bool parseProgress(const char* slice, int length, const char* prefix, const char* guard, int& percent);

} // namespace quillon
