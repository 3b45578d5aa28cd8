#include "TSockThread.h"

#include "StbLink.h"
#include "untSock.h"

#include <Logger.h>

#include <exception>

namespace quillon {

TSockThread::TSockThread(StbLink& link) : link_(link) {}

TSockThread::~TSockThread()
{
    stop();
}

void TSockThread::start()
{
    if (!thread_.joinable())
        thread_ = std::thread([this] { run(); });
}

void TSockThread::stop()
{
    link_.queues.closeRequests();
    // A running exchange is waiting on the box: shutting the connection down ends its wait.
    link_.socket.close();
    if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id())
        thread_.join();
}

void TSockThread::run()
{
    while (auto request = link_.queues.popRequest()) {
        execute(*request);
        if (link_.queues.requestsClosed())
            break; // shutting down: requests still queued are dropped
    }
}

void TSockThread::execute(const Request& request)
{
    Logger& log = Logger::instance();
    try {
        link_.discardStale();
        switch (request.type) {
        case TypeConnect:
            log.info("send connect request");
            connectExchange(link_, dynamic_cast<const ReqConnect&>(request));
            break;
        case TypeDisconnect:
            log.info("send disconnect request");
            disconnectExchange(link_, dynamic_cast<const ReqDisConnect&>(request));
            break;
        case TypeStbInfo:
            log.info("send get STB info request");
            stbInfoExchange(link_, dynamic_cast<const ReqSTBInfo&>(request));
            break;
        case TypeConfigInfo:
            log.info("send config info request");
            configInfoExchange(link_, dynamic_cast<const ReqConfigInfo&>(request));
            break;
        case TypeExportParams:
            log.info("send export all calls request");
            exportParamsExchange(link_, dynamic_cast<const ReqExportParams&>(request));
            break;
        case TypeExportChannelList:
            log.info("send channel list request");
            exportChannelListExchange(link_, dynamic_cast<const ReqExportChannelList&>(request));
            break;
        case TypePing:
            log.info("send ping request");
            pingExchange(link_, dynamic_cast<const ReqPing&>(request));
            break;
        case TypeTraceRoute:
            log.info("send trace route request");
            traceRouteExchange(link_, dynamic_cast<const ReqTraceRoute&>(request));
            break;
        case TypeUserCommand:
        case TypeButtonCommand:
            log.info("send command request");
            extCommandExchange(link_, dynamic_cast<const ReqExtCommand&>(request));
            break;
        case TypeUpgrade:
            log.info("send upgrade image request");
            upgradeExchange(link_, dynamic_cast<const ReqUpgrade&>(request));
            break;
        case TypeLogParams:
            log.info("send log params request");
            logParamsExchange(link_, dynamic_cast<const ReqLogParams&>(request));
            break;
        case TypePcap:
            log.info("send pcap request");
            pcapExchange(link_, dynamic_cast<const ReqPcap&>(request));
            break;
        default:
            log.info("send unknown request");
            break;
        }
    } catch (...) {
        // The window waits for an answer: give it one and go on with the next request.
        log.error("request execute exception");
        auto response = makeResponseFor(request);
        response->setResult(STA_ERROR, "request execute exception", 0);
        link_.queues.pushResponse(*response);
    }
}

} // namespace quillon
