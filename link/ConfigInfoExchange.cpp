#include "ExchangeText.h"
#include "Frame.h"
#include "StbLink.h"
#include "untSock.h"

#include <Logger.h>
#include <StringTable.h>

namespace quillon {

void configInfoExchange(StbLink& link, const ReqConfigInfo& request)
{
    Logger& log = Logger::instance();
    ResConfigInfo response(request.function);
    const std::string function = functionName(request.function);
    const bool write = request.function == FuncWrite;
    const ConfigInfo unset;
    const ConfigInfo& baseline = request.baseline ? static_cast<const ConfigInfo&>(*request.baseline) : unset;

    std::string failures;
    int sent = 0;
    int succeeded = 0;
    for (int k = 0; k < kConfigKeyCount; ++k) {
        const char* key = kConfigKeys[static_cast<size_t>(k)];
        if (!*key)
            continue;
        std::string frame;
        if (write) {
            if (!configKeyIsWritten(k, request, baseline)) {
                copyConfigField(k, baseline, response);
                continue;
            }
            const std::string value = encodeConfigValue(k, request);
            frame = buildFrame(link.authField.data(), "write", key, "null", value.c_str());
        } else {
            frame = buildFrame(link.authField.data(), "read", key, "null");
        }
        ++sent;
        log.debug("send data:%s", frame.c_str() + kAuthFieldSize);
        std::string reply;
        const int n = sendAndReceive(link, frame, reply, response, function.c_str(), key);
        if (n < 0) {
            link.queues.pushResponse(response);
            return;
        }
        if (n == 0) {
            failures += messageText("%s %s failed:%s; ", function.c_str(), key, loadUiString(315).c_str());
            continue;
        }
        const int status = parseStatusCode(reply, function.c_str());
        if (status == 200) {
            ++succeeded;
            if (write) {
                copyConfigField(k, request, response);
            } else {
                std::string value;
                getReturnValue(reply, value, 512, "read", key);
                decodeConfigValue(k, value, response);
            }
        } else {
            failures += messageText("%s %s failed,errorid:%d; ", function.c_str(), key, status);
        }
    }
    setMultiKeyResult(response, sent, succeeded, failures);
    link.queues.pushResponse(response);
}

} // namespace quillon
