#include "emulator/Device.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace vantor::emu {

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

int Device::stringDescriptor(int which, std::uint8_t (&out)[256]) const {
    if (which == 0) {
        const std::uint8_t languages[4] = {4, USB_DT_STRING, 0x09, 0x04};
        std::memcpy(out, languages, 4);
        return 4;
    }
    if (which > 3) {
        return 0;
    }
    const std::string& text = which == 1   ? config.manufacturer
                              : which == 2 ? config.product
                                           : config.serial;
    auto units = Utf16(text);
    units.resize(std::min<std::size_t>(units.size(), 126));
    const int length = int(2 + 2 * units.size());
    out[0] = std::uint8_t(length);
    out[1] = std::uint8_t(config.stringType);
    for (std::size_t k = 0; k < units.size(); ++k) {
        out[2 + 2 * k] = std::uint8_t(units[k]);
        out[3 + 2 * k] = std::uint8_t(units[k] >> 8);
    }
    return length;
}

} // namespace vantor::emu
