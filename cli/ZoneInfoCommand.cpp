#include "Command.h"

#include <StringTable.h>
#include <ZoneInfo.h>

#include <filesystem>
#include <ostream>

namespace quillon::cli
{

namespace
{

// zone-info FILE: prints the site a configuration file belongs to, alone on its line.
class ZoneInfoCommand : public Command
{
public:
    const char* name() const override { return "zone-info"; }
    const char* usage() const override { return "zone-info FILE"; }
    const char* description() const override { return "Shows the site a configuration file belongs to."; }
    bool needsLink() const override { return false; }

    int run(Context& context) override
    {
        if (context.args.size() != 1) {
            context.err << "usage: quillon-cli " << usage() << "\n";
            return ExitUsage;
        }
        const std::string& path = context.args[0];
        std::error_code ec;
        if (path.empty()) {
            context.err << loadUiString(470) << "\n";
            return ExitError;
        }
        if (!std::filesystem::is_regular_file(path, ec)) {
            context.err << loadUiString(471) << path << "\n";
            return ExitError;
        }
        const std::string zone = readZoneInfo(path);
        if (zone.empty()) {
            // What the window shows for a file without an info line.
            context.err << loadUiString(472) << "\n";
            return ExitError;
        }
        context.out << zone << "\n";
        return ExitOk;
    }
};

} // namespace

std::unique_ptr<Command> makeZoneInfoCommand()
{
    return std::make_unique<ZoneInfoCommand>();
}

} // namespace quillon::cli
