#include "core/MessageTable.h"

#include <array>

namespace vantor {
namespace {

using Texts = std::array<std::string, kLanguageCount>;

// Built once by static initialisation and never changed.
const std::array<Texts, kMessageCount> kTable = {{
    /* 1 */ {"未知型号芯片ID =", "未知型號芯片ID =", "Unknown chip ID ="},
    /* 2 */
    {"请手动选择兼容型号。", "請手動選擇兼容型號。",
     "Please choose the compatibility type manually."},
    /* 3 */
    {"没有检测到芯片，请放置芯片再试！", "沒有檢測到芯片，請放置芯片再試！",
     "No chips detected, please put the chip to try again!"},
    /* 4 */ {"检测到芯片：", "檢測到芯片：", "The chip was detected:"},
    // 5 and 7 are only ever appended to another text, hence the leading breaks.
    /* 5 */ {"\n\n芯片类型 ：", "\n\n芯片類型 ：", "\n\n Chip type"},
    /* 6 */ {"检测到芯片芯片类型: ", "檢測到芯片芯片類型: ", "Chip type is detected:"},
    /* 7 */
    {"\n\n请手动选择对应型号烧写。", "\n\n請手動選擇對應型號燒寫。",
     "\n\n Please manually select the corresponding type burn."},
    /* 8 */ {"配置文件被破坏！", "配置文件被破壞！", "The configuration file was destroyed."},
    /* 9 */
    {"文件已存在,是否覆盖?", "文件已存在,是否覆蓋?", "File already exists. Is it covered? "},
    /* 10 */ {"写入文件出错。", "寫入文件出錯。", "Error writing file."},
    /* 11 */
    {"检测到编程器，工作状态正常。", "檢測到編程器，工作狀態正常。",
     "The programmer is detected, and the working state is normal."},
    /* 12 */ {"准备好", "準備好", "Ready"},
    /* 13 */ {"编程器未接入", "編程器未接入", "Not connected"},
    /* 14 */ {"擦除 Flash ...", "擦除 Flash ...", "Erase Flash ..."},
    /* 15 */ {"读出 Flash ...", "讀出 Flash ...", "Read Flash ..."},
    /* 16 */ {"查空 Flash ...", "查空 Flash ...", "Bank Flash ..."},
    /* 17 */ {"芯片没有擦空", "芯片沒有擦空", "The chip is not empty."},
    /* 18 */ {"校验 Flash ...", "校驗 Flash ...", "Verify Flash ..."},
    // The address follows 19 directly; the Chinese texts carry the blank.
    /* 19 */ {"Flash 校验错误地址: ", "Flash 校驗錯誤地址: ", "Flash check error address:"},
    /* 20 */ {"编程 Flash ...", "編程 Flash ... ", "Write Flash ..."},
    /* 21 */
    {"文件长度大于芯片容量,是否继续烧录?", "文件長度大於芯片容量,是否繼續烧录?",
     "File length is larger than chip capacity. Do you want to continue to write?"},
    /* 22 */ {"打开", "打開", "Open"},
    /* 23 */ {"读出完成！", "讀出完成！", "Read Complete!"},
    /* 24 */ {"芯片为空！", "芯片為空！", "The chip is empty!"},
    /* 25 */ {"擦除完成！", "擦除完成！", "Erase Complete!"},
    /* 26 */ {"写入完成！", "寫入完成！", "Write Complete!"},
    /* 27 */
    {"缓冲区数据为空，请加载数据文件。", "緩沖區數據為空，請加載數據文件。",
     "The buffer data is empty. Please load the data file.."},
    /* 28 */ {"校验完成！", "校驗完成！", "Verify Complete!"},
    /* 29 */ {"自动编程校验通过！", "自動編程校驗通過！", "AUTO Complete!"},
    /* 30 */ {"查空完成！", "查空完成！", "Bank Complete!"},
}};

struct OwnEntry {
    int id;
    Texts texts;
};

// Our own messages, by their Own:: names; order does not matter.
const OwnEntry kOwnTable[] = {
    // The chip engine: the step a transfer failure interrupted, then the sentence.
    {Own::StepChipSetup, {"芯片设置", "芯片設置", "Chip setup"}},
    {Own::StepChipId, {"读取芯片ID", "讀取芯片ID", "Chip ID"}},
    {Own::StepErase, {"擦除", "擦除", "Erase"}},
    {Own::StepRead, {"读出", "讀出", "Read"}},
    {Own::StepBlankCheck, {"查空", "查空", "Blank check"}},
    {Own::StepVerify, {"校验", "校驗", "Verify"}},
    {Own::StepWrite, {"编程", "編程", "Write"}},
    {Own::TransferFailedAt,
     {"：USB 传输失败，地址: ", "：USB 傳輸失敗，地址: ", ": USB transfer failed at address "}},

    // The window: fit, dialogs, refusals.
    {Own::AllSupportedFiles, {"所有支持的文件", "所有支援的檔案", "All supported files"}},
    {Own::CloseRefusedBusy,
     {"操作进行中，结束后才能关闭窗口。", "操作進行中，結束後才能關閉視窗。",
      "An operation is running; the window can close when it has ended."}},
    {Own::ChipSizeTooLarge,
     {"芯片容量 %1 字节超过 64 MiB（67108864 字节）。",
      "芯片容量 %1 字節超過 64 MiB（67108864 字節）。",
      "The chip size %1 is larger than 64 MiB (67108864 bytes)."}},
    {Own::PageSizeZero,
     {"芯片的页面大小为 0。", "芯片的頁面大小為 0。", "The chip's page size is 0."}},
    {Own::PageSizeTooLarge,
     {"芯片的页面大小 %1 超过 256 字节。", "芯片的頁面大小 %1 超過 256 字節。",
      "The chip's page size %1 is larger than 256 bytes."}},
    {Own::PageSizeNotPowerOfTwo,
     {"芯片的页面大小 %1 不是 2 的幂。", "芯片的頁面大小 %1 不是 2 的冪。",
      "The chip's page size %1 is not a power of two."}},
    {Own::TooManyRecords,
     {"芯片数据库 %1 超过 %2 条记录，只载入了前 %2 条。",
      "芯片數據庫 %1 超過 %2 條記錄，只載入了前 %2 條。",
      "The chip database %1 holds more than %2 records; only the first %2 were loaded."}},
    {Own::FillRangeInvalid,
     {"填充范围无效：结束地址不能小于开始地址，也不能超过 3FFFFFF。",
      "填充範圍無效：結束地址不能小於開始地址，也不能超過 3FFFFFF。",
      "Invalid fill range: the end address must not be below the start address or above "
      "3FFFFFF."}},
    {Own::InvalidIntegerIn,
     {"%1：“%2”不是有效的整数。", "%1：「%2」不是有效的整數。",
      "%1: '%2' is not a valid integer value"}},
    {Own::DoesNotFit,
     {"第 %1 行“%2”列：%3 超出范围（0 到 %4）。", "第 %1 行「%2」列：%3 超出範圍（0 到 %4）。",
      "Row %1, column \"%2\": %3 does not fit (0 to %4)."}},
    {Own::BoxEmpty,
     {"“%1”框是空的，请输入一个数字。", "「%1」框是空的，請輸入一個數字。",
      "The box \"%1\" is empty; enter a number."}},
    {Own::NamesTooLong,
     {"第 %1 行：芯片名称“%2”占 %3 字节，最多只能 47 字节。",
      "第 %1 行：芯片名稱「%2」佔 %3 字節，最多只能 47 字節。",
      "Row %1: the names \"%2\" take %3 bytes; at most 47 fit."}},
    {Own::NamesNotGbk,
     {"第 %1 行：芯片名称“%2”含有数据库无法保存的字符。",
      "第 %1 行：芯片名稱「%2」含有數據庫無法保存的字符。",
      "Row %1: the names \"%2\" hold characters the chip database cannot store."}},
    {Own::TooManyRows,
     {"芯片数据库最多保存 999 个芯片，请先删除多余的行。",
      "芯片數據庫最多保存 999 個芯片，請先刪除多餘的行。",
      "The chip database holds at most 999 chips; delete rows first."}},
    {Own::NoItemChosen,
     {"请在“%1”框中选择一项。", "請在「%1」框中選擇一項。", "Choose an item in the box \"%1\"."}},
};

const Texts* FindOwn(int id) {
    for (const OwnEntry& entry : kOwnTable)
        if (entry.id == id)
            return &entry.texts;
    return nullptr;
}

int g_currentLanguage = SimplifiedChinese;

} // namespace

int NormalizeLanguage(int languageIndex) {
    return (languageIndex >= 0 && languageIndex < kLanguageCount) ? languageIndex
                                                                  : SimplifiedChinese;
}

const std::string& Message(int number, int languageIndex) {
    static const std::string empty;
    if (number > kMessageCount) {
        const Texts* own = FindOwn(number);
        return own ? (*own)[static_cast<size_t>(NormalizeLanguage(languageIndex))] : empty;
    }
    if (number < 1)
        return empty;
    return kTable[static_cast<size_t>(number - 1)]
                 [static_cast<size_t>(NormalizeLanguage(languageIndex))];
}

std::string FormatMessage(int number, std::initializer_list<std::string> args) {
    const std::string& pattern = Message(number);
    std::string out;
    out.reserve(pattern.size() + 32);
    for (size_t i = 0; i < pattern.size(); ++i) {
        const char next = i + 1 < pattern.size() ? pattern[i + 1] : '\0';
        const size_t index = static_cast<size_t>(next - '1');
        if (pattern[i] == '%' && next >= '1' && next <= '9' && index < args.size()) {
            out += *(args.begin() + index);
            ++i;
        } else {
            out += pattern[i];
        }
    }
    return out;
}

std::vector<int> OwnMessageIds() {
    std::vector<int> ids;
    for (const OwnEntry& entry : kOwnTable)
        ids.push_back(entry.id);
    return ids;
}

int CurrentLanguage() {
    return g_currentLanguage;
}
void SetCurrentLanguage(int languageIndex) {
    g_currentLanguage = languageIndex;
}

} // namespace vantor
