#include "ExchangeText.h"
#include "PcapInputCheck.h"
#include "Frame.h"
#include "StbLink.h"
#include "untSock.h"

#include <Logger.h>
#include <StringTable.h>

#include <cctype>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>

namespace quillon
{

namespace
{

constexpr int kMaxUnrecognised = 10;

// The progress lines are in the window's language at the time they are written.
constexpr int kNoAnswerText = 813;
constexpr int kTooLargeText = 814;

// A decimal as atol reads it (blanks, sign, digits), clamped instead of overflowing.
long long readDecimal(const char* text)
{
    return std::strtoll(text, nullptr, 10); // saturates on overflow
}

class PcapRun
{
public:
    explicit PcapRun(StbLink& link) : link_(link), response_(FuncNone, TypePcap) {}

    void run(const ReqPcap& request)
    {
        exchange(request);
        link_.queues.pushResponse(response_);
    }

private:
    void line(const std::string& text) { link_.output(OutputChannel::Pcap, text); }
    void line(int textId) { line(loadUiString(textId)); }

    bool send(const std::string& frame)
    {
        log_.debug("send size:%d", static_cast<int>(frame.size()));
        if (link_.sendEncrypted(frame) >= 0)
            return true;
        setLinkFailure(link_, 352, response_);
        return false;
    }

    // One reply before the capture runs: false (result set) when it failed, did not come, or
    // the box refused with 502.
    bool receiveBeforeCapture(std::string& reply)
    {
        const int n = link_.receiveDecrypted(reply);
        if (n < 0) {
            setLinkFailure(link_, 353, response_);
            return false;
        }
        if (n == 0) {
            line(kNoAnswerText);
            response_.setResult(STA_ERROR, loadUiString(315), kCodeDisconnect);
            return false;
        }
        log_.debug("recv data:%s", reply.c_str());
        log_.debug("recv size:%d", n);
        if (parseStatusCode(reply, "inform") == kCodeIllegalOperation) {
            response_.setResult(STA_ERROR, "0", kCodeIllegalOperation);
            return false;
        }
        return true;
    }

    void exchange(const ReqPcap& request)
    {
        if (!send(buildFrame(link_.authField.data(), "inform", "pcap_maxfilesize", "null")))
            return;
        std::string reply;
        if (!receiveBeforeCapture(reply))
            return;

        long long limit = 0;
        const char* text = reply.c_str();
        if (const char* word = std::strstr(text, "pcap_maxfilesize")) {
            const size_t after = static_cast<size_t>(word - text) + std::strlen("pcap_maxfilesize");
            if (after < std::strlen(text))
                limit = readDecimal(text + after + 1);
        }
        log_.debug("pcap_maxfilesize:%lld", limit);
        const long long requested = readDecimal(request.maxFileSize.c_str());
        if (limit < requested) {
            const std::string text = loadUiString(kTooLargeText);
            line(text);
            log_.error("%s", text.c_str());
            response_.setResult(STA_ERROR, text, kCodeDisconnect);
            return;
        }

        char start[kFrameTextArea];
        std::snprintf(start, sizeof start, "ioctl^remotepcap^ip:%s port:%s^time:%s^filesize:%s^null",
                      request.serverIp.c_str(), request.serverPort.c_str(), request.captureTime.c_str(),
                      request.maxFileSize.c_str());
        line(806);
        log_.debug("send data:%s", start);
        if (!send(buildFrameText(link_.authField.data(), start) + '\0'))
            return;
        if (!receiveBeforeCapture(reply))
            return;

        int unrecognised = 0;
        for (;;) {
            const int n = link_.receiveDecrypted(reply);
            if (n < 0) {
                setLinkFailure(link_, 353, response_);
                return;
            }
            // Nothing within the wait counts as an empty, unrecognised message.
            if (n > 0 && parseStatusCode(reply, "inform") == kCodeIllegalOperation) {
                response_.setResult(STA_ERROR, "0", kCodeIllegalOperation);
                return;
            }
            std::string head, word;
            int number = 0;
            parseProgressMessage(reply, head, word, number);
            log_.debug("g_head:%s", head.c_str());
            log_.debug("g_str:%s", word.c_str());
            log_.debug("date:%d", number);
            if (word == "get_pcapfilesize") {
                line(number != 0 ? loadUiString(807) + std::to_string(number) : loadUiString(808));
            } else if (word == "get_capfileuploadsize") {
                if (number != 0) {
                    line(loadUiString(809) + std::to_string(number));
                } else {
                    line(810);
                    response_.setResult(STA_OK, loadUiString(303), kCodeDisconnect);
                    return;
                }
            } else {
                line(811);
                if (++unrecognised >= kMaxUnrecognised) {
                    line(812);
                    response_.setResult(STA_ERROR, loadUiString(315), kCodeDisconnect);
                    return;
                }
            }
        }
    }

    StbLink& link_;
    Logger& log_ = Logger::instance();
    Response response_;
};

} // namespace

// What "%[^^]^%[^:]:%d" takes from a progress message, each field at most 1023 characters;
// fields the message does not supply stay empty, the number 0.
void parseProgressMessage(const std::string& message, std::string& head, std::string& word, int& number)
{
    head.clear();
    word.clear();
    number = 0;
    const char* p = message.c_str(); // up to the message's zero byte
    const char* start = p;
    while (*p && *p != '^' && static_cast<size_t>(p - start) < kPcapFieldMax)
        ++p;
    if (p == start)
        return;
    head.assign(start, p);
    if (*p != '^')
        return;
    start = ++p;
    while (*p && *p != ':' && static_cast<size_t>(p - start) < kPcapFieldMax)
        ++p;
    if (p == start)
        return;
    word.assign(start, p);
    if (*p != ':')
        return;
    ++p;
    while (std::isspace(static_cast<unsigned char>(*p)))
        ++p;
    const char* digits = (*p == '+' || *p == '-') ? p + 1 : p;
    if (!std::isdigit(static_cast<unsigned char>(*digits)))
        return;
    const long long v = readDecimal(p);
    number = static_cast<int>(v > INT_MAX ? INT_MAX : (v < INT_MIN ? INT_MIN : v));
}

void pcapExchange(StbLink& link, const ReqPcap& request)
{
    PcapRun(link).run(request);
}

} // namespace quillon
