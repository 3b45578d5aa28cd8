#include "Command.h"
#include "LinkSession.h"

#include <ostream>

namespace quillon::cli {

namespace {

// The box's whole parameter list into a parameter file.
class ExportParamsCommand : public Command {
public:
    const char* name() const override { return "export-params"; }
    const char* usage() const override { return "export-params FILE"; }
    const char* description() const override { return "Exports the box's whole parameter set to an INI file."; }
    int run(Context& c) override
    {
        if (c.args.size() != 1)
            return ExitUsage;
        LinkSession* link = c.openLink(c);
        if (!link)
            return ExitError;
        ReqExportParams request;
        request.fileName = c.args[0];
        auto r = link->run(request, [&](const Response& p) {
            printProgress(c, static_cast<const ResExportParams&>(p).percent);
        });
        return reportResult(c, r.get());
    }
};

} // namespace

std::unique_ptr<Command> makeExportParamsCommand()
{
    return std::make_unique<ExportParamsCommand>();
}

} // namespace quillon::cli
