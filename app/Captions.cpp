// Captions of the main window in the three languages, and the one pass that
// applies them. The dialogs keep their own tables and apply them on request.
#include "app/Application.h"
#include "app/MainWindow.h"
#include "app/StatusBar.h"
#include "buffer/FillDialog.h"
#include "chipdb/ui/ChipEditorDialog.h"
#include "chipdb/ui/ChipFindDialog.h"
#include "core/MessageTable.h"

#include <QAbstractButton>
#include <QAction>
#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <array>

namespace vantor {

namespace {

struct Caption {
    const char* control;
    std::array<const char*, 3> text; // Simplified, Traditional, English
};

// Controls and menu items of the main window, by object name.
const Caption kMainCaptions[] = {
    {"MainWindow",
     {"Vantor+ USB高速编程器", "Vantor+ USB高速編程器", "Vantor+ USB High Speed Programmer"}},
    {"GroupBox1", {"芯片", "芯片", "Chip"}},
    {"Label1", {"类型(&T)", "類型(&T)", "Type(&T)"}},
    {"Label2", {"厂商(&M)", "廠商(&M)", "Manufacturer(&M)"}},
    {"Label3", {"名称(&N)", "名稱(&N)", "Name(&N)"}},
    {"BitBtn1", {"检测(&D)", "檢測(&D)", "Test(&D)"}},
    {"BitBtn2", {"查找(&I)", "查找(&I)", "Find(&I)"}},
    {"Label4", {"容量(&Z)", "容量(&Z)", "Size(&Z)"}},
    {"Label5", {"页面大小(&G)", "頁面大小(&G)", "Pagesize(&G)"}},
    {"Label6", {"编程速度(&S)", "編程速度(&S)", "Speed(&S)"}},
    {"GroupBox2", {"自动编程选项", "自動編程選項", "Auto Options"}},
    {"CheckBox1", {"擦除(&E)", "擦除(&E)", "&Erase"}},
    {"CheckBox2", {"编程(&P)", "編程(&P)", "&Program"}},
    {"CheckBox3", {"校验(&V)", "校驗(&V)", "&Verify"}},
    {"ToolOpen", {"打开", "打開", "Open"}},
    {"ToolSave", {"保存", "保存", "Save"}},
    {"ToolFill", {"填充", "填充", "FIll"}},
    {"ToolBank", {"查空", "查空", "Bank"}},
    {"ToolAuto", {"自动", "自動", "AUTO"}},
    {"ToolErase", {"擦除", "擦除", "ERASE"}},
    {"ToolWrite", {"写入", "寫入", "Write"}},
    {"ToolRead", {"读出", "讀出", "Read"}},
    {"ToolVerify", {"校验", "校驗", "Verify"}},
    {"ToolDevice", {"设备", "設備", "Device"}},
    {"ToolAbout", {"关于", "關於", "About"}},
    {"BitBtn3", {"自动(&A)", "自動(&A)", "&AUTO"}},
    {"O1", {"文件(&F)", "文件(&F)", "File(&F)"}},
    {"O2", {"打开(&O)", "打開(&O)", "Open(&O)"}},
    {"S1", {"保存(&S)", "保存(&S)", "Save(&S)"}},
    {"Q1", {"退出(&Q)", "退出(&Q)", "Quit(&Q)"}},
    {"Buff", {"缓冲区(&B)", "緩沖區(&B)", "Buffer(&B)"}},
    {"Fill", {"填充(&F)", "填充(&F)", "Fill(&F)"}},
    {"O3", {"操作(&O)", "操作(&O)", "Operation(&O)"}},
    {"A1", {"自动(&A)", "自動(&A)", "Auto(&A)"}},
    {"E1", {"擦除(&E)", "擦除(&E)", "&Erase"}},
    {"W1", {"写入(&W)", "寫入(&W)", "Write(&W)"}},
    {"R1", {"读出(&R)", "讀出(&R)", "Read(&R)"}},
    {"V1", {"校验(&V)", "校驗(&V)", "&Verify"}},
    {"N7", {"查空(&B)", "查空(&B)", "Bank(&B)"}},
    {"N3", {"设备(&Y)", "設備(&Y)", "Device(&Y)"}},
    {"L1", {"语言(&L)", "語言(&L)", "Language(&L)"}},
    {"China", {"中文", "中文简体", "Simplified Chinese"}},
    {"fanti", {"繁體", "中文繁體", "Traditional Chinese"}},
    {"Enlish", {"Enlish", "Enlish", "Enlish"}},
    {"H1", {"帮助(&H)", "幫助(&H)", "Help(&H)"}},
    {"N5", {"关于(&A)", "關於(&A)", "About(&A)"}},
};

const std::array<const char*, 3> kStatePanel = {"状态", "狀態", "State"};
const std::array<const char*, 3> kUseTimePanel = {"使用时间", "使用時間", "Use time"};

// Sets the caption of whatever kind of object carries `name`.
void setCaption(QObject* root, const char* name, const QString& text) {
    if (root->objectName() == name) {
        if (auto* w = qobject_cast<QWidget*>(root))
            w->setWindowTitle(text);
        return;
    }
    QObject* target = root->findChild<QObject*>(name);
    if (auto* action = qobject_cast<QAction*>(target))
        action->setText(text);
    else if (auto* menu = qobject_cast<QMenu*>(target))
        menu->setTitle(text);
    else if (auto* group = qobject_cast<QGroupBox*>(target))
        group->setTitle(text);
    else if (auto* label = qobject_cast<QLabel*>(target))
        label->setText(text);
    else if (auto* button = qobject_cast<QAbstractButton*>(target))
        button->setText(text);
}

} // namespace

void MainWindow::setLanguageChecks() {
    China->setChecked(LanguageIndex() == 0);
    fanti->setChecked(LanguageIndex() == 1);
    Enlish->setChecked(LanguageIndex() == 2);
}

void MainWindow::ApplyLanguage() {
    const int lang = LanguageIndex();
    if (lang < 0 || lang > 2)
        return; // only a hand-edited settings file gets here: change nothing
    setLanguageChecks();
    InstallQtTranslations(lang);
    StatusBar1->setPanelText(0, kStatePanel[size_t(lang)]);
    StatusBar1->setPanelText(2, kUseTimePanel[size_t(lang)]);
    for (const Caption& c : kMainCaptions)
        setCaption(this, c.control, QString::fromUtf8(c.text[size_t(lang)]));
    retranslateBenchItems(lang);
    // Panel 1 may change colour: its red depends on the current language.
    StatusBar1->update();
    if (auto* form2 = qobject_cast<ChipEditorDialog*>(form2_))
        form2->ApplyCaptions(lang);
    if (form3_)
        form3_->ApplyCaptions(lang);
    if (form4_)
        form4_->ApplyCaptions(lang);
}

void MainWindow::ChinaClick() {
    SetCurrentLanguage(0);
    ApplyLanguage();
}

void MainWindow::fantiClick() {
    SetCurrentLanguage(1);
    ApplyLanguage();
}

void MainWindow::EnlishClick() {
    SetCurrentLanguage(2);
    ApplyLanguage();
}

} // namespace vantor
