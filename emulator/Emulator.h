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
#include <span>
#include <string>
#include <vector>

#include <usb.h>

namespace vantor::emu {

// A serial memory chip. Addresses are taken the way the chip decodes them:
// SPI flash sees 24 address bits until 0xB7 switches it to 32, every chip
// ignores the bits above its size.
//
// A chip with an image file lives in that file, mapped shared: every page
// programmed or erased is on disk at once, a process killed mid-write leaves
// the half-written chip behind, and processes using the same image see one
// chip. Without an image (or when the file cannot be written) the chip lives
// in this process's memory.
class Chip {
public:
    explicit Chip(const ChipConfig& config);
    ~Chip();
    Chip(const Chip&) = delete;
    Chip& operator=(const Chip&) = delete;
    const ChipConfig& config() const { return Config; }
    std::uint32_t size() const { return Size; }
    std::uint8_t* data() { return Memory.data(); }
    // True when the contents live in the image file, shared with other processes.
    bool sharedImage() const { return Mapping != nullptr; }

    std::uint32_t decode(std::uint32_t address) const;
    void read(std::uint32_t address, std::uint8_t* out, std::uint32_t count) const;
    // One page write of the programmer: bytes past the end of the chip's own
    // page wrap to the start of that page. Flash only clears bits.
    void programPage(std::uint32_t address, const std::uint8_t* data, std::uint32_t count);
    void eraseAll();
    void eraseRange(std::uint32_t address, std::uint32_t count);

    bool fourByteMode = false;
    bool dirty = false; // changed since the last save
    Protection protection;
    int busyPolls = 0;
    std::chrono::steady_clock::time_point busyUntil{};

    bool save(); // asks the system to write the changed image to disk
    // Extends an image file shorter than the chip with FFh; false when the
    // chip has no image file or it cannot be written.
    bool keepWhole();

private:
    void fillInitial(std::uint8_t* memory) const;
    bool mapImage();

    ChipConfig Config;
    std::uint32_t Size = 0;
    std::span<std::uint8_t> Memory; // the mapped image or Own
    std::vector<std::uint8_t> Own;  // memory-only contents
    void* Mapping = nullptr;
    int ImageFd = -1; // the mapped image, kept to notice it shrinking
};

// A regular file at `path`, checked without blocking: a FIFO or a device is
// refused at once (opening it could wait for a writer or act on hardware).
// Sets `why` when the path exists and is not a regular file.
bool IsRegularOrAbsent(const std::string& path, std::string& why);

struct Device;

} // namespace vantor::emu

// libusb 0.1 keeps this type opaque; the emulator's handle is this.
struct usb_dev_handle {
    vantor::emu::Device* device = nullptr;
    bool claimed = false;
    int claimedInterface = -1;
    bool dead = false;  // the device went away under the handle
    int ownerLock = -1; // descriptor holding the programmer's lock while claimed
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
    // Time the transfers took on the emulated link since the last configure:
    // packets, firmware turnaround, program and write cycles. With bench
    // timing the emulator also makes each transfer last that long.
    std::int64_t wireTimeNs = 0;
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
    // Adds a transfer's link time to the clock; with bench timing, waits it out.
    void spend(std::int64_t ns);
    bool takeOwner(usb_dev_handle* h);
    void releaseOwner(usb_dev_handle* h);
    void logEvent(int kind, const Device* d, int ep, int length, int result, int fault,
                  long transfer, std::uint32_t address, const void* data, int dataLength);
    // Both return the firmware's extra time in ns (write and erase cycles).
    std::int64_t command(Device& d, const std::uint8_t* block, int size);
    std::int64_t programStream(Device& d, const std::uint8_t* data, int size);
    bool chipMatchesSetup(const Device& d) const;
    std::string configPath() const;

    Config Current;
    bool TextConfigured = false;
    std::string AppliedFileText;
    bool AppliedFileValid = false;
    std::mt19937_64 Random;
    // Fault positions count bulk transfers from the first open after the
    // set-up was (re)read, so an edit under a running window places its
    // faults from the next operation on.
    long FaultCount = 0;
    bool RestartFaultCount = true;
    std::vector<std::unique_ptr<Device>> Retired; // keep pointers held by old handles valid
    std::vector<std::unique_ptr<usb_bus>> BusStorage;
    std::string ErrorText = "no error";
    // Sleep overshoot still owed back to the link: a wake-up late by some
    // microseconds shortens the next wait, so the link keeps its rate.
    std::chrono::nanoseconds PaceCredit{0};
};

} // namespace vantor::emu
