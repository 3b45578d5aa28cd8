#include "Command.h"

#include <ProfileGenerator.h>
#include <StringTable.h>

#include <ostream>

namespace quillon::cli
{

namespace
{

// usb-profiles WORKBOOK OUTDIR: the tools page's generator for scripted provisioning.
class UsbProfilesCommand : public Command
{
public:
    const char* name() const override { return "usb-profiles"; }
    const char* usage() const override { return "usb-profiles WORKBOOK OUTDIR"; }
    const char* description() const override
    {
        return "Turns a workbook of accounts into USB-disk provisioning files.";
    }
    bool needsLink() const override { return false; }

    int run(Context& context) override
    {
        if (context.args.size() != 2) {
            context.err << "usage: quillon-cli " << usage() << "\n";
            return ExitUsage;
        }
        std::string readError;
        const int result = CreateUserProfile(context.args[0], context.args[1], {}, &readError);
        const std::string detail = result == ProfileSrcMissing   ? context.args[0]
                                   : result == ProfileDstMissing ? context.args[1]
                                                                 : readError;
        const std::string text = profileResultText(result, detail);
        if (result < 0) {
            context.err << text << "\n";
            return ExitError;
        }
        context.out << text << "\n";
        return result > 0 ? ExitPartial : ExitOk;
    }
};

} // namespace

std::unique_ptr<Command> makeUsbProfilesCommand()
{
    return std::make_unique<UsbProfilesCommand>();
}

} // namespace quillon::cli
