#include "Command.h"
#include "LinkSession.h"

#include <ConfigInfo.h>

#include <cstdlib>
#include <ostream>

namespace quillon::cli {

namespace {

bool toInt(const std::string& text, int& value)
{
    char* end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || v < -1 || v > 1000)
        return false;
    value = static_cast<int>(v);
    return true;
}

// The box's log address, level, type and outputs.
class LogParamsCommand : public Command {
public:
    const char* name() const override { return "logparams"; }
    const char* usage() const override { return "logparams get [ADDRTYPE] | logparams set ADDRTYPE ADDR LEVEL TYPE OUTPUT"; }
    const char* description() const override { return "Reads or sets the box's logging parameters."; }
    int run(Context& c) override
    {
        if (c.args.empty())
            return ExitUsage;
        const bool get = c.args[0] == "get";
        if (!(get && c.args.size() <= 2) && !(c.args[0] == "set" && c.args.size() == 6))
            return ExitUsage;
        ReqLogParams request(get ? FuncRead : FuncWrite);
        if (c.args.size() > 1 && !toInt(c.args[1], request.addrType))
            return ExitUsage;
        if (!get) {
            request.addrValue = c.args[2];
            if (!toInt(c.args[3], request.logLevel) || !toInt(c.args[4], request.logType) ||
                !toInt(c.args[5], request.outputType))
                return ExitUsage;
        }
        LinkSession* link = c.openLink(c);
        if (!link)
            return ExitError;
        auto r = link->run(request);
        if (auto* p = dynamic_cast<ResLogParams*>(r.get()); p && get && p->status != STA_ERROR) {
            c.out << "addrType = " << p->addrType << "\n"
                  << "addrValue = " << p->addrValue << "\n"
                  << "logLevel = " << p->logLevel << "\n"
                  << "logType = " << p->logType << "\n"
                  << "outputType = " << p->outputType << "\n";
        }
        return reportResult(c, r.get());
    }
};

} // namespace

std::unique_ptr<Command> makeLogParamsCommand()
{
    return std::make_unique<LogParamsCommand>();
}

} // namespace quillon::cli
