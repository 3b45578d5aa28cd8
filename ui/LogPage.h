#pragma once

#include "Captions.h"

#include <Messages.h>

#include <QWidget>

#include <array>
#include <memory>

class QCheckBox;
class QComboBox;

namespace quillon
{

class LogViewer;
class TfrmMain;

// Page 3: the box's log parameters (read, submit, fast set) and, through LogViewer, the live
// log and the log-file viewer.
class LogPage : public QWidget
{
    Q_OBJECT
public:
    explicit LogPage(TfrmMain& frame, QWidget* parent = nullptr);
    ~LogPage() override;

    void applyUiLanguage();
    void refillCombos();
    // The link went down: the page's values and keyword boxes are cleared, the rows are kept.
    void clearLogPage();
    // The box's controls follow the link; a new link also clears the rows kept from the last one.
    void setLinkControls(bool linkUp);
    // Ends the kept live-log rows with the "link lost" line `mark`.
    void markLinkLost(const QString& mark);
    // The editable list of this PC's own addresses that the box may send its log to.
    QComboBox* localAddressBox() const;
    LogViewer& viewer() { return *viewer_; }

    void cmbLogAddrTypeChange();
    void btnLogParamRefreshClick();
    void btnLogParamSubmitClick();
    void btnLogParamFastSetClick();
    int onLogParamsResponse();

    // The numbers behind the items of cmbLogLevel, cmbLogType and cmbLogOutputType.
    static const std::array<int, 4> logLevelValues;
    static const std::array<int, 5> logTypeValues;
    static const std::array<int, 4> outputTypeValues;
    // The first item index holding `value`, -1 when none does.
    template <size_t N> static int indexOfValue(const std::array<int, N>& table, int value)
    {
        for (size_t i = 0; i < N; ++i)
            if (table[i] == value)
                return int(i);
        return -1;
    }

    static const char* const kKeywordBoxes[22];

private:
    QWidget* buildParamGroup();
    QWidget* buildAnalyseGroup();
    QComboBox* combo(const char* name) const;
    void pushLogParams(const ReqLogParams& request, int statusId);
    void showLogParams(const ResLogParams& answer);

    TfrmMain& frame_;
    CaptionTable captions_;
    QCheckBox* chkPrintLiveLog_ = nullptr;
    std::unique_ptr<LogViewer> viewer_;
};

} // namespace quillon
