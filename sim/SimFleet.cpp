#include "SimFleet.h"

#include <cstdio>

#include <arpa/inet.h>

namespace quillon::sim
{

namespace
{

std::string withNumber(const std::string& text, int n)
{
    std::string out;
    for (size_t i = 0; i < text.size();) {
        if (text.compare(i, 3, "{n}") == 0) {
            out += std::to_string(n);
            i += 3;
        } else {
            out += text[i++];
        }
    }
    return out;
}

} // namespace

const char* fleetFaultName(FleetFault fault)
{
    switch (fault) {
    case FleetFault::Silent:
        return "silent";
    case FleetFault::WrongPassword:
        return "refuses the password";
    case FleetFault::DropLink:
        return "drops the link";
    case FleetFault::PartialReads:
        return "refuses some reads";
    default:
        return "none";
    }
}

std::string fleetSerial(int n)
{
    char text[32];
    std::snprintf(text, sizeof text, "0010029900%010d", n);
    return text;
}

std::string fleetMac(int n)
{
    char text[32];
    std::snprintf(text, sizeof text, "00:1A:2B:%02X:%02X:%02X", (n >> 16) & 0xff, (n >> 8) & 0xff, n & 0xff);
    return text;
}

SimFleet::SimFleet(FleetOptions options) : options_(std::move(options)) {}

SimFleet::~SimFleet()
{
    stop();
}

std::string SimFleet::expectedPassword(size_t i) const
{
    const std::string rule = withNumber(options_.box.password, static_cast<int>(i) + 1);
    return faults_[i] == FleetFault::WrongPassword ? rule + "-other" : rule;
}

bool SimFleet::start(std::string* error)
{
    auto fail = [&](const std::string& why) {
        if (error)
            *error = why;
        stop();
        return false;
    };
    in_addr first{};
    if (options_.boxes < 1)
        return fail("a fleet needs at least one box");
    if (::inet_pton(AF_INET, options_.firstAddress.c_str(), &first) != 1)
        return fail("not an IPv4 address: " + options_.firstAddress);
    const uint32_t base = ntohl(first.s_addr);
    const uint32_t last = base + static_cast<uint32_t>(options_.consecutivePorts ? 0 : options_.boxes - 1);
    if ((base >> 24) != 127 || (last >> 24) != 127 || last < base)
        return fail("the boxes' addresses must stay within 127.0.0.0/8");
    if (options_.consecutivePorts && options_.port != 0 && options_.port + options_.boxes - 1 > 65535)
        return fail("the boxes' ports would pass 65535");

    const int boxes = options_.boxes;
    const int faulty = std::min(options_.faulty, boxes);
    faults_.assign(static_cast<size_t>(boxes), FleetFault::None);
    static const FleetFault kinds[] = {FleetFault::Silent, FleetFault::WrongPassword, FleetFault::DropLink,
                                       FleetFault::PartialReads};
    for (int j = 0; j < faulty; ++j)
        faults_[static_cast<size_t>(static_cast<long long>(j) * boxes / faulty)] = kinds[j % 4];

    for (int i = 0; i < boxes; ++i) {
        const int n = i + 1;
        SimOptions box = options_.box;
        in_addr a{};
        a.s_addr = htonl(options_.consecutivePorts ? base : base + static_cast<uint32_t>(i));
        char text[INET_ADDRSTRLEN];
        ::inet_ntop(AF_INET, &a, text, sizeof text);
        box.listenAddress = text;
        box.port = options_.consecutivePorts && options_.port != 0 ? options_.port + i : options_.port;
        box.user = withNumber(options_.box.user, n);
        box.password = withNumber(options_.box.password, n);
        if (!box.stateFile.empty() && boxes > 1)
            box.stateFile += "." + std::to_string(n);
        const FleetFault fault = faults_[static_cast<size_t>(i)];
        if (fault == FleetFault::WrongPassword)
            box.password += "-other";
        auto simulator = std::make_unique<StbSimulator>(box);
        // Identity first; values kept in a state file win over it.
        if (simulator->value("STBSerialNumber") == "00100299000123456789")
            simulator->setValue("STBSerialNumber", fleetSerial(n));
        if (simulator->value("MACAddress") == "00:1A:2B:3C:4D:5E")
            simulator->setValue("MACAddress", fleetMac(n));
        SimFaults faults;
        if (fault == FleetFault::Silent)
            faults.silent = true;
        else if (fault == FleetFault::DropLink)
            faults.closeAfterFrames = 1; // answers the first frame, then goes away
        else if (fault == FleetFault::PartialReads)
            faults.statusOverride = {{"ChipId", 401}, {"TMSPassword", 401}};
        simulator->setFaults(faults);
        std::string why;
        if (!simulator->start(&why))
            return fail(box.listenAddress + ":" + std::to_string(box.port) + ": " + why);
        addresses_.push_back(box.listenAddress);
        boxes_.push_back(std::move(simulator));
    }
    return true;
}

void SimFleet::stop()
{
    for (auto& box : boxes_)
        box->stop();
}

} // namespace quillon::sim
