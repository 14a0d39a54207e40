#include "emulator/Emulator.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>

#include <dlfcn.h>
#include <sys/stat.h>

namespace vantor::emu {

// A FIFO or a device named as a file of ours would block the host program on
// its first USB call; such a name reads as no file at all.
static bool IsStream(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode);
}

// ---- Chip -----------------------------------------------------------------------

Chip::Chip(const ChipConfig& config) : Config(config), Memory(config.size, 0xFF) {
    if (!load()) {
        fillInitial();
    }
}

void Chip::fillInitial() {
    if (Config.fill == "zero") {
        std::fill(Memory.begin(), Memory.end(), 0x00);
    } else if (Config.fill == "demo") {
        // Text lines that say where they are, easy to recognise in a hex view.
        char line[64];
        for (std::uint32_t at = 0; at + 32 <= Memory.size(); at += 32) {
            std::snprintf(line, sizeof line, "Vantor+ demo %06X @%08X  \n",
                          unsigned(Config.jedec & 0xFFFFFF), unsigned(at));
            std::memcpy(&Memory[at], line, 32);
        }
    } else {
        std::fill(Memory.begin(), Memory.end(), 0xFF);
    }
}

bool Chip::load() {
    if (Config.image.empty() || IsStream(Config.image)) {
        return false;
    }
    std::ifstream in(Config.image, std::ios::binary);
    if (!in) {
        return false;
    }
    in.read(reinterpret_cast<char*>(Memory.data()), std::streamsize(Memory.size()));
    const auto got = std::size_t(in.gcount());
    std::fill(Memory.begin() + std::ptrdiff_t(got), Memory.end(), 0xFF);
    return true;
}

bool Chip::save() {
    if (!dirty || Config.image.empty()) {
        return true;
    }
    // Replace the file as a whole, so a crash leaves the old or the new image.
    const std::string temp = Config.image + ".tmp";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(Memory.data()), std::streamsize(Memory.size()));
        out.flush();
        if (!out) {
            std::remove(temp.c_str());
            return false;
        }
    }
    if (std::rename(temp.c_str(), Config.image.c_str()) != 0) {
        std::remove(temp.c_str());
        return false;
    }
    dirty = false;
    return true;
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
    std::ifstream in;
    if (!IsStream(path)) {
        in.open(path, std::ios::binary);
    }
    std::string text;
    const bool exists = bool(in);
    if (exists) {
        text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    } else {
        text = "\x01no file"; // cannot be the text of a file we read
    }
    if (AppliedFileValid && text == AppliedFileText) {
        return;
    }
    Config config = DefaultConfig();
    if (exists) {
        const auto slash = path.rfind('/');
        const std::string dir = slash == std::string::npos ? "." : path.substr(0, slash);
        std::string error;
        if (!ParseConfig(text, dir, config, error)) {
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
        events.clear();
        Random.seed(Current.faults.seed);
        rebuildBus();
        return 0;
    }
    Config config;
    std::string error;
    if (!ParseConfig(text, "", config, error)) {
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
        events.clear();
        Random.seed(Current.faults.seed);
    }
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
                           [&](usb_dev_handle* o) { return o != h && o->claimed; })) {
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
    const long n = ++transfers;
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

void Emulator::command(Device& d, const std::uint8_t* block, int size) {
    CommandBlock b{};
    std::memcpy(b.data(), block, std::size_t(std::min<int>(size, int(b.size()))));
    const bool be = d.config.bigEndianVariant;
    // Any command ends the data stream before it.
    d.streaming = false;
    d.replyPending = false;
    d.pendingHighByte = -1;
    Chip* chip = d.chip.get();
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
            if (chip->config().eraseBusyMs > 0 &&
                std::chrono::steady_clock::now() < chip->busyUntil) {
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
        switch (d.setup.family) {
        case ChipFamily::SpiFlash25:
            if (argument == kFlashChipEraseArgument) {
                chip->eraseAll();
                chip->busyPolls = chip->config().eraseBusyPolls;
                if (chip->config().eraseBusyMs > 0) {
                    chip->busyUntil = std::chrono::steady_clock::now() +
                                      std::chrono::milliseconds(chip->config().eraseBusyMs);
                }
            }
            break;
        case ChipFamily::Eeprom93:
            chip->eraseAll(); // ERAL, whatever the argument
            break;
        default: // EEPROMs: the page at this offset is written with 0xFF
            if (d.lastEraseArgument >= 0 && argument <= d.lastEraseArgument) {
                d.eraseBase += 0x10000;
            }
            d.lastEraseArgument = argument;
            chip->eraseRange(d.eraseBase + argument, d.setup.page != 0 ? d.setup.page : 1);
            break;
        }
        break;
    }
    case CMD_SPI_COMMAND: {
        const int count = std::min<int>(b[block::kSpiLength], 64 - int(block::kSpiBytes));
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
}

void Emulator::programStream(Device& d, const std::uint8_t* data, int size) {
    Chip& chip = *d.chip;
    std::uint32_t n = std::uint32_t(size);
    if (chip.config().family == ChipFamily::Eeprom93 && chip.config().organisation == 16) {
        // 16-bit organisation stores whole words: a lone byte waits for its pair.
        if (d.pendingHighByte >= 0 && n > 0) {
            const std::uint8_t word[2] = {std::uint8_t(d.pendingHighByte), data[0]};
            chip.programPage(d.streamAddress, word, 2);
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
        d.streamAddress += run;
        data += run;
        n -= run;
    }
}

int Emulator::bulkWrite(usb_dev_handle* h, int ep, const char* bytes, int size) {
    Device* d = h->device;
    if (h->dead || !d->plugged) {
        ErrorText = "error writing to bulk endpoint: No such device";
        ++transfers;
        logEvent(ep == d->endpoints.commandOut ? VANTOR_EMU_COMMAND : VANTOR_EMU_DATA_OUT, d, ep,
                 size, -ENODEV, 0, transfers, 0, bytes, size);
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
            if (accepted >= 2) {
                command(*d, payload, accepted);
            }
        } else {
            d->replyPending = false; // a reply nobody asked for is dropped
            if (d->streaming && chipMatchesSetup(*d)) {
                programStream(*d, payload, accepted);
            }
        }
        result = accepted;
    }
    logEvent(kind, d, ep, size, result, fault, transfers, address, bytes, size);
    return result;
}

int Emulator::bulkRead(usb_dev_handle* h, int ep, char* bytes, int size) {
    Device* d = h->device;
    if (h->dead || !d->plugged) {
        ErrorText = "error reading from bulk endpoint: No such device";
        ++transfers;
        logEvent(VANTOR_EMU_DATA_IN, d, ep, size, -ENODEV, 0, transfers, 0, nullptr, 0);
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
    logEvent(kind, d, ep, size, result, fault, transfers, address, result > 0 ? out : nullptr,
             result);
    return result;
}

} // namespace vantor::emu
