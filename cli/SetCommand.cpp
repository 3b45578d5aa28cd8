#include "Command.h"
#include "LinkSession.h"

#include <ConfigInfo.h>

#include <ostream>

namespace quillon::cli {

namespace {

// Reads the configuration as the baseline, sets the named keys and writes: only keys whose
// values differ travel to the box.
class SetCommand : public Command {
public:
    const char* name() const override { return "set"; }
    const char* usage() const override { return "set KEY=VALUE..."; }
    const char* description() const override { return "Writes configuration keys; only changed values are sent."; }
    int run(Context& c) override
    {
        if (c.args.empty())
            return ExitUsage;
        std::vector<std::pair<int, std::string>> changes;
        for (const std::string& arg : c.args) {
            const size_t eq = arg.find('=');
            const int index = eq == std::string::npos ? -1 : configKeyIndex(arg.substr(0, eq));
            if (index < 0) {
                c.err << "unknown configuration key: " << arg.substr(0, eq) << "\n";
                return ExitUsage;
            }
            changes.emplace_back(index, arg.substr(eq + 1));
        }
        LinkSession* link = c.openLink(c);
        if (!link)
            return ExitError;
        auto read = link->run(ReqConfigInfo(FuncRead));
        auto* baseline = dynamic_cast<ResConfigInfo*>(read.get());
        if (!baseline || baseline->status == STA_ERROR)
            return reportResult(c, read.get());
        ReqConfigInfo write(FuncWrite);
        static_cast<ConfigInfo&>(write) = *baseline;
        write.baseline = baseline;
        for (const auto& [index, value] : changes)
            decodeConfigValue(index, value, write);
        auto r = link->run(write);
        return reportResult(c, r.get());
    }
};

} // namespace

std::unique_ptr<Command> makeSetCommand()
{
    return std::make_unique<SetCommand>();
}

} // namespace quillon::cli
