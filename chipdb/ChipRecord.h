#pragma once
// One chip's parameters and the fixed array of slots that holds the chip
// database in memory.
//
// A record is 68 bytes on disk, little-endian, with no padding. In memory it
// is a plain struct; EncodeChipRecord / DecodeChipRecord move it to and from
// its 68 bytes field by field, so the layout never depends on the compiler.
//
// NameText is kept in memory exactly as it is stored on disk: 48 bytes of
// GBK text, a zero byte, and whatever followed it. Everything that reads the
// names as text goes through NameTextUtf8 (GBK -> UTF-8) and SetNameText
// (UTF-8 -> GBK); that pair is the only place the two encodings meet.
#include "core/ChipFamily.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace vantor {

inline constexpr std::size_t kChipRecordSize = 68;
inline constexpr std::size_t kNameTextSize = 48;
// Text bytes a NameText can hold in front of its terminating zero.
inline constexpr std::size_t kNameTextMaxBytes = 47;
// Bytes at the start of a slot that the editor zeroes to end the database.
inline constexpr std::size_t kTerminatorBytes = 20;
inline constexpr int kChipSlots = 1000;
inline constexpr std::size_t kDatabaseMaxBytes = kChipRecordSize * kChipSlots; // 68,000

// Field offsets inside the 68 bytes.
namespace ChipRecordOffset {
inline constexpr std::size_t NameText = 0;
inline constexpr std::size_t ChipId = 48;
inline constexpr std::size_t FlashSize = 52;
inline constexpr std::size_t FlashPage = 56;
inline constexpr std::size_t Family = 58;
inline constexpr std::size_t SubType = 59;
inline constexpr std::size_t Delay = 60;
inline constexpr std::size_t XmlLink = 62;
inline constexpr std::size_t EepromSize = 64;
inline constexpr std::size_t EepromPage = 66;
inline constexpr std::size_t Voltage = 67;
} // namespace ChipRecordOffset

// SubType codes, by family.
namespace ChipSubType {
// Family 0.
inline constexpr std::uint8_t FlashNonSst = 0;
inline constexpr std::uint8_t FlashSst = 1; // written by byte / auto-address-increment
// Family 1: the address length changes at 4 KB.
inline constexpr std::uint8_t Eeprom24Below4K = 0;
inline constexpr std::uint8_t Eeprom24From4K = 1;
// Family 2: 93C46, 93C57, 93C66, 93C76, 93C86 in 8-bit organisation, and the
// same plus 80 in 16-bit organisation.
inline constexpr std::uint8_t Eeprom93C46x8 = 7;
inline constexpr std::uint8_t Eeprom93C57x8 = 8;
inline constexpr std::uint8_t Eeprom93C66x8 = 9;
inline constexpr std::uint8_t Eeprom93C76x8 = 10;
inline constexpr std::uint8_t Eeprom93C86x8 = 11;
inline constexpr std::uint8_t Eeprom93x16Offset = 80;
inline constexpr std::uint8_t Eeprom93C46x16 = 87;
inline constexpr std::uint8_t Eeprom93C57x16 = 88;
inline constexpr std::uint8_t Eeprom93C66x16 = 89;
inline constexpr std::uint8_t Eeprom93C76x16 = 90;
inline constexpr std::uint8_t Eeprom93C86x16 = 91;
// Families 3 and 4.
inline constexpr std::uint8_t SpiEepromSmall = 0;
inline constexpr std::uint8_t SpiEepromFrom512 = 1;
inline constexpr std::uint8_t SpiEepromAbove64K = 2;
} // namespace ChipSubType

// Supply voltage codes.
namespace ChipVoltage {
inline constexpr std::uint8_t V3_3 = 0;
inline constexpr std::uint8_t V1_8 = 1;
inline constexpr std::uint8_t V5_0 = 2;
} // namespace ChipVoltage

// Upper limits the chip operations can serve: the data buffer is 64 MiB and
// the transfer chunk at most 256 bytes.
inline constexpr std::uint32_t kMaxFlashSize = 64u * 1024u * 1024u;
inline constexpr std::uint32_t kMaxFlashPage = 256;

struct ChipRecord {
    std::array<std::uint8_t, kNameTextSize> NameText{}; // GBK bytes, as on disk
    std::uint32_t ChipId = 0;
    std::uint32_t FlashSize = 0;
    std::uint16_t FlashPage = 0;
    std::uint8_t Family = 0;
    std::uint8_t SubType = 0;
    std::uint16_t Delay = 0;
    std::uint16_t XmlLink = 0;
    std::uint16_t EepromSize = 0;
    std::uint8_t EepromPage = 0;
    std::uint8_t Voltage = 0;

    bool operator==(const ChipRecord&) const = default;
};

using ChipRecordBytes = std::array<std::uint8_t, kChipRecordSize>;

void EncodeChipRecord(const ChipRecord& record, std::uint8_t* out68);
ChipRecordBytes EncodeChipRecord(const ChipRecord& record);
ChipRecord DecodeChipRecord(const std::uint8_t* in68);

// The stored name bytes in front of the terminating zero. A NameText with no
// zero inside its 48 bytes reads as its first 47 bytes, as if byte 47 were
// the terminator, so no reader ever runs past the field.
std::string_view NameTextBytes(const ChipRecord& record);
// The same text as UTF-8 (the GBK boundary).
std::string NameTextUtf8(const ChipRecord& record);
// True when the record's NameText begins with a zero byte (an empty slot).
bool NameTextEmpty(const ChipRecord& record);

// Stores `utf8` as GBK followed by a zero byte; the bytes after the zero keep
// their previous content. Refuses (returns false, record unchanged, `why`
// filled in) a text that has no GBK form or needs more than 47 bytes.
bool SetNameText(ChipRecord& record, std::string_view utf8, std::string* why = nullptr);

// Zeroes the first 20 bytes of a slot: the terminator the editor writes
// behind the last record. The rest of the slot keeps its content.
void MarkTerminator(ChipRecord& record);

// Whether SubType is one of the codes of the family's table.
bool SubTypeFitsFamily(std::uint8_t family, std::uint8_t subType);

// Whether the chip operations can serve this record: a family, SubType or
// voltage code outside its table would send the programmer a setup it cannot
// follow; a FlashSize of 0 or above 64 MiB would read nothing or reach
// outside the data buffer, and a FlashPage of 0, above 256 or not a power of
// two would break the page-sized transfers. On false, `why` (when given)
// names the field, in the current language.
bool ChipRecordIsUsable(const ChipRecord& record, std::string* why = nullptr);

// ComboBox5 step for a capacity: the first k in 0..20 whose bit k + 6 is set
// (item k stands for 64 << k bytes); -1 when there is none.
int CapacityStepIndex(std::uint32_t flashSize);
// The 21 step texts "64B" ... "64MB".
const std::array<const char*, 21>& CapacityStepTexts();

bool IsPowerOfTwo(std::uint32_t value);

// The chip database in memory: 1000 slots, all zero at start. The records in
// use run from slot 0 up to (not including) the first slot whose NameText
// begins with a zero byte.
class ChipDatabase {
public:
    ChipRecord& operator[](int slot) { return slots_.at(static_cast<std::size_t>(slot)); }
    const ChipRecord& operator[](int slot) const {
        return slots_.at(static_cast<std::size_t>(slot));
    }
    static constexpr int size() { return kChipSlots; }

    // Number of records in use.
    int RecordCount() const;

    // Copies `length` bytes into the slots from the start of slot 0, whole
    // records only (a trailing partial record is ignored; callers check the
    // size first). Slots past the end keep their content.
    void LoadImage(const std::uint8_t* bytes, std::size_t length);
    // The first `slotCount` slots as file bytes.
    std::string Image(int slotCount) const;

    void Clear() { slots_ = {}; }

private:
    std::array<ChipRecord, kChipSlots> slots_{};
};

} // namespace vantor
