#include "WindowOptions.h"

#include <BoxText.h>
#include <LinkService.h>

#include <cstdlib>
#include <cstring>

namespace quillon
{

namespace
{

// The value of option `name` at argv[i] ("--name VALUE" or "--name=VALUE"), stepping i past it.
// 0 when argv[i] is another argument, -1 when the value is missing.
int optionValue(int argc, char* argv[], int& i, const char* name, std::string& value)
{
    const size_t nameLength = strlen(name);
    if (strcmp(argv[i], name) == 0) {
        if (i + 1 >= argc)
            return -1;
        value = argv[++i];
        return 1;
    }
    if (strncmp(argv[i], name, nameLength) == 0 && argv[i][nameLength] == '=') {
        value = argv[i] + nameLength + 1;
        return 1;
    }
    return 0;
}

// --live-log-port N: 1 to 65535.
bool parseLiveLogPort(const std::string& value, LinkSetup& setup, std::string& error)
{
    char* end = nullptr;
    const long port = std::strtol(value.c_str(), &end, 10);
    if (value.empty() || *end != '\0' || port < 1 || port > 65535) {
        error = "--live-log-port must be 1 to 65535";
        return false;
    }
    setup.liveLogPort = static_cast<uint16_t>(port);
    return true;
}

} // namespace

bool parseWindowOptions(int argc, char* argv[], LinkSetup& setup, std::string& error)
{
    for (int i = 1; i < argc; ++i) {
        std::string value;
        int found = optionValue(argc, argv, i, "--box-modulus", value);
        if (found < 0) {
            error = "--box-modulus needs a value: 256 hexadecimal digits or @FILE";
            return false;
        }
        if (found > 0) {
            if (!parseBoxModulusOption(value, setup.boxModulusHex, error))
                return false;
            continue;
        }
        found = optionValue(argc, argv, i, "--live-log-port", value);
        if (found < 0 || (found > 0 && !parseLiveLogPort(value, setup, error))) {
            error = "--live-log-port must be 1 to 65535";
            return false;
        }
        if (found > 0)
            continue;
        found = optionValue(argc, argv, i, "--box-encoding", value);
        BoxEncoding encoding;
        if (found < 0 || (found > 0 && !parseBoxEncoding(value, encoding))) {
            error = "--box-encoding must be gbk or utf-8";
            return false;
        }
        if (found > 0)
            setBoxEncoding(encoding);
    }
    return true;
}

} // namespace quillon
