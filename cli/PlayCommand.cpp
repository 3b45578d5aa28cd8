#include "Command.h"
#include "LinkSession.h"

#include <PlaybackCommand.h>

#include <ostream>

namespace quillon::cli
{

namespace
{

// play URL|NUMBER: the box plays an rtsp:// or igmp:// URL, or the channel of that number.
class PlayCommand : public Command
{
public:
    const char* name() const override { return "play"; }
    const char* usage() const override { return "play URL|NUMBER"; }
    const char* description() const override { return "Plays a channel by URL or by number."; }
    int run(Context& c) override
    {
        if (c.args.size() != 1)
            return ExitUsage;
        const std::string& what = c.args[0];
        std::string command;
        int number = 0;
        if (isPlayableUrl(what)) {
            command = playUrlCommand(what);
        } else if (parseChannelNumber(what, number)) {
            command = playNumberCommand(number);
        } else {
            c.err << "quillon-cli: not an rtsp:// or igmp:// URL nor a channel number: " << what << "\n";
            return ExitUsage;
        }
        return runOnBox(c, playbackRequest(command));
    }
};

} // namespace

std::unique_ptr<Command> makePlayCommand()
{
    return std::make_unique<PlayCommand>();
}

} // namespace quillon::cli
