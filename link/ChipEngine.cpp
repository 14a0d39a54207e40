#include "link/ChipEngine.h"

#include "link/ConnectionProbe.h"

#include "buffer/DataBuffer.h"
#include "chipdb/ChipRecord.h"
#include "core/MessageTable.h"
#include "link/UsbTransport.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <thread>

namespace vantor {

namespace {

constexpr int kBlock = int(kCommandBlockSize);
// Blank check and verify receive each chunk here: the largest chunk.
constexpr std::uint32_t kChunkBufferSize = 256;

ChipParameters ParametersOf(const ChipRecord& chip) {
    ChipParameters p;
    p.family = chip.Family;
    p.subType = chip.SubType;
    p.page = chip.FlashPage;
    p.delay = chip.Delay;
    p.size = chip.FlashSize;
    p.chipId = chip.ChipId;
    p.voltage = chip.Voltage;
    return p;
}

std::string HexAddress(std::uint32_t address) {
    return HexAddressText(address);
}

std::string HexByte(std::uint8_t value) {
    char text[4];
    std::snprintf(text, sizeof text, "%02X", unsigned(value));
    return text;
}

// A chip still busy this many times its poll budget is reported, not waited on.
constexpr std::uint32_t kErasePollBound = 10;

// SPI flash instructions the Unprotect step sends (and the write enable).
constexpr std::uint8_t kSpiWriteStatus = 0x01;
constexpr std::uint8_t kSpiGlobalUnlock = 0x98;

// Parts whose sectors are locked in a block-protection register rather than
// by the status register's BP bits: SST26 (Microchip).
bool HasBlockProtectionRegister(const ChipRecord& chip) {
    return ((chip.ChipId >> 16) & 0xFF) == 0xBF && ((chip.ChipId >> 8) & 0xFF) == 0x26;
}

int StepMessage(EngineStep step) {
    switch (step) {
    case EngineStep::ChipSetup:
        return Own::StepChipSetup;
    case EngineStep::ChipId:
        return Own::StepChipId;
    case EngineStep::Erase:
        return Own::StepErase;
    case EngineStep::Read:
        return Own::StepRead;
    case EngineStep::BlankCheck:
        return Own::StepBlankCheck;
    case EngineStep::Verify:
        return Own::StepVerify;
    case EngineStep::Write:
        break;
    }
    return Own::StepWrite;
}

} // namespace

std::string HexAddressText(std::uint32_t address) {
    char text[16];
    std::snprintf(text, sizeof text, "%Xh", unsigned(address));
    return text;
}

std::string TransferFailureText(const TransferFailure& failure) {
    return Message(StepMessage(failure.step)) + Message(Own::TransferFailedAt) +
           HexAddress(failure.address);
}

// ---- the programmer -------------------------------------------------------------------

ChipEngine::ChipEngine(UsbTransport& link, DataBuffer& buffer, EngineHost& host)
    : Link(link), Buffer(buffer), Host(host) {
    Link.setReplyWaiter([this](std::chrono::microseconds duration) { wait(duration, false); });
}

ChipEngine::~ChipEngine() {
    Link.setReplyWaiter({});
}

bool ChipEngine::commandSucceeded(int result, bool reply) const {
    // The block must have gone out whole, and a reply must have come back whole.
    return Link.lastCommandWriteResult() == kBlock && (!reply || result == kBlock);
}

bool ChipEngine::exchange(CommandBlock& block, bool reply, EngineStep step, std::uint32_t address) {
    const int result = Link.USB_bulk_cmd(block.data(), kBlock, reply ? 1 : 0);
    if (commandSucceeded(result, reply)) {
        return true;
    }
    const int written = Link.lastCommandWriteResult();
    fail(step, address, written != kBlock ? written : result, kBlock, true);
    return false;
}

void ChipEngine::fail(EngineStep step, std::uint32_t address, int result, int expected,
                      bool report) {
    if (Host.stopRequested()) {
        // The transfer the stop came during failed (a hung one runs into its
        // time-out): the user's stop is what ended the operation.
        Failure = TransferFailure{step, address, result, expected, true};
        Host.logStop(Message(Own::StoppedAt) + HexAddress(address));
        end();
        return;
    }
    Failure = TransferFailure{step, address, result, expected};
    if (report) {
        Host.showError(TransferFailureText(*Failure));
    }
}

bool ChipEngine::stopBeforeStart(EngineStep at) {
    if (!Host.stopRequested()) {
        return false;
    }
    Failure = TransferFailure{at, 0, 0, 0, true};
    Host.logStop(Message(Own::StoppedAt) + HexAddress(0));
    return true;
}

bool ChipEngine::refuseRecord(const ChipRecord& chip, EngineStep step) {
    if (stopBeforeStart(step)) {
        return true; // nothing of this operation goes out after a stop
    }
    // The callers refuse such a record before opening; an operation handed one
    // anyway moves nothing rather than reach outside the buffer or loop on a
    // zero page.
    std::string why;
    if (ChipRecordIsUsable(chip, &why)) {
        return false;
    }
    Host.showError(why);
    Failure = TransferFailure{step, 0, 0, 0}; // nothing moved
    return true;
}

int ChipEngine::OpenProgrammer(const ChipRecord& chip) {
    if (Held) {
        return 0; // the programmer belongs to the command that opened it
    }
    Failure.reset();
    if (Link.prog_open(kProgrammerVendorId, kProgrammerProductId) == 0) {
        Host.noProgrammer(NoProgrammerText(Link)); // a refused one is named, with what to do
        return 0;
    }
    Held = true;
    Host.setLocked(true);
    CommandBlock block = BuildChipSetup(ParametersOf(chip), Host.speedIndex(), Link.bigEndian());
    exchange(block, true, EngineStep::ChipSetup, 0);
    switch (chip.Family) {
    case ChipFamily::SpiFlash25:
        return 6;
    case ChipFamily::Eeprom24:
        return 4;
    default:
        return 1;
    }
}

void ChipEngine::CloseProgrammer() {
    // Sent whatever happened before: a programmer that went away makes these
    // transfers fail, which changes nothing here.
    CommandBlock block = BuildFinish();
    const bool open = Link.isOpen();
    Link.USB_bulk_cmd(block.data(), kBlock, 0);
    FinishFailed = open && Link.lastCommandWriteResult() != kBlock;
    Link.USB_bulk_close();
    Held = false;
    Host.setLocked(false);
    // Ready, unless the open was refused: then the panel keeps saying why.
    const auto& refused = Link.refusal();
    Host.setStatusText(!open && refused ? ProgrammerRefusalStatus(*refused) : Message(Msg::Ready));
}

int ChipEngine::ReadChipId(const ChipRecord& chip, std::uint8_t* reply4) {
    if (Held) {
        return 0;
    }
    Failure.reset();
    if (Link.prog_open(kProgrammerVendorId, kProgrammerProductId) == 0) {
        return 0;
    }
    Held = true;
    Host.setLocked(true);
    CommandBlock block = BuildReadId(ParametersOf(chip), Host.speedIndex(), Link.bigEndian());
    const int result = Link.USB_bulk_cmd(block.data(), kBlock, 1);
    const bool answered = commandSucceeded(result, true);
    if (!answered) {
        const int written = Link.lastCommandWriteResult();
        fail(EngineStep::ChipId, 0, written != kBlock ? written : result, kBlock, false);
    }
    CloseProgrammer();
    if (!answered) {
        return 0;
    }
    std::memcpy(reply4, block.data(), 4);
    return 7;
}

int ChipEngine::SetStartAddress(std::uint32_t address, int reply) {
    CommandBlock block = BuildSetAddress(address, Link.bigEndian());
    return Link.USB_bulk_cmd(block.data(), kBlock, reply);
}

int ChipEngine::SendSpiCommand(std::uint8_t instruction) {
    CommandBlock block = BuildSpiCommand(instruction);
    return Link.USB_bulk_cmd(block.data(), kBlock, 1);
}

int ChipEngine::SendSpiTransaction(const std::uint8_t* bytes, std::size_t count) {
    CommandBlock block = BuildSpiTransaction(bytes, count);
    return Link.USB_bulk_cmd(block.data(), kBlock, 1);
}

FourByteEntry ChipEngine::fourByteEntryFor(const ChipRecord& chip) const {
    if (FourByteEntryOverride) {
        return *FourByteEntryOverride;
    }
    return DrivenFourByteEntry(ShippedFourByteEntry(chip.ChipId));
}

bool ChipEngine::enterFourByteMode(const ChipRecord& chip, EngineStep step) {
    // Large flash chips need 4-byte addresses before any stream (never before
    // an erase, which carries no address). Each transaction has its own chip
    // select: the write enable must be latched before 0xB7 comes.
    if (chip.Family != ChipFamily::SpiFlash25 || !NeedsFourByteMode(chip.FlashSize)) {
        return true;
    }
    std::vector<std::vector<std::uint8_t>> transactions;
    switch (fourByteEntryFor(chip)) {
    case FourByteEntry::EnterB7:
        transactions = {{kSpiEnter4ByteMode}};
        break;
    case FourByteEntry::BankRegister:
        transactions = {{kSpiBankRegisterWrite, kBankRegisterExtendedAddress}};
        break;
    default:
        transactions = {{kSpiWriteEnable}, {kSpiEnter4ByteMode}};
        break;
    }
    for (const auto& bytes : transactions) {
        const int result = SendSpiTransaction(bytes.data(), bytes.size());
        if (!commandSucceeded(result, true)) {
            fail(step, 0, result, kBlock, true);
            return false;
        }
    }
    return true;
}

bool ChipEngine::openStream(const ChipRecord& chip, EngineStep step, std::uint32_t maximum,
                            int reply) {
    if (!enterFourByteMode(chip, step)) {
        return false;
    }
    Host.setProgressMaximum(maximum);
    Host.setProgressPosition(0);
    const int result = SetStartAddress(0, reply);
    if (!commandSucceeded(result, reply != 0)) {
        fail(step, 0, result, kBlock, true);
        return false;
    }
    return true;
}

// ---- the frame every operation shares ------------------------------------------------------

void ChipEngine::begin(int message) {
    ChipEraseSent = false;
    Host.setStatusText(Message(message));
    Host.showProgress();
}

void ChipEngine::end() {
    Host.setProgressPosition(0);
    Host.hideProgress();
}

bool ChipEngine::step(std::uint32_t position, EngineStep at, std::uint32_t next) {
    Host.setProgressPosition(position);
    Host.processEvents();
    if (!Host.stopRequested()) {
        return true;
    }
    // Stopped between transfers: nothing is half sent. The caller closes the
    // programmer as after any failure; only the log says so, no box.
    Failure = TransferFailure{at, next, 0, 0, true};
    // A chip erase runs in the chip once sent: no address was reached, and
    // the chip may well be erased.
    Host.logStop(ChipEraseSent ? Message(Own::StoppedAfterChipErase)
                               : Message(Own::StoppedAt) + HexAddress(next));
    end();
    return false;
}

std::string ChipEngine::withHint(const ChipRecord& chip, const std::string& text) const {
    if (!ProtectionHint || chip.Family != ChipFamily::SpiFlash25) {
        return text;
    }
    return text + "\n" + Message(Own::MayBeProtected);
}

void ChipEngine::wait(std::chrono::microseconds duration, bool stoppable) {
    using Clock = std::chrono::steady_clock;
    if (!Held) {
        // A probe's or an ID request's wait: nothing runs under it.
        std::this_thread::sleep_for(duration);
        return;
    }
    constexpr Clock::duration kSlice = std::chrono::milliseconds(10);
    const Clock::time_point until = Clock::now() + duration;
    for (Clock::time_point now = Clock::now(); now < until; now = Clock::now()) {
        std::this_thread::sleep_for(std::min(until - now, kSlice));
        Host.processEvents();
        if (stoppable && Host.stopRequested()) {
            return;
        }
    }
}

// ---- the operations ---------------------------------------------------------------------------

void ChipEngine::EraseChip(const ChipRecord& chip) {
    if (Failure || refuseRecord(chip, EngineStep::Erase)) {
        return;
    }
    begin(Msg::EraseFlash);
    const bool bigEndian = Link.bigEndian();
    switch (chip.Family) {
    case ChipFamily::SpiFlash25: {
        Host.setProgressMaximum(chip.Delay);
        Host.setProgressPosition(0);
        // The status polls reuse the erase block and whatever the replies
        // leave in it: only the mode and opcode bytes are rewritten.
        CommandBlock block = BuildErase(kFlashChipEraseArgument, bigEndian);
        if (!exchange(block, false, EngineStep::Erase, 0)) {
            return;
        }
        ChipEraseSent = true;
        // The chip gets Delay + 2 polls as its budget, and up to ten times
        // that when it is slower than its record says; a chip still busy then
        // has failed, and the erase must not be reported as done.
        const std::uint32_t budget = std::uint32_t(chip.Delay) + 2;
        std::uint32_t polls = 0;
        for (;;) {
            wait(Timings.statusPollWait);
            MakeReadStatus(block);
            if (!exchange(block, true, EngineStep::Erase, 0)) {
                return;
            }
            ++polls;
            if (!step(std::min<std::uint32_t>(polls, chip.Delay), EngineStep::Erase, 0)) {
                return;
            }
            if ((block[0] & kStatusBusy) == 0) {
                break;
            }
            if (polls >= budget * kErasePollBound) {
                Failure = TransferFailure{EngineStep::Erase, 0, 0, 0};
                Host.showError(Message(Own::EraseStillBusy) + std::to_string(polls));
                end();
                return;
            }
        }
        break;
    }
    case ChipFamily::Eeprom24:
    case ChipFamily::Eeprom25:
    case ChipFamily::Eeprom95:
        Host.setProgressMaximum(chip.FlashSize);
        Host.setProgressPosition(0);
        for (std::uint32_t offset = 0; offset < chip.FlashSize; offset += chip.FlashPage) {
            CommandBlock block = BuildErase(std::uint16_t(offset), bigEndian);
            if (!exchange(block, false, EngineStep::Erase, offset)) {
                return;
            }
            if (!step(offset, EngineStep::Erase, offset + chip.FlashPage)) {
                return;
            }
        }
        break;
    case ChipFamily::Eeprom93: {
        Host.setProgressPosition(0);
        CommandBlock block = BuildErase(chip.Delay, bigEndian);
        if (!exchange(block, false, EngineStep::Erase, 0)) {
            return;
        }
        break;
    }
    default:
        Host.setProgressPosition(0);
        break;
    }
    end();
}

void ChipEngine::ReadChip(const ChipRecord& chip) {
    if (Failure || refuseRecord(chip, EngineStep::Read)) {
        return;
    }
    begin(Msg::ReadFlash);
    if (!openStream(chip, EngineStep::Read, chip.FlashSize, 1)) {
        return;
    }
    const std::uint32_t chunk = ChunkSize(chip.FlashPage);
    std::uint8_t* data = Buffer.data();
    // The last chunk is asked whole; what lies past the chip lands in the
    // buffer's tail.
    for (std::uint32_t offset = 0; offset < chip.FlashSize; offset += chunk) {
        const int got = Link.USB_bulk_read(data + offset, int(chunk));
        if (got != int(chunk)) {
            // The bytes that came are in the buffer: show what it holds now.
            Host.refreshHexView();
            fail(EngineStep::Read, offset, got, int(chunk), true);
            return;
        }
        if (!step(offset, EngineStep::Read, offset + chunk)) {
            Host.refreshHexView();
            return;
        }
    }
    // Trailing 0xFF bytes are not content; the length stays even.
    std::uint32_t used = chip.FlashSize;
    while (used > 0 && data[used - 1] == 0xFF) {
        --used;
    }
    used += used % 2;
    Buffer.UsedLength = std::int32_t(used);
    Host.refreshHexView();
    end();
}

int ChipEngine::BlankCheckChip(const ChipRecord& chip) {
    if (Failure || refuseRecord(chip, EngineStep::BlankCheck)) {
        return 0;
    }
    begin(Msg::BlankFlash);
    std::uint8_t received[kChunkBufferSize];
    std::memset(received, 0xFF, sizeof received);
    if (!openStream(chip, EngineStep::BlankCheck, chip.FlashSize, 1)) {
        return 0;
    }
    const std::uint32_t chunk = ChunkSize(chip.FlashPage);
    for (std::uint32_t offset = 0; offset < chip.FlashSize; offset += chunk) {
        const int got = Link.USB_bulk_read(received, int(chunk));
        if (got != int(chunk)) {
            fail(EngineStep::BlankCheck, offset, got, int(chunk), true);
            return 0;
        }
        for (std::uint32_t i = 0; i < chunk; ++i) {
            if (received[i] != 0xFF) {
                Host.showError(withHint(chip, Message(Msg::NotBlank)));
                return 0;
            }
        }
        if (!step(offset, EngineStep::BlankCheck, offset + chunk)) {
            return 0;
        }
    }
    end();
    return 1;
}

int ChipEngine::VerifyChip(const ChipRecord& chip) {
    if (Failure || refuseRecord(chip, EngineStep::Verify)) {
        return 0;
    }
    begin(Msg::VerifyFlash);
    const std::uint32_t used = std::uint32_t(Buffer.UsedLength);
    const std::uint32_t total = chip.FlashSize < used ? chip.FlashSize : used;
    if (!openStream(chip, EngineStep::Verify, total, 1)) {
        return 0;
    }
    const std::uint32_t chunk = ChunkSize(chip.FlashPage);
    std::uint8_t received[kChunkBufferSize];
    const std::uint8_t* expected = Buffer.data();
    Verified = VerifyReport{};
    // The last chunk is compared whole, as it was written whole. A difference
    // does not end the pass: the user learns how much differs, not only where
    // it starts.
    for (std::uint32_t offset = 0; offset < total; offset += chunk) {
        const int got = Link.USB_bulk_read(received, int(chunk));
        if (got != int(chunk)) {
            fail(EngineStep::Verify, offset, got, int(chunk), true);
            return 0;
        }
        if (BeforeCompare) {
            BeforeCompare(offset, received, chunk);
        }
        if (std::memcmp(received, expected + offset, chunk) != 0) {
            for (std::uint32_t i = 0; i < chunk; ++i) {
                if (received[i] == expected[offset + i]) {
                    continue;
                }
                const ByteDifference difference{offset + i, received[i], expected[offset + i]};
                ++Verified.count;
                if (Verified.first.size() < VerifyReport::kKept) {
                    Verified.first.push_back(difference);
                }
                if (OnDifference) {
                    OnDifference(difference);
                }
            }
        }
        if (!step(offset, EngineStep::Verify, offset + chunk)) {
            return 0;
        }
    }
    if (Verified.count == 0) {
        end();
        return 1;
    }
    // As for any failed check, the progress bar stays where the pass ended.
    Host.logLine(Message(Own::VerifyDifferCount) + std::to_string(Verified.count));
    for (const ByteDifference& d : Verified.first) {
        Host.logLine(HexAddress(d.address) + ": " + Message(Own::DifferChip) + " " +
                     HexByte(d.chip) + ", " + Message(Own::DifferBuffer) + " " + HexByte(d.buffer));
    }
    Host.showError(
        withHint(chip, Message(Msg::VerifyErrorAddress) + HexAddress(Verified.first[0].address)));
    return 0;
}

int ChipEngine::WriteChip(const ChipRecord& chip) {
    if (Failure || refuseRecord(chip, EngineStep::Write)) {
        return 0;
    }
    begin(Msg::WriteFlash);
    // Whole pages only; the rounded length stays even when the user declines.
    const std::uint32_t page = chip.FlashPage;
    const std::uint32_t used = std::uint32_t(Buffer.UsedLength);
    if (page != 0 && used % page != 0) {
        const std::uint64_t rounded = (std::uint64_t(used) / page + 1) * page;
        if (rounded <= DataBuffer::size()) {
            Buffer.UsedLength = std::int32_t(rounded);
        }
    }
    std::uint32_t total = std::uint32_t(Buffer.UsedLength);
    if (chip.FlashSize < total) {
        if (!Host.askYesNo(Message(Msg::FileLargerThanChip))) {
            end();
            return 0;
        }
        total = chip.FlashSize;
    }
    // No pause between chunks: the programmer paces the stream. Up to one
    // chunk less a byte past the total goes out with the last chunk.
    const std::uint32_t chunk = ChunkSize(page);
    // Whatever the stream carries past the used length is programmed too: it
    // goes out erased, never as bytes an earlier file left in the buffer.
    const std::uint64_t streamEnd =
        std::min<std::uint64_t>((std::uint64_t(total) + chunk - 1) / chunk * chunk, Buffer.size());
    if (used < streamEnd) {
        std::memset(Buffer.data() + used, 0xFF, std::size_t(streamEnd - used));
        Host.refreshHexView();
    }
    WrittenTotal = 0;
    if (!openStream(chip, EngineStep::Write, total, 0)) {
        return 0;
    }
    WrittenTotal = total;
    const std::uint8_t* data = Buffer.data();
    for (std::uint32_t offset = 0; offset < total; offset += chunk) {
        const int sent = Link.USB_bulk_write(data + offset, int(chunk));
        if (sent != int(chunk)) {
            fail(EngineStep::Write, offset, sent, int(chunk), true);
            return 0;
        }
        if (!step(offset, EngineStep::Write, offset + chunk)) {
            return 0;
        }
    }
    if (chip.Family == ChipFamily::Eeprom24) {
        wait(Timings.eepromWriteSettle);
    }
    end();
    return 1;
}

bool ChipEngine::readSample(EngineStep step, std::uint32_t address, std::uint32_t chunk,
                            std::uint8_t* into) {
    // The address block's reply is read like data, without the transport's
    // fixed wait before a reply: a bulk read waits for the programmer anyway,
    // and a few of those waits would cost more than the pages themselves.
    const int sent = SetStartAddress(address, 0);
    if (!commandSucceeded(sent, false)) {
        fail(step, address, Link.lastCommandWriteResult(), kBlock, true);
        return false;
    }
    CommandBlock reply{};
    const int answered = Link.USB_bulk_read(reply.data(), kBlock);
    if (answered != kBlock) {
        fail(step, address, answered, kBlock, true);
        return false;
    }
    const int got = Link.USB_bulk_read(into, int(chunk));
    if (got != int(chunk)) {
        fail(step, address, got, int(chunk), true);
        return false;
    }
    return true;
}

int ChipEngine::takeCheckFailed(TakeCheck found, const std::string& text) {
    LastTake = found;
    const std::string hinted = text + "\n" + Message(Own::MayBeProtected);
    Host.logLine(hinted);
    Host.showError(hinted);
    return 0;
}

int ChipEngine::CheckErased(const ChipRecord& chip) {
    LastTake = TakeCheck::Passed;
    if (Failure || chip.Family != ChipFamily::SpiFlash25 || refuseRecord(chip, EngineStep::Erase)) {
        return Failure ? 0 : 1;
    }
    const std::uint32_t chunk = std::min(ChunkSize(chip.FlashPage), chip.FlashSize);
    const std::uint32_t last = chip.FlashSize - chunk;
    const std::uint32_t samples[] = {0, last / 2 / chunk * chunk, last};
    if (!enterFourByteMode(chip, EngineStep::Erase)) {
        return 0;
    }
    std::uint8_t received[kChunkBufferSize];
    for (const std::uint32_t address : samples) {
        if (!readSample(EngineStep::Erase, address, chunk, received)) {
            return 0;
        }
        for (std::uint32_t i = 0; i < chunk; ++i) {
            if (received[i] != 0xFF) {
                return takeCheckFailed(
                    TakeCheck::Untouched,
                    FormatMessage(Own::EraseDidNotTake, {HexAddress(address + i)}));
            }
        }
    }
    return 1;
}

int ChipEngine::CheckWritten(const ChipRecord& chip) {
    LastTake = TakeCheck::Passed;
    if (Failure || chip.Family != ChipFamily::SpiFlash25 || WrittenTotal == 0 ||
        refuseRecord(chip, EngineStep::Write)) {
        return Failure ? 0 : 1;
    }
    const std::uint32_t chunk = ChunkSize(chip.FlashPage);
    const std::uint32_t samples[] = {0, (WrittenTotal - 1) / chunk * chunk};
    if (!enterFourByteMode(chip, EngineStep::Write)) {
        return 0;
    }
    std::uint8_t received[kChunkBufferSize];
    for (const std::uint32_t address : samples) {
        if (!readSample(EngineStep::Write, address, chunk, received)) {
            return 0;
        }
        // Only what lies on the chip is compared; the stream's tail past it
        // went nowhere.
        const std::uint32_t count = std::min(chunk, chip.FlashSize - address);
        const std::uint8_t* sent = Buffer.data() + address;
        for (std::uint32_t i = 0; i < count; ++i) {
            if (received[i] == sent[i]) {
                continue;
            }
            // A cell still 1 where a 0 was sent was never programmed; only 0s
            // where 1s were sent mean the page held data before.
            TakeCheck found = TakeCheck::Differs;
            for (std::uint32_t k = i; k < count; ++k) {
                if ((received[k] & ~sent[k]) != 0) {
                    found = TakeCheck::Untouched;
                    break;
                }
            }
            return takeCheckFailed(found,
                                   FormatMessage(Own::WriteDidNotTake, {HexAddress(address + i)}));
        }
    }
    return 1;
}

int ChipEngine::UnprotectChip(const ChipRecord& chip) {
    if (Failure || refuseRecord(chip, EngineStep::Write)) {
        return 0;
    }
    if (chip.Family != ChipFamily::SpiFlash25) {
        Host.showError(Message(Own::UnprotectSpiFlashOnly));
        return 0;
    }
    // Each transaction goes out with its own chip select, as the chip needs
    // the write enable latched before the status register write.
    std::vector<std::vector<std::uint8_t>> transactions = {{kSpiWriteEnable},
                                                           {kSpiWriteStatus, 0x00}};
    if (HasBlockProtectionRegister(chip)) {
        transactions.push_back({kSpiWriteEnable});
        transactions.push_back({kSpiGlobalUnlock});
    }
    std::string sent;
    for (const auto& bytes : transactions) {
        const int result = SendSpiTransaction(bytes.data(), bytes.size());
        if (!commandSucceeded(result, true)) {
            fail(EngineStep::Write, 0, result, kBlock, true);
            return 0;
        }
        if (!sent.empty()) {
            sent += ", ";
        }
        for (std::size_t k = 0; k < bytes.size(); ++k) {
            sent += (k != 0 ? " " : "") + HexByte(bytes[k]) + "h";
        }
    }
    Host.logLine(Message(Own::UnprotectSent) + sent);
    return 1;
}

} // namespace vantor
