#pragma once
// The programmer emulator's inside: the virtual bus the libusb entry points
// walk, the programmer's firmware and the chips in its sockets.
#include "emulator/Config.h"
#include "emulator/Device.h"
#include "emulator/EmulatorControl.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <vector>

#include <usb.h>

namespace vantor::emu {

// The time a bulk transfer of `bytes` takes on the full-speed link.
std::int64_t LinkTimeNs(int bytes);

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
    // A halted endpoint, and the stall that halts one (returns the bytes done).
    bool halted(const Device& d, int ep) const;
    int stall(Device& d, int ep, const char* error);
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
