#pragma once
// The chip editor: every record of the chip database in a grid, controls to
// compose a record, and Add / Edit / Delete / Save. It works on the main
// window's ChipDatabase (reloaded from the file at every show) and writes the
// database file on Save.
//
// Grid coordinates are the designer's: row 0 holds the titles, column 0 the
// type names, and row r >= 1 the record of slot r - 1. Row 0 is the table's
// horizontal header and column 0 its vertical header, so both stay in place
// while the cells scroll and neither can be edited in place.
#include "chipdb/ChipRecord.h"

#include <QDialog>
#include <QString>
#include <array>
#include <optional>
#include <string>

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;
class QTableWidgetItem;

namespace vantor {

class ChipEditorDialog : public QDialog {
    Q_OBJECT
public:
    static constexpr int kColumns = 13;
    // The file always ends with a terminator slot, so 999 records fit.
    static constexpr int kMaxDataRows = kChipSlots - 1;

    explicit ChipEditorDialog(QWidget* parent = nullptr);

    // The records the editor shows and rewrites (not owned), and the file
    // behind them.
    void setDatabase(ChipDatabase* db) { db_ = db; }
    void setDatabasePath(std::string path) { path_ = std::move(path); }
    const std::string& databasePath() const { return path_; }
    // Where Save writes when it is not the file that was read (the user's
    // copy of an installed database).
    void setDatabaseSavePath(std::string path) { savePath_ = std::move(path); }

    // Captions in language 0 (Simplified Chinese), 1 (Traditional Chinese)
    // or 2 (English); any other index changes nothing. The grid titles are
    // the same in every language.
    void ApplyCaptions(int languageIndex);

    // Handlers.
    void FormShow();
    void StringGrid1SelectCell(int col, int row);
    void StringGrid1DblClick();
    void ComboBox4Change();
    void BtnAddClick();
    void BtnEditClick();
    void BtnDeleteClick();
    void BtnSaveClick();
    void BtnExitClick();

    // The grid as the designer sees it: the row count includes the title
    // row; column 0 is the type column.
    int RowCount() const;
    QString Cells(int col, int row) const;
    void SetCells(int col, int row, const QString& text);
    // Width of grid column `col` in pixels.
    int ColWidth(int col) const;

    // The grid row last reported by StringGrid1SelectCell; 0 until the user
    // first selects a cell, and kept from one opening to the next.
    int SelectedRow = 0;

    QTableWidget* StringGrid1;
    QGroupBox* GroupBox1;
    QLabel *Label1, *Label2, *Label3, *Label4, *Label5, *Label6, *Label7, *Label8, *Label9,
        *Label10, *Label11, *Label12, *Label13;
    QComboBox* ComboBox1;  // type
    QComboBox* ComboBox2;  // manufacturer
    QComboBox* ComboBox3;  // chip name
    QLineEdit* Edit1;      // delay
    QComboBox* ComboBox4;  // family
    QComboBox* ComboBox5;  // capacity, 64 << position
    QComboBox* ComboBox6;  // page, 1 << position
    QComboBox* ComboBox7;  // voltage
    QComboBox* ComboBox8;  // algorithm (SubType), items by family
    QComboBox* ComboBox9;  // chip ID text
    QComboBox* ComboBox10; // EEPROM size, 0 or 1 << position
    QComboBox* ComboBox11; // EEPROM page, 1 << position
    QComboBox* ComboBox12; // extension association
    QPushButton *BtnDelete, *BtnAdd, *BtnEdit, *BtnSave, *BtnExit;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void WidenNameColumns();
    using RowCells = std::array<QString, kColumns>;

    QTableWidgetItem* CellItem(int col, int row) const;
    RowCells RowAt(int row) const;
    void SetRow(int row, const RowCells& cells);
    // The cells Add and Edit write, checked as Save would check them; shows
    // the reason and returns nothing when they would not fit a record.
    std::optional<RowCells> CellsFromControls(int row);
    // Reads one grid row into `record` (names, then the numbers in field
    // order); shows the first problem and returns false.
    bool RowToRecord(const RowCells& cells, int row, ChipRecord& record) const;
    void ShowTitles();

    ChipDatabase* db_ = nullptr;
    std::string path_;
    std::string savePath_;
    int language_ = 0;
};

} // namespace vantor
