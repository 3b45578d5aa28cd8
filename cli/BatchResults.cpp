#include "BatchResults.h"

#include <WorkbookReader.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>

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

// Length of the well-formed UTF-8 sequence at `i`, 0 when there is none.
size_t utf8Length(std::string_view text, size_t i)
{
    const auto at = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char c = at(i);
    size_t n = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 0;
    if (n == 0 || i + n > text.size() || (n == 2 && c < 0xC2) || (n == 4 && c > 0xF4))
        return 0;
    for (size_t k = 1; k < n; ++k)
        if ((at(i + k) >> 6) != 0x2)
            return 0;
    // No overlong forms, surrogates or code points past U+10FFFF.
    if ((n == 3 && c == 0xE0 && at(i + 1) < 0xA0) || (n == 3 && c == 0xED && at(i + 1) >= 0xA0) ||
        (n == 4 && c == 0xF0 && at(i + 1) < 0x90) || (n == 4 && c == 0xF4 && at(i + 1) >= 0x90))
        return 0;
    return n;
}

std::string jsonString(std::string_view text)
{
    std::string out = "\"";
    for (size_t i = 0; i < text.size();) {
        const char c = text[i];
        const size_t n = utf8Length(text, i);
        if (n == 0) {
            out += "\xEF\xBF\xBD";
            ++i;
            continue;
        }
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (c == '\n') {
            out += "\\n";
        } else if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(static_cast<unsigned char>(c)));
            out += escaped;
        } else {
            out.append(text.substr(i, n));
        }
        i += n;
    }
    return out + "\"";
}

void appendUtf8(std::string& out, unsigned long cp)
{
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// A reader of the flat objects resultJsonLine() writes: string, number, true, false and null
// values only; anything else is refused.
class JsonLine
{
public:
    explicit JsonLine(std::string_view text) : text_(text) {}

    bool parse(std::map<std::string, std::string>& fields)
    {
        blanks();
        if (!take('{'))
            return false;
        blanks();
        if (take('}'))
            return rest();
        for (;;) {
            std::string key, value;
            blanks();
            if (!string(key))
                return false;
            blanks();
            if (!take(':'))
                return false;
            blanks();
            if (!this->value(value))
                return false;
            fields[key] = value;
            blanks();
            if (take('}'))
                return rest();
            if (!take(','))
                return false;
        }
    }

private:
    bool rest()
    {
        blanks();
        return at_ == text_.size();
    }
    void blanks()
    {
        while (at_ < text_.size() && (text_[at_] == ' ' || text_[at_] == '\t' || text_[at_] == '\r'))
            ++at_;
    }
    bool take(char c)
    {
        if (at_ < text_.size() && text_[at_] == c) {
            ++at_;
            return true;
        }
        return false;
    }
    bool hex4(unsigned long& value)
    {
        if (at_ + 4 > text_.size())
            return false;
        value = 0;
        for (int k = 0; k < 4; ++k) {
            const char c = text_[at_++];
            const int d = c >= '0' && c <= '9'   ? c - '0'
                          : c >= 'a' && c <= 'f' ? c - 'a' + 10
                          : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                 : -1;
            if (d < 0)
                return false;
            value = value * 16 + static_cast<unsigned long>(d);
        }
        return true;
    }
    bool string(std::string& out)
    {
        if (!take('"'))
            return false;
        while (at_ < text_.size()) {
            const char c = text_[at_++];
            if (c == '"')
                return true;
            if (static_cast<unsigned char>(c) < 0x20)
                return false;
            if (c != '\\') {
                out += c;
                continue;
            }
            if (at_ >= text_.size())
                return false;
            const char e = text_[at_++];
            switch (e) {
            case '"':
            case '\\':
            case '/':
                out += e;
                break;
            case 'b':
                out += '\b';
                break;
            case 'f':
                out += '\f';
                break;
            case 'n':
                out += '\n';
                break;
            case 'r':
                out += '\r';
                break;
            case 't':
                out += '\t';
                break;
            case 'u': {
                unsigned long cp = 0, low = 0;
                if (!hex4(cp))
                    return false;
                if (cp >= 0xD800 && cp < 0xDC00) {
                    if (!take('\\') || !take('u') || !hex4(low) || low < 0xDC00 || low > 0xDFFF)
                        return false;
                    cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
                } else if (cp >= 0xDC00 && cp < 0xE000) {
                    return false;
                }
                appendUtf8(out, cp);
                break;
            }
            default:
                return false;
            }
        }
        return false;
    }
    bool value(std::string& out)
    {
        if (at_ < text_.size() && text_[at_] == '"')
            return string(out);
        const size_t start = at_;
        while (at_ < text_.size() && std::string_view("0123456789+-.eE").find(text_[at_]) != std::string_view::npos)
            ++at_;
        if (at_ > start) {
            out = std::string(text_.substr(start, at_ - start));
            return true;
        }
        for (const char* word : {"true", "false", "null"}) {
            const std::string_view w(word);
            if (text_.substr(at_, w.size()) == w) {
                at_ += w.size();
                out = w == "null" ? std::string() : std::string(w);
                return true;
            }
        }
        return false;
    }

    std::string_view text_;
    size_t at_ = 0;
};

bool readJsonRows(const std::string& path, const std::string& content, std::vector<BoxResult>& rows, std::string& error)
{
    size_t lineNumber = 0;
    for (size_t start = 0; start < content.size();) {
        size_t end = content.find('\n', start);
        if (end == std::string::npos)
            end = content.size();
        const std::string_view line = std::string_view(content).substr(start, end - start);
        start = end + 1;
        ++lineNumber;
        if (line.find_first_not_of(" \t\r") == std::string_view::npos)
            continue;
        std::map<std::string, std::string> fields;
        JsonLine parser(line);
        if (!parser.parse(fields) || fields["host"].empty() || !fields.count("port") || !fields.count("status")) {
            error =
                path + ": line " + std::to_string(lineNumber) + " is not a results object with host, port and status";
            return false;
        }
        BoxResult r;
        r.host = fields["host"];
        r.port = std::atoi(fields["port"].c_str());
        r.serial = fields["serial"];
        r.status = fields["status"];
        r.exit = std::atoi(fields["exit"].c_str());
        r.message = fields["message"];
        r.seconds = std::atof(fields["seconds"].c_str());
        rows.push_back(std::move(r));
    }
    return true;
}

} // namespace

std::string resultsHeader(ResultsFormat format)
{
    return format == ResultsFormat::Csv ? resultsTitleRow() : "";
}

std::string resultJsonLine(const BoxResult& r)
{
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.3f", r.seconds);
    return "{\"host\":" + jsonString(r.host) + ",\"port\":" + std::to_string(r.port) +
           ",\"serial\":" + jsonString(r.serial) + ",\"status\":" + jsonString(r.status) +
           ",\"exit\":" + std::to_string(r.exit) + ",\"message\":" + jsonString(r.message) + ",\"seconds\":" + seconds +
           "}\n";
}

std::string resultRow(const BoxResult& result, ResultsFormat format)
{
    return format == ResultsFormat::Csv ? resultRow(result) : resultJsonLine(result);
}

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

bool readResultRows(const std::string& path, std::vector<BoxResult>& rows, std::string& error)
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
    const size_t first = content.find_first_not_of(" \t\r\n");
    if (first != std::string::npos && content[first] == '{')
        return readJsonRows(path, content, rows, error);
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
        rows.push_back(std::move(r));
    }
    return true;
}

bool readResults(const std::string& path, ResultsByBox& results, std::string& error)
{
    std::vector<BoxResult> rows;
    if (!readResultRows(path, rows, error))
        return false;
    for (BoxResult& r : rows)
        results[{r.host, r.port}] = std::move(r);
    return true;
}

} // namespace quillon::cli
