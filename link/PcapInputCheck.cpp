#include "PcapInputCheck.h"

#include <cctype>

namespace quillon
{

namespace
{

std::string trimmed(const std::string& text)
{
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && std::isspace(static_cast<unsigned char>(text[begin])))
        ++begin;
    while (end > begin && std::isspace(static_cast<unsigned char>(text[end - 1])))
        --end;
    return text.substr(begin, end - begin);
}

// A decimal integer of 0 or more (digits only); huge values saturate. False for anything else.
bool readCount(const std::string& text, long long& value)
{
    if (text.empty())
        return false;
    value = 0;
    for (unsigned char c : text) {
        if (!std::isdigit(c))
            return false;
        if (value < 1000000000000000LL)
            value = value * 10 + (c - '0');
    }
    return true;
}

} // namespace

std::string checkPcapInputs(const std::string& time, const std::string& fileSize, const std::string& port)
{
    long long seconds = 0;
    const std::string t = trimmed(time);
    const bool timeGiven = !t.empty();
    if (timeGiven && !readCount(t, seconds))
        return "pcap time error";

    long long bytes = 0;
    const std::string s = trimmed(fileSize);
    const bool sizeGiven = !s.empty();
    if (sizeGiven && !readCount(s, bytes))
        return "pcap Filesize error";

    if (!timeGiven && !sizeGiven)
        return "时间、文件大小至少输入一个!";
    if (bytes < kMinPcapFileSize && seconds <= 0)
        return "抓包的最小值不能少于32KB !";

    long long portNumber = 0;
    const std::string p = trimmed(port);
    if (!p.empty() && (!readCount(p, portNumber) || portNumber > 65535))
        return "pcap port error";
    return {};
}

} // namespace quillon
