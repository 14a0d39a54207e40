#include "core/MessageTable.h"

#include <gtest/gtest.h>

#include <set>

using vantor::Message;

TEST(MessageTable, EveryMessageHasThreeNonEmptyTexts) {
    for (int n = 1; n <= vantor::kMessageCount; ++n)
        for (int lang = 0; lang < vantor::kLanguageCount; ++lang)
            EXPECT_FALSE(Message(n, lang).empty()) << "message " << n << " language " << lang;
}

TEST(MessageTable, OwnMessagesAreUniqueAndSpeakAllThreeLanguages) {
    std::set<int> seen;
    for (int id : vantor::OwnMessageIds()) {
        EXPECT_GT(id, vantor::kMessageCount);
        EXPECT_TRUE(seen.insert(id).second) << "message " << id << " listed twice";
        for (int lang = 0; lang < vantor::kLanguageCount; ++lang)
            EXPECT_FALSE(Message(id, lang).empty()) << "message " << id << " language " << lang;
    }
    EXPECT_TRUE(Message(vantor::Own::EngineLast, 2).empty()); // a block end names no text
}

TEST(MessageTable, TextsThatCarryBreaksAndBlanksKeepThemExactly) {
    EXPECT_EQ(Message(5, 0), "\n\n芯片类型 ：");
    EXPECT_EQ(Message(5, 1), "\n\n芯片類型 ：");
    EXPECT_EQ(Message(5, 2), "\n\n Chip type");
    EXPECT_EQ(Message(6, 0), "检测到芯片芯片类型: ");
    EXPECT_EQ(Message(6, 1), "檢測到芯片芯片類型: ");
    EXPECT_EQ(Message(6, 2), "Chip type is detected:");
    EXPECT_EQ(Message(7, 0), "\n\n请手动选择对应型号烧写。");
    EXPECT_EQ(Message(7, 1), "\n\n請手動選擇對應型號燒寫。");
    EXPECT_EQ(Message(7, 2), "\n\n Please manually select the corresponding type burn.");
    EXPECT_EQ(Message(9, 2), "File already exists. Is it covered? ");
    EXPECT_EQ(Message(19, 0), "Flash 校验错误地址: ");
    EXPECT_EQ(Message(19, 1), "Flash 校驗錯誤地址: ");
    EXPECT_EQ(Message(19, 2), "Flash check error address:");
    EXPECT_EQ(Message(20, 0), "编程 Flash ...");
    EXPECT_EQ(Message(20, 1), "編程 Flash ... ");
    EXPECT_EQ(Message(20, 2), "Write Flash ...");
    EXPECT_EQ(Message(21, 0), "文件长度大于芯片容量,是否继续烧录?");
    EXPECT_EQ(Message(21, 1), "文件長度大於芯片容量,是否繼續烧录?");
    EXPECT_EQ(Message(21, 2),
              "File length is larger than chip capacity. Do you want to continue to write?");
}

// The whole English column, so a stray edit anywhere in the table shows.
TEST(MessageTable, EnglishColumn) {
    const char* english[] = {
        "Unknown chip ID =",
        "Please choose the compatibility type manually.",
        "No chips detected, please put the chip to try again!",
        "The chip was detected:",
        "\n\n Chip type",
        "Chip type is detected:",
        "\n\n Please manually select the corresponding type burn.",
        "The configuration file was destroyed.",
        "File already exists. Is it covered? ",
        "Error writing file.",
        "The programmer is detected, and the working state is normal.",
        "Ready",
        "Not connected",
        "Erase Flash ...",
        "Read Flash ...",
        "Bank Flash ...",
        "The chip is not empty.",
        "Verify Flash ...",
        "Flash check error address:",
        "Write Flash ...",
        "File length is larger than chip capacity. Do you want to continue to write?",
        "Open",
        "Read Complete!",
        "The chip is empty!",
        "Erase Complete!",
        "Write Complete!",
        "The buffer data is empty. Please load the data file..",
        "Verify Complete!",
        "AUTO Complete!",
        "Bank Complete!",
    };
    for (int n = 1; n <= 30; ++n)
        EXPECT_EQ(Message(n, 2), english[n - 1]) << "message " << n;
}

TEST(MessageTable, ChineseColumnsDifferWhereTheScriptsDiffer) {
    EXPECT_EQ(Message(12, 0), "准备好");
    EXPECT_EQ(Message(12, 1), "準備好");
    EXPECT_EQ(Message(13, 0), "编程器未接入");
    EXPECT_EQ(Message(13, 1), "編程器未接入");
    EXPECT_EQ(Message(25, 0), Message(25, 1)); // "擦除完成！" is the same in both
    EXPECT_EQ(Message(27, 1), "緩沖區數據為空，請加載數據文件。");
    EXPECT_EQ(Message(29, 0), "自动编程校验通过！");
}

TEST(MessageTable, OutOfRangeLanguageReadsAsSimplifiedChinese) {
    for (int bad : {-1, 3, 99, -2147483647 - 1, 2147483647})
        EXPECT_EQ(Message(12, bad), "准备好") << bad;
    EXPECT_EQ(vantor::NormalizeLanguage(2), 2);
    EXPECT_EQ(vantor::NormalizeLanguage(3), 0);
}

TEST(MessageTable, UnknownNumbersGiveEmptyText) {
    EXPECT_TRUE(Message(0, 2).empty());
    EXPECT_TRUE(Message(31, 2).empty());
    EXPECT_TRUE(Message(-5, 0).empty());
}

TEST(MessageTable, LookupFollowsTheCurrentLanguageAtTheMomentOfShowing) {
    vantor::SetCurrentLanguage(2);
    std::string before = Message(23);
    vantor::SetCurrentLanguage(1);
    EXPECT_EQ(before, "Read Complete!");
    EXPECT_EQ(Message(23), "讀出完成！");
    vantor::SetCurrentLanguage(0);
}

TEST(MessageTable, PlaceholdersFilledInTheCurrentLanguage) {
    vantor::SetCurrentLanguage(vantor::TraditionalChinese);
    EXPECT_EQ(vantor::FormatMessage(vantor::Own::DoesNotFit, {"2", "延時", "70000", "65535"}),
              "第 2 行「延時」列：70000 超出範圍（0 到 65535）。");
    vantor::SetCurrentLanguage(vantor::English);
    // Repeated and missing arguments: %2 twice, %3 left as it stands.
    EXPECT_EQ(vantor::FormatMessage(vantor::Own::TooManyRecords, {"/x.Dat", "1000"}),
              "The chip database /x.Dat holds more than 1000 records; only the first 1000 were "
              "loaded.");
    EXPECT_EQ(vantor::FormatMessage(vantor::Own::DoesNotFit, {"1"}),
              "Row 1, column \"%2\": %3 does not fit (0 to %4).");
    vantor::SetCurrentLanguage(vantor::SimplifiedChinese);
}
