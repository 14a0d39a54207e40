#include "link/ProgrammerPresence.h"

#include <cerrno>
#include <cstdlib>
#include <string>

#include <libudev.h>
#include <unistd.h>

namespace vantor {

namespace {

int HexAttribute(udev_device* device, const char* name) {
    const char* text = udev_device_get_sysattr_value(device, name);
    return text != nullptr ? int(std::strtol(text, nullptr, 16)) : -1;
}

int NumberAttribute(udev_device* device, const char* name) {
    const char* text = udev_device_get_sysattr_value(device, name);
    return text != nullptr ? std::atoi(text) : 0;
}

std::string NodeOf(udev_device* device, int bus, int number) {
    if (const char* node = udev_device_get_devnode(device); node != nullptr) {
        return node;
    }
    char path[40];
    std::snprintf(path, sizeof path, "/dev/bus/usb/%03d/%03d", bus, number);
    return path;
}

} // namespace

std::vector<PresentProgrammer> FindPresentProgrammers(int vendorId, int productId) {
    std::vector<PresentProgrammer> found;
    udev* context = udev_new();
    if (context == nullptr) {
        return found;
    }
    udev_enumerate* list = udev_enumerate_new(context);
    if (list != nullptr && udev_enumerate_add_match_subsystem(list, "usb") >= 0 &&
        udev_enumerate_add_match_property(list, "DEVTYPE", "usb_device") >= 0 &&
        udev_enumerate_scan_devices(list) >= 0) {
        udev_list_entry* entry = nullptr;
        udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(list)) {
            udev_device* device =
                udev_device_new_from_syspath(context, udev_list_entry_get_name(entry));
            if (device == nullptr) {
                continue;
            }
            if (HexAttribute(device, "idVendor") == vendorId &&
                HexAttribute(device, "idProduct") == productId) {
                PresentProgrammer p;
                p.bus = NumberAttribute(device, "busnum");
                p.device = NumberAttribute(device, "devnum");
                const char* product = udev_device_get_sysattr_value(device, "product");
                p.product = product != nullptr ? product : "";
                p.node = NodeOf(device, p.bus, p.device);
                p.accessError = ::access(p.node.c_str(), R_OK | W_OK) == 0 ? 0 : errno;
                found.push_back(p);
            }
            udev_device_unref(device);
        }
    }
    if (list != nullptr) {
        udev_enumerate_unref(list);
    }
    udev_unref(context);
    return found;
}

} // namespace vantor
