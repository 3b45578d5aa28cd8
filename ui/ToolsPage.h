#pragma once

#include "Captions.h"

#include <QWidget>

class QLineEdit;

namespace quillon
{

class TfrmMain;

// Page 4: the offline tools. From a workbook of subscriber accounts it writes the provisioning
// files into a folder, and it shows the site a configuration file belongs to. It needs no link.
class ToolsPage : public QWidget
{
    Q_OBJECT
public:
    explicit ToolsPage(TfrmMain& frame, QWidget* parent = nullptr);
    void applyUiLanguage();

    void btnBrowseConfigFileClick();
    void btnBrowseOutputPathClick();
    void btnCreateClick();
    void btnBrowseZoneInfoFileClick();
    void btnLookZoneInfoClick();

private:
    TfrmMain& frame_;

    CaptionTable captions_;
    QLineEdit* edtConfigFile_ = nullptr;
    QLineEdit* edtOutputPath_ = nullptr;
    QLineEdit* edtZoneInfoFile_ = nullptr;
    QLineEdit* edtZoneInfo_ = nullptr;
};

} // namespace quillon
