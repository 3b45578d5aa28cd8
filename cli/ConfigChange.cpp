#include "ConfigChange.h"

#include "Command.h"
#include "LinkSession.h"
#include "Snapshots.h"

#include <ParamFile.h>
#include <ParamImport.h>
#include <StringTable.h>
#include <WorkbookReader.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <ostream>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quillon::cli
{

namespace
{

bool isPasswordKey(int index)
{
    const std::string key = kConfigKeys[static_cast<size_t>(index)];
    return key == "dhcppassword" || key == "netuserpassword" || key == "ntvuserpassword" || key == "TMSPassword";
}

std::string where(LinkSession& link)
{
    return link.host().empty() ? std::string() : link.host() + ": ";
}

bool writeAll(int fd, const std::string& data)
{
    size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

} // namespace

bool parseChangeOptions(std::vector<std::string>& args, ChangeOptions& options, bool allowSkipInvalid,
                        std::ostream& err)
{
    size_t i = 0;
    for (; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--") {
            ++i;
            break;
        }
        if (a.rfind("--", 0) != 0)
            break;
        if (a == "--dry-run") {
            options.dryRun = true;
        } else if (a == "--no-snapshot") {
            options.noSnapshot = true;
        } else if (a == "--skip-invalid" && allowSkipInvalid) {
            options.skipInvalid = true;
        } else if (a == "--keep-snapshots") {
            const std::string value = i + 1 < args.size() ? args[i + 1] : std::string();
            if (value.empty() || value.size() > 6 || value.find_first_not_of("0123456789") != std::string::npos ||
                std::stoi(value) < 1) {
                err << "--keep-snapshots needs a number from 1 to 999999\n";
                return false;
            }
            options.keepSnapshots = std::stoi(value);
            ++i;
        } else if (a == "--snapshot-dir") {
            if (i + 1 >= args.size() || args[i + 1].empty()) {
                err << "--snapshot-dir needs a folder\n";
                return false;
            }
            options.snapshotDir = args[++i];
        } else {
            err << "unknown option " << a << "\n";
            return false;
        }
    }
    args.erase(args.begin(), args.begin() + static_cast<std::ptrdiff_t>(i));
    return true;
}

bool parseAssignments(const std::vector<std::string>& words, ConfigChanges& changes, std::ostream& err)
{
    for (const std::string& word : words) {
        const size_t eq = word.find('=');
        const std::string key = word.substr(0, eq);
        const int index = eq == std::string::npos ? -1 : configKeyIndex(key);
        if (index < 0) {
            err << "unknown configuration key: " << terminalSafe(key) << "\n";
            return false;
        }
        const std::string value = trimmed(std::string_view(word).substr(eq + 1));
        // A value a parameter file cannot hold would make every later snapshot impossible.
        if (!paramValueKeptExactly(value)) {
            err << key << ": a value holds no line break and at most " << kParamValueMax << " characters\n";
            return false;
        }
        const ValueCheckResult check = importConfigValue(index, value, changes.values);
        if (check.outcome == ValueCheck::Invalid) {
            err << check.message << "\n";
            return false;
        }
        if (check.outcome == ValueCheck::Missing) {
            err << (check.message.empty() ? key + " needs a value" : check.message) << "\n";
            return false;
        }
        changes.keys[static_cast<size_t>(index)] = true;
    }
    return true;
}

ConfigChanges changesFromImport(const ParamImport& import)
{
    ConfigChanges changes;
    changes.values = import.config;
    for (int i = 0; i < kConfigKeyCount; ++i) {
        const auto k = static_cast<size_t>(i);
        if (import.invalid[k])
            continue;
        changes.keys[k] = !configFieldIsUnset(i, import.config) || (!configKeyIsChecked(i) && import.present[k]);
    }
    return changes;
}

ConfigInfo applyChanges(const ConfigInfo& baseline, const ConfigChanges& changes)
{
    ConfigInfo request = baseline;
    for (int i = 0; i < kConfigKeyCount; ++i)
        if (changes.keys[static_cast<size_t>(i)])
            copyConfigField(i, changes.values, request);
    return request;
}

std::vector<int> keysThatTravel(const ConfigInfo& request, const ConfigInfo& baseline)
{
    std::vector<int> keys;
    for (int i = 0; i < kConfigKeyCount; ++i)
        if (configKeyIsWritten(i, request, baseline))
            keys.push_back(i);
    return keys;
}

void printChanges(std::ostream& out, const ConfigInfo& request, const ConfigInfo& baseline,
                  const std::vector<int>& keys)
{
    for (int i : keys) {
        const bool secret = isPasswordKey(i);
        out << kConfigKeys[static_cast<size_t>(i)] << ": "
            << (secret ? "***" : terminalSafe(configValueText(i, baseline))) << " -> "
            << (secret ? "***" : terminalSafe(configValueText(i, request))) << "\n";
    }
}

std::string defaultSnapshotDir()
{
    const char* state = std::getenv("XDG_STATE_HOME");
    if (state && state[0] == '/')
        return std::string(state) + "/quillon/snapshots";
    const char* home = std::getenv("HOME");
    if (home && home[0])
        return std::string(home) + "/.local/state/quillon/snapshots";
    return {};
}

std::string snapshotFileName(const std::string& serialNumber, std::time_t utc)
{
    std::string serial;
    for (char c : serialNumber.substr(0, 64)) {
        const bool safe = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '-' ||
                          c == '_' || c == '.';
        serial += safe ? c : '_';
    }
    if (serial.empty() || serial.find_first_not_of('.') == std::string::npos)
        serial = "unknown";
    std::tm parts{};
    gmtime_r(&utc, &parts);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%dT%H%M%SZ", &parts);
    return serial + "-" + stamp + ".txt";
}

bool writeSnapshot(const ConfigInfo& config, const std::string& dir, std::time_t utc, std::string& path,
                   std::string& error)
{
    for (int i = 0; i < kConfigKeyCount; ++i) {
        if (!paramValueKeptExactly(encodeConfigValue(i, config))) {
            error = std::string("the value of ") + kConfigKeys[static_cast<size_t>(i)] +
                    " cannot be kept exactly in a parameter file";
            return false;
        }
    }
    if (dir.empty()) {
        error = "no folder for snapshots (set XDG_STATE_HOME or HOME, or give --snapshot-dir)";
        return false;
    }
    if (!makePrivateFolder(dir, error))
        return false;
    std::string text = fullParamFileText(config);
    std::string data;
    for (char c : text) {
        if (c == '\n')
            data += '\r';
        data += c;
    }
    const std::string base = snapshotFileName(config.stbSerialNumber, utc);
    for (int attempt = 1; attempt < 100; ++attempt) {
        std::string name = base;
        if (attempt > 1)
            name.insert(name.size() - 4, "-" + std::to_string(attempt));
        const std::string candidate = dir + "/" + name;
        // Passwords are part of the configuration: the file is its owner's alone.
        const int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0 && errno == EEXIST)
            continue;
        if (fd < 0) {
            error = candidate + ": " + std::strerror(errno);
            return false;
        }
        const bool written = writeAll(fd, data) && ::fsync(fd) == 0;
        const int saved = errno;
        if (::close(fd) != 0 || !written) {
            error = candidate + ": " + std::strerror(written ? errno : saved);
            ::unlink(candidate.c_str());
            return false;
        }
        path = candidate;
        return true;
    }
    error = dir + ": too many snapshots of this second";
    return false;
}

int changeConfig(LinkSession& link, const ConfigChanges& changes, const ChangeOptions& options, std::ostream& out,
                 std::ostream& err, bool* unchanged)
{
    if (unchanged)
        *unchanged = false;
    auto read = link.run(ReqConfigInfo(FuncRead));
    auto* baseline = dynamic_cast<ResConfigInfo*>(read.get());
    if (!baseline || baseline->status == STA_ERROR) {
        if (read)
            err << link.failureText(*read) << "\n";
        else
            err << where(link) << loadUiString(300) << "\n";
        return ExitError;
    }
    // Without every value the comparison and the snapshot would be wrong.
    if (baseline->status != STA_OK) {
        err << where(link) << "the configuration could be read only in part, nothing written: " << baseline->message
            << "\n";
        return ExitError;
    }
    ReqConfigInfo write(FuncWrite);
    static_cast<ConfigInfo&>(write) = applyChanges(*baseline, changes);
    write.baseline = baseline;
    const std::vector<int> keys = keysThatTravel(write, *baseline);
    // A box that already holds every value is where the change wanted it: a rerun is a success.
    if (keys.empty()) {
        err << where(link) << "unchanged\n";
        if (unchanged)
            *unchanged = true;
        return ExitOk;
    }
    if (options.dryRun) {
        printChanges(out, write, *baseline, keys);
        return ExitOk;
    }
    if (!options.noSnapshot) {
        std::string path, error;
        const std::string dir = options.snapshotDir.empty() ? defaultSnapshotDir() : options.snapshotDir;
        if (!writeSnapshot(*baseline, dir, std::time(nullptr), path, error)) {
            err << where(link) << "snapshot not saved, nothing written: " << error << "\n";
            return ExitError;
        }
        err << "snapshot: " << path << "\n";
        std::vector<std::string> problems;
        pruneSnapshots(dir, baseline->stbSerialNumber, options.keepSnapshots, path, problems);
        for (const std::string& problem : problems)
            err << "old snapshot not deleted: " << problem << "\n";
    }
    auto r = link.run(write);
    if (!r) {
        err << where(link) << loadUiString(300) << "\n";
        return ExitError;
    }
    const int code = exitCodeOf(*r);
    if (code == ExitError)
        err << link.failureText(*r) << "\n";
    else if (code == ExitPartial)
        err << where(link) << r->message << "\n";
    return code;
}

} // namespace quillon::cli
