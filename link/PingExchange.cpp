#include "ExchangeText.h"
#include "Frame.h"
#include "StbLink.h"
#include "ToolOutput.h"
#include "untSock.h"

#include <Logger.h>

#include <cstdio>

namespace quillon
{

void pingExchange(StbLink& link, const ReqPing& request)
{
    Logger& log = Logger::instance();
    ResPing response;

    char text[kFrameTextArea];
    if (request.duration < 1)
        std::snprintf(text, sizeof text, "connect^ping^null^%s", request.target.c_str());
    else
        std::snprintf(text, sizeof text, "connect^ping^/length:%d^%s", request.duration, request.target.c_str());
    // The box expects the text's terminating zero byte with this frame.
    const std::string frame = buildFrameText(link.authField.data(), text) + '\0';
    log.debug("send data:%s", text);
    log.debug("send size:%d", static_cast<int>(frame.size()));
    if (link.sendEncrypted(frame) < 0) {
        setLinkFailure(link, 352, response);
        link.queues.pushResponse(response);
        return;
    }

    const ToolOutputFormat format{"200connect^ping", "200connect^ping^", OutputChannel::Ping, link.timeouts.reply,
                                  true};
    receiveToolOutput(link, format, response, response.finished);
    link.queues.pushResponse(response);
}

} // namespace quillon
