#include "emulator/Emulator.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <thread>

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vantor::emu {

// ---- Chip -----------------------------------------------------------------------

bool IsRegularOrAbsent(const std::string& path, std::string& why) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        return errno == ENOENT;
    }
    if (!S_ISREG(st.st_mode)) {
        why = path + ": not a regular file";
        return false;
    }
    return true;
}

Chip::Chip(const ChipConfig& config) : Config(config), Size(config.size) {
    protection.reset(config.protect);
    if (!mapImage()) {
        Own.resize(Size);
        Memory = Own;
        fillInitial(Memory.data());
    }
}

Chip::~Chip() {
    if (Mapping != nullptr) {
        ::munmap(Mapping, Size);
    }
    if (ImageFd >= 0) {
        ::close(ImageFd);
    }
}

void Chip::fillInitial(std::uint8_t* memory) const {
    if (Config.fill == "zero") {
        std::fill(memory, memory + Size, 0x00);
    } else if (Config.fill == "demo") {
        // Text lines that say where they are, easy to recognise in a hex view.
        char line[64];
        for (std::uint32_t at = 0; at + 32 <= Size; at += 32) {
            std::snprintf(line, sizeof line, "Vantor+ demo %06X @%08X  \n",
                          unsigned(Config.jedec & 0xFFFFFF), unsigned(at));
            std::memcpy(&memory[at], line, 32);
        }
    } else {
        std::fill(memory, memory + Size, 0xFF);
    }
}

namespace {

// Opens `path` without blocking and only when it is a regular file.
int OpenRegular(const std::string& path, int flags) {
    const int fd = ::open(path.c_str(), flags | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        return -1;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        errno = EINVAL;
        return -1;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

bool WriteAll(int fd, const std::uint8_t* data, std::size_t length, off_t at) {
    while (length > 0) {
        const ssize_t n = ::pwrite(fd, data, length, at);
        if (n <= 0) {
            return false;
        }
        data += n;
        length -= std::size_t(n);
        at += n;
    }
    return true;
}

} // namespace

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

bool Chip::mapImage() {
    if (Config.image.empty()) {
        return false;
    }
    const std::string& path = Config.image;
    std::string why;
    if (!IsRegularOrAbsent(path, why)) {
        std::fprintf(stderr, "vantor emulator: %s; the chip lives in memory\n", why.c_str());
        return false;
    }
    int fd = OpenRegular(path, O_RDWR);
    if (fd < 0 && errno == ENOENT) {
        // First use: the initial contents appear under the name in one step,
        // so a second process never maps a file still being filled.
        // (The mode is the usual 0666 less the umask, as for any new file.)
        const std::string temp = path + ".new." + std::to_string(::getpid());
        const int t = ::open(temp.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        if (t >= 0) {
            std::vector<std::uint8_t> initial(Size);
            fillInitial(initial.data());
            const bool written = WriteAll(t, initial.data(), initial.size(), 0);
            ::close(t);
            if (written && ::link(temp.c_str(), path.c_str()) != 0 && errno != EEXIST) {
                std::fprintf(stderr, "vantor emulator: cannot create %s: %s\n", path.c_str(),
                             std::strerror(errno));
            }
            ::unlink(temp.c_str());
        }
        fd = OpenRegular(path, O_RDWR);
    }
    const bool writable = fd >= 0;
    if (fd < 0 && (errno == EACCES || errno == EROFS || errno == EPERM)) {
        fd = OpenRegular(path, O_RDONLY); // seen, never changed on disk
    }
    if (fd < 0) {
        return false;
    }
    if (!writable) {
        // Seen, never changed on disk: this process works on its own copy.
        Own.assign(Size, 0xFF);
        const ssize_t got = ::pread(fd, Own.data(), Size, 0);
        (void)got; // a short or failed read leaves the rest erased
        ::close(fd);
        Memory = Own;
        return true;
    }
    ImageFd = fd;
    void* m =
        keepWhole() ? ::mmap(nullptr, Size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0) : MAP_FAILED;
    if (m == MAP_FAILED) {
        ::close(fd);
        ImageFd = -1;
        return false;
    }
    Mapping = m;
    Memory = {static_cast<std::uint8_t*>(m), Size};
    return true;
}

bool Chip::keepWhole() {
    // A chip larger than its image reads erased where nothing was stored. An
    // image cut short under us (copied over, say) is extended the same way:
    // touching the mapping past the end of the file would kill the process.
    struct stat st {};
    if (ImageFd < 0 || ::fstat(ImageFd, &st) != 0 || st.st_size >= off_t(Size)) {
        return ImageFd >= 0;
    }
    const std::vector<std::uint8_t> blank(Size - std::size_t(st.st_size), 0xFF);
    return WriteAll(ImageFd, blank.data(), blank.size(), st.st_size);
}

bool Chip::save() {
    if (!dirty || Mapping == nullptr) {
        return true;
    }
    dirty = false;
    return ::msync(Mapping, Size, MS_ASYNC) == 0;
}

std::uint32_t Chip::decode(std::uint32_t address) const {
    if (Config.family == ChipFamily::SpiFlash25 && !fourByteMode) {
        address &= 0xFFFFFFu;
    }
    return address % size();
}

void Chip::read(std::uint32_t address, std::uint8_t* out, std::uint32_t count) const {
    const bool threeByte = Config.family == ChipFamily::SpiFlash25 && !fourByteMode;
    while (count > 0) {
        const std::uint32_t at = decode(address);
        std::uint32_t run = std::min(count, size() - at);
        if (threeByte) {
            run = std::min(run, 0x1000000u - (address & 0xFFFFFFu));
        }
        std::memcpy(out, &Memory[at], run);
        out += run;
        address += run;
        count -= run;
    }
}

void Chip::programPage(std::uint32_t address, const std::uint8_t* data, std::uint32_t count) {
    const std::uint32_t at = decode(address);
    const std::uint32_t page = Config.page;
    const std::uint32_t base = at - at % page;
    const std::uint32_t offset = at % page;
    const bool flash = Config.family == ChipFamily::SpiFlash25;
    if (flash && protection.guards(base, page, size())) {
        return; // a protected block ignores programming
    }
    dirty = true;
    if (offset + count <= page && at + count <= size()) {
        // The usual case: the write stays inside one page of the chip.
        std::uint8_t* target = &Memory[at];
        if (flash) {
            for (std::uint32_t k = 0; k < count; ++k) {
                target[k] &= data[k];
            }
        } else {
            std::memcpy(target, data, count);
        }
        return;
    }
    for (std::uint32_t k = 0; k < count; ++k) {
        const std::uint32_t target = (base + (offset + k) % page) % size();
        if (flash) {
            Memory[target] &= data[k]; // programming only clears bits
        } else {
            Memory[target] = data[k];
        }
    }
    dirty = true;
}

void Chip::eraseAll() {
    if (Config.family == ChipFamily::SpiFlash25 && protection.any()) {
        return; // chip erase is ignored while any block is protected
    }
    std::fill(Memory.begin(), Memory.end(), 0xFF);
    dirty = true;
}

void Chip::eraseRange(std::uint32_t address, std::uint32_t count) {
    for (std::uint32_t k = 0; k < count; ++k) {
        Memory[decode(address + k)] = 0xFF;
    }
    dirty = true;
}

// ---- Device ---------------------------------------------------------------------

Device::Device(const DeviceConfig& c) : config(c), plugged(c.plugged) {
    endpoints = c.bigEndianVariant ? kEndpointsDudOVEDuro : kEndpointsDudOVEDuroDevice;
    applyChip(c.chip);
    buildDescriptors();
}

void Device::applyChip(const ChipConfig& c) {
    config.chip = c;
    chip = c.present ? std::make_unique<Chip>(c) : nullptr;
}

void Device::buildDescriptors() {
    usb.descriptor.bLength = USB_DT_DEVICE_SIZE;
    usb.descriptor.bDescriptorType = USB_DT_DEVICE;
    usb.descriptor.bcdUSB = 0x0200;
    usb.descriptor.bMaxPacketSize0 = 64;
    usb.descriptor.idVendor = config.vendor;
    usb.descriptor.idProduct = config.productId;
    usb.descriptor.bcdDevice = 0x0100;
    usb.descriptor.iManufacturer = 1;
    usb.descriptor.iProduct = 2;
    usb.descriptor.iSerialNumber = 3;
    usb.descriptor.bNumConfigurations = 1;
    usb.config = &configDescriptor;

    const int eps[3] = {endpoints.in, endpoints.dataOut, endpoints.commandOut};
    for (int i = 0; i < 3; ++i) {
        endpointDescriptors[i].bLength = USB_DT_ENDPOINT_SIZE;
        endpointDescriptors[i].bDescriptorType = USB_DT_ENDPOINT;
        endpointDescriptors[i].bEndpointAddress = std::uint8_t(eps[i]);
        endpointDescriptors[i].bmAttributes = USB_ENDPOINT_TYPE_BULK;
        endpointDescriptors[i].wMaxPacketSize = 64;
    }
    altsetting.bLength = USB_DT_INTERFACE_SIZE;
    altsetting.bDescriptorType = USB_DT_INTERFACE;
    altsetting.bInterfaceNumber = std::uint8_t(config.interfaceNumber);
    altsetting.bNumEndpoints = 3;
    altsetting.bInterfaceClass = USB_CLASS_VENDOR_SPEC;
    altsetting.endpoint = endpointDescriptors;
    interface.altsetting = &altsetting;
    interface.num_altsetting = 1;
    configDescriptor.bLength = USB_DT_CONFIG_SIZE;
    configDescriptor.bDescriptorType = USB_DT_CONFIG;
    configDescriptor.bNumInterfaces = 1;
    configDescriptor.bConfigurationValue = 1;
    configDescriptor.MaxPower = 50;
    configDescriptor.interface = &interface;
}

// ---- Emulator ---------------------------------------------------------------------

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

usb_dev_handle* Emulator::open(struct usb_device* dev) {
    Device* d = nullptr;
    for (auto& candidate : devices) {
        if (&candidate->usb == dev) {
            d = candidate.get();
        }
    }
    if (d == nullptr || !d->plugged || d->config.openFails) {
        ErrorText = "could not open device: No such device (it may have been disconnected)";
        logEvent(VANTOR_EMU_OPEN, d, 0, 0, -ENODEV, 0, 0, 0, nullptr, 0);
        return nullptr;
    }
    auto* h = new usb_dev_handle;
    h->device = d;
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

namespace {

// UTF-8 to UTF-16 code units, as a device's string descriptor carries text.
std::vector<std::uint16_t> Utf16(const std::string& text) {
    std::vector<std::uint16_t> out;
    for (std::size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        std::uint32_t cp = c;
        int extra = 0;
        if (c >= 0xF0) {
            cp = c & 0x07;
            extra = 3;
        } else if (c >= 0xE0) {
            cp = c & 0x0F;
            extra = 2;
        } else if (c >= 0xC0) {
            cp = c & 0x1F;
            extra = 1;
        }
        ++i;
        for (int k = 0; k < extra && i < text.size(); ++k, ++i) {
            cp = (cp << 6) | (static_cast<unsigned char>(text[i]) & 0x3F);
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(std::uint16_t(0xD800 + (cp >> 10)));
            out.push_back(std::uint16_t(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(std::uint16_t(cp));
        }
    }
    return out;
}

} // namespace

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
        const int which = value & 0xFF;
        int length = 0;
        if (which == 0) {
            const std::uint8_t languages[4] = {4, USB_DT_STRING, 0x09, 0x04};
            std::memcpy(descriptor, languages, 4);
            length = 4;
        } else if (which <= 3) {
            const std::string& text = which == 1   ? d->config.manufacturer
                                      : which == 2 ? d->config.product
                                                   : d->config.serial;
            auto units = Utf16(text);
            units.resize(std::min<std::size_t>(units.size(), 126));
            length = int(2 + 2 * units.size());
            descriptor[0] = std::uint8_t(length);
            descriptor[1] = std::uint8_t(d->config.stringType);
            for (std::size_t k = 0; k < units.size(); ++k) {
                descriptor[2 + 2 * k] = std::uint8_t(units[k]);
                descriptor[3 + 2 * k] = std::uint8_t(units[k] >> 8);
            }
        }
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

int Emulator::nextFault(bool write, bool read) {
    ++transfers;
    const long n = ++FaultCount;
    const FaultPlan& plan = Current.faults;
    if (!plan.any()) {
        return VANTOR_EMU_FAULT_NONE;
    }
    bool hit[kFaultKinds] = {};
    for (int k = 0; k < kFaultKinds; ++k) {
        hit[k] = std::binary_search(plan.at[k].begin(), plan.at[k].end(), n);
        if (plan.rate[k] > 0) {
            // One draw per kind and transfer, whatever the direction, so a
            // seed gives the same faults at the same transfer numbers.
            const double roll = double(Random() >> 11) * 0x1.0p-53;
            hit[k] = hit[k] || roll < plan.rate[k];
        }
    }
    if (hit[kFaultUnplug]) {
        return VANTOR_EMU_FAULT_UNPLUG;
    }
    if (hit[kFaultTimeout]) {
        return VANTOR_EMU_FAULT_TIMEOUT;
    }
    if (hit[kFaultStall]) {
        return VANTOR_EMU_FAULT_STALL;
    }
    if (read && hit[kFaultShortRead]) {
        return VANTOR_EMU_FAULT_SHORT_READ;
    }
    if (write && hit[kFaultShortWrite]) {
        return VANTOR_EMU_FAULT_SHORT_WRITE;
    }
    if (write && hit[kFaultLostWrite]) {
        return VANTOR_EMU_FAULT_LOST_WRITE;
    }
    if (hit[kFaultBitflip]) {
        return VANTOR_EMU_FAULT_BITFLIP;
    }
    return VANTOR_EMU_FAULT_NONE;
}

bool Emulator::chipMatchesSetup(const Device& d) const {
    if (!d.chip || !d.setupValid) {
        return false;
    }
    const int chipFamily = d.chip->config().family;
    const int asked = d.setup.family;
    // 25- and 95-series EEPROMs speak the same SPI commands.
    const auto spiEeprom = [](int f) {
        return f == ChipFamily::Eeprom25 || f == ChipFamily::Eeprom95;
    };
    return chipFamily == asked || (spiEeprom(chipFamily) && spiEeprom(asked));
}

std::int64_t Emulator::command(Device& d, const std::uint8_t* block, int size) {
    CommandBlock b{};
    std::memcpy(b.data(), block, std::size_t(std::min<int>(size, int(b.size()))));
    const bool be = d.config.bigEndianVariant;
    // Any command ends the data stream before it.
    d.streaming = false;
    d.replyPending = false;
    d.pendingHighByte = -1;
    Chip* chip = d.chip.get();
    std::int64_t cycles = 0;
    switch (b[block::kOpcode]) {
    case CMD_CHIP_SETUP:
        d.eraseBase = 0;
        d.lastEraseArgument = -1;
        d.setup = DecodeChipParameters(b.data(), be);
        d.setupValid = true;
        d.reply = b;
        d.replyPending = true;
        break;
    case CMD_READ_ID: {
        d.reply.fill(0);
        if (chip != nullptr) {
            switch (chip->config().family) {
            case ChipFamily::SpiFlash25:
                d.reply[0] = kIdJedec;
                d.reply[1] = std::uint8_t(chip->config().jedec >> 16);
                d.reply[2] = std::uint8_t(chip->config().jedec >> 8);
                d.reply[3] = std::uint8_t(chip->config().jedec);
                break;
            case ChipFamily::Eeprom24:
                d.reply[0] = kIdSecondType;
                break;
            case ChipFamily::Eeprom93:
                d.reply[0] = kIdThirdType;
                break;
            default: // SPI EEPROMs do not answer the JEDEC read
                d.reply[0] = kIdJedec;
                d.reply[1] = d.reply[2] = d.reply[3] = 0xFF;
                break;
            }
        }
        d.replyPending = true;
        break;
    }
    case CMD_READ_STATUS: {
        bool busy = false;
        if (chip != nullptr) {
            if (chip->busyPolls > 0) {
                --chip->busyPolls;
                busy = true;
            }
            if (std::chrono::steady_clock::now() < chip->busyUntil) {
                busy = true;
            }
        }
        d.reply.fill(0);
        d.reply[0] = busy ? kStatusBusy : 0;
        d.reply[1] = CMD_READ_STATUS;
        d.replyPending = true;
        break;
    }
    case CMD_SET_ADDRESS:
        d.streamAddress = Get32(b.data(), block::kAddress, be);
        d.streaming = true;
        d.reply = b;
        d.replyPending = true;
        break;
    case CMD_ERASE: {
        if (!chipMatchesSetup(d)) {
            break;
        }
        const std::uint16_t argument = Get16(b.data(), block::kEraseArgument, be);
        const std::int64_t writeCycle = std::int64_t(chip->config().writeCycleMs) * 1000000;
        switch (d.setup.family) {
        case ChipFamily::SpiFlash25:
            if (argument == kFlashChipEraseArgument) {
                chip->eraseAll();
                chip->busyPolls = chip->config().eraseBusyPolls;
                // The flash erases on its own while the host polls its status.
                std::int64_t busyUs = std::int64_t(chip->config().eraseBusyMs) * 1000;
                if (Current.benchTiming) {
                    busyUs = std::max(busyUs, chip->config().chipEraseUs());
                }
                if (busyUs > 0) {
                    chip->busyUntil =
                        std::chrono::steady_clock::now() + std::chrono::microseconds(busyUs);
                }
            }
            break;
        case ChipFamily::Eeprom93:
            chip->eraseAll(); // ERAL, whatever the argument
            cycles = writeCycle;
            break;
        default: // EEPROMs: the page at this offset is written with 0xFF
            if (d.lastEraseArgument >= 0 && argument <= d.lastEraseArgument) {
                d.eraseBase += 0x10000;
            }
            d.lastEraseArgument = argument;
            chip->eraseRange(d.eraseBase + argument, d.setup.page != 0 ? d.setup.page : 1);
            cycles = writeCycle; // the firmware takes no command until the page is written
            break;
        }
        break;
    }
    case CMD_SPI_COMMAND: {
        const int count = std::min<int>(b[block::kSpiLength], 64 - int(block::kSpiBytes));
        if (chip != nullptr && b[2] == kSpiCommandTarget &&
            chip->config().family == ChipFamily::SpiFlash25) {
            chip->protection.transaction(&b[block::kSpiBytes], count); // one transaction
        }
        for (int k = 0; chip != nullptr && b[2] == kSpiCommandTarget && k < count; ++k) {
            const std::uint8_t instruction = b[block::kSpiBytes + std::size_t(k)];
            if (instruction == kSpiEnter4ByteMode) {
                chip->fourByteMode = chip->config().family == ChipFamily::SpiFlash25;
            } else if (instruction == 0xE9) {
                chip->fourByteMode = false;
            }
        }
        d.reply = b;
        d.replyPending = true;
        break;
    }
    case CMD_FINISH:
        // The socket is switched off: the chip forgets its address mode.
        d.setupValid = false;
        d.eraseBase = 0;
        d.lastEraseArgument = -1;
        if (chip != nullptr) {
            chip->fourByteMode = false;
            chip->save();
        }
        break;
    default:
        break;
    }
    return cycles;
}

std::int64_t Emulator::programStream(Device& d, const std::uint8_t* data, int size) {
    Chip& chip = *d.chip;
    std::uint32_t n = std::uint32_t(size);
    // Each page write holds the stream until the chip has programmed it.
    const std::int64_t perPage = chip.config().family == ChipFamily::SpiFlash25
                                     ? std::int64_t(chip.config().pageProgramUs) * 1000
                                     : std::int64_t(chip.config().writeCycleMs) * 1000000;
    std::int64_t cycles = 0;
    if (chip.config().family == ChipFamily::Eeprom93 && chip.config().organisation == 16) {
        // 16-bit organisation stores whole words: a lone byte waits for its pair.
        if (d.pendingHighByte >= 0 && n > 0) {
            const std::uint8_t word[2] = {std::uint8_t(d.pendingHighByte), data[0]};
            chip.programPage(d.streamAddress, word, 2);
            cycles += perPage;
            d.streamAddress += 2;
            d.pendingHighByte = -1;
            ++data;
            --n;
        }
        if (n % 2 != 0) {
            d.pendingHighByte = data[n - 1];
            --n;
        }
    }
    // The programmer writes one of the host's pages at a time.
    const std::uint32_t page = d.setup.page != 0 ? d.setup.page : chip.config().page;
    while (n > 0) {
        const std::uint32_t room = page - d.streamAddress % page;
        const std::uint32_t run = std::min(room, n);
        chip.programPage(d.streamAddress, data, run);
        cycles += perPage;
        d.streamAddress += run;
        data += run;
        n -= run;
    }
    return cycles;
}

namespace {

// Full-speed bulk: 64-byte packets, at most 19 of them in a 1 ms frame.
constexpr std::int64_t kPacketBytes = 64;
constexpr std::int64_t kPacketsPerFrame = 19;
constexpr std::int64_t kFrameNs = 1000000;

std::int64_t LinkTimeNs(int bytes) {
    const std::int64_t packets =
        std::max<std::int64_t>(1, (bytes + kPacketBytes - 1) / kPacketBytes);
    return packets * kFrameNs / kPacketsPerFrame;
}

} // namespace

void Emulator::spend(std::int64_t ns) {
    wireTimeNs += ns;
    if (!Current.benchTiming || ns <= 0) {
        return;
    }
    using Clock = std::chrono::steady_clock;
    const auto arrive = Clock::now();
    const auto target = arrive + std::chrono::nanoseconds(ns) - PaceCredit;
    if (target <= arrive) {
        PaceCredit -= std::chrono::nanoseconds(ns);
        return;
    }
    std::this_thread::sleep_until(target);
    // A long stall (the process descheduled) is not paid back beyond 100 ms.
    PaceCredit =
        std::min<std::chrono::nanoseconds>(Clock::now() - target, std::chrono::milliseconds(100));
}

int Emulator::bulkWrite(usb_dev_handle* h, int ep, const char* bytes, int size) {
    Device* d = h->device;
    if (h->dead || !d->plugged) {
        ErrorText = "error writing to bulk endpoint: No such device";
        ++transfers;
        logEvent(ep == d->endpoints.commandOut ? VANTOR_EMU_COMMAND : VANTOR_EMU_DATA_OUT, d, ep,
                 size, -ENODEV, 0, ++FaultCount, 0, bytes, size);
        return -ENODEV;
    }
    const bool isCommand = ep == d->endpoints.commandOut;
    const bool isData = ep == d->endpoints.dataOut;
    const int kind = isCommand ? VANTOR_EMU_COMMAND
                     : isData  ? VANTOR_EMU_DATA_OUT
                               : VANTOR_EMU_BULK_OTHER;
    const int fault = nextFault(true, false);
    const std::uint32_t address = d->streamAddress;
    int result = size;
    std::int64_t busyNs = 0;
    if (!h->claimed) {
        result = -EBUSY;
        ErrorText = "error writing to bulk endpoint: interface not claimed";
    } else if (!isCommand && !isData) {
        result = -EIO;
        ErrorText = "error writing to bulk endpoint: Input/output error";
    } else if (fault == VANTOR_EMU_FAULT_UNPLUG) {
        unplugDevice(*d);
        rebuildBus();
        result = -ENODEV;
        ErrorText = "error writing to bulk endpoint: No such device";
    } else if (fault == VANTOR_EMU_FAULT_TIMEOUT) {
        result = -ETIMEDOUT;
        ErrorText = "error writing to bulk endpoint: Connection timed out";
    } else if (fault == VANTOR_EMU_FAULT_STALL) {
        result = -EPIPE;
        ErrorText = "error writing to bulk endpoint: Broken pipe";
    } else if (fault != VANTOR_EMU_FAULT_LOST_WRITE && size > 0) {
        const std::uint8_t* payload = reinterpret_cast<const std::uint8_t*>(bytes);
        int accepted = fault == VANTOR_EMU_FAULT_SHORT_WRITE ? size / 2 : size;
        std::vector<std::uint8_t> flipped;
        if (fault == VANTOR_EMU_FAULT_BITFLIP) {
            flipped.assign(payload, payload + size);
            const auto bit = Random() % (std::uint64_t(size) * 8);
            flipped[bit / 8] ^= std::uint8_t(1u << (bit % 8));
            payload = flipped.data();
        }
        if (isCommand) {
            busyNs = std::int64_t(d->config.turnaroundUs) * 1000;
            if (accepted >= 2) {
                busyNs += command(*d, payload, accepted);
            }
        } else {
            d->replyPending = false; // a reply nobody asked for is dropped
            if (d->streaming && chipMatchesSetup(*d)) {
                busyNs += programStream(*d, payload, accepted);
            }
        }
        result = accepted;
    }
    logEvent(kind, d, ep, size, result, fault, FaultCount, address, bytes, size);
    spend(LinkTimeNs(size) + busyNs);
    return result;
}

int Emulator::bulkRead(usb_dev_handle* h, int ep, char* bytes, int size) {
    Device* d = h->device;
    if (h->dead || !d->plugged) {
        ErrorText = "error reading from bulk endpoint: No such device";
        ++transfers;
        logEvent(VANTOR_EMU_DATA_IN, d, ep, size, -ENODEV, 0, ++FaultCount, 0, nullptr, 0);
        return -ENODEV;
    }
    const int fault = nextFault(false, true);
    const std::uint32_t address = d->streamAddress;
    int kind = VANTOR_EMU_BULK_OTHER;
    int result = 0;
    std::uint8_t* out = reinterpret_cast<std::uint8_t*>(bytes);
    if (!h->claimed) {
        result = -EBUSY;
        ErrorText = "error reading from bulk endpoint: interface not claimed";
    } else if (ep != d->endpoints.in) {
        result = -EIO;
        ErrorText = "error reading from bulk endpoint: Input/output error";
    } else if (fault == VANTOR_EMU_FAULT_UNPLUG) {
        unplugDevice(*d);
        rebuildBus();
        result = -ENODEV;
        ErrorText = "error reading from bulk endpoint: No such device";
    } else if (fault == VANTOR_EMU_FAULT_TIMEOUT ||
               (!d->replyPending && !d->streaming && size > 0)) {
        result = -ETIMEDOUT; // nothing to send: the host waits in vain
        ErrorText = "error reading from bulk endpoint: Connection timed out";
    } else if (fault == VANTOR_EMU_FAULT_STALL) {
        result = -EPIPE;
        ErrorText = "error reading from bulk endpoint: Broken pipe";
    } else if (size > 0) {
        const int wanted = fault == VANTOR_EMU_FAULT_SHORT_READ ? size / 2 : size;
        if (d->replyPending) {
            kind = VANTOR_EMU_REPLY;
            result = std::min<int>(wanted, int(kCommandBlockSize));
            std::memcpy(out, d->reply.data(), std::size_t(result));
            d->replyPending = false;
        } else {
            kind = VANTOR_EMU_DATA_IN;
            result = wanted;
            if (chipMatchesSetup(*d)) {
                d->chip->read(d->streamAddress, out, std::uint32_t(result));
            } else {
                std::memset(out, 0xFF, std::size_t(result)); // nobody drives the data line
            }
            d->streamAddress += std::uint32_t(result);
        }
        if (fault == VANTOR_EMU_FAULT_BITFLIP && result > 0) {
            const auto bit = Random() % (std::uint64_t(result) * 8);
            out[bit / 8] ^= std::uint8_t(1u << (bit % 8));
        }
    }
    logEvent(kind, d, ep, size, result, fault, FaultCount, address, result > 0 ? out : nullptr,
             result);
    spend(LinkTimeNs(size));
    return result;
}

} // namespace vantor::emu
