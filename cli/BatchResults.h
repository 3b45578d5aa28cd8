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

// How a results file is written: CSV with a title row, or JSON Lines (one object a box, the
// same fields) for log pipelines.
enum class ResultsFormat { Csv, JsonLines };

// The title row of a results file, with its line end.
const char* resultsTitleRow();
// What a results file starts with: the CSV title row, nothing for JSON Lines.
std::string resultsHeader(ResultsFormat format);

// One CSV field: quoted when it holds a separator, a quote or a line end. A text a spreadsheet
// would take as a formula (leading = + - @, tab or CR), or that starts with an apostrophe, gets an
// apostrophe in front, which readResults takes off again.
std::string csvField(std::string_view text);

// One row with its line end.
std::string resultRow(const BoxResult& result);
// One JSON object with its line end; text that is not UTF-8 shows as U+FFFD.
std::string resultJsonLine(const BoxResult& result);
std::string resultRow(const BoxResult& result, ResultsFormat format);

// Every row of a results file in file order, CSV or JSON Lines (told by the first character),
// also several files of either kind concatenated. False with a reason when unreadable, when the
// CSV title row lacks host, port or status, or when a JSON line is not an object with them.
bool readResultRows(const std::string& path, std::vector<BoxResult>& rows, std::string& error);

// The rows of a results file by box (host, port); the last row of a box wins, so files of
// several runs or shards may be concatenated.
using ResultsByBox = std::map<std::pair<std::string, int>, BoxResult>;
bool readResults(const std::string& path, ResultsByBox& results, std::string& error);

} // namespace quillon::cli
