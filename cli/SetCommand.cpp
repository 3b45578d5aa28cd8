#include "Command.h"
#include "ConfigChange.h"
#include "LinkSession.h"

#include <ostream>

namespace quillon::cli
{

namespace
{

// Checks the values with the parameter files' rules, reads the configuration as the baseline,
// saves it as a snapshot and writes: only keys whose values differ travel to the box.
class SetCommand : public Command
{
public:
    const char* name() const override { return "set"; }
    const char* usage() const override
    {
        return "set [--dry-run] [--snapshot-dir DIR] [--keep-snapshots N] [--no-snapshot] KEY=VALUE...";
    }
    const char* description() const override
    {
        return "Checks and writes configuration keys; only changed values are sent, after a snapshot.";
    }
    const char* details() const override
    {
        return "A box that already holds every value is left alone: \"HOST: unchanged\", exit status 0.\n"
               "With --keep-snapshots N the box's N newest snapshots are kept (default 20).\n";
    }
    int run(Context& c) override
    {
        ChangeOptions options;
        std::vector<std::string> args = c.args;
        if (!parseChangeOptions(args, options, false, c.err) || args.empty())
            return ExitUsage;
        ConfigChanges changes;
        if (!parseAssignments(args, changes, c.err))
            return ExitUsage;
        LinkSession* link = c.openLink(c);
        if (!link)
            return ExitError;
        return changeConfig(*link, changes, options, c.out, c.err, &c.unchanged);
    }
};

} // namespace

std::unique_ptr<Command> makeSetCommand()
{
    return std::make_unique<SetCommand>();
}

} // namespace quillon::cli
