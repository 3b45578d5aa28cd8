#include "Command.h"
#include "ConfigChange.h"
#include "LinkSession.h"
#include "Snapshots.h"

#include <ostream>

namespace quillon::cli
{

namespace
{

// Lists the snapshots that set and apply saved, newest first: the time, the serial number and
// the file to give `apply` to put that configuration back.
class SnapshotsCommand : public Command
{
public:
    const char* name() const override { return "snapshots"; }
    const char* usage() const override { return "snapshots [--snapshot-dir DIR] [SERIAL]"; }
    const char* description() const override
    {
        return "Lists the saved snapshots, newest first, of every box or of one.";
    }
    const char* details() const override
    {
        return "Each line: the UTC time, the serial number and the file; 'apply FILE' puts it back.\n"
               "The folder is $XDG_STATE_HOME/quillon/snapshots (default ~/.local/state/quillon/snapshots).\n";
    }
    bool needsLink() const override { return false; }
    int run(Context& c) override
    {
        std::string dir, serial;
        for (size_t i = 0; i < c.args.size(); ++i) {
            const std::string& a = c.args[i];
            if (a == "--snapshot-dir" && i + 1 < c.args.size() && !c.args[i + 1].empty()) {
                dir = c.args[++i];
            } else if (a.rfind("--", 0) == 0 || !serial.empty()) {
                return ExitUsage;
            } else {
                serial = a;
            }
        }
        if (dir.empty())
            dir = defaultSnapshotDir();
        if (dir.empty()) {
            c.err << "no folder for snapshots (set XDG_STATE_HOME or HOME, or give --snapshot-dir)\n";
            return ExitError;
        }
        for (const SnapshotFile& file : listSnapshots(dir, serial)) {
            std::tm parts{};
            gmtime_r(&file.utc, &parts);
            char stamp[32];
            std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S UTC", &parts);
            c.out << stamp << "  " << file.serial << "  " << terminalSafe(file.path) << "\n";
        }
        return ExitOk;
    }
};

} // namespace

std::unique_ptr<Command> makeSnapshotsCommand()
{
    return std::make_unique<SnapshotsCommand>();
}

} // namespace quillon::cli
