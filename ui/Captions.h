#pragma once

#include <QString>
#include <QStringList>
#include <QWidget>

#include <initializer_list>
#include <vector>

class QComboBox;
class QLineEdit;
class QObject;
class QWidget;

namespace quillon
{

// The text of string `id` in the current language.
QString uiText(int id);

// A control and the string id of its caption. Each page keeps one table of these so that a
// language switch re-applies every caption from one place.
struct Caption {
    QObject* control;
    int id;
};
using CaptionTable = std::vector<Caption>;

// Sets the caption of a label, button, check box, group box, action or menu.
void setCaption(QObject* control, const QString& text);
void applyCaptions(const CaptionTable& table);

// Consecutive ids: the first control takes `firstId`, the next firstId + 1, and so on.
void appendCaptionRun(CaptionTable& table, int firstId, std::initializer_list<QObject*> controls);

// Items by string id.
QStringList uiTexts(std::initializer_list<int> ids);

// Re-fills a combo box without disturbing its selection: an empty box gets the items appended,
// a box holding as many items has the text of each replaced in place. A box holding another
// number of items (the HDMI list after a box of the other family) is filled anew, so that it
// never shows a mix of the two lists; its selection is kept where it still exists.
void refillCombo(QComboBox* combo, const QStringList& items);

} // namespace quillon

namespace quillon
{

// The same as appendCaptionRun, the controls found by object name under `root`.
void appendCaptionRunByName(CaptionTable& table, QObject* root, int firstId, std::initializer_list<const char*> names);

// Keeps `edit`'s tool tip equal to its text, so a value wider than the field can be read whole.
void showWholeInToolTip(QLineEdit* edit);
// Gives an address field room for a typical server URL (a box homepage) and the tip of
// showWholeInToolTip.
void makeRoomForUrl(QLineEdit* edit);

// A control of kind T named `name`, a child of `parent`.
template <typename T> T* makeNamed(QWidget* parent, const char* name)
{
    T* control = new T(parent);
    control->setObjectName(QString::fromLatin1(name));
    return control;
}

} // namespace quillon
