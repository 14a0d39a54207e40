// Checks the vantor.Dat the build generated from chipdb/data/chips.csv.
#include "chipdb/ChipDetection.h"
#include "chipdb/ChipSelection.h"
#include "chipdb/ChipSourceList.h"
#include "chipdb/DatabaseFile.h"
#include "core/Prompts.h"

#include <cstdio>
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <set>

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
        {"W77Q32JW", 0xEF8A16, 4u << 20, 256, 0, 0, ChipVoltage::V1_8},
        {"W77Q16JW", 0xEF8A15, 2u << 20, 256, 0, 0, ChipVoltage::V1_8},
        {"MX25L6405", 0xC22017, 8u << 20, 256, 0, 0, ChipVoltage::V3_3},
        {"MX25U3235F", 0xC22536, 4u << 20, 256, 0, 0, ChipVoltage::V1_8},
        {"GD25Q128C", 0xC84018, 16u << 20, 256, 0, 0, ChipVoltage::V3_3},
        {"SST25VF016B", 0xBF2541, 2u << 20, 256, 0, ChipSubType::FlashSst, ChipVoltage::V3_3},
        {"SST26VF016B", 0xBF2641, 2u << 20, 256, 0, ChipSubType::FlashNonSst, 0},
        {"MX25L5121E", 0xC22210, 64u << 10, 32, 0, 0, ChipVoltage::V3_3},
        {"24C02", 0, 256, 8, 1, ChipSubType::Eeprom24Below4K, 0},
        {"AT24C32", 0, 4096, 32, 1, ChipSubType::Eeprom24From4K, 0},
        {"M24M02", 0, 256u << 10, 256, 1, ChipSubType::Eeprom24From4K, 0},
        {"93C46-X16", 0, 128, 2, 2, ChipSubType::Eeprom93C46x16, 0},
        {"93C46-X8", 0, 128, 1, 2, ChipSubType::Eeprom93C46x8, 0},
        {"93C56-X16", 0, 256, 2, 2, ChipSubType::Eeprom93C66x16, 0},
        {"93C86-X8", 0, 2048, 1, 2, ChipSubType::Eeprom93C86x8, 0},
        {"93LC46C-X16", 0, 128, 2, 2, ChipSubType::Eeprom93C46x16, 0},
        {"93LC66A", 0, 512, 1, 2, ChipSubType::Eeprom93C66x8, 0},
        {"93C46B", 0, 128, 2, 2, ChipSubType::Eeprom93C46x16, ChipVoltage::V5_0},
        {"CAT24C16", 0, 2048, 16, 1, ChipSubType::Eeprom24Below4K, 0},
        {"BL24C256A", 0, 32768, 64, 1, ChipSubType::Eeprom24From4K, 0},
        {"25AA640A", 0, 8192, 32, 3, ChipSubType::SpiEepromFrom512, 0},
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
    // Every W25Q32 part has its own record.
    EXPECT_EQ(FindChips(*db_, "W25Q32").size(), 12u);
}

TEST_F(ShippedDatabase, TheFirstRecordOfASharedIdIsTheLikelyPart) {
    const std::pair<std::uint32_t, const char*> first[] = {
        {0xEF4016, "W25Q32JV"},  {0xEF4017, "W25Q64JV"},     {0xEF4018, "W25Q128JV"},
        {0x204015, "XM25QH16C"}, {0xC84017, "GD25Q64C"},     {0xC22017, "MX25L6433F"},
        {0xEF4015, "W25Q16JV"},  {0x20BA18, "MT25QL128ABA"}, {0xEF8A16, "W77Q32JW"},
    };
    for (const auto& [id, name] : first) {
        const int slot = FindChipById(*db_, id);
        ASSERT_GE(slot, 0) << std::hex << id;
        EXPECT_EQ(NamesOf((*db_)[slot]).name, name) << std::hex << id;
    }
}

TEST_F(ShippedDatabase, CoversThePartsUsersLookFor) {
    std::set<std::uint32_t> ids;
    std::map<int, int> perFamily;
    for (int i = 0; i < db_->RecordCount(); ++i) {
        ++perFamily[(*db_)[i].Family];
        if ((*db_)[i].Family == ChipFamily::SpiFlash25)
            ids.insert((*db_)[i].ChipId);
    }
    EXPECT_GE(ids.size(), 430u);
    EXPECT_LT(db_->RecordCount(), kChipSlots);
    std::printf("records %d; per family 0..4: %d %d %d %d %d; distinct SPI IDs %zu\n",
                db_->RecordCount(), perFamily[0], perFamily[1], perFamily[2], perFamily[3],
                perFamily[4], ids.size());
    // The find dialog matches letter case as stored: names are upper case.
    for (const char* name :
         {"W25Q128JV", "W25Q16JV", "GD25Q64C", "MX25L6433F", "BY25Q64AS", "N25Q128A", "P25Q16H",
          "XT25F32B", "ZB25VQ64", "IS25LP080D", "MX25U3235F", "24LC256", "AT24C02", "CAT24C16",
          "93LC46C", "25LC640A", "M95256"})
        EXPECT_FALSE(FindChips(*db_, name).empty()) << name;
}
