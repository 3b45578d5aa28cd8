#include "StbSimulator.h"

#include <Logger.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>
#include <thread>

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
                 "                      [--state FILE] [--param-bytes N] [--line-pace MS]\n"
                 "                      [--log-rate N] [--log-port N]\n"
                 "A simulated set-top box on the link protocol (default 127.0.0.1:9003, user "
              << kDefaultUser << ", password " << kDefaultPassword << ").\n";
}

} // namespace

int main(int argc, char* argv[])
{
    Logger::instance().setFileName(Logger::defaultLogPath(argv[0]));
    SimOptions options;
    options.quiet = false;
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
    StbSimulator box(options);
    std::string error;
    if (!box.start(&error)) {
        std::cerr << "quillon-stbsim: " << error << "\n";
        return 1;
    }
    std::cout << "quillon-stbsim listening on " << options.listenAddress << ":" << box.port() << std::endl;
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    while (!g_stop)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    box.stop();
    return 0;
}
