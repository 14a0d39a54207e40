// The transport through the real dlopen path, against the emulator.
#include "link/UsbTransport.h"

#include "emulator/EmulatorClient.h"
#include "link/Protocol.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>

using namespace vantor;
using namespace std::chrono_literals;

namespace {

class Transport : public ::testing::Test {
protected:
    void SetUp() override {
        // No configuration file may leak in from the environment.
        // No set-up named and none beside the library: the built-in default.
        unsetenv("VANTOR_EMULATOR_CONFIG");
        emu.useDefault();
        link.setReplyWait(0us);
    }
    void TearDown() override {
        link.USB_bulk_close();
        emu.useDefault();
    }
    void configure(const std::string& ini) { ASSERT_TRUE(emu.configure(ini)) << emu.lastError(); }
    int open() { return link.prog_open(kProgrammerVendorId, kProgrammerProductId); }

    // Devices of a log event kind, in order.
    std::vector<int> devicesOf(int kind) const {
        std::vector<int> out;
        for (const auto& e : emu.events(kind)) {
            out.push_back(e.device);
        }
        return out;
    }

    EmulatorClient emu;
    UsbTransport link{EmulatorClient::kDefaultPath};
};

// Opens device `index` of the bus walk straight through the library's own
// entry points, for looking at string descriptors of devices that prog_open
// rightly refuses.
class RawUsb {
public:
    explicit RawUsb(const std::string& path) {
        Library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        FindBusses = reinterpret_cast<int (*)()>(dlsym(Library, "usb_find_busses"));
        FindDevices = reinterpret_cast<int (*)()>(dlsym(Library, "usb_find_devices"));
        GetBusses = reinterpret_cast<usb_bus* (*)()>(dlsym(Library, "usb_get_busses"));
        Open =
            reinterpret_cast<usb_dev_handle* (*)(struct usb_device*)>(dlsym(Library, "usb_open"));
        Close = reinterpret_cast<int (*)(usb_dev_handle*)>(dlsym(Library, "usb_close"));
    }
    ~RawUsb() { dlclose(Library); }
    usb_dev_handle* open(int index) {
        FindBusses();
        FindDevices();
        for (usb_bus* bus = GetBusses(); bus != nullptr; bus = bus->next) {
            for (struct usb_device* d = bus->devices; d != nullptr; d = d->next) {
                if (index-- == 0) {
                    return Open(d);
                }
            }
        }
        return nullptr;
    }
    int (*Close)(usb_dev_handle*) = nullptr;

private:
    void* Library = nullptr;
    int (*FindBusses)() = nullptr;
    int (*FindDevices)() = nullptr;
    usb_bus* (*GetBusses)() = nullptr;
    usb_dev_handle* (*Open)(struct usb_device*) = nullptr;
};

} // namespace

TEST_F(Transport, DefaultProgrammerIsFoundWithItsVariantEndpoints) {
    ASSERT_EQ(open(), 1);
    EXPECT_TRUE(link.isOpen());
    EXPECT_EQ(link.inEndpoint(), 0x85);
    EXPECT_EQ(link.dataOutEndpoint(), 0x05);
    EXPECT_EQ(link.commandOutEndpoint(), 0x04);
    EXPECT_FALSE(link.bigEndian());
    EXPECT_EQ(emu.openHandles(), 1);
    link.USB_bulk_close();
    EXPECT_FALSE(link.isOpen());
    EXPECT_EQ(emu.openHandles(), 0);
    // The endpoints of the last open stay after the close.
    EXPECT_EQ(link.inEndpoint(), 0x85);
}

TEST_F(Transport, ShortProductTextSelectsTheBigEndianVariant) {
    UsbTransport fresh{EmulatorClient::kDefaultPath};
    EXPECT_EQ(fresh.inEndpoint(), 0x82); // a new instance starts with this set
    configure("[programmer]\nproduct = DudOVEDuro\n");
    ASSERT_EQ(fresh.prog_open(kProgrammerVendorId, kProgrammerProductId), 1);
    EXPECT_EQ(fresh.inEndpoint(), 0x82);
    EXPECT_EQ(fresh.dataOutEndpoint(), 0x01);
    EXPECT_EQ(fresh.commandOutEndpoint(), 0x02);
    EXPECT_TRUE(fresh.bigEndian());
    fresh.USB_bulk_close();
}

TEST_F(Transport, NoProgrammerOrNoLibraryReadsAsNotFound) {
    configure("[programmer]\nplugged = 0\n");
    EXPECT_EQ(open(), 0);
    EXPECT_FALSE(link.isOpen());
    configure("[bus]\ndevices =\n");
    EXPECT_EQ(open(), 0);

    UsbTransport missing{"/nonexistent/libusb-0.1.so.4"};
    EXPECT_EQ(missing.prog_open(kProgrammerVendorId, kProgrammerProductId), 0);
    EXPECT_FALSE(missing.isOpen());
    EXPECT_FALSE(missing.libraryLoaded());
    unsigned char buffer[64] = {};
    EXPECT_EQ(missing.USB_bulk_read(buffer, 64), 0);
    EXPECT_EQ(missing.USB_bulk_cmd(buffer, 64, 0), 0);

    // A library without any libusb entry point: every call meets a stand-in.
    UsbTransport unrelated{"libm.so.6"};
    EXPECT_EQ(unrelated.prog_open(kProgrammerVendorId, kProgrammerProductId), 0);
    EXPECT_TRUE(unrelated.libraryLoaded());
    EXPECT_FALSE(unrelated.isOpen());
}

#ifdef VANTOR_SYSTEM_LIBUSB0
TEST_F(Transport, SystemLibraryLoadsAndFindsNoProgrammer) {
    UsbTransport system{VANTOR_SYSTEM_LIBUSB0};
    EXPECT_EQ(system.prog_open(kProgrammerVendorId, kProgrammerProductId), 0);
    EXPECT_TRUE(system.libraryLoaded());
    EXPECT_FALSE(system.isOpen());
    EXPECT_EQ(system.prog_open(kProgrammerVendorId, kProgrammerProductId), 0); // reload
}
#endif

TEST_F(Transport, CandidatesThatFailAnyCheckAreClosedAndSkipped) {
    configure("[bus]\ndevices = mouse, other, lower, typed, unopenable, busy, product, good, "
              "late\n"
              "[mouse]\nvendor = 0x046D\nproduct_id = 0xC077\n"
              "[other]\nmanufacturer = VUZOvad Ltd\n"
              "[lower]\nmanufacturer = vuzovad\n"
              "[typed]\nstring_type = 4\n"
              "[unopenable]\nopen_fails = 1\n"
              "[busy]\nclaim_fails = 1\n"
              "[product]\nproduct = DudOVEDuro Devic\n"
              "[good]\nproduct = DudOVEDuro\n"
              "[late]\n"
              "[chip]\nsize = 4K\n");
    ASSERT_EQ(open(), 1);
    EXPECT_EQ(link.inEndpoint(), 0x82); // "good", not "late"
    // The mouse is never opened; every refused candidate is closed again.
    EXPECT_EQ(devicesOf(VANTOR_EMU_OPEN), (std::vector<int>{1, 2, 3, 4, 5, 6, 7}));
    EXPECT_EQ(devicesOf(VANTOR_EMU_CLOSE), (std::vector<int>{1, 2, 3, 5, 6}));
    EXPECT_EQ(devicesOf(VANTOR_EMU_CLAIM), (std::vector<int>{5, 7}));
    EXPECT_EQ(emu.openHandles(), 1);
}

TEST_F(Transport, ChosenDeviceRefusalsAndScanNameEachProgrammer) {
    configure("[bus]\ndevices = denied, busy, a, b\n"
              "[denied]\nopen_fails = EACCES\n"
              "[busy]\nclaim_fails = 16\n"
              "[a]\n"
              "[b]\nproduct = DudOVEDuro\n");
    using Access = ProgrammerSlot::Access;
    ASSERT_EQ(open(), 1);
    EXPECT_EQ(link.candidatesSeen(), 4);
    ASSERT_TRUE(link.opened());
    EXPECT_EQ(link.opened()->location(), "001:004");
    ASSERT_TRUE(link.refusal()); // the first refused candidate, though another was taken
    EXPECT_EQ(link.refusal()->access, Access::PermissionDenied);
    link.USB_bulk_close();

    link.choose(*DeviceChoice::parse("1:5")); // numbers match "001:005"
    ASSERT_EQ(open(), 1);
    EXPECT_TRUE(link.bigEndian());
    link.USB_bulk_close();
    link.choose(*DeviceChoice::parse("2"));
    EXPECT_EQ(open(), 0);
    ASSERT_TRUE(link.refusal());
    EXPECT_EQ(link.refusal()->access, Access::Busy);
    EXPECT_EQ(link.refusal()->error, EBUSY);

    const auto slots = link.scan(kProgrammerVendorId, kProgrammerProductId);
    ASSERT_EQ(slots.size(), 4u);
    EXPECT_EQ(slots[0].access, Access::PermissionDenied);
    EXPECT_EQ(slots[1].access, Access::Busy);
    EXPECT_EQ(slots[2].access, Access::Usable);
    EXPECT_EQ(slots[3].variant, ProgrammerSlot::Variant::Duro);
    EXPECT_EQ(emu.openHandles(), 0);
    EXPECT_FALSE(link.isOpen());
    for (const char* bad : {"0", "x", "1:", ":2", "1:2:3", ""}) {
        EXPECT_FALSE(DeviceChoice::parse(bad)) << bad;
    }
}

TEST_F(Transport, DevicesOnSeveralBussesAreWalkedInBusOrder) {
    configure("[bus]\ndevices = second, first\n"
              "[second]\nbus = 2\n"
              "[first]\nbus = 1\nproduct = DudOVEDuro\n");
    ASSERT_EQ(open(), 1);
    EXPECT_EQ(link.inEndpoint(), 0x82);
    EXPECT_EQ(devicesOf(VANTOR_EMU_CLAIM), (std::vector<int>{1}));
}

TEST_F(Transport, ClaimsTheFirstInterfaceAndReleasesItsNumber) {
    configure("[programmer]\ninterface = 3\n");
    ASSERT_EQ(open(), 1);
    EXPECT_EQ(InterfaceNumber, 3);
    link.USB_bulk_close();
    const auto release = emu.events(VANTOR_EMU_RELEASE);
    ASSERT_EQ(release.size(), 1u);
    EXPECT_EQ(release[0].endpoint, 3);
    EXPECT_EQ(release[0].result, 0);
}

TEST_F(Transport, StringDescriptorsBecomeEightBitText) {
    configure("[bus]\ndevices = odd, good\n"
              "[odd]\nmanufacturer = VUZ\xE2\x82\xACvad\n"
              "[good]\nserial = A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80Z\n");
    ASSERT_EQ(open(), 1); // "VUZ?vad" does not match; the second device does
    EXPECT_EQ(devicesOf(VANTOR_EMU_CLAIM), (std::vector<int>{1}));

    char text[256];
    // Latin-1 characters keep their byte, others become '?', one per UTF-16 unit.
    EXPECT_EQ(link.usbGetStringAscii(link.deviceHandle(), 3, 0x0409, text, 256), 6);
    EXPECT_STREQ(text, "A\xE9???Z");
    EXPECT_EQ(link.usbGetStringAscii(link.deviceHandle(), 1, 0x0409, text, 256), 7);
    EXPECT_STREQ(text, "VUZOvad");
    // A short buffer keeps room for its terminating zero.
    std::memset(text, 'x', sizeof text);
    EXPECT_EQ(link.usbGetStringAscii(link.deviceHandle(), 1, 0x0409, text, 4), 3);
    EXPECT_STREQ(text, "VUZ");
    EXPECT_EQ(text[4], 'x');
    // No such string: the library's error comes back as it is.
    EXPECT_LT(link.usbGetStringAscii(link.deviceHandle(), 9, 0x0409, text, 256), 0);

    RawUsb raw(emu.path());
    usb_dev_handle* odd = raw.open(0);
    ASSERT_NE(odd, nullptr);
    EXPECT_EQ(link.usbGetStringAscii(odd, 1, 0x0409, text, 256), 7);
    EXPECT_STREQ(text, "VUZ?vad");
    raw.Close(odd);
}

TEST_F(Transport, DescriptorOfAnotherTypeReadsEmpty) {
    configure("[programmer]\nstring_type = 2\n");
    EXPECT_EQ(open(), 0);
    RawUsb raw(emu.path());
    usb_dev_handle* h = raw.open(0);
    ASSERT_NE(h, nullptr);
    char text[256] = "untouched";
    EXPECT_EQ(link.usbGetStringAscii(h, 1, 0x0409, text, 256), 0);
    EXPECT_STREQ(text, "");
    raw.Close(h);
}

TEST_F(Transport, CommandWithReplyOverwritesTheCallersBlock) {
    ASSERT_EQ(open(), 1);
    CommandBlock block = BuildReadId(ChipParameters{}, 0, link.bigEndian());
    EXPECT_EQ(link.USB_bulk_cmd(block.data(), 64, 1), 64);
    EXPECT_EQ(block[0], kIdJedec);
    EXPECT_EQ(block[1], 0xEF);
    EXPECT_EQ(block[2], 0x40);
    EXPECT_EQ(block[3], 0x16);
    const auto sent = emu.commands();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0][1], CMD_READ_ID);
}

TEST_F(Transport, CommandWithoutReplyNeitherWaitsNorReads) {
    ASSERT_EQ(open(), 1);
    link.setReplyWait(300ms);
    CommandBlock block = BuildFinish();
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(link.USB_bulk_cmd(block.data(), 64, 0), 64);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 250ms);
    EXPECT_EQ(block, BuildFinish());
    EXPECT_EQ(emu.events(VANTOR_EMU_REPLY).size(), 0u);
    EXPECT_EQ(emu.transfers(), 1);
}

TEST_F(Transport, ReplyComesAfterTheFixedWait) {
    UsbTransport standard{EmulatorClient::kDefaultPath};
    EXPECT_EQ(standard.replyWait(), std::chrono::microseconds(50ms));
    ASSERT_EQ(standard.prog_open(kProgrammerVendorId, kProgrammerProductId), 1);
    CommandBlock block = BuildSpiCommand(kSpiEnter4ByteMode);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(standard.USB_bulk_cmd(block.data(), 64, 1), 64);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 50ms);
    standard.USB_bulk_close();
}

TEST_F(Transport, DataStreamsUseTheVariantEndpoints) {
    ASSERT_EQ(open(), 1);
    std::vector<std::uint8_t> chip(emu.image().size(), 0xFF);
    for (std::size_t i = 0; i < 256; ++i) {
        chip[i] = std::uint8_t(i);
    }
    emu.setImage(chip);
    ChipParameters p;
    p.page = 256;
    p.size = std::uint32_t(chip.size());
    CommandBlock setup = BuildChipSetup(p, 0, false);
    link.USB_bulk_cmd(setup.data(), 64, 1);
    CommandBlock address = BuildSetAddress(0, false);
    link.USB_bulk_cmd(address.data(), 64, 1);
    std::uint8_t data[256] = {};
    EXPECT_EQ(link.USB_bulk_read(data, 256), 256);
    EXPECT_EQ(data[0x7F], 0x7F);
    const auto reads = emu.events(VANTOR_EMU_DATA_IN);
    ASSERT_EQ(reads.size(), 1u);
    EXPECT_EQ(reads[0].endpoint, 0x85);

    CommandBlock writeAddress = BuildSetAddress(0x1000, false);
    link.USB_bulk_cmd(writeAddress.data(), 64, 0);
    EXPECT_EQ(link.USB_bulk_write(data, 64), 64);
    const auto writes = emu.events(VANTOR_EMU_DATA_OUT);
    ASSERT_EQ(writes.size(), 1u);
    EXPECT_EQ(writes[0].endpoint, 0x05);
    EXPECT_EQ(writes[0].address, 0x1000u);
    EXPECT_EQ(emu.image()[0x1000 + 0x3F], 0x3F);
}

TEST_F(Transport, TransfersAfterCloseDoNothing) {
    ASSERT_EQ(open(), 1);
    link.USB_bulk_close();
    link.USB_bulk_close(); // a second close is harmless
    const long before = emu.transfers();
    unsigned char buffer[64] = {1, 2, 3};
    link.setReplyWait(20ms);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(link.USB_bulk_cmd(buffer, 64, 1), 0);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 20ms); // the wait still runs
    EXPECT_EQ(link.USB_bulk_write(buffer, 64), 0);
    EXPECT_EQ(link.USB_bulk_read(buffer, 64), 0);
    const std::uint8_t setup[4] = {};
    EXPECT_EQ(link.USB_transmit(1, 0x10, setup, buffer, 8), 0);
    EXPECT_EQ(buffer[0], 1);
    EXPECT_EQ(emu.transfers(), before);
}

TEST_F(Transport, VendorControlTransfer) {
    ASSERT_EQ(open(), 1);
    const std::uint8_t setup[4] = {0x34, 0x12, 0x02, 0x00};
    unsigned char data[8] = {};
    EXPECT_EQ(link.USB_transmit(0, 0x21, setup, data, 8), 8);
    const auto control = emu.events(VANTOR_EMU_CONTROL);
    ASSERT_FALSE(control.empty());
    EXPECT_EQ(control.back().endpoint, 0x40);
    EXPECT_EQ(control.back().address, 0x1234u); // wValue
}

TEST_F(Transport, FailedTransfersReturnTheLibraryError) {
    configure("[faults]\nstall_at = 1\ntimeout_at = 2\nunplug_at = 3\n");
    ASSERT_EQ(open(), 1);
    unsigned char buffer[64] = {};
    EXPECT_EQ(link.USB_bulk_write(buffer, 64), 0); // a stall: the bytes done, as libusb 0.1.12
    EXPECT_LT(link.USB_bulk_read(buffer, 64), 0);
    EXPECT_LT(link.USB_bulk_write(buffer, 64), 0);
    EXPECT_TRUE(link.isOpen()); // nothing is retried or closed behind the caller
    link.USB_bulk_close();
    EXPECT_EQ(emu.openHandles(), 0);
    EXPECT_EQ(open(), 0); // the programmer has gone from the bus
    emu.plug();
    EXPECT_EQ(open(), 1);
}
