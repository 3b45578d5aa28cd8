#include "BatchResults.h"

#include <WorkbookReader.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace quillon::cli
{

namespace
{

bool needsApostrophe(std::string_view text)
{
    if (text.empty())
        return false;
    switch (text.front()) {
    case '=':
    case '+':
    case '-':
    case '@':
    case '\t':
    case '\r':
    case '\'':
        return true;
    default:
        return false;
    }
}

std::string unescaped(const std::string& cell)
{
    return cell.size() > 1 && cell.front() == '\'' ? cell.substr(1) : cell;
}

} // namespace

const char* resultsTitleRow()
{
    return "host,port,serial,status,exit,message,seconds\n";
}

std::string csvField(std::string_view text)
{
    const bool formula = needsApostrophe(text);
    const bool quote = formula || text.find_first_of(",\"\r\n") != std::string_view::npos ||
                       (!text.empty() && (text.front() == ' ' || text.back() == ' '));
    if (!quote)
        return std::string(text);
    std::string field = "\"";
    if (formula)
        field += '\'';
    for (char c : text) {
        if (c == '"')
            field += '"';
        field += c;
    }
    field += '"';
    return field;
}

std::string resultRow(const BoxResult& r)
{
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.3f", r.seconds);
    return csvField(r.host) + "," + std::to_string(r.port) + "," + csvField(r.serial) + "," + csvField(r.status) + "," +
           std::to_string(r.exit) + "," + csvField(r.message) + "," + seconds + "\n";
}

bool readResults(const std::string& path, ResultsByBox& results, std::string& error)
{
    std::error_code ec;
    const auto size = std::filesystem::file_size(path, ec);
    if (ec) {
        error = path + ": " + ec.message();
        return false;
    }
    if (size > kMaxWorkbookBytes) {
        error = path + ": too large for a results file";
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    const std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in && !in.eof()) {
        error = path + ": cannot be read";
        return false;
    }
    Sheet sheet(16);
    if (!readCsvWorkbook(content, sheet, error)) {
        error = path + ": " + error;
        return false;
    }
    const char* titles[] = {"host", "port", "serial", "status", "exit", "message", "seconds"};
    int column[7] = {};
    for (int c = 1; c <= std::min(sheet.columns(), sheet.keptColumns()); ++c) {
        for (int t = 0; t < 7; ++t) {
            if (trimmed(sheet.cell(1, c)) == titles[t] && column[t] == 0)
                column[t] = c;
        }
    }
    if (!column[0] || !column[1] || !column[3]) {
        error = path + ": not a results file (its title row lacks host, port or status)";
        return false;
    }
    for (int row = 2; row <= sheet.rows(); ++row) {
        const std::string host = trimmed(sheet.cell(row, column[0]));
        // Concatenated files repeat their title rows; those are not boxes.
        if (host.empty() || host == "host")
            continue;
        BoxResult r;
        r.host = host;
        r.port = std::atoi(sheet.cell(row, column[1]).c_str());
        r.serial = column[2] ? unescaped(sheet.cell(row, column[2])) : std::string();
        r.status = trimmed(sheet.cell(row, column[3]));
        r.exit = column[4] ? std::atoi(sheet.cell(row, column[4]).c_str()) : 0;
        r.message = column[5] ? unescaped(sheet.cell(row, column[5])) : std::string();
        r.seconds = column[6] ? std::atof(sheet.cell(row, column[6]).c_str()) : 0;
        results[{r.host, r.port}] = std::move(r);
    }
    return true;
}

} // namespace quillon::cli
