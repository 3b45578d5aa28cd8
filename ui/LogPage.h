#pragma once

#include "Captions.h"

#include <QWidget>

class QComboBox;

namespace quillon
{

class TfrmMain;

// Page 3: the box's log parameters and the live-log viewer. This holds the controls, their
// captions and items and the clearing on link loss; reading, setting and receiving the log come
// with the log page's own work.
class LogPage : public QWidget
{
    Q_OBJECT
public:
    explicit LogPage(TfrmMain& frame, QWidget* parent = nullptr);

    void applyUiLanguage();
    void refillCombos();
    void clearLogPage();
    // The editable list of this PC's own addresses that the box may send its log to.
    QComboBox* localAddressBox() const;

    static const char* const kKeywordBoxes[22];

private:
    QWidget* buildParamGroup();
    QWidget* buildAnalyseGroup();

    TfrmMain& frame_;
    CaptionTable captions_;
};

} // namespace quillon
