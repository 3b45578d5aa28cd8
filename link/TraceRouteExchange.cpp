#include "Frame.h"
#include "StbLink.h"
#include "ToolOutput.h"
#include "untSock.h"

#include <Logger.h>

namespace quillon
{

void traceRouteExchange(StbLink& link, const ReqTraceRoute& request)
{
    Logger& log = Logger::instance();
    ResTraceRoute response;

    const std::string frame =
        buildFrame(link.authField.data(), "connect", "traceroute", "null", request.target.c_str()) + '\0';
    log.debug("send size:%d", static_cast<int>(frame.size()));
    if (link.sendEncrypted(frame) < 0) {
        char message[64];
        std::snprintf(message, sizeof message, "route send() failed: %d", StbLink::lastError);
        link.errorText = message;
        log.error("%s", message);
        response.setResult(STA_ERROR, message, kCodeDisconnect);
        link.queues.pushResponse(response);
        return;
    }

    // Hops that do not answer keep the box quiet for a while: the wait here is the long one.
    const ToolOutputFormat format{"200connect^traceroute", "200connect^traceroute^", OutputChannel::TraceRoute,
                                  link.timeouts.longReply, false};
    receiveToolOutput(link, format, response, response.finished);
    link.queues.pushResponse(response);
}

} // namespace quillon
