#pragma once
// The find dialog: lists the records whose names hold a search text and
// chooses one of them through the main window's SelectChip.
#include "chipdb/ChipSelection.h"

#include <QDialog>
#include <functional>
#include <vector>

class QComboBox;
class QLabel;
class QPushButton;
class QTreeWidget;

namespace vantor {

class ChipFindDialog : public QDialog {
    Q_OBJECT
public:
    explicit ChipFindDialog(QWidget* parent = nullptr);

    // The records to list (not owned).
    void setDatabase(const ChipDatabase* db) { db_ = db; }
    // The main window's chip boxes, in which Select looks the names up (not
    // owned), and the main window's SelectChip.
    void setChipBoxes(const ChipSelection* boxes) { boxes_ = boxes; }
    void setSelectChip(std::function<void(int, int, int)> selectChip) {
        selectChip_ = std::move(selectChip);
    }

    // Window caption, label, buttons and the three column titles in language
    // 0 (Simplified Chinese), 1 (Traditional Chinese) or 2 (English); any
    // other index changes nothing.
    void ApplyCaptions(int languageIndex);

    // Handlers.
    void FormShow();
    void ComboBox1Change();
    void ListView1Change();
    void BitBtn1Click();
    void BitBtn2Click();

    // The records the list shows, in list order.
    const std::vector<ChipListRow>& rows() const { return rows_; }

    QLabel* Label1;
    QComboBox* ComboBox1;   // search text
    QTreeWidget* ListView1; // type, manufacturer, name, slot
    QPushButton* BitBtn1;   // Select
    QPushButton* BitBtn2;   // Quit

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void ResetList();
    void ShowRows(std::vector<ChipListRow> rows);

    const ChipDatabase* db_ = nullptr;
    const ChipSelection* boxes_ = nullptr;
    std::function<void(int, int, int)> selectChip_;
    std::vector<ChipListRow> rows_;
    int language_ = 0;
};

} // namespace vantor
