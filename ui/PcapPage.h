#pragma once

#include "Captions.h"

#include <QWidget>

class QPlainTextEdit;

namespace quillon
{

class TfrmMain;

// Page 5: remote packet capture. The capture checks, the engineer's confirmation that the SFTP
// server runs, the request with the texts as typed, and its final answer. The capture's own lines
// arrive in edtPcapMsg, which keeps every capture since the start.
class PcapPage : public QWidget
{
    Q_OBJECT
public:
    // edtPcapMsg keeps this many lines, the oldest scrolling away.
    static constexpr int kMemoLines = 5000;

    explicit PcapPage(TfrmMain& frame, QWidget* parent = nullptr);
    void applyUiLanguage();

    void btnPcapClick();
    int onPcapResponse();

private:
    TfrmMain& frame_;
    CaptionTable captions_;
    QPlainTextEdit* edtPcapMsg_ = nullptr;
};

} // namespace quillon
