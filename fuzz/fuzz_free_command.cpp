// The free-command language typed on the operations page and given to `quillon-cli cmd`.
#include <FreeCommand.h>
#include <PlaybackCommand.h>

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::string target;
    int32_t duration = 0;
    quillon::parsePingCommand(text, target, duration);
    quillon::parseTraceRouteCommand(text, target);
    uint8_t function = 0;
    std::string call, parameter, data_;
    if (quillon::parseCommand(text, function, call, parameter, data_) && quillon::functionName(function).empty())
        __builtin_trap(); // a match always names one of the five functions
    const quillon::FreeCommand command = quillon::interpretFreeCommand(text);
    if (command.kind == quillon::FreeCommand::Command && command.request.command.rfind(
                                                             quillon::functionName(command.request.function) + "^", 0) != 0)
        __builtin_trap();
    int number = 0;
    quillon::parseChannelNumber(text, number);
    quillon::isPlayableUrl(text);
    return 0;
}
