#pragma once
// A umockdev testbed that looks like a machine with the emulator's devices
// plugged in: a root hub per bus and each device with its sysfs attributes
// (IDs, bus and device numbers, strings, descriptors) and its usbdevfs node.
#include "tests/realstack/EmulatorBus.h"

#include <string>
#include <vector>

#include <umockdev.h>

namespace vantor::realstack {

class Testbed {
public:
    // Throws std::runtime_error when the testbed refuses a device.
    explicit Testbed(const std::vector<EmulatedDevice>& devices);
    // Removes the testbed's folder: umockdev leaves it behind otherwise.
    ~Testbed();
    Testbed(const Testbed&) = delete;
    Testbed& operator=(const Testbed&) = delete;

    UMockdevTestbed* get() const { return Bed; }
    const std::string& root() const { return Root; }
    // "/dev/bus/usb/BBB/DDD" of a device.
    static std::string devnode(const EmulatedDevice& device);
    // Lets another user reach the testbed (folders, sockets) and gives the
    // programmers' nodes `mode`, as udev would with its rules.
    void openTo(const std::vector<EmulatedDevice>& devices, unsigned mode) const;

private:
    void add(const std::string& record);

    UMockdevTestbed* Bed = nullptr;
    std::string Root;
};

} // namespace vantor::realstack
