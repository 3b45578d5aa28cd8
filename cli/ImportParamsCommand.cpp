#include "Command.h"

#include <ParamFile.h>
#include <ParamImport.h>

#include <ostream>

namespace quillon::cli
{

namespace
{

// Offline: what the import button makes of a parameter file, as a parameter file of every key.
class ImportParamsCommand : public Command
{
public:
    const char* name() const override { return "import-params"; }
    const char* usage() const override { return "import-params FILE"; }
    const char* description() const override { return "Imports a parameter file offline and prints the configuration it yields."; }
    bool needsLink() const override { return false; }
    int run(Context& c) override
    {
        if (c.args.size() != 1)
            return ExitUsage;
        ParamImport import;
        std::string error;
        if (!loadParamFile(c.args[0], import, error)) {
            c.err << error << "\n";
            return ExitError;
        }
        c.out << fullParamFileText(import.config);
        for (const std::string& message : import.messages)
            c.err << message << "\n";
        return import.messages.empty() ? ExitOk : ExitError;
    }
};

} // namespace

std::unique_ptr<Command> makeImportParamsCommand()
{
    return std::make_unique<ImportParamsCommand>();
}

} // namespace quillon::cli
