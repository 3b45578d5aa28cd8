#include "untMain.h"

#include <Commandio.h>
#include <LinkService.h>
#include <Logger.h>

#include <QApplication>
#include <QMessageBox>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <sys/socket.h>
#include <unistd.h>
#include <exception>
#include <memory>

using namespace quillon;

namespace
{

void showException(bool haveApp, const QString& text)
{
    if (haveApp)
        QMessageBox::critical(nullptr, QString(), text);
}

// Ctrl-C or a termination request closes the window as the user would, so the link is taken
// down, the threads are joined and the log ends with its closing lines.
int g_signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_signalPipe[1], &byte, 1);
}

void closeOnSignals(QWidget& window)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, g_signalPipe) != 0)
        return;
    auto* notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, &window);
    QObject::connect(notifier, &QSocketNotifier::activated, &window, [&window] {
        char byte;
        [[maybe_unused]] const ssize_t n = ::read(g_signalPipe[0], &byte, 1);
        window.close();
    });
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

// --live-log-port N: 1 to 65535.
bool parseLiveLogPort(const std::string& value, LinkSetup& setup, std::string& error)
{
    char* end = nullptr;
    const long port = std::strtol(value.c_str(), &end, 10);
    if (value.empty() || *end != '\0' || port < 1 || port > 65535) {
        error = "--live-log-port must be 1 to 65535";
        return false;
    }
    setup.liveLogPort = static_cast<uint16_t>(port);
    return true;
}

// Reads --box-modulus HEX|@FILE (also --box-modulus=...) and --live-log-port N. False with a
// reason when an option is malformed; Qt's own options are left for QApplication.
bool parseOptions(int argc, char* argv[], LinkSetup& setup, std::string& error)
{
    const char* const name = "--box-modulus";
    const size_t nameLength = strlen(name);
    for (int i = 1; i < argc; ++i) {
        std::string value;
        if (strcmp(argv[i], "--live-log-port") == 0) {
            if (i + 1 >= argc || !parseLiveLogPort(argv[++i], setup, error)) {
                error = "--live-log-port must be 1 to 65535";
                return false;
            }
            continue;
        }
        if (strcmp(argv[i], name) == 0) {
            if (i + 1 >= argc) {
                error = "--box-modulus needs a value: 256 hexadecimal digits or @FILE";
                return false;
            }
            value = argv[++i];
        } else if (strncmp(argv[i], name, nameLength) == 0 && argv[i][nameLength] == '=') {
            value = argv[i] + nameLength + 1;
        } else {
            continue;
        }
        if (!parseBoxModulusOption(value, setup.boxModulusHex, error))
            return false;
    }
    return true;
}

} // namespace

int main(int argc, char* argv[])
{
    Logger& log = Logger::instance();
    log.setFileName(Logger::defaultLogPath(argc > 0 ? argv[0] : nullptr));
    log.info("%s", kLogRuler);
    log.info("quillon begin");

    int status = 0;
    LinkSetup setup;
    std::string error;
    if (!parseOptions(argc, argv, setup, error)) {
        std::fprintf(stderr, "quillon: %s\n", error.c_str());
        log.error("%s", error.c_str());
        status = 2;
    } else {
        std::unique_ptr<QApplication> app;
        try {
            app = std::make_unique<QApplication>(argc, argv);
            // The queues exist before the window: creating it starts the worker, which waits on them.
            Commandio queues;
            TfrmMain window(queues, setup);
            closeOnSignals(window);
            window.show();
            app->exec();
        } catch (const std::exception& e) {
            log.error("%s", e.what());
            showException(app != nullptr, QString::fromLocal8Bit(e.what()));
            status = 1;
        } catch (...) {
            log.error("unknown error");
            showException(app != nullptr, QStringLiteral("unknown error"));
            status = 1;
        }
        app.reset();
    }

    log.info("quillon end");
    log.info("%s", kLogRuler);
    return status;
}
