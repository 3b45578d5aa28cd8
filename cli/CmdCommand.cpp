#include "Command.h"
#include "LinkSession.h"

#include <ostream>

namespace quillon::cli {

namespace {

// A free command function^call^parameter[^data]; prints the value of a read.
class CmdCommand : public Command {
public:
    const char* name() const override { return "cmd"; }
    const char* usage() const override { return "cmd FUNCTION^CALL^PARAMETER[^DATA]"; }
    const char* description() const override { return "Sends one free command in the box's command language."; }
    int run(Context& c) override
    {
        if (c.args.size() != 1)
            return ExitUsage;
        std::vector<std::string> words(1);
        for (char ch : c.args[0]) {
            if (ch == '^' && words.size() < 4)
                words.emplace_back();
            else
                words.back() += ch;
        }
        int function = -1;
        for (int f = FuncRead; f <= FuncConnect; ++f) {
            if (words[0] == functionName(f))
                function = f;
        }
        if (function < 0 || words.size() < 2 || words[1].empty()) {
            c.err << "the command must be FUNCTION^CALL^PARAMETER[^DATA] with one of read, write, ioctl, inform, connect\n";
            return ExitUsage;
        }
        ReqExtCommand request(static_cast<uint8_t>(function), TypeUserCommand);
        request.call = words[1];
        request.parameter = words.size() > 2 && !words[2].empty() ? words[2] : "null";
        request.data = words.size() > 3 ? words[3] : "";
        request.command = words[0] + "^" + request.call + "^" + request.parameter;
        if (!request.data.empty())
            request.command += "^" + request.data;
        LinkSession* link = c.openLink(c);
        if (!link)
            return ExitError;
        auto r = link->run(request);
        if (auto* result = dynamic_cast<ResExtCommand*>(r.get()); result && result->status == STA_OK && function == FuncRead)
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
