#pragma once

#include "Captions.h"

#include <QWidget>

#include <cstdint>
#include <string>

class QComboBox;

namespace quillon
{

class TfrmMain;

// Page 1: the box's configurable parameters. This holds the controls, their captions and items,
// and the states the frame sets (link loss, connection type, Android limits); reading and writing
// the configuration come with the configuration page's own work.
class ConfigPage : public QWidget
{
    Q_OBJECT
public:
    explicit ConfigPage(TfrmMain& frame, QWidget* parent = nullptr);

    // Clears the page and asks the box for its configuration.
    void requestConfigRead();
    int onConfigInfoResponse();

    void applyUiLanguage();
    // The combo items in the current language, selection kept.
    void refillCombos();
    void fillAndroidHdModes();
    void clearConfigPage();
    void setConnectTypeControls(uint8_t type);
    void setVirtualLanControls(bool on);
    // Start-up state: the virtual LAN group and its check box stay disabled.
    void disableVirtualLan();

    // "UTC -12:00" ... "UTC" ... "UTC +12:00", index = hours + 12.
    static QStringList timeZoneItems();

private:
    QWidget* buildNetworkGroup();
    QWidget* buildOutputGroup();
    QWidget* buildServerGroup();
    QWidget* buildLogGroup();
    QWidget* buildIptvGroup();
    QWidget* buildTmsGroup();
    QWidget* buildAttributeGroup();
    QWidget* buildRemoteGroup();
    QComboBox* combo(const char* name) const;
    void enable(std::initializer_list<const char*> names, bool on);

    TfrmMain& frame_;
    CaptionTable captions_;
};

} // namespace quillon
