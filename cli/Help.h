#pragma once

#include "Command.h"

#include <iosfwd>
#include <memory>
#include <vector>

namespace quillon::cli
{

// The texts of `--help`, `COMMAND --help` and `--commands`, all taken from the command table, so
// the manual page and the shell completion (which read them) follow every new command.
void printUsage(std::ostream& out, const std::vector<std::unique_ptr<Command>>& commands);
void printCommandHelp(std::ostream& out, const Command& command);
void printCommandNames(std::ostream& out, const std::vector<std::unique_ptr<Command>>& commands);

} // namespace quillon::cli
