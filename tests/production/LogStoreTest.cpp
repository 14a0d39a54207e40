// The production log's store, the same cases against a SQLite file and a
// PostgreSQL server of the test's own.
#include "production/LogStore.h"
#include "tests/production/PostgresServer.h"

#include <gtest/gtest.h>

#include <QSqlDatabase>
#include <QSqlQuery>

#include <algorithm>
#include <filesystem>
#include <set>
#include <thread>
#include <unistd.h>

namespace vantor {
namespace {

namespace fs = std::filesystem;

enum class Kind { Sqlite, Postgres };

class Store : public ::testing::TestWithParam<Kind> {
protected:
    void SetUp() override {
        if (GetParam() == Kind::Postgres) {
            test::PostgresServer& server = test::SharedPostgres();
            if (!server.running()) {
                GTEST_SKIP() << "no PostgreSQL server: " << server.reason();
            }
            target = server.newDatabase();
        } else {
            char pattern[] = "/tmp/vantor-log-XXXXXX";
            ASSERT_NE(::mkdtemp(pattern), nullptr);
            folder = pattern;
            target = (folder / "sub" / "production.db").string(); // folders are made
        }
    }
    void TearDown() override {
        if (!folder.empty()) {
            fs::remove_all(folder);
        }
    }

    std::unique_ptr<LogStore> open() {
        std::string why;
        auto store = OpenLogStore(target, why);
        EXPECT_TRUE(store) << why;
        return store;
    }

    // Runs raw SQL on the store's database behind its back.
    void sql(const std::string& statement) {
        auto store = open();
        QSqlDatabase db = QSqlDatabase::database(QSqlDatabase::connectionNames().first());
        QSqlQuery q(db);
        ASSERT_TRUE(q.exec(QString::fromStdString(statement))) << statement;
    }

    static OperationStart chipStart(const std::string& chip = "SPI_FLASH,Winbond,W25Q32JV") {
        OperationStart s;
        s.host = "bench-1";
        s.chip = chip;
        s.chipId = "EF4016";
        s.command = "auto";
        s.file = "fw.bin";
        s.fileSize = 4096;
        s.fileCrc32 = 0xCBF43926;
        s.version = "3.0";
        return s;
    }

    static SerialSeries series(unsigned width, std::uint64_t start, std::uint64_t step = 1) {
        return {SerialField{0x100, width, SerialField::Format::BigEndian}, start, step};
    }

    fs::path folder;
    std::string target;
};

TEST_P(Store, RowIsOpenedBeforeAndCompletedAfterTheChip) {
    auto store = open();
    ASSERT_TRUE(store);
    const auto started = store->begin(chipStart());
    ASSERT_TRUE(started) << store->error();
    EXPECT_FALSE(started->serial);

    auto rows = store->rows("");
    ASSERT_TRUE(rows && rows->size() == 1);
    EXPECT_EQ(rows->front().result, "started"); // what a killed process leaves
    EXPECT_EQ(rows->front().fileCrc32, 0xCBF43926u);

    OperationEnd end;
    end.result = "transfer-failed";
    end.failureAddress = 0x1F00;
    end.seconds = 1.5;
    end.device = "001:002";
    end.deviceSerial = "A17";
    end.imageCrc32 = 0xFFFFFFFF; // the whole range of the column
    ASSERT_TRUE(store->complete(started->id, end)) << store->error();
    ASSERT_FALSE(store->complete(started->id + 100, end)); // no such row
    EXPECT_NE(store->error().find("not in the log"), std::string::npos);

    rows = store->rows("");
    ASSERT_TRUE(rows && rows->size() == 1);
    const LogRow& r = rows->front();
    EXPECT_EQ(r.result, "transfer-failed");
    EXPECT_EQ(r.failureAddress, 0x1F00u);
    EXPECT_EQ(r.imageCrc32, 0xFFFFFFFFu);
    EXPECT_EQ(r.deviceSerial, "A17");
    EXPECT_EQ(r.chip, "SPI_FLASH,Winbond,W25Q32JV");
    EXPECT_EQ(r.seconds, 1.5);
    EXPECT_EQ(r.time.size(), 24u); // 2026-12-08T09:12:32.123Z
    EXPECT_EQ(r.time.back(), 'Z');
}

TEST_P(Store, SummaryCountsYieldsAndLastFailures) {
    auto store = open();
    ASSERT_TRUE(store);
    const auto add = [&](const std::string& device, const std::string& result,
                         std::optional<std::uint32_t> address, const std::string& time) {
        OperationStart s = chipStart();
        s.time = time;
        const auto started = store->begin(s);
        ASSERT_TRUE(started) << store->error();
        OperationEnd e;
        e.result = result;
        e.device = device;
        e.failureAddress = address;
        ASSERT_TRUE(store->complete(started->id, e));
    };
    add("001:002", "completed", {}, "2026-12-07T23:59:59.999Z");
    add("001:002", "completed", {}, "2026-12-08T08:00:00.000Z");
    add("001:003", "check-failed", 0x40, "2026-12-08T08:01:00.000Z");
    add("001:002", "transfer-failed", 0x80, "2026-12-08T08:02:00.000Z");
    ASSERT_TRUE(store->begin(chipStart())); // still running (or killed)

    const auto today = store->summary("2026-12-08T00:00:00.000Z", 1);
    ASSERT_TRUE(today) << store->error();
    ASSERT_EQ(today->counts.size(), 4u); // completed, check-failed, started, transfer-failed
    EXPECT_EQ(today->counts[0].result, "check-failed");
    EXPECT_EQ(today->counts[1].result, "completed");
    EXPECT_EQ(today->counts[1].count, 1);
    ASSERT_EQ(today->yields.size(), 3u); // the row without a programmer yet counts apart
    EXPECT_EQ(today->yields[1].device, "001:002");
    EXPECT_EQ(today->yields[1].passed, 1);
    EXPECT_EQ(today->yields[1].total, 2);
    ASSERT_EQ(today->lastFailures.size(), 1u); // the newest one only, as asked
    EXPECT_EQ(today->lastFailures[0].failureAddress, 0x80u);

    const auto all = store->rows("");
    ASSERT_TRUE(all);
    EXPECT_EQ(all->size(), 5u);
    EXPECT_EQ(store->rows("2026-12-08T08:01:00.000Z")->size(), 3u);
}

TEST_P(Store, SerialNumbersAreNeverHandedOutTwice) {
    auto store = open();
    ASSERT_TRUE(store);
    const auto draw = [&](SerialSeries s) -> std::optional<std::uint64_t> {
        OperationStart start = chipStart();
        start.serial = s;
        const auto started = store->begin(start);
        return started ? started->serial : std::nullopt;
    };
    EXPECT_EQ(store->peekSerial(series(2, 1000, 10)), 1000u); // nothing reserved yet
    EXPECT_EQ(draw(series(2, 1000, 10)), 1000u);
    EXPECT_EQ(draw(series(2, 1000, 10)), 1010u); // the first chip never completed: spent
    EXPECT_EQ(draw(series(2, 5, 10)), 1020u);    // a lower start does not go back
    EXPECT_EQ(draw(series(2, 2000, 1)), 2000u);  // a higher one jumps ahead
    EXPECT_EQ(store->peekSerial(series(2, 0)), 2001u);
    // Another field is another series.
    EXPECT_EQ(draw({SerialField{0x100, 2, SerialField::Format::LittleEndian}, 7, 1}), 7u);

    // The last numbers of a field, then a refusal that names the field.
    EXPECT_EQ(draw(series(2, 0xFFFE)), 0xFFFEu);
    EXPECT_EQ(draw(series(2, 0)), 0xFFFFu);
    EXPECT_FALSE(draw(series(2, 0)));
    EXPECT_NE(store->error().find("used up"), std::string::npos) << store->error();
    EXPECT_FALSE(store->peekSerial(series(2, 0)));
    // A refused reservation writes no row.
    EXPECT_EQ(store->rows("")->size(), 7u);
}

TEST_P(Store, FourWritersAtOnceLoseNoRowAndShareNoNumber) {
    ASSERT_TRUE(open());
    constexpr int kWriters = 4;
    constexpr int kChips = 15;
    std::vector<std::thread> writers;
    std::vector<std::string> errors(kWriters);
    for (int w = 0; w < kWriters; ++w) {
        writers.emplace_back([&, w] {
            std::string why;
            auto store = OpenLogStore(target, why); // a connection of its own
            for (int i = 0; store && i < kChips; ++i) {
                OperationStart s = chipStart();
                s.serial = series(4, 1);
                const auto started = store->begin(s);
                OperationEnd e;
                e.result = "completed";
                if (!started || !store->complete(started->id, e)) {
                    why = store->error();
                    break;
                }
            }
            errors[std::size_t(w)] = why;
        });
    }
    for (auto& t : writers) {
        t.join();
    }
    for (const auto& e : errors) {
        EXPECT_EQ(e, "");
    }
    const auto rows = open()->rows("");
    ASSERT_TRUE(rows);
    ASSERT_EQ(rows->size(), std::size_t(kWriters * kChips));
    std::set<std::uint64_t> serials;
    for (const LogRow& r : *rows) {
        EXPECT_EQ(r.result, "completed");
        serials.insert(r.serial.value_or(0));
    }
    EXPECT_EQ(serials.size(), rows->size());
    EXPECT_EQ(*serials.begin(), 1u);
    EXPECT_EQ(*serials.rbegin(), std::uint64_t(kWriters * kChips));
}

TEST_P(Store, SchemaMigratesOnceAndANewerStoreIsRefused) {
    ASSERT_TRUE(open());
    ASSERT_TRUE(open()); // the second open finds it current
    sql("UPDATE schema_version SET version = 99");
    std::string why;
    EXPECT_FALSE(OpenLogStore(target, why));
    EXPECT_NE(why.find("newer"), std::string::npos) << why;
}

INSTANTIATE_TEST_SUITE_P(Both, Store, ::testing::Values(Kind::Sqlite, Kind::Postgres),
                         [](const ::testing::TestParamInfo<Kind>& param) {
                             return param.param == Kind::Sqlite ? "Sqlite" : "Postgres";
                         });

TEST(SqliteStore, UnusableFilesAreRefusedWithTheReason) {
    std::string why;
    EXPECT_FALSE(OpenLogStore("/proc/version", why)); // not writable, whoever we are
    EXPECT_NE(why.find("/proc/version"), std::string::npos) << why;
    EXPECT_FALSE(OpenLogStore(fs::temp_directory_path().string(), why)); // a folder
    EXPECT_NE(why.find("Is a directory"), std::string::npos) << why;
    EXPECT_FALSE(OpenLogStore("postgresql://vantor@/x?host=/nonexistent-vantor", why));
    EXPECT_NE(why.find("postgresql://vantor@"), std::string::npos) << why;
}

TEST(LogSince, DatesAndTimesBecomeUtcTimes) {
    EXPECT_EQ(NormalizeLogSince("2026-12-08"), "2026-12-08T00:00:00.000Z");
    EXPECT_EQ(NormalizeLogSince("2026-12-08 09:30"), "2026-12-08T09:30:00.000Z");
    EXPECT_EQ(NormalizeLogSince("2026-12-08T09:30:05+01:00"), "2026-12-08T08:30:05.000Z");
    EXPECT_FALSE(NormalizeLogSince("yesterday"));
    EXPECT_FALSE(NormalizeLogSince("2026-13-01"));
}

} // namespace
} // namespace vantor
