#pragma once

#include "common/Paths.h"
#include "engine/RunReport.h"
#include "engine/RunWindow.h"

#include <QDialog>
#include <QElapsedTimer>

#include <array>
#include <memory>
#include <string>

class QAction;
class QCheckBox;
class QFrame;
class QLabel;
class QLineEdit;
class QMenu;
class QMenuBar;
class QMimeData;
class QPushButton;

namespace common {
class DialogControl;
}

namespace ui {

class CommonDialog;

// The main window. Creating it loads the remembered paths; closing it saves them.
class Form1 final : public QDialog, public engine::RunWindow {
    Q_OBJECT

public:
    explicit Form1(QWidget* parent = nullptr);
    ~Form1() override;

    // Pixels between the top of the window and the client area: the menu bar's height.
    int ClientTop() const;
    // Tests stand a fake in for CommonDialog1; null puts CommonDialog1 back.
    void SetDialogControl(common::DialogControl* dialog);
    bool IsRunning() const { return m_running; }
    // What the last run that got past its empty-box check did; ran is false until there was one.
    const engine::RunReport& LastReport() const { return m_lastReport; }

    // The settings file, fixed at load.
    std::u16string IniPath;

    QLineEdit* Text1;
    QPushButton* Command1;
    QLineEdit* Text2;
    QPushButton* Command5;
    QLineEdit* Text3;
    QPushButton* Command6;
    QCheckBox* Check1;
    QCheckBox* Check2;
    QPushButton* Command2;
    QPushButton* Command4;
    QLabel* Label1;
    QLabel* Label2;
    QLabel* Label3;
    QLabel* Label4;
    std::array<QFrame*, 2> Line1 {};
    std::unique_ptr<CommonDialog> CommonDialog1;

    QMenuBar* MenuBar;
    QMenu* IDM_FILE;
    QAction* IDM_ORGFLD;
    QAction* IDM_NEWFLD;
    QAction* IDM_REPFIL;
    QAction* IDM_FSP1;
    QAction* IDM_RUN;
    QAction* IDM_RESULT;
    QAction* IDM_FSP2;
    QAction* IDM_EXIT;
    QMenu* IDM_HELP;
    QAction* IDM_ABOUT;

    void Form_Load();
    void Form_Unload();
    void Command1_Click();
    void Command5_Click();
    void Command6_Click();
    void Command2_Click();
    void Command4_Click();
    void Text1_OLEDragDrop(const QMimeData& data);
    void Text2_OLEDragDrop(const QMimeData& data);
    void Text3_OLEDragDrop(const QMimeData& data);
    void IDM_ORGFLD_Click();
    void IDM_NEWFLD_Click();
    void IDM_REPFIL_Click();
    void IDM_RUN_Click();
    void IDM_RESULT_Click();
    void IDM_EXIT_Click();
    void IDM_ABOUT_Click();

    // engine::RunWindow
    void SetStatusText(const std::u16string& text) override;
    void ShowReplacing(const platform::NativePath& name) override;
    engine::CheckState SubfoldersOption() const override;
    void ProcessPendingEvents() override;
    std::u16string BoxText(engine::PathBox box) const override;
    void SetBoxText(engine::PathBox box, const std::u16string& text) override;
    engine::CheckState InsertMarkOption() const override;
    void SetControlsEnabled(bool enabled) override;
    void EnableStatusLabel() override;
    void Beep() override;
    std::unique_ptr<platform::FileSystemObject> CreateFileSystemObject() override;

public slots:
    // Esc: the Exit button's procedure, unless the button is disabled.
    void reject() override;

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void CreateMenu();
    void CreateControls();
    void LoadPaths();
    QLineEdit* Box(engine::PathBox box) const;
    void BrowseInto(
        QLineEdit* box, const std::u16string& title, const std::u16string& filter, bool folderOnly);
    void ShowPendingCaption();
    void ShowStatus(const QString& text);
    // The report entry is enabled with the other controls, once there is a report.
    void EnableResultEntry();

    common::PathStyle m_style = common::NativePathStyle();
    common::DialogControl* m_dialogControl = nullptr;
    bool m_running = false;
    engine::RunReport m_lastReport;
    // The walk reports every file; the label follows at most every few milliseconds.
    std::u16string m_caption;
    platform::NativePath m_captionName; // the caption is the replacing text with this name
    bool m_captionIsName = false;
    bool m_captionPending = false;
    QElapsedTimer m_sinceFlush;
};

} // namespace ui
