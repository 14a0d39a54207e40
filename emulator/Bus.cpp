#include "emulator/Emulator.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

namespace vantor::emu {

namespace {

// Every chip image is a regular file or not there yet.
bool ImagesUsable(const Config& config, std::string& error) {
    for (const DeviceConfig& d : config.devices) {
        if (d.chip.present && !d.chip.image.empty() && !IsRegularOrAbsent(d.chip.image, error)) {
            return false;
        }
    }
    return true;
}

} // namespace

Emulator& Emulator::instance() {
    static Emulator emulator;
    return emulator;
}

Emulator::Emulator() {
    events.reserve(1024);
    rescan();
    rebuildBus();
}

Emulator::~Emulator() {
    for (auto& d : devices) {
        if (d->chip) {
            d->chip->save();
        }
    }
}

std::string Emulator::configPath() const {
    const char* env = std::getenv("VANTOR_EMULATOR_CONFIG");
    if (env != nullptr && *env != '\0') {
        return env;
    }
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&Emulator::instance), &info) != 0 &&
        info.dli_fname != nullptr) {
        std::string path = info.dli_fname;
        const auto slash = path.rfind('/');
        return (slash == std::string::npos ? std::string(".") : path.substr(0, slash)) +
               "/emulator.ini";
    }
    return "emulator.ini";
}

void Emulator::rescan() {
    if (TextConfigured) {
        return;
    }
    const std::string path = configPath();
    std::string text;
    std::string why;
    const bool regular = IsRegularOrAbsent(path, why);
    const int fd = regular ? OpenRegular(path, O_RDONLY) : -1;
    const bool exists = fd >= 0;
    if (exists) {
        char buffer[4096];
        ssize_t n = 0;
        while ((n = ::read(fd, buffer, sizeof buffer)) > 0) {
            text.append(buffer, std::size_t(n));
        }
        ::close(fd);
    } else {
        text = regular ? "\x01no file" : "\x01" + why; // cannot be the text of a file we read
    }
    if (AppliedFileValid && text == AppliedFileText) {
        return;
    }
    Config config = DefaultConfig();
    const char* named = std::getenv("VANTOR_EMULATOR_CONFIG");
    if (regular && named != nullptr && *named != '\0' && (!exists || text.empty())) {
        // A set-up named on purpose that is missing or empty is a mistake
        // (a mistyped path): the built-in blank chip would take writes that
        // then vanish. The bus stays empty until the file is there.
        lastError = path + (exists ? ": the file is empty" : ": no such file");
        std::fprintf(stderr, "vantor emulator: %s\n", lastError.c_str());
        AppliedFileText = text;
        AppliedFileValid = true;
        config.devices.clear();
        apply(std::move(config), false);
        return;
    }
    if (!regular) {
        // A FIFO or a device would block or act on hardware: refused, unread.
        lastError = why;
        std::fprintf(stderr, "vantor emulator: %s\n", lastError.c_str());
        AppliedFileText = text;
        AppliedFileValid = true;
        return;
    }
    if (exists) {
        const auto slash = path.rfind('/');
        const std::string dir = slash == std::string::npos ? "." : path.substr(0, slash);
        std::string error;
        if (!ParseConfig(text, dir, config, error) || !ImagesUsable(config, error)) {
            lastError = path + ": " + error;
            std::fprintf(stderr, "vantor emulator: %s\n", lastError.c_str());
            AppliedFileText = text;
            AppliedFileValid = true; // complain once per version of the file
            return;
        }
    }
    const bool first = !AppliedFileValid;
    AppliedFileText = text;
    AppliedFileValid = true;
    apply(std::move(config), first);
}

int Emulator::configure(const char* text) {
    if (text == nullptr) {
        TextConfigured = false;
        AppliedFileValid = false;
        for (auto& d : devices) {
            retire(std::move(d));
        }
        devices.clear();
        rescan();
        transfers = 0;
        wireTimeNs = 0;
        events.clear();
        Random.seed(Current.faults.seed);
        rebuildBus();
        return 0;
    }
    Config config;
    std::string error;
    if (!ParseConfig(text, "", config, error) || !ImagesUsable(config, error)) {
        lastError = error;
        return -1;
    }
    for (auto& d : devices) {
        retire(std::move(d));
    }
    devices.clear();
    TextConfigured = true;
    apply(std::move(config), true);
    rebuildBus();
    return 0;
}

void Emulator::apply(Config config, bool resetCounters) {
    // A file edited between two operations keeps the chips it did not change,
    // as a programmer keeps the chip in its socket while a cable is replugged.
    std::vector<std::unique_ptr<Device>> next;
    for (std::size_t i = 0; i < config.devices.size(); ++i) {
        const DeviceConfig& dc = config.devices[i];
        auto same = std::find_if(devices.begin(), devices.end(), [&](const auto& d) {
            return d && d->config.name == dc.name && d->config.vendor == dc.vendor &&
                   d->config.productId == dc.productId && d->config.product == dc.product &&
                   d->config.bigEndianVariant == dc.bigEndianVariant &&
                   d->config.interfaceNumber == dc.interfaceNumber;
        });
        std::unique_ptr<Device> d;
        if (same != devices.end()) {
            d = std::move(*same);
            if (!d->config.chip.sameChip(dc.chip)) {
                if (d->chip) {
                    d->chip->save();
                }
                d->applyChip(dc.chip);
            }
            const ChipConfig chip = d->config.chip;
            d->config = dc;
            d->config.chip = chip;
            if (!dc.plugged) {
                unplugDevice(*d);
            } else {
                d->plugged = true;
            }
            d->buildDescriptors();
        } else {
            d = std::make_unique<Device>(dc);
        }
        d->index = int(i);
        next.push_back(std::move(d));
    }
    for (auto& old : devices) {
        if (old) {
            retire(std::move(old));
        }
    }
    devices = std::move(next);
    Current = std::move(config);
    if (resetCounters) {
        transfers = 0;
        wireTimeNs = 0;
        events.clear();
    }
    RestartFaultCount = true;
}

void Emulator::retire(std::unique_ptr<Device> d) {
    unplugDevice(*d);
    if (d->chip) {
        d->chip->save();
        d->chip.reset();
    }
    // Handles still open on it keep pointing here until they are closed.
    if (!d->handles.empty()) {
        Retired.push_back(std::move(d));
    }
}

void Emulator::unplugDevice(Device& d) {
    d.plugged = false;
    for (usb_dev_handle* h : d.handles) {
        h->dead = true;
        h->claimed = false;
        releaseOwner(h);
    }
    d.streaming = false;
    d.replyPending = false;
    d.setupValid = false;
    if (d.chip) {
        d.chip->fourByteMode = false;
    }
}

void Emulator::plug(int index, bool on) {
    for (auto& d : devices) {
        if (index < 0 || d->index == index) {
            if (on) {
                d->plugged = true;
            } else {
                unplugDevice(*d);
            }
        }
    }
    rebuildBus();
}

Device* Emulator::device(int index) {
    if (index < 0 || std::size_t(index) >= devices.size()) {
        return nullptr;
    }
    return devices[std::size_t(index)].get();
}

void Emulator::rebuildBus() {
    std::vector<int> numbers;
    for (auto& d : devices) {
        numbers.push_back(d->config.bus);
    }
    std::sort(numbers.begin(), numbers.end());
    numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());
    if (numbers.empty()) {
        numbers.push_back(1); // a machine always has a root hub's bus
    }
    BusStorage.clear();
    usb_bus* previous = nullptr;
    for (int number : numbers) {
        auto bus = std::make_unique<usb_bus>();
        std::snprintf(bus->dirname, sizeof bus->dirname, "%03d", number);
        bus->location = std::uint32_t(number);
        struct usb_device* last = nullptr;
        int devnum = 1;
        for (auto& d : devices) {
            if (d->config.bus != number || !d->plugged) {
                continue;
            }
            struct usb_device& u = d->usb;
            u.next = nullptr;
            u.prev = last;
            u.bus = bus.get();
            u.devnum = std::uint8_t(++devnum);
            std::snprintf(u.filename, sizeof u.filename, "%03d", devnum);
            if (last != nullptr) {
                last->next = &u;
            } else {
                bus->devices = &u;
            }
            last = &u;
        }
        bus->prev = previous;
        if (previous != nullptr) {
            previous->next = bus.get();
        }
        previous = bus.get();
        BusStorage.push_back(std::move(bus));
    }
    busses = BusStorage.front().get();
}

int Emulator::findBusses() {
    rescan();
    rebuildBus();
    return int(BusStorage.size());
}

int Emulator::findDevices() {
    rescan();
    rebuildBus();
    int count = 0;
    for (auto& d : devices) {
        count += d->plugged ? 1 : 0;
    }
    return count;
}

void Emulator::logEvent(int kind, const Device* d, int ep, int length, int result, int fault,
                        long transfer, std::uint32_t address, const void* data, int dataLength) {
    if (!Current.log || long(events.size()) >= Current.logLimit) {
        return;
    }
    vantor_emu_event& e = events.emplace_back();
    e.kind = kind;
    e.device = d != nullptr ? d->index : -1;
    e.endpoint = ep;
    e.length = length;
    e.result = result;
    e.fault = fault;
    e.transfer = transfer;
    e.address = address;
    std::memset(e.data, 0, sizeof e.data);
    if (data != nullptr && dataLength > 0) {
        std::memcpy(e.data, data, std::size_t(std::min<int>(dataLength, sizeof e.data)));
    }
}
} // namespace vantor::emu
