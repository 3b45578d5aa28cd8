#pragma once

#include "Captions.h"

#include <Messages.h>

#include <QWidget>

#include <string>
#include <vector>

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;

namespace quillon
{

class IpAddressEdit;
class TfrmMain;

// Page 0: opens and closes the link, shows what the box reports about itself and its channel
// list, and exports the channel list.
class InfoPage : public QWidget
{
    Q_OBJECT
public:
    explicit InfoPage(TfrmMain& frame, QWidget* parent = nullptr);

    void btnConnectClick();
    void btnRefreshClick();
    void btnExportChannelListClick();

    int onConnectResponse();
    int onDisconnectResponse();
    int onStbInfoResponse();
    int onChannelListResponse();

    void requestStbInfo();
    void requestChannelList(const QString& fileName);
    void clearInfoPage();
    void showStbInfo(const ResSTBInfo& info);
    void fillChannelList(const std::string& text);

    static QString connectTypeText(uint8_t connectType);
    static QString timeZoneText(int32_t hours);
    // The export file name: ".txt" appended unless ".txt", ".TXT", ".ini" or ".INI" occurs in it.
    static QString exportFileName(const QString& chosen);
    // Advances the connecting animation: string 401 and 1..12 full stops, then none again.
    static QString nextConnectingText();

    // Captions in the current language; btnConnect follows the link state.
    void applyUiLanguage(bool linkUp);
    // The connected/not-connected look of this page's buttons.
    void setLinkControls(bool linkUp);

    IpAddressEdit* stbAddress() const { return ipSTBAddress_; }
    QLabel* currentTimeLabel() const { return lblCurrTimeValue_; }
    QPushButton* connectButton() const { return btnConnect_; }

private:
    QGroupBox* buildConnectGroup();
    // `widestValue`: the longest usual value, which the value labels get room for.
    QGroupBox* buildInfoGroup(const char* name, const std::vector<const char*>& rows, int columns,
                              const char* widestValue);
    QGroupBox* buildChannelGroup();
    QLabel* value(const char* name) const;
    void setValue(const char* name, const QString& text);

    TfrmMain& frame_;
    CaptionTable captions_;
    IpAddressEdit* ipSTBAddress_ = nullptr;
    QLineEdit* edtUserName_ = nullptr;
    QLineEdit* edtPassword_ = nullptr;
    QPushButton* btnConnect_ = nullptr;
    QPushButton* btnRefresh_ = nullptr;
    QPushButton* btnExportChannelList_ = nullptr;
    QTreeWidget* lvChannelList_ = nullptr;
    QLabel* lblCurrTimeValue_ = nullptr;
    std::vector<QLabel*> valueLabels_;
    // The information read just before was partial: the channel list read that follows it must
    // not report plain success over it.
    bool infoPartial_ = false;
};

} // namespace quillon
