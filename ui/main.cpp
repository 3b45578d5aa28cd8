#include "WindowOptions.h"
#include "untMain.h"

#include <Commandio.h>
#include <Logger.h>
#include <Version.h>

#include <QApplication>
#include <QIcon>
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
    struct sigaction action {
    };
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

// --help and --version answer on the terminal, without a window and without a log.
bool answersOnTerminal(int argc, char* argv[])
{
    for (int i = 1; i < argc; ++i) {
        if (strcmp(argv[i], "--version") == 0) {
            std::printf("quillon %s\n", versionText());
            return true;
        }
        if (strcmp(argv[i], "--help") == 0) {
            std::printf("usage: quillon [--box-modulus HEX|@FILE] [--box-encoding gbk|utf-8] [--live-log-port N]\n"
                        "               [Qt options] | --help | --version\n"
                        "The maintenance window for set-top boxes; see man quillon.\n"
                        "\n"
                        "  --box-modulus HEX|@FILE    the box family's RSA modulus (256 hexadecimal digits)\n"
                        "  --box-encoding gbk|utf-8   the encoding of texts to and from the box (gbk)\n"
                        "  --live-log-port N          the UDP port the live log is received on, 1 to 65535 (514)\n"
                        "  --help                     print this text and exit\n"
                        "  --version                  print the version and exit\n");
            return true;
        }
    }
    return false;
}

} // namespace

int main(int argc, char* argv[])
{
    if (answersOnTerminal(argc, argv))
        return 0;
    Logger& log = Logger::instance();
    log.setFileName(Logger::defaultLogPath(argc > 0 ? argv[0] : nullptr));
    log.info("%s", kLogRuler);
    log.info("quillon begin");

    int status = 0;
    LinkSetup setup;
    std::string error;
    if (!parseWindowOptions(argc, argv, setup, error)) {
        std::fprintf(stderr, "quillon: %s\n", error.c_str());
        log.error("%s", error.c_str());
        status = 2;
    } else {
        std::unique_ptr<QApplication> app;
        try {
            app = std::make_unique<QApplication>(argc, argv);
            // Matches the window to its desktop entry and icon (Wayland app id, task bar).
            QGuiApplication::setDesktopFileName(QStringLiteral("quillon"));
            QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("quillon")));
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
