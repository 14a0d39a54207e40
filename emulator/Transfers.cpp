#include "emulator/ChipModel.h"
#include "emulator/Emulator.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace vantor::emu {

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
    // USB retries a corrupted packet, so a flipped bit comes from the chip:
    // reads only (and only their data, see bulkRead), never a command block.
    if (read && hit[kFaultBitflip]) {
        return VANTOR_EMU_FAULT_BITFLIP;
    }
    return VANTOR_EMU_FAULT_NONE;
}

bool Emulator::halted(const Device& d, int ep) const {
    return std::find(d.halted.begin(), d.halted.end(), ep) != d.halted.end();
}

int Emulator::stall(Device& d, int ep, const char* error) {
    // libusb 0.1.12 ignores the URB's status: a stalled transfer returns the
    // bytes done before it (none here), and the endpoint stays halted until
    // the host clears it.
    if (!halted(d, ep)) {
        d.halted.push_back(ep);
    }
    ErrorText = error;
    return 0;
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
    } else if (fault == VANTOR_EMU_FAULT_STALL || halted(*d, ep)) {
        result = stall(*d, ep, "error writing to bulk endpoint: Broken pipe");
    } else if (fault != VANTOR_EMU_FAULT_LOST_WRITE && size > 0) {
        const std::uint8_t* payload = reinterpret_cast<const std::uint8_t*>(bytes);
        int accepted = fault == VANTOR_EMU_FAULT_SHORT_WRITE ? size / 2 : size;
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
    } else if (fault == VANTOR_EMU_FAULT_STALL || halted(*d, ep)) {
        result = stall(*d, ep, "error reading from bulk endpoint: Broken pipe");
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
                ModelFor(d->chip->config().family).read(*d, out, std::uint32_t(result));
            } else {
                std::memset(out, 0xFF, std::size_t(result)); // nobody drives the data line
            }
            d->streamAddress += std::uint32_t(result);
        }
        if (fault == VANTOR_EMU_FAULT_BITFLIP && kind == VANTOR_EMU_DATA_IN && result > 0) {
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
