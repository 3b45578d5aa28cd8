#include "SimFleet.h"
#include "StbSimulator.h"

#include <Logger.h>
#include <Version.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>
#include <thread>

#include <sys/resource.h>

using namespace quillon;
using namespace quillon::sim;

namespace {

volatile std::sig_atomic_t g_stop = 0;

void onSignal(int)
{
    g_stop = 1;
}

void usage()
{
    std::cout << "usage: quillon-stbsim [--listen ADDR:PORT] [--user NAME] [--password PW] [--channels N]\n"
                 "                      [--state FILE] [--param-bytes N] [--line-pace MS] [--gbk-values] [--android]\n"
                 "                      [--boxes N] [--latency MS] [--faulty K] [--log-rate N] [--log-port N]\n"
                 "                      | --help | --version\n"
                 "A simulated set-top box on the link protocol (default 127.0.0.1:9003, user "
              << kDefaultUser << ", password " << kDefaultPassword << ").\n"
                 "--boxes N serves N boxes on 127.0.0.1, 127.0.0.2, ... at port 9003, or with --listen on\n"
                 "consecutive ports of ADDR; {n} in --user and --password is the box's number. --latency\n"
                 "delays every reply; --faulty K makes K boxes silent, refuse the password, drop the link\n"
                 "or refuse some reads, in turn.\n";
}

// A fleet holds a listener and a connection per box: more descriptors than a shell's default.
void raiseDescriptorLimit()
{
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &limit);
    }
}

int readCount(const std::string& option, const std::string& text, int low, int high)
{
    char* end = nullptr;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end || value < low || value > high) {
        std::cerr << "quillon-stbsim: " << option << " must be " << low << " to " << high << "\n";
        std::exit(2);
    }
    return static_cast<int>(value);
}

} // namespace

int main(int argc, char* argv[])
{
    Logger::instance().setFileName(Logger::defaultLogPath(argv[0]));
    SimOptions options;
    options.quiet = false;
    int boxes = 0;
    int faulty = 0;
    bool listenGiven = false;
    options.logRate = 20; // the demo's live log, once the log parameters switch it on
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto next = [&]() -> std::string {
            if (i + 1 >= argc) {
                std::cerr << "quillon-stbsim: " << arg << " needs a value\n";
                std::exit(2);
            }
            return argv[++i];
        };
        if (arg == "--listen") {
            const std::string v = next();
            const size_t colon = v.rfind(':');
            if (colon == std::string::npos) {
                std::cerr << "quillon-stbsim: --listen takes ADDR:PORT\n";
                return 2;
            }
            options.listenAddress = v.substr(0, colon);
            options.port = std::atoi(v.c_str() + colon + 1);
            listenGiven = true;
        } else if (arg == "--boxes") {
            boxes = readCount(arg, next(), 1, 100000);
        } else if (arg == "--latency") {
            options.replyLatency = std::chrono::milliseconds(readCount(arg, next(), 0, 600000));
        } else if (arg == "--faulty") {
            faulty = readCount(arg, next(), 0, 100000);
        } else if (arg == "--user") {
            options.user = next();
        } else if (arg == "--password") {
            options.password = next();
        } else if (arg == "--channels") {
            options.channels = std::atoi(next().c_str());
        } else if (arg == "--state") {
            options.stateFile = next();
        } else if (arg == "--param-bytes") {
            options.paramListBytes = std::strtoul(next().c_str(), nullptr, 10);
        } else if (arg == "--line-pace") {
            options.linePace = std::chrono::milliseconds(std::atoi(next().c_str()));
        } else if (arg == "--gbk-values") {
            options.gbkValues = true;
        } else if (arg == "--android") {
            options.android = true;
        } else if (arg == "--version") {
            std::cout << "quillon-stbsim " << versionText() << "\n";
            return 0;
        } else if (arg == "--log-rate") {
            options.logRate = std::atoi(next().c_str());
        } else if (arg == "--log-port") {
            const int port = std::atoi(next().c_str());
            if (port < 1 || port > 65535) {
                std::cerr << "quillon-stbsim: --log-port must be 1 to 65535\n";
                return 2;
            }
            options.logPort = static_cast<uint16_t>(port);
        } else if (arg == "--help" || arg == "-h") {
            usage();
            return 0;
        } else {
            std::cerr << "quillon-stbsim: unknown option " << arg << "\n";
            usage();
            return 2;
        }
    }
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    if (boxes == 0 && faulty == 0) {
        StbSimulator box(options);
        std::string error;
        if (!box.start(&error)) {
            std::cerr << "quillon-stbsim: " << error << "\n";
            return 1;
        }
        std::cout << "quillon-stbsim listening on " << options.listenAddress << ":" << box.port() << std::endl;
        while (!g_stop)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        box.stop();
        return 0;
    }

    raiseDescriptorLimit();
    FleetOptions fleetOptions;
    fleetOptions.boxes = std::max(boxes, 1);
    fleetOptions.faulty = faulty;
    fleetOptions.firstAddress = options.listenAddress;
    fleetOptions.port = options.port;
    fleetOptions.consecutivePorts = listenGiven;
    options.keptImageBytes = 4096; // a fleet keeps the header, not a megabyte a box
    fleetOptions.box = options;
    SimFleet fleet(fleetOptions);
    std::string error;
    if (!fleet.start(&error)) {
        std::cerr << "quillon-stbsim: " << error << "\n";
        return 1;
    }
    const size_t last = fleet.size() - 1;
    std::cout << "quillon-stbsim: " << fleet.size() << " boxes listening on " << fleet.address(0) << ":"
              << fleet.port(0);
    if (last > 0)
        std::cout << " to " << fleet.address(last) << ":" << fleet.port(last);
    std::cout << std::endl;
    for (size_t i = 0; i < fleet.size(); ++i) {
        if (fleet.fault(i) != FleetFault::None)
            std::cout << "  box " << i + 1 << " at " << fleet.address(i) << ":" << fleet.port(i) << " "
                      << fleetFaultName(fleet.fault(i)) << std::endl;
    }
    while (!g_stop)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    fleet.stop();
    return 0;
}
