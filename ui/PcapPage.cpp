#include "PcapPage.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace quillon
{

PcapPage::PcapPage(QWidget* parent) : QWidget(parent)
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
    auto* messages = makeNamed<QPlainTextEdit>(group, "edtPcapMsg");
    messages->setReadOnly(true);
    messages->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    grid->addWidget(messages, 3, 0, 1, 5);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(3, 1);
    grid->setRowStretch(3, 1);
    layout->addWidget(group, 1);

    appendCaptionRunByName(captions_, this, 700, {"gbpcap", "lblPcapPort", "lblPcapTime", "lblPcapFilesize"});
    appendCaptionRunByName(captions_, this, 700, {"btnPcap"});
    appendCaptionRunByName(captions_, this, 704, {"Label1"});
}

void PcapPage::applyUiLanguage()
{
    applyCaptions(captions_);
}

} // namespace quillon
