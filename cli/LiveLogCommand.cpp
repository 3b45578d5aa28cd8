#include "Command.h"

#include <BoxText.h>
#include <LiveLogReceiver.h>

#include <atomic>
#include <csignal>
#include <cstdlib>
#include <ostream>

#include <arpa/inet.h>

namespace quillon::cli
{

namespace
{

std::atomic<bool> g_stop{false};

void onStopSignal(int)
{
    g_stop = true;
}

bool parsePort(const std::string& text, uint16_t& port)
{
    char* end = nullptr;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || value < 0 || value > 65535)
        return false;
    port = static_cast<uint16_t>(value);
    return true;
}

// The text of a datagram for the terminal: box text as UTF-8, control characters other than
// line feeds and tabs shown as '?', so the box cannot drive the terminal; one line at least.
std::string shownText(const std::string& text)
{
    std::string shown = fromBox(text);
    for (char& c : shown) {
        const auto u = static_cast<unsigned char>(c);
        if ((u < 0x20 && c != '\t' && c != '\n') || u == 0x7f)
            c = '?';
    }
    if (shown.empty() || shown.back() != '\n')
        shown += '\n';
    return shown;
}

// livelog: receives the box's live log as the window does, prints each datagram as it arrives
// and writes the same two files. Ctrl-C ends it with a summary on standard error.
class LiveLogCommand : public Command
{
public:
    const char* name() const override { return "livelog"; }
    const char* usage() const override
    {
        return "livelog [--port N] [--bind ADDR] [--out FILE] [--filtered-out FILE] [--filter WORD]...";
    }
    const char* description() const override
    {
        return "Receives the box's live log on UDP and prints it, writing the log files.";
    }
    bool needsLink() const override { return false; }

    int run(Context& c) override
    {
        LiveLogReceiver::Options options;
        std::string liveFile;
        std::string filteredFile;
        std::vector<std::string> words;
        for (size_t i = 0; i < c.args.size(); ++i) {
            const std::string& arg = c.args[i];
            if (i + 1 >= c.args.size()) {
                c.err << "quillon-cli: livelog: " << arg << (arg.rfind("--", 0) == 0 ? " needs a value\n" : "?\n");
                return ExitUsage;
            }
            const std::string& value = c.args[++i];
            if (arg == "--port" || arg == "--live-log-port") {
                if (!parsePort(value, options.port)) {
                    c.err << "quillon-cli: livelog: --port must be 0 to 65535\n";
                    return ExitUsage;
                }
            } else if (arg == "--bind") {
                // Checked here, before the output files are opened (and so emptied).
                in_addr address{};
                if (::inet_pton(AF_INET, value.c_str(), &address) != 1) {
                    c.err << "quillon-cli: livelog: --bind must be an IPv4 address: " << value << "\n";
                    return ExitUsage;
                }
                options.bindAddress = value;
            } else if (arg == "--out") {
                liveFile = value;
            } else if (arg == "--filtered-out") {
                filteredFile = value;
            } else if (arg == "--filter") {
                if (value.empty()) {
                    c.err << "quillon-cli: livelog: --filter needs a word\n";
                    return ExitUsage;
                }
                words.push_back(value);
            } else {
                c.err << "quillon-cli: livelog: unknown option " << arg << "\n";
                return ExitUsage;
            }
        }

        LiveLogReceiver receiver;
        if (!receiver.openLiveFile(liveFile)) {
            c.err << "quillon-cli: can't open live log file:" << liveFile << "\n";
            return ExitError;
        }
        if (!receiver.openFilteredFile(filteredFile)) {
            c.err << "quillon-cli: can't open filter save log file:" << filteredFile << "\n";
            return ExitError;
        }
        receiver.setFilter(LogFilter(words), 1);
        std::string reason;
        g_stop = false;
        auto previousInt = std::signal(SIGINT, onStopSignal);
        auto previousTerm = std::signal(SIGTERM, onStopSignal);
        if (!receiver.start(options, &reason)) {
            std::signal(SIGINT, previousInt);
            std::signal(SIGTERM, previousTerm);
            c.err << "quillon-cli: " << reason << "\n";
            return ExitError;
        }
        c.err << "receiving the live log on UDP port " << receiver.port() << " (receive buffer "
              << receiver.receiveBufferObtained() << " bytes); Ctrl-C ends" << std::endl;

        std::vector<LiveLogRow> rows;
        auto print = [&] {
            for (const LiveLogRow& row : rows)
                c.out << shownText(row.text);
            if (!rows.empty())
                c.out.flush();
            rows.clear();
        };
        while (!g_stop) {
            receiver.takeRows(rows, std::chrono::milliseconds(200));
            print();
        }
        receiver.stop();
        receiver.takeRows(rows);
        print();
        std::signal(SIGINT, previousInt);
        std::signal(SIGTERM, previousTerm);

        const LiveLogStats s = receiver.stats();
        c.err << "received " << s.received << ", dropped by the kernel " << s.kernelDropped << ", bytes " << s.bytes;
        if (s.oversized > 0)
            c.err << ", too long " << s.oversized;
        if (s.notShown > 0)
            c.err << ", not printed " << s.notShown;
        c.err << std::endl;
        return ExitOk;
    }
};

} // namespace

std::unique_ptr<Command> makeLiveLogCommand()
{
    return std::make_unique<LiveLogCommand>();
}

} // namespace quillon::cli
