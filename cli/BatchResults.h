#pragma once

#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quillon::cli
{

// The outcome of one box of a batch, one row of the results file.
struct BoxResult {
    std::string host;
    int port = 0;
    std::string serial;
    std::string status; // ok, partial, error, unreachable, auth
    int exit = 0;
    std::string message;
    double seconds = 0;
};

// The title row of a results file, with its line end.
const char* resultsTitleRow();

// One CSV field: quoted when it holds a separator, a quote or a line end. A text a spreadsheet
// would take as a formula (leading = + - @, tab or CR), or that starts with an apostrophe, gets an
// apostrophe in front, which readResults takes off again.
std::string csvField(std::string_view text);

// One row with its line end.
std::string resultRow(const BoxResult& result);

// The rows of a results file by box (host, port); the last row of a box wins, so files of
// several runs or shards may be concatenated. False with a reason when unreadable or when the
// title row lacks host, port or status.
using ResultsByBox = std::map<std::pair<std::string, int>, BoxResult>;
bool readResults(const std::string& path, ResultsByBox& results, std::string& error);

} // namespace quillon::cli
