#include "Snapshots.h"

#include "ConfigChange.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include <sys/stat.h>

namespace quillon::cli
{

namespace
{

constexpr size_t kStampLength = 16; // YYYYMMDDTHHMMSSZ

bool digits(const std::string& text, size_t from, size_t count)
{
    if (from + count > text.size())
        return false;
    for (size_t i = from; i < from + count; ++i)
        if (text[i] < '0' || text[i] > '9')
            return false;
    return true;
}

// "YYYYMMDDTHHMMSSZ" at `at` of `text`.
bool parseStamp(const std::string& text, size_t at, std::time_t& utc)
{
    if (!digits(text, at, 8) || text[at + 8] != 'T' || !digits(text, at + 9, 6) || text[at + 15] != 'Z')
        return false;
    auto number = [&](size_t from, size_t count) { return std::stoi(text.substr(at + from, count)); };
    std::tm parts{};
    parts.tm_year = number(0, 4) - 1900;
    parts.tm_mon = number(4, 2) - 1;
    parts.tm_mday = number(6, 2);
    parts.tm_hour = number(9, 2);
    parts.tm_min = number(11, 2);
    parts.tm_sec = number(13, 2);
    if (parts.tm_mon > 11 || parts.tm_mday < 1 || parts.tm_mday > 31 || parts.tm_hour > 23 || parts.tm_min > 59 ||
        parts.tm_sec > 60)
        return false;
    utc = timegm(&parts);
    return true;
}

bool newerFirst(const SnapshotFile& a, const SnapshotFile& b)
{
    if (a.utc != b.utc)
        return a.utc > b.utc;
    if (a.attempt != b.attempt)
        return a.attempt > b.attempt;
    return a.path > b.path;
}

} // namespace

bool parseSnapshotName(const std::string& name, SnapshotFile& file)
{
    if (name.size() < kStampLength + 6 || name.compare(name.size() - 4, 4, ".txt") != 0)
        return false;
    const std::string stem = name.substr(0, name.size() - 4);
    // The serial may hold '-' itself: the stamp is found from the end, behind an optional "-N".
    int attempt = 1;
    size_t stampEnd = stem.size();
    const size_t dash = stem.rfind('-');
    if (dash != std::string::npos && dash + 1 < stem.size() && stem.size() - dash - 1 <= 3 &&
        digits(stem, dash + 1, stem.size() - dash - 1) && stem.back() != 'Z') {
        attempt = std::stoi(stem.substr(dash + 1));
        if (attempt < 2)
            return false;
        stampEnd = dash;
    }
    if (stampEnd < kStampLength + 2 || stem[stampEnd - kStampLength - 1] != '-')
        return false;
    std::time_t utc = 0;
    if (!parseStamp(stem, stampEnd - kStampLength, utc))
        return false;
    file.serial = stem.substr(0, stampEnd - kStampLength - 1);
    file.utc = utc;
    file.attempt = attempt;
    return true;
}

std::vector<SnapshotFile> listSnapshots(const std::string& dir, const std::string& serial)
{
    // The serial as snapshotFileName() writes it into the name.
    const std::string stem = serial.empty() ? std::string() : snapshotFileName(serial, 0);
    const std::string wanted = stem.empty() ? std::string() : stem.substr(0, stem.size() - kStampLength - 5);
    std::vector<SnapshotFile> files;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        SnapshotFile file;
        if (!it->is_regular_file(ec) || !parseSnapshotName(it->path().filename().string(), file))
            continue;
        if (!wanted.empty() && file.serial != wanted)
            continue;
        file.path = it->path().string();
        files.push_back(std::move(file));
    }
    std::sort(files.begin(), files.end(), newerFirst);
    return files;
}

bool makePrivateFolder(const std::string& dir, std::string& error)
{
    const std::filesystem::path target = std::filesystem::path(dir).lexically_normal();
    std::filesystem::path path;
    for (const auto& part : target) {
        path /= part;
        if (part.empty() || part == "/" || part == "." || part == "..")
            continue;
        if (::mkdir(path.c_str(), 0700) == 0)
            continue;
        struct stat st {
        };
        if (errno == EEXIST && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
            continue;
        error = path.string() + ": " + (errno == EEXIST ? std::string("not a folder") : std::strerror(errno));
        return false;
    }
    return true;
}

std::vector<std::string> pruneSnapshots(const std::string& dir, const std::string& serial, int keep,
                                        const std::string& written, std::vector<std::string>& problems)
{
    std::vector<std::string> deleted;
    const std::vector<SnapshotFile> files = listSnapshots(dir, serial.empty() ? "unknown" : serial);
    int kept = 0;
    for (const SnapshotFile& file : files) {
        if (file.path == written || kept < keep) {
            ++kept;
            continue;
        }
        std::error_code ec;
        if (std::filesystem::remove(file.path, ec))
            deleted.push_back(file.path);
        else if (ec)
            problems.push_back(file.path + ": " + ec.message());
    }
    return deleted;
}

} // namespace quillon::cli
