#pragma once
// The harness's own copy of the programmer emulator, reached through its
// libusb 0.1 entry points: the bus it presents (to build the testbed from)
// and the transfers each opened node forwards to it. Only the harness loads
// this library; the programs under test load the system's libusb.
#include <string>
#include <vector>

#include <usb.h>

namespace vantor::realstack {

// One programmer the emulator puts on its bus, with the raw descriptors the
// kernel would hand out from its device node.
struct EmulatedDevice {
    int bus = 1;
    int devnum = 2;
    std::string manufacturer;
    std::string product;
    std::string serial;
    std::vector<unsigned char> descriptors; // device descriptor, then the configuration
    struct usb_device* device = nullptr;
    unsigned vendorId = 0;
    unsigned productId = 0;
};

class EmulatorBus {
public:
    // Throws std::runtime_error when the library or an entry point is missing.
    explicit EmulatorBus(const std::string& path);
    ~EmulatorBus();
    EmulatorBus(const EmulatorBus&) = delete;
    EmulatorBus& operator=(const EmulatorBus&) = delete;

    // Scans the emulator's bus: every plugged device.
    std::vector<EmulatedDevice> scan();

    usb_dev_handle* open(struct usb_device* device) { return Open(device); }
    void close(usb_dev_handle* handle) { Close(handle); }
    int claim(usb_dev_handle* handle, int interface) { return Claim(handle, interface); }
    int release(usb_dev_handle* handle, int interface) { return Release(handle, interface); }
    int clearHalt(usb_dev_handle* handle, unsigned endpoint) { return ClearHalt(handle, endpoint); }
    int control(usb_dev_handle* handle, int type, int request, int value, int index, char* data,
                int length) {
        return Control(handle, type, request, value, index, data, length, 1000);
    }
    int bulkWrite(usb_dev_handle* handle, int endpoint, const char* data, int length) {
        return BulkWrite(handle, endpoint, data, length, 5000);
    }
    int bulkRead(usb_dev_handle* handle, int endpoint, char* data, int length) {
        return BulkRead(handle, endpoint, data, length, 5000);
    }
    // The fault the emulator injected into its last bulk transfer (its event
    // log), 0 when none: a stall may come back as the bytes done.
    int lastFault() const;

private:
    std::string stringOf(struct usb_device* device, int index);

    void* Library = nullptr;
    void (*Init)() = nullptr;
    int (*FindBusses)() = nullptr;
    int (*FindDevices)() = nullptr;
    usb_bus* (*GetBusses)() = nullptr;
    usb_dev_handle* (*Open)(struct usb_device*) = nullptr;
    int (*Close)(usb_dev_handle*) = nullptr;
    int (*Claim)(usb_dev_handle*, int) = nullptr;
    int (*Release)(usb_dev_handle*, int) = nullptr;
    int (*ClearHalt)(usb_dev_handle*, unsigned) = nullptr;
    int (*Control)(usb_dev_handle*, int, int, int, int, char*, int, int) = nullptr;
    int (*BulkWrite)(usb_dev_handle*, int, const char*, int, int) = nullptr;
    int (*BulkRead)(usb_dev_handle*, int, char*, int, int) = nullptr;
    long (*EventCount)() = nullptr;
    int (*GetEvent)(long, void*) = nullptr;
};

} // namespace vantor::realstack
