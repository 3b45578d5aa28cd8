#pragma once

#include <Commandio.h>
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

} // namespace quillon::test
