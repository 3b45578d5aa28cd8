#include "Command.h"
#include "LinkSession.h"

#include <ChannelEntry.h>

#include <ostream>

namespace quillon::cli {

namespace {

// The channel list, one tab-separated row per channel; with FILE also the export file.
class ChannelsCommand : public Command {
public:
    const char* name() const override { return "channels"; }
    const char* usage() const override { return "channels [FILE]"; }
    const char* description() const override { return "Prints the box's channel list; also writes the export FILE when given."; }
    int run(Context& c) override
    {
        if (c.args.size() > 1)
            return ExitUsage;
        LinkSession* link = c.openLink(c);
        if (!link)
            return ExitError;
        ReqExportChannelList request;
        if (!c.args.empty())
            request.fileName = c.args[0];
        auto r = link->run(request, [&](const Response& p) {
            printProgress(c, static_cast<const ResExportChannelList&>(p).percent);
        });
        if (auto* list = dynamic_cast<ResExportChannelList*>(r.get()); list && list->status == STA_OK) {
            for (const ChannelEntry& e : parseChannelList(list->channelList))
                c.out << e.number << '\t' << (e.timeShift ? "YES" : "NO") << '\t' << e.channelUrl << '\t'
                      << e.timeShiftUrl << "\n";
        }
        return reportResult(c, r.get());
    }
};

} // namespace

std::unique_ptr<Command> makeChannelsCommand()
{
    return std::make_unique<ChannelsCommand>();
}

} // namespace quillon::cli
