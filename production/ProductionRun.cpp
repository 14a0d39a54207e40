#include "production/ProductionRun.h"

#include "buffer/Checksum.h"
#include "link/ChipEngine.h"
#include "link/UsbTransport.h"

#include <QString>
#include <QSysInfo>

#include <algorithm>
#include <cstdio>

namespace vantor {

OperationStart StartOfCommand(const std::string& command, const std::string& chipName,
                              std::uint32_t chipId) {
    OperationStart s;
    s.host = QSysInfo::machineHostName().toStdString();
    s.chip = chipName;
    char id[12];
    std::snprintf(id, sizeof id, "%06X", unsigned(chipId));
    s.chipId = id;
    s.command = command;
    s.version = VANTOR_VERSION;
    return s;
}

OperationEnd EndOfCommand(CommandResult result, const ChipEngine& engine,
                          const UsbTransport& link) {
    OperationEnd e;
    e.result = CommandResultWord(result);
    if (const auto& failure = engine.failure();
        failure && result == CommandResult::TransferFailed) {
        e.failureAddress = failure->address;
    } else if (result == CommandResult::CheckFailed && !engine.lastVerify().first.empty()) {
        e.failureAddress = engine.lastVerify().first.front().address;
    }
    if (const auto& opened = link.opened()) {
        e.device = opened->location();
        e.deviceSerial = opened->serial;
    }
    return e;
}

std::string SerialFieldRefusal(const SerialField& field, std::uint32_t chipSize) {
    if (field.end() <= chipSize) {
        return {};
    }
    return "the serial field " + field.key() + " ends at " + std::to_string(field.end()) +
           ", beyond the chip's " + std::to_string(chipSize) + " bytes";
}

bool ProductionRun::start(OperationStart s, SerialUse use, ChipImage image) {
    const std::optional<SerialField> field =
        use != SerialUse::None && s.serial ? std::optional(s.serial->field) : std::nullopt;
    if (field) {
        if (Why = SerialFieldRefusal(*field, image.chipSize); !Why.empty()) {
            return false;
        }
        // Programmed or compared, the field is part of the image.
        image.usedLength = std::max<std::int32_t>(image.usedLength, std::int32_t(field->end()));
    }
    if (use != SerialUse::Write) {
        s.serialChecked = field;
        s.serial.reset();
    }
    Began = std::chrono::steady_clock::now();
    const auto row = Store.begin(s);
    if (!row) {
        Why = Store.error();
        return false;
    }
    Id = row->id;
    Serial = row->serial;
    if (Serial && field) {
        field->encode(*Serial, image.data + field->address);
    }
    if (image.programmed) {
        const auto used =
            std::min<std::uint64_t>(std::uint64_t(std::max(image.usedLength, 0)), image.chipSize);
        ImageCrc = Crc32(image.data, std::size_t(used));
    }
    return true;
}

bool ProductionRun::finish(OperationEnd end) {
    if (!Id) {
        return true;
    }
    end.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - Began).count();
    if (!end.imageCrc32) {
        end.imageCrc32 = ImageCrc;
    }
    if (!Store.complete(*Id, end)) {
        Why = Store.error();
        return false;
    }
    return true;
}

void SerialReadBack::take(std::uint32_t address, const std::uint8_t* chip, std::uint32_t count) {
    const std::uint64_t from = std::max<std::uint64_t>(address, Field.address);
    const std::uint64_t to = std::min<std::uint64_t>(std::uint64_t(address) + count, Field.end());
    for (std::uint64_t a = from; a < to; ++a) {
        Image[a] = chip[a - address];
        ++Taken;
    }
}

std::optional<std::uint64_t> SerialReadBack::value() const {
    if (Taken < Field.width) {
        return std::nullopt;
    }
    return Field.decode(Image + Field.address);
}

} // namespace vantor
