// The emulator's firmware and chip models, driven through the real transport
// the way the engine drives a programmer.
#include "emulator/EmulatorClient.h"
#include "link/Protocol.h"
#include "link/UsbTransport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <numeric>

#include <sys/stat.h>
#include <unistd.h>

using namespace vantor;
using namespace std::chrono_literals;

namespace {

using Bytes = std::vector<std::uint8_t>;

class Host {
public:
    Host() { link.setReplyWait(0us); }
    ~Host() { link.USB_bulk_close(); }
    bool open() { return link.prog_open(kProgrammerVendorId, kProgrammerProductId) == 1; }
    CommandBlock send(CommandBlock block, bool reply) {
        last = link.USB_bulk_cmd(block.data(), int(block.size()), reply ? 1 : 0);
        return block;
    }
    void setup(std::uint8_t family, std::uint32_t size, std::uint16_t page,
               std::uint16_t delay = 0) {
        ChipParameters p;
        p.family = family;
        p.size = size;
        p.page = page;
        p.delay = delay;
        send(BuildChipSetup(p, 0, link.bigEndian()), true);
    }
    Bytes read(std::uint32_t address, std::uint32_t count, std::uint32_t chunk = 256) {
        send(BuildSetAddress(address, link.bigEndian()), true);
        Bytes out(count);
        for (std::uint32_t at = 0; at < count; at += chunk) {
            link.USB_bulk_read(out.data() + at, int(chunk));
        }
        return out;
    }
    void write(std::uint32_t address, const Bytes& data, std::uint32_t chunk = 256) {
        send(BuildSetAddress(address, link.bigEndian()), false);
        for (std::uint32_t at = 0; at < data.size(); at += chunk) {
            link.USB_bulk_write(data.data() + at, int(chunk));
        }
    }
    void finish() {
        send(BuildFinish(), false);
        link.USB_bulk_close();
    }
    CommandBlock readId() { return send(BuildReadId(ChipParameters{}, 0, link.bigEndian()), true); }

    UsbTransport link{EmulatorClient::kDefaultPath};
    int last = 0;
};

Bytes Pattern(std::size_t n, std::uint8_t start = 0) {
    Bytes b(n);
    std::iota(b.begin(), b.end(), start);
    return b;
}

class Emulator : public ::testing::Test {
protected:
    void SetUp() override {
        // No set-up named and none beside the library: the built-in default.
        unsetenv("VANTOR_EMULATOR_CONFIG");
        emu.useDefault();
    }
    void TearDown() override {
        host.link.USB_bulk_close();
        emu.useDefault();
    }
    void configure(const std::string& ini) { ASSERT_TRUE(emu.configure(ini)) << emu.lastError(); }

    EmulatorClient emu;
    Host host;
};

std::string TempPath(const char* name) {
    return "/tmp/vantor-emu-" + std::to_string(getpid()) + "-" + name;
}

} // namespace

TEST_F(Emulator, DefaultIsABlankFourMiBFlashBehindTheDeviceVariant) {
    ASSERT_TRUE(host.open());
    EXPECT_EQ(host.link.inEndpoint(), 0x85);
    const CommandBlock id = host.readId();
    EXPECT_EQ(id[0], kIdJedec);
    EXPECT_EQ(id[1], 0xEF);
    EXPECT_EQ(id[2], 0x40);
    EXPECT_EQ(id[3], 0x16);
    EXPECT_EQ(emu.image().size(), 4u * 1024 * 1024);
    EXPECT_EQ(emu.image()[12345], 0xFF);
}

TEST_F(Emulator, IdReplyKindPerFamily) {
    struct Case {
        const char* chip;
        std::array<int, 4> reply;
    } cases[] = {
        {"family = 0\njedec = C22017\nsize = 8M", {1, 0xC2, 0x20, 0x17}},
        {"family = 1\nsize = 256\npage = 8", {2, 0, 0, 0}},
        {"family = 2\nsize = 128\npage = 1", {3, 0, 0, 0}},
        {"family = 3\nsize = 32K\npage = 64", {1, 0xFF, 0xFF, 0xFF}},
        {"family = 4\nsize = 4K\npage = 32", {1, 0xFF, 0xFF, 0xFF}},
    };
    for (const Case& c : cases) {
        configure(std::string("[chip]\n") + c.chip + "\n");
        ASSERT_TRUE(host.open());
        const CommandBlock id = host.readId();
        EXPECT_EQ((std::array<int, 4>{id[0], id[1], id[2], id[3]}), c.reply) << c.chip;
        host.finish();
    }
    configure("[programmer]\nchip = none\n");
    ASSERT_TRUE(host.open());
    EXPECT_EQ(host.readId()[0], kIdNoChip);
}

TEST_F(Emulator, BothByteOrdersDriveTheSameChip) {
    for (const char* product : {"DudOVEDuro", "DudOVEDuro Device"}) {
        configure(std::string("[programmer]\nproduct = ") + product + "\n[chip]\nsize = 64K\n");
        ASSERT_TRUE(host.open());
        host.setup(ChipFamily::SpiFlash25, 65536, 256);
        host.write(0x100, Pattern(256, 7));
        host.finish();
        EXPECT_EQ(emu.image()[0x100], 7) << product;
        EXPECT_EQ(emu.image()[0x1FF], std::uint8_t(7 + 255)) << product;
        ASSERT_TRUE(host.open());
        host.setup(ChipFamily::SpiFlash25, 65536, 256);
        EXPECT_EQ(host.read(0x100, 256), Pattern(256, 7)) << product;
        host.finish();
    }
}

TEST_F(Emulator, FlashProgrammingOnlyClearsBitsAndEraseSetsThemAgain) {
    configure("[chip]\nsize = 64K\nerase_busy_polls = 3\n");
    ASSERT_TRUE(host.open());
    host.setup(ChipFamily::SpiFlash25, 65536, 256);
    host.write(0, Bytes(256, 0xF0));
    host.write(0, Bytes(256, 0x3C)); // no erase between: the AND of both stays
    EXPECT_EQ(host.read(0, 256), Bytes(256, 0x30));

    CommandBlock buffer = host.send(BuildErase(kFlashChipEraseArgument, false), false);
    std::vector<int> busy;
    for (int poll = 0; poll < 5; ++poll) {
        MakeReadStatus(buffer);
        host.link.USB_bulk_cmd(buffer.data(), 64, 1);
        busy.push_back(buffer[0] & kStatusBusy);
    }
    EXPECT_EQ(busy, (std::vector<int>{1, 1, 1, 0, 0}));
    EXPECT_EQ(host.read(0, 256), Bytes(256, 0xFF));
    host.finish();
    EXPECT_EQ(emu.image(), Bytes(65536, 0xFF));
}

TEST_F(Emulator, EraseBusyForAWallClockTime) {
    configure("[chip]\nsize = 64K\nerase_busy_polls = 0\nerase_busy_ms = 60\n");
    ASSERT_TRUE(host.open());
    host.setup(ChipFamily::SpiFlash25, 65536, 256);
    CommandBlock buffer = host.send(BuildErase(kFlashChipEraseArgument, false), false);
    const auto start = std::chrono::steady_clock::now();
    int polls = 0;
    for (;; ++polls) {
        MakeReadStatus(buffer);
        host.link.USB_bulk_cmd(buffer.data(), 64, 1);
        if ((buffer[0] & kStatusBusy) == 0 || polls > 1000) {
            break;
        }
        std::this_thread::sleep_for(5ms);
    }
    EXPECT_GE(std::chrono::steady_clock::now() - start, 60ms);
    EXPECT_GT(polls, 1);
}

TEST_F(Emulator, FourByteAddressesReachTheChipOnlyTheWayItsMakerSwitches) {
    Bytes image(32u << 20, 0xFF);
    image[16u << 20] = 0x22;
    // In 3-byte mode the chip takes 01 00 00 of the address 01 00 00 00 and
    // answers from 010000h; the programmer's first byte is its second.
    image[0x10001] = 0x33;
    const std::uint8_t writeEnable[] = {0x06};
    const std::uint8_t bankOn[] = {0x17, 0x80};
    const std::uint8_t bankOff[] = {0x17, 0x00};
    struct Case {
        const char* chip;
        std::vector<const std::uint8_t*> ignored; // sent first, changing nothing
        std::vector<std::pair<const std::uint8_t*, int>> enter;
    };
    const std::uint8_t b7[] = {kSpiEnter4ByteMode};
    const Case cases[] = {
        {"jedec = EF4019\n", {}, {{b7, 1}}},
        {"jedec = 20BA19\n", {b7}, {{writeEnable, 1}, {b7, 1}}},
        {"jedec = 010219\n", {b7}, {{bankOn, 2}}},
        {"jedec = 20BA19\nfour_byte_entry = b7\n", {}, {{b7, 1}}},
    };
    for (const Case& c : cases) {
        configure(std::string("[chip]\nsize = 32M\n") + c.chip);
        ASSERT_TRUE(emu.setImage(image));
        ASSERT_TRUE(host.open());
        host.setup(ChipFamily::SpiFlash25, 32u << 20, 256);
        for (const std::uint8_t* bytes : c.ignored)
            host.send(BuildSpiTransaction(bytes, 1), true);
        EXPECT_FALSE(emu.fourByteMode()) << c.chip;
        EXPECT_EQ(host.read(16u << 20, 64, 64)[0], 0x33) << c.chip;
        for (const auto& [bytes, count] : c.enter)
            host.send(BuildSpiTransaction(bytes, std::size_t(count)), true);
        EXPECT_TRUE(emu.fourByteMode()) << c.chip;
        EXPECT_EQ(host.read(16u << 20, 64, 64)[0], 0x22) << c.chip;
        host.finish();
        EXPECT_FALSE(emu.fourByteMode()) << c.chip; // the socket is switched off at finish
    }
    // The bank register switches back as well.
    ASSERT_TRUE(host.open());
    host.setup(ChipFamily::SpiFlash25, 32u << 20, 256);
    host.send(BuildSpiTransaction(bankOn, 2), true);
    host.send(BuildSpiTransaction(bankOff, 2), true);
    EXPECT_FALSE(emu.fourByteMode());
    host.finish();
    EXPECT_FALSE(emu.configure("[chip]\nfour_byte_entry = b8\n"));
}

TEST_F(Emulator, I2cPageWritesWrapInsideTheChipsPage) {
    configure("[chip]\nfamily = 1\nsize = 256\npage = 8\n");
    ASSERT_TRUE(host.open());
    // The host claims 16-byte pages; the chip has 8-byte pages.
    host.setup(ChipFamily::Eeprom24, 256, 16);
    host.write(0, Pattern(64), 64);
    Bytes image = emu.image();
    EXPECT_EQ(Bytes(image.begin(), image.begin() + 8), Pattern(8, 8));
    EXPECT_EQ(Bytes(image.begin() + 8, image.begin() + 16), Bytes(8, 0xFF));
    EXPECT_EQ(Bytes(image.begin() + 16, image.begin() + 24), Pattern(8, 24));
    // With the chip's own page every byte lands where it belongs, and an
    // EEPROM write replaces bytes rather than ANDing them.
    host.setup(ChipFamily::Eeprom24, 256, 8);
    host.write(0, Pattern(64, 0x80), 64);
    image = emu.image();
    EXPECT_EQ(Bytes(image.begin(), image.begin() + 64), Pattern(64, 0x80));
}

TEST_F(Emulator, EepromErasePerPageAndMicrowireEraseAll) {
    configure("[chip]\nfamily = 3\nsize = 256\npage = 16\nfill = zero\n");
    ASSERT_TRUE(host.open());
    host.setup(ChipFamily::Eeprom25, 256, 16);
    host.send(BuildErase(0x10, false), false);
    host.send(BuildErase(0x30, false), false);
    Bytes image = emu.image();
    EXPECT_EQ(image[0x0F], 0x00);
    EXPECT_EQ(image[0x10], 0xFF);
    EXPECT_EQ(image[0x1F], 0xFF);
    EXPECT_EQ(image[0x20], 0x00);
    EXPECT_EQ(image[0x3F], 0xFF);
    host.finish();

    // Above 64 KiB the 16-bit offsets start again from 0; the programmer
    // follows the host's count and erases the whole chip.
    configure("[chip]\nfamily = 3\nsize = 128K\npage = 256\nfill = zero\n");
    ASSERT_TRUE(host.open());
    host.setup(ChipFamily::Eeprom25, 128u << 10, 256);
    for (std::uint32_t offset = 0; offset < (128u << 10); offset += 256) {
        host.send(BuildErase(std::uint16_t(offset), false), false);
    }
    EXPECT_EQ(emu.image(), Bytes(128u << 10, 0xFF));
    host.finish();

    configure("[chip]\nfamily = 2\nsize = 128\npage = 1\nfill = zero\n");
    ASSERT_TRUE(host.open());
    host.setup(ChipFamily::Eeprom93, 128, 1, 50);
    host.send(BuildErase(50, false), false);
    EXPECT_EQ(emu.image(), Bytes(128, 0xFF));
}

TEST_F(Emulator, MicrowireSixteenBitOrganisationStoresWholeWords) {
    configure("[chip]\nfamily = 2\nsize = 128\npage = 2\norganisation = 16\n");
    ASSERT_TRUE(host.open());
    host.setup(ChipFamily::Eeprom93, 128, 2);
    host.send(BuildSetAddress(0, false), false);
    const Bytes data = Pattern(5, 1);
    host.link.USB_bulk_write(data.data(), 3); // 1 2 | 3 waits for its pair
    host.link.USB_bulk_write(data.data() + 3, 2);
    host.finish();
    const Bytes image = emu.image();
    EXPECT_EQ(Bytes(image.begin(), image.begin() + 6), (Bytes{1, 2, 3, 4, 0xFF, 0xFF}));
}

TEST_F(Emulator, ChipThatDoesNotMatchTheSetupReadsFloatingAndIgnoresWrites) {
    configure("[chip]\nfamily = 1\nsize = 256\npage = 8\nfill = zero\n");
    ASSERT_TRUE(host.open());
    host.setup(ChipFamily::SpiFlash25, 256, 8);
    EXPECT_EQ(host.read(0, 64, 64), Bytes(64, 0xFF));
    host.write(0, Pattern(64), 64);
    EXPECT_EQ(emu.image(), Bytes(256, 0x00));
}

TEST_F(Emulator, LogHoldsEveryBlockAndStreamInOrder) {
    configure("[chip]\nsize = 64K\n");
    ASSERT_TRUE(host.open());
    host.setup(ChipFamily::SpiFlash25, 65536, 256);
    host.read(0, 512);
    host.finish();
    EXPECT_EQ(emu.opcodes(), (std::vector<int>{CMD_CHIP_SETUP, CMD_SET_ADDRESS, CMD_FINISH}));
    std::vector<int> kinds;
    for (const auto& e : emu.events()) {
        if (e.transfer != 0) {
            kinds.push_back(e.kind);
        }
    }
    EXPECT_EQ(kinds, (std::vector<int>{VANTOR_EMU_COMMAND, VANTOR_EMU_REPLY, VANTOR_EMU_COMMAND,
                                       VANTOR_EMU_REPLY, VANTOR_EMU_DATA_IN, VANTOR_EMU_DATA_IN,
                                       VANTOR_EMU_COMMAND}));
    const auto reads = emu.events(VANTOR_EMU_DATA_IN);
    EXPECT_EQ(reads[1].address, 256u);
    EXPECT_EQ(reads[1].length, 256);
    emu.resetLog();
    EXPECT_TRUE(emu.events().empty());
}

TEST_F(Emulator, InjectedFaultsBehaveAsAsked) {
    configure("[chip]\nsize = 64K\nfill = zero\n"
              "[faults]\nshort_read_at = 4\nbitflip_at = 5\nlost_write_at = 7\n"
              "short_write_at = 8\n");
    ASSERT_TRUE(host.open());
    host.setup(ChipFamily::SpiFlash25, 65536, 256); // transfers 1, 2
    host.send(BuildSetAddress(0, false), true);     // 3 and its reply 4 (short)
    EXPECT_EQ(host.last, 32);
    Bytes data(256);
    EXPECT_EQ(host.link.USB_bulk_read(data.data(), 256), 256); // 5: one bit flipped
    int flipped = 0;
    for (std::uint8_t b : data) {
        flipped += __builtin_popcount(b);
    }
    EXPECT_EQ(flipped, 1);
    host.send(BuildSetAddress(0, false), false); // 6
    const Bytes zeros(256, 0x00);
    EXPECT_EQ(host.link.USB_bulk_write(zeros.data(), 256), 256); // 7: lost, yet "done"
    EXPECT_EQ(host.link.USB_bulk_write(zeros.data(), 256), 128); // 8: half taken
    host.finish();
    const auto writes = emu.events(VANTOR_EMU_DATA_OUT);
    ASSERT_EQ(writes.size(), 2u);
    EXPECT_EQ(writes[0].fault, VANTOR_EMU_FAULT_LOST_WRITE);
    EXPECT_EQ(writes[1].fault, VANTOR_EMU_FAULT_SHORT_WRITE);
}

TEST_F(Emulator, UnplugAtATransferTakesTheProgrammerOffTheBus) {
    configure("[faults]\nunplug_at = 3\n");
    ASSERT_TRUE(host.open());
    host.setup(ChipFamily::SpiFlash25, 4u << 20, 256);
    CommandBlock block = BuildSetAddress(0, false);
    EXPECT_EQ(host.link.USB_bulk_cmd(block.data(), 64, 1), -19); // ENODEV
    Bytes data(64);
    EXPECT_EQ(host.link.USB_bulk_read(data.data(), 64), -19);
    EXPECT_FALSE(emu.plugged());
    host.link.USB_bulk_close();
    EXPECT_EQ(emu.openHandles(), 0);
    EXPECT_FALSE(host.open());
    emu.plug();
    EXPECT_TRUE(host.open());
}

TEST_F(Emulator, SameSeedGivesTheSameFaults) {
    const auto run = [&](const std::string& seed) {
        configure("[chip]\nsize = 64K\n[faults]\nseed = " + seed +
                  "\ntimeout_rate = 0.05\nstall_rate = 0.05\nshort_read_rate = 0.05\n"
                  "bitflip_rate = 0.05\n");
        EXPECT_TRUE(host.open());
        host.setup(ChipFamily::SpiFlash25, 65536, 256);
        host.send(BuildSetAddress(0, false), true);
        std::vector<std::pair<int, Bytes>> outcome;
        for (int i = 0; i < 200; ++i) {
            Bytes data(64, 0);
            const int result = host.link.USB_bulk_read(data.data(), 64);
            outcome.emplace_back(result, data);
        }
        host.finish();
        return outcome;
    };
    const auto first = run("42");
    EXPECT_EQ(run("42"), first);
    EXPECT_NE(run("43"), first);
    int failures = 0;
    for (const auto& [result, data] : first) {
        failures += result != 64 ? 1 : 0;
    }
    EXPECT_GT(failures, 5);
}

TEST_F(Emulator, FileSetUpIsReadAtEveryScanAndTheImagePersists) {
    const std::string ini = TempPath("config.ini");
    const std::string image = TempPath("chip.bin");
    std::remove(image.c_str());
    const auto writeIni = [&](const std::string& text) {
        std::ofstream(ini, std::ios::trunc) << text;
    };
    const std::string chip = "[chip]\nsize = 4K\nimage = " + image + "\n";
    writeIni("[programmer]\nplugged = 1\n" + chip);
    setenv("VANTOR_EMULATOR_CONFIG", ini.c_str(), 1);
    emu.useDefault();

    ASSERT_TRUE(host.open());
    host.setup(ChipFamily::SpiFlash25, 4096, 256);
    host.write(0, Pattern(256));
    host.finish(); // finish and close store the chip
    {
        std::ifstream in(image, std::ios::binary);
        const Bytes stored((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        ASSERT_EQ(stored.size(), 4096u);
        EXPECT_EQ(stored[200], 200);
    }

    writeIni("[programmer]\nplugged = 0\n" + chip); // unplugged between two operations
    EXPECT_FALSE(host.open());
    writeIni("[programmer]\nplugged = 1\n" + chip);
    ASSERT_TRUE(host.open());
    host.setup(ChipFamily::SpiFlash25, 4096, 256);
    EXPECT_EQ(host.read(0, 256), Pattern(256));
    host.finish();

    // A chip swapped in the file; the first one comes back from its image.
    writeIni("[programmer]\n[chip]\nfamily = 1\nsize = 256\npage = 8\n");
    ASSERT_TRUE(host.open());
    EXPECT_EQ(host.readId()[0], kIdSecondType);
    host.finish();
    writeIni("[programmer]\n" + chip);
    ASSERT_TRUE(host.open());
    EXPECT_EQ(host.readId()[1], 0xEF);
    host.finish();
    EXPECT_EQ(emu.image()[77], 77);

    writeIni("[programmer]\nno_such_key = 1\n"); // a broken file keeps the set-up in force
    EXPECT_TRUE(host.open());
    host.finish();
    std::remove(ini.c_str());
    std::remove(image.c_str());
}

TEST_F(Emulator, BadConfigurationTextIsRefused) {
    EXPECT_FALSE(emu.configure("[chip]\nfamily = 9\n"));
    EXPECT_NE(emu.lastError().find("family"), std::string::npos);
    EXPECT_FALSE(emu.configure("[bus]\ndevices = ghost\n"));
    EXPECT_FALSE(emu.configure("[faults]\nunplug_at = x\n"));
    EXPECT_FALSE(emu.configure("key = outside\n"));
    ASSERT_TRUE(host.open()); // the default stays in force
}

// Bench timing, judged on the emulator's own clock: a transfer lasts its
// full-speed packets (19 of 64 bytes per 1 ms frame), a command block adds the
// firmware's turnaround, a page write adds the chip's page program time.
TEST_F(Emulator, BenchTimingChargesFullSpeedLinkTime) {
    configure("[bus]\ntiming = usb-full-speed\n[programmer]\nturnaround_us = 80\n"
              "[chip]\nsize = 64K\npage_program_us = 700\n");
    ASSERT_TRUE(host.open());
    const auto packets = [](double n) { return n * 1e6 / 19; };
    const auto near = [](std::chrono::nanoseconds got, double expected) {
        return double(got.count()) > 0.9 * expected && double(got.count()) < 1.1 * expected;
    };
    auto before = emu.wireTime();
    host.setup(ChipFamily::SpiFlash25, 65536, 256); // command and reply
    EXPECT_TRUE(near(emu.wireTime() - before, packets(2) + 80e3)) << (emu.wireTime() - before);

    before = emu.wireTime();
    host.read(0, 4096); // address block, its reply, 16 reads of 4 packets
    EXPECT_TRUE(near(emu.wireTime() - before, packets(2 + 64) + 80e3)) << (emu.wireTime() - before);

    before = emu.wireTime();
    host.write(0, Pattern(1024)); // address block, 4 pages of 4 packets
    EXPECT_TRUE(near(emu.wireTime() - before, packets(1 + 16) + 80e3 + 4 * 700e3))
        << (emu.wireTime() - before);
    host.finish();

    // Instant timing counts the same clock without waiting.
    configure("[chip]\nsize = 64K\n");
    ASSERT_TRUE(host.open());
    host.setup(ChipFamily::SpiFlash25, 65536, 256);
    host.read(0, 4096);
    EXPECT_TRUE(near(emu.wireTime(), packets(4 + 64) + 2 * 50e3)) << emu.wireTime();
    EXPECT_FALSE(emu.configure("[bus]\ntiming = warp\n"));
}

// The image file is the chip: each programmed page is in it before the
// operation ends, and an edit of the file set-up counts its fault positions
// from the next open.
TEST_F(Emulator, ImageChangesAsPagesArriveAndFaultsCountFromTheNextOpen) {
    const std::string ini = TempPath("live.ini");
    const std::string image = TempPath("live.bin");
    std::remove(image.c_str());
    const std::string chip = "[chip]\nsize = 4K\nimage = " + image + "\n";
    std::ofstream(ini, std::ios::trunc) << chip;
    setenv("VANTOR_EMULATOR_CONFIG", ini.c_str(), 1);
    emu.useDefault();
    const auto stored = [&] {
        std::ifstream in(image, std::ios::binary);
        return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    };

    ASSERT_TRUE(host.open());
    host.setup(ChipFamily::SpiFlash25, 4096, 256);
    EXPECT_EQ(stored(), Bytes(4096, 0xFF)); // there from the first scan on
    host.write(0x200, Pattern(256));
    EXPECT_EQ(stored()[0x2AB], 0xAB); // no finish, no close yet
    for (int i = 0; i < 20; ++i) {
        host.readId(); // a long-running window's earlier transfers
    }
    host.finish();
    // Cut short under the mapping (a file copied over it): the next open
    // makes it whole again instead of dying on the missing pages.
    ASSERT_EQ(truncate(image.c_str(), 1000), 0);
    ASSERT_TRUE(host.open());
    host.setup(ChipFamily::SpiFlash25, 4096, 256);
    EXPECT_EQ(host.read(0xF00, 256), Bytes(256, 0xFF));
    EXPECT_EQ(stored().size(), 4096u);
    host.finish();

    // Edited under the "window": the stall hits the 4th transfer (the second
    // reply) of the next operation, once; the open after that counts on.
    std::ofstream(ini, std::ios::trunc) << chip << "[faults]\nstall_at = 4\n";
    for (int session = 0; session < 2; ++session) {
        ASSERT_TRUE(host.open());
        std::vector<int> results;
        for (int i = 0; i < 3; ++i) {
            host.readId();
            results.push_back(host.last);
        }
        // As libusb 0.1.12: a stall returns the bytes done; the host's next
        // command clears the halt.
        EXPECT_EQ(results, session == 0 ? (std::vector<int>{64, 0, 64})
                                        : (std::vector<int>{64, 64, 64}));
        host.finish();
    }
    std::remove(ini.c_str());
    std::remove(image.c_str());
}

// A FIFO as set-up or as image would block the reader: both are refused at once.
TEST_F(Emulator, FifoAsSetUpOrImageIsRefusedWithoutBlocking) {
    const std::string fifo = TempPath("fifo");
    std::remove(fifo.c_str());
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_FALSE(emu.configure("[chip]\nimage = " + fifo + "\n"));
    EXPECT_NE(emu.lastError().find("not a regular file"), std::string::npos) << emu.lastError();
    setenv("VANTOR_EMULATOR_CONFIG", fifo.c_str(), 1);
    emu.useDefault();
    EXPECT_FALSE(host.open()); // no usable set-up: no programmer on the bus
    std::remove(fifo.c_str());
}
