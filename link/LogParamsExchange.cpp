#include "ExchangeText.h"
#include "Frame.h"
#include "StbLink.h"
#include "untSock.h"

#include <Logger.h>
#include <StringTable.h>

namespace quillon {

void logParamsExchange(StbLink& link, const ReqLogParams& request)
{
    Logger& log = Logger::instance();
    ResLogParams response(request.function);
    response.addrType = request.addrType;
    const bool write = request.function == FuncWrite;
    const char* addressKey = logAddressKey(request.addrType);

    std::string failures;
    int sent = 0;
    int succeeded = 0;
    for (int i = 0; i < 4; ++i) {
        const char* readKey = i == 0 ? addressKey : kLogReadKeys[static_cast<size_t>(i)];
        if (!readKey)
            continue;
        const char* function = "read";
        std::string frame;
        if (write) {
            std::string value;
            if (i == 0) {
                if (request.addrValue == "0")
                    continue; // "0" means the address stays as it is
                value = request.addrValue;
            } else {
                const int v = i == 1 ? request.outputType : (i == 2 ? request.logLevel : request.logType);
                if (v < 0)
                    continue;
                value = std::to_string(v);
            }
            function = i == 0 ? "write" : "ioctl";
            const char* writeKey = i == 0 ? addressKey : kLogWriteKeys[static_cast<size_t>(i)];
            frame = buildFrame(link.authField.data(), function, writeKey, "null", value.c_str());
        } else {
            frame = buildFrame(link.authField.data(), "read", readKey, "null");
        }
        frame += '\0'; // this exchange counts the terminator
        ++sent;
        std::string reply;
        const int n = sendAndReceive(link, frame, reply, response);
        if (n < 0) {
            link.queues.pushResponse(response);
            return;
        }
        if (n == 0) {
            failures += messageText("%s %s failed:%s", function, readKey, loadUiString(315).c_str());
            continue;
        }
        const int status = parseStatusCode(reply, function);
        if (status == 200) {
            ++succeeded;
            if (!write) {
                const std::string value = valueAfterLastCaret(reply);
                if (i == 0)
                    response.addrValue = value;
                else
                    (i == 1 ? response.outputType : (i == 2 ? response.logLevel : response.logType)) =
                        static_cast<int32_t>(decimalPrefix(value));
            }
        } else {
            const std::string text = messageText("%s %s failed:%d", function, readKey, status);
            log.error("%s", text.c_str());
            failures += text;
        }
    }
    setMultiKeyResult(response, sent, succeeded, failures);
    link.queues.pushResponse(response);
}

} // namespace quillon
