#include "BatchResults.h"
#include "BatchRunner.h"
#include "BoxList.h"
#include "Command.h"
#include "ShardSource.h"

#include <atomic>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <set>
#include <sstream>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quillon::cli
{

namespace
{

std::atomic<int> g_stops{0};

void onBatchInterrupt(int)
{
    if (g_stops++ == 0) {
        static const char text[] = "\nbatch: stopping: no new box starts, the running ones finish "
                                   "(Ctrl-C again to quit at once)\n";
        [[maybe_unused]] const ssize_t n = ::write(STDERR_FILENO, text, sizeof text - 1);
    }
    std::signal(SIGINT, SIG_DFL);
}

// Commands a batch may run: each ends by itself and asks nothing of the user meanwhile.
const std::set<std::string>& batchCommands()
{
    static const std::set<std::string> names = {"info",      "config",  "set",   "apply",     "cmd",
                                                "play",      "stop",    "trick", "channels",  "export-params",
                                                "logparams", "upgrade", "ping",  "traceroute"};
    return names;
}

// Commands whose first argument is a file each box writes.
bool writesFile(const std::string& name)
{
    return name == "channels" || name == "export-params";
}

bool parseCount(const std::string& text, int low, int high, int& value)
{
    if (text.empty() || text.size() > 6 || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    value = std::stoi(text);
    return value >= low && value <= high;
}

// Raises the soft descriptor limit when the jobs need more; returns the jobs that fit.
int fitJobsToDescriptors(int jobs, std::ostream& err)
{
    // Per box: the link, the image connection, the output file, with room for the process's own.
    constexpr rlim_t kPerBox = 4;
    constexpr rlim_t kReserve = 64;
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return jobs;
    const rlim_t wanted = kReserve + kPerBox * static_cast<rlim_t>(jobs);
    if (limit.rlim_cur != RLIM_INFINITY && limit.rlim_cur < wanted) {
        rlimit raised = limit;
        raised.rlim_cur = limit.rlim_max == RLIM_INFINITY ? wanted : std::min(wanted, limit.rlim_max);
        if (::setrlimit(RLIMIT_NOFILE, &raised) == 0)
            limit = raised;
        if (limit.rlim_cur < wanted) {
            const int fit = limit.rlim_cur > kReserve ? static_cast<int>((limit.rlim_cur - kReserve) / kPerBox) : 1;
            err << "batch: the descriptor limit (" << limit.rlim_cur << ") allows " << std::max(fit, 1)
                << " boxes at a time\n";
            return std::max(fit, 1);
        }
    }
    return jobs;
}

class BatchCommand : public Command
{
public:
    const char* name() const override { return "batch"; }
    const char* usage() const override
    {
        return "batch [--jobs N] [--results FILE] [--results-format csv|jsonl] [--resume FILE] [--output-dir DIR] "
               "[--shard K/N|auto] [--shard-count N] [--keep-snapshots N] [--timeout SECONDS] BOXES COMMAND [ARGS]";
    }
    const char* description() const override
    {
        return "Runs one command on every box of a list, in parallel, with a results file.";
    }
    const char* details() const override
    {
        return "Results: host,port,serial,status,exit,message,seconds; status ok (message \"unchanged\" when\n"
               "set or apply had nothing to change), partial, error, unreachable or auth.\n"
               "With --results-format jsonl: one JSON object a box with the same fields.\n"
               "With --shard auto, K and N come from the job engine: JOB_COMPLETION_INDEX (Kubernetes)\n"
               "with --shard-count or QUILLON_SHARD_COUNT, SLURM_ARRAY_TASK_ID and SLURM_ARRAY_TASK_COUNT\n"
               "(Slurm), or PARALLEL_SEQ (GNU parallel) with --shard-count.\n"
               "Given to batch, --keep-snapshots N goes to set and apply on every box.\n"
               "Exit status: 0 all ok, 3 some failed or stopped, 1 all failed, 2 usage or a bad list.\n";
    }
    bool needsLink() const override { return false; }

    int run(Context& c) override
    {
        BatchSettings settings;
        std::string resultsPath, resumePath;
        int shardK = 0, shardN = 1, shardCount = 0;
        bool shardAuto = false;
        std::string keepSnapshots;
        ResultsFormat format = ResultsFormat::Csv;
        size_t i = 0;
        for (; i < c.args.size() && c.args[i].rfind("--", 0) == 0; ++i) {
            const std::string& option = c.args[i];
            if (i + 1 >= c.args.size()) {
                c.err << "quillon-cli: " << option << " needs a value\n";
                return ExitUsage;
            }
            const std::string& value = c.args[++i];
            int seconds = 0;
            if (option == "--jobs") {
                if (!parseCount(value, 1, 4096, settings.jobs)) {
                    c.err << "quillon-cli: --jobs must be 1 to 4096\n";
                    return ExitUsage;
                }
            } else if (option == "--results") {
                resultsPath = value;
            } else if (option == "--resume") {
                resumePath = value;
            } else if (option == "--output-dir") {
                settings.outputDir = value;
            } else if (option == "--results-format") {
                if (value != "csv" && value != "jsonl") {
                    c.err << "quillon-cli: --results-format must be csv or jsonl\n";
                    return ExitUsage;
                }
                format = value == "csv" ? ResultsFormat::Csv : ResultsFormat::JsonLines;
            } else if (option == "--shard") {
                shardAuto = value == "auto";
                if (!shardAuto && !parseShard(value, shardK, shardN)) {
                    c.err << "quillon-cli: --shard takes K/N with 0 <= K < N, or auto\n";
                    return ExitUsage;
                }
            } else if (option == "--shard-count") {
                if (!parseCount(value, 1, 1000000, shardCount)) {
                    c.err << "quillon-cli: --shard-count must be 1 to 1000000\n";
                    return ExitUsage;
                }
            } else if (option == "--keep-snapshots") {
                int keep = 0;
                if (!parseCount(value, 1, 999999, keep)) {
                    c.err << "quillon-cli: --keep-snapshots must be 1 to 999999\n";
                    return ExitUsage;
                }
                keepSnapshots = value;
            } else if (option == "--timeout") {
                if (!parseCount(value, 1, 3600, seconds)) {
                    c.err << "quillon-cli: --timeout must be 1 to 3600 seconds\n";
                    return ExitUsage;
                }
                settings.timeouts.reply = std::chrono::seconds(seconds);
                settings.timeouts.longReply = std::chrono::seconds(2 * seconds);
            } else {
                c.err << "quillon-cli: unknown batch option " << option << "\n";
                return ExitUsage;
            }
        }
        if (c.args.size() - i < 2)
            return ExitUsage;
        const std::string boxesPath = c.args[i++];
        settings.command = c.args[i++];
        settings.args.assign(c.args.begin() + static_cast<long>(i), c.args.end());
        if (shardCount != 0 && !shardAuto) {
            c.err << "quillon-cli: --shard-count goes with --shard auto\n";
            return ExitUsage;
        }
        if (shardAuto) {
            std::string engine, error;
            if (!shardFromEnvironment([](const char* name) { return std::getenv(name); }, shardCount, shardK, shardN,
                                      engine, error)) {
                c.err << "quillon-cli: " << error << "\n";
                return ExitUsage;
            }
            c.err << "batch: shard " << shardK << "/" << shardN << " (" << engine << ")\n";
        }
        if (!keepSnapshots.empty()) {
            if (settings.command != "set" && settings.command != "apply") {
                c.err << "quillon-cli: --keep-snapshots goes with set and apply\n";
                return ExitUsage;
            }
            settings.args.insert(settings.args.begin(), {"--keep-snapshots", keepSnapshots});
        }

        if (const int refused = checkCommand(c, settings); refused != ExitOk)
            return refused;

        static const GlobalOptions kNone;
        std::vector<BoxEntry> all;
        std::vector<std::string> problems;
        if (!readBoxList(boxesPath, c.globals ? *c.globals : kNone, all, problems)) {
            constexpr size_t kShown = 50;
            for (size_t p = 0; p < std::min(problems.size(), kShown); ++p)
                c.err << "quillon-cli: " << boxesPath << ": " << problems[p] << "\n";
            if (problems.size() > kShown)
                c.err << "quillon-cli: ... and " << problems.size() - kShown << " more\n";
            c.err << "quillon-cli: nothing was sent to any box\n";
            return ExitUsage;
        }
        if (const int refused = checkFileNames(c, settings, all); refused != ExitOk)
            return refused;
        if (const int refused = probeArguments(c, settings, all); refused != ExitOk)
            return refused;
        std::vector<BoxEntry> boxes = shardOf(all, shardK, shardN);

        // Read before the results file is opened: the two may be one file.
        ResultsByBox previous;
        if (!resumePath.empty()) {
            std::string error;
            if (!readResults(resumePath, previous, error)) {
                c.err << "quillon-cli: " << error << "\n";
                return ExitUsage;
            }
        }
        std::vector<BoxResult> carried;
        std::vector<BoxEntry> todo;
        for (const BoxEntry& box : boxes) {
            const auto it = previous.find({box.host, box.port});
            if (it != previous.end() && it->second.status == "ok")
                carried.push_back(it->second);
            else
                todo.push_back(box);
        }

        if (!settings.outputDir.empty()) {
            std::error_code ec;
            std::filesystem::create_directories(settings.outputDir, ec);
            if (ec) {
                c.err << "quillon-cli: " << settings.outputDir << ": " << ec.message() << "\n";
                return ExitError;
            }
        }
        int image = -1;
        if (settings.command == "upgrade" && !todo.empty()) {
            image = openImage(c, settings);
            if (image == -2)
                return ExitError;
            settings.imageFd = image;
        }
        struct ImageCloser {
            int fd;
            ~ImageCloser()
            {
                if (fd >= 0)
                    ::close(fd);
            }
        } imageCloser{image};

        std::ofstream resultsFile;
        if (!resultsPath.empty()) {
            resultsFile.open(resultsPath, std::ios::binary | std::ios::trunc);
            if (!resultsFile) {
                c.err << "quillon-cli: cannot write " << resultsPath << ": " << std::strerror(errno) << "\n";
                return ExitError;
            }
        }
        std::ostream& results = resultsPath.empty() ? c.out : resultsFile;
        results << resultsHeader(format);
        for (const BoxResult& r : carried)
            results << resultRow(r, format);
        results.flush();
        if (!carried.empty())
            c.err << "batch: " << carried.size() << " boxes already ok in " << resumePath << ", skipped\n";

        settings.jobs = fitJobsToDescriptors(settings.jobs, c.err);
        g_stops = 0;
        settings.stopRequested = [] { return g_stops.load() > 0; };
        auto previousHandler = std::signal(SIGINT, onBatchInterrupt);
        BatchRunner runner(settings);
        // Each row is written as its box ends: a batch cut short keeps what it did.
        const BatchSummary summary = runner.run(
            todo, [&](const BoxResult& r) { results << resultRow(r, format) << std::flush; }, c.err);
        std::signal(SIGINT, previousHandler);
        if (!results) {
            c.err << "quillon-cli: the results could not all be written\n";
            return ExitError;
        }
        if (summary.notStarted > 0)
            c.err << "batch: " << summary.notStarted << " boxes not started\n";
        const int ok = summary.ok + static_cast<int>(carried.size());
        if (summary.failed == 0 && summary.partial == 0 && summary.notStarted == 0)
            return ExitOk;
        if (ok == 0 && summary.partial == 0)
            return ExitError;
        return ExitPartial;
    }

private:
    int checkCommand(Context& c, const BatchSettings& settings)
    {
        const std::string& name = settings.command;
        if (name == "ping" && settings.args.size() < 2) {
            c.err << "quillon-cli: batch runs ping only with SECONDS: without them it never ends\n";
            return ExitUsage;
        }
        if (!batchCommands().count(name)) {
            c.err << "quillon-cli: " << name << " cannot run in a batch\n";
            return ExitUsage;
        }
        bool known = false;
        for (const auto& command : allCommands())
            known = known || name == command->name();
        if (!known) {
            c.err << "quillon-cli: unknown command " << name << "\n";
            return ExitUsage;
        }
        if (writesFile(name) && !settings.args.empty() && !hasPlaceholder(settings.args[0])) {
            c.err << "quillon-cli: every box would write " << settings.args[0]
                  << ": put {host} or {serial} in the file name\n";
            return ExitUsage;
        }
        return ExitOk;
    }

    // {host} alone names one file for several boxes on one address (boxes told apart by port).
    int checkFileNames(Context& c, const BatchSettings& settings, const std::vector<BoxEntry>& boxes)
    {
        std::set<std::string> hosts;
        bool repeated = false;
        for (const BoxEntry& box : boxes)
            repeated = repeated || !hosts.insert(box.host).second;
        if (!repeated)
            return ExitOk;
        for (const std::string& arg : settings.args) {
            if (arg.find("{host}") != std::string::npos && arg.find("{port}") == std::string::npos &&
                arg.find("{serial}") == std::string::npos) {
                c.err << "quillon-cli: " << arg << " names one file for the boxes that share an address: add {port}\n";
                return ExitUsage;
            }
        }
        return ExitOk;
    }

    // Runs the command once without a box: arguments it refuses are refused here, before any box
    // is contacted, rather than once per box.
    int probeArguments(Context& c, const BatchSettings& settings, const std::vector<BoxEntry>& boxes)
    {
        bool placeholders = false;
        std::vector<std::string> args;
        const BoxEntry sample = boxes.empty() ? BoxEntry{} : boxes.front();
        for (const std::string& arg : settings.args) {
            placeholders = placeholders || hasPlaceholder(arg);
            args.push_back(expandPlaceholders(arg, sample.host, sample.port, "SERIAL"));
        }
        std::ostringstream err;
        std::ostream discard(nullptr);
        bool wantedLink = false;
        Context probe{args, discard, err,
                      [](Context& p) -> LinkSession* {
                          *static_cast<bool*>(p.owner) = true;
                          return nullptr;
                      },
                      &wantedLink};
        probe.imageFd = -1;
        int code = ExitOk;
        for (auto& command : allCommands()) {
            if (settings.command == command->name())
                code = command->run(probe);
        }
        if (wantedLink || code == ExitOk || (code == ExitError && placeholders))
            return ExitOk; // a per-box file may exist for the boxes even if not for the sample
        c.err << err.str();
        for (auto& command : allCommands()) {
            if (code == ExitUsage && settings.command == command->name())
                c.err << "usage: quillon-cli [options] batch ... BOXES " << command->usage() << "\n";
        }
        c.err << "quillon-cli: nothing was sent to any box\n";
        return code;
    }

    // The image of an upgrade, opened once for every box: -1 when each box names its own, -2
    // (reason on err) when it cannot be read.
    int openImage(Context& c, const BatchSettings& settings)
    {
        for (const std::string& arg : settings.args) {
            if (arg.empty() || arg[0] == '-')
                continue;
            if (hasPlaceholder(arg))
                return -1;
            const int fd = ::open(arg.c_str(), O_RDONLY | O_CLOEXEC);
            struct stat st {
            };
            if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size <= 0) {
                c.err << "quillon-cli: not a readable image: " << arg << "\n";
                if (fd >= 0)
                    ::close(fd);
                return -2;
            }
            return fd;
        }
        return -1;
    }
};

} // namespace

std::unique_ptr<Command> makeBatchCommand()
{
    return std::make_unique<BatchCommand>();
}

} // namespace quillon::cli
