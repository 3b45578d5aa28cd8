#include "ExchangeText.h"

#include "StbLink.h"

#include <Logger.h>
#include <StringTable.h>

#include <chrono>

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

namespace {

// "200read^CASType^..." read while waiting for read^ChipId: the box answered an earlier frame late.
bool answersAnotherCall(const std::string& reply, const char* function, const char* call)
{
    const std::string echo = std::string(function) + "^";
    if (reply.size() < 3 || reply.compare(3, echo.size(), echo) != 0)
        return false; // no echo to judge by: taken as the answer
    const std::string own = std::string(call) + "^";
    return reply.compare(3 + echo.size(), own.size(), own) != 0;
}

} // namespace

int sendAndReceive(StbLink& link, const std::string& frame, std::string& reply, Response& response,
                   const char* function, const char* call)
{
    if (link.sendEncrypted(frame) < 0) {
        setLinkFailure(link, 352, response);
        return -1;
    }
    const auto deadline = std::chrono::steady_clock::now() + link.timeouts.reply;
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        const int n = left.count() > 0 ? link.receiveDecrypted(reply, left) : 0;
        if (n < 0)
            setLinkFailure(link, 353, response);
        if (n <= 0 || !function || !call || !answersAnotherCall(reply, function, call))
            return n;
        Logger::instance().warn("late reply dropped:%s", reply.substr(0, 64).c_str());
    }
}

std::string upgradeFailureText(const Response& response)
{
    if (response.type != TypeUpgrade || response.status != STA_ERROR || response.errorId != kCodeDisconnect)
        return {};
    const auto* upgrade = dynamic_cast<const ResUpgrade*>(&response);
    return messageText(loadUiString(820).c_str(), upgrade ? upgrade->percent : 0);
}

} // namespace quillon
