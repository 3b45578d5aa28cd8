#include "Command.h"
#include "LinkSession.h"

#include <FreeCommand.h>

#include <ostream>

namespace quillon::cli
{

namespace
{

// cmd TEXT...: a free command as typed on the operations page ("ioctl reboot",
// "write|Key|null|5", "connect ping 10.1.1.1"); the words may also come as separate arguments.
// Prints the value of a read; a ping or trace route prints the box's lines.
class CmdCommand : public Command
{
public:
    const char* name() const override { return "cmd"; }
    const char* usage() const override { return "cmd FUNCTION CALL [PARAMETER [DATA]]"; }
    const char* description() const override { return "Sends one free command in the box's command language."; }
    int run(Context& c) override
    {
        if (c.args.empty())
            return ExitUsage;
        std::string text;
        for (const std::string& arg : c.args)
            text += (text.empty() ? "" : " ") + arg;
        const size_t begin = text.find_first_not_of(" \t\r\n");
        const size_t end = text.find_last_not_of(" \t\r\n");
        text = begin == std::string::npos ? std::string() : text.substr(begin, end - begin + 1);

        FreeCommand command = interpretFreeCommand(text);
        switch (command.kind) {
        case FreeCommand::Empty:
            return ExitUsage;
        case FreeCommand::Invalid:
            if (command.tooLong) {
                c.err << "quillon-cli: command too long: " << text.size() << " bytes, the limit is "
                      << kMaxFreeCommandBytes << "\n";
                return ExitUsage;
            }
            c.err << "quillon-cli: the command must be FUNCTION CALL [PARAMETER [DATA]] with one of read, write, "
                     "ioctl, inform, connect\n";
            return ExitUsage;
        case FreeCommand::ChannelList:
        case FreeCommand::ParamList:
            // The window asks for a file here; the command line has its own commands for the lists.
            c.err << "quillon-cli: a list read is an export: use "
                  << (command.kind == FreeCommand::ChannelList ? "channels [FILE]" : "export-params FILE") << "\n";
            return ExitUsage;
        default:
            break;
        }
        LinkSession* link = c.openLink(c);
        if (!link)
            return ExitError;
        if (command.kind == FreeCommand::Ping) {
            ReqPing request;
            request.target = command.target;
            request.duration = command.duration;
            return reportResult(c, link->run(request, {}, [link] { link->service().stopPing(); }).get());
        }
        if (command.kind == FreeCommand::TraceRoute) {
            ReqTraceRoute request;
            request.target = command.target;
            return reportResult(c, link->run(request, {}, [link] { link->service().stopTraceRoute(); }).get());
        }
        auto r = link->run(command.request);
        if (auto* result = dynamic_cast<ResExtCommand*>(r.get());
            result && result->status == STA_OK && command.request.function == FuncRead)
            c.out << result->body << "\n";
        return reportResult(c, r.get());
    }
};

} // namespace

std::unique_ptr<Command> makeCmdCommand()
{
    return std::make_unique<CmdCommand>();
}

} // namespace quillon::cli
