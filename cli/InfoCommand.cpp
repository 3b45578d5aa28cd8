#include "Command.h"
#include "LinkSession.h"

#include <ConfigInfo.h>

#include <ostream>

namespace quillon::cli {

namespace {

// The box's identity, network state and clock: one line per information key, in table order.
class InfoCommand : public Command {
public:
    const char* name() const override { return "info"; }
    const char* usage() const override { return "info"; }
    const char* description() const override { return "Reads the box's identity, network state, servers and clock."; }
    int run(Context& c) override
    {
        if (!c.args.empty())
            return ExitUsage;
        LinkSession* link = c.openLink(c);
        if (!link)
            return ExitError;
        auto r = link->run(ReqSTBInfo());
        auto* info = dynamic_cast<ResSTBInfo*>(r.get());
        if (info && info->status != STA_ERROR) {
            const std::string values[kStbInfoKeyCount] = {
                info->stbModel, info->serialNumber, info->softwareVersion, info->compileTime,
                info->browserVersion, info->hardwareVersion, info->macAddress, std::to_string(info->connectType),
                info->stbIP, info->gateway, info->dns, info->ntvUserAccount, info->casType,
                info->mainHomepageUrl, info->secondaryHomepageUrl, info->epgUrl, info->upgradeServer,
                info->ntpDomain, std::to_string(info->timeZone), std::to_string(info->localTime),
                info->logServerUrl, info->managementDomain, info->tvmsHeartbitUrl, info->stbType, info->chipId,
            };
            for (int i = 0; i < kStbInfoKeyCount; ++i)
                c.out << kStbInfoKeys[static_cast<size_t>(i)] << " = " << values[i] << "\n";
        }
        return reportResult(c, r.get());
    }
};

} // namespace

std::unique_ptr<Command> makeInfoCommand()
{
    return std::make_unique<InfoCommand>();
}

} // namespace quillon::cli
