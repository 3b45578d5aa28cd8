#include "untMain.h"

#include <Commandio.h>
#include <StringTable.h>

namespace quillon {

TfrmMain::TfrmMain(Commandio& queues, QWidget* parent) : QMainWindow(parent), queues_(queues)
{
    setObjectName("frmMain");
    setWindowTitle(QString::fromStdString(loadUiString(1)));
    resize(800, 600);
}

} // namespace quillon
