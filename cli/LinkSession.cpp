#include "LinkSession.h"

#include <StbLink.h>
#include <StringTable.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <csignal>
#include <ostream>

namespace quillon::cli
{

namespace
{

std::atomic<int> g_interrupts{0};

void onInterrupt(int)
{
    ++g_interrupts;
}

// Nothing answered at that address (nothing listening, or silence where the box's greeting should
// be), as opposed to a box that answered and refused.
LinkSession::OpenFailure classifyConnectFailure(const Response& response)
{
    constexpr int16_t kCodeBadCredentials = 501;
    if (response.errorId == kCodeBadCredentials)
        return LinkSession::OpenFailure::Auth;
    const std::string connectFailed = loadUiString(351);
    if (response.errorId == 0 && (response.message.compare(0, connectFailed.size(), connectFailed) == 0 ||
                                  response.message == loadUiString(315)))
        return LinkSession::OpenFailure::Unreachable;
    return LinkSession::OpenFailure::Other;
}

// The error number of a link failure ("TEXT:errno (reason)", linkErrorText of 350 to 353); -1
// when the message is no such text.
int linkErrorNumber(const std::string& message)
{
    for (int id : {350, 351, 352, 353}) {
        const std::string head = loadUiString(id) + ":";
        if (message.compare(0, head.size(), head) != 0)
            continue;
        const char* digits = message.c_str() + head.size();
        if (*digits < '0' || *digits > '9')
            return -1;
        char* end = nullptr;
        const long error = std::strtol(digits, &end, 10);
        if (error < 0 || error > 100000)
            return -1;
        return message == linkErrorText(id, static_cast<int>(error)) ? static_cast<int>(error) : -1;
    }
    return -1;
}

} // namespace

LinkSession::LinkSession(std::ostream& out, std::ostream& err) : out_(out), err_(err) {}

LinkSession::~LinkSession()
{
    if (service_.linkState() == 1) {
        queues_.pushRequest(ReqDisConnect());
        queues_.waitResponse(std::chrono::seconds(2));
    }
    service_.shutdown();
}

bool LinkSession::open(const std::string& host, int port, const std::string& user, const std::string& password,
                       const std::string& modulusHex, const LinkTimeouts& timeouts)
{
    timeouts_ = timeouts;
    host_ = host;
    service_.setTimeouts(timeouts);
    openFailure_ = OpenFailure::Other;
    if (!modulusHex.empty()) {
        std::string error;
        if (!service_.setBoxModulus(modulusHex, &error)) {
            err_ << error << "\n";
            return false;
        }
    }
    service_.start();
    ReqConnect request;
    request.ip = host;
    request.port = port;
    request.userName = user;
    request.password = password;
    auto response = run(request);
    // A failed connect names the box and, where the link gives one, the system's reason.
    if (!response) {
        // Only Ctrl-C ends the wait for a session without an answer.
        err_ << (lastRunInterrupted_ ? noAnswerText() : host + ": " + loadUiString(300)) << "\n";
        return false;
    }
    if (response->status != STA_OK) {
        openFailure_ = classifyConnectFailure(*response);
        err_ << connectFailureText(*response, host, port) << "\n";
        return false;
    }
    openFailure_ = OpenFailure::None;
    return true;
}

std::string LinkSession::connectFailureText(const Response& response, const std::string& host, int port) const
{
    const std::string where = "cannot connect to " + host + ":" + std::to_string(port) + ": ";
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%g", std::chrono::duration<double>(timeouts_.reply).count());
    // The connection was taken, so something listens there, but the box never answered.
    if (response.message == loadUiString(315))
        return host + ":" + std::to_string(port) + ": no answer to the session set-up within " + seconds + " s";
    if (linkWasLost(response))
        return host + ": the box closed the link during " + activityOf(TypeConnect, FuncRead);
    // The exchange reports a socket failure as the text of 350 or 351, the error number and the
    // system's reason.
    const int error = linkErrorNumber(response.message);
    for (int id : {350, 351}) {
        if (error >= 0 && response.message == linkErrorText(id, error))
            return where +
                   (error == ETIMEDOUT ? std::string("timed out after ") + seconds + " s" : std::strerror(error));
    }
    // The rest happened at the box: name it, and give the box's reason in the user's language.
    if (response.errorId != 0)
        return host + ": the box refused the session: " + std::to_string(response.errorId) + " (" +
               statusCodeText(response.errorId) + ")";
    if (response.message.empty())
        return host + ": the session key could not be opened: is --box-modulus right for this box?";
    return host + ": " + errorTextOf(response);
}

std::string LinkSession::failureText(const Response& response) const
{
    if (linkWasLost(response))
        return host_ + ": the box closed the link during " + activityOf(response.type, response.function);
    return errorTextOf(response);
}

std::unique_ptr<Response> LinkSession::run(const Request& request,
                                           const std::function<void(const Response&)>& onProgress,
                                           const std::function<void()>& onInterruptRequest,
                                           std::chrono::milliseconds stopAfter)
{
    using Handler = void (*)(int);
    Handler previous = SIG_DFL;
    if (handlesInterrupt_) {
        g_interrupts = 0;
        previous = std::signal(SIGINT, onInterrupt);
    }
    queues_.pushRequest(request);
    std::unique_ptr<Response> final;
    bool interrupted = false;
    const auto start = std::chrono::steady_clock::now();
    auto giveUpAt = std::chrono::steady_clock::time_point::max();
    for (;;) {
        const auto now = std::chrono::steady_clock::now();
        const bool overdue = stopAfter.count() > 0 && now - start >= stopAfter;
        if (!interrupted && ((handlesInterrupt_ && g_interrupts > 0) || overdue)) {
            interrupted = true;
            if (!onInterruptRequest)
                break; // nothing to stop politely: give up waiting
            onInterruptRequest();
            if (overdue)
                giveUpAt = now + timeouts_.reply + std::chrono::seconds(2);
        }
        if (now >= giveUpAt)
            break; // the box did not end even after the stop frame
        auto r = queues_.waitResponse(std::chrono::milliseconds(100));
        if (!r)
            continue;
        if (r->status == STA_PROGRESS) {
            if (onProgress)
                onProgress(*r);
            continue;
        }
        final = std::move(r);
        break;
    }
    if (handlesInterrupt_)
        std::signal(SIGINT, previous);
    lastRunInterrupted_ = !final && interrupted && handlesInterrupt_ && g_interrupts > 0;
    return final;
}

std::string LinkSession::noAnswerText() const
{
    if (lastRunInterrupted_)
        return host_ + ": interrupted before the box answered";
    return host_ + ": the box did not end after the stop request";
}

void LinkSession::linkStateChanged(uint8_t) {}

void LinkSession::outputLine(OutputChannel, const std::string& line)
{
    out_ << terminalSafe(line) << std::endl;
}

// The text comes from the box: control characters would reach the terminal as commands.
std::string terminalSafe(std::string text)
{
    for (char& c : text) {
        const auto u = static_cast<unsigned char>(c);
        if ((u < 0x20 && c != '\t') || u == 0x7f)
            c = '?';
    }
    return text;
}

std::string errorTextOf(const Response& response)
{
    if (response.errorId != 0)
        return statusCodeText(response.errorId);
    return response.message;
}

bool linkWasLost(const Response& response)
{
    if (response.status != STA_ERROR || response.errorId != kCodeDisconnect)
        return false;
    const int error = linkErrorNumber(response.message);
    return error >= 0 &&
           (response.message == linkErrorText(352, error) || response.message == linkErrorText(353, error));
}

std::string activityOf(int type, int function)
{
    const bool write = function == FuncWrite;
    switch (type) {
    case TypeConnect:
        return "the session set-up";
    case TypeDisconnect:
        return "the log-off";
    case TypeStbInfo:
        return "the information read";
    case TypeConfigInfo:
        return write ? "the configuration write" : "the configuration read";
    case TypeExportParams:
        return "the parameter export";
    case TypeExportChannelList:
        return "the channel list read";
    case TypePing:
        return "the ping";
    case TypeTraceRoute:
        return "the trace route";
    case TypeUserCommand:
    case TypeButtonCommand:
        return "the command";
    case TypeUpgrade:
        return "the upgrade";
    case TypeLogParams:
        return write ? "the log parameters write" : "the log parameters read";
    case TypePcap:
        return "the packet capture";
    default:
        return "the exchange";
    }
}

int exitCodeOf(const Response& response)
{
    switch (response.status) {
    case STA_OK:
        return 0;
    case STA_PART_OK:
        return 3;
    default:
        return 1;
    }
}

} // namespace quillon::cli
