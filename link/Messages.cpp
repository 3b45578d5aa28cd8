#include "Messages.h"

namespace quillon {

std::string functionName(int code)
{
    static const char* const names[] = {"read", "write", "ioctl", "inform", "connect"};
    return (code >= 0 && code <= 4) ? names[code] : "";
}

std::unique_ptr<Response> makeResponseFor(const Request& request)
{
    std::unique_ptr<Response> r;
    switch (request.type) {
    case TypeConnect: r = std::make_unique<ResConnect>(); break;
    case TypeDisconnect: r = std::make_unique<ResDisConnect>(); break;
    case TypeStbInfo: r = std::make_unique<ResSTBInfo>(); break;
    case TypeConfigInfo: r = std::make_unique<ResConfigInfo>(request.function); break;
    case TypeExportParams: r = std::make_unique<ResExportParams>(); break;
    case TypeExportChannelList: r = std::make_unique<ResExportChannelList>(); break;
    case TypePing: r = std::make_unique<ResPing>(); break;
    case TypeTraceRoute: r = std::make_unique<ResTraceRoute>(); break;
    case TypeUserCommand:
    case TypeButtonCommand:
        r = std::make_unique<ResExtCommand>(request.function, static_cast<uint8_t>(request.type));
        break;
    case TypeUpgrade: r = std::make_unique<ResUpgrade>(); break;
    case TypeLogParams: r = std::make_unique<ResLogParams>(request.function); break;
    default: r = std::make_unique<Response>(FuncNone, static_cast<uint8_t>(request.type)); break;
    }
    return r;
}

} // namespace quillon
