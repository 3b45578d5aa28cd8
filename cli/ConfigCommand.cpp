#include "Command.h"
#include "LinkSession.h"

#include <ConfigInfo.h>
#include <ParamFile.h>

#include <ostream>

namespace quillon::cli
{

namespace
{

// The box's configuration as a parameter file on standard output.
class ConfigCommand : public Command
{
public:
    const char* name() const override { return "config"; }
    const char* usage() const override { return "config"; }
    int run(Context& c) override
    {
        if (!c.args.empty())
            return ExitUsage;
        LinkSession* link = c.openLink(c);
        if (!link)
            return ExitError;
        auto r = link->run(ReqConfigInfo(FuncRead));
        auto* config = dynamic_cast<ResConfigInfo*>(r.get());
        if (config && config->status != STA_ERROR)
            c.out << fullParamFileText(*config);
        return reportResult(c, r.get());
    }
};

} // namespace

std::unique_ptr<Command> makeConfigCommand()
{
    return std::make_unique<ConfigCommand>();
}

} // namespace quillon::cli
