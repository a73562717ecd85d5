#include "ui/Form1.h"

#include "UiTestSupport.h"

#include "platform/SysCalls.h"
#include "tests/support/SysCallsGuard.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

using uitest::Cp932;
using uitest::ReadFile;
using uitest::WriteFile;

class RunThroughWindowTest : public uitest::FormTest {
protected:
    void MakeTree()
    {
        WriteFile(Org() + QStringLiteral("/Main.frm"),
            Cp932(QStringLiteral("Private Sub Form_Load()\r\n    ' 名前を表示する\r\n    "
                                 "Label1.Caption = \"名前\"\r\nEnd Sub\r\n")));
        WriteFile(Org() + QStringLiteral("/Util.bas"),
            Cp932(QStringLiteral("Attribute VB_Name = \"Util\"\r\n' 変更なし\r\n")));
        WriteFile(Org() + QStringLiteral("/sub/Mod.bas"),
            Cp932(QStringLiteral("Dim 名前 As String\r\n")));
        WriteFile(Rules(), Cp932(QStringLiteral("名前,氏名\r\n")));
        QDir().mkpath(New());
    }
    QString Org() const { return Folder() + QStringLiteral("/org"); }
    QString New() const { return Folder() + QStringLiteral("/new"); }
    QString Rules() const { return Folder() + QStringLiteral("/rules.txt"); }

    // Every control and menu entry of the window, by name, that is enabled.
    static QStringList EnabledControls(const ui::Form1& form)
    {
        QStringList enabled;
        for (const QWidget* control : form.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            if (!control->isWindow() && control->isEnabled()) {
                enabled << control->objectName();
            }
        }
        for (const QAction* entry : form.findChildren<QAction*>()) {
            if (!entry->objectName().isEmpty() && entry->isEnabled()) {
                enabled << entry->objectName();
            }
        }
        return enabled;
    }
};

TEST_F(RunThroughWindowTest, ARunWritesTheChangedFilesIntoTheNewTree)
{
    MakeTree();
    ui::Form1& form = OpenForm();
    form.Text1->setText(uitest::Typed(Org() + u'/'));
    form.Text2->setText(uitest::Typed(New()));
    form.Text3->setText(uitest::Typed(Rules()));
    QTest::mouseClick(form.Command2, Qt::LeftButton);

    EXPECT_EQ(form.Label2->text(), QStringLiteral("リプレース完了。"));
    EXPECT_EQ(ReadFile(New() + QStringLiteral("/org/Main.frm")),
        Cp932(QStringLiteral("Private Sub Form_Load()\r\n    ' 氏名を表示する\r\n    "
                             "Label1.Caption = \"氏名\"\r\nEnd Sub\r\n")));
    EXPECT_EQ(ReadFile(New() + QStringLiteral("/org/sub/Mod.bas")),
        Cp932(QStringLiteral("Dim 氏名 As String\r\n")));
    EXPECT_FALSE(QFile::exists(New() + QStringLiteral("/org/Util.bas")));
    EXPECT_EQ(form.Text2->text(), uitest::Shown(New() + u'/'));
    EXPECT_EQ(QApplication::focusWidget(), form.Text1);
    EXPECT_FALSE(form.IsRunning());

    // With the mark option on, the same run marks each changed line.
    form.Check2->setChecked(true);
    form.Check1->setChecked(false);
    form.IDM_RUN->trigger();
    EXPECT_EQ(ReadFile(New() + QStringLiteral("/org/sub/Mod.bas")),
        Cp932(QStringLiteral("Dim 氏名 As String\r\n")))
        << "without subfolders the copy below is not touched";
    EXPECT_TRUE(ReadFile(New() + QStringLiteral("/org/Main.frm"))
                    .startsWith(Cp932(QStringLiteral(
                        "Private Sub Form_Load()\r\n'▼▼ ソースリプレース(vandor) ▼▼\r\n"))));
}

TEST_F(RunThroughWindowTest, DuringARunOnlyTheStatusLineIsEnabledAndTheWindowStays)
{
    MakeTree();
    ui::Form1& form = OpenForm();
    form.Text1->setText(uitest::Typed(Org() + u'/'));
    form.Text2->setText(uitest::Typed(New()));
    form.Text3->setText(uitest::Typed(Rules()));

    const QStringList enabledBefore = EnabledControls(form);
    ASSERT_GE(enabledBefore.size(), 25);
    bool checked = false;
    QStringList enabledDuringRun;
    QString statusDuringRun;
    bool visibleAfterEsc = false;
    bool closeAccepted = true;
    QTimer::singleShot(0, &form, [&] {
        checked = form.IsRunning();
        enabledDuringRun = EnabledControls(form);
        statusDuringRun = form.Label2->text();
        QTest::keyClick(form.Text1, Qt::Key_Escape);
        visibleAfterEsc = form.isVisible();
        closeAccepted = form.close();
    });
    QTest::mouseClick(form.Command2, Qt::LeftButton);

    ASSERT_TRUE(checked) << "the window handled no event during the run";
    EXPECT_EQ(enabledDuringRun, QStringList { QStringLiteral("Label2") });
    EXPECT_EQ(statusDuringRun, QStringLiteral("リプレース開始..."));
    EXPECT_TRUE(visibleAfterEsc);
    EXPECT_FALSE(closeAccepted);
    EXPECT_TRUE(form.isVisible());
    EXPECT_FALSE(QFile::exists(IniFile())) << "nothing was unloaded";
    EXPECT_EQ(form.Label2->text(), QStringLiteral("リプレース完了。"));
    // The report entry, disabled until a run has ended, is the one control enabled anew.
    ASSERT_FALSE(enabledBefore.contains(QStringLiteral("IDM_RESULT")));
    QStringList enabledAfter = enabledBefore;
    enabledAfter.insert(
        enabledBefore.indexOf(QStringLiteral("IDM_RUN")) + 1, QStringLiteral("IDM_RESULT"));
    EXPECT_EQ(EnabledControls(form), enabledAfter);
}

TEST_F(RunThroughWindowTest, AfterAnErrorTheFocusIsInTheOrgBox)
{
    MakeTree();
    ui::Form1& form = OpenForm();
    form.Text1->setText(uitest::Typed(Org() + u'/'));
    form.Text2->setText(uitest::Typed(New()));
    form.Text3->setText(
        uitest::Typed(QStringLiteral("  ") + Folder() + QStringLiteral("/Missing.txt ")));
    QTest::mouseClick(form.Command2, Qt::LeftButton);
    EXPECT_EQ(form.Label2->text(),
        QStringLiteral("【エラー】 リプレース定義が見つかりません。\n")
            + uitest::Shown(Folder() + QStringLiteral("/Missing.txt")));
    EXPECT_EQ(QApplication::focusWidget(), form.Text1);
    EXPECT_TRUE(form.Command2->isEnabled());
    EXPECT_TRUE(form.IDM_RUN->isEnabled());
    EXPECT_FALSE(form.IsRunning());
}

// A definition over the limit, and one whose table cannot get its memory: both refused with the
// error message before anything is written, and the window usable again.
TEST_F(RunThroughWindowTest, ADefinitionTooLargeIsRefusedBeforeAnythingIsWritten)
{
    MakeTree();
    ui::Form1& form = OpenForm();
    form.Text1->setText(uitest::Typed(Org() + u'/'));
    form.Text2->setText(uitest::Typed(New()));
    form.Text3->setText(uitest::Typed(Rules()));
    testing_support::SysCallsGuard sys;
    for (const bool overTheLimit : { true, false }) {
        SCOPED_TRACE(overTheLimit ? "over the limit" : "no memory");
        sys->availableMemory = overTheLimit ? [] { return std::uint64_t(64); }
                                            : platform::RealSysCalls().availableMemory;
        if (!overTheLimit) {
            sys->allocate = [](std::size_t) -> void* { return nullptr; };
        }
        QTest::mouseClick(form.Command2, Qt::LeftButton);
        // The whole text: the status line shortens a long path to fit.
        EXPECT_EQ(form.Label2->toolTip(),
            QStringLiteral("【エラー】 リプレース定義が大きすぎます。\n") + uitest::Shown(Rules()));
        EXPECT_EQ(QApplication::focusWidget(), form.Text1);
        EXPECT_TRUE(form.Command2->isEnabled());
        EXPECT_FALSE(form.IsRunning());
        EXPECT_TRUE(QDir(New()).isEmpty());
    }
}

} // namespace
