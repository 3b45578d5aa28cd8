#pragma once

#include <Commandio.h>
#include <LinkService.h>

#include <chrono>
#include <functional>
#include <iosfwd>
#include <memory>
#include <string>

namespace quillon::cli
{

// A connected link for the command line: the same worker and exchanges as the window, with the
// output lines of a running diagnostic printed on standard output as they arrive.
class LinkSession : public LinkObserver
{
public:
    LinkSession(std::ostream& out, std::ostream& err);
    ~LinkSession() override;

    // Connects (worker started, connect exchange run); false with the reason on `err`.
    bool open(const std::string& host, int port, const std::string& user, const std::string& password,
              const std::string& modulusHex, const LinkTimeouts& timeouts = LinkTimeouts());

    // Runs one request and returns its final response (null if the worker gave none). Progress
    // responses are handed to `onProgress`. When the user presses Ctrl-C while it runs, or when
    // `stopAfter` (if not zero) has passed, `onInterrupt` is called once (e.g. to send a stop
    // frame) and the wait goes on for the reply time and a little more; then the run gives up.
    std::unique_ptr<Response> run(const Request& request, const std::function<void(const Response&)>& onProgress = {},
                                  const std::function<void()>& onInterrupt = {},
                                  std::chrono::milliseconds stopAfter = std::chrono::milliseconds::zero());

    LinkService& service() { return service_; }
    // The address given to open, for messages.
    const std::string& host() const { return host_; }

    // The failure of a final response as the command line reports it: a link the box closed
    // names the box and what was being done; any other failure is errorTextOf().
    std::string failureText(const Response& response) const;

    // Why the last run() ended without a final response, as the command line reports it: the
    // host and whether Ctrl-C or the box's silence after the stop frame ended the wait.
    std::string noAnswerText() const;

    // Why open() failed, for callers that sort boxes by it.
    enum class OpenFailure { None, Unreachable, Auth, Other };
    OpenFailure openFailure() const { return openFailure_; }

    // Off: run() leaves Ctrl-C to the caller (several sessions at once in one process).
    void setHandlesInterrupt(bool on) { handlesInterrupt_ = on; }

    void linkStateChanged(uint8_t state) override;
    void outputLine(OutputChannel channel, const std::string& line) override;

private:
    // The connect failure as the command line reports it: the host, the port and the reason.
    std::string connectFailureText(const Response& response, const std::string& host, int port) const;

    std::ostream& out_;
    std::ostream& err_;
    LinkTimeouts timeouts_;
    std::string host_;
    Commandio queues_;
    LinkService service_{queues_, this};
    OpenFailure openFailure_ = OpenFailure::None;
    bool handlesInterrupt_ = true;
    bool lastRunInterrupted_ = false;
};

// Box text made safe for a terminal: control characters (tab excepted) become "?".
std::string terminalSafe(std::string text);

// The text of a failed response, as the window shows it: the status code's text when there is
// one, else the message.
std::string errorTextOf(const Response& response);

// What a request of this type and function does, for messages: "the configuration write".
std::string activityOf(int type, int function);
// True when the response ended because the link failed under it (a send or receive error).
bool linkWasLost(const Response& response);

// Exit status of a final response: 0 OK, 3 partly OK, 1 error.
int exitCodeOf(const Response& response);

} // namespace quillon::cli
