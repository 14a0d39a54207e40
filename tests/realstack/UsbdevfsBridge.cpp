#include "tests/realstack/UsbdevfsBridge.h"

#include "emulator/EmulatorControl.h"

#include <cerrno>
#include <cstddef>

#include <linux/usbdevice_fs.h>
#include <sys/ioctl.h>

namespace vantor::realstack {

namespace {

void Fail(UMockdevIoctlClient* client, int error) {
    umockdev_ioctl_client_complete(client, -1, error);
}

void Done(UMockdevIoctlClient* client, long result = 0) {
    umockdev_ioctl_client_complete(client, result, 0);
}

// The client's memory behind the pointer at `offset` of `data`; null on a bad address.
UMockdevIoctlData* Resolve(UMockdevIoctlData* data, std::size_t offset, std::size_t length) {
    GError* error = nullptr;
    UMockdevIoctlData* out = umockdev_ioctl_data_resolve(data, offset, length, &error);
    if (error != nullptr) {
        g_error_free(error);
        return nullptr;
    }
    return out;
}

} // namespace

UsbdevfsBridge::~UsbdevfsBridge() {
    for (UMockdevIoctlBase* handler : Handlers) {
        g_object_unref(handler);
    }
}

bool UsbdevfsBridge::attach(UMockdevTestbed* testbed, const std::string& devnode,
                            const EmulatedDevice& device) {
    UMockdevIoctlBase* handler = umockdev_ioctl_base_new();
    g_signal_connect(handler, "handle-ioctl", G_CALLBACK(onIoctl), this);
    g_signal_connect(handler, "client-connected", G_CALLBACK(onConnected), this);
    g_signal_connect(handler, "client-vanished", G_CALLBACK(onVanished), this);
    {
        std::lock_guard<std::mutex> lock(Mutex);
        Nodes[devnode] = &device;
    }
    GError* error = nullptr;
    if (!umockdev_testbed_attach_ioctl(testbed, devnode.c_str(), handler, &error)) {
        g_printerr("cannot attach to %s: %s\n", devnode.c_str(), error->message);
        g_error_free(error);
        g_object_unref(handler);
        return false;
    }
    Handlers.push_back(handler);
    return true;
}

gboolean UsbdevfsBridge::onIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer self) {
    return static_cast<UsbdevfsBridge*>(self)->handle(client) ? TRUE : FALSE;
}

void UsbdevfsBridge::onConnected(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer self) {
    static_cast<UsbdevfsBridge*>(self)->connect(client);
}

void UsbdevfsBridge::onVanished(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer self) {
    static_cast<UsbdevfsBridge*>(self)->vanish(client);
}

void UsbdevfsBridge::connect(UMockdevIoctlClient* client) {
    std::lock_guard<std::mutex> lock(Mutex);
    Client& c = Clients[client];
    const auto node = Nodes.find(umockdev_ioctl_client_get_devnode(client));
    c.device = node != Nodes.end() ? node->second : nullptr;
    c.handle = c.device != nullptr ? Bus.open(c.device->device) : nullptr;
    c.gone = c.handle == nullptr;
}

void UsbdevfsBridge::vanish(UMockdevIoctlClient* client) {
    std::lock_guard<std::mutex> lock(Mutex);
    const auto it = Clients.find(client);
    if (it == Clients.end()) {
        return;
    }
    Client& c = it->second;
    for (auto owner = Owners.begin(); owner != Owners.end();) {
        owner = owner->second == client ? Owners.erase(owner) : std::next(owner);
    }
    if (c.handle != nullptr) {
        for (int interface : c.claimed) {
            Bus.release(c.handle, interface);
        }
        Bus.close(c.handle);
    }
    for (auto* list : {&c.completed, &c.hung}) {
        for (UMockdevIoctlData* urb : *list) {
            g_object_unref(urb);
        }
    }
    for (UMockdevIoctlData* urb : c.reaped) {
        g_object_unref(urb);
    }
    Clients.erase(it);
}

int UsbdevfsBridge::numberArgument(UMockdevIoctlClient* client) {
    UMockdevIoctlData* data = Resolve(umockdev_ioctl_client_get_arg(client), 0, sizeof(unsigned));
    if (data == nullptr) {
        return -1;
    }
    const int value = int(*reinterpret_cast<unsigned*>(data->data));
    g_object_unref(data);
    return value;
}

bool UsbdevfsBridge::handle(UMockdevIoctlClient* client) {
    std::lock_guard<std::mutex> lock(Mutex);
    Client& c = Clients[client];
    if (!Opts.clientMayWrite) {
        Fail(client, EPERM); // a node opened read-only refuses every request
        return true;
    }
    if (c.gone) {
        Fail(client, ENODEV);
        return true;
    }
    switch (umockdev_ioctl_client_get_request(client)) {
    case USBDEVFS_CONNECTINFO:
        connectInfo(client, c);
        break;
    case USBDEVFS_CONTROL:
        control(client, c);
        break;
    case USBDEVFS_CLAIMINTERFACE:
        claim(client, c);
        break;
    case USBDEVFS_RELEASEINTERFACE:
        release(client, c);
        break;
    case USBDEVFS_SUBMITURB:
        submit(client, c);
        break;
    case USBDEVFS_REAPURBNDELAY:
        reap(client, c, false);
        break;
    case USBDEVFS_REAPURB:
        reap(client, c, true);
        break;
    case USBDEVFS_DISCARDURB:
        discard(client, c);
        break;
    case USBDEVFS_CLEAR_HALT:
        clearHalt(client, c);
        break;
    case USBDEVFS_SETCONFIGURATION:
    case USBDEVFS_SETINTERFACE:
    case USBDEVFS_RESETEP:
    case USBDEVFS_RESET:
        Done(client);
        break;
    case USBDEVFS_GETDRIVER:
        Fail(client, ENODATA); // no kernel driver is bound to the programmer
        break;
    default:
        Fail(client, ENOTTY);
        break;
    }
    return true;
}

void UsbdevfsBridge::connectInfo(UMockdevIoctlClient* client, Client& c) {
    UMockdevIoctlData* data =
        Resolve(umockdev_ioctl_client_get_arg(client), 0, sizeof(usbdevfs_connectinfo));
    if (data == nullptr) {
        Fail(client, EFAULT);
        return;
    }
    auto* info = reinterpret_cast<usbdevfs_connectinfo*>(data->data);
    info->devnum = unsigned(c.device->devnum);
    info->slow = 0;
    Done(client);
    g_object_unref(data);
}

void UsbdevfsBridge::control(UMockdevIoctlClient* client, Client& c) {
    UMockdevIoctlData* data =
        Resolve(umockdev_ioctl_client_get_arg(client), 0, sizeof(usbdevfs_ctrltransfer));
    if (data == nullptr) {
        Fail(client, EFAULT);
        return;
    }
    const auto* t = reinterpret_cast<const usbdevfs_ctrltransfer*>(data->data);
    UMockdevIoctlData* buffer =
        t->wLength > 0 ? Resolve(data, offsetof(usbdevfs_ctrltransfer, data), t->wLength) : nullptr;
    if (t->wLength > 0 && buffer == nullptr) {
        Fail(client, EFAULT);
    } else {
        const int result = Bus.control(
            c.handle, t->bRequestType, t->bRequest, t->wValue, t->wIndex,
            buffer != nullptr ? reinterpret_cast<char*>(buffer->data) : nullptr, t->wLength);
        result < 0 ? Fail(client, -result) : Done(client, result);
    }
    if (buffer != nullptr) {
        g_object_unref(buffer);
    }
    g_object_unref(data);
}

void UsbdevfsBridge::claim(UMockdevIoctlClient* client, Client& c) {
    const int interface = numberArgument(client);
    const auto key =
        std::make_pair(std::string(umockdev_ioctl_client_get_devnode(client)), interface);
    const auto owner = Owners.find(key);
    if (owner != Owners.end() && owner->second != client) {
        Fail(client, EBUSY); // another program holds the programmer
        return;
    }
    const int result = Bus.claim(c.handle, interface);
    if (result < 0) {
        Fail(client, -result);
        return;
    }
    c.claimed.insert(interface);
    Owners[key] = client;
    Done(client);
}

void UsbdevfsBridge::release(UMockdevIoctlClient* client, Client& c) {
    const int interface = numberArgument(client);
    if (c.claimed.erase(interface) == 0) {
        Fail(client, EINVAL);
        return;
    }
    Owners.erase(std::make_pair(std::string(umockdev_ioctl_client_get_devnode(client)), interface));
    Bus.release(c.handle, interface);
    Done(client);
}

void UsbdevfsBridge::clearHalt(UMockdevIoctlClient* client, Client& c) {
    const int endpoint = numberArgument(client);
    Halted[umockdev_ioctl_client_get_devnode(client)].erase(endpoint);
    Bus.clearHalt(c.handle, unsigned(endpoint));
    Done(client);
}

void UsbdevfsBridge::submit(UMockdevIoctlClient* client, Client& c) {
    UMockdevIoctlData* data =
        Resolve(umockdev_ioctl_client_get_arg(client), 0, sizeof(usbdevfs_urb));
    if (data == nullptr) {
        Fail(client, EFAULT);
        return;
    }
    auto* urb = reinterpret_cast<usbdevfs_urb*>(data->data);
    if (urb->type != USBDEVFS_URB_TYPE_BULK || urb->buffer_length < 0) {
        g_object_unref(data);
        Fail(client, EINVAL);
        return;
    }
    const int length = urb->buffer_length;
    UMockdevIoctlData* buffer =
        length > 0 ? Resolve(data, offsetof(usbdevfs_urb, buffer), std::size_t(length)) : nullptr;
    auto* bytes = buffer != nullptr ? reinterpret_cast<char*>(buffer->data) : nullptr;
    const int endpoint = urb->endpoint;
    int result = -EPIPE; // a halted endpoint fails every URB until its halt is cleared
    std::set<int>& halted = Halted[umockdev_ioctl_client_get_devnode(client)];
    if (halted.count(endpoint) == 0) {
        result = (endpoint & USB_ENDPOINT_IN) != 0
                     ? Bus.bulkRead(c.handle, endpoint, bytes, length)
                     : Bus.bulkWrite(c.handle, endpoint, bytes, length);
    }
    const bool stalled = result == -EPIPE || Bus.lastFault() == VANTOR_EMU_FAULT_STALL;
    if (buffer != nullptr) {
        g_object_unref(buffer);
    }
    if (result == -ETIMEDOUT) {
        // Never completes: the library polls until its time-out, then discards it.
        urb->status = -EINPROGRESS;
        c.hung.push_back(data);
        Done(client);
        if (Opts.onHang) {
            Opts.onHang();
        }
        return;
    }
    urb->actual_length = result > 0 ? result : 0;
    urb->status = stalled ? -EPIPE : result < 0 ? result : 0;
    if (stalled) {
        halted.insert(endpoint);
    }
    if (result == -ENODEV) {
        urb->status = -ESHUTDOWN; // the URB in flight ends; the next request finds no device
        c.gone = true;
    }
    c.completed.push_back(data);
    Done(client);
}

void UsbdevfsBridge::reap(UMockdevIoctlClient* client, Client& c, bool wait) {
    if (c.completed.empty()) {
        // The testbed's node never makes select() wait, so the library polls
        // at once again: a short pause keeps a hung transfer from spinning.
        if (!wait) {
            g_usleep(1000);
        }
        Fail(client, EAGAIN);
        return;
    }
    UMockdevIoctlData* urb = c.completed.front();
    c.completed.pop_front();
    umockdev_ioctl_data_set_ptr(umockdev_ioctl_client_get_arg(client), 0, urb);
    Done(client);
    c.reaped.push_back(urb);
}

void UsbdevfsBridge::discard(UMockdevIoctlClient* client, Client& c) {
    const UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);
    gulong address = 0;
    if (arg->data_len >= int(sizeof address)) {
        address = *reinterpret_cast<const gulong*>(arg->data);
    }
    for (auto it = c.hung.begin(); it != c.hung.end(); ++it) {
        if ((*it)->client_addr == address) {
            auto* urb = reinterpret_cast<usbdevfs_urb*>((*it)->data);
            urb->status = -ENOENT; // unlinked
            urb->actual_length = 0;
            c.completed.push_back(*it);
            c.hung.erase(it);
            Done(client);
            return;
        }
    }
    Fail(client, EINVAL);
}

} // namespace vantor::realstack
