#pragma once

#include <QDialog>

namespace quillon
{

// The About box. It takes its texts when it is created, so it always speaks the current language.
class TfrmAbout : public QDialog
{
    Q_OBJECT
public:
    explicit TfrmAbout(QWidget* parent = nullptr);

    // The build date and time in the compiler's forms, e.g. "Oct 29 2012 15:48:10".
    static QString buildStamp();
};

} // namespace quillon
