#include "Command.h"
#include "Help.h"
#include "LinkSession.h"

#include <BoxText.h>
#include <Logger.h>
#include <StringTable.h>
#include <Version.h>

#include <cstdlib>
#include <iostream>
#include <memory>

using namespace quillon;
using namespace quillon::cli;

namespace {

struct Options : GlobalOptions {
    std::unique_ptr<LinkSession> session;
};

void usage(std::ostream& out)
{
    printUsage(out, allCommands());
}

LinkSession* openLink(Context& context)
{
    auto& options = *static_cast<Options*>(context.owner);
    if (options.session)
        return options.session.get();
    if (options.host.empty() || options.user.empty()) {
        context.err << "--host and --user are needed for this command\n";
        return nullptr;
    }
    auto session = std::make_unique<LinkSession>(context.out, context.err);
    if (!session->open(options.host, options.port, options.user, options.password, options.modulusHex))
        return nullptr;
    options.session = std::move(session);
    return options.session.get();
}

} // namespace

int main(int argc, char* argv[])
{
    Logger::instance().setFileName(Logger::defaultLogPath(argv[0]));
    setUiLanguage(LanguageEnglish);
    Options options;
    if (const char* pw = std::getenv("QUILLON_PASSWORD")) {
        options.password = pw;
        options.passwordGiven = true;
    }
    int i = 1;
    for (; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg.rfind("--", 0) != 0)
            break;
        if (arg == "--help") {
            usage(std::cout);
            return ExitOk;
        }
        if (arg == "--version") {
            std::cout << "quillon-cli " << versionText() << "\n";
            return ExitOk;
        }
        if (arg == "--commands") {
            printCommandNames(std::cout, allCommands());
            return ExitOk;
        }
        if (i + 1 >= argc) {
            std::cerr << "quillon-cli: " << arg << " needs a value\n";
            return ExitUsage;
        }
        const std::string value = argv[++i];
        if (arg == "--host") {
            options.host = value;
        } else if (arg == "--port") {
            char* end = nullptr;
            const long port = std::strtol(value.c_str(), &end, 10);
            if (*end || port < 1 || port > 65535) {
                std::cerr << "quillon-cli: --port must be 1 to 65535\n";
                return ExitUsage;
            }
            options.port = static_cast<int>(port);
        } else if (arg == "--user") {
            options.user = value;
        } else if (arg == "--password") {
            options.password = value;
            options.passwordGiven = true;
        } else if (arg == "--box-modulus") {
            std::string error;
            if (!parseBoxModulusOption(value, options.modulusHex, error)) {
                std::cerr << "quillon-cli: " << error << "\n";
                return ExitUsage;
            }
        } else if (arg == "--lang") {
            if (value != "en" && value != "zh") {
                std::cerr << "quillon-cli: --lang must be en or zh\n";
                return ExitUsage;
            }
            setUiLanguage(value == "zh" ? LanguageChinese : LanguageEnglish);
        } else if (arg == "--box-encoding") {
            BoxEncoding encoding;
            if (!parseBoxEncoding(value, encoding)) {
                std::cerr << "quillon-cli: --box-encoding must be gbk or utf-8\n";
                return ExitUsage;
            }
            setBoxEncoding(encoding);
        } else {
            std::cerr << "quillon-cli: unknown option " << arg << "\n";
            usage(std::cerr);
            return ExitUsage;
        }
    }
    if (i >= argc) {
        usage(std::cerr);
        return ExitUsage;
    }
    const std::string name = argv[i++];
    for (auto& command : allCommands()) {
        if (name != command->name())
            continue;
        if (i < argc && std::string(argv[i]) == "--help") {
            printCommandHelp(std::cout, *command);
            return ExitOk;
        }
        Context context{std::vector<std::string>(argv + i, argv + argc), std::cout, std::cerr, &openLink, &options,
                        &options};
        if (command->needsLink() && (options.host.empty() || options.user.empty() || !options.passwordGiven)) {
            std::cerr << "quillon-cli: " << name << " needs --host, --user and a password\n";
            return ExitUsage;
        }
        const int code = command->run(context);
        if (code == ExitUsage)
            std::cerr << "usage: quillon-cli [options] " << command->usage() << "\n";
        options.session.reset(); // disconnects before the exit status is returned
        return code;
    }
    std::cerr << "quillon-cli: unknown command " << name << "\n";
    usage(std::cerr);
    return ExitUsage;
}
