// One operation with the log: the serial number placed in the image before
// the chip, read back from the chip by a verify; the reports over the rows.
#include "production/ProductionRun.h"
#include "production/LogReport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <unistd.h>
#include <vector>

namespace vantor {
namespace {

class Production : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/vantor-run-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        folder = pattern;
        std::string why;
        store = OpenLogStore(folder + "/log.db", why);
        ASSERT_TRUE(store) << why;
    }
    void TearDown() override { std::filesystem::remove_all(folder); }

    OperationStart autoStart(const std::string& field) {
        OperationStart s;
        s.host = "bench";
        s.chip = "SPI_FLASH,Winbond,W25Q32JV";
        s.command = "auto";
        s.version = "3.0";
        s.serial = SerialSeries{*SerialField::parse(field), 41, 1};
        return s;
    }

    std::string folder;
    std::unique_ptr<LogStore> store;
    std::vector<std::uint8_t> image = std::vector<std::uint8_t>(256, 0xFF);
    std::int32_t used = 16;
};

TEST_F(Production, TheSerialGoesIntoTheImageBeforeTheChipAndTheRowCompletesAfter) {
    ProductionRun run(*store);
    ASSERT_TRUE(run.start(autoStart("0x20:4:dec"), SerialUse::Write,
                          ChipImage{image.data(), used, 256, true}))
        << run.why();
    EXPECT_EQ(run.serial(), 41u);
    EXPECT_EQ(std::string(image.begin() + 0x20, image.begin() + 0x24), "0041");
    EXPECT_EQ(used, 0x24); // the field lies past the file: the image grows to hold it

    OperationEnd end;
    end.result = "check-failed";
    end.failureAddress = 0x10;
    ASSERT_TRUE(run.finish(end)) << run.why();
    const auto rows = store->rows("");
    ASSERT_EQ(rows->size(), 1u);
    EXPECT_EQ(rows->front().serial, 41u); // spent, though the chip failed
    EXPECT_TRUE(rows->front().imageCrc32);
    EXPECT_GE(rows->front().seconds.value_or(-1), 0.0);

    // The reports name it.
    const std::string csv = RowsCsv(*rows);
    EXPECT_NE(csv.find(",0x00000020:4:dec,41,,check-failed,10h,"), std::string::npos) << csv;
    const auto summary = store->summary("", 10);
    EXPECT_NE(SummaryText(*summary).find("10h"), std::string::npos);
    EXPECT_NE(SummaryJson(*summary).find("\"failure_address\":16"), std::string::npos);
}

TEST_F(Production, AFieldOutsideTheChipIsRefusedBeforeAnyRow) {
    ProductionRun run(*store);
    EXPECT_FALSE(run.start(autoStart("0xFE:4:le"), SerialUse::Write,
                           ChipImage{image.data(), used, 256, true}));
    EXPECT_NE(run.why().find("beyond the chip"), std::string::npos) << run.why();
    EXPECT_TRUE(store->rows("")->empty());
    EXPECT_EQ(used, 16);
}

TEST_F(Production, AVerifyTakesTheChipsOwnSerialAndReadsIt) {
    const SerialField field = *SerialField::parse("0x0E:4:hex");
    ProductionRun run(*store);
    ASSERT_TRUE(run.start(autoStart("0x0E:4:hex"), SerialUse::Check,
                          ChipImage{image.data(), used, 256, false}));
    EXPECT_FALSE(run.serial()); // nothing drawn
    EXPECT_EQ(used, 0x12);

    // The field straddles two chunks of the verify.
    SerialReadBack back(field, image.data());
    std::vector<std::uint8_t> chip(image);
    const std::string spelled = "00A7";
    std::copy(spelled.begin(), spelled.end(), chip.begin() + 0x0E);
    back.take(0, chip.data(), 0x10);
    EXPECT_FALSE(back.value()); // half of it so far
    back.take(0x10, chip.data() + 0x10, 0x10);
    EXPECT_EQ(back.value(), 0xA7u);
    EXPECT_EQ(std::vector<std::uint8_t>(image.begin(), image.begin() + 0x20),
              std::vector<std::uint8_t>(chip.begin(), chip.begin() + 0x20));

    chip[0x0F] = 0xFF; // a chip without a number in the field
    SerialReadBack blank(field, image.data());
    blank.take(0, chip.data(), 0x20);
    EXPECT_FALSE(blank.value());
    EXPECT_EQ(store->rows("")->front().serialField, field.key());
}

} // namespace
} // namespace vantor
