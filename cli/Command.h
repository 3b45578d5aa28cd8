#pragma once

#include <iosfwd>

#include <Messages.h>
#include <memory>
#include <string>
#include <vector>

namespace quillon::cli
{

// Exit statuses of quillon-cli.
enum ExitCode { ExitOk = 0, ExitError = 1, ExitUsage = 2, ExitPartial = 3 };

class LinkSession;

// The global options before the command word: the box and the credentials.
struct GlobalOptions {
    std::string host;
    int port = 9003;
    std::string user;
    std::string password;
    bool passwordGiven = false;
    std::string modulusHex;
};

// What a command gets: its own arguments (after the command word), the output streams, and a
// link to the box that is opened on first use (offline commands never ask for it).
struct Context {
    std::vector<std::string> args;
    std::ostream& out;
    std::ostream& err;
    // Connects with the global options on first call; null (with the reason on `err`) on failure.
    LinkSession* (*openLink)(Context&) = nullptr;
    void* owner = nullptr;                  // the program state behind openLink
    const GlobalOptions* globals = nullptr; // null when a command runs on behalf of another
    int imageFd = -1;       // upgrade: an image opened once for many boxes, in place of its file argument
    bool unchanged = false; // set by set and apply when the box already held every value
};

// One command of quillon-cli, one file each.
class Command
{
public:
    virtual ~Command() = default;
    virtual const char* name() const = 0;
    virtual const char* usage() const = 0; // e.g. "zone-info FILE"
    // One line for `--help` and the manual page.
    virtual const char* description() const { return ""; }
    // More lines for `COMMAND --help` and the manual page: options and what the results mean.
    virtual const char* details() const { return ""; }
    virtual bool needsLink() const { return true; }
    virtual int run(Context& context) = 0;
};

// Every command, in the order `--help` lists them (cli/Commands.cpp).
std::vector<std::unique_ptr<Command>> allCommands();

// Factories, one per command file.
std::unique_ptr<Command> makeInfoCommand();
std::unique_ptr<Command> makeConfigCommand();
std::unique_ptr<Command> makeSetCommand();
std::unique_ptr<Command> makeApplyCommand();
std::unique_ptr<Command> makeImportParamsCommand();
std::unique_ptr<Command> makeCmdCommand();
std::unique_ptr<Command> makeChannelsCommand();
std::unique_ptr<Command> makeExportParamsCommand();
std::unique_ptr<Command> makeLogParamsCommand();
std::unique_ptr<Command> makeLiveLogCommand();
std::unique_ptr<Command> makeUsbProfilesCommand();
std::unique_ptr<Command> makeZoneInfoCommand();
std::unique_ptr<Command> makePingCommand();
std::unique_ptr<Command> makeTraceRouteCommand();
std::unique_ptr<Command> makePcapCommand();
std::unique_ptr<Command> makeUpgradeCommand();
std::unique_ptr<Command> makePlayCommand();
std::unique_ptr<Command> makeStopCommand();
std::unique_ptr<Command> makeTrickCommand();
std::unique_ptr<Command> makeBatchCommand();
std::unique_ptr<Command> makeBatchReportCommand();
std::unique_ptr<Command> makeSnapshotsCommand();

// Prints a final response's failure on `err` and turns it into the exit status.
int reportResult(Context& context, const Response* response);
// Opens the link, runs one request and reports its result as the exit status.
int runOnBox(Context& context, const Request& request);
// Progress of a bulk exchange on standard error.
void printProgress(Context& context, int percent);

} // namespace quillon::cli
