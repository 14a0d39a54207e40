#include "link/UsbDeviceMonitor.h"

#include <QSocketNotifier>

#include <libudev.h>

namespace vantor {

UsbDeviceMonitor::UsbDeviceMonitor(std::function<void()> onChange, QObject* parent)
    : QObject(parent), OnChange(std::move(onChange)) {}

UsbDeviceMonitor::~UsbDeviceMonitor() {
    stop();
}

bool UsbDeviceMonitor::start() {
    if (Notifier != nullptr) {
        return true;
    }
    Udev = udev_new();
    if (Udev == nullptr) {
        return false;
    }
    Monitor = udev_monitor_new_from_netlink(Udev, "udev");
    if (Monitor == nullptr ||
        udev_monitor_filter_add_match_subsystem_devtype(Monitor, "usb", nullptr) < 0 ||
        udev_monitor_enable_receiving(Monitor) < 0) {
        stop();
        return false;
    }
    const int fd = udev_monitor_get_fd(Monitor);
    if (fd < 0) {
        stop();
        return false;
    }
    Notifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connect(Notifier, &QSocketNotifier::activated, this, [this] { drain(); });
    return true;
}

void UsbDeviceMonitor::drain() {
    // The socket is non-blocking: take every event that is waiting, then
    // report once, so a plug (device and interfaces) costs one probe.
    bool any = false;
    while (udev_device* device = udev_monitor_receive_device(Monitor)) {
        udev_device_unref(device);
        any = true;
    }
    if (any) {
        emit devicesChanged();
        if (OnChange) {
            OnChange();
        }
    }
}

void UsbDeviceMonitor::stop() {
    delete Notifier;
    Notifier = nullptr;
    if (Monitor != nullptr) {
        udev_monitor_unref(Monitor);
        Monitor = nullptr;
    }
    if (Udev != nullptr) {
        udev_unref(Udev);
        Udev = nullptr;
    }
}

} // namespace vantor
