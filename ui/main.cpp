#include "untMain.h"

#include <Commandio.h>
#include <Logger.h>

#include <QApplication>
#include <QMessageBox>

#include <exception>
#include <memory>

using namespace quillon;

namespace {

void showException(bool haveApp, const QString& text)
{
    if (haveApp)
        QMessageBox::critical(nullptr, QString(), text);
}

} // namespace

int main(int argc, char* argv[])
{
    Logger& log = Logger::instance();
    log.setFileName(Logger::defaultLogPath(argc > 0 ? argv[0] : nullptr));
    log.info("%s", kLogRuler);
    log.info("quillon begin");

    std::unique_ptr<QApplication> app;
    try {
        app = std::make_unique<QApplication>(argc, argv);
        // The queues exist before the window: creating it starts the worker, which waits on them.
        Commandio queues;
        TfrmMain window(queues);
        window.show();
        app->exec();
    } catch (const std::exception& e) {
        log.error("%s", e.what());
        showException(app != nullptr, QString::fromLocal8Bit(e.what()));
    } catch (...) {
        log.error("unknown error");
        showException(app != nullptr, QStringLiteral("unknown error"));
    }
    app.reset();

    log.info("quillon end");
    log.info("%s", kLogRuler);
    return 0;
}
