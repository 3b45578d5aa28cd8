#include "Dialogs.h"

#include <QDialog>
#include <QFileDialog>
#include <QMessageBox>

namespace quillon::Dialogs
{

namespace
{
std::optional<QString> nextSaveFileName;
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
    QMessageBox box(QMessageBox::NoIcon, caption, text, QMessageBox::Ok, parent);
    box.exec();
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
    if (nextSaveFileName) {
        QString answer = *nextSaveFileName;
        nextSaveFileName.reset();
        return answer;
    }
    return QFileDialog::getSaveFileName(parent, QString(), QString(), filter);
}

void setNextSaveFileName(const QString& fileName)
{
    nextSaveFileName = fileName;
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
}

} // namespace quillon::Dialogs
