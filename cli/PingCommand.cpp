#include "Command.h"
#include "LinkSession.h"

#include <ostream>

#include <arpa/inet.h>

namespace quillon::cli
{

namespace
{

constexpr std::chrono::seconds kPingStopMargin{3};

// ping IP [SECONDS]: the box pings IP; its lines appear on standard output as they arrive.
// Ctrl-C sends the stop frame and waits for the box's end text.
class PingCommand : public Command
{
public:
    const char* name() const override { return "ping"; }
    const char* usage() const override { return "ping IP [SECONDS]"; }
    int run(Context& c) override
    {
        if (c.args.empty() || c.args.size() > 2)
            return ExitUsage;
        in_addr address{};
        if (::inet_pton(AF_INET, c.args[0].c_str(), &address) != 1) {
            c.err << "quillon-cli: not an IPv4 address: " << c.args[0] << "\n";
            return ExitUsage;
        }
        ReqPing request;
        request.target = c.args[0];
        if (c.args.size() == 2) {
            const std::string& s = c.args[1];
            long seconds = 0;
            bool ok = !s.empty() && s.size() <= 9;
            for (char ch : s)
                ok = ok && ch >= '0' && ch <= '9';
            if (ok)
                seconds = std::stol(s);
            if (!ok || seconds < 1) {
                c.err << "quillon-cli: SECONDS must be a whole number of seconds from 1\n";
                return ExitUsage;
            }
            request.duration = static_cast<int32_t>(seconds);
        }
        LinkSession* link = c.openLink(c);
        if (!link)
            return ExitError;
        // A box that goes on after the duration is stopped like a Ctrl-C would, a margin later.
        const auto stopAfter = request.duration > 0
                                   ? std::chrono::seconds(request.duration) + kPingStopMargin
                                   : std::chrono::milliseconds::zero();
        auto r = link->run(request, {}, [link] { link->service().stopPing(); },
                           std::chrono::duration_cast<std::chrono::milliseconds>(stopAfter));
        return reportResult(c, r.get());
    }
};

} // namespace

std::unique_ptr<Command> makePingCommand()
{
    return std::make_unique<PingCommand>();
}

} // namespace quillon::cli
