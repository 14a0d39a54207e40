// The five chip operations on an open programmer: what goes over the wire,
// what lands in the buffer, what the user is shown.
#include "tests/engine/EngineTestSupport.h"

using namespace vantor;
using namespace vantor::test;
using namespace std::chrono_literals;

namespace {

class Engine : public EngineFixture {
protected:
    // Opens for `chip`, runs `operation`, closes; the log then holds only
    // what the operation itself sent.
    template <typename F> auto run(const ChipRecord& chip, F operation) {
        EXPECT_NE(engine.OpenProgrammer(chip), 0);
        emu.resetLog();
        host.clear();
        auto result = operation();
        lastEvents = emu.events();
        opTrace = host.trace;
        engine.CloseProgrammer();
        return result;
    }
    std::vector<vantor_emu_event> of(int kind) const {
        std::vector<vantor_emu_event> out;
        for (const auto& e : lastEvents) {
            if (e.kind == kind) {
                out.push_back(e);
            }
        }
        return out;
    }
    std::vector<int> opcodesSent() const {
        std::vector<int> out;
        for (const auto& e : of(VANTOR_EMU_COMMAND)) {
            out.push_back(e.data[1]);
        }
        return out;
    }
    std::vector<int> lengths(int kind) const {
        std::vector<int> out;
        for (const auto& e : of(kind)) {
            out.push_back(e.length);
        }
        return out;
    }
    std::vector<vantor_emu_event> lastEvents;
    std::vector<std::string> opTrace; // what the operation showed, the close left out
};

} // namespace

TEST_F(Engine, EepromEraseSendsOneBlockPerPage) {
    const ChipSpec chip{.family = 1, .size = 256, .page = 8};
    useChip(chip);
    ASSERT_TRUE(emu.setImage(Bytes(256, 0x00)));
    run(Record(chip), [&] {
        engine.EraseChip(Record(chip));
        return 0;
    });
    const auto erases = of(VANTOR_EMU_COMMAND);
    ASSERT_EQ(erases.size(), 32u);
    for (std::size_t k = 0; k < erases.size(); ++k) {
        EXPECT_EQ(erases[k].data[0], 1);
        EXPECT_EQ(erases[k].data[1], CMD_ERASE);
        EXPECT_EQ(erases[k].data[26] | erases[k].data[27] << 8, int(8 * k)); // little-endian
    }
    EXPECT_TRUE(of(VANTOR_EMU_REPLY).empty()); // no reply is read
    EXPECT_EQ(host.progressMaximum, 256u);
    EXPECT_EQ(host.pumps, 32);
    EXPECT_EQ(opTrace.front(), "status:Erase Flash ...");
    EXPECT_EQ(opTrace.back(), "progress:hide");
    EXPECT_EQ(emu.image(), Bytes(256, 0xFF));
}

TEST_F(Engine, FlashEraseGivesUpAfterTenTimesItsPollBudget) {
    const ChipSpec chip{.family = 0, .size = 65536, .delay = 100};
    useChip(chip, "DudOVEDuro", "", 1000000); // stays busy
    run(Record(chip), [&] {
        engine.EraseChip(Record(chip));
        return 0;
    });
    const auto sent = of(VANTOR_EMU_COMMAND);
    ASSERT_EQ(sent.size(), 1021u); // ten times Delay + 2 polls
    EXPECT_EQ(sent[0].data[1], CMD_ERASE);
    EXPECT_EQ(sent[0].data[26], 0x80); // 0x8000, big-endian for this variant
    EXPECT_EQ(sent[0].data[27], 0x00);
    // The first poll is the erase block with bytes 0-1 rewritten.
    EXPECT_EQ(sent[1].data[0], 0);
    EXPECT_EQ(sent[1].data[1], CMD_READ_STATUS);
    EXPECT_EQ(sent[1].data[26], 0x80);
    for (std::size_t k = 1; k < sent.size(); ++k) {
        EXPECT_EQ(sent[k].data[1], CMD_READ_STATUS);
    }
    EXPECT_EQ(of(VANTOR_EMU_REPLY).size(), 1020u);
    // A chip still busy then is an erase that failed, not one that completed.
    EXPECT_EQ(host.errors().size(), 1u);
    EXPECT_EQ(host.progressMaximum, 100u);
    EXPECT_TRUE(engine.failed());
}

TEST_F(Engine, FlashEraseStopsPollingWhenTheChipIsDone) {
    const ChipSpec chip{.family = 0, .size = 65536};
    useChip(chip, "DudOVEDuro Device", "", 3);
    ASSERT_TRUE(emu.setImage(RandomBytes(65536, 1)));
    run(Record(chip), [&] {
        engine.EraseChip(Record(chip));
        return 0;
    });
    EXPECT_EQ(opcodesSent(), (std::vector<int>{CMD_ERASE, CMD_READ_STATUS, CMD_READ_STATUS,
                                               CMD_READ_STATUS, CMD_READ_STATUS}));
    EXPECT_EQ(lastEvents.front().data[26], 0x00); // 0x8000 little-endian
    EXPECT_EQ(lastEvents.front().data[27], 0x80);
    EXPECT_EQ(emu.image(), Bytes(65536, 0xFF));
}

TEST_F(Engine, MicrowireEraseIsOneCommandCarryingTheDelay) {
    const ChipSpec chip{.family = 2, .size = 512, .page = 1, .delay = 0x0123, .subType = 9};
    useChip(chip);
    ASSERT_TRUE(emu.setImage(Bytes(512, 0)));
    host.progressMaximum = 777;
    run(Record(chip), [&] {
        engine.EraseChip(Record(chip));
        return 0;
    });
    const auto sent = of(VANTOR_EMU_COMMAND);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].data[26], 0x23);
    EXPECT_EQ(sent[0].data[27], 0x01);
    EXPECT_EQ(host.progressMaximum, 777u); // left as it was
    EXPECT_EQ(emu.image(), Bytes(512, 0xFF));
}

TEST_F(Engine, FourByteModeOnlyAboveSixteenMiBAndNeverBeforeErase) {
    for (std::uint32_t size : {16u << 20, 32u << 20}) {
        const ChipSpec chip{.family = 0, .size = size, .id = 0xEF4019};
        useChip(chip, "DudOVEDuro Device", "[bus]\nlog_limit = 2000\n");
        load(Bytes(64, 0x5A));
        const bool large = size > (16u << 20);
        const std::vector<int> dataOps = {0, 1, 2, 3};
        for (int op : dataOps) {
            run(Record(chip), [&] {
                switch (op) {
                case 0:
                    engine.ReadChip(Record(chip));
                    break;
                case 1:
                    engine.BlankCheckChip(Record(chip));
                    break;
                case 2:
                    engine.VerifyChip(Record(chip));
                    break;
                default:
                    engine.WriteChip(Record(chip));
                    break;
                }
                return 0;
            });
            const auto ops = opcodesSent();
            ASSERT_FALSE(ops.empty());
            if (large) {
                ASSERT_GE(ops.size(), 2u);
                EXPECT_EQ(ops[0], CMD_SPI_COMMAND) << "operation " << op;
                EXPECT_EQ(ops[1], CMD_SET_ADDRESS) << "operation " << op;
            } else {
                EXPECT_EQ(ops[0], CMD_SET_ADDRESS) << "operation " << op;
            }
            EXPECT_EQ(std::count(ops.begin(), ops.end(), int(CMD_SPI_COMMAND)), large ? 1 : 0);
        }
        run(Record(chip), [&] {
            engine.EraseChip(Record(chip));
            return 0;
        });
        EXPECT_EQ(opcodesSent().at(0), CMD_ERASE);
        const auto ops = opcodesSent();
        EXPECT_EQ(std::count(ops.begin(), ops.end(), int(CMD_SPI_COMMAND)), 0);
    }
}

TEST_F(Engine, SmallPagesMoveSixtyFourByteChunks) {
    const ChipSpec chip{.family = 3, .size = 1024, .page = 16};
    useChip(chip);
    load(Bytes(1024, 0xFF));
    run(Record(chip), [&] {
        engine.ReadChip(Record(chip));
        return 0;
    });
    EXPECT_EQ(lengths(VANTOR_EMU_DATA_IN), std::vector<int>(16, 64));
    buffer->UsedLength = 1024; // the read of a blank chip emptied it
    run(Record(chip), [&] { return engine.BlankCheckChip(Record(chip)); });
    EXPECT_EQ(lengths(VANTOR_EMU_DATA_IN), std::vector<int>(16, 64));
    run(Record(chip), [&] { return engine.VerifyChip(Record(chip)); });
    EXPECT_EQ(lengths(VANTOR_EMU_DATA_IN), std::vector<int>(16, 64));
    // A 256-byte page moves 256-byte chunks.
    const ChipSpec big{.family = 0, .size = 4096, .page = 256};
    useChip(big);
    run(Record(big), [&] {
        engine.ReadChip(Record(big));
        return 0;
    });
    EXPECT_EQ(lengths(VANTOR_EMU_DATA_IN), std::vector<int>(16, 256));
}

TEST_F(Engine, WriteRoundsToWholePagesAndSendsWholeChunks) {
    const ChipSpec chip{.family = 4, .size = 4096, .page = 16};
    useChip(chip);
    Bytes data = RandomBytes(100, 7);
    load(data);
    const int written = run(Record(chip), [&] { return engine.WriteChip(Record(chip)); });
    EXPECT_EQ(written, 1);
    EXPECT_EQ(buffer->UsedLength, 112);
    const auto chunks = of(VANTOR_EMU_DATA_OUT);
    ASSERT_EQ(chunks.size(), 2u);
    EXPECT_EQ(chunks[0].address, 0u);
    EXPECT_EQ(chunks[1].address, 64u);
    EXPECT_EQ(chunks[0].length, 64);
    EXPECT_EQ(chunks[1].length, 64);
    EXPECT_EQ(opcodesSent(), (std::vector<int>{CMD_SET_ADDRESS}));
    EXPECT_TRUE(of(VANTOR_EMU_REPLY).empty()); // the address before a write wants no reply
    EXPECT_EQ(host.progressMaximum, 112u);
    data.resize(128, 0xFF); // the last chunk went out whole
    const Bytes image = emu.image();
    EXPECT_EQ(Bytes(image.begin(), image.begin() + 128), data);
}

TEST_F(Engine, LongerThanTheChipAsksFirst) {
    const ChipSpec chip{.family = 0, .size = 4096, .page = 256};
    useChip(chip);
    load(RandomBytes(5000, 3));
    host.answers = {false};
    EXPECT_EQ(run(Record(chip), [&] { return engine.WriteChip(Record(chip)); }), 0);
    EXPECT_EQ(host.kind("question:"),
              (std::vector<std::string>{"File length is larger than chip capacity. Do you want to "
                                        "continue to write?"}));
    EXPECT_TRUE(lastEvents.empty());     // nothing sent
    EXPECT_EQ(buffer->UsedLength, 5120); // rounded all the same
    EXPECT_FALSE(host.progressVisible);

    host.answers = {true};
    EXPECT_EQ(run(Record(chip), [&] { return engine.WriteChip(Record(chip)); }), 1);
    EXPECT_EQ(lengths(VANTOR_EMU_DATA_OUT), std::vector<int>(16, 256)); // exactly 4096 bytes
    EXPECT_EQ(host.progressMaximum, 4096u);
}

TEST_F(Engine, TwentyFourSeriesWriteWaitsForTheLastPage) {
    const ChipSpec chip{.family = 1, .size = 256, .page = 16};
    useChip(chip);
    load(Bytes(64, 0x11));
    engine.Timings.eepromWriteSettle = 40ms;
    const auto start = std::chrono::steady_clock::now();
    run(Record(chip), [&] { return engine.WriteChip(Record(chip)); });
    EXPECT_GE(std::chrono::steady_clock::now() - start, 40ms);
    EXPECT_EQ(emu.image()[63], 0x11);
}

TEST_F(Engine, ReadSetsTheUsedLengthAndShowsTheBuffer) {
    struct Case {
        Bytes head;
        int used;
    } cases[] = {
        {{0x12, 0x34, 0xFF, 0xFF}, 2},
        {{0x12, 0xFF, 0xFF, 0xFF}, 2},
        {{0xFF, 0xFF}, 0},
        {{1, 2, 3, 4, 5, 0xFF}, 6},
    };
    const ChipSpec chip{.family = 0, .size = 4096, .page = 256};
    for (const Case& c : cases) {
        useChip(chip);
        ASSERT_TRUE(emu.setImage(c.head));
        std::fill(buffer->data(), buffer->data() + 8192, 0x00);
        run(Record(chip), [&] {
            engine.ReadChip(Record(chip));
            return 0;
        });
        EXPECT_EQ(buffer->UsedLength, c.used);
        EXPECT_EQ(bufferBytes(4096), emu.image());
        EXPECT_EQ((*buffer)[4096], 0x00); // beyond the chip: as it was
        EXPECT_EQ(host.count("refresh"), 1);
        EXPECT_FALSE(host.progressVisible);
        EXPECT_EQ(host.progressMaximum, 4096u);
    }
    EXPECT_EQ(lengths(VANTOR_EMU_DATA_IN), std::vector<int>(16, 256));
    EXPECT_EQ(of(VANTOR_EMU_REPLY).size(), 1u); // the address wants a reply before a read
}

TEST_F(Engine, VerifyNamesTheFirstDifference) {
    const ChipSpec chip{.family = 0, .size = 4096, .page = 256};
    useChip(chip);
    Bytes image = RandomBytes(4096, 5);
    ASSERT_TRUE(emu.setImage(image));
    image[0x12B] ^= 0x01;
    image[0x200] ^= 0x01;
    load(image);
    EXPECT_EQ(run(Record(chip), [&] { return engine.VerifyChip(Record(chip)); }), 0);
    EXPECT_EQ(host.errors(), (std::vector<std::string>{"Flash check error address:12Bh"}));
    EXPECT_EQ(of(VANTOR_EMU_DATA_IN).size(), 16u); // read on to count every difference
    EXPECT_EQ(engine.lastVerify().count, 2u);
    EXPECT_TRUE(host.progressVisible); // left as a failed check leaves it

    SetCurrentLanguage(SimplifiedChinese);
    run(Record(chip), [&] { return engine.VerifyChip(Record(chip)); });
    EXPECT_EQ(host.errors(), (std::vector<std::string>{Message(19, SimplifiedChinese) + "12Bh"}));
}

TEST_F(Engine, VerifyCoversTheBufferOrTheChipWhicheverIsShorter) {
    const ChipSpec chip{.family = 0, .size = 4096, .page = 256};
    useChip(chip);
    const Bytes image = RandomBytes(4096, 9);
    ASSERT_TRUE(emu.setImage(image));
    load(Bytes(image.begin(), image.begin() + 300));
    std::copy(image.begin() + 300, image.begin() + 512, buffer->data() + 300);
    EXPECT_EQ(run(Record(chip), [&] { return engine.VerifyChip(Record(chip)); }), 1);
    EXPECT_EQ(lengths(VANTOR_EMU_DATA_IN), std::vector<int>(2, 256));
    EXPECT_EQ(host.progressMaximum, 300u);
    // A buffer longer than the chip: the chip's size bounds it.
    load(image);
    buffer->UsedLength = 1 << 20;
    EXPECT_EQ(run(Record(chip), [&] { return engine.VerifyChip(Record(chip)); }), 1);
    EXPECT_EQ(lengths(VANTOR_EMU_DATA_IN), std::vector<int>(16, 256));
}

TEST_F(Engine, BlankCheck) {
    const ChipSpec chip{.family = 0, .size = 4096, .page = 256};
    useChip(chip);
    EXPECT_EQ(run(Record(chip), [&] { return engine.BlankCheckChip(Record(chip)); }), 1);
    EXPECT_TRUE(host.errors().empty());
    Bytes image(4096, 0xFF);
    image[3000] = 0xFE;
    ASSERT_TRUE(emu.setImage(image));
    EXPECT_EQ(run(Record(chip), [&] { return engine.BlankCheckChip(Record(chip)); }), 0);
    EXPECT_EQ(host.errors(), (std::vector<std::string>{"The chip is not empty."}));
    EXPECT_TRUE(host.progressVisible);
    EXPECT_EQ(host.trace.front(), "status:Bank Flash ...");
}

TEST_F(Engine, RecordsOutsideWhatTheBufferServesMoveNothing) {
    useChip({});
    ASSERT_NE(engine.OpenProgrammer(Record({})), 0);
    emu.resetLog();
    // A zero page would never advance the page-stepping erase.
    for (int family : {1, 3, 4}) {
        engine.EraseChip(Record({.family = family, .size = 4096, .page = 0}));
        EXPECT_TRUE(engine.failed());
        engine.CloseProgrammer();
        ASSERT_NE(engine.OpenProgrammer(Record({})), 0);
        emu.resetLog();
    }
    engine.ReadChip(Record({.size = 128u << 20}));
    EXPECT_TRUE(engine.failed());
    EXPECT_EQ(engine.WriteChip(Record({.size = 4096})), 0); // nothing more once failed
    engine.CloseProgrammer();
    EXPECT_EQ(emu.opcodes(), (std::vector<int>{CMD_FINISH}));
}
