#pragma once

#include <ctime>
#include <string>
#include <vector>

namespace quillon::cli
{

// One snapshot file as its name describes it: "SERIAL-YYYYMMDDTHHMMSSZ[-N].txt".
struct SnapshotFile {
    std::string path;
    std::string serial; // as it stands in the name (made safe for a file name)
    std::time_t utc = 0;
    int attempt = 1; // the N of a second snapshot of the same box in the same second
};

// Reads a snapshot file name; false for any other name.
bool parseSnapshotName(const std::string& name, SnapshotFile& file);

// The snapshots in `dir`, newest first; only those of `serial` when it is not empty (the serial
// as the box gives it or as the file name holds it). A missing folder has none.
std::vector<SnapshotFile> listSnapshots(const std::string& dir, const std::string& serial);

// Creates `dir` and every missing parent with mode 0700: snapshots hold passwords. Folders that
// already exist are left as they are. False with the reason.
bool makePrivateFolder(const std::string& dir, std::string& error);

// Deletes the oldest snapshots of `serial` in `dir` beyond the newest `keep`; `written` (the one
// just saved) is never among them. Returns the paths deleted; a file that could not be deleted
// is named in `problems`.
std::vector<std::string> pruneSnapshots(const std::string& dir, const std::string& serial, int keep,
                                        const std::string& written, std::vector<std::string>& problems);

} // namespace quillon::cli
