#include "buffer/DataBuffer.h"
#include "chipdb/ChipRecord.h"
#include "chipdb/ChipSelection.h"
#include "cli/ChipLookup.h"
#include "cli/CliRuns.h"
#include "cli/CliSteps.h"
#include "core/MessageTable.h"
#include "link/ConnectionProbe.h"
#include "link/Protocol.h"
#include "link/UsbTransport.h"

#include <cstdio>
#include <string>

namespace vantor {

int RunChips(const Options& o, CliPrompts& prompts, CliReport& report) {
    ChipDatabase db;
    if (!LoadDatabase(db, o, prompts)) {
        return kBadInput;
    }
    const auto rows = o.args.empty() ? ListAllChips(db) : FindChipsAnyCase(db, o.args.front());
    std::string list;
    for (const ChipListRow& row : rows) {
        const std::string triple = ChipTriple(db[row.slot]);
        if (report.mode() == CliReport::Mode::Json) {
            list += (list.empty() ? "" : ",") + CliReport::Quote(triple);
        } else {
            std::printf("%s\n", triple.c_str());
        }
    }
    report.setRaw("chips", "[" + list + "]");
    return kDone;
}

const char* VariantWord(ProgrammerSlot::Variant variant) {
    switch (variant) {
    case ProgrammerSlot::Variant::DuroDevice:
        return kProductTextDudOVEDuroDevice;
    case ProgrammerSlot::Variant::Duro:
        return kProductTextDudOVEDuro;
    case ProgrammerSlot::Variant::Unknown:
        break;
    }
    return "-";
}

int RunDevices(const Options& o, CliReport& report) {
    UsbTransport link(o.usbLibrary);
    const auto slots = link.scan(kProgrammerVendorId, kProgrammerProductId);
    std::string list;
    int usable = 0;
    for (const ProgrammerSlot& slot : slots) {
        usable += slot.access == ProgrammerSlot::Access::Usable ? 1 : 0;
        char line[160];
        std::snprintf(line, sizeof line, "%d  %s  %-17s  %s", slot.index, slot.location().c_str(),
                      VariantWord(slot.variant), AccessWord(slot.access));
        report.result(line);
        list += std::string(list.empty() ? "" : ",") + "{\"index\":" + std::to_string(slot.index) +
                ",\"location\":" + CliReport::Quote(slot.location()) +
                ",\"variant\":" + CliReport::Quote(VariantWord(slot.variant)) +
                ",\"access\":" + CliReport::Quote(AccessWord(slot.access)) +
                ",\"errno\":" + std::to_string(slot.error) + "}";
    }
    report.setRaw("devices", "[" + list + "]");
    if (usable > 0) {
        for (const ProgrammerSlot& slot : slots) {
            if (slot.refused()) {
                report.note(ProgrammerRefusalText(slot));
            }
        }
        return kDone;
    }
    // None usable: the same words and result as a chip command that found none.
    ReportNoProgrammer(o, link, report);
    return kFailed;
}

} // namespace vantor
