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

    // The chip database: records the chip operations cannot serve, named by
    // the editor's column, and the other chips that answer a detected ID.
    {Own::RecordFamilyBad,
     {"芯片记录的类型（类型）不在 0 到 4 之内：", "芯片記錄的類型（類型）不在 0 到 4 之內：",
      "The chip record's family (Family) is not 0 to 4: "}},
    {Own::RecordSubTypeBad,
     {"芯片记录的子类型（子类型）不属于它的类型：", "芯片記錄的子類型（子類型）不屬於它的類型：",
      "The chip record's subtype (SubType) is not one of its family's: "}},
    {Own::RecordVoltageBad,
     {"芯片记录的工作电压代码（工作电压）不在 0 到 2 之内：",
      "芯片記錄的工作電壓代碼（工作電壓）不在 0 到 2 之內：",
      "The chip record's voltage code (Voltage) is not 0 to 2: "}},
    {Own::RecordSizeZero,
     {"芯片容量（FLASH）为 0。", "芯片容量（FLASH）為 0。", "The chip size (FLASH) is 0."}},
    {Own::RecordSizeTooLarge,
     {"芯片容量（FLASH）大于 64 MiB（67108864 字节）：",
      "芯片容量（FLASH）大於 64 MiB（67108864 字節）：",
      "The chip size (FLASH) is larger than 64 MiB (67108864 bytes): "}},
    {Own::RecordPageZero,
     {"芯片页大小（FLASH页）为 0。", "芯片頁大小（FLASH頁）為 0。",
      "The chip's page size (FLASH Page) is 0."}},
    {Own::RecordPageTooLarge,
     {"芯片页大小（FLASH页）大于 256 字节：", "芯片頁大小（FLASH頁）大於 256 字節：",
      "The chip's page size (FLASH Page) is larger than 256 bytes: "}},
    {Own::RecordPageNotPower2,
     {"芯片页大小（FLASH页）不是 2 的幂：", "芯片頁大小（FLASH頁）不是 2 的冪：",
      "The chip's page size (FLASH Page) is not a power of two: "}},
    {Own::RowUnusable, {"第 %1 行：%2", "第 %1 行：%2", "Row %1: %2"}},
    {Own::SameIdOthers,
     {"同一ID的其他芯片（可用查找选择）：", "同一ID的其他芯片（可用查找選擇）：",
      "Other chips with this ID (choose one with Find): "}},
    // vantor-cli and the connection probe: which programmer, and why not.
    {Own::ProgrammerPermissionDenied,
     {"编程器 %1 已连接，但当前用户无权打开（权限被拒绝）。请安装 udev 规则 70-vantor.rules"
      "（TAG+=\"uaccess\"，让登录的用户可以访问）：软件包已带此规则，或按 README 复制到 "
      "/etc/udev/rules.d/，执行 \"udevadm control --reload\"，然后重新插拔编程器。",
      "編程器 %1 已連接，但目前使用者無權開啟（權限被拒絕）。請安裝 udev 規則 70-vantor.rules"
      "（TAG+=\"uaccess\"，讓登入的使用者可以存取）：軟體套件已附此規則，或依 README 複製到 "
      "/etc/udev/rules.d/，執行 \"udevadm control --reload\"，然後重新插拔編程器。",
      "Programmer %1 is present, but this user may not open it (permission denied). Install "
      "the udev rule 70-vantor.rules (TAG+=\"uaccess\" gives the logged-in user access): the "
      "package installs it; otherwise copy it as the README shows to /etc/udev/rules.d/, run "
      "\"udevadm control --reload\" and plug the programmer in again."}},
    {Own::ProgrammerBusy,
     {"编程器 %1 已连接，但正被占用：另一个程序正在使用它。请关闭该程序或等它结束后重试。",
      "編程器 %1 已連接，但正被佔用：另一個程式正在使用它。請關閉該程式或等它結束後重試。",
      "Programmer %1 is present but busy: another program holds it. Close that program, or "
      "wait for it to finish, and try again."}},
    {Own::UsingFirstProgrammer,
     {"使用编程器 %1（总线上共 %2 个；--device 可选择其他）。",
      "使用編程器 %1（匯流排上共 %2 個；--device 可選擇其他）。",
      "Using programmer %1 (%2 on the bus; --device picks another)."}},
    {Own::NoChosenProgrammer,
     {"总线上没有编程器 %1（vantor-cli devices 列出全部）。",
      "匯流排上沒有編程器 %1（vantor-cli devices 列出全部）。",
      "No programmer %1 on the bus (vantor-cli devices lists them)."}},
    {Own::VerifyComparedPart,
     {"已比较 %1 字节，即芯片容量；文件其余 %2 字节未比较。",
      "已比較 %1 位元組，即晶片容量；檔案其餘 %2 位元組未比較。",
      "Compared %1 bytes, the chip's size; the file's remaining %2 bytes were not compared."}},
    {Own::FinishBlockFailed,
     {"警告：结束命令块未能送达编程器；芯片操作本身已完成。",
      "警告：結束命令區塊未能送達編程器；晶片操作本身已完成。",
      "Warning: the closing finish block did not reach the programmer; the chip operation "
      "itself had completed."}},
    {Own::CannotCreateOutput,
     {"%1：无法创建文件（%2）", "%1：無法建立檔案（%2）", "%1: cannot create the file (%2)"}},
    {Own::ChipUntouched,
     {"未对芯片进行任何操作。", "未對晶片進行任何操作。", "Nothing was sent to the chip."}},
    {Own::NoProgrammerOnBus,
     {"总线上没有编程器。", "匯流排上沒有編程器。", "No programmer on the bus."}},
    // The real USB stack: the status panel's short forms of a refusal, and a
    // library that does not load.
    {Own::StatusPermissionDenied,
     {"权限不足（udev 规则 70-vantor.rules）", "權限不足（udev 規則 70-vantor.rules）",
      "Permission denied (udev rule 70-vantor.rules)"}},
    {Own::StatusBusy,
     {"编程器被另一个程序占用", "編程器被另一個程式佔用", "Busy: another program holds it"}},
    {Own::UsbLibraryNotLoadable,
     {"无法加载 USB 库 %1：%2", "無法載入 USB 程式庫 %1：%2",
      "Cannot load the USB library %1: %2"}},
    // Operator features: stop, unprotect, checksums, verify details, find.
    {Own::StoppedAt, {"已停止，地址: ", "已停止，地址: ", "Stopped at address "}},
    {Own::StopItem, {"停止", "停止", "Stop"}},
    {Own::UnprotectItem, {"解除写保护", "解除寫保護", "Unprotect"}},
    {Own::UnprotectSent, {"解除写保护，已发送: ", "解除寫保護，已發送: ", "Unprotect: sent "}},
    {Own::UnprotectSpiFlashOnly,
     {"解除写保护只适用于 SPI Flash。", "解除寫保護只適用於 SPI Flash。",
      "Unprotect applies to SPI flash only."}},
    {Own::MayBeProtected,
     {"芯片可能处于写保护状态：请试试解除写保护", "芯片可能處於寫保護狀態：請試試解除寫保護",
      "the chip may be write-protected: try Unprotect"}},
    {Own::EraseStillBusy,
     {"擦除失败：芯片仍然忙，状态查询次数: ", "擦除失敗：芯片仍然忙，狀態查詢次數: ",
      "Erase failed: the chip still reports busy after status polls: "}},
    {Own::VerifyDifferCount,
     {"校验：不同的字节数: ", "校驗：不同的字節數: ", "Verify: bytes that differ: "}},
    {Own::DifferChip, {"芯片", "芯片", "chip"}},
    {Own::DifferBuffer, {"缓冲区", "緩沖區", "buffer"}},
    {Own::ReadsDiffer,
     {"两次读出不一致，首个不同地址: ", "兩次讀出不一致，首個不同地址: ",
      "The two reads differ, first at address "}},
    {Own::ReadTwiceItem, {"读出两次并比较", "讀出兩次並比較", "Read twice"}},
    {Own::ChecksumSum, {"字节和", "字節和", "Sum"}},
    {Own::FindItem, {"查找...", "查找...", "Find..."}},
    {Own::FindNextItem, {"查找下一个", "查找下一個", "Find next"}},
    {Own::FindPreviousItem, {"查找上一个", "查找上一個", "Find previous"}},
    {Own::GoToItem, {"转到地址...", "轉到地址...", "Go to..."}},
    {Own::FindPrompt, {"查找内容:", "查找內容:", "Find:"}},
    {Own::FindHexBytes, {"十六进制字节", "十六進制字節", "Hex bytes"}},
    {Own::FindText, {"文本", "文本", "Text"}},
    {Own::FindBackward, {"向上查找", "向上查找", "Backward"}},
    {Own::FindNotFound, {"找不到: ", "找不到: ", "Not found: "}},
    {Own::FindBadHex,
     {"请输入十六进制字节，例如 DE AD BE EF", "請輸入十六進制字節，例如 DE AD BE EF",
      "Enter hex bytes, for example DE AD BE EF"}},
    {Own::GoToPrompt, {"地址:", "地址:", "Offset:"}},
    {Own::GoToHex, {"十六进制", "十六進制", "Hex"}},
    {Own::GoToDecimal, {"十进制", "十進制", "Decimal"}},
    {Own::GoToOutside, {"地址超出数据范围: ", "地址超出數據範圍: ", "Offset outside the data: "}},
    // Where the files are: vantor-cli --version and the About box.
    {Own::PlaceSettings, {"设置文件", "設置文件", "Settings"}},
    {Own::PlaceDatabase, {"芯片数据库", "芯片數據庫", "Chip database"}},
    {Own::PlaceDatabaseSave, {"芯片编辑器保存到", "芯片編輯器保存到", "Chip editor saves to"}},
    {Own::PlaceUsbLibrary, {"USB 库", "USB 庫", "USB library"}},
    {Own::PlacePortable,
     {"便携：文件在程序旁边", "便攜：文件在程式旁邊", "portable: files beside the program"}},
    {Own::PlaceInstalled,
     {"已安装：文件在用户文件夹", "已安裝：文件在用戶文件夾",
      "installed: files in the user's folders"}},
    {Own::PlaceNotFound, {"未找到", "未找到", "not found"}},
    // The window: fit, dialogs, refusals.
    {Own::AllSupportedFiles, {"所有支持的文件", "所有支援的檔案", "All supported files"}},
    {Own::CloseRefusedBusy,
     {"操作进行中，结束后才能关闭窗口。", "操作進行中，結束後才能關閉視窗。",
      "An operation is running; the window can close when it has ended."}},
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
    // Production lines: the log of every chip, serial numbers, counts.
    {Own::LogMenu, {"日志(&G)", "日誌(&G)", "Lo&g"}},
    {Own::ProductionLogItem, {"生产日志...", "生產日誌...", "Production log..."}},
    {Own::LogStoreItem, {"日志存储...", "日誌存儲...", "Log store..."}},
    {Own::LogStorePrompt,
     {"SQLite 文件或 postgresql:// 地址（留空：不记录）:",
      "SQLite 檔案或 postgresql:// 位址（留空：不記錄）:",
      "SQLite file or postgresql:// URL (empty: no log):"}},
    {Own::LogStoreOff, {"不记录", "不記錄", "No log"}},
    {Own::LogCounter, {"通过 %1 / 失败 %2", "通過 %1 / 失敗 %2", "Passed %1 / failed %2"}},
    {Own::LogRefused,
     {"生产日志拒绝记录，操作未开始：%1", "生產日誌拒絕記錄，操作未開始：%1",
      "The production log refuses the operation: %1"}},
    {Own::LogNotCompleted,
     {"生产日志未能记录结果：%1", "生產日誌未能記錄結果：%1",
      "The production log did not take the result: %1"}},
    {Own::LogOpenFailed,
     {"无法打开生产日志：%1", "無法打開生產日誌：%1", "Cannot open the production log: %1"}},
    {Own::LogNoRows, {"日志中没有操作记录。", "日誌中沒有操作記錄。", "No operations in the log."}},
    {Own::LogTotalsHeading,
     {"按芯片、文件和结果统计:", "按芯片、檔案和結果統計:", "Totals per chip, file and result:"}},
    {Own::LogYieldsHeading, {"各编程器良率:", "各編程器良率:", "Yield per programmer:"}},
    {Own::LogFailuresHeading, {"最近的失败:", "最近的失敗:", "Last failures:"}},
    {Own::LogSinceLabel, {"起始日期:", "起始日期:", "Since:"}},
    {Own::LogRefresh, {"刷新", "刷新", "Refresh"}},
    {Own::LogExportCsv, {"导出 CSV...", "匯出 CSV...", "Export CSV..."}},
    {Own::SerialBox, {"序列号", "序列號", "Serial number"}},
    {Own::SerialFieldLabel,
     {"位置 (地址:宽度:格式)", "位置 (位址:寬度:格式)", "Field (ADDR:WIDTH:FORMAT)"}},
    {Own::SerialStartLabel, {"起始值", "起始值", "Start"}},
    {Own::SerialStepLabel, {"步长", "步長", "Step"}},
    {Own::SerialNext, {"下一个: %1", "下一個: %1", "Next: %1"}},
    {Own::SerialNeedsLog,
     {"序列号需要生产日志（日志 → 日志存储）。", "序列號需要生產日誌（日誌 → 日誌存儲）。",
      "Serial numbers need the production log (Log → Log store)."}},
    {Own::SerialBadField, {"序列号设置无效：%1", "序列號設置無效：%1", "Bad serial number: %1"}},
    {Own::SerialWritten, {"序列号 %1 写入 %2", "序列號 %1 寫入 %2", "Serial number %1 at %2"}},
    {Own::SerialOnChip, {"芯片的序列号: %1", "芯片的序列號: %1", "The chip's serial number: %1"}},
    {Own::SerialNotOnChip,
     {"芯片在 %1 处没有有效的序列号。", "芯片在 %1 處沒有有效的序列號。",
      "The chip holds no serial number at %1."}},
    {Own::ColumnTime, {"时间 (UTC)", "時間 (UTC)", "Time (UTC)"}},
    {Own::ColumnHost, {"主机", "主機", "Host"}},
    {Own::ColumnProgrammer, {"编程器", "編程器", "Programmer"}},
    {Own::ColumnChip, {"芯片", "芯片", "Chip"}},
    {Own::ColumnCommand, {"操作", "操作", "Command"}},
    {Own::ColumnFile, {"文件", "檔案", "File"}},
    {Own::ColumnResult, {"结果", "結果", "Result"}},
    {Own::ColumnAddress, {"失败地址", "失敗位址", "Failure address"}},
    {Own::ColumnSerial, {"序列号", "序列號", "Serial"}},
    {Own::InLine, {"%1（第 %2 行）", "%1（第 %2 行）", "%1 in line %2"}},
    {Own::LineTooLong,
     {"行太长，不是任何记录", "行太長，不是任何記錄", "Line longer than any record"}},
    {Own::JunkAfterChecksum,
     {"校验和之后有多余字符", "校驗和之後有多餘字元", "Characters after the checksum"}},
    {Own::DataAfterEnd,
     {"第 %1 行的数据位于第 %2 行的结束记录之后，已一并载入。",
      "第 %1 行的資料位於第 %2 行的結束記錄之後，已一併載入。",
      "Data in line %1 follows the end record in line %2; it is loaded too."}},
    {Own::NoEndRecord,
     {"文件没有结束记录；已载入其中全部数据。", "檔案沒有結束記錄；已載入其中全部資料。",
      "The file has no end record; all its data is loaded."}},
    {Own::NotReadAfterEnd,
     {"第 %1 行的结束记录之后的行未读取。", "第 %1 行的結束記錄之後的行未讀取。",
      "The lines after the end record in line %1 are not read."}},
    {Own::RecordCountDiffers,
     {"记录计数为 %1，但已读数据记录为 %2", "記錄計數為 %1，但已讀資料記錄為 %2",
      "The record count says %1 data records, %2 were read"}},
    {Own::OverlapDiffers,
     {"地址 %1h 在第 %2 行和第 %3 行的值不同", "位址 %1h 在第 %2 行和第 %3 行的值不同",
      "Lines %2 and %3 give address %1h different values"}},
    {Own::DataOutside,
     {"文件数据位于 %1h 至 %2h，超出缓冲区（自基址 %4h 起 %3h 字节）。",
      "檔案資料位於 %1h 至 %2h，超出緩衝區（自基址 %4h 起 %3h 位元組）。",
      "The file's data lies at %1h to %2h, outside the buffer (%3h bytes from base %4h)."}},
    {Own::LoadFromBase,
     {"以 %1h 为基址载入（文件地址减去基址）？", "以 %1h 為基址載入（檔案位址減去基址）？",
      "Load it from base %1h (file addresses less the base)?"}},
    {Own::TryBase,
     {"可用 --base %1 或 --base auto 载入。", "可用 --base %1 或 --base auto 載入。",
      "--base %1 or --base auto loads it."}},
    {Own::LooksLikeText,
     {"文件内容是 %1，但扩展名使其按原始字节载入。",
      "檔案內容是 %1，但副檔名使其按原始位元組載入。",
      "The file holds %1 text, but its extension loads it as raw bytes."}},
    {Own::NothingLoaded,
     {"%1 中没有数据：未载入任何内容。", "%1 中沒有資料：未載入任何內容。",
      "%1 holds no data: nothing was loaded."}},
    {Own::CapsuleTooShort,
     {"%1 不长于胶囊文件头（%2 字节）：未载入任何内容。",
      "%1 不長於膠囊檔頭（%2 位元組）：未載入任何內容。",
      "%1 is no longer than a capsule header (%2 bytes): nothing was loaded."}},
    {Own::DatabaseEmpty, {"%1 中没有芯片记录", "%1 中沒有晶片記錄", "%1 holds no chip records"}},
    {Own::DatabaseBroken,
     {"%1 不是芯片数据库（大小不是整数条记录）", "%1 不是晶片資料庫（大小不是整數筆記錄）",
      "%1 is no chip database (its size is no whole number of records)"}},
    {Own::NobodyReads,
     {"没有程序读取 %1：未写入。", "沒有程式讀取 %1：未寫入。",
      "Nobody reads %1: nothing was written."}},

    // Chips as they behave on the bench: the ID check before an operation, IDs
    // listed with several sizes, and the checks after Erase and Write.
    {Own::WrongChipAsk,
     {"芯片回答的ID为 %1：%2。所选芯片为 %3，ID %4。仍要按所选芯片继续吗？",
      "芯片回答的ID為 %1：%2。所選芯片為 %3，ID %4。仍要按所選芯片繼續嗎？",
      "The chip answers ID %1: %2. The selected chip is %3, ID %4. Go on with the selected chip "
      "all the same?"}},
    {Own::WrongChipRefused,
     {"芯片回答的ID为 %1：%2。所选芯片为 %3，ID %4。已拒绝（--force 仍可继续）。",
      "芯片回答的ID為 %1：%2。所選芯片為 %3，ID %4。已拒絕（--force 仍可繼續）。",
      "The chip answers ID %1: %2. The selected chip is %3, ID %4. Refused (--force goes on all "
      "the same)."}},
    {Own::PartOfSize, {"%1，%2", "%1，%2", "%1, %2"}},
    {Own::PartNotListed, {"芯片列表中没有", "芯片列表中沒有", "not in the chip list"}},
    {Own::IdSizesDiffer,
     {"ID %1 对应不同容量的芯片：%2。", "ID %1 對應不同容量的芯片：%2。",
      "ID %1 is answered by parts of different sizes: %2."}},
    {Own::IsItThisChip,
     {"插座中的芯片是 %1（%2）吗？", "插座中的芯片是 %1（%2）嗎？", "Is the chip %1 (%2)?"}},
    {Own::ChooseChipByName,
     {"请按名称选择芯片。", "請按名稱選擇芯片。", "Choose the chip by its name."}},
    {Own::EraseDidNotTake,
     {"擦除未生效：芯片在地址 %1 处不为空", "擦除未生效：芯片在地址 %1 處不為空",
      "Erase did not take: the chip is not blank at address %1"}},
    {Own::WriteDidNotTake,
     {"写入未生效：芯片在地址 %1 处与缓冲区不同", "寫入未生效：芯片在地址 %1 處與緩沖區不同",
      "Write did not take: the chip differs from the buffer at address %1"}},
    // The window at the bench.
    {Own::BufferKeptAfterRead,
     {"读出未完成：缓冲区保持读出前的内容。", "讀出未完成：緩沖區保持讀出前的內容。",
      "The read did not finish: the buffer is kept as it was before it."}},
    {Own::StoppedAfterChipErase,
     {"已停止：整片擦除命令已发送，芯片可能已被擦除。",
      "已停止：整片擦除命令已發送，芯片可能已被擦除。",
      "Stopped: the chip erase had been sent; the chip may be erased."}},
    {Own::ReadsMatch,
     {"读出两次完成：两次读出一致。", "讀出兩次完成：兩次讀出一致。",
      "Read twice complete: both reads match."}},
    {Own::NoChipSelected,
     {"没有选择芯片：请在芯片框中选择一个芯片。", "沒有選擇芯片：請在芯片框中選擇一個芯片。",
      "No chip is selected: choose one in the chip boxes."}},
    {Own::DetectItem, {"检测芯片(&D)", "檢測芯片(&D)", "Detect chip(&D)"}},
    {Own::FindChipItem, {"查找芯片(&C)...", "查找芯片(&C)...", "Find chip(&C)..."}},
    {Own::CompareItem, {"与文件比较(&M)...", "與文件比較(&M)...", "Compare with file(&M)..."}},
    {Own::NextDifferenceItem, {"下一个不同(&X)", "下一個不同(&X)", "Next difference(&X)"}},
    {Own::PreviousDifferenceItem, {"上一个不同(&R)", "上一個不同(&R)", "Previous difference(&R)"}},
    {Own::RecentFilesMenu, {"最近的文件(&R)", "最近的文件(&R)", "Recent files(&R)"}},
    {Own::CompareDiffer,
     {"与 %1 比较：%2 个字节不同，首个在 %3", "與 %1 比較：%2 個字節不同，首個在 %3",
      "Compared with %1: %2 bytes differ, the first at %3"}},
    {Own::CompareSame,
     {"与 %1 比较：完全相同", "與 %1 比較：完全相同", "Compared with %1: no difference"}},
    {Own::DifferencesMarked,
     {"%1 个不同的字节已在数据区标出（F4 下一个，Shift+F4 上一个）",
      "%1 個不同的字節已在數據區標出（F4 下一個，Shift+F4 上一個）",
      "%1 differing bytes are marked in the hex pane (F4 next, Shift+F4 previous)"}},
    {Own::DifferencesShown, {"不同: %1", "不同: %1", "Diff: %1"}},
    {Own::NoDifferencesMarked,
     {"没有标出的不同：请先校验或与文件比较。", "沒有標出的不同：請先校驗或與文件比較。",
      "No differences are marked: verify or compare with a file first."}},
    {Own::ReplaceEditedBuffer,
     {"缓冲区有未保存的修改。用 %1 替换吗？", "緩沖區有未保存的修改。用 %1 替換嗎？",
      "The buffer holds edits that are not saved. Replace it with %1?"}},
    {Own::TimeElapsedLeft, {"已用 %1，剩余 %2", "已用 %1，剩餘 %2", "%1 elapsed, %2 left"}},
    {Own::TimeElapsed, {"已用 %1", "已用 %1", "%1 elapsed"}},
    {Own::InsertMode, {"插入", "插入", "INS"}},
    {Own::OverwriteMode, {"改写", "改寫", "OVR"}},
    {Own::RecentFileMissing,
     {"找不到文件 %1，已从最近的文件中移除。", "找不到文件 %1，已從最近的文件中移除。",
      "The file %1 is not there any more; it was taken off the recent files."}},
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
    return FormatMessage(number, CurrentLanguage(), args);
}

std::string FormatMessage(int number, int languageIndex, std::initializer_list<std::string> args) {
    const std::string& pattern = Message(number, languageIndex);
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
