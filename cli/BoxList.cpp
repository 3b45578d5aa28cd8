#include "BoxList.h"

#include "Command.h"

#include <Session.h>
#include <WorkbookReader.h>

#include <map>
#include <set>
#include <utility>

#include <arpa/inet.h>

namespace quillon::cli
{

namespace
{

std::string lowered(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return text;
}

// Whole decimal numbers only: "9003", not "9003abc" or "+9003".
bool parsePort(const std::string& text, int& port)
{
    if (text.empty() || text.size() > 5)
        return false;
    int value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + (c - '0');
    }
    if (value < 1 || value > 65535)
        return false;
    port = value;
    return true;
}

bool isIpv4(const std::string& text)
{
    in_addr address{};
    return !text.empty() && ::inet_pton(AF_INET, text.c_str(), &address) == 1;
}

// What a cell may show in a message: it came from a file and may hold anything.
std::string shown(const std::string& cell)
{
    std::string text = cell.substr(0, 60);
    for (char& c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7f)
            c = '?';
    }
    return "\"" + text + (cell.size() > 60 ? "...\"" : "\"");
}

} // namespace

bool readBoxList(const std::string& path, const GlobalOptions& defaults, std::vector<BoxEntry>& boxes,
                 std::vector<std::string>& problems)
{
    boxes.clear();
    Sheet sheet(64);
    std::string error;
    if (!readWorkbook(path, sheet, error)) {
        problems.push_back(path + ": " + error);
        return false;
    }
    std::map<std::string, int> columns;
    for (int c = 1; c <= std::min(sheet.columns(), sheet.keptColumns()); ++c) {
        const std::string title = lowered(trimmed(sheet.cell(1, c)));
        if (title != "host" && title != "port" && title != "user" && title != "password" && title != "modulus")
            continue;
        if (!columns.emplace(title, c).second)
            problems.push_back(path + ": the column " + title + " appears twice");
    }
    if (!columns.count("host"))
        problems.push_back(path + ": row 1 has no column titled host");
    if (!problems.empty())
        return false;
    auto cellOf = [&](int row, const char* title) -> std::string {
        const auto it = columns.find(title);
        if (it == columns.end())
            return {};
        // Passwords are taken as typed; blanks around the other cells are the spreadsheet's.
        const std::string& text = sheet.cell(row, it->second);
        return std::string(title) == "password" ? text : trimmed(text);
    };

    std::map<std::pair<std::string, int>, int> seen; // box -> sheet row
    std::map<std::string, int> hostCount;
    for (int row = 2; row <= sheet.rows(); ++row) {
        bool blank = true;
        for (const auto& column : columns)
            blank = blank && sheet.cell(row, column.second).empty();
        if (blank)
            continue; // a spacer row, not a box
        const std::string where = "row " + std::to_string(row) + ": ";
        BoxEntry box;
        box.index = row - 2;
        box.sheetRow = row;
        box.host = cellOf(row, "host");
        box.port = defaults.port;
        box.user = defaults.user;
        box.password = defaults.password;
        box.modulusHex = defaults.modulusHex;
        bool good = true;
        auto bad = [&](const std::string& why) {
            problems.push_back(where + why);
            good = false;
        };
        if (box.host.empty())
            bad("no host");
        else if (!isIpv4(box.host))
            bad("the host " + shown(box.host) + " is not an IPv4 address");
        if (const std::string port = cellOf(row, "port"); !port.empty() && !parsePort(port, box.port))
            bad("the port " + shown(port) + " is not 1 to 65535");
        if (const std::string user = cellOf(row, "user"); !user.empty())
            box.user = user;
        if (const std::string password = cellOf(row, "password"); !password.empty())
            box.password = password;
        else if (!defaults.passwordGiven)
            bad("no password (give --password, QUILLON_PASSWORD or a password column)");
        if (box.user.empty())
            bad("no user (give --user or a user column)");
        if (const std::string modulus = cellOf(row, "modulus"); !modulus.empty()) {
            // A cell never names a file to read: only the digits themselves.
            if (!isValidModulusHex(modulus))
                bad("the modulus is not 256 hexadecimal digits");
            else
                box.modulusHex = modulus;
        }
        if (good) {
            const auto [it, fresh] = seen.emplace(std::make_pair(box.host, box.port), row);
            if (!fresh) {
                bad(box.host + ":" + std::to_string(box.port) + " is already listed in row " +
                    std::to_string(it->second));
            } else {
                ++hostCount[box.host];
                boxes.push_back(std::move(box));
            }
        }
    }
    for (BoxEntry& box : boxes)
        box.label = hostCount[box.host] > 1 ? box.host + "_" + std::to_string(box.port) : box.host;
    if (!problems.empty()) {
        boxes.clear();
        return false;
    }
    return true;
}

bool parseShard(const std::string& text, int& k, int& n)
{
    const size_t slash = text.find('/');
    if (slash == std::string::npos)
        return false;
    int kk = 0;
    int nn = 0;
    // Reuses the port rule: whole numbers without signs, small enough for any fleet split.
    const std::string left = text.substr(0, slash);
    const std::string right = text.substr(slash + 1);
    if (left == "0")
        kk = 0;
    else if (!parsePort(left, kk))
        return false;
    if (!parsePort(right, nn) || kk >= nn)
        return false;
    k = kk;
    n = nn;
    return true;
}

std::vector<BoxEntry> shardOf(const std::vector<BoxEntry>& boxes, int k, int n)
{
    std::vector<BoxEntry> part;
    for (const BoxEntry& box : boxes) {
        if (box.index % n == k)
            part.push_back(box);
    }
    return part;
}

} // namespace quillon::cli
