#pragma once
// Device-change notifications: a libudev monitor on the `usb` subsystem,
// watched through a QSocketNotifier on the thread that owns it. Every burst
// of events that arrives together gives one devicesChanged().
#include <QObject>

#include <functional>

class QSocketNotifier;
struct udev;
struct udev_monitor;

namespace vantor {

class UsbDeviceMonitor : public QObject {
    Q_OBJECT
public:
    // `onChange` (may be empty) is called beside the devicesChanged signal.
    explicit UsbDeviceMonitor(std::function<void()> onChange = {}, QObject* parent = nullptr);
    ~UsbDeviceMonitor() override;

    // Starts listening; false when udev cannot be reached (no netlink in a
    // sandbox): the window then probes on activation only.
    bool start();
    bool isActive() const { return Notifier != nullptr; }

signals:
    void devicesChanged();

private:
    void drain();
    void stop();

    std::function<void()> OnChange;
    struct udev* Udev = nullptr;
    struct udev_monitor* Monitor = nullptr;
    QSocketNotifier* Notifier = nullptr;
};

} // namespace vantor
