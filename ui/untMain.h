#pragma once

#include <QMainWindow>

namespace quillon {

class Commandio;

// The program's main window.
class TfrmMain : public QMainWindow {
    Q_OBJECT
public:
    explicit TfrmMain(Commandio& queues, QWidget* parent = nullptr);

private:
    Commandio& queues_;
};

} // namespace quillon
