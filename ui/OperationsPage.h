#pragma once

#include "Captions.h"

#include <QWidget>

#include <cstdint>

namespace quillon
{

class IpAddressEdit;
class TfrmMain;

enum PlayMode : uint8_t { PlayNone = 0, PlayByUrl = 1, PlayByNumber = 2 };

class Request;
class ResExtCommand;

// Page 2: ping, trace route, box commands, playback and upgrade. Every action pushes its request,
// registers its handler with the frame and sets the window mode; the handlers follow the frame's
// convention and state only what differs.
class OperationsPage : public QWidget
{
    Q_OBJECT
public:
    // The output memos keep this many lines; older ones scroll away, so an hours-long ping cannot
    // slow the window down.
    static constexpr int kMemoLines = 5000;

    explicit OperationsPage(TfrmMain& frame, QWidget* parent = nullptr);

    void applyUiLanguage();
    void setPlayMode(uint8_t mode);
    uint8_t playMode() const { return playMode_; }
    int currentChannel() const { return currentChannel_; }
    void clearOperationsPage();
    // The ping and trace route output is kept when the link drops: ended by `mark`, cleared by the
    // next connect (clearOutput) or by the user.
    void markLinkLost(const QString& mark);
    void clearOutput();

    void btnPingClick();
    void btnStopPingClick();
    void btnRouteStartClick();
    void btnRouteStopClick();
    void btnSTBRebootClick();
    void btnSTBResetClick();
    void btnExecCmdClick();
    void btnPlayChannelURLClick();
    void btnPlayChannelNOClick();
    void btnChannelNextClick();
    void btnChannelPrevClick();
    void btnPlayBackClick();
    void btnPlayPauseClick();
    void btnPlayPrevClick();
    void btnSelectUpgradeFileClick();
    void btnUpgradeClick();

    void startPing(const QString& target, int32_t duration);
    void startTraceRoute(const QString& target);
    void playChannelUrl(const QString& url);
    void stopChannelUrl();
    void playChannelNumber(int number);
    void stopChannelNumber();

    int onPingResponse();
    int onTraceRouteResponse();
    int onCommandResponse();
    int onPlayUrlResponse();
    int onStopUrlResponse();
    int onPlayNumberResponse();
    int onStopNumberResponse();
    int onUpgradeResponse();

    // The status-bar text of a successful read ("read, STBType=1") or write; empty for others.
    static QString commandResultText(const ResExtCommand& response);

    IpAddressEdit* pingAddress() const { return ipPingAddress_; }
    IpAddressEdit* routeAddress() const { return ipRouteAddress_; }

private:
    QWidget* buildPingGroup();
    QWidget* buildRouterGroup();
    QWidget* buildCommandGroup();
    QWidget* buildPlayGroup();
    QWidget* buildUpgradeGroup();
    void connectButtons();
    void enable(std::initializer_list<const char*> names, bool on);
    // The target address checks of ping and trace route; the target text, or empty when refused.
    QString checkedTarget(IpAddressEdit* target, int sameAddressText);
    void send(const Request& request, int (OperationsPage::*handler)(), int8_t mode, const QString& status);
    // Pushes a button's command, registers `handler`, sets Busy and shows `status`.
    void sendButtonCommand(const std::string& command, int (OperationsPage::*handler)(), const QString& status);
    void trickPlay(const char* command, int statusText);
    // Ping and trace responses: PingDone/TraceDone on the end, with `finishedText` or `runningText`.
    int onRunResponse(int type, const char* logText, int8_t doneMode, int finishedText, int runningText);
    // Playback responses: the mode that STA_OK brings.
    int onPlaybackResponse(const char* logText, uint8_t modeOnSuccess);
    bool androidBox() const;

    TfrmMain& frame_;
    CaptionTable captions_;
    uint8_t playMode_ = PlayNone;
    int currentChannel_ = 0;
    IpAddressEdit* ipPingAddress_ = nullptr;
    IpAddressEdit* ipRouteAddress_ = nullptr;
};

} // namespace quillon
