#pragma once

#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

namespace quillon::cli {

// Exit statuses of quillon-cli.
enum ExitCode { ExitOk = 0, ExitError = 1, ExitUsage = 2, ExitPartial = 3 };

class LinkSession;

// What a command gets: its own arguments (after the command word), the output streams, and a
// link to the box that is opened on first use (offline commands never ask for it).
struct Context {
    std::vector<std::string> args;
    std::ostream& out;
    std::ostream& err;
    // Connects with the global options on first call; null (with the reason on `err`) on failure.
    LinkSession* (*openLink)(Context&) = nullptr;
    void* owner = nullptr; // the program state behind openLink
};

// One command of quillon-cli, one file each.
class Command {
public:
    virtual ~Command() = default;
    virtual const char* name() const = 0;
    virtual const char* usage() const = 0; // e.g. "zone-info FILE"
    virtual bool needsLink() const { return true; }
    virtual int run(Context& context) = 0;
};

// Every command, in the order `--help` lists them (cli/Commands.cpp).
std::vector<std::unique_ptr<Command>> allCommands();

// Factories, one per command file.
std::unique_ptr<Command> makeUsbProfilesCommand();
std::unique_ptr<Command> makeZoneInfoCommand();

} // namespace quillon::cli
