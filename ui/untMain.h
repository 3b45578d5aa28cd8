#pragma once

#include <LinkTimeouts.h>
#include <Messages.h>

#include <QMainWindow>

#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <optional>
#include <string>

class QAction;
class QLabel;
class QMenu;
class QProgressBar;
class QTabWidget;
class QTimer;
class QToolButton;

namespace quillon
{

class Commandio;
class ConfigPage;
class InfoPage;
class LinkBridge;
class LinkService;
class LogPage;
class OperationsPage;
class PcapPage;
class ToolsPage;

enum WindowMode : int8_t { Busy = 0, Idle = 1, PingRunning = 2, PingDone = 3, TraceRunning = 4, TraceDone = 5 };

// A response handler: nonzero when it has taken its final response, 0 to be run again.
using PendingHandler = std::function<int()>;

// How the window sets up its link to the box.
struct LinkSetup {
    bool startLink = true;     // tests that feed the response queue themselves run without one
    std::string boxModulusHex; // empty: the link's built-in key
    std::optional<LinkTimeouts> timeouts;
    uint16_t liveLogPort = 514; // where the live log is received (--live-log-port)
};

// The program's main window: menus, the six pages, the status bar, the pending-response list
// polled by tmrTick, the window modes, the link-state display and the STB clock. The pages own
// their controls and handlers; this class owns the link threads and stops them on close.
class TfrmMain : public QMainWindow
{
    Q_OBJECT
public:
    explicit TfrmMain(Commandio& queues, const LinkSetup& setup = {}, QWidget* parent = nullptr);
    ~TfrmMain() override;

    Commandio& queues() { return queues_; }
    // 1 while the link is up, 0 when down. Without a link, the state last shown.
    uint8_t linkState() const;
    uint32_t stbPort() const { return stbPort_; }
    // The box's port is fixed; tests that run the simulated box on a free port set it here.
    void setStbPort(uint32_t port) { stbPort_ = port; }

    void addPendingHandler(PendingHandler handler);
    void runPendingHandlers();
    size_t pendingHandlerCount() const { return pendingHandlers_.size(); }

    void showStatus(const QString& text);
    void showError(const QString& text);
    void showProgress(int percent);
    void setWindowMode(int8_t mode);
    int8_t windowMode() const { return windowMode_; }
    QString statusText() const;

    // The handler convention's answers, shared by every page.
    // Shows and logs "...ResponseID:%d" for a response of the wrong type, sets Idle; returns 1.
    int reportInvalidResponse(const Response& response);
    // The first steps of every handler: the next response when it has the expected type. Null
    // when none is waiting (`result` 0: call again) or when another type came and was reported
    // (`result` 1: finished).
    std::unique_ptr<Response> takeResponse(int expectedType, int& result);
    // The text of a failed response: its errorId's text when nonzero, else its message.
    static QString responseErrorText(const Response& response);

    void showLinkState(uint8_t state);
    void startStbClock(int32_t seconds, bool utc);
    void showStbClock();
    int32_t stbClockSeconds() const { return stbClockSeconds_; }

    void applyUiLanguage();
    void menuLanguageEnClick();
    void menuLanguageChClick();
    void menuHelpAboutClick();
    void pgAllPageChange(int index);

    void applyAndroidLimits();
    // A box of the standard family after an Android box: its lists and controls again.
    void liftAndroidLimits();
    void fillAndroidHdModes();
    void fillLocalAddresses();

    const std::string& stbType() const { return stbType_; }
    void setStbType(const std::string& type) { stbType_ = type; }
    ResConfigInfo& storedConfig() { return storedConfig_; }

    InfoPage& infoPage() { return *infoPage_; }
    ConfigPage& configPage() { return *configPage_; }
    OperationsPage& operationsPage() { return *operationsPage_; }
    LogPage& logPage() { return *logPage_; }
    LinkService* linkService() { return link_.get(); }

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void buildMenus();
    void buildPages();
    void buildStatusBar();
    void fixWindowSize();
    void startLink(const LinkSetup& setup);
    void stopLink();

    Commandio& queues_;
    uint32_t stbPort_ = 9003;
    std::list<PendingHandler> pendingHandlers_;
    bool runningHandlers_ = false;
    int8_t windowMode_ = Busy;
    uint8_t shownLinkState_ = 0;
    int32_t stbClockSeconds_ = 0;
    bool stbClockUtc_ = false;
    ResConfigInfo storedConfig_;
    std::string stbType_;

    QTabWidget* pgAllPage_ = nullptr;
    QLabel* statusText_ = nullptr;
    QProgressBar* progressBar_ = nullptr;
    QTimer* tmrTick_ = nullptr;
    QTimer* tmrSTBTime_ = nullptr;
    QMenu* menuLanguage_ = nullptr;
    QMenu* menuHelp_ = nullptr;
    QAction* menuLanguageEn_ = nullptr;
    QAction* menuLanguageCh_ = nullptr;
    QAction* menuHelpAbout_ = nullptr;
    QToolButton* tbtnLanguage_ = nullptr;
    QToolButton* tbtnHelp_ = nullptr;

    InfoPage* infoPage_ = nullptr;
    ConfigPage* configPage_ = nullptr;
    OperationsPage* operationsPage_ = nullptr;
    LogPage* logPage_ = nullptr;
    ToolsPage* toolsPage_ = nullptr;
    PcapPage* pcapPage_ = nullptr;

    std::unique_ptr<LinkBridge> bridge_;
    std::unique_ptr<LinkService> link_;
    bool closed_ = false;
    bool inputErrorShown_ = false; // the status line holds showError's text
    int checkedLanguage_ = -1;     // the checked language item; none before the first choice
};

} // namespace quillon
