#include "emulator/Emulator.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace vantor::emu {

usb_dev_handle* Emulator::open(struct usb_device* dev) {
    Device* d = nullptr;
    for (auto& candidate : devices) {
        if (&candidate->usb == dev) {
            d = candidate.get();
        }
    }
    const bool permission =
        d != nullptr && (d->config.openFails == EACCES || d->config.openFails == EPERM);
    if (d == nullptr || !d->plugged || (d->config.openFails && !permission)) {
        ErrorText = "could not open device: No such device (it may have been disconnected)";
        logEvent(VANTOR_EMU_OPEN, d, 0, 0, -ENODEV, 0, 0, 0, nullptr, 0);
        return nullptr;
    }
    auto* h = new usb_dev_handle;
    h->device = d;
    h->readOnly = permission;
    d->handles.push_back(h);
    PaceCredit = {};
    if (d->chip) {
        d->chip->keepWhole();
    }
    if (RestartFaultCount) {
        RestartFaultCount = false;
        FaultCount = 0;
        Random.seed(Current.faults.seed);
    }
    ++openHandles;
    logEvent(VANTOR_EMU_OPEN, d, 0, 0, 0, 0, 0, 0, nullptr, 0);
    return h;
}

int Emulator::close(usb_dev_handle* h) {
    if (h == nullptr) {
        return -EINVAL;
    }
    Device* d = h->device;
    auto& list = d->handles;
    list.erase(std::remove(list.begin(), list.end(), h), list.end());
    releaseOwner(h);
    if (d->chip) {
        d->chip->save();
    }
    logEvent(VANTOR_EMU_CLOSE, d, 0, 0, 0, 0, 0, 0, nullptr, 0);
    delete h;
    --openHandles;
    if (d->handles.empty()) {
        Retired.erase(std::remove_if(Retired.begin(), Retired.end(),
                                     [d](const auto& r) { return r.get() == d; }),
                      Retired.end());
    }
    return 0;
}

// One owner across processes, as a real programmer has: the claim takes an
// exclusive lock on the chip's image file, which every process using that chip
// shares. A chip without an image belongs to this process alone.
bool Emulator::takeOwner(usb_dev_handle* h) {
    const Chip* chip = h->device->chip.get();
    if (chip == nullptr || !chip->sharedImage() || h->ownerLock >= 0) {
        return true;
    }
    const int fd = OpenRegular(chip->config().image, O_RDONLY);
    if (fd < 0) {
        return true; // the image went away: nobody else can be using it
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return false;
    }
    h->ownerLock = fd;
    return true;
}

void Emulator::releaseOwner(usb_dev_handle* h) {
    if (h->ownerLock >= 0) {
        ::close(h->ownerLock); // drops the lock
        h->ownerLock = -1;
    }
}

int Emulator::claim(usb_dev_handle* h, int interface) {
    Device* d = h->device;
    int result = 0;
    if (h->dead) {
        result = -ENODEV;
        ErrorText = "could not claim interface: No such device";
    } else if (interface != d->config.interfaceNumber) {
        result = -ENOENT;
        ErrorText = "could not claim interface: No such file or directory";
    } else if (d->config.claimFails ||
               std::any_of(d->handles.begin(), d->handles.end(),
                           [&](usb_dev_handle* o) { return o != h && o->claimed; }) ||
               !takeOwner(h)) {
        result = -EBUSY;
        ErrorText = "could not claim interface: Device or resource busy";
    } else {
        h->claimed = true;
        h->claimedInterface = interface;
    }
    logEvent(VANTOR_EMU_CLAIM, d, interface, 0, result, 0, 0, 0, nullptr, 0);
    return result;
}

int Emulator::release(usb_dev_handle* h, int interface) {
    Device* d = h->device;
    int result = 0;
    if (h->dead) {
        result = -ENODEV;
        ErrorText = "could not release interface: No such device";
    } else if (!h->claimed || h->claimedInterface != interface) {
        result = -ENOENT;
        ErrorText = "could not release interface: No such file or directory";
    } else {
        h->claimed = false;
        h->claimedInterface = -1;
        releaseOwner(h);
    }
    logEvent(VANTOR_EMU_RELEASE, d, interface, 0, result, 0, 0, 0, nullptr, 0);
    return result;
}

int Emulator::control(usb_dev_handle* h, int requestType, int request, int value, int index,
                      char* bytes, int size) {
    Device* d = h->device;
    int result = 0;
    std::uint8_t descriptor[256] = {};
    if (h->dead) {
        result = -ENODEV;
        ErrorText = "error sending control message: No such device";
    } else if (requestType == USB_ENDPOINT_IN && request == USB_REQ_GET_DESCRIPTOR &&
               (value >> 8) == USB_DT_STRING) {
        const int length = d->stringDescriptor(value & 0xFF, descriptor);
        if (length == 0) {
            result = -EPIPE;
            ErrorText = "error sending control message: Broken pipe";
        } else {
            result = std::min(size, length);
            if (bytes != nullptr && result > 0) {
                std::memcpy(bytes, descriptor, std::size_t(result));
            }
        }
        (void)index;
    } else if ((requestType & 0x60) == USB_TYPE_VENDOR) {
        result = size; // vendor requests are accepted and ignored
    } else {
        result = -EPIPE;
        ErrorText = "error sending control message: Broken pipe";
    }
    logEvent(VANTOR_EMU_CONTROL, d, requestType, size, result, 0, 0, std::uint32_t(value),
             result > 0 ? static_cast<const void*>(descriptor) : nullptr, result);
    return result;
}

} // namespace vantor::emu
