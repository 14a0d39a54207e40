// The libusb 0.1 entry points and the control functions: the only symbols the
// emulator library exports (everything else is built hidden).
#pragma GCC visibility push(default)
#include <usb.h>

#include "emulator/EmulatorControl.h"
#pragma GCC visibility pop

#include "emulator/Emulator.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <string>
#include <unistd.h>

using vantor::emu::Emulator;

#pragma GCC visibility push(default)
struct usb_bus* usb_busses = nullptr;
#pragma GCC visibility pop

namespace {

using Guard = std::lock_guard<std::recursive_mutex>;

Emulator& Emu() {
    return Emulator::instance();
}

vantor::emu::Device* DeviceOf(struct usb_device* dev) {
    for (auto& d : Emu().devices) {
        if (&d->usb == dev) {
            return d.get();
        }
    }
    return nullptr;
}

// With VANTOR_EMULATOR_LOG set, the command log is appended to that file as
// text when the library goes (exit or unload), one event a line, so a test
// can read what another process sent: "KIND device endpoint length result
// transfer address" and, for a command block, its opcode.
struct LogFile {
    ~LogFile() {
        const char* path = std::getenv("VANTOR_EMULATOR_LOG");
        if (path == nullptr || *path == '\0') {
            return;
        }
        Guard g(Emu().mutex);
        static const char* const kKinds[] = {"?",       "OPEN",    "CLOSE",     "CLAIM",
                                             "RELEASE", "CONTROL", "COMMAND",   "DATA_OUT",
                                             "REPLY",   "DATA_IN", "BULK_OTHER"};
        std::string text;
        for (const vantor_emu_event& e : Emu().events) {
            const int kind = e.kind >= 1 && e.kind <= 10 ? e.kind : 0;
            char line[128];
            std::snprintf(line, sizeof line, "%s %d %d %d %d %ld %u", kKinds[kind], e.device,
                          e.endpoint, e.length, e.result, e.transfer, unsigned(e.address));
            text += line;
            if (e.kind == VANTOR_EMU_COMMAND) {
                text += " op=" + std::to_string(e.data[1]);
            }
            text += '\n';
        }
        // One write: processes that end together do not mix their lines.
        const int fd = ::open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
        if (fd >= 0) {
            [[maybe_unused]] const auto written = ::write(fd, text.data(), text.size());
            ::close(fd);
        }
    }
};

// A request on a handle opened read-only: what the kernel answers.
int RefusedReadOnly() {
    Guard g(Emu().mutex);
    Emu().setError("error sending request: Operation not permitted");
    return -EPERM;
}

} // namespace

extern "C" {

void usb_init(void) {
    Guard g(Emu().mutex);
    usb_busses = Emu().busses;
    static LogFile logFile; // made after the emulator, so it goes first
}

void usb_set_debug(int) {}

int usb_find_busses(void) {
    Guard g(Emu().mutex);
    const int n = Emu().findBusses();
    usb_busses = Emu().busses;
    return n;
}

int usb_find_devices(void) {
    Guard g(Emu().mutex);
    const int n = Emu().findDevices();
    usb_busses = Emu().busses;
    return n;
}

struct usb_bus* usb_get_busses(void) {
    Guard g(Emu().mutex);
    return Emu().busses;
}

struct usb_device* usb_device(usb_dev_handle* dev) {
    return dev != nullptr ? &dev->device->usb : nullptr;
}

usb_dev_handle* usb_open(struct usb_device* dev) {
    Guard g(Emu().mutex);
    usb_dev_handle* handle = Emu().open(dev);
    if (handle == nullptr) {
        // As libusb-compat does: the reason in errno.
        const auto* d = DeviceOf(dev);
        errno =
            d != nullptr && d->plugged && d->config.openFails != 0 ? d->config.openFails : ENODEV;
        const int error = errno;
        if (error != ENODEV) {
            Emu().setError((std::string("could not open device: ") + std::strerror(error)).c_str());
        }
        errno = error;
    }
    return handle;
}

int usb_close(usb_dev_handle* dev) {
    Guard g(Emu().mutex);
    return Emu().close(dev);
}

int usb_claim_interface(usb_dev_handle* dev, int interface) {
    if (dev == nullptr) {
        return -EINVAL;
    }
    if (dev->readOnly) {
        return RefusedReadOnly();
    }
    Guard g(Emu().mutex);
    const int result = Emu().claim(dev, interface);
    // A configured refusal fails with the errno it names.
    const int configured = dev->device->config.claimFails;
    if (result == -EBUSY && configured != 0 && configured != EBUSY) {
        Emu().setError(
            (std::string("could not claim interface: ") + std::strerror(configured)).c_str());
        return -configured;
    }
    return result;
}

int usb_release_interface(usb_dev_handle* dev, int interface) {
    if (dev == nullptr) {
        return -EINVAL;
    }
    Guard g(Emu().mutex);
    return Emu().release(dev, interface);
}

int usb_control_msg(usb_dev_handle* dev, int requesttype, int request, int value, int index,
                    char* bytes, int size, int) {
    if (dev == nullptr || size < 0) {
        return -EINVAL;
    }
    if (dev->readOnly) {
        return RefusedReadOnly();
    }
    Guard g(Emu().mutex);
    return Emu().control(dev, requesttype, request, value, index, bytes, size);
}

int usb_bulk_write(usb_dev_handle* dev, int ep, const char* bytes, int size, int) {
    if (dev == nullptr || size < 0 || (bytes == nullptr && size > 0)) {
        return -EINVAL;
    }
    if (dev->readOnly) {
        return RefusedReadOnly();
    }
    Guard g(Emu().mutex);
    return Emu().bulkWrite(dev, ep, bytes, size);
}

int usb_bulk_read(usb_dev_handle* dev, int ep, char* bytes, int size, int) {
    if (dev == nullptr || size < 0 || (bytes == nullptr && size > 0)) {
        return -EINVAL;
    }
    if (dev->readOnly) {
        return RefusedReadOnly();
    }
    Guard g(Emu().mutex);
    return Emu().bulkRead(dev, ep, bytes, size);
}

int usb_interrupt_write(usb_dev_handle*, int, const char*, int, int) {
    return -EIO;
}
int usb_interrupt_read(usb_dev_handle*, int, char*, int, int) {
    return -EIO;
}

int usb_get_descriptor(usb_dev_handle* dev, unsigned char type, unsigned char index, void* buf,
                       int size) {
    return usb_control_msg(dev, USB_ENDPOINT_IN, USB_REQ_GET_DESCRIPTOR, (type << 8) + index, 0,
                           static_cast<char*>(buf), size, 1000);
}

int usb_get_descriptor_by_endpoint(usb_dev_handle* dev, int, unsigned char type,
                                   unsigned char index, void* buf, int size) {
    return usb_get_descriptor(dev, type, index, buf, size);
}

int usb_get_string(usb_dev_handle* dev, int index, int langid, char* buf, size_t buflen) {
    const int size = int(std::min<size_t>(buflen, 255));
    return usb_control_msg(dev, USB_ENDPOINT_IN, USB_REQ_GET_DESCRIPTOR,
                           (USB_DT_STRING << 8) + index, langid, buf, size, 1000);
}

int usb_get_string_simple(usb_dev_handle* dev, int index, char* buf, size_t buflen) {
    if (buf == nullptr || buflen == 0) {
        return -EINVAL;
    }
    char descriptor[255];
    const int got = usb_get_string(dev, index, 0x0409, descriptor, sizeof descriptor);
    if (got < 0) {
        return got;
    }
    if (got < 2 || descriptor[1] != USB_DT_STRING) {
        return -EIO;
    }
    const int length = std::min<int>(got, static_cast<unsigned char>(descriptor[0]));
    size_t out = 0;
    for (int i = 2; i + 1 < length && out + 1 < buflen; i += 2) {
        buf[out++] = descriptor[i + 1] != 0 ? '?' : descriptor[i];
    }
    buf[out] = '\0';
    return int(out);
}

int usb_set_configuration(usb_dev_handle*, int) {
    return 0;
}
int usb_set_altinterface(usb_dev_handle*, int) {
    return 0;
}
int usb_resetep(usb_dev_handle*, unsigned int) {
    return 0;
}
int usb_clear_halt(usb_dev_handle* dev, unsigned int ep) {
    if (dev == nullptr) {
        return -EINVAL;
    }
    if (dev->readOnly) {
        return RefusedReadOnly();
    }
    Guard g(Emu().mutex);
    auto& halted = dev->device->halted;
    halted.erase(std::remove(halted.begin(), halted.end(), int(ep)), halted.end());
    return 0;
}
int usb_reset(usb_dev_handle*) {
    return 0;
}
int usb_get_driver_np(usb_dev_handle*, int, char*, unsigned int) {
    return -ENODATA;
}
int usb_detach_kernel_driver_np(usb_dev_handle*, int) {
    return -ENODATA;
}

char* usb_strerror(void) {
    Guard g(Emu().mutex);
    return const_cast<char*>(Emu().errorText());
}

// ---- Control functions ------------------------------------------------------------

int vantor_emu_configure(const char* ini_text) {
    Guard g(Emu().mutex);
    const int result = Emu().configure(ini_text);
    usb_busses = Emu().busses;
    return result;
}

const char* vantor_emu_last_error(void) {
    Guard g(Emu().mutex);
    return Emu().lastError.c_str();
}

int vantor_emu_device_count(void) {
    Guard g(Emu().mutex);
    return int(Emu().devices.size());
}

void vantor_emu_plug(int device) {
    Guard g(Emu().mutex);
    Emu().plug(device, true);
    usb_busses = Emu().busses;
}

void vantor_emu_unplug(int device) {
    Guard g(Emu().mutex);
    Emu().plug(device, false);
    usb_busses = Emu().busses;
}

int vantor_emu_is_plugged(int device) {
    Guard g(Emu().mutex);
    auto* d = Emu().device(device);
    return d != nullptr && d->plugged ? 1 : 0;
}

long vantor_emu_image_size(int device) {
    Guard g(Emu().mutex);
    auto* d = Emu().device(device);
    return d != nullptr && d->chip ? long(d->chip->size()) : 0;
}

long vantor_emu_get_image(int device, unsigned char* out, long capacity) {
    Guard g(Emu().mutex);
    auto* d = Emu().device(device);
    if (d == nullptr || !d->chip || out == nullptr || capacity <= 0) {
        return 0;
    }
    const long n = std::min<long>(capacity, long(d->chip->size()));
    std::memcpy(out, d->chip->data(), std::size_t(n));
    return n;
}

int vantor_emu_set_image(int device, const unsigned char* data, long length) {
    Guard g(Emu().mutex);
    auto* d = Emu().device(device);
    if (d == nullptr || !d->chip || length < 0 || (data == nullptr && length > 0)) {
        return -1;
    }
    std::uint8_t* memory = d->chip->data();
    const std::size_t size = d->chip->size();
    const std::size_t n = std::min<std::size_t>(std::size_t(length), size);
    if (n > 0) {
        std::memcpy(memory, data, n);
    }
    std::fill(memory + n, memory + size, 0xFF);
    return 0;
}

int vantor_emu_save_image(int device) {
    Guard g(Emu().mutex);
    auto* d = Emu().device(device);
    if (d == nullptr || !d->chip) {
        return -1;
    }
    return d->chip->save() ? 0 : -1;
}

int vantor_emu_four_byte_mode(int device) {
    Guard g(Emu().mutex);
    auto* d = Emu().device(device);
    return d != nullptr && d->chip && d->chip->fourByteMode ? 1 : 0;
}

long vantor_emu_event_count(void) {
    Guard g(Emu().mutex);
    return long(Emu().events.size());
}

int vantor_emu_get_event(long index, struct vantor_emu_event* out) {
    Guard g(Emu().mutex);
    if (index < 0 || index >= long(Emu().events.size()) || out == nullptr) {
        return -1;
    }
    *out = Emu().events[std::size_t(index)];
    return 0;
}

void vantor_emu_reset_log(void) {
    Guard g(Emu().mutex);
    Emu().resetLog();
}

long vantor_emu_transfer_count(void) {
    Guard g(Emu().mutex);
    return Emu().transfers;
}

long long vantor_emu_wire_time_ns(void) {
    Guard g(Emu().mutex);
    return Emu().wireTimeNs;
}

int vantor_emu_open_handles(void) {
    Guard g(Emu().mutex);
    return Emu().openHandles;
}

} // extern "C"
