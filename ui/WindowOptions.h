#pragma once

#include "untMain.h"

#include <string>

namespace quillon
{

// Reads the window program's own options: --box-modulus HEX|@FILE, --box-encoding gbk|utf-8
// and --live-log-port N (also --name=VALUE) into `setup` and the box encoding. False with a
// reason when an option is malformed; Qt's own options are left for QApplication.
bool parseWindowOptions(int argc, char* argv[], LinkSetup& setup, std::string& error);

} // namespace quillon
