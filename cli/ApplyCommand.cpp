#include "Command.h"
#include "ConfigChange.h"
#include "LinkSession.h"

#include <ParamImport.h>

#include <ostream>

namespace quillon::cli
{

namespace
{

// Writes a parameter file to the box with the import's rules: only keys that are set and differ
// from the box's values travel. A snapshot taken by set or apply restores the box exactly.
class ApplyCommand : public Command
{
public:
    const char* name() const override { return "apply"; }
    const char* usage() const override
    {
        return "apply [--dry-run] [--skip-invalid] [--snapshot-dir DIR] [--keep-snapshots N] [--no-snapshot] FILE";
    }
    const char* description() const override
    {
        return "Imports a parameter file with the page's checks and writes what differs, after a snapshot.";
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
        if (!parseChangeOptions(args, options, true, c.err) || args.size() != 1)
            return ExitUsage;
        ParamImport import;
        std::string error;
        if (!loadParamFile(args[0], import, error)) {
            c.err << error << "\n";
            return ExitError;
        }
        for (const std::string& message : import.messages)
            c.err << args[0] << ": " << message << "\n";
        if (!import.messages.empty() && !options.skipInvalid) {
            c.err << "nothing written (--skip-invalid leaves the refused keys out)\n";
            return ExitError;
        }
        LinkSession* link = c.openLink(c);
        if (!link)
            return ExitError;
        const int code = changeConfig(*link, changesFromImport(import), options, c.out, c.err, &c.unchanged);
        return code == ExitOk && !import.messages.empty() ? ExitPartial : code;
    }
};

} // namespace

std::unique_ptr<Command> makeApplyCommand()
{
    return std::make_unique<ApplyCommand>();
}

} // namespace quillon::cli
