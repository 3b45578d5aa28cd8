#pragma once

#include <QString>

#include <optional>

class QDialog;
class QWidget;

namespace quillon
{

// The window's modal dialogs behind one seam: a test sets the next answer beforehand and the
// dialog is not shown at all, so GUI tests never block.
namespace Dialogs
{

// A message box with only an OK button and no icon.
void information(QWidget* parent, const QString& caption, const QString& text);
// A question with Yes and No buttons; true for Yes.
bool question(QWidget* parent, const QString& caption, const QString& text);
// Shows a dialog modally; with messages suppressed it is counted and not shown.
void exec(QDialog& dialog);
// A file-save dialog; empty when cancelled. `filter` uses Qt's ";;" form.
QString saveFileName(QWidget* parent, const QString& filter);

// A file-open dialog; empty when cancelled. `filter` uses Qt's ";;" form.
QString openFileName(QWidget* parent, const QString& filter);
// A picker of existing folders titled `title`; empty when cancelled.
QString folderName(QWidget* parent, const QString& title);

// Test seams. setNextSaveFileName("") answers the next save dialog with a cancel; the same for
// the open dialog and the folder picker.
void setNextSaveFileName(const QString& fileName);
void setNextOpenFileName(const QString& fileName);
void setNextFolderName(const QString& folder);
// Answers the next question box (true: Yes) without showing it.
void setNextQuestionAnswer(bool yes);
// The filter of the last file dialog and the title of the last folder picker, answered or shown.
QString lastFileFilter();
QString lastFolderTitle();
// Counts message boxes answered by the seam (instead of being shown) since the last reset,
// and keeps the text of the last one.
void setSuppressMessages(bool suppress);
int suppressedMessageCount();
QString lastMessageText();
QString lastMessageCaption();
void resetCounters();

} // namespace Dialogs
} // namespace quillon
