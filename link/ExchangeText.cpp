#include "ExchangeText.h"

#include "StbLink.h"

#include <Logger.h>
#include <StringTable.h>

namespace quillon {

void setLinkFailure(StbLink& link, int stringId, Response& response)
{
    link.errorText = linkErrorText(stringId, StbLink::lastError);
    Logger::instance().error("%s", link.errorText.c_str());
    response.setResult(STA_ERROR, link.errorText, kCodeDisconnect);
}

void setMultiKeyResult(Response& response, int sent, int succeeded, const std::string& failures)
{
    Logger::instance().info("call %d request, success %d.", sent, succeeded);
    if (sent == 0)
        response.setResult(STA_ERROR, loadUiString(486), 0);
    else if (succeeded == 0)
        response.setResult(STA_ERROR, loadUiString(405), 0);
    else if (succeeded == sent)
        response.setResult(STA_OK, failures, 0);
    else
        response.setResult(STA_PART_OK, failures, 0);
}

int sendAndReceive(StbLink& link, const std::string& frame, std::string& reply, Response& response)
{
    if (link.sendEncrypted(frame) < 0) {
        setLinkFailure(link, 352, response);
        return -1;
    }
    const int n = link.receiveDecrypted(reply);
    if (n < 0)
        setLinkFailure(link, 353, response);
    return n;
}

} // namespace quillon
