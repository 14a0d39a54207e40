#pragma once
// Finds programmers on the bus without libusb: udev's view of the USB
// devices (vendor, product, bus and device number) and whether this user may
// open each node. libusb 0.1.12 drops a node it cannot open from its scan
// without a word, and opens a read-only node that then refuses every
// request; libusb-compat fails the open instead. Asking the system directly
// gives one answer whichever library is loaded.
#include <string>
#include <vector>

namespace vantor {

struct PresentProgrammer {
    int bus = 0;         // bus number
    int device = 0;      // device number on that bus
    std::string product; // the product text the device announced, "" when unknown
    std::string node;    // "/dev/bus/usb/BBB/DDD"
    int accessError = 0; // errno of access(node, R_OK | W_OK), 0 when allowed
};

// Every device with the IDs that udev knows; empty when udev cannot be asked.
std::vector<PresentProgrammer> FindPresentProgrammers(int vendorId, int productId);

} // namespace vantor
