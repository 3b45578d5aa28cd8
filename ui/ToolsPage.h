#pragma once

#include "Captions.h"

#include <QWidget>

namespace quillon
{

// Page 4: the offline tools (provisioning files from a workbook, site information). This holds
// the controls and their captions; the tools' work comes with their own issue.
class ToolsPage : public QWidget
{
    Q_OBJECT
public:
    explicit ToolsPage(QWidget* parent = nullptr);
    void applyUiLanguage();

private:
    CaptionTable captions_;
};

} // namespace quillon
