#include "tests/realstack/Testbed.h"

#include <cstdio>
#include <filesystem>
#include <set>
#include <stdexcept>

#include <sys/stat.h>

namespace vantor::realstack {

namespace fs = std::filesystem;

namespace {

std::string Hex(const std::vector<unsigned char>& bytes) {
    std::string out;
    char digits[3];
    for (unsigned char b : bytes) {
        std::snprintf(digits, sizeof digits, "%02X", b);
        out += digits;
    }
    return out;
}

std::string Number(const char* format, int value) {
    char text[16];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

// A USB 2.0 root hub's device and configuration descriptors (one interrupt
// endpoint), enough for a library walking every node to parse it.
const std::vector<unsigned char> kRootHubDescriptors = {
    0x12, 0x01, 0x00, 0x02, 0x09, 0x00, 0x01, 0x40, 0x6B, 0x1D, 0x02, 0x00, 0x00, 0x06, 0x03,
    0x02, 0x01, 0x01, 0x09, 0x02, 0x19, 0x00, 0x01, 0x01, 0x00, 0xE0, 0x00, 0x09, 0x04, 0x00,
    0x00, 0x01, 0x09, 0x00, 0x00, 0x00, 0x07, 0x05, 0x81, 0x03, 0x04, 0x00, 0x0C};

std::string HubPath(int bus) {
    return "/devices/pci0000:00/0000:00:14.0/usb" + std::to_string(bus);
}

} // namespace

std::string Testbed::devnode(const EmulatedDevice& device) {
    return "/dev/bus/usb/" + Number("%03d", device.bus) + "/" + Number("%03d", device.devnum);
}

void Testbed::add(const std::string& record) {
    GError* error = nullptr;
    if (!umockdev_testbed_add_from_string(Bed, record.c_str(), &error)) {
        const std::string why = error != nullptr ? error->message : "";
        if (error != nullptr) {
            g_error_free(error);
        }
        throw std::runtime_error("the testbed refused a device: " + why);
    }
}

Testbed::Testbed(const std::vector<EmulatedDevice>& devices) {
    Bed = umockdev_testbed_new();
    gchar* root = umockdev_testbed_get_root_dir(Bed);
    Root = root;
    g_free(root);
    std::set<int> busses = {1};
    for (const auto& d : devices) {
        busses.insert(d.bus);
    }
    for (int bus : busses) {
        const std::string number = Number("%03d", bus);
        add("P: " + HubPath(bus) + "\nN: bus/usb/" + number + "/001=" + Hex(kRootHubDescriptors) +
            "\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_device\nE: DEVNAME=/dev/bus/usb/" + number +
            "/001\nE: BUSNUM=" + number + "\nE: DEVNUM=001\nA: idVendor=1d6b\nA: idProduct=0002" +
            "\nA: busnum=" + std::to_string(bus) + "\nA: devnum=1\nA: speed=480\n");
    }
    for (const auto& d : devices) {
        const std::string node = devnode(d);
        add("P: " + HubPath(d.bus) + "/" + std::to_string(d.bus) + "-" +
            std::to_string(d.devnum - 1) + "\nN: " + node.substr(5) + "=" + Hex(d.descriptors) +
            "\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_device\nE: DEVNAME=" + node +
            "\nE: BUSNUM=" + Number("%03d", d.bus) + "\nE: DEVNUM=" + Number("%03d", d.devnum) +
            "\nA: idVendor=" + Number("%04x", int(d.vendorId)) +
            "\nA: idProduct=" + Number("%04x", int(d.productId)) +
            "\nA: busnum=" + std::to_string(d.bus) + "\nA: devnum=" + std::to_string(d.devnum) +
            "\nA: manufacturer=" + d.manufacturer + "\nA: product=" + d.product +
            "\nA: serial=" + d.serial + "\nA: speed=12\nA: bConfigurationValue=1" +
            "\nH: descriptors=" + Hex(d.descriptors) + "\n");
    }
}

Testbed::~Testbed() {
    g_object_unref(Bed);
    std::error_code ignored;
    fs::remove_all(Root, ignored);
}

void Testbed::openTo(const std::vector<EmulatedDevice>& devices, unsigned mode) const {
    std::error_code ignored;
    fs::permissions(Root, fs::perms(0755), ignored);
    for (auto it = fs::recursive_directory_iterator(Root, ignored);
         it != fs::recursive_directory_iterator(); it.increment(ignored)) {
        const fs::file_status status = it->symlink_status(ignored);
        if (fs::is_directory(status)) {
            fs::permissions(it->path(), fs::perms(0755), ignored);
        } else if (fs::is_socket(status)) {
            fs::permissions(it->path(), fs::perms(0777), ignored);
        } else if (fs::is_regular_file(status)) {
            fs::permissions(it->path(), fs::perms(0644), ignored);
        }
    }
    for (const auto& d : devices) {
        ::chmod((Root + devnode(d)).c_str(), mode);
    }
}

} // namespace vantor::realstack
