#include "Command.h"
#include "LinkSession.h"

#include <PlaybackCommand.h>

namespace quillon::cli
{

namespace
{

// trick back|pause|forward: fast backward, pause or fast forward of what the box plays. A box
// that plays nothing refuses it.
class TrickCommand : public Command
{
public:
    const char* name() const override { return "trick"; }
    const char* usage() const override { return "trick back|pause|forward"; }
    const char* description() const override { return "Trick play: back, pause or forward."; }
    int run(Context& c) override
    {
        if (c.args.size() != 1)
            return ExitUsage;
        const char* command = c.args[0] == "back"      ? kFastBackwardCommand
                              : c.args[0] == "pause"   ? kPauseCommand
                              : c.args[0] == "forward" ? kFastForwardCommand
                                                       : nullptr;
        if (!command)
            return ExitUsage;
        return runOnBox(c, playbackRequest(command));
    }
};

} // namespace

std::unique_ptr<Command> makeTrickCommand()
{
    return std::make_unique<TrickCommand>();
}

} // namespace quillon::cli
