#pragma once

#include "Captions.h"

#include <QWidget>

#include <cstdint>

namespace quillon
{

class IpAddressEdit;
class TfrmMain;

enum PlayMode : uint8_t { PlayNone = 0, PlayByUrl = 1, PlayByNumber = 2 };

// Page 2: ping, trace route, box commands, playback and upgrade. This holds the controls, their
// captions, the play-button states and the clearing on link loss; the actions come with the
// operations page's own work.
class OperationsPage : public QWidget
{
    Q_OBJECT
public:
    explicit OperationsPage(TfrmMain& frame, QWidget* parent = nullptr);

    void applyUiLanguage();
    void setPlayMode(uint8_t mode);
    uint8_t playMode() const { return playMode_; }
    void clearOperationsPage();

    IpAddressEdit* pingAddress() const { return ipPingAddress_; }
    IpAddressEdit* routeAddress() const { return ipRouteAddress_; }

private:
    QWidget* buildPingGroup();
    QWidget* buildRouterGroup();
    QWidget* buildCommandGroup();
    QWidget* buildPlayGroup();
    QWidget* buildUpgradeGroup();
    void enable(std::initializer_list<const char*> names, bool on);

    TfrmMain& frame_;
    CaptionTable captions_;
    uint8_t playMode_ = PlayNone;
    IpAddressEdit* ipPingAddress_ = nullptr;
    IpAddressEdit* ipRouteAddress_ = nullptr;
};

} // namespace quillon
