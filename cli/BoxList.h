#pragma once

#include <string>
#include <vector>

namespace quillon::cli
{

struct GlobalOptions;

// One box of a batch list, with the global options filled in where the row leaves a cell empty.
struct BoxEntry {
    int index = 0; // data row counted from 0 (row 2 of the sheet is 0), the basis of --shard
    int sheetRow = 0;
    std::string host;
    int port = 9003;
    std::string user;
    std::string password;
    std::string modulusHex;
    std::string label; // file name stem: the host, or host_port when the host is listed twice
};

// Reads a list of boxes (.csv, .xls, .xlsx, .ods): row 1 holds the titles, `host` is needed,
// `port`, `user`, `password` and `modulus` are optional. Every bad row is named in `problems`
// (no host, an address that is not IPv4, a bad port or modulus, a repeated box, missing
// credentials); false when the file cannot be read or any row is bad, so nothing is sent to any
// box of a list that is partly wrong.
bool readBoxList(const std::string& path, const GlobalOptions& defaults, std::vector<BoxEntry>& boxes,
                 std::vector<std::string>& problems);

// "K/N" with 0 <= K < N; false when malformed.
bool parseShard(const std::string& text, int& k, int& n);

// The boxes whose index modulo n is k.
std::vector<BoxEntry> shardOf(const std::vector<BoxEntry>& boxes, int k, int n);

} // namespace quillon::cli
