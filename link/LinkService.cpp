#include "LinkService.h"

#include "Frame.h"
#include "Session.h"
#include "StbLink.h"
#include "TSockDetect.h"
#include "TSockThread.h"

#include <Logger.h>

#include <cctype>
#include <fstream>
#include <sstream>

namespace quillon {

LinkService::LinkService(Commandio& queues, LinkObserver* observer)
    : queues_(queues), link_(std::make_unique<StbLink>(queues, observer)),
      worker_(std::make_unique<TSockThread>(*link_)), watchdog_(std::make_unique<TSockDetect>())
{
    link_->boxModulusHex = kDefaultBoxModulus;
    watchdog_->setWorker(worker_.get());
}

LinkService::~LinkService()
{
    shutdown();
}

void LinkService::setTimeouts(const LinkTimeouts& timeouts)
{
    link_->timeouts = timeouts;
}

bool LinkService::setBoxModulus(const std::string& hex, std::string* error)
{
    if (!isValidModulusHex(hex)) {
        if (error)
            *error = "the box modulus must be 256 hexadecimal digits";
        return false;
    }
    link_->boxModulusHex = hex;
    return true;
}

void LinkService::start()
{
    if (started_)
        return;
    started_ = true;
    worker_->start();
    watchdog_->start();
}

void LinkService::shutdown()
{
    watchdog_->stop();
    worker_->stop();
    // After the worker: no upgrade can start another sender any more.
    link_->fileSender.shutdown();
}

uint8_t LinkService::linkState() const
{
    return link_->linkState();
}

void LinkService::stopPing()
{
    const std::string frame = buildFrame(link_->authField.data(), "connect", "ping", "/stop") + '\0';
    if (link_->sendEncrypted(frame) < 0)
        Logger::instance().error("stop ping send() failed: %d", link_->lastError);
}

void LinkService::stopTraceRoute()
{
    const std::string frame = buildFrame(link_->authField.data(), "connect", "traceroute", "/stop") + '\0';
    if (link_->sendEncrypted(frame) < 0)
        Logger::instance().error("stop route send() failed: %d", link_->lastError);
}

bool parseBoxModulusOption(const std::string& value, std::string& hex, std::string& error)
{
    std::string text = value;
    if (!value.empty() && value[0] == '@') {
        std::ifstream in(value.substr(1));
        if (!in) {
            error = "cannot read the box modulus file " + value.substr(1);
            return false;
        }
        std::stringstream ss;
        ss << in.rdbuf();
        text = ss.str();
    }
    hex.clear();
    for (unsigned char c : text) {
        if (!std::isspace(c))
            hex += static_cast<char>(std::toupper(c));
    }
    if (!isValidModulusHex(hex)) {
        error = "the box modulus must be 256 hexadecimal digits (a 1024-bit RSA modulus)";
        return false;
    }
    return true;
}

} // namespace quillon
