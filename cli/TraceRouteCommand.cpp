#include "Command.h"
#include "LinkSession.h"

#include <ostream>

#include <arpa/inet.h>

namespace quillon::cli
{

namespace
{

// traceroute IP: the box traces the route to IP, one hop per line on standard output.
// Ctrl-C sends the stop frame and waits for the box's end text.
class TraceRouteCommand : public Command
{
public:
    const char* name() const override { return "traceroute"; }
    const char* usage() const override { return "traceroute IP"; }
    const char* description() const override { return "Traces the route from the box to an address."; }
    int run(Context& c) override
    {
        if (c.args.size() != 1)
            return ExitUsage;
        in_addr address{};
        if (::inet_pton(AF_INET, c.args[0].c_str(), &address) != 1) {
            c.err << "quillon-cli: not an IPv4 address: " << c.args[0] << "\n";
            return ExitUsage;
        }
        LinkSession* link = c.openLink(c);
        if (!link)
            return ExitError;
        ReqTraceRoute request;
        request.target = c.args[0];
        auto r = link->run(request, {}, [link] { link->service().stopTraceRoute(); });
        return reportResult(c, r.get());
    }
};

} // namespace

std::unique_ptr<Command> makeTraceRouteCommand()
{
    return std::make_unique<TraceRouteCommand>();
}

} // namespace quillon::cli
