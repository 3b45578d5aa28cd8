#include "Command.h"
#include "LinkSession.h"

#include <PlaybackCommand.h>

namespace quillon::cli
{

namespace
{

// stop: the box stops playing.
class StopCommand : public Command
{
public:
    const char* name() const override { return "stop"; }
    const char* usage() const override { return "stop"; }
    const char* description() const override { return "Stops playback."; }
    int run(Context& c) override
    {
        if (!c.args.empty())
            return ExitUsage;
        return runOnBox(c, playbackRequest(kStopPlayCommand));
    }
};

} // namespace

std::unique_ptr<Command> makeStopCommand()
{
    return std::make_unique<StopCommand>();
}

} // namespace quillon::cli
