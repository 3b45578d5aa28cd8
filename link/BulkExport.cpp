#include "BulkExport.h"

#include "ExchangeText.h"
#include "Frame.h"
#include "StbLink.h"
#include "untSock.h"

#include <Logger.h>
#include <StringTable.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <thread>

namespace quillon {

bool parseProgress(const char* slice, int length, const char* prefix, const char* guard, int& percent)
{
    Logger& log = Logger::instance();
    const std::string_view text(slice, static_cast<size_t>(std::max(length, 0)));
    const std::string_view visible = text.substr(0, text.find('\0'));
    const size_t at = visible.find(prefix);
    if (at == std::string_view::npos)
        return false;
    const size_t digitsStart = at + std::strlen(prefix);
    if (digitsStart >= visible.size() || !std::isdigit(static_cast<unsigned char>(visible[digitsStart])))
        return false;

    size_t digitsEnd = text.size();
    const size_t nul = text.find('\0');
    if (nul != std::string_view::npos) {
        log.debug("found NULL char");
        if (nul + 1 < text.size() && text.substr(nul + 1).find(guard) != std::string_view::npos) {
            log.debug("error data.");
            return false;
        }
        digitsEnd = nul;
    } else {
        log.error("no found NULL char in data of percent.");
    }
    const std::string_view digits = text.substr(digitsStart, digitsEnd - digitsStart);
    if (digits.empty() || digits.size() > 3) {
        log.error("errro percent data");
        return false;
    }
    int value = 0;
    for (char c : digits) {
        if (!std::isdigit(static_cast<unsigned char>(c))) {
            log.error("errro percent data");
            return false;
        }
        value = value * 10 + (c - '0');
    }
    if (value > 100) {
        log.error("errro percent data");
        return false;
    }
    percent = value;
    return true;
}

bool runBulkExport(StbLink& link, const BulkExportSpec& spec, Response& response, int& percent,
                   std::string& collected, const std::function<void()>& pushProgress)
{
    Logger& log = Logger::instance();
    const std::string frame = buildFrame(link.authField.data(), "read", spec.call, "null");
    log.debug("send data:%s", frame.c_str() + kAuthFieldSize);
    if (link.sendEncrypted(frame) < 0) {
        setLinkFailure(link, 352, response);
        return false;
    }
    link.beginStreamDecrypt();
    const std::string dataPrefix = std::string("200read^") + spec.call + "^";
    bool started = false;
    bool firstReceive = true;
    std::string chunk;
    std::string partial; // the start of a record cut off by the end of the previous segment
    DataEntityList slices;
    for (;;) {
        if (spec.pauseBetweenSegments && !firstReceive)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        firstReceive = false;
        int n = link.receiveStreamDecrypted(chunk, link.timeouts.reply);
        if (n < 0) {
            setLinkFailure(link, 353, response);
            return true;
        }
        if (n == 0) {
            // Silence before the end of the data leaves the file short: that is a failure, not
            // the end of the list.
            log.error("no data before the end of the %s stream", spec.call);
            percent = 0;
            response.setResult(STA_ERROR, loadUiString(315), 0);
            return true;
        }
        log.debug("recv size:%d", n);
        if (!partial.empty()) {
            chunk.insert(0, partial);
            n += static_cast<int>(partial.size());
            partial.clear();
        }
        slices.clear();
        splitData(chunk.data(), n, '\0', slices);
        for (const DataEntity& slice : slices) {
            // A segment may end anywhere in a record. Before the data, a record too short to be
            // told apart ("200read^6" of "200read^60") waits for the rest in the next segment.
            const bool last = slice.data + slice.length == chunk.data() + n;
            if (!started && last && slice.data[slice.length - 1] != '\0' &&
                static_cast<size_t>(slice.length) < dataPrefix.size()) {
                partial.assign(slice.data, static_cast<size_t>(slice.length));
                break;
            }
            const std::string_view text(slice.data, strnlen(slice.data, static_cast<size_t>(slice.length)));
            int value = 0;
            if (parseProgress(slice.data, slice.length, "200read^", spec.guard, value)) {
                const int status = parseStatusCode(std::string(text), "read");
                if (status != 200) {
                    response.setResult(STA_ERROR, "0", static_cast<int16_t>(status));
                    return true;
                }
                log.debug("recv percent:%d", value);
                percent = value;
                if (value == 100) {
                    response.setResult(STA_OK, "", 0);
                    return true;
                }
                response.status = STA_PROGRESS;
                pushProgress();
                continue;
            }
            if (!started) {
                const int status = parseStatusCode(std::string(text.substr(0, 64)), "read");
                if (status != 200) {
                    if (spec.refusalAsText320)
                        response.setResult(STA_ERROR, loadUiString(320), 0);
                    else
                        response.setResult(STA_ERROR, "0", static_cast<int16_t>(status));
                    return true;
                }
                if (text.size() > dataPrefix.size())
                    collected += text.substr(dataPrefix.size());
                started = true;
            } else {
                collected += text;
            }
            if (slice.data[slice.length - 1] == '\0') {
                percent = 100;
                response.setResult(STA_OK, "", 0);
                // The padding of the stream follows its last zero byte. When the segment ended
                // right there, the padding block is still on its way: it is taken off the link
                // now, or it would be read as the answer to the next request.
                if (last) {
                    std::string tail;
                    link.receiveStreamDecrypted(tail, std::min<std::chrono::milliseconds>(
                                                          link.timeouts.reply, std::chrono::seconds(1)));
                }
                return true;
            }
        }
    }
}

bool writeTextFile(const std::string& fileName, const std::string& head, const std::string& text)
{
    std::FILE* file = std::fopen(fileName.c_str(), "wb");
    if (!file) {
        Logger::instance().error("open file failed:%s", fileName.c_str());
        return false;
    }
    std::string out;
    out.reserve(head.size() + text.size() + text.size() / 16);
    for (const std::string* part : {&head, &text}) {
        for (char c : *part) {
            if (c == '\n')
                out += '\r';
            out += c;
        }
    }
    std::fwrite(out.data(), 1, out.size(), file);
    std::fclose(file);
    return true;
}

void exportParamsExchange(StbLink& link, const ReqExportParams& request)
{
    ResExportParams response;
    std::string collected;
    const BulkExportSpec spec{"Paralist", "=", false, false};
    const bool sent = runBulkExport(link, spec, response, response.percent, collected,
                                    [&] { link.queues.pushResponse(response); });
    // The file holds what arrived, even after an error; nothing is written when the request
    // never left.
    if (!request.fileName.empty() && sent)
        writeTextFile(request.fileName, "[stb]\n", collected);
    link.queues.pushResponse(response);
}

void exportChannelListExchange(StbLink& link, const ReqExportChannelList& request)
{
    ResExportChannelList response;
    std::string collected;
    const BulkExportSpec spec{"Channellist", "UserChannelID", true, true};
    runBulkExport(link, spec, response, response.percent, collected,
                  [&] { link.queues.pushResponse(response); });
    if (collected.empty()) {
        Logger::instance().error("channel list is empty.");
    } else if (!request.fileName.empty()) {
        writeTextFile(request.fileName, "\xEF\xBB\xBF", collected);
    }
    response.channelList = collected;
    link.queues.pushResponse(response);
}

} // namespace quillon
