#include "ExchangeText.h"
#include "Frame.h"
#include "StbLink.h"
#include "untSock.h"

#include <Logger.h>
#include <StringTable.h>

namespace quillon {

void extCommandExchange(StbLink& link, const ReqExtCommand& request)
{
    ResExtCommand response(request.function, static_cast<uint8_t>(request.type));
    response.call = request.call;
    response.parameter = request.parameter;
    response.data = request.data;

    std::string frame = buildFrameText(link.authField.data(), request.command);
    if (!request.data.empty())
        frame += '\0';
    std::string reply;
    const int n = sendAndReceive(link, frame, reply, response);
    if (n == 0) {
        response.setResult(STA_ERROR, loadUiString(315), 0);
    } else if (n > 0) { // a failed link is already set in the response
        const int status = parseStatusCode(reply, functionName(request.function).c_str());
        if (status == 200) {
            response.setResult(STA_OK, "", 0);
            if (request.function == FuncRead)
                response.body = valueAfterLastCaret(reply);
        } else {
            response.setResult(STA_ERROR, "0", static_cast<int16_t>(status));
        }
    }
    link.queues.pushResponse(response);
}

} // namespace quillon
