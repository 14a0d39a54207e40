#pragma once
// The emulated programmer as the bus sees it: its USB descriptors, the handles
// open on it and the firmware's state between commands.
#include "emulator/Chip.h"
#include "emulator/Config.h"
#include "link/Protocol.h"

#include <cstdint>
#include <memory>
#include <vector>

#include <usb.h>

namespace vantor::emu {
struct Device;
} // namespace vantor::emu

// libusb 0.1 keeps this type opaque; the emulator's handle is this.
struct usb_dev_handle {
    vantor::emu::Device* device = nullptr;
    bool claimed = false;
    int claimedInterface = -1;
    bool dead = false;  // the device went away under the handle
    int ownerLock = -1; // descriptor holding the programmer's lock while claimed
    // Opened on a node this user may only read, as libusb 0.1.12 does: every
    // request on it is refused with EPERM.
    bool readOnly = false;
};

namespace vantor::emu {

struct Device {
    explicit Device(const DeviceConfig& c);
    DeviceConfig config;
    int index = 0;
    bool plugged = true;
    std::unique_ptr<Chip> chip; // null for an empty socket
    EndpointSet endpoints{};
    std::vector<usb_dev_handle*> handles;
    // Endpoints halted by a stall: they stay so until usb_clear_halt.
    std::vector<int> halted;

    // USB descriptors as libusb 0.1 presents them.
    struct usb_device usb {};
    usb_config_descriptor configDescriptor{};
    usb_interface interface {};
    usb_interface_descriptor altsetting{};
    usb_endpoint_descriptor endpointDescriptors[3]{};

    // Firmware state.
    bool setupValid = false;
    ChipParameters setup{};
    CommandBlock reply{};
    bool replyPending = false;
    bool streaming = false;
    std::uint32_t streamAddress = 0;
    std::uint32_t streamStart = 0; // where the last CMD_SET_ADDRESS put it
    int pendingHighByte = -1;      // 16-bit Microwire: first half of a word
    // EEPROM page erases carry 16-bit offsets: a smaller offset than the last
    // one means the host's count passed the next 64 KiB.
    std::uint32_t eraseBase = 0;
    int lastEraseArgument = -1;

    void buildDescriptors();
    void applyChip(const ChipConfig& c);
    // String descriptor `which` (0: the languages) into `out`; its length,
    // 0 when the device has no such string.
    int stringDescriptor(int which, std::uint8_t (&out)[256]) const;
};

} // namespace vantor::emu
