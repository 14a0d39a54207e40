#pragma once
// Every message the user reads, in Simplified Chinese, Traditional Chinese
// and English. Messages are looked up at the moment they are shown, so a box
// always speaks the language current at that moment.
#include <initializer_list>
#include <string>
#include <vector>

namespace vantor {

inline constexpr int kMessageCount = 30;
inline constexpr int kLanguageCount = 3;

// Message numbers by name, so callers never spell a bare number.
namespace Msg {
enum : int {
    UnknownChipId = 1,
    ChooseCompatible = 2,
    NoChip = 3,
    ChipDetected = 4,
    ChipTypeSuffix = 5,
    TypeDetected = 6,
    SelectTypeManually = 7,
    ConfigDestroyed = 8,
    FileExists = 9,
    WriteFileError = 10,
    ProgrammerDetected = 11,
    Ready = 12,
    NotConnected = 13,
    EraseFlash = 14,
    ReadFlash = 15,
    BlankFlash = 16,
    NotBlank = 17,
    VerifyFlash = 18,
    VerifyErrorAddress = 19,
    WriteFlash = 20,
    FileLargerThanChip = 21,
    Open = 22,
    ReadComplete = 23,
    ChipEmpty = 24,
    EraseComplete = 25,
    WriteComplete = 26,
    BufferEmpty = 27,
    VerifyComplete = 28,
    AutoComplete = 29,
    BlankComplete = 30,
};
} // namespace Msg

// Messages of our own, beyond the numbered table: the mends, refusals and
// features this system adds. They live here, in the same three languages, so
// one place turns results into words. Each area has its own block of numbers
// so adding a message never renumbers another area's.
namespace Own {
enum : int {
    // The chip engine (100..199).
    StepChipSetup = 100,
    StepChipId,
    StepErase,
    StepRead,
    StepBlankCheck,
    StepVerify,
    StepWrite,
    TransferFailedAt, // follows a step name; the address follows it
    EngineLast,

    // Installation, file places and device access (200..299).
    FilePlacesFirst = 200,
    PlaceSettings = FilePlacesFirst, // the labels of the file places report
    PlaceDatabase,
    PlaceDatabaseSave,
    PlaceUsbLibrary,
    PlacePortable,
    PlaceInstalled,
    PlaceNotFound,

    // Chip database (300..399).
    ChipDbFirst = 300,
    RecordFamilyBad = ChipDbFirst, // the record's code follows
    RecordSubTypeBad,              // the record's code follows
    RecordVoltageBad,              // the record's code follows
    RecordSizeZero,
    RecordSizeTooLarge, // the size follows
    RecordPageZero,
    RecordPageTooLarge,  // the page size follows
    RecordPageNotPower2, // the page size follows
    SameIdOthers,        // the other chips' names follow
    RowUnusable,         // chip editor: "Row %1: %2", %2 a record refusal above
    ChipDbLast,

    // Operator features: stop, unprotect, checksums, verify, find (400..499).
    OperatorFirst = 400,
    StoppedAt = OperatorFirst, // the address follows
    StopItem,
    UnprotectItem,
    UnprotectSent, // the bytes sent follow
    UnprotectSpiFlashOnly,
    MayBeProtected,    // a line added to a failed check's box
    EraseStillBusy,    // the number of polls follows
    VerifyDifferCount, // the count follows
    DifferChip,        // "chip" before the chip's byte
    DifferBuffer,      // "buffer" before the buffer's byte
    ReadsDiffer,       // the address follows
    ReadTwiceItem,
    ChecksumSum, // follows the CRC-32 figure
    FindItem,
    FindNextItem,
    FindPreviousItem,
    GoToItem,
    FindPrompt,
    FindHexBytes,
    FindText,
    FindBackward,
    FindNotFound, // the pattern follows
    FindBadHex,
    GoToPrompt,
    GoToHex,
    GoToDecimal,
    GoToOutside, // the offset follows
    OperatorLast,

    // The emulator as a bench (500..599).
    BenchFirst = 500,

    // The window: fit, dialogs, refusals (600..699).
    WindowFirst = 600,
    AllSupportedFiles = WindowFirst, // the open dialog's first filter
    CloseRefusedBusy,                // a close during an operation
    TooManyRecords,                  // %1 the database path, %2 the slots loaded
    FillRangeInvalid,
    InvalidIntegerIn, // %1 the field, %2 the text
    DoesNotFit,       // %1 row, %2 column, %3 value, %4 largest
    BoxEmpty,         // %1 the box's label
    NamesTooLong,     // %1 row, %2 the joined names, %3 their GBK bytes
    NamesNotGbk,      // %1 row, %2 the joined names
    TooManyRows,
    NoItemChosen, // %1 the box's label

    // vantor-cli (700..799).
    CliFirst = 700,
    ProgrammerPermissionDenied = CliFirst, // %1 = BUS:DEV
    ProgrammerBusy,                        // %1 = BUS:DEV
    UsingFirstProgrammer,                  // %1 = BUS:DEV, %2 = how many
    NoChosenProgrammer,                    // %1 = what --device named
    VerifyComparedPart,                    // %1 = bytes compared, %2 = bytes left
    FinishBlockFailed,
    CannotCreateOutput, // %1 = file, %2 = the system's reason
    ChipUntouched,
    NoProgrammerOnBus,

    // Production lines (1200..1299).
    ProductionFirst = 1200,
    LogMenu = ProductionFirst,
    ProductionLogItem,
    LogStoreItem,
    LogStorePrompt,
    LogStoreOff,     // the status bar's counter when no log is kept
    LogCounter,      // %1 passed, %2 failed since start
    LogRefused,      // %1 the store's reason
    LogNotCompleted, // %1 the store's reason
    LogOpenFailed,   // %1 the store's reason
    LogNoRows,
    LogTotalsHeading,
    LogYieldsHeading,
    LogFailuresHeading,
    LogSinceLabel,
    LogRefresh,
    LogExportCsv,
    SerialBox,
    SerialFieldLabel,
    SerialStartLabel,
    SerialStepLabel,
    SerialNext, // %1 the next number
    SerialNeedsLog,
    SerialBadField,  // %1 the reason
    SerialWritten,   // %1 the number, %2 the field
    SerialOnChip,    // %1 the number
    SerialNotOnChip, // %1 the field
    ColumnTime,
    ColumnHost,
    ColumnProgrammer,
    ColumnChip,
    ColumnCommand,
    ColumnFile,
    ColumnResult,
    ColumnAddress,
    ColumnSerial,
    ProductionLast,

    // Data files as the world writes them (1000..1099).
    DataFilesFirst = 1000,
    InLine = DataFilesFirst, // %1 a reader's message, %2 the line
    LineTooLong,
    JunkAfterChecksum,
    DataAfterEnd, // %1 the line with data, %2 the end record's line
    NoEndRecord,
    NotReadAfterEnd,    // %1 the end record's line
    RecordCountDiffers, // %1 the count the record gives, %2 the data records read
    OverlapDiffers,     // %1 the address, %2 the earlier line, %3 the later line
    DataOutside,        // %1 lowest, %2 highest address, %3 the buffer's size, %4 the base
    LoadFromBase,       // %1 the base offered
    TryBase,            // %1 the base to give
    LooksLikeText,      // %1 the format's name
    NothingLoaded,      // %1 the file
    CapsuleTooShort,    // %1 the file, %2 the header's size
    NobodyReads,        // %1 the FIFO
    DatabaseEmpty,      // %1 the database
    DatabaseBroken,     // %1 the database
    DataFilesLast,

    // Chips as they behave on the bench (900..999).
    ChipBenchFirst = 900,
    WrongChipAsk = ChipBenchFirst, // %1 ID read, %2 its part, %3 selected part, %4 its ID
    WrongChipRefused,              // the same four, for the command line
    PartOfSize,                    // %1 name, %2 size: "W25Q32JV, 4 MiB"
    PartNotListed,                 // a part for an ID no record holds
    IdSizesDiffer,                 // %1 ID, %2 the parts with their sizes
    IsItThisChip,                  // %1 name, %2 size
    ChooseChipByName,              // after the parts of IdSizesDiffer
    EraseDidNotTake,               // %1 the address that is not blank
    WriteDidNotTake,               // %1 the first address that differs

    // The window at the bench (1100..1199).
    WindowBenchFirst = 1100,
    BufferKeptAfterRead = WindowBenchFirst, // a stopped or failed read
    StoppedAfterChipErase,
    ReadsMatch,
    NoChipSelected,
    DetectItem,
    FindChipItem,
    CompareItem,
    NextDifferenceItem,
    PreviousDifferenceItem,
    RecentFilesMenu,
    CompareDiffer,     // %1 the file, %2 the count, %3 the first address
    CompareSame,       // %1 the file
    DifferencesMarked, // %1 the count
    DifferencesShown,  // %1 the count, for the status bar
    NoDifferencesMarked,
    ReplaceEditedBuffer, // %1 the file
    TimeElapsedLeft,     // %1 elapsed, %2 left
    TimeElapsed,         // %1 elapsed
    InsertMode,
    OverwriteMode,
    RecentFileMissing, // %1 the file

    // The real USB stack (800..899).
    UsbStackFirst = 800,
    StatusPermissionDenied = UsbStackFirst, // status panel: refused, with the rule's name
    StatusBusy,                             // status panel: another program holds it
    UsbLibraryNotLoadable,                  // %1 = the file, %2 = the loader's reason
};
} // namespace Own

enum Language : int { SimplifiedChinese = 0, TraditionalChinese = 1, English = 2 };

// A language index outside 0..2 can only come from a hand-edited settings
// file; it reads as Simplified Chinese so no lookup ever leaves the table.
int NormalizeLanguage(int languageIndex);

// Text of message `number` (1..30, or one of Own) in `languageIndex`, UTF-8.
// An unknown number gives an empty text rather than reading outside the table.
const std::string& Message(int number, int languageIndex);

// Message `number` with "%1".."%9" replaced by `args` in order.
std::string FormatMessage(int number, std::initializer_list<std::string> args);
std::string FormatMessage(int number, int languageIndex, std::initializer_list<std::string> args);

// Every Own:: message in the table, for checks that each has all three texts.
std::vector<int> OwnMessageIds();

// The language every lookup without an explicit index uses.
int CurrentLanguage();
void SetCurrentLanguage(int languageIndex);
inline const std::string& Message(int number) {
    return Message(number, CurrentLanguage());
}

} // namespace vantor
