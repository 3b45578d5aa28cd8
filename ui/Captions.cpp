#include "Captions.h"

#include <StringTable.h>

#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>

namespace quillon
{

QString uiText(int id)
{
    return QString::fromStdString(loadUiString(id));
}

void setCaption(QObject* control, const QString& text)
{
    if (auto* label = qobject_cast<QLabel*>(control))
        label->setText(text);
    else if (auto* button = qobject_cast<QAbstractButton*>(control))
        button->setText(text);
    else if (auto* group = qobject_cast<QGroupBox*>(control))
        group->setTitle(text);
    else if (auto* action = qobject_cast<QAction*>(control))
        action->setText(text);
    else if (auto* menu = qobject_cast<QMenu*>(control))
        menu->setTitle(text);
}

void applyCaptions(const CaptionTable& table)
{
    for (const Caption& caption : table)
        setCaption(caption.control, uiText(caption.id));
}

void appendCaptionRun(CaptionTable& table, int firstId, std::initializer_list<QObject*> controls)
{
    int id = firstId;
    for (QObject* control : controls)
        table.push_back({control, id++});
}

QStringList uiTexts(std::initializer_list<int> ids)
{
    QStringList texts;
    for (int id : ids)
        texts << uiText(id);
    return texts;
}

void refillCombo(QComboBox* combo, const QStringList& items)
{
    const int selected = combo->currentIndex();
    if (combo->count() == items.size()) {
        for (int i = 0; i < items.size(); ++i)
            combo->setItemText(i, items[i]);
    } else {
        combo->clear();
        combo->addItems(items);
    }
    combo->setCurrentIndex(selected < combo->count() ? selected : -1);
}

} // namespace quillon

namespace quillon
{

void appendCaptionRunByName(CaptionTable& table, QObject* root, int firstId, std::initializer_list<const char*> names)
{
    int id = firstId;
    for (const char* name : names) {
        QObject* control = root->findChild<QObject*>(QString::fromLatin1(name));
        Q_ASSERT_X(control, "appendCaptionRunByName", name);
        table.push_back({control, id++});
    }
}

void showWholeInToolTip(QLineEdit* edit)
{
    QObject::connect(edit, &QLineEdit::textChanged, edit, [edit](const QString& text) { edit->setToolTip(text); });
}

void makeRoomForUrl(QLineEdit* edit)
{
    // The text's width plus the field's frame and inner margins.
    const int text =
        edit->fontMetrics().horizontalAdvance(QStringLiteral("http://00.00.0.00:0000/iptvepg/platform/auth.jsp"));
    edit->setMinimumWidth(text + 16);
    showWholeInToolTip(edit);
}

} // namespace quillon
