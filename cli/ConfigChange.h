#pragma once

#include <ConfigInfo.h>

#include <array>
#include <ctime>
#include <iosfwd>
#include <string>
#include <vector>

namespace quillon
{
struct ParamImport;
}

namespace quillon::cli
{

class LinkSession;

// Options shared by `set` and `apply`.
struct ChangeOptions {
    bool dryRun = false;      // read, print what would travel, write nothing
    bool skipInvalid = false; // apply: leave refused keys out instead of writing nothing
    bool noSnapshot = false;
    std::string snapshotDir; // empty: defaultSnapshotDir()
    int keepSnapshots = 20;  // a box's newest snapshots kept; older ones go once a new one is saved
};

// Takes the leading options off `args` (stops at the first other word or after "--"). False
// with the reason on `err` for an unknown option or a missing value.
bool parseChangeOptions(std::vector<std::string>& args, ChangeOptions& options, bool allowSkipInvalid,
                        std::ostream& err);

// The values a change sets and which configuration keys (indexes into kConfigKeys) it sets.
struct ConfigChanges {
    ConfigInfo values;
    std::array<bool, kConfigKeyCount> keys{};
};

// KEY=VALUE words checked with the import rule of each key (the value trimmed as a file's would
// be). False with the rule's message on `err` for an unknown key or a refused or missing value.
bool parseAssignments(const std::vector<std::string>& words, ConfigChanges& changes, std::ostream& err);

// The keys of an imported file that are set, or present in the file for the texts copied as
// read (an empty text there clears the box's value). Refused keys are left out.
ConfigChanges changesFromImport(const ParamImport& import);

// The baseline with the changed keys replaced.
ConfigInfo applyChanges(const ConfigInfo& baseline, const ConfigChanges& changes);

// The keys a write of `request` sends against `baseline`, in wire order.
std::vector<int> keysThatTravel(const ConfigInfo& request, const ConfigInfo& baseline);

// One line per key: "KEY: OLD -> NEW", passwords shown as "***", box text made terminal-safe.
void printChanges(std::ostream& out, const ConfigInfo& request, const ConfigInfo& baseline,
                  const std::vector<int>& keys);

// $XDG_STATE_HOME/quillon/snapshots (absolute XDG_STATE_HOME only), else
// $HOME/.local/state/quillon/snapshots; empty when neither is known.
std::string defaultSnapshotDir();
// "SERIAL-YYYYMMDDTHHMMSSZ.txt" with the serial number reduced to a safe file name.
std::string snapshotFileName(const std::string& serialNumber, std::time_t utc);
// Saves `config` (all 38 keys) as a new parameter file in `dir` (created owner-only when missing), readable
// by its owner only; never replaces a file. False with the reason, also when a value could not be
// read back exactly.
bool writeSnapshot(const ConfigInfo& config, const std::string& dir, std::time_t utc, std::string& path,
                   std::string& error);

// A whole change against one box: reads the configuration as the baseline, then either prints
// the keys that would travel (dry run) or saves the snapshot and writes. A box that already holds
// every value gets "HOST: unchanged" on `err`, exit 0 and `*unchanged` set. Returns the exit
// status (0, 1 or 3); errors on `err` name the box.
int changeConfig(LinkSession& link, const ConfigChanges& changes, const ChangeOptions& options, std::ostream& out,
                 std::ostream& err, bool* unchanged = nullptr);

} // namespace quillon::cli
