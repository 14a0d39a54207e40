#include "chipdb/ChipRecord.h"

#include "chipdb/GbkText.h"
#include "core/MessageTable.h"

#include <algorithm>
#include <cstring>

namespace vantor {
namespace {

void Put16(std::uint8_t* p, std::uint16_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}

void Put32(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

std::uint16_t Get16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

std::uint32_t Get32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

} // namespace

void EncodeChipRecord(const ChipRecord& r, std::uint8_t* out) {
    namespace O = ChipRecordOffset;
    std::memcpy(out + O::NameText, r.NameText.data(), kNameTextSize);
    Put32(out + O::ChipId, r.ChipId);
    Put32(out + O::FlashSize, r.FlashSize);
    Put16(out + O::FlashPage, r.FlashPage);
    out[O::Family] = r.Family;
    out[O::SubType] = r.SubType;
    Put16(out + O::Delay, r.Delay);
    Put16(out + O::XmlLink, r.XmlLink);
    Put16(out + O::EepromSize, r.EepromSize);
    out[O::EepromPage] = r.EepromPage;
    out[O::Voltage] = r.Voltage;
}

ChipRecordBytes EncodeChipRecord(const ChipRecord& record) {
    ChipRecordBytes bytes{};
    EncodeChipRecord(record, bytes.data());
    return bytes;
}

ChipRecord DecodeChipRecord(const std::uint8_t* in) {
    namespace O = ChipRecordOffset;
    ChipRecord r;
    std::memcpy(r.NameText.data(), in + O::NameText, kNameTextSize);
    r.ChipId = Get32(in + O::ChipId);
    r.FlashSize = Get32(in + O::FlashSize);
    r.FlashPage = Get16(in + O::FlashPage);
    r.Family = in[O::Family];
    r.SubType = in[O::SubType];
    r.Delay = Get16(in + O::Delay);
    r.XmlLink = Get16(in + O::XmlLink);
    r.EepromSize = Get16(in + O::EepromSize);
    r.EepromPage = in[O::EepromPage];
    r.Voltage = in[O::Voltage];
    return r;
}

std::string_view NameTextBytes(const ChipRecord& record) {
    const char* text = reinterpret_cast<const char*>(record.NameText.data());
    const auto* end = std::find(text, text + kNameTextMaxBytes, '\0');
    return std::string_view(text, static_cast<std::size_t>(end - text));
}

std::string NameTextUtf8(const ChipRecord& record) {
    return GbkToUtf8(NameTextBytes(record));
}

bool NameTextEmpty(const ChipRecord& record) {
    return record.NameText[0] == 0;
}

bool SetNameText(ChipRecord& record, std::string_view utf8, std::string* why) {
    std::string gbk;
    if (!Utf8ToGbk(utf8, &gbk)) {
        if (why)
            *why = "The chip name \"" + std::string(utf8) + "\" cannot be stored in GBK.";
        return false;
    }
    if (gbk.size() > kNameTextMaxBytes || gbk.find('\0') != std::string::npos) {
        if (why)
            *why = "The chip name \"" + std::string(utf8) + "\" needs " +
                   std::to_string(gbk.size()) + " bytes; at most 47 fit.";
        return false;
    }
    std::memcpy(record.NameText.data(), gbk.data(), gbk.size());
    record.NameText[gbk.size()] = 0;
    return true;
}

void MarkTerminator(ChipRecord& record) {
    std::fill_n(record.NameText.begin(), kTerminatorBytes, std::uint8_t{0});
}

bool IsPowerOfTwo(std::uint32_t value) {
    return value != 0 && (value & (value - 1)) == 0;
}

bool ChipRecordIsUsable(const ChipRecord& record, std::string* why) {
    std::string reason;
    if (record.FlashSize > kMaxFlashSize)
        reason = FormatMessage(Own::ChipSizeTooLarge, {std::to_string(record.FlashSize)});
    else if (record.FlashPage == 0)
        reason = Message(Own::PageSizeZero);
    else if (record.FlashPage > kMaxFlashPage)
        reason = FormatMessage(Own::PageSizeTooLarge, {std::to_string(record.FlashPage)});
    else if (!IsPowerOfTwo(record.FlashPage))
        reason = FormatMessage(Own::PageSizeNotPowerOfTwo, {std::to_string(record.FlashPage)});
    if (reason.empty())
        return true;
    if (why)
        *why = reason;
    return false;
}

int CapacityStepIndex(std::uint32_t flashSize) {
    for (int k = 0; k <= 20; ++k)
        if (flashSize & (std::uint32_t{1} << (k + 6)))
            return k;
    return -1;
}

const std::array<const char*, 21>& CapacityStepTexts() {
    static const std::array<const char*, 21> texts = {
        "64B",   "128B",  "256B",  "512B", "1KB", "2KB", "4KB", "8KB",  "16KB", "32KB", "64KB",
        "128KB", "256KB", "512KB", "1MB",  "2MB", "4MB", "8MB", "16MB", "32MB", "64MB"};
    return texts;
}

int ChipDatabase::RecordCount() const {
    int n = 0;
    while (n < kChipSlots && !NameTextEmpty(slots_[static_cast<std::size_t>(n)]))
        ++n;
    return n;
}

void ChipDatabase::LoadImage(const std::uint8_t* bytes, std::size_t length) {
    std::size_t count = std::min<std::size_t>(length / kChipRecordSize, kChipSlots);
    for (std::size_t i = 0; i < count; ++i)
        slots_[i] = DecodeChipRecord(bytes + i * kChipRecordSize);
}

std::string ChipDatabase::Image(int slotCount) const {
    slotCount = std::clamp(slotCount, 0, kChipSlots);
    std::string out(static_cast<std::size_t>(slotCount) * kChipRecordSize, '\0');
    for (int i = 0; i < slotCount; ++i)
        EncodeChipRecord(slots_[static_cast<std::size_t>(i)],
                         reinterpret_cast<std::uint8_t*>(out.data()) +
                             static_cast<std::size_t>(i) * kChipRecordSize);
    return out;
}

} // namespace vantor
