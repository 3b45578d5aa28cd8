#include "ToolOutput.h"

#include "ExchangeText.h"
#include "Frame.h"
#include "StbLink.h"

#include <BoxText.h>
#include <Logger.h>
#include <StringTable.h>

#include <cstring>
#include <string>

namespace quillon
{

void receiveToolOutput(StbLink& link, const ToolOutputFormat& format, Response& response, int32_t& finished)
{
    Logger& log = Logger::instance();
    const size_t prefixLength = std::strlen(format.linePrefix);
    for (;;) {
        std::string chunk;
        const int n = link.receiveDecrypted(chunk, format.wait);
        if (n < 0) {
            setLinkFailure(link, 353, response);
            return;
        }
        if (n == 0) {
            response.setResult(STA_ERROR, loadUiString(315), 0);
            return;
        }
        log.debug("recv size:%d", n);
        DataEntityList slices;
        splitData(chunk.data(), n, '\0', slices);
        for (const DataEntity& slice : slices) {
            // A slice runs through its zero byte; the text is what comes before it.
            const std::string text(slice.data, strnlen(slice.data, static_cast<size_t>(slice.length)));
            if (text.empty() && format.skipEmptySlices)
                continue;
            log.debug("recv data:%s", text.c_str());
            const int status = parseStatusCode(text, "connect");
            if (status != 200)
                log.debug("status code:%d", status);
            if (text == format.endText) {
                response.setResult(STA_OK, "", 0);
                finished = 1;
                return;
            }
            const size_t at = text.find(format.linePrefix);
            if (at != std::string::npos)
                link.output(format.channel, fromBox(std::string_view(text).substr(at + prefixLength)));
        }
    }
}

} // namespace quillon
