#include "ExchangeText.h"
#include "FileSender.h"
#include "Frame.h"
#include "StbLink.h"
#include "untSock.h"

#include <Logger.h>
#include <StringTable.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quillon
{

namespace
{

// A box writing its flash reports at least every few seconds; this many long waits in a row
// without a word (5 minutes with the box's limits) means it will not report any more.
constexpr int kUpgradeSilentWaits = 10;
// "301" + "inform^get_upgradelength^" + one character: where the percentage starts.
constexpr size_t kPercentOffset = 29;

class UpgradeRun
{
public:
    explicit UpgradeRun(StbLink& link) : link_(link) {}

    // One request, one final response: the sender is ended before the verdict goes out, so no
    // progress of its own can follow it, and a sender failure is told by this final response
    // alone.
    void run(const ReqUpgrade& request)
    {
        exchange(request);
        link_.fileSender.shutdown();
        link_.queues.pushResponse(response_);
    }

private:
    bool send(const std::string& frame)
    {
        if (link_.sendEncrypted(frame) >= 0)
            return true;
        setLinkFailure(link_, 352, response_);
        return false;
    }

    // One answer to a set-up frame; false (result set) unless it came with status 200.
    bool receiveOk(std::string& reply, const char* function)
    {
        const int n = link_.receiveDecrypted(reply);
        if (n < 0) {
            setLinkFailure(link_, 353, response_);
            return false;
        }
        if (n == 0) {
            response_.setResult(STA_ERROR, loadUiString(315), 0);
            return false;
        }
        const int status = parseStatusCode(reply, function);
        if (status != 200) {
            response_.setResult(STA_ERROR, "0", static_cast<int16_t>(status));
            return false;
        }
        return true;
    }

    void exchange(const ReqUpgrade& request)
    {
        // Only measured here; the sender streams the file itself.
        const bool shared = request.imageFd >= 0;
        const int file = shared ? request.imageFd : ::open(request.fileName.c_str(), O_RDONLY | O_CLOEXEC);
        struct stat st {
        };
        const bool readable = file >= 0 && ::fstat(file, &st) == 0 && S_ISREG(st.st_mode);
        const int openError = file < 0 ? errno : (readable ? 0 : EISDIR);
        if (file >= 0 && !shared)
            ::close(file);
        if (!readable || st.st_size <= 0) {
            const std::string message = readable ? messageText("upgrade file %s is empty", request.fileName.c_str())
                                                 : messageText("cannot open upgrade file %s: %s",
                                                               request.fileName.c_str(), std::strerror(openError));
            log_.error("%s", message.c_str());
            response_.setResult(STA_ERROR, message, 0);
            return;
        }
        const long long fileSize = st.st_size;

        char text[kFrameTextArea];
        std::snprintf(text, sizeof text, "inform^set_upgradelength^null^%lld", fileSize);
        log_.debug("send data:%s", text);
        std::string reply;
        if (!send(buildFrameText(link_.authField.data(), text) + '\0') || !receiveOk(reply, "inform"))
            return;
        if (!send(buildFrame(link_.authField.data(), "ioctl", "upgrade", request.forceUpgrade ? "/f" : "null")) ||
            !receiveOk(reply, "ioctl"))
            return;

        std::string value;
        if (!getReturnValue(reply, value, 512, "ioctl", "upgrade")) {
            response_.setResult(STA_ERROR, "0", kCodeOk);
            return;
        }
        const long port = std::strtol(value.c_str(), nullptr, 10);
        log_.debug("upgrade port:%ld", port);
        if (port < 1 || port > 65535) {
            // A port that cannot be one is as good as none.
            response_.setResult(STA_ERROR, "0", kCodeOk);
            return;
        }
        link_.fileSender.setWriteWait(link_.timeouts.imageWrite);
        link_.fileSender.startFileSender(link_.linkIp, static_cast<int>(port), request.fileName, request.imageFd);
        waitForReports();
    }

    // The box's reports while it takes and writes the image, until a final one or a bound.
    void waitForReports()
    {
        int failures = 0;
        int silent = 0;
        for (;;) {
            std::string chunk;
            const int n = link_.receiveDecrypted(chunk, link_.timeouts.longReply);
            if (n < 0) {
                const int err = StbLink::lastError;
                log_.error("nSize=%d, %s", n, linkErrorText(353, err).c_str());
                // A link that is down or keeps failing will bring no report any more.
                if (++failures >= link_.timeouts.upgradeReceiveFailures || link_.linkState() == 0) {
                    link_.errorText = linkErrorText(353, err);
                    response_.setResult(STA_ERROR, link_.errorText, kCodeDisconnect);
                    noteWhereItStopped();
                    // Shown as down before the verdict goes out, so that the verdict is the
                    // window's last word and not the watchdog's "disconnect" a moment later.
                    link_.markLinkLost();
                    return;
                }
                continue;
            }
            if (n == 0) {
                if (link_.fileSender.failed()) {
                    // The image never reached the box, which therefore has nothing to report.
                    response_.setResult(STA_ERROR, link_.fileSender.failureText(), 0);
                    return;
                }
                if (++silent >= kUpgradeSilentWaits) {
                    response_.setResult(STA_ERROR, loadUiString(315), 0);
                    return;
                }
                continue;
            }
            failures = 0;
            silent = 0;
            DataEntityList slices;
            splitData(chunk.data(), n, '\0', slices);
            for (const DataEntity& slice : slices) {
                const std::string report(slice.data, strnlen(slice.data, static_cast<size_t>(slice.length)));
                if (!report.empty() && handleReport(report))
                    return;
            }
        }
    }

    // A failed upgrade says how far it got: the box's writing percentage once it reported one,
    // else how much of the image the sender had handed over.
    void noteWhereItStopped()
    {
        if (!response_.upgrading)
            response_.percent = link_.fileSender.sentPercent();
    }

    // One report; true when it ends the exchange.
    bool handleReport(const std::string& report)
    {
        log_.debug("recv data:%s", report.c_str());
        const int status = parseStatusCode(report, nullptr);
        switch (status) {
        case kCodeUpgrading: {
            const long value =
                report.size() > kPercentOffset ? std::strtol(report.c_str() + kPercentOffset, nullptr, 10) : 0;
            log_.debug("recv percent:%ld", value);
            if (value < 1)
                return false;
            ResUpgrade progress;
            progress.setResult(STA_PROGRESS, "0", kCodeUpgrading);
            progress.percent = static_cast<int32_t>(value > 100 ? 100 : value);
            progress.upgrading = 1;
            response_.percent = progress.percent;
            response_.upgrading = 1;
            link_.queues.pushResponse(progress);
            return false;
        }
        case kCodeUpgradeDone:
            response_.setResult(STA_OK, "0", kCodeUpgradeDone);
            response_.percent = 100;
            return true;
        case kCodeSameVersion:
        case kCodeIllegalImage:
        case kCodeOk: {
            const std::string message = messageText("error status code:%d", status);
            log_.error("%s", message.c_str());
            response_.setResult(STA_ERROR, message, static_cast<int16_t>(status));
            if (status != kCodeOk)
                response_.percent = 0;
            return true;
        }
        default:
            log_.error("%s", messageText("error status code:%d", status).c_str());
            link_.fileSender.stopFileSender();
            return false;
        }
    }

    StbLink& link_;
    Logger& log_ = Logger::instance();
    ResUpgrade response_;
};

} // namespace

void upgradeExchange(StbLink& link, const ReqUpgrade& request)
{
    UpgradeRun(link).run(request);
}

} // namespace quillon
