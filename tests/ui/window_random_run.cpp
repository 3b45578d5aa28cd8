// The real window against an in-process simulated box, driven by seeded random user actions with
// box faults in between. After every action: the window thread has not stalled past 2 s (busy or
// blocked; time it only waited for a CPU of a loaded machine is not its own), and
// after a link loss the window is disconnected and out of its busy modes within 2 s. A sanitizer
// report ends the process; every action is printed before it runs, so the seed and the list are
// on the terminal whichever way it ends.
//
//   window_random_run [--seed N] [--actions N] [--minutes M] [--replay N]
#include "UiTestSupport.h"

#include <Dialogs.h>
#include <IpAddressEdit.h>
#include <Logger.h>
#include <OperationsPage.h>
#include <SimDiagnostics.h>
#include <StbSimulator.h>
#include <untMain.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <thread>
#include <vector>

using namespace quillon;
using namespace quillon::test;

namespace
{

enum Action {
    Connect,
    Disconnect,
    SwitchPage,
    SwitchLanguage,
    About,
    TypeText,
    ToggleCheck,
    PickCombo,
    ClickButton,
    Wait,
    KillBox,
    DropLink,
    AddLatency,
    GoSilent,
    HealBox,
    kActionCount
};

const char* const kActionNames[kActionCount] = {"connect",  "disconnect", "page",    "language", "about",
                                                "type",     "check",      "combo",   "button",   "wait",
                                                "kill box", "drop link",  "latency", "silence",  "heal box"};

// How often each action is drawn: user actions mostly, a box fault now and then.
const int kWeights[kActionCount] = {8, 2, 10, 4, 1, 14, 3, 5, 30, 4, 1, 2, 1, 1, 3};

constexpr qint64 kHangMs = 2000;
constexpr qint64 kLinkLossMs = 2000;
// The longest an action may take with the event loop turning: a dialog is answered within half a
// second and a settle lasts at most 1.5 s, so 30 s means it will never return.
constexpr int64_t kActionLimitMs = 30000;

int64_t nowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Nanoseconds the calling thread has spent ready to run but waiting for a CPU, or -1 where the
// system does not say.
int64_t cpuWaitNs()
{
#ifdef __linux__
    std::FILE* file = std::fopen("/proc/thread-self/schedstat", "r");
    if (!file)
        return -1;
    unsigned long long running = 0;
    unsigned long long waiting = 0;
    const int read = std::fscanf(file, "%llu %llu", &running, &waiting);
    std::fclose(file);
    return read == 2 ? static_cast<int64_t>(waiting) : -1;
#else
    return -1;
#endif
}

struct Options {
    uint64_t seed = 0;
    long actions = 300;
    double minutes = 0; // when set, runs until then instead of counting actions
};

bool parseOptions(int argc, char* argv[], Options& options)
{
    bool seeded = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if ((arg == "--seed" || arg == "--replay") && hasValue) {
            options.seed = std::strtoull(argv[++i], nullptr, 10);
            seeded = true;
        } else if (arg == "--actions" && hasValue) {
            options.actions = std::strtol(argv[++i], nullptr, 10);
        } else if (arg == "--minutes" && hasValue) {
            options.minutes = std::strtod(argv[++i], nullptr);
        } else if (arg.rfind("-platform", 0) != 0) {
            return false;
        } else {
            ++i;
        }
    }
    if (!seeded)
        options.seed = std::random_device{}();
    return true;
}

class RandomRun
{
public:
    RandomRun(const Options& options) : options_(options), random_(options.seed) {}

    int run()
    {
        std::fprintf(stderr, "random run: seed %llu\n", static_cast<unsigned long long>(options_.seed));
        if (!dir_.isValid() || !startBox())
            return fail("cannot set up the run");
        writeFiles();
        LinkSetup setup = quickLinkSetup();
        setup.liveLogPort = 0;
        window_ = std::make_unique<TfrmMain>(queues_, setup);
        window_->setStbPort(box_->port());
        window_->show();
        if (!QTest::qWaitForWindowExposed(window_.get()))
            return fail("the window was never shown");
        startStallClock();
        startDialogAnswerer();
        startHangWatch();

        QElapsedTimer elapsed;
        elapsed.start();
        const qint64 limitMs = static_cast<qint64>(options_.minutes * 60000);
        int status = 0;
        for (long n = 0; limitMs > 0 ? elapsed.elapsed() < limitMs : n < options_.actions; ++n) {
            // A user mostly works connected: with the link down, one action in three connects.
            Action action = drawAction();
            if (window_->linkState() == 0 && below(3) == 0)
                action = Connect;
            steps_.push_back(action);
            std::fprintf(stderr, "#%ld %s\n", n, kActionNames[action]);
            if (!step(action)) {
                status = 1;
                break;
            }
        }
        stopHangWatch();
        window_->close();
        window_.reset();
        box_->stop();
        report(status);
        Logger::instance().info("quillon end");
        return status;
    }

private:
    bool startBox()
    {
        sim::SimOptions o;
        o.port = 0;
        o.channels = 8;
        o.linePace = std::chrono::milliseconds(40);
        box_ = std::make_unique<sim::StbSimulator>(o);
        return box_->start();
    }

    void writeFiles()
    {
        image_ = dir_.filePath("image.bin");
        QFile file(image_);
        file.open(QIODevice::WriteOnly);
        const std::string bytes = sim::simImageHeader("V9.9") + std::string(60000, 'i');
        file.write(bytes.data(), static_cast<qint64>(bytes.size()));
        file.close();
        QFile log(dir_.filePath("box.log"));
        log.open(QIODevice::WriteOnly);
        for (int i = 0; i < 200; ++i)
            log.write(QString("2026-12-09 10:00:%1 [INFO] line %2 of the box\n").arg(i % 60).arg(i).toUtf8());
        log.close();
    }

    // A timer on the window thread: the longest gap between its ticks is the longest stall, less
    // the time the thread spent ready to run but waiting for a CPU.
    void startStallClock()
    {
        stallClock_ = new QTimer(window_.get());
        stallClock_->setInterval(5);
        tick_.start();
        lastCpuWait_ = cpuWaitNs();
        QObject::connect(stallClock_, &QTimer::timeout, window_.get(), [this] { noteTick(); });
        stallClock_->start();
    }

    void noteTick()
    {
        const qint64 gap = tick_.restart();
        const int64_t wait = cpuWaitNs();
        const qint64 waited = wait >= 0 && lastCpuWait_ >= 0 ? (wait - lastCpuWait_) / 1000000 : 0;
        lastCpuWait_ = wait;
        beat_.fetch_add(1);
        actionStall_ = std::max(actionStall_, std::max<qint64>(0, gap - waited));
        actionGap_ = std::max(actionGap_, gap);
    }

    // Now and then a message box really opens (below); it is answered after a moment like a user
    // would, with any of its buttons, and sometimes the box drops the link while it is open.
    void startDialogAnswerer()
    {
        auto* answerer = new QTimer(window_.get());
        answerer->setInterval(20);
        QObject::connect(answerer, &QTimer::timeout, window_.get(), [this] { answerDialog(); });
        answerer->start();
    }

    void answerDialog()
    {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal) {
            dialogOpen_ = false;
            return;
        }
        if (!dialogOpen_) {
            dialogOpen_ = true;
            dialogClock_.start();
            dialogWait_ = below(500);
            ++dialogsShown_;
            if (below(4) == 0 && window_->linkState() == 1) {
                box_->dropClient();
                linkDroppedInDialog_ = true;
            }
            return;
        }
        if (dialogClock_.elapsed() < dialogWait_)
            return;
        dialogOpen_ = false;
        if (auto* box = qobject_cast<QMessageBox*>(modal); box && !box->buttons().isEmpty()) {
            const QList<QAbstractButton*> buttons = box->buttons();
            buttons[below(static_cast<int>(buttons.size()))]->click();
        } else if (auto* dialog = qobject_cast<QDialog*>(modal)) {
            dialog->reject();
        } else {
            modal->close();
        }
    }

    // The last resort against a hang inside one call: no tick for 20 s ends the process with the
    // seed and the actions printed.
    void startHangWatch()
    {
        watching_ = true;
        hangWatch_ = std::thread([this] {
            uint64_t seen = beat_.load();
            int quiet = 0;
            while (watching_) {
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
                const uint64_t now = beat_.load();
                quiet = now == seen ? quiet + 1 : 0;
                seen = now;
                if (quiet >= 200) {
                    std::fprintf(stderr, "random run: the window thread hung for 20 s\n");
                    printReplay();
                    std::_Exit(1);
                }
                // The event loop may go on turning inside an action that never returns, such as
                // a dialog nobody can answer: that is a hang for the user too.
                const int64_t started = actionStarted_.load();
                if (started > 0 && nowMs() - started > kActionLimitMs) {
                    std::fprintf(stderr, "random run: the last action has not returned within %lld s\n",
                                 static_cast<long long>(kActionLimitMs / 1000));
                    printReplay();
                    std::_Exit(1);
                }
            }
        });
    }

    void stopHangWatch()
    {
        watching_ = false;
        if (hangWatch_.joinable())
            hangWatch_.join();
    }

    Action drawAction()
    {
        int total = 0;
        for (int w : kWeights)
            total += w;
        int pick = std::uniform_int_distribution<int>(0, total - 1)(random_);
        for (int a = 0; a < kActionCount; ++a) {
            if (pick < kWeights[a])
                return static_cast<Action>(a);
            pick -= kWeights[a];
        }
        return Wait;
    }

    int below(int n) { return n <= 0 ? 0 : std::uniform_int_distribution<int>(0, n - 1)(random_); }
    bool coin() { return below(2) == 1; }

    bool step(Action action)
    {
        // Every file dialog the action may open is answered beforehand; a message box mostly too,
        // and one action in five shows them for real (answered by answerDialog).
        const bool showDialogs = below(5) == 0;
        Dialogs::setSuppressMessages(!showDialogs);
        if (!showDialogs)
            Dialogs::setNextQuestionAnswer(coin());
        const QString files[] = {image_, dir_.filePath("box.log"), dir_.filePath("params.txt"),
                                 dir_.filePath("missing.bin"), QString()};
        Dialogs::setNextOpenFileName(files[below(5)]);
        Dialogs::setNextSaveFileName(coin() ? dir_.filePath(QString("saved-%1.txt").arg(below(3))) : QString());
        Dialogs::setNextFolderName(coin() ? dir_.path() : QString());

        const bool linkWasUp = window_->linkState() == 1;
        linkDroppedInDialog_ = false;
        actionStall_ = 0;
        actionGap_ = 0;
        tick_.restart();
        lastCpuWait_ = cpuWaitNs();
        // A call that blocks the window thread delays the next tick of the stall clock, so the
        // gaps measure it; waits that run the event loop do not count as stalls.
        actionStarted_ = nowMs();
        perform(action);
        // Lets what the action started run a while, as a user would before the next click.
        settle(below(4) == 0 ? 1500 : 300);
        actionStarted_ = 0;
        bool ok = true;
        if (actionStall_ > kHangMs)
            ok = fail(QString("the window thread stalled %1 ms (%2 ms between clock ticks)")
                          .arg(actionStall_)
                          .arg(actionGap_));
        if (ok && (((action == KillBox || action == DropLink) && linkWasUp) || linkDroppedInDialog_))
            ok = checkLinkLoss();
        qint64& longest = longestStall_[action];
        longest = std::max(longest, actionStall_);
        longestGap_[action] = std::max(longestGap_[action], actionGap_);
        ++counts_[action];
        return ok;
    }

    void perform(Action action)
    {
        switch (action) {
        case Connect:
            connect();
            break;
        case Disconnect:
            if (window_->linkState() == 1) {
                child<QTabWidget>(*window_, "pgAllPage")->setCurrentIndex(0);
                clickIfUsable(child<QPushButton>(*window_, "btnConnect"));
            }
            break;
        case SwitchPage:
            child<QTabWidget>(*window_, "pgAllPage")->setCurrentIndex(below(6));
            break;
        case SwitchLanguage:
            (coin() ? window_->findChild<QAction*>("menuLanguageEn") : window_->findChild<QAction*>("menuLanguageCh"))
                ->trigger();
            break;
        case About:
            window_->findChild<QAction*>("menuHelpAbout")->trigger();
            break;
        case TypeText:
            typeText();
            break;
        case ToggleCheck:
            clickIfUsable(pick<QCheckBox>());
            break;
        case PickCombo:
            pickCombo();
            break;
        case ClickButton:
            clickIfUsable(pick<QPushButton>());
            break;
        case Wait:
            QTest::qWait(below(400));
            break;
        case KillBox:
            box_->stop();
            if (!startBox())
                std::fprintf(stderr, "random run: the box did not start again\n");
            window_->setStbPort(box_->port());
            break;
        case DropLink:
            box_->dropClient();
            break;
        case AddLatency: {
            sim::SimFaults faults = box_->faults();
            const char* calls[] = {"STB_model", "ping", "upgrade", "get_upgradelength", "traceroute", "Channellist"};
            faults.replyDelay[calls[below(6)]] = std::chrono::milliseconds(100 + below(900));
            box_->setFaults(faults);
            break;
        }
        case GoSilent: {
            sim::SimFaults faults = box_->faults();
            if (coin())
                faults.silent = true;
            else
                faults.streamSilentAfter = below(400);
            box_->setFaults(faults);
            break;
        }
        case HealBox:
            box_->setFaults({});
            break;
        default:
            break;
        }
    }

    void connect()
    {
        if (window_->linkState() != 0)
            return;
        child<QTabWidget>(*window_, "pgAllPage")->setCurrentIndex(0);
        child<IpAddressEdit>(*window_, "ipSTBAddress")->setText("127.0.0.1");
        child<QLineEdit>(*window_, "edtUserName")->setText(sim::kDefaultUser);
        child<QLineEdit>(*window_, "edtPassword")->setText(below(8) == 0 ? "wrong" : sim::kDefaultPassword);
        clickIfUsable(child<QPushButton>(*window_, "btnConnect"));
    }

    // A control of the page on show that the user could reach now.
    template <typename T> T* pick()
    {
        QWidget* page = child<QTabWidget>(*window_, "pgAllPage")->currentWidget();
        std::vector<T*> usable;
        for (T* w : page->findChildren<T*>())
            if (w->isVisible() && w->isEnabled() && !w->objectName().isEmpty())
                usable.push_back(w);
        return usable.empty() ? nullptr : usable[static_cast<size_t>(below(static_cast<int>(usable.size())))];
    }

    void clickIfUsable(QAbstractButton* button)
    {
        if (button && button->isVisible() && button->isEnabled())
            QTest::mouseClick(button, Qt::LeftButton);
    }

    void pickCombo()
    {
        if (QComboBox* combo = pick<QComboBox>(); combo && combo->count() > 0)
            combo->setCurrentIndex(below(combo->count()));
    }

    // Texts a user would type, by field, and a few no field expects.
    void typeText()
    {
        QLineEdit* edit = pick<QLineEdit>();
        if (!edit || edit->isReadOnly())
            return;
        static const std::map<QString, QStringList> kTexts = {
            {"edExecCmd", {"ioctl reboot", "read STB_model", "ioctl^reboot^null", "^^^", "read"}},
            {"edtPingTime", {"", "1", "2", "0", "abc"}},
            {"edtPlayChannelNO", {"7", "1", "", "9999", "-1"}},
            {"edtPlayChannelURL", {"igmp://239.1.1.7:5000", "rtsp://10.0.0.1/live", ""}},
            {"edtPcapTime", {"1", "2", "", "x"}},
            {"edtPcapFilesize", {"", "1000", "99999999999"}},
            {"edtpcapip", {"", "127.0.0.9", "300.1.1.1"}},
            {"edtpcapport", {"", "22", "70000"}},
            {"edtAutoFilter", {"", "INFO", "line 1", "[", "(a|b)*c"}},
        };
        QString text;
        if (edit->objectName() == "edtUpgradeFile") {
            const QString images[] = {image_, dir_.filePath("missing.bin"), dir_.filePath("box.log"), QString()};
            text = images[below(4)];
        } else if (auto it = kTexts.find(edit->objectName()); it != kTexts.end()) {
            text = it->second[below(static_cast<int>(it->second.size()))];
        } else {
            const QString any[] = {"",
                                   "1",
                                   "127.0.0.1",
                                   "10.0.0.1",
                                   QString(300, 'x'),
                                   QString::fromUtf8("中文文本"),
                                   "http://10.20.0.8:8080/a.jsp"};
            text = any[below(7)];
        }
        edit->clear();
        // Typed key by key where the test keyboard has the keys; Chinese arrives as an input
        // method would give it, all at once.
        bool ascii = true;
        for (QChar c : text)
            ascii = ascii && c.unicode() >= 0x20 && c.unicode() < 0x7f;
        if (ascii)
            QTest::keyClicks(edit, text);
        else
            edit->insert(text);
        if (coin())
            QTest::keyClick(edit, Qt::Key_Return);
    }

    void settle(int ms)
    {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < ms) {
            QTest::qWait(20);
            if (window_->pendingHandlerCount() == 0 && window_->windowMode() != Busy && clock.elapsed() > 60)
                break;
        }
    }

    static bool running(int8_t mode) { return mode == Busy || mode == PingRunning || mode == TraceRunning; }

    // After a link loss: disconnected, no request waiting and no busy mode within 2 s.
    bool checkLinkLoss()
    {
        QElapsedTimer clock;
        clock.start();
        const bool back = QTest::qWaitFor(
            [&] {
                return window_->linkState() == 0 && window_->pendingHandlerCount() == 0 &&
                       !running(window_->windowMode());
            },
            static_cast<int>(kLinkLossMs));
        if (!back)
            return fail(QString("2 s after the link loss: link %1, mode %2, %3 handlers waiting")
                            .arg(window_->linkState())
                            .arg(window_->windowMode())
                            .arg(window_->pendingHandlerCount()));
        return true;
    }

    bool fail(const QString& why)
    {
        std::fprintf(stderr, "random run FAILED: %s\n", qPrintable(why));
        printReplay();
        return false;
    }

    void printReplay()
    {
        std::fprintf(stderr, "seed %llu, actions:", static_cast<unsigned long long>(options_.seed));
        for (Action a : steps_)
            std::fprintf(stderr, " %s;", kActionNames[a]);
        std::fprintf(stderr, "\nrepeat with: scripts/monkey.sh --replay %llu %zu\n",
                     static_cast<unsigned long long>(options_.seed), steps_.size());
    }

    void report(int status)
    {
        long total = 0;
        for (const auto& [action, n] : counts_)
            total += n;
        std::printf("seed %llu: %ld actions, %ld message boxes shown and answered, %s\n",
                    static_cast<unsigned long long>(options_.seed), total, dialogsShown_,
                    status == 0 ? "passed" : "FAILED");
        // The stall leaves out time spent waiting for a CPU; the gap between clock ticks does not.
        std::printf("%-12s %8s %16s %16s\n", "action", "count", "longest stall ms", "longest gap ms");
        for (const auto& [action, n] : counts_)
            std::printf("%-12s %8ld %16lld %16lld%s\n", kActionNames[action], n,
                        static_cast<long long>(longestStall_[action]), static_cast<long long>(longestGap_[action]),
                        longestStall_[action] > 100 ? "  > 100" : "");
        std::fflush(stdout);
    }

    Options options_;
    std::mt19937_64 random_;
    QTemporaryDir dir_;
    QString image_;
    std::unique_ptr<sim::StbSimulator> box_;
    Commandio queues_;
    std::unique_ptr<TfrmMain> window_;
    QTimer* stallClock_ = nullptr;
    QElapsedTimer tick_;
    int64_t lastCpuWait_ = -1;
    qint64 actionStall_ = 0;
    qint64 actionGap_ = 0;
    bool dialogOpen_ = false;
    QElapsedTimer dialogClock_;
    int dialogWait_ = 0;
    long dialogsShown_ = 0;
    bool linkDroppedInDialog_ = false;
    std::atomic<uint64_t> beat_{0};
    std::atomic<bool> watching_{false};
    std::atomic<int64_t> actionStarted_{0};
    std::thread hangWatch_;
    std::vector<Action> steps_;
    std::map<Action, long> counts_;
    std::map<Action, qint64> longestStall_;
    std::map<Action, qint64> longestGap_;
};

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    Options options;
    if (!parseOptions(argc, argv, options)) {
        std::fprintf(stderr, "usage: window_random_run [--seed N | --replay N] [--actions N] [--minutes M]\n");
        return 2;
    }
    // The run's own log, in the folder it runs in, as the window keeps one beside itself.
    Logger::instance().setFileName("window_random_run.log");
    Logger::instance().info("quillon begin");
    setUiLanguage(LanguageChinese);
    return RandomRun(options).run();
}
