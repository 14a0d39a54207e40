#include "tests/realstack/EmulatorBus.h"

#include "emulator/EmulatorControl.h"

#include <stdexcept>

#include <dlfcn.h>

namespace vantor::realstack {

namespace {

template <typename F> void Bind(void* library, F& slot, const char* name) {
    void* symbol = dlsym(library, name);
    if (symbol == nullptr) {
        throw std::runtime_error(std::string("the emulator lacks ") + name);
    }
    slot = reinterpret_cast<F>(symbol);
}

void PutWord(std::vector<unsigned char>& out, unsigned value) {
    out.push_back(static_cast<unsigned char>(value & 0xFF));
    out.push_back(static_cast<unsigned char>(value >> 8));
}

// The bytes a device sends for its descriptors, rebuilt from the parsed
// form libusb 0.1 keeps: what the kernel returns on read() of the node.
std::vector<unsigned char> RawDescriptors(const struct usb_device& device) {
    const usb_device_descriptor& d = device.descriptor;
    std::vector<unsigned char> out = {USB_DT_DEVICE_SIZE, USB_DT_DEVICE};
    PutWord(out, d.bcdUSB);
    out.insert(out.end(),
               {d.bDeviceClass, d.bDeviceSubClass, d.bDeviceProtocol, d.bMaxPacketSize0});
    PutWord(out, d.idVendor);
    PutWord(out, d.idProduct);
    PutWord(out, d.bcdDevice);
    out.insert(out.end(), {d.iManufacturer, d.iProduct, d.iSerialNumber, d.bNumConfigurations});
    const usb_config_descriptor* c = device.config;
    if (c == nullptr) {
        return out;
    }
    const std::size_t configStart = out.size();
    out.insert(out.end(), {USB_DT_CONFIG_SIZE, USB_DT_CONFIG, 0, 0, c->bNumInterfaces,
                           c->bConfigurationValue, c->iConfiguration,
                           static_cast<unsigned char>(c->bmAttributes | 0x80), c->MaxPower});
    for (int i = 0; i < c->bNumInterfaces; ++i) {
        for (int a = 0; a < c->interface[i].num_altsetting; ++a) {
            const usb_interface_descriptor& s = c->interface[i].altsetting[a];
            out.insert(out.end(), {USB_DT_INTERFACE_SIZE, USB_DT_INTERFACE, s.bInterfaceNumber,
                                   s.bAlternateSetting, s.bNumEndpoints, s.bInterfaceClass,
                                   s.bInterfaceSubClass, s.bInterfaceProtocol, s.iInterface});
            for (int e = 0; e < s.bNumEndpoints; ++e) {
                const usb_endpoint_descriptor& p = s.endpoint[e];
                out.insert(out.end(), {USB_DT_ENDPOINT_SIZE, USB_DT_ENDPOINT, p.bEndpointAddress,
                                       p.bmAttributes});
                PutWord(out, p.wMaxPacketSize);
                out.push_back(p.bInterval);
            }
        }
    }
    const std::size_t total = out.size() - configStart;
    out[configStart + 2] = static_cast<unsigned char>(total & 0xFF);
    out[configStart + 3] = static_cast<unsigned char>(total >> 8);
    return out;
}

} // namespace

EmulatorBus::EmulatorBus(const std::string& path) {
    Library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (Library == nullptr) {
        const char* why = dlerror();
        throw std::runtime_error("cannot load the emulator " + path + ": " +
                                 (why != nullptr ? why : ""));
    }
    Bind(Library, Init, "usb_init");
    Bind(Library, FindBusses, "usb_find_busses");
    Bind(Library, FindDevices, "usb_find_devices");
    Bind(Library, GetBusses, "usb_get_busses");
    Bind(Library, Open, "usb_open");
    Bind(Library, Close, "usb_close");
    Bind(Library, Claim, "usb_claim_interface");
    Bind(Library, Release, "usb_release_interface");
    Bind(Library, ClearHalt, "usb_clear_halt");
    Bind(Library, Control, "usb_control_msg");
    Bind(Library, BulkWrite, "usb_bulk_write");
    Bind(Library, BulkRead, "usb_bulk_read");
    Bind(Library, EventCount, "vantor_emu_event_count");
    Bind(Library, GetEvent, "vantor_emu_get_event");
}

EmulatorBus::~EmulatorBus() {
    dlclose(Library);
}

std::string EmulatorBus::stringOf(struct usb_device* device, int index) {
    usb_dev_handle* handle = Open(device);
    if (handle == nullptr || index == 0) {
        if (handle != nullptr) {
            Close(handle);
        }
        return {};
    }
    unsigned char raw[256] = {};
    const int got =
        Control(handle, USB_ENDPOINT_IN, USB_REQ_GET_DESCRIPTOR, (USB_DT_STRING << 8) | index,
                0x0409, reinterpret_cast<char*>(raw), sizeof raw, 1000);
    Close(handle);
    std::string text;
    for (int i = 2; i + 1 < got && i + 1 < raw[0]; i += 2) {
        text += raw[i + 1] == 0 ? char(raw[i]) : '?';
    }
    return text;
}

std::vector<EmulatedDevice> EmulatorBus::scan() {
    Init();
    FindBusses();
    FindDevices();
    std::vector<EmulatedDevice> found;
    for (usb_bus* bus = GetBusses(); bus != nullptr; bus = bus->next) {
        for (struct usb_device* d = bus->devices; d != nullptr; d = d->next) {
            EmulatedDevice e;
            e.bus = std::stoi(bus->dirname);
            e.devnum = std::stoi(d->filename);
            e.device = d;
            e.vendorId = d->descriptor.idVendor;
            e.productId = d->descriptor.idProduct;
            e.descriptors = RawDescriptors(*d);
            e.manufacturer = stringOf(d, d->descriptor.iManufacturer);
            e.product = stringOf(d, d->descriptor.iProduct);
            e.serial = stringOf(d, d->descriptor.iSerialNumber);
            found.push_back(std::move(e));
        }
    }
    return found;
}

int EmulatorBus::lastFault() const {
    const long count = EventCount();
    vantor_emu_event event{};
    if (count <= 0 || GetEvent(count - 1, &event) != 0) {
        return VANTOR_EMU_FAULT_NONE;
    }
    return event.fault;
}

} // namespace vantor::realstack
