#pragma once
// The only road from the application to the USB programmer. libusb 0.1 is
// loaded at run time at every prog_open, so a library beside the executable
// (RUNPATH $ORIGIN) wins over the system one, and a machine without the
// library reads exactly like a machine without the programmer.
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <usb.h>

#include "link/ProgrammerPresence.h"

namespace vantor {

// Number of the interface that the last prog_open claimed (or tried to);
// USB_bulk_close releases this number.
extern int InterfaceNumber;

// Every entry point of the libusb 0.1 API. Entry points the loaded library
// lacks are bound to stand-ins: -2 for those returning int, null for those
// returning a pointer (usb_get_version included), nothing for void ones.
struct UsbApi {
    void (*usb_init)();
    int (*usb_find_busses)();
    int (*usb_find_devices)();
    usb_bus* (*usb_get_busses)();
    usb_dev_handle* (*usb_open)(struct usb_device*);
    int (*usb_close)(usb_dev_handle*);
    int (*usb_get_string)(usb_dev_handle*, int, int, char*, size_t);
    int (*usb_get_string_simple)(usb_dev_handle*, int, char*, size_t);
    int (*usb_get_descriptor_by_endpoint)(usb_dev_handle*, int, unsigned char, unsigned char, void*,
                                          int);
    int (*usb_get_descriptor)(usb_dev_handle*, unsigned char, unsigned char, void*, int);
    int (*usb_bulk_write)(usb_dev_handle*, int, const char*, int, int);
    int (*usb_bulk_read)(usb_dev_handle*, int, char*, int, int);
    int (*usb_interrupt_write)(usb_dev_handle*, int, const char*, int, int);
    int (*usb_interrupt_read)(usb_dev_handle*, int, char*, int, int);
    int (*usb_control_msg)(usb_dev_handle*, int, int, int, int, char*, int, int);
    int (*usb_set_configuration)(usb_dev_handle*, int);
    int (*usb_claim_interface)(usb_dev_handle*, int);
    int (*usb_release_interface)(usb_dev_handle*, int);
    int (*usb_set_altinterface)(usb_dev_handle*, int);
    int (*usb_resetep)(usb_dev_handle*, unsigned int);
    int (*usb_clear_halt)(usb_dev_handle*, unsigned int);
    int (*usb_reset)(usb_dev_handle*);
    int (*usb_reset_ex)(usb_dev_handle*, unsigned int);
    char* (*usb_strerror)();
    void (*usb_set_debug)(int);
    struct usb_device* (*usb_device)(usb_dev_handle*);
    int (*usb_install_service_np)();
    int (*usb_uninstall_service_np)();
    int (*usb_install_driver_np)(const char*);
    const void* (*usb_get_version)();
    int (*usb_isochronous_setup_async)(usb_dev_handle*, void**, unsigned char, int);
    int (*usb_bulk_setup_async)(usb_dev_handle*, void**, unsigned char);
    int (*usb_interrupt_setup_async)(usb_dev_handle*, void**, unsigned char);
    int (*usb_submit_async)(void*, char*, int);
    int (*usb_reap_async)(void*, int);
    int (*usb_free_async)(void**);
};

// One device with the programmer's IDs, as a bus scan found it.
struct ProgrammerSlot {
    enum class Variant { Unknown, Duro, DuroDevice };
    // Usable: opened, ours, interface claimed (and released again by a scan).
    // NotOurs: opened, but the manufacturer or product text is not ours.
    enum class Access { Usable, NotOurs, PermissionDenied, Busy, Unavailable };

    int index = 0;      // 1-based, in scan order among devices with the IDs
    std::string bus;    // the bus's name as the library gives it ("001")
    std::string device; // the device's name on that bus ("005")
    Variant variant = Variant::Unknown;
    Access access = Access::Unavailable;
    int error = 0; // errno of a refused open or claim, 0 when none
    // The device's serial number string; read for the device prog_open
    // takes (production logs name it), empty when it has none.
    std::string serial;

    std::string location() const { return bus + ":" + device; }
    // Present but refused by the system: the user can do something about it.
    bool refused() const { return access == Access::PermissionDenied || access == Access::Busy; }
};

// Which device prog_open may take: the first that passes (the default), the
// one at a "BUS:DEV" location, or the N-th in scan order.
struct DeviceChoice {
    std::string location; // "BUS:DEV"; the names compare as numbers when both are
    int index = 0;        // 1-based; 0 = not by number
    bool any() const { return location.empty() && index == 0; }
    bool matches(const ProgrammerSlot& slot) const;
    // "2" or "001:005"; nullopt for any other text.
    static std::optional<DeviceChoice> parse(const std::string& text);
};

class UsbTransport {
public:
    static constexpr const char* kDefaultLibrary = "libusb-0.1.so.4";
    static constexpr int kBulkTimeoutMs = 5000;
    static constexpr int kStringTimeoutMs = 1000;
    static constexpr int kControlTimeoutMs = 7000;
    static constexpr std::chrono::milliseconds kDefaultReplyWait{50};

    // `libraryName` is passed to dlopen as it is: a bare name is searched the
    // usual way (the executable's RUNPATH first), a path loads that file.
    explicit UsbTransport(std::string libraryName = kDefaultLibrary);
    // Does not close an open device (callers close at the end of every
    // exchange); the library stays loaded while a handle is held.
    ~UsbTransport();
    UsbTransport(const UsbTransport&) = delete;
    UsbTransport& operator=(const UsbTransport&) = delete;

    // 1 when a programmer with these IDs, our manufacturer text and one of the
    // two product texts was opened and its interface claimed; else 0. Only
    // the chosen device is tried when a choice is set.
    int prog_open(int vendorId, int productId);
    void choose(DeviceChoice choice) { Choice = std::move(choice); }
    const DeviceChoice& choice() const { return Choice; }
    // After prog_open: the device it took, when it took one; how many devices
    // with the IDs the bus held; the first candidate the system refused
    // (permission, busy), whether or not another was taken after it.
    const std::optional<ProgrammerSlot>& opened() const { return Opened; }
    int candidatesSeen() const { return CandidatesSeen; }
    const std::optional<ProgrammerSlot>& refusal() const { return Refusal; }
    // Every device with the IDs, opened, identified, claimed and released
    // in turn (refusal() the first refused); the transport stays closed.
    // Skipped while a device is open.
    std::vector<ProgrammerSlot> scan(int vendorId, int productId);
    // Writes `length` bytes to the command endpoint; with `reply` set, waits
    // (50 ms) and reads `length` bytes from the IN endpoint into the same
    // buffer. Result of the last transfer made; 0 when none was made. A
    // failed or short command write is not followed by the reply: the
    // programmer has no command to answer, and the read would only add its
    // own time-out.
    int USB_bulk_cmd(unsigned char* buffer, int length, int reply);
    // What the command write of the last USB_bulk_cmd returned (0 when no
    // device was open): with a reply wanted the call's own result is the
    // read's, and a failed or short write must not hide behind it.
    int lastCommandWriteResult() const { return LastCommandWrite; }
    // One transfer to the data OUT endpoint / from the IN endpoint.
    int USB_bulk_write(const unsigned char* buffer, int length);
    int USB_bulk_read(unsigned char* buffer, int length);
    // Clears any halt left on the endpoints, releases and closes.
    void USB_bulk_close();
    // The library's error of the last failed transfer was EACCES or EPERM:
    // the node is open, but this user may not use it.
    bool permissionRefused() const { return PermissionRefused; }
    // Reads string descriptor `index` as 8-bit text: characters above 0xFF
    // become '?'. Characters stored, 0 for a descriptor that is not a string,
    // or the negative library error. At most length-1 characters and a zero.
    int usbGetStringAscii(usb_dev_handle* device, int index, int languageId, char* buffer,
                          int length);
    // Vendor control transfer to the device; -1 on any library error.
    int USB_transmit(std::uint8_t direction, std::uint8_t request, const std::uint8_t setup[4],
                     unsigned char* data, int length);

    bool isOpen() const { return DeviceHandle != nullptr; }
    usb_dev_handle* deviceHandle() const { return DeviceHandle; }
    int inEndpoint() const { return InEndpoint; }
    int dataOutEndpoint() const { return DataOutEndpoint; }
    int commandOutEndpoint() const { return CommandOutEndpoint; }
    // Multi-byte fields of command blocks go big-endian to this variant.
    bool bigEndian() const;
    const std::string& libraryName() const { return LibraryName; }
    // True once a prog_open found the library file (not the programmer).
    bool libraryLoaded() const { return Library != nullptr; }
    // Why the last load failed (the loader's words), "" after a good one.
    const std::string& loadError() const { return LoadError; }

    // The fixed wait between a command and its reply; tests shorten it.
    void setReplyWait(std::chrono::microseconds wait) { ReplyWait = wait; }
    std::chrono::microseconds replyWait() const { return ReplyWait; }
    // Who sleeps the reply wait: the chip engine pumps the window's events
    // meanwhile. Empty: a plain sleep.
    void setReplyWaiter(std::function<void(std::chrono::microseconds)> waiter) {
        ReplyWaiter = std::move(waiter);
    }

private:
    void loadLibrary();
    void bindEntryPoints();
    // Loads the library, scans the bus and hands every device with the IDs
    // to `visit(device, slot)`, its number and place filled in.
    template <typename Visit> void walk(int vendorId, int productId, Visit visit);
    // Opens, identifies and claims; null with `slot.access` saying why not.
    usb_dev_handle* openAndClaim(struct usb_device* device, ProgrammerSlot& slot);
    // Opens a device with the IDs and checks its texts; null (with
    // `slot.access` and `slot.error` set) when it is refused or not ours.
    usb_dev_handle* openAndIdentify(struct usb_device* device, ProgrammerSlot& slot);
    // 0, or the negative library error of the claim.
    int claim(struct usb_device* device, usb_dev_handle* handle);
    void take(usb_dev_handle* handle, const ProgrammerSlot& slot);
    void trace(const char* format, const char* text) const;
    // Notes a bulk transfer's result: a failed or short one may have left its
    // endpoint halted (libusb 0.1.12 reports a stall as the bytes done).
    int noteTransfer(int result, int length);
    // usb_clear_halt on the endpoints in use, once after a failed transfer,
    // so one failure never leaves the programmer unusable.
    void clearHalts();
    // A present programmer the library did not list (it could not open the
    // node) or could not identify, seen through udev: refused when this
    // user may not open its node.
    void refineByPresence(ProgrammerSlot& slot) const;
    template <typename Visit> void visitUnlisted(Visit visit);
    const char* errorText() const;

    usb_dev_handle* DeviceHandle = nullptr;
    int InEndpoint = 0x82;
    int DataOutEndpoint = 0x01;
    int CommandOutEndpoint = 0x02;

    std::string LibraryName;
    std::string LoadError;
    void* Library = nullptr;
    UsbApi Api{};
    std::chrono::microseconds ReplyWait = kDefaultReplyWait;
    std::function<void(std::chrono::microseconds)> ReplyWaiter;
    int LastCommandWrite = 0;
    bool HaltSuspected = false;
    bool PermissionRefused = false;
    std::vector<PresentProgrammer> Present; // udev's view at the last walk
    // Bus and device names the library listed at the last walk.
    std::vector<std::pair<std::string, std::string>> Listed;
    bool Tracing = false;
    DeviceChoice Choice;
    std::optional<ProgrammerSlot> Opened;
    std::optional<ProgrammerSlot> Refusal;
    int CandidatesSeen = 0;
};

} // namespace vantor
