#include "BatchResults.h"
#include "Command.h"
#include "LinkSession.h"

#include <map>
#include <ostream>

namespace quillon::cli
{

namespace
{

// The statuses a batch writes, in the order the totals list them; others follow by name.
int statusRank(const std::string& status)
{
    static const char* const order[] = {"ok", "partial", "error", "unreachable", "auth"};
    for (int i = 0; i < 5; ++i)
        if (status == order[i])
            return i;
    return 5;
}

std::string boxName(const BoxResult& r)
{
    return terminalSafe(r.host) + ":" + std::to_string(r.port);
}

// Sums up results files of one or several runs or shards: totals per status, every box that is
// not ok with its message, and the boxes that appear more than once (the latest row counts).
class BatchReportCommand : public Command
{
public:
    const char* name() const override { return "batch-report"; }
    const char* usage() const override { return "batch-report RESULTS..."; }
    const char* description() const override
    {
        return "Sums up batch results files: totals per status, the boxes not ok, boxes listed twice.";
    }
    const char* details() const override
    {
        return "Reads CSV and JSON Lines results files, also concatenated; a box's latest row counts.\n"
               "Exit status: 0 when every box is ok, 3 when some box is not, 1 when a file cannot be read.\n";
    }
    bool needsLink() const override { return false; }
    int run(Context& c) override
    {
        if (c.args.empty())
            return ExitUsage;
        for (const std::string& arg : c.args)
            if (arg.rfind("--", 0) == 0)
                return ExitUsage;
        // Later files and later rows win: a rerun's file is named after the first run's.
        std::map<std::pair<std::string, int>, BoxResult> latest;
        std::map<std::pair<std::string, int>, int> seen;
        std::vector<std::pair<std::string, int>> order; // first appearance
        for (const std::string& path : c.args) {
            std::vector<BoxResult> rows;
            std::string error;
            if (!readResultRows(path, rows, error)) {
                c.err << "quillon-cli: " << error << "\n";
                return ExitError;
            }
            for (BoxResult& r : rows) {
                const auto key = std::make_pair(r.host, r.port);
                if (seen[key]++ == 0)
                    order.push_back(key);
                latest[key] = std::move(r);
            }
        }
        if (latest.empty()) {
            c.err << "quillon-cli: no box in the results\n";
            return ExitError;
        }
        std::map<std::pair<int, std::string>, int> totals;
        int unchanged = 0;
        for (const auto& [key, r] : latest) {
            ++totals[{statusRank(r.status), r.status}];
            unchanged += r.status == "ok" && r.message == "unchanged";
        }
        for (const auto& [rank, count] : totals) {
            c.out << terminalSafe(rank.second) << ": " << count;
            if (rank.second == "ok" && unchanged > 0)
                c.out << " (" << unchanged << " unchanged)";
            c.out << "\n";
        }
        c.out << "boxes: " << latest.size() << "\n";

        bool allOk = true;
        for (const auto& key : order) {
            const BoxResult& r = latest[key];
            if (r.status == "ok")
                continue;
            if (allOk)
                c.out << "\nnot ok:\n";
            allOk = false;
            const std::string message = r.message.substr(0, r.message.find('\n'));
            c.out << "  " << boxName(r) << (r.serial.empty() ? "" : " " + terminalSafe(r.serial)) << " "
                  << terminalSafe(r.status) << (message.empty() ? "" : ": " + terminalSafe(message)) << "\n";
        }
        bool header = false;
        for (const auto& key : order) {
            if (seen[key] < 2)
                continue;
            if (!header)
                c.out << "\nlisted more than once (the latest row counts):\n";
            header = true;
            c.out << "  " << boxName(latest[key]) << ": " << seen[key] << " rows, latest "
                  << terminalSafe(latest[key].status) << "\n";
        }
        return allOk ? ExitOk : ExitPartial;
    }
};

} // namespace

std::unique_ptr<Command> makeBatchReportCommand()
{
    return std::make_unique<BatchReportCommand>();
}

} // namespace quillon::cli
