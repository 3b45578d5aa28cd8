#include "LinkSession.h"

#include <StbLink.h>
#include <StringTable.h>

#include <atomic>
#include <csignal>
#include <ostream>

namespace quillon::cli {

namespace {

std::atomic<int> g_interrupts{0};

void onInterrupt(int)
{
    ++g_interrupts;
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
    host_ = host;
    service_.setTimeouts(timeouts);
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
    if (!response) {
        err_ << loadUiString(300) << "\n";
        return false;
    }
    if (response->status != STA_OK) {
        err_ << errorTextOf(*response) << "\n";
        return false;
    }
    return true;
}

std::unique_ptr<Response> LinkSession::run(const Request& request,
                                           const std::function<void(const Response&)>& onProgress,
                                           const std::function<void()>& onInterruptRequest)
{
    g_interrupts = 0;
    auto previous = std::signal(SIGINT, onInterrupt);
    queues_.pushRequest(request);
    std::unique_ptr<Response> final;
    bool interrupted = false;
    for (;;) {
        if (!interrupted && g_interrupts > 0) {
            interrupted = true;
            if (onInterruptRequest)
                onInterruptRequest();
            else
                break; // nothing to stop politely: give up waiting
        }
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
    std::signal(SIGINT, previous);
    return final;
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

int exitCodeOf(const Response& response)
{
    switch (response.status) {
    case STA_OK: return 0;
    case STA_PART_OK: return 3;
    default: return 1;
    }
}

} // namespace quillon::cli
