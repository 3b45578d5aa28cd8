#include "ExchangeText.h"

#include "StbLink.h"

#include <Logger.h>

namespace quillon {

void setLinkFailure(StbLink& link, int stringId, Response& response)
{
    link.errorText = linkErrorText(stringId, StbLink::lastError);
    Logger::instance().error("%s", link.errorText.c_str());
    response.setResult(STA_ERROR, link.errorText, kCodeDisconnect);
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
