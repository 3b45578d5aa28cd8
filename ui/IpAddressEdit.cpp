#include "IpAddressEdit.h"

#include <QApplication>
#include <QClipboard>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpressionValidator>

namespace quillon
{

IpAddressEdit::IpAddressEdit(QWidget* parent) : QWidget(parent)
{
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    auto* validator = new QRegularExpressionValidator(QRegularExpression("[0-9]{0,3}"), this);
    for (int i = 0; i < 4; ++i) {
        if (i > 0) {
            auto* dot = new QLabel(".", this);
            dot->setAlignment(Qt::AlignCenter);
            layout->addWidget(dot);
        }
        auto* field = new QLineEdit(this);
        field->setObjectName(QStringLiteral("octet%1").arg(i));
        field->setValidator(validator);
        field->setAlignment(Qt::AlignCenter);
        field->setMaxLength(3);
        field->setFixedWidth(field->fontMetrics().horizontalAdvance("0000") + 8);
        field->installEventFilter(this);
        connect(field, &QLineEdit::textEdited, this, [this, i] { octetEdited(i); });
        layout->addWidget(field);
        fields_[i] = field;
    }
    layout->addStretch(1);
    setFocusProxy(fields_[0]);
    setFocusPolicy(Qt::StrongFocus);
}

uint32_t IpAddressEdit::address() const
{
    uint32_t value = 0;
    for (QLineEdit* field : fields_)
        value = (value << 8) | (field->text().toUInt() & 0xFF);
    return value;
}

bool IpAddressEdit::isBlank() const
{
    for (QLineEdit* field : fields_)
        if (!field->text().isEmpty())
            return false;
    return true;
}

void IpAddressEdit::clear()
{
    for (QLineEdit* field : fields_)
        field->clear();
}

bool IpAddressEdit::setText(const QString& text)
{
    const QStringList parts = text.trimmed().split('.');
    if (parts.size() != 4)
        return false;
    for (const QString& part : parts) {
        bool ok = false;
        const uint value = part.toUInt(&ok);
        if (!ok || value > 255 || part.size() > 3)
            return false;
    }
    for (int i = 0; i < 4; ++i)
        fields_[i]->setText(QString::number(parts[i].toUInt()));
    return true;
}

QString IpAddressEdit::text() const
{
    const uint32_t a = address();
    return QStringLiteral("%1.%2.%3.%4").arg(a >> 24).arg((a >> 16) & 0xFF).arg((a >> 8) & 0xFF).arg(a & 0xFF);
}

int IpAddressEdit::indexOf(QObject* field) const
{
    for (int i = 0; i < 4; ++i)
        if (fields_[i] == field)
            return i;
    return -1;
}

void IpAddressEdit::focusField(int index, bool selectAll)
{
    QLineEdit* field = fields_[index];
    field->setFocus(Qt::OtherFocusReason);
    if (selectAll)
        field->selectAll();
    else
        field->setCursorPosition(field->text().size());
}

void IpAddressEdit::octetEdited(int index)
{
    QLineEdit* field = fields_[index];
    // An octet above 255 is held at 255, as users of such fields expect.
    if (field->text().toUInt() > 255)
        field->setText("255");
    if (field->text().size() == 3 && field->cursorPosition() == 3 && index < 3)
        focusField(index + 1, true);
}

// Tab and Backtab skip the other octets: the control is one stop in the tab order.
void IpAddressEdit::leave(bool forward)
{
    QWidget* w = forward ? fields_[3] : fields_[0];
    for (;;) {
        w = forward ? w->nextInFocusChain() : w->previousInFocusChain();
        if (w == fields_[0] || w == fields_[3] || w == nullptr)
            return;
        // This control itself hands its focus to the first octet, so it is no place to go.
        if (w != this && indexOf(w) < 0 && (w->focusPolicy() & Qt::TabFocus) && w->isEnabled() && w->isVisible()) {
            w->setFocus(forward ? Qt::TabFocusReason : Qt::BacktabFocusReason);
            return;
        }
    }
}

bool IpAddressEdit::eventFilter(QObject* watched, QEvent* event)
{
    const int index = indexOf(watched);
    if (index < 0 || event->type() != QEvent::KeyPress)
        return QWidget::eventFilter(watched, event);
    auto* key = static_cast<QKeyEvent*>(event);
    QLineEdit* field = fields_[index];
    if (key->matches(QKeySequence::Paste)) {
        const QString pasted = QApplication::clipboard()->text().trimmed();
        if (pasted.contains('.')) {
            setText(pasted);
            return true;
        }
        return false;
    }
    switch (key->key()) {
    case Qt::Key_Period:
    case Qt::Key_Comma:
        if (!field->text().isEmpty() && !field->hasSelectedText() && index < 3)
            focusField(index + 1, true);
        return true;
    case Qt::Key_Backspace:
        if (field->text().isEmpty() && index > 0) {
            focusField(index - 1, false);
            return true;
        }
        return false;
    case Qt::Key_Left:
        if (field->cursorPosition() == 0 && !field->hasSelectedText() && index > 0) {
            focusField(index - 1, false);
            return true;
        }
        return false;
    case Qt::Key_Right:
        if (field->cursorPosition() == field->text().size() && index < 3) {
            fields_[index + 1]->setFocus(Qt::OtherFocusReason);
            fields_[index + 1]->setCursorPosition(0);
            return true;
        }
        return false;
    case Qt::Key_Tab:
        leave(true);
        return true;
    case Qt::Key_Backtab:
        leave(false);
        return true;
    default:
        return false;
    }
}

} // namespace quillon
