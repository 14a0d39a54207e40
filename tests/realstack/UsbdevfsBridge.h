#pragma once
// Answers the usbdevfs ioctls that a program under test makes on the
// testbed's device nodes, as the kernel would, by forwarding every control
// and bulk transfer to the emulator. Bulk transfers come as URBs: each is
// done at submission and handed back by the next reap; a transfer the
// emulator times out never completes, so the library waits its time-out,
// discards the URB and reaps it as the kernel makes it do.
#include "tests/realstack/EmulatorBus.h"

#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include <umockdev.h>

namespace vantor::realstack {

class UsbdevfsBridge {
public:
    struct Options {
        // False when the programs under test may only read the node: the
        // kernel then refuses every ioctl with EPERM.
        bool clientMayWrite = true;
        // Called when a transfer hangs (the emulator timed it out).
        std::function<void()> onHang;
    };

    UsbdevfsBridge(EmulatorBus& bus, Options options) : Bus(bus), Opts(std::move(options)) {}
    ~UsbdevfsBridge();
    UsbdevfsBridge(const UsbdevfsBridge&) = delete;
    UsbdevfsBridge& operator=(const UsbdevfsBridge&) = delete;

    // Answers the ioctls on `devnode` (the node of `device`).
    bool attach(UMockdevTestbed* testbed, const std::string& devnode, const EmulatedDevice& device);

private:
    struct Client {
        const EmulatedDevice* device = nullptr;
        usb_dev_handle* handle = nullptr;
        bool gone = false;     // unplugged under it: every ioctl fails with ENODEV
        std::set<int> claimed; // interfaces it claimed
        std::deque<UMockdevIoctlData*> completed; // URBs waiting to be reaped
        std::deque<UMockdevIoctlData*> hung;      // URBs that never complete
        std::vector<UMockdevIoctlData*> reaped;   // handed back; freed when the client goes
    };

    static gboolean onIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer self);
    static void onConnected(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer self);
    static void onVanished(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer self);

    bool handle(UMockdevIoctlClient* client);
    void connect(UMockdevIoctlClient* client);
    void vanish(UMockdevIoctlClient* client);
    void claim(UMockdevIoctlClient* client, Client& c);
    void release(UMockdevIoctlClient* client, Client& c);
    void control(UMockdevIoctlClient* client, Client& c);
    void submit(UMockdevIoctlClient* client, Client& c);
    void reap(UMockdevIoctlClient* client, Client& c, bool wait);
    void discard(UMockdevIoctlClient* client, Client& c);
    void clearHalt(UMockdevIoctlClient* client, Client& c);
    void connectInfo(UMockdevIoctlClient* client, Client& c);
    // The number the ioctl's argument points to (interface, endpoint).
    static int numberArgument(UMockdevIoctlClient* client);

    EmulatorBus& Bus;
    Options Opts;
    std::mutex Mutex;
    std::map<std::string, const EmulatedDevice*> Nodes;
    std::map<UMockdevIoctlClient*, Client> Clients;
    // Node and interface -> the client holding it: one owner at a time.
    std::map<std::pair<std::string, int>, UMockdevIoctlClient*> Owners;
    // Node -> its endpoints halted until a CLEAR_HALT: the device keeps a
    // halt whoever opens it next.
    std::map<std::string, std::set<int>> Halted;
    std::vector<UMockdevIoctlBase*> Handlers;
};

} // namespace vantor::realstack
