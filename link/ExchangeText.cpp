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

} // namespace quillon
