// An INI text (account.ini and configuration files), read, changed and written back.
#include "FuzzInput.h"

#include <IniFile.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace quillon;
    IniFile ini;
    ini.parse(fuzz::text(data, size));
    ini.value("stb", "user");
    ini.setValue("stb", "user", "u1");
    IniFile again;
    again.parse(ini.text());
    if (again.value("stb", "user") != "u1")
        __builtin_trap();
    return 0;
}
