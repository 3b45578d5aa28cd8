#include "Dialogs.h"

#include <QDialog>
#include <QFileDialog>
#include <QMessageBox>

namespace quillon::Dialogs
{

namespace
{
std::optional<QString> nextSaveFileName;
std::optional<QString> nextOpenFileName;
std::optional<QString> nextFolderName;
std::optional<bool> nextQuestionAnswer;
QString lastFilter;
QString lastTitle;

// Dialogs belong to the main window, not to the page that asks: a page is disabled while the link
// is down or a request runs, and a dialog parented to it would be disabled with it, its buttons
// grey and the question impossible to answer.
QWidget* owner(QWidget* parent)
{
    return parent ? parent->window() : nullptr;
}

QString takeAnswer(std::optional<QString>& next)
{
    QString answer = *next;
    next.reset();
    return answer;
}
bool suppressMessages = false;
int suppressedMessages = 0;
QString lastText;
QString lastCaption;
} // namespace

void information(QWidget* parent, const QString& caption, const QString& text)
{
    lastText = text;
    lastCaption = caption;
    if (suppressMessages) {
        ++suppressedMessages;
        return;
    }
    QMessageBox box(QMessageBox::NoIcon, caption, text, QMessageBox::Ok, owner(parent));
    box.exec();
}

bool question(QWidget* parent, const QString& caption, const QString& text)
{
    lastText = text;
    lastCaption = caption;
    if (nextQuestionAnswer) {
        const bool yes = *nextQuestionAnswer;
        nextQuestionAnswer.reset();
        return yes;
    }
    if (suppressMessages) {
        ++suppressedMessages;
        return false;
    }
    return QMessageBox::question(owner(parent), caption, text, QMessageBox::Yes | QMessageBox::No, QMessageBox::No) ==
           QMessageBox::Yes;
}

void exec(QDialog& dialog)
{
    if (suppressMessages) {
        lastCaption = dialog.windowTitle();
        ++suppressedMessages;
        return;
    }
    dialog.exec();
}

QString saveFileName(QWidget* parent, const QString& filter)
{
    lastFilter = filter;
    if (nextSaveFileName)
        return takeAnswer(nextSaveFileName);
    return QFileDialog::getSaveFileName(owner(parent), QString(), QString(), filter);
}

QString openFileName(QWidget* parent, const QString& filter)
{
    lastFilter = filter;
    if (nextOpenFileName)
        return takeAnswer(nextOpenFileName);
    return QFileDialog::getOpenFileName(owner(parent), QString(), QString(), filter);
}

QString folderName(QWidget* parent, const QString& title)
{
    lastTitle = title;
    if (nextFolderName)
        return takeAnswer(nextFolderName);
    return QFileDialog::getExistingDirectory(owner(parent), title, QString(), QFileDialog::ShowDirsOnly);
}

void setNextSaveFileName(const QString& fileName)
{
    nextSaveFileName = fileName;
}

void setNextOpenFileName(const QString& fileName)
{
    nextOpenFileName = fileName;
}

void setNextFolderName(const QString& folder)
{
    nextFolderName = folder;
}

void setNextQuestionAnswer(bool yes)
{
    nextQuestionAnswer = yes;
}

QString lastFileFilter()
{
    return lastFilter;
}

QString lastFolderTitle()
{
    return lastTitle;
}

void setSuppressMessages(bool suppress)
{
    suppressMessages = suppress;
}

int suppressedMessageCount()
{
    return suppressedMessages;
}

QString lastMessageText()
{
    return lastText;
}

QString lastMessageCaption()
{
    return lastCaption;
}

void resetCounters()
{
    suppressedMessages = 0;
    lastText.clear();
    lastCaption.clear();
    lastFilter.clear();
    lastTitle.clear();
}

} // namespace quillon::Dialogs
