// Checks the vantor.Dat the build generated from chipdb/data/chips.csv.
#include "core/Prompts.h"
#include "chipdb/ChipSelection.h"
#include "chipdb/ChipSourceList.h"
#include "chipdb/DatabaseFile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

using namespace vantor;

namespace {

class ShippedDatabase : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        RecordingPrompts prompts;
        ScopedPrompts scope(prompts);
        db_ = new ChipDatabase;
        result_ = LoadDatabaseFile(*db_, VANTOR_SHIPPED_DB);
        messages_ = prompts.log.size();
    }
    static void TearDownTestSuite() { delete db_; }

    // The first record with this chip name (and maker, when given).
    static const ChipRecord* Find(const std::string& name, const std::string& maker = "") {
        for (int i = 0; i < db_->RecordCount(); ++i) {
            ChipNames n = NamesOf((*db_)[i]);
            if (n.name == name && (maker.empty() || n.maker == maker))
                return &(*db_)[i];
        }
        return nullptr;
    }

    static inline ChipDatabase* db_ = nullptr;
    static inline DatabaseLoadResult result_ = DatabaseLoadResult::Missing;
    static inline std::size_t messages_ = 0;
};

} // namespace

TEST_F(ShippedDatabase, LoadsCleanlyWithATerminatorAndKeepsEveryRule) {
    ASSERT_EQ(result_, DatabaseLoadResult::Loaded);
    EXPECT_EQ(messages_, 0u);
    const int n = db_->RecordCount();
    EXPECT_EQ(std::filesystem::file_size(VANTOR_SHIPPED_DB), (n + 1) * kChipRecordSize);
    const auto broken = CheckShippedRules(RecordsInUse(*db_));
    for (const auto& e : broken)
        ADD_FAILURE() << e;
    for (int i = 0; i < n; ++i) {
        std::string why;
        EXPECT_TRUE(ChipRecordIsUsable((*db_)[i], &why)) << i << ": " << why;
    }
}

TEST_F(ShippedDatabase, HoldsEnoughChipsOfEveryFamily) {
    std::map<int, int> perFamily;
    for (int i = 0; i < db_->RecordCount(); ++i)
        ++perFamily[(*db_)[i].Family];
    EXPECT_GE(perFamily[ChipFamily::SpiFlash25], 350);
    EXPECT_GE(perFamily[ChipFamily::Eeprom24], 25);
    EXPECT_GE(perFamily[ChipFamily::Eeprom93], 10);
    EXPECT_GE(perFamily[ChipFamily::Eeprom25], 15);
    EXPECT_GE(perFamily[ChipFamily::Eeprom95], 10);
}

TEST_F(ShippedDatabase, WellKnownChipsHaveTheirDatasheetFacts) {
    struct Expect {
        const char* name;
        std::uint32_t id, size;
        std::uint16_t page;
        std::uint8_t family, subType, voltage;
    };
    const Expect expected[] = {
        {"W25Q32BV", 0xEF4016, 4u << 20, 256, 0, 0, ChipVoltage::V3_3},
        {"W25Q32JV", 0xEF4016, 4u << 20, 256, 0, 0, ChipVoltage::V3_3},
        {"MX25L6405", 0xC22017, 8u << 20, 256, 0, 0, ChipVoltage::V3_3},
        {"MX25U3235F", 0xC22536, 4u << 20, 256, 0, 0, ChipVoltage::V1_8},
        {"GD25Q128C", 0xC84018, 16u << 20, 256, 0, 0, ChipVoltage::V3_3},
        {"SST25VF016B", 0xBF2541, 2u << 20, 256, 0, ChipSubType::FlashSst, ChipVoltage::V3_3},
        {"SST26VF016B(A)", 0xBF2641, 2u << 20, 256, 0, ChipSubType::FlashNonSst, 0},
        {"MX25L5121E", 0xC22210, 64u << 10, 32, 0, 0, ChipVoltage::V3_3},
        {"24C02", 0, 256, 8, 1, ChipSubType::Eeprom24Below4K, 0},
        {"AT24C32", 0, 4096, 32, 1, ChipSubType::Eeprom24From4K, 0},
        {"M24M02", 0, 256u << 10, 256, 1, ChipSubType::Eeprom24From4K, 0},
        {"93C46(16bit)", 0, 128, 2, 2, ChipSubType::Eeprom93C46x16, 0},
        {"93C46(8bit)", 0, 128, 1, 2, ChipSubType::Eeprom93C46x8, 0},
        {"93C56(16bit)", 0, 256, 2, 2, ChipSubType::Eeprom93C66x16, 0},
        {"93C86(8bit)", 0, 2048, 1, 2, ChipSubType::Eeprom93C86x8, 0},
        {"25LC1024", 0, 128u << 10, 256, 3, ChipSubType::SpiEepromAbove64K, 0},
        {"AT25040A", 0, 512, 8, 3, ChipSubType::SpiEepromSmall, 0},
        {"M95080", 0, 1024, 32, 4, ChipSubType::SpiEepromFrom512, 0},
        {"M95M02", 0, 256u << 10, 256, 4, ChipSubType::SpiEepromAbove64K, 0},
    };
    for (const Expect& e : expected) {
        const ChipRecord* r = Find(e.name);
        if (e.size == 0) {
            EXPECT_EQ(r, nullptr) << e.name;
            continue;
        }
        ASSERT_NE(r, nullptr) << e.name;
        EXPECT_EQ(r->ChipId, e.id) << e.name;
        EXPECT_EQ(r->FlashSize, e.size) << e.name;
        EXPECT_EQ(r->FlashPage, e.page) << e.name;
        EXPECT_EQ(r->Family, e.family) << e.name;
        EXPECT_EQ(r->SubType, e.subType) << e.name;
        EXPECT_EQ(r->Voltage, e.voltage) << e.name;
    }
    // Large flash gets a longer erase wait than the default.
    EXPECT_GE(Find("W25Q512JV")->Delay, 10000);
    EXPECT_EQ(Find("A25L512")->Delay, 100);
}

TEST_F(ShippedDatabase, TypeBoxOrderServesDetectionAndStartUpShowsARealChip) {
    ChipSelection sel(db_);
    sel.SelectChip(0, 0, 0);
    ASSERT_TRUE(sel.LastSelectChose());
    EXPECT_EQ(sel.typeBox().items(),
              (std::vector<std::string>{"SPI_FLASH", "24_EEPROM", "93_EEPROM", "25_EEPROM",
                                        "95_EEPROM"}));
    const ChipRecord* first = sel.CurrentChip();
    EXPECT_EQ(first->Family, ChipFamily::SpiFlash25);
    EXPECT_EQ(sel.Edit1Text(), std::to_string(first->FlashSize));
    EXPECT_EQ(sel.Edit2Text(), "256");

    for (int type : {1, 2}) {
        sel.SelectChip(type, 0, 0);
        ASSERT_TRUE(sel.LastSelectChose());
        EXPECT_EQ(sel.CurrentChip()->Family, type);
    }
    // The first record answering EF4016 is a Winbond W25Q32.
    for (int i = 0; i < db_->RecordCount(); ++i)
        if ((*db_)[i].ChipId == 0xEF4016) {
            EXPECT_EQ(NamesOf((*db_)[i]).maker, "Winbond");
            EXPECT_EQ(NamesOf((*db_)[i]).name.substr(0, 6), "W25Q32");
            break;
        }
    EXPECT_EQ(FindChips(*db_, "W25Q32").size(), 12u);
}
