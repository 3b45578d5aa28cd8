#include "PcapPage.h"

#include "Dialogs.h"
#include "untMain.h"

#include <Commandio.h>
#include <Logger.h>
#include <PcapInputCheck.h>

#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace quillon
{

PcapPage::PcapPage(TfrmMain& frame, QWidget* parent) : QWidget(parent), frame_(frame)
{
    setObjectName("shtremotepcap");
    auto* layout = new QVBoxLayout(this);
    auto* group = makeNamed<QGroupBox>(this, "gbpcap");
    auto* grid = new QGridLayout(group);
    auto* ipLabel = makeNamed<QLabel>(group, "lblPcapIP");
    ipLabel->setText("IP:"); // the same in both languages, not from the table
    grid->addWidget(ipLabel, 0, 0);
    grid->addWidget(makeNamed<QLineEdit>(group, "edtpcapip"), 0, 1);
    grid->addWidget(makeNamed<QLabel>(group, "lblPcapPort"), 0, 2);
    grid->addWidget(makeNamed<QLineEdit>(group, "edtpcapport"), 0, 3);
    grid->addWidget(makeNamed<QLabel>(group, "lblPcapTime"), 1, 0);
    grid->addWidget(makeNamed<QLineEdit>(group, "edtPcapTime"), 1, 1);
    grid->addWidget(makeNamed<QLabel>(group, "lblPcapFilesize"), 1, 2);
    grid->addWidget(makeNamed<QLineEdit>(group, "edtPcapFilesize"), 1, 3);
    grid->addWidget(makeNamed<QPushButton>(group, "btnPcap"), 1, 4);
    auto* hint = makeNamed<QLabel>(group, "Label1");
    hint->setWordWrap(true);
    grid->addWidget(hint, 2, 0, 1, 5);
    edtPcapMsg_ = makeNamed<QPlainTextEdit>(group, "edtPcapMsg");
    edtPcapMsg_->setReadOnly(true);
    edtPcapMsg_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    edtPcapMsg_->setMaximumBlockCount(kMemoLines);
    grid->addWidget(edtPcapMsg_, 3, 0, 1, 5);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(3, 1);
    grid->setRowStretch(3, 1);
    layout->addWidget(group, 1);

    appendCaptionRunByName(captions_, this, 700, {"gbpcap", "lblPcapPort", "lblPcapTime", "lblPcapFilesize"});
    appendCaptionRunByName(captions_, this, 700, {"btnPcap"});
    appendCaptionRunByName(captions_, this, 704, {"Label1"});
    connect(findChild<QPushButton*>("btnPcap"), &QPushButton::clicked, this, [this] { btnPcapClick(); });
}

void PcapPage::applyUiLanguage()
{
    applyCaptions(captions_);
}

// The checks' texts are fixed and do not follow the language; the question and the lines written
// while the capture runs do.
void PcapPage::btnPcapClick()
{
    const QString ip = findChild<QLineEdit*>("edtpcapip")->text();
    const QString port = findChild<QLineEdit*>("edtpcapport")->text();
    const QString time = findChild<QLineEdit*>("edtPcapTime")->text();
    const QString size = findChild<QLineEdit*>("edtPcapFilesize")->text();
    const std::string error = checkPcapInputs(time.toStdString(), size.toStdString(), port.toStdString());
    if (!error.empty()) {
        frame_.showError(QString::fromStdString(error));
        return;
    }
    const bool yes = Dialogs::question(this, uiText(19), uiText(804));
    Logger::instance().debug("status:%d", yes ? 6 : 7);
    if (!yes) {
        edtPcapMsg_->appendPlainText(uiText(805));
        return;
    }
    // The box may have gone while the question was open; the status bar already says so.
    if (frame_.linkState() != 1)
        return;
    ReqPcap request;
    request.serverIp = ip.toStdString();
    request.serverPort = port.toStdString();
    request.captureTime = time.toStdString();
    request.maxFileSize = size.toStdString();
    frame_.queues().pushRequest(request);
    frame_.addPendingHandler([this] { return onPcapResponse(); });
    frame_.setWindowMode(Busy);
    frame_.showStatus(uiText(803));
}

int PcapPage::onPcapResponse()
{
    int result = 0;
    std::unique_ptr<Response> response = frame_.takeResponse(TypePcap, result);
    if (!response)
        return result;
    Logger& log = Logger::instance();
    log.info("Get pcap response");
    if (response->status == STA_OK) {
        frame_.setWindowMode(Idle);
        frame_.showStatus(uiText(404));
        log.info("STA_OK");
    } else {
        if (response->status == STA_ERROR) {
            frame_.showStatus(TfrmMain::responseErrorText(*response));
            log.error("STA_ERROR");
        }
        frame_.setWindowMode(Idle);
    }
    return 1;
}

} // namespace quillon
