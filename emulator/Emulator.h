#pragma once
// The programmer emulator's inside: chip models that behave like silicon, the
// programmer's firmware and the virtual bus the libusb entry points walk.
#include "emulator/Config.h"
#include "emulator/EmulatorControl.h"
#include "emulator/Protection.h"
#include "link/Protocol.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <vector>

#include <usb.h>

namespace vantor::emu {

// A serial memory chip. Addresses are taken the way the chip decodes them:
// SPI flash sees 24 address bits until 0xB7 switches it to 32, every chip
// ignores the bits above its size.
class Chip {
public:
    explicit Chip(const ChipConfig& config);
    const ChipConfig& config() const { return Config; }
    std::uint32_t size() const { return std::uint32_t(Memory.size()); }
    std::vector<std::uint8_t>& memory() { return Memory; }

    std::uint32_t decode(std::uint32_t address) const;
    void read(std::uint32_t address, std::uint8_t* out, std::uint32_t count) const;
    // One page write of the programmer: bytes past the end of the chip's own
    // page wrap to the start of that page. Flash only clears bits.
    void programPage(std::uint32_t address, const std::uint8_t* data, std::uint32_t count);
    void eraseAll();
    void eraseRange(std::uint32_t address, std::uint32_t count);

    bool fourByteMode = false;
    bool dirty = false;
    Protection protection;
    int busyPolls = 0;
    std::chrono::steady_clock::time_point busyUntil{};

    bool load(); // from the image file; false when there is none
    bool save(); // to the image file when dirty
    void fillInitial();

private:
    ChipConfig Config;
    std::vector<std::uint8_t> Memory;
};

struct Device;

} // namespace vantor::emu

// libusb 0.1 keeps this type opaque; the emulator's handle is this.
struct usb_dev_handle {
    vantor::emu::Device* device = nullptr;
    bool claimed = false;
    int claimedInterface = -1;
    bool dead = false; // the device went away under the handle
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
    int pendingHighByte = -1; // 16-bit Microwire: first half of a word
    // EEPROM page erases carry 16-bit offsets: a smaller offset than the last
    // one means the host's count passed the next 64 KiB.
    std::uint32_t eraseBase = 0;
    int lastEraseArgument = -1;

    void buildDescriptors();
    void applyChip(const ChipConfig& c);
};

class Emulator {
public:
    static Emulator& instance();
    std::recursive_mutex mutex;

    // Configuration.
    int configure(const char* text);
    void rescan(); // re-reads the file set-up when it changed; rebuilds the bus
    std::string lastError;

    // Bus.
    usb_bus* busses = nullptr;
    int findBusses();
    int findDevices();

    // libusb entry points.
    usb_dev_handle* open(struct usb_device* dev);
    int close(usb_dev_handle* h);
    int claim(usb_dev_handle* h, int interface);
    int release(usb_dev_handle* h, int interface);
    int control(usb_dev_handle* h, int requestType, int request, int value, int index, char* bytes,
                int size);
    int bulkWrite(usb_dev_handle* h, int ep, const char* bytes, int size);
    int bulkRead(usb_dev_handle* h, int ep, char* bytes, int size);
    void setError(const char* text) { ErrorText = text; }
    const char* errorText() const { return ErrorText.c_str(); }

    // Control API.
    std::vector<std::unique_ptr<Device>> devices;
    std::vector<vantor_emu_event> events;
    long transfers = 0;
    int openHandles = 0;
    void plug(int index, bool on);
    Device* device(int index);
    void resetLog() { events.clear(); }

    ~Emulator();

private:
    Emulator();
    void apply(Config config, bool resetCounters);
    void rebuildBus();
    void unplugDevice(Device& d);
    void retire(std::unique_ptr<Device> d);
    int nextFault(bool write, bool read);
    void logEvent(int kind, const Device* d, int ep, int length, int result, int fault,
                  long transfer, std::uint32_t address, const void* data, int dataLength);
    void command(Device& d, const std::uint8_t* block, int size);
    void programStream(Device& d, const std::uint8_t* data, int size);
    bool chipMatchesSetup(const Device& d) const;
    std::string configPath() const;

    Config Current;
    bool TextConfigured = false;
    std::string AppliedFileText;
    bool AppliedFileValid = false;
    std::mt19937_64 Random;
    std::vector<std::unique_ptr<Device>> Retired; // keep pointers held by old handles valid
    std::vector<std::unique_ptr<usb_bus>> BusStorage;
    std::string ErrorText = "no error";
};

} // namespace vantor::emu
