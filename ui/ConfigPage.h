#pragma once

#include "Captions.h"

#include <QWidget>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class QComboBox;
class QLineEdit;

namespace quillon
{

class ConfigInfo;
class ParamFileActions;
class TfrmMain;

// Page 1: the box's configurable parameters: reads them on entry and refresh, checks the user's
// changes and writes them with the configuration last read (storedConfig) as the baseline. The
// parameter-file buttons belong to ParamFileActions.
class ConfigPage : public QWidget
{
    Q_OBJECT
public:
    explicit ConfigPage(TfrmMain& frame, QWidget* parent = nullptr);
    ~ConfigPage() override;

    // Clears the page and asks the box for its configuration.
    void requestConfigRead();
    int onConfigInfoResponse();
    // The same handler; `afterShow` runs with the values of an answered read once they are shown.
    int onConfigInfoResponse(const std::function<void(const ConfigInfo&)>& afterShow);

    void btnConfigInfoRefreshClick() { requestConfigRead(); }
    void btnConfigInfoSubmitClick();
    void showConfigInfo(const ConfigInfo& config);
    // False (the error shown) when the page may not be written.
    bool checkConfigInputs();
    // 3, 2, 1 for the checked access type, -1 for none.
    int8_t selectedConnectType() const;
    // The write request's values as the controls hold them (the baseline not set).
    ConfigInfo configFromControls() const;
    // Standard HD modes again after an Android box; the limited controls follow their own rules.
    void liftAndroidLimits();
    ParamFileActions& paramFiles() { return *paramFiles_; }

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
    QLineEdit* edit(const char* name) const;
    void enable(std::initializer_list<const char*> names, bool on);

    TfrmMain& frame_;
    CaptionTable captions_;
    std::unique_ptr<ParamFileActions> paramFiles_;
};

} // namespace quillon
