#pragma once

#include "StbSimulator.h"

#include <memory>
#include <string>
#include <vector>

namespace quillon::sim
{

// How a faulty box of a fleet misbehaves.
enum class FleetFault { None, Silent, WrongPassword, DropLink, PartialReads };
const char* fleetFaultName(FleetFault fault);

struct FleetOptions {
    int boxes = 1;
    std::string firstAddress = "127.0.0.1"; // box n listens on the n-th address from here...
    int port = 9003;                        // ...at this port (0: one of the system's choosing each)
    bool consecutivePorts = false;          // or all on firstAddress, at port, port + 1, ...
    int faulty = 0;                         // boxes that misbehave, spread over the fleet
    // Every box's options; "{n}" in the user and the password is the box's number (from 1), and
    // a state file gets ".n" behind its name when there is more than one box.
    SimOptions box;
};

// Many simulated boxes in one process, each with its own serial number, MAC address, values,
// credentials and listener, on consecutive loopback addresses or ports.
class SimFleet
{
public:
    explicit SimFleet(FleetOptions options);
    ~SimFleet();
    SimFleet(const SimFleet&) = delete;
    SimFleet& operator=(const SimFleet&) = delete;

    // Starts every box; false with the reason (and none left running) when one cannot start or
    // an address would leave 127.0.0.0/8.
    bool start(std::string* error = nullptr);
    void stop();

    size_t size() const { return boxes_.size(); }
    StbSimulator& box(size_t i) { return *boxes_[i]; }
    const std::string& address(size_t i) const { return addresses_[i]; }
    int port(size_t i) const { return boxes_[i]->port(); }
    FleetFault fault(size_t i) const { return faults_[i]; }
    // The box's own password (differs from the rule for a box that refuses it).
    std::string expectedPassword(size_t i) const;

private:
    FleetOptions options_;
    std::vector<std::unique_ptr<StbSimulator>> boxes_;
    std::vector<std::string> addresses_;
    std::vector<FleetFault> faults_;
};

// The serial number and MAC address of box n (from 1) of a fleet.
std::string fleetSerial(int n);
std::string fleetMac(int n);

} // namespace quillon::sim
