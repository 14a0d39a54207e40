#include "link/UsbTransport.h"

#include "link/Protocol.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <type_traits>

#include <dlfcn.h>

namespace vantor {

int InterfaceNumber = 0;

namespace {

// Stand-in for an entry point the library lacks: does nothing, answers -2,
// or null where the entry point returns a pointer.
template <typename F> struct StandIn;
template <typename R, typename... A> struct StandIn<R (*)(A...)> {
    static R call(A...) {
        if constexpr (std::is_void_v<R>) {
            return;
        } else if constexpr (std::is_pointer_v<R>) {
            return nullptr;
        } else {
            return R(-2);
        }
    }
};

template <typename F> void Bind(void* library, F& slot, const char* name) {
    void* symbol = library != nullptr ? dlsym(library, name) : nullptr;
    slot = symbol != nullptr ? reinterpret_cast<F>(symbol) : &StandIn<F>::call;
}

} // namespace

UsbTransport::UsbTransport(std::string libraryName) : LibraryName(std::move(libraryName)) {
    const char* flag = std::getenv("VANTOR_USB_TRACE");
    Tracing = flag != nullptr && *flag != '\0';
    bindEntryPoints(); // all stand-ins until the first prog_open
}

UsbTransport::~UsbTransport() {
    // A held handle belongs to the loaded library: unloading it under the
    // handle would leave the handle pointing into unmapped code.
    if (Library != nullptr && DeviceHandle == nullptr) {
        dlclose(Library);
    }
}

bool UsbTransport::bigEndian() const {
    return IsBigEndianVariant(InEndpoint);
}

void UsbTransport::bindEntryPoints() {
    void* l = Library;
    Bind(l, Api.usb_init, "usb_init");
    Bind(l, Api.usb_find_busses, "usb_find_busses");
    Bind(l, Api.usb_find_devices, "usb_find_devices");
    Bind(l, Api.usb_get_busses, "usb_get_busses");
    Bind(l, Api.usb_open, "usb_open");
    Bind(l, Api.usb_close, "usb_close");
    Bind(l, Api.usb_get_string, "usb_get_string");
    Bind(l, Api.usb_get_string_simple, "usb_get_string_simple");
    Bind(l, Api.usb_get_descriptor_by_endpoint, "usb_get_descriptor_by_endpoint");
    Bind(l, Api.usb_get_descriptor, "usb_get_descriptor");
    Bind(l, Api.usb_bulk_write, "usb_bulk_write");
    Bind(l, Api.usb_bulk_read, "usb_bulk_read");
    Bind(l, Api.usb_interrupt_write, "usb_interrupt_write");
    Bind(l, Api.usb_interrupt_read, "usb_interrupt_read");
    Bind(l, Api.usb_control_msg, "usb_control_msg");
    Bind(l, Api.usb_set_configuration, "usb_set_configuration");
    Bind(l, Api.usb_claim_interface, "usb_claim_interface");
    Bind(l, Api.usb_release_interface, "usb_release_interface");
    Bind(l, Api.usb_set_altinterface, "usb_set_altinterface");
    Bind(l, Api.usb_resetep, "usb_resetep");
    Bind(l, Api.usb_clear_halt, "usb_clear_halt");
    Bind(l, Api.usb_reset, "usb_reset");
    Bind(l, Api.usb_reset_ex, "usb_reset_ex");
    Bind(l, Api.usb_strerror, "usb_strerror");
    Bind(l, Api.usb_set_debug, "usb_set_debug");
    Bind(l, Api.usb_device, "usb_device");
    Bind(l, Api.usb_install_service_np, "usb_install_service_np");
    Bind(l, Api.usb_uninstall_service_np, "usb_uninstall_service_np");
    Bind(l, Api.usb_install_driver_np, "usb_install_driver_np");
    Bind(l, Api.usb_get_version, "usb_get_version");
    Bind(l, Api.usb_isochronous_setup_async, "usb_isochronous_setup_async");
    Bind(l, Api.usb_bulk_setup_async, "usb_bulk_setup_async");
    Bind(l, Api.usb_interrupt_setup_async, "usb_interrupt_setup_async");
    Bind(l, Api.usb_submit_async, "usb_submit_async");
    Bind(l, Api.usb_reap_async, "usb_reap_async");
    Bind(l, Api.usb_free_async, "usb_free_async");
}

void UsbTransport::loadLibrary() {
    // Loading afresh at every open lets a library swapped on disk take effect
    // and keeps a machine without it reading as one without the programmer.
    if (Library != nullptr) {
        dlclose(Library);
        Library = nullptr;
    }
    Library = dlopen(LibraryName.c_str(), RTLD_NOW | RTLD_LOCAL);
    LoadError.clear();
    if (Library == nullptr) {
        const char* why = dlerror();
        LoadError = why != nullptr && *why != '\0' ? why : "cannot load";
        trace("cannot load USB library: %s\n", LoadError.c_str());
    }
    bindEntryPoints();
}

void UsbTransport::trace(const char* format, const char* text) const {
    if (Tracing) {
        std::fprintf(stderr, format, text != nullptr ? text : "");
    }
}

const char* UsbTransport::errorText() const {
    const char* text = Tracing ? Api.usb_strerror() : nullptr;
    return text != nullptr ? text : "";
}

namespace {

ProgrammerSlot::Access AccessFromError(int error) {
    switch (error) {
    case EACCES:
    case EPERM:
        return ProgrammerSlot::Access::PermissionDenied;
    case EBUSY:
        return ProgrammerSlot::Access::Busy;
    default:
        return ProgrammerSlot::Access::Unavailable;
    }
}

// "005" and "5" name the same device: numbers compare as numbers.
bool SameName(const std::string& a, const std::string& b) {
    const auto number = [](const std::string& text, unsigned long& value) {
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
        return !text.empty() && error == std::errc() && end == text.data() + text.size();
    };
    unsigned long x = 0;
    unsigned long y = 0;
    return number(a, x) && number(b, y) ? x == y : a == b;
}

} // namespace

bool DeviceChoice::matches(const ProgrammerSlot& slot) const {
    if (index != 0) {
        return slot.index == index;
    }
    if (location.empty()) {
        return true;
    }
    const auto colon = location.find(':');
    return SameName(location.substr(0, colon), slot.bus) &&
           SameName(location.substr(colon + 1), slot.device);
}

std::optional<DeviceChoice> DeviceChoice::parse(const std::string& text) {
    DeviceChoice choice;
    const auto colon = text.find(':');
    if (colon == std::string::npos) {
        const auto [end, error] =
            std::from_chars(text.data(), text.data() + text.size(), choice.index);
        if (text.empty() || error != std::errc() || end != text.data() + text.size() ||
            choice.index < 1) {
            return std::nullopt;
        }
        return choice;
    }
    if (colon == 0 || colon + 1 == text.size() || text.find(':', colon + 1) != std::string::npos) {
        return std::nullopt;
    }
    choice.location = text;
    return choice;
}

usb_dev_handle* UsbTransport::openAndIdentify(struct usb_device* device, ProgrammerSlot& slot) {
    errno = 0;
    usb_dev_handle* handle = Api.usb_open(device);
    if (handle == nullptr) {
        // libusb-compat leaves the reason in errno.
        slot.error = errno;
        slot.access = AccessFromError(slot.error);
        trace("Warning: cannot open USB device: %s\n", errorText());
        return nullptr;
    }
    char text[256];
    // libusb 0.1.12 opens a node it may only read; its first request is then
    // refused (EPERM), and that is the user's permission, not a fault.
    if (const int got = usbGetStringAscii(handle, device->descriptor.iManufacturer,
                                          kStringLanguageId, text, sizeof text);
        got < 0) {
        trace("warning: cannot query manufacturer for device: %s\n", errorText());
        slot.error = -got;
        slot.access = AccessFromError(slot.error);
        Api.usb_close(handle);
        return nullptr;
    }
    if (std::strcmp(text, kManufacturerText) != 0) {
        slot.access = ProgrammerSlot::Access::NotOurs;
        Api.usb_close(handle);
        return nullptr;
    }
    if (const int got = usbGetStringAscii(handle, device->descriptor.iProduct, kStringLanguageId,
                                          text, sizeof text);
        got < 0) {
        trace("warning: cannot query product for device: %s\n", errorText());
        slot.error = -got;
        slot.access = AccessFromError(slot.error);
        Api.usb_close(handle);
        return nullptr;
    }
    // "DudOVEDuro Device" first; both compared exactly.
    if (std::strcmp(text, kProductTextDudOVEDuroDevice) == 0) {
        slot.variant = ProgrammerSlot::Variant::DuroDevice;
    } else if (std::strcmp(text, kProductTextDudOVEDuro) == 0) {
        slot.variant = ProgrammerSlot::Variant::Duro;
    } else {
        slot.access = ProgrammerSlot::Access::NotOurs;
        Api.usb_close(handle);
        return nullptr;
    }
    return handle;
}

int UsbTransport::claim(struct usb_device* device, usb_dev_handle* handle) {
    // A device that describes no interface cannot be claimed.
    const usb_config_descriptor* config = device->config;
    if (config == nullptr || config->bNumInterfaces == 0 || config->interface == nullptr ||
        config->interface[0].num_altsetting < 1 || config->interface[0].altsetting == nullptr) {
        trace("error writing:\n%s\n", "device describes no interface");
        return -ENOENT;
    }
    InterfaceNumber = config->interface[0].altsetting[0].bInterfaceNumber;
    const int result = Api.usb_claim_interface(handle, InterfaceNumber);
    if (result < 0) {
        trace("error writing:\n%s\n", errorText());
    }
    return result < 0 ? result : 0;
}

void UsbTransport::take(usb_dev_handle* handle, const ProgrammerSlot& slot) {
    const EndpointSet& e = slot.variant == ProgrammerSlot::Variant::DuroDevice
                               ? kEndpointsDudOVEDuroDevice
                               : kEndpointsDudOVEDuro;
    DeviceHandle = handle;
    InEndpoint = e.in;
    DataOutEndpoint = e.dataOut;
    CommandOutEndpoint = e.commandOut;
    Opened = slot;
}

usb_dev_handle* UsbTransport::openAndClaim(struct usb_device* device, ProgrammerSlot& slot) {
    usb_dev_handle* handle = openAndIdentify(device, slot);
    if (handle == nullptr) {
        refineByPresence(slot);
        return nullptr;
    }
    const int claimed = claim(device, handle);
    if (claimed == 0) {
        slot.access = ProgrammerSlot::Access::Usable;
        return handle;
    }
    slot.error = -claimed;
    slot.access = AccessFromError(slot.error);
    refineByPresence(slot);
    Api.usb_close(handle);
    return nullptr;
}

namespace {

std::string ThreeDigits(int number) {
    char text[16];
    std::snprintf(text, sizeof text, "%03d", number);
    return text;
}

// The variant its product text names, as the device announced it to udev.
ProgrammerSlot::Variant VariantOf(const std::string& product) {
    if (product == kProductTextDudOVEDuroDevice) {
        return ProgrammerSlot::Variant::DuroDevice;
    }
    return product == kProductTextDudOVEDuro ? ProgrammerSlot::Variant::Duro
                                             : ProgrammerSlot::Variant::Unknown;
}

bool SameLocation(const PresentProgrammer& p, const ProgrammerSlot& slot) {
    return SameName(ThreeDigits(p.bus), slot.bus) && SameName(ThreeDigits(p.device), slot.device);
}

} // namespace

void UsbTransport::refineByPresence(ProgrammerSlot& slot) const {
    if (slot.access != ProgrammerSlot::Access::Unavailable) {
        return;
    }
    for (const auto& p : Present) {
        if (SameLocation(p, slot) && p.accessError != 0) {
            slot.error = p.accessError;
            slot.access = AccessFromError(EACCES);
            slot.variant = VariantOf(p.product);
        }
    }
}

template <typename Visit> void UsbTransport::visitUnlisted(Visit visit) {
    for (const auto& p : Present) {
        ProgrammerSlot slot;
        slot.bus = ThreeDigits(p.bus);
        slot.device = ThreeDigits(p.device);
        const bool listed = std::any_of(Listed.begin(), Listed.end(), [&](const auto& seen) {
            return SameName(seen.first, slot.bus) && SameName(seen.second, slot.device);
        });
        // A node the library could open but did not list is not ours to judge.
        if (listed || p.accessError == 0) {
            continue;
        }
        slot.index = ++CandidatesSeen;
        slot.variant = VariantOf(p.product);
        slot.error = p.accessError;
        slot.access = AccessFromError(EACCES);
        visit(static_cast<struct usb_device*>(nullptr), slot);
    }
}

template <typename Visit> void UsbTransport::walk(int vendorId, int productId, Visit visit) {
    Opened.reset();
    Refusal.reset();
    CandidatesSeen = 0;
    PermissionRefused = false;
    HaltSuspected = false;
    Listed.clear();
    Present = FindPresentProgrammers(vendorId, productId);
    loadLibrary();
    Api.usb_init();
    Api.usb_find_busses();
    Api.usb_find_devices();
    for (usb_bus* bus = Api.usb_get_busses(); bus != nullptr; bus = bus->next) {
        for (struct usb_device* device = bus->devices; device != nullptr; device = device->next) {
            if (device->descriptor.idVendor != vendorId ||
                device->descriptor.idProduct != productId) {
                continue;
            }
            ProgrammerSlot slot;
            slot.index = ++CandidatesSeen;
            slot.bus = bus->dirname;
            slot.device = device->filename;
            Listed.emplace_back(slot.bus, slot.device);
            visit(device, slot);
        }
    }
    visitUnlisted(visit);
}

int UsbTransport::prog_open(int vendorId, int productId) {
    if (DeviceHandle != nullptr) {
        // Callers close before they open again. A handle still held is
        // dropped; its library must then stay loaded, so take a new
        // reference instead of unloading the one the handle lives in.
        DeviceHandle = nullptr;
        Library = nullptr;
    }
    // The first device that passes every test is taken; the walk goes on
    // only to count the devices with the IDs.
    walk(vendorId, productId, [this](struct usb_device* device, ProgrammerSlot& slot) {
        if (DeviceHandle != nullptr || !Choice.matches(slot)) {
            return;
        }
        if (device == nullptr) { // present, but the library could not open its node
            if (!Refusal) {
                Refusal = slot;
            }
            return;
        }
        if (usb_dev_handle* handle = openAndClaim(device, slot); handle != nullptr) {
            char serial[256];
            if (device->descriptor.iSerialNumber != 0 &&
                usbGetStringAscii(handle, device->descriptor.iSerialNumber, kStringLanguageId,
                                  serial, sizeof serial) > 0) {
                slot.serial = serial;
            }
            take(handle, slot);
        } else if (slot.refused() && !Refusal) {
            Refusal = slot;
        }
    });
    if (DeviceHandle == nullptr && Tracing) {
        std::fprintf(stderr, "Could not find USB device \"%s\" with vid=0x%x pid=0x%x\n",
                     kManufacturerText, unsigned(vendorId), unsigned(productId));
    }
    return DeviceHandle != nullptr ? 1 : 0;
}

std::vector<ProgrammerSlot> UsbTransport::scan(int vendorId, int productId) {
    std::vector<ProgrammerSlot> found;
    if (DeviceHandle != nullptr) {
        return found; // the open device's library must stay as it is
    }
    walk(vendorId, productId, [&](struct usb_device* device, ProgrammerSlot& slot) {
        if (device != nullptr) {
            if (usb_dev_handle* handle = openAndClaim(device, slot); handle != nullptr) {
                Api.usb_release_interface(handle, InterfaceNumber);
                Api.usb_close(handle);
            }
        }
        if (slot.refused() && !Refusal) {
            Refusal = slot;
        }
        found.push_back(slot);
    });
    return found;
}

int UsbTransport::usbGetStringAscii(usb_dev_handle* device, int index, int languageId, char* buffer,
                                    int length) {
    unsigned char descriptor[256] = {};
    const int received = Api.usb_control_msg(
        device, USB_ENDPOINT_IN, USB_REQ_GET_DESCRIPTOR, (USB_DT_STRING << 8) + index, languageId,
        reinterpret_cast<char*>(descriptor), sizeof descriptor, kStringTimeoutMs);
    if (received < 0) {
        return received;
    }
    if (buffer == nullptr || length <= 0) {
        return 0;
    }
    if (descriptor[1] != USB_DT_STRING) {
        buffer[0] = '\0'; // empty, so it can never match a text
        return 0;
    }
    const int usable = std::min<int>(std::min<int>(received, sizeof descriptor), descriptor[0]);
    const int characters = usable / 2;
    // Character 0 is the descriptor's header. Room is kept for the zero.
    int stored = 0;
    for (int i = 1; i < characters && i < length; ++i) {
        const unsigned char low = descriptor[2 * i];
        const unsigned char high = descriptor[2 * i + 1];
        buffer[i - 1] = high != 0 ? '?' : char(low);
        stored = i;
    }
    buffer[stored] = '\0';
    return stored;
}

int UsbTransport::USB_bulk_cmd(unsigned char* buffer, int length, int reply) {
    int result = 0;
    LastCommandWrite = 0;
    if (DeviceHandle != nullptr) {
        clearHalts();
        result = noteTransfer(Api.usb_bulk_write(DeviceHandle, CommandOutEndpoint,
                                                 reinterpret_cast<const char*>(buffer), length,
                                                 kBulkTimeoutMs),
                              length);
        LastCommandWrite = result;
        if (result < 0) {
            trace("error writing:\n%s\n", errorText());
        }
        if (result != length) {
            return result;
        }
    }
    if (reply != 0) {
        if (ReplyWait.count() > 0) {
            ReplyWaiter ? ReplyWaiter(ReplyWait) : std::this_thread::sleep_for(ReplyWait);
        }
        if (DeviceHandle != nullptr) {
            result = noteTransfer(Api.usb_bulk_read(DeviceHandle, InEndpoint,
                                                    reinterpret_cast<char*>(buffer), length,
                                                    kBulkTimeoutMs),
                                  length);
            if (result < 0) {
                trace("error writing:\n%s\n", errorText());
            }
        }
    }
    return result;
}

int UsbTransport::USB_bulk_write(const unsigned char* buffer, int length) {
    if (DeviceHandle == nullptr) {
        return 0;
    }
    const int result = noteTransfer(Api.usb_bulk_write(DeviceHandle, DataOutEndpoint,
                                                       reinterpret_cast<const char*>(buffer),
                                                       length, kBulkTimeoutMs),
                                    length);
    if (result < 0) {
        trace("error writing:\n%s\n", errorText());
    }
    return result;
}

int UsbTransport::USB_bulk_read(unsigned char* buffer, int length) {
    if (DeviceHandle == nullptr) {
        return 0;
    }
    const int result =
        noteTransfer(Api.usb_bulk_read(DeviceHandle, InEndpoint, reinterpret_cast<char*>(buffer),
                                       length, kBulkTimeoutMs),
                     length);
    if (result < 0) {
        trace("error writing:\n%s\n", errorText());
    }
    return result;
}

int UsbTransport::noteTransfer(int result, int length) {
    if (result != length) {
        HaltSuspected = true;
        PermissionRefused = PermissionRefused || result == -EPERM || result == -EACCES;
    }
    return result;
}

void UsbTransport::clearHalts() {
    if (!HaltSuspected || DeviceHandle == nullptr) {
        return;
    }
    HaltSuspected = false;
    for (const int endpoint : {InEndpoint, DataOutEndpoint, CommandOutEndpoint}) {
        Api.usb_clear_halt(DeviceHandle, unsigned(endpoint));
    }
}

void UsbTransport::USB_bulk_close() {
    if (DeviceHandle == nullptr) {
        return;
    }
    clearHalts(); // the next program (or the next operation) starts clean
    if (Api.usb_release_interface(DeviceHandle, InterfaceNumber) < 0) {
        trace("error writing:\n%s\n", errorText());
    }
    Api.usb_close(DeviceHandle);
    DeviceHandle = nullptr;
}

int UsbTransport::USB_transmit(std::uint8_t direction, std::uint8_t request,
                               const std::uint8_t setup[4], unsigned char* data, int length) {
    if (DeviceHandle == nullptr) {
        return 0;
    }
    const int requestType = (direction << 7) | USB_TYPE_VENDOR;
    const int value = setup[0] + 256 * setup[1];
    const int index = setup[2] + 256 * setup[3];
    const int result =
        Api.usb_control_msg(DeviceHandle, requestType, request, value, index,
                            reinterpret_cast<char*>(data), length, kControlTimeoutMs);
    if (result < 0) {
        trace("error writing:\n%s\n", errorText());
        return -1;
    }
    return result;
}

} // namespace vantor
