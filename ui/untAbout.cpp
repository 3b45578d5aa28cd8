#include "untAbout.h"

#include "Captions.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace quillon
{

TfrmAbout::TfrmAbout(QWidget* parent) : QDialog(parent)
{
    setObjectName("frmAbout");
    setWindowTitle(uiText(293));
    auto* image = makeNamed<QLabel>(this, "Image1");
    image->setPixmap(style()->standardIcon(QStyle::SP_ComputerIcon).pixmap(48, 48));
    auto* name = makeNamed<QLabel>(this, "lblSoftwareName");
    name->setText(uiText(294));
    QFont big = name->font();
    big.setPointSize(big.pointSize() + 4);
    big.setBold(true);
    name->setFont(big);
    auto* version = makeNamed<QLabel>(this, "lblVersion");
    version->setText(uiText(295));
    auto* compiled = makeNamed<QLabel>(this, "lblCompilerTime");
    compiled->setText(uiText(797) + buildStamp());
    auto* licence = makeNamed<QLabel>(this, "lblLicence");
    licence->setText(uiText(798));
    auto* bevel = makeNamed<QFrame>(this, "Bevel1");
    bevel->setFrameShape(QFrame::HLine);
    bevel->setFrameShadow(QFrame::Sunken);
    auto* ok = makeNamed<QPushButton>(this, "btnOK");
    ok->setText(uiText(297));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    auto* texts = new QVBoxLayout;
    texts->addWidget(name);
    texts->addWidget(version);
    texts->addWidget(compiled);
    texts->addWidget(licence);
    auto* top = new QHBoxLayout;
    top->addWidget(image, 0, Qt::AlignTop);
    top->addSpacing(12);
    top->addLayout(texts, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(bevel);
    layout->addWidget(ok, 0, Qt::AlignRight);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

QString TfrmAbout::buildStamp()
{
    return QStringLiteral(__DATE__ " " __TIME__);
}

} // namespace quillon
