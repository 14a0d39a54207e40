#pragma once
// The programmer's side of a chip command: opening and closing the
// programmer around an operation, the one-shot ID request, and the five chip
// operations (erase, read, blank check, verify, write) that move the chip
// contents between the programmer and the data buffer.
//
// Everything runs on the caller's thread. The operations hand control to the
// front end after every chunk, page or poll (EngineHost::processEvents), so
// the window repaints and the progress bar moves.
//
// A transfer that fails or comes back short ends the operation at once: an
// error box names the operation and the address reached, failed() turns
// true, and every further operation returns without touching the programmer
// until the next OpenProgrammer or ReadChipId. The caller closes as usual.
#include "chipdb/FourByteEntry.h"
#include "link/EngineHost.h"
#include "link/Protocol.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace vantor {

class UsbTransport;
class DataBuffer;
struct ChipRecord;

// The fixed waits of the chip operations. Tests shorten them; the transport's
// own 50 ms wait before a reply is UsbTransport::setReplyWait.
struct EngineTimings {
    // Before every status poll of a flash erase.
    std::chrono::microseconds statusPollWait = std::chrono::milliseconds(50);
    // After a 24-series write, so the chip finishes its last page.
    std::chrono::microseconds eepromWriteSettle = std::chrono::milliseconds(100);
    // Between programming and verifying in Auto.
    std::chrono::microseconds autoVerifyPause = std::chrono::milliseconds(350);
};

// What a transfer failure interrupted.
enum class EngineStep { ChipSetup, ChipId, Erase, Read, BlankCheck, Verify, Write };

struct TransferFailure {
    EngineStep step = EngineStep::Read;
    std::uint32_t address = 0; // chip address the failed transfer started at
    int result = 0;            // what the transfer returned
    int expected = 0;          // the bytes it should have moved
    bool stopped = false;      // the user stopped here; `address` is the next one due
};

// One byte where the chip and the buffer disagree.
struct ByteDifference {
    std::uint32_t address = 0;
    std::uint8_t chip = 0;
    std::uint8_t buffer = 0;
};

// What the last verify found: every differing byte counted, the first few kept.
struct VerifyReport {
    static constexpr std::size_t kKept = 16;
    std::uint64_t count = 0;
    std::vector<ByteDifference> first;
};

// What the check after an erase or a write found in its sample pages.
enum class TakeCheck {
    Passed,
    Untouched, // cells that should have changed did not: what write protection does
    Differs,   // the chip changed, but not to what was sent (a write over old data)
};

// "1A2Bh", as addresses are shown everywhere.
std::string HexAddressText(std::uint32_t address);

// The error box text for a failure, in the current language.
std::string TransferFailureText(const TransferFailure& failure);

class ChipEngine {
public:
    ChipEngine(UsbTransport& link, DataBuffer& buffer, EngineHost& host);
    ~ChipEngine();
    ChipEngine(const ChipEngine&) = delete;
    ChipEngine& operator=(const ChipEngine&) = delete;

    EngineTimings Timings;

    // ---- programmer ------------------------------------------------------------
    // 0 when no programmer was found (message 13 shown, nothing locked);
    // otherwise the controls are locked, the chip parameters sent, and the
    // result is 6 for family 0, 4 for family 1, 1 for the others. A failed
    // parameter transfer is reported and leaves failed() true.
    int OpenProgrammer(const ChipRecord& chip);
    // Finish, close, unlock, "Ready". Safe without an open programmer.
    void CloseProgrammer();
    // Opens, asks for the chip ID, closes. 7 with the four reply bytes in
    // `reply4`; 0 when no programmer was found, and also when the exchange
    // failed (then failed() is true, `reply4` untouched, nothing shown).
    int ReadChipId(const ChipRecord& chip, std::uint8_t* reply4);
    // The result of the command transfer (of its reply when one is asked).
    int SetStartAddress(std::uint32_t address, int reply);
    int SendSpiCommand(std::uint8_t instruction);
    // One SPI transaction of up to 60 bytes (instruction and its arguments).
    int SendSpiTransaction(const std::uint8_t* bytes, std::size_t count);

    // ---- chip operations (between OpenProgrammer and CloseProgrammer) ---------------
    void EraseChip(const ChipRecord& chip);
    // Fills the buffer and sets UsedLength; the hex pane shows the result.
    void ReadChip(const ChipRecord& chip);
    // 1 blank; 0 not blank (message 17 shown) or failed.
    int BlankCheckChip(const ChipRecord& chip);
    // 1 equal; 0 at the first difference (message 19 + "%Xh" shown) or failed.
    int VerifyChip(const ChipRecord& chip);
    // 1 written; 0 when the user declined message 21, or failed.
    int WriteChip(const ChipRecord& chip);
    // SPI flash only, after EraseChip: the first, middle and last page read
    // blank. After WriteChip: the first and the last page written read back
    // as sent. A few pages, not a verify: enough to catch a chip that ignored
    // the operation. 1 passed; 0 when a page does not (shown and logged with
    // the Unprotect hint, lastTakeCheck() says how), or a transfer failed.
    // Other families pass without a transfer.
    int CheckErased(const ChipRecord& chip);
    int CheckWritten(const ChipRecord& chip);
    TakeCheck lastTakeCheck() const { return LastTake; }
    // How a chip above 16 MiB enters 4-byte addressing: the method the
    // shipped list states for its ID, write enable + B7h where none is stated.
    // Tests set the override to drive a chip deliberately wrong.
    FourByteEntry fourByteEntryFor(const ChipRecord& chip) const;
    std::optional<FourByteEntry> FourByteEntryOverride;
    // SPI flash only: write enable, write status register 00h, and for parts
    // with a block-protection register the global unlock; the log names what
    // was sent. 1 sent; 0 refused (not SPI flash, shown) or failed.
    int UnprotectChip(const ChipRecord& chip);

    // Set by the commands when a check follows an erase or write of an SPI
    // flash: a failed check then suggests Unprotect.
    bool ProtectionHint = false;
    // Called for every differing byte a verify finds, in address order.
    std::function<void(const ByteDifference&)> OnDifference;
    // Called with each chunk a verify reads, before it is compared: a caller
    // may take bytes the chip holds on its own (a per-chip serial number)
    // into the buffer, so they are not counted as differences.
    std::function<void(std::uint32_t address, const std::uint8_t* chip, std::uint32_t count)>
        BeforeCompare;
    const VerifyReport& lastVerify() const { return Verified; }

    // ---- state ---------------------------------------------------------------------------
    // True from a successful open (or the start of ReadChipId) to the close.
    bool holdsProgrammer() const { return Held; }
    // Sleeps `duration` in short slices, pumping the host's events between
    // them while the programmer is held, so a status poll or a pause never
    // freezes the window (the transport's reply wait comes here too). A
    // `stoppable` wait ends early once a stop is asked for; the reply wait is
    // not, since the programmer needs it to answer.
    void wait(std::chrono::microseconds duration, bool stoppable = true);
    bool failed() const { return Failure.has_value(); }
    // The last close sent its finish block to an open programmer and the
    // block did not go out whole. The operation before it had ended.
    bool finishFailed() const { return FinishFailed; }
    // The user stopped the operation (failed() is true as well).
    bool stopped() const { return Failure && Failure->stopped; }
    // A stop asked for before anything was sent (a signal while a file
    // loaded): recorded and logged as a stop at `at`'s start, true; false
    // when no stop is pending.
    bool stopBeforeStart(EngineStep at);
    const std::optional<TransferFailure>& failure() const { return Failure; }

    UsbTransport& link() { return Link; }
    DataBuffer& buffer() { return Buffer; }
    EngineHost& host() { return Host; }

private:
    bool commandSucceeded(int result, bool reply) const;
    bool exchange(CommandBlock& block, bool reply, EngineStep step, std::uint32_t address);
    void fail(EngineStep step, std::uint32_t address, int result, int expected, bool report);
    // True (reported) when the operation must not start: an unusable record,
    // or a stop already asked for.
    bool refuseRecord(const ChipRecord& chip, EngineStep step);
    // 4-byte entry for a large chip (nothing for the others). False
    // (reported) when a transfer failed.
    bool enterFourByteMode(const ChipRecord& chip, EngineStep step);
    // 4-byte entry, the progress range and the start address: how every data
    // stream begins. False (reported) when a transfer failed.
    bool openStream(const ChipRecord& chip, EngineStep step, std::uint32_t maximum, int reply);
    // One chunk from `address` into `into`; false (reported) when a transfer failed.
    bool readSample(EngineStep step, std::uint32_t address, std::uint32_t chunk,
                    std::uint8_t* into);
    int takeCheckFailed(TakeCheck found, const std::string& text);
    void begin(int message);
    void end();
    // Progress, event pump, then the stop check: false (stop logged) when the
    // user asked to stop; `next` is the address the operation would go on at.
    bool step(std::uint32_t position, EngineStep at, std::uint32_t next);
    std::string withHint(const ChipRecord& chip, const std::string& text) const;

    UsbTransport& Link;
    DataBuffer& Buffer;
    EngineHost& Host;
    bool Held = false;
    bool FinishFailed = false;
    bool ChipEraseSent = false; // the running erase is the chip's own, already under way
    std::optional<TransferFailure> Failure;
    VerifyReport Verified;
    std::uint32_t WrittenTotal = 0; // bytes the last WriteChip sent
    TakeCheck LastTake = TakeCheck::Passed;
};

} // namespace vantor
