#include "Command.h"
#include "LinkSession.h"

#include <ExchangeText.h>

#include <filesystem>
#include <ostream>

namespace quillon::cli
{

namespace
{

// upgrade FILE [--force]: pushes a firmware image to the box and follows it while the box writes
// it; progress on standard error. --force asks the box to take an image it would refuse.
class UpgradeCommand : public Command
{
public:
    const char* name() const override { return "upgrade"; }
    const char* usage() const override { return "upgrade FILE [--force]"; }
    const char* description() const override { return "Pushes a firmware image to the box."; }
    int run(Context& c) override
    {
        ReqUpgrade request;
        for (const std::string& arg : c.args) {
            if (arg == "--force")
                request.forceUpgrade = 1;
            else if (request.fileName.empty() && !arg.empty() && arg[0] != '-')
                request.fileName = arg;
            else
                return ExitUsage;
        }
        if (request.fileName.empty())
            return ExitUsage;
        request.imageFd = c.imageFd;
        std::error_code ec;
        if (request.imageFd < 0 && !std::filesystem::is_regular_file(request.fileName, ec)) {
            c.err << "quillon-cli: not a readable file: " << request.fileName << "\n";
            return ExitError;
        }
        LinkSession* link = c.openLink(c);
        if (!link)
            return ExitError;
        auto r = link->run(request, [&](const Response& p) {
            const auto& progress = static_cast<const ResUpgrade&>(p);
            c.err << (progress.upgrading ? "writing: " : "sending: ") << progress.percent << "%" << std::endl;
        });
        // A lost link says how far the image got, as the window does.
        if (const std::string lost = r ? upgradeFailureText(*r) : std::string(); !lost.empty()) {
            c.err << "quillon-cli: " << (c.globals ? c.globals->host + ": " : std::string()) << lost << "\n";
            return ExitError;
        }
        return reportResult(c, r.get());
    }
};

} // namespace

std::unique_ptr<Command> makeUpgradeCommand()
{
    return std::make_unique<UpgradeCommand>();
}

} // namespace quillon::cli
