#include "Help.h"

#include <algorithm>
#include <cstring>
#include <ostream>

namespace quillon::cli
{

void printUsage(std::ostream& out, const std::vector<std::unique_ptr<Command>>& commands)
{
    out << "usage: quillon-cli --host IP [--port N] --user NAME [--password PW] [--box-modulus HEX|@FILE]\n"
           "                  [--lang en|zh] [--box-encoding gbk|utf-8] COMMAND [ARGS]\n"
           "       quillon-cli COMMAND --help | --help | --version | --commands\n"
           "The password may also come from the environment variable QUILLON_PASSWORD.\n"
           "Texts to and from the box are in its encoding, GBK unless --box-encoding utf-8.\n"
           "Exit status: 0 success, 3 partly done, 1 error, 2 usage error.\n\nCommands:\n";
    size_t width = 0;
    for (const auto& command : commands)
        width = std::max(width, std::strlen(command->name()));
    for (const auto& command : commands) {
        const std::string name = command->name();
        out << "  " << name << std::string(width - name.size() + 2, ' ') << command->description()
            << (command->needsLink() ? "" : " (offline)") << "\n";
    }
    out << "\n'quillon-cli COMMAND --help' shows the arguments of a command.\n";
}

void printCommandHelp(std::ostream& out, const Command& command)
{
    out << "usage: quillon-cli [options] " << command.usage() << "\n";
    if (*command.description())
        out << command.description() << "\n";
    if (*command.details())
        out << command.details();
    out << (command.needsLink() ? "Needs a box: --host, --user and a password.\n" : "Works offline, without a box.\n");
}

void printCommandNames(std::ostream& out, const std::vector<std::unique_ptr<Command>>& commands)
{
    for (const auto& command : commands)
        out << command->name() << "\n";
}

} // namespace quillon::cli
