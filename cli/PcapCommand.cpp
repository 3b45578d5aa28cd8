#include "Command.h"
#include "LinkSession.h"

#include <PcapInputCheck.h>

#include <ostream>

namespace quillon::cli
{

namespace
{

// pcap [--ip IP] [--port N] [--time S] [--size BYTES]: the box captures its traffic for S seconds
// or up to BYTES and uploads the file to the SFTP server at IP:N, which must already run (nothing
// is asked here). The box's progress lines appear on standard output.
class PcapCommand : public Command
{
public:
    const char* name() const override { return "pcap"; }
    const char* usage() const override { return "pcap [--ip IP] [--port N] [--time S] [--size BYTES]"; }
    const char* description() const override { return "Captures the box's traffic and uploads it to an SFTP server."; }
    int run(Context& c) override
    {
        ReqPcap request;
        for (size_t i = 0; i < c.args.size(); ++i) {
            const std::string& option = c.args[i];
            std::string* field = option == "--ip"     ? &request.serverIp
                                 : option == "--port" ? &request.serverPort
                                 : option == "--time" ? &request.captureTime
                                 : option == "--size" ? &request.maxFileSize
                                                      : nullptr;
            if (!field || i + 1 >= c.args.size())
                return ExitUsage;
            *field = c.args[++i];
        }
        // The texts go to the box as given, so a field separator inside one would split the frame.
        for (const std::string* text :
             {&request.serverIp, &request.serverPort, &request.captureTime, &request.maxFileSize}) {
            if (text->find('^') != std::string::npos) {
                c.err << "quillon-cli: \"^\" is not allowed in a capture option\n";
                return ExitUsage;
            }
        }
        const std::string error = checkPcapInputs(request.captureTime, request.maxFileSize, request.serverPort);
        if (!error.empty()) {
            c.err << error << "\n";
            return ExitUsage;
        }
        LinkSession* link = c.openLink(c);
        if (!link)
            return ExitError;
        auto r = link->run(request);
        return reportResult(c, r.get());
    }
};

} // namespace

std::unique_ptr<Command> makePcapCommand()
{
    return std::make_unique<PcapCommand>();
}

} // namespace quillon::cli
