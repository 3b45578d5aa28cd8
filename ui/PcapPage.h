#pragma once

#include "Captions.h"

#include <QWidget>

namespace quillon
{

// Page 5: remote packet capture. This holds the controls and their captions; the capture itself
// comes with the capture page's own work.
class PcapPage : public QWidget
{
    Q_OBJECT
public:
    explicit PcapPage(QWidget* parent = nullptr);
    void applyUiLanguage();

private:
    CaptionTable captions_;
};

} // namespace quillon
