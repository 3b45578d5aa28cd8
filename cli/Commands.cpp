#include "Command.h"
#include "LinkSession.h"

#include <ostream>

namespace quillon::cli
{

std::vector<std::unique_ptr<Command>> allCommands()
{
    std::vector<std::unique_ptr<Command>> commands;
    commands.push_back(makeInfoCommand());
    commands.push_back(makeConfigCommand());
    commands.push_back(makeSetCommand());
    commands.push_back(makeApplyCommand());
    commands.push_back(makeSnapshotsCommand());
    commands.push_back(makeCmdCommand());
    commands.push_back(makeChannelsCommand());
    commands.push_back(makeExportParamsCommand());
    commands.push_back(makeLogParamsCommand());
    commands.push_back(makeLiveLogCommand());
    commands.push_back(makePingCommand());
    commands.push_back(makeTraceRouteCommand());
    commands.push_back(makePcapCommand());
    commands.push_back(makeUpgradeCommand());
    commands.push_back(makePlayCommand());
    commands.push_back(makeStopCommand());
    commands.push_back(makeTrickCommand());
    commands.push_back(makeBatchCommand());
    commands.push_back(makeBatchReportCommand());
    commands.push_back(makeUsbProfilesCommand());
    commands.push_back(makeZoneInfoCommand());
    commands.push_back(makeImportParamsCommand());
    return commands;
}

int reportResult(Context& context, const Response* response)
{
    if (!response) {
        const LinkSession* link = context.openLink ? context.openLink(context) : nullptr;
        context.err << (link ? link->noAnswerText() : std::string("no answer from the worker")) << "\n";
        return ExitError;
    }
    const int code = exitCodeOf(*response);
    if (code == ExitError) {
        // The link is open by now: the commands report a result only after opening it.
        const LinkSession* link = context.openLink ? context.openLink(context) : nullptr;
        context.err << (link ? link->failureText(*response) : errorTextOf(*response)) << "\n";
    } else if (code == ExitPartial)
        context.err << response->message << "\n";
    return code;
}

int runOnBox(Context& context, const Request& request)
{
    LinkSession* link = context.openLink(context);
    if (!link)
        return ExitError;
    return reportResult(context, link->run(request).get());
}

void printProgress(Context& context, int percent)
{
    context.err << "progress: " << percent << "%" << std::endl;
}

} // namespace quillon::cli
