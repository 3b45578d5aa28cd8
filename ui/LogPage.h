#pragma once

#include "Captions.h"

#include <Messages.h>

#include <QWidget>

#include <array>
#include <memory>

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
    void clearLogPage();
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
    std::unique_ptr<LogViewer> viewer_;
};

} // namespace quillon
