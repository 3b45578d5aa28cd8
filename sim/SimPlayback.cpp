#include "SimPlayback.h"

#include "SimSession.h"

namespace quillon::sim
{

namespace
{

constexpr int kIllegalParameter = 401;
constexpr int kIllegalOperation = 502;
constexpr int kNoUrl = 603;

bool isChannelNumber(const std::string& text)
{
    if (text.empty() || text.size() > 9)
        return false;
    for (char c : text)
        if (c < '0' || c > '9')
            return false;
    return true;
}

} // namespace

SimPlayState SimPlayback::state() const
{
    std::lock_guard<std::mutex> guard(mutex_);
    return state_;
}

bool SimPlayback::handleFrame(SimSession& session, const FrameWords& w)
{
    if (w.function != "connect")
        return false;
    int status = 200;
    {
        std::lock_guard<std::mutex> guard(mutex_);
        if (w.call == "play") {
            static const std::string channel = "Channel:";
            if (w.data.empty())
                status = kNoUrl;
            else if (w.data.compare(0, channel.size(), channel) == 0 ? !isChannelNumber(w.data.substr(channel.size()))
                                                                     : w.data.find("rtsp://") == std::string::npos &&
                                                                           w.data.find("igmp://") == std::string::npos)
                status = kIllegalParameter;
            else
                state_ = SimPlayState{w.data, std::string()};
        } else if (w.call == "stop") {
            state_ = SimPlayState{};
        } else if (w.call == "fast_forward" || w.call == "fast_backward" || w.call == "pause") {
            // Trick play needs something playing.
            if (state_.source.empty())
                status = kIllegalOperation;
            else
                state_.trick = w.call;
        } else {
            return false;
        }
    }
    session.reply(status, w);
    return true;
}

} // namespace quillon::sim
