#pragma once

#include <Commandio.h>
#include <StringTable.h>
#include <untMain.h>

#include <QAbstractButton>
#include <QComboBox>
#include <QLabel>
#include <QString>
#include <QWidget>

#include <memory>

namespace quillon::test
{

// The next request the window queued, or null when it queued none (never waits).
inline std::unique_ptr<Request> takeRequest(Commandio& queues)
{
    return queues.waitingRequests() > 0 ? queues.popRequest() : nullptr;
}

// A window whose tests feed its response queue themselves: no link threads.
inline LinkSetup noLink()
{
    LinkSetup setup;
    setup.startLink = false;
    return setup;
}

template <typename T> T* child(QWidget& root, const char* name)
{
    return root.findChild<T*>(QString::fromLatin1(name));
}

inline QString labelText(QWidget& root, const char* name)
{
    QLabel* label = child<QLabel>(root, name);
    return label ? label->text() : QStringLiteral("<missing %1>").arg(name);
}

// The text of string `id` in `language`, whatever the current language.
inline QString textIn(uint8_t language, int id)
{
    const uint8_t saved = uiLanguage();
    setUiLanguage(language);
    QString text = QString::fromStdString(loadUiString(id));
    setUiLanguage(saved);
    return text;
}

inline QString chineseText(int id)
{
    return textIn(LanguageChinese, id);
}

// A window without link threads (tests feed its queues), and one with short link time limits.
inline LinkSetup linkFreeSetup()
{
    LinkSetup setup;
    setup.startLink = false;
    return setup;
}

inline LinkSetup quickLinkSetup()
{
    LinkSetup setup;
    LinkTimeouts timeouts;
    timeouts.reply = std::chrono::milliseconds(3000);
    timeouts.watchdogPoll = std::chrono::milliseconds(200);
    setup.timeouts = timeouts;
    return setup;
}

} // namespace quillon::test
