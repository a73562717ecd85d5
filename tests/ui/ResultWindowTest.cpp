#include "ui/ResultWindow.h"

#include "ui/ChangesPane.h"
#include "ui/Form1.h"

#include "UiTestSupport.h"

#include "engine/ReportText.h"
#include "platform/Cp932.h"

#include <QAbstractItemModelTester>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include <gtest/gtest.h>

namespace {

using uitest::Cp932;
using uitest::ReadFile;
using uitest::WriteFile;

// Stands in for the file manager: QDesktopServices hands it the addresses it would open.
class UrlCatcher : public QObject {
    Q_OBJECT

public:
    QList<QUrl> opened;

public slots:
    void Open(const QUrl& url) { opened << url; }
};

engine::RunReport SampleReport(const QString& folder)
{
    const std::u16string org = (folder + QStringLiteral("/org/")).toStdU16String();
    engine::RunReport report;
    report.ran = true;
    report.org = org + u"*.*";
    report.newFolder = (folder + QStringLiteral("/new/")).toStdU16String();
    report.definition = (folder + QStringLiteral("/rules.txt")).toStdU16String();
    report.pairs
        = engine::PairTable({ { platform::EncodeCp932(u"顧客"), platform::EncodeCp932(u"取引先") },
            { "ID", "No" }, { "nowhere", "x" } });
    report.filesRead = 5;
    report.changed = {
        { org + u"b.frm", engine::TextEncoding::Cp932, { { 0, 9 } } },
        { org + u"sub/a.frm", engine::TextEncoding::Utf8, { { 0, 4 }, { 1, 6 } } },
        { org + u"c.bas", engine::TextEncoding::Cp932, { { 1, 2 } } },
    };
    report.skipped = { { org + u".git/", engine::SkipReason::VersionControl } };
    report.unhandled = { { org + u"locked.frm", engine::FailureReason::CannotOpen } };
    report.unmatchedPairs = { 2 };
    report.seconds = 0.5;
    report.result = u"【エラー】 処理できなかったファイルがあります。\n" + org + u"locked.frm";
    return report;
}

QStringList Column(const QTableWidget* table, int column)
{
    QStringList cells;
    for (int row = 0; row < table->rowCount(); ++row) {
        cells << table->item(row, column)->text();
    }
    return cells;
}

class ResultWindowTest : public uitest::FormTest {
protected:
    void MakeTree()
    {
        WriteFile(Folder() + QStringLiteral("/org/Main.frm"),
            Cp932(QStringLiteral("Label1.Caption = \"名前\"\r\n")));
        WriteFile(Folder() + QStringLiteral("/rules.txt"), Cp932(QStringLiteral("名前,氏名\r\n")));
        QDir().mkpath(Folder() + QStringLiteral("/new"));
    }
    void FillBoxes(ui::Form1& form, const QString& rules)
    {
        form.Text1->setText(uitest::Typed(Folder() + QStringLiteral("/org/")));
        form.Text2->setText(uitest::Typed(Folder() + QStringLiteral("/new")));
        form.Text3->setText(uitest::Typed(rules));
    }
};

TEST_F(ResultWindowTest, TheEntryIsEnabledOnlyOnceARunHasEnded)
{
    MakeTree();
    ui::Form1& form = OpenForm();
    EXPECT_FALSE(form.IDM_RESULT->isEnabled()) << "no run yet";
    // Enabling every control, as the end of a run does, leaves it disabled without a report.
    form.SetControlsEnabled(false);
    form.SetControlsEnabled(true);
    EXPECT_TRUE(form.IDM_RUN->isEnabled());
    EXPECT_FALSE(form.IDM_RESULT->isEnabled()) << "still no report";

    // A click that ends at the empty-box check is no run.
    FillBoxes(form, QString());
    QTest::mouseClick(form.Command2, Qt::LeftButton);
    EXPECT_FALSE(form.LastReport().ran);
    EXPECT_FALSE(form.IDM_RESULT->isEnabled());

    // A run that ends in an error has a report too.
    FillBoxes(form, Folder() + QStringLiteral("/missing.txt"));
    QTest::mouseClick(form.Command2, Qt::LeftButton);
    EXPECT_TRUE(form.LastReport().ran);
    EXPECT_TRUE(form.IDM_RESULT->isEnabled());

    // During the next run it is disabled with everything else, then enabled again.
    FillBoxes(form, Folder() + QStringLiteral("/rules.txt"));
    bool enabledDuringRun = true;
    bool running = false;
    QTimer::singleShot(0, &form, [&] {
        running = form.IsRunning();
        enabledDuringRun = form.IDM_RESULT->isEnabled();
    });
    QTest::mouseClick(form.Command2, Qt::LeftButton);
    ASSERT_TRUE(running);
    EXPECT_FALSE(enabledDuringRun);
    EXPECT_TRUE(form.IDM_RESULT->isEnabled());
    EXPECT_EQ(form.LastReport().result, u"リプレース完了。");

    // An empty box afterwards keeps the last run's report.
    form.Text3->clear();
    QTest::mouseClick(form.Command2, Qt::LeftButton);
    EXPECT_TRUE(form.LastReport().ran);
    EXPECT_EQ(form.LastReport().result, u"リプレース完了。");
    EXPECT_TRUE(form.IDM_RESULT->isEnabled());
}

TEST_F(ResultWindowTest, TheEntryOpensTheLastRunsReportModally)
{
    MakeTree();
    ui::Form1& form = OpenForm();
    FillBoxes(form, Folder() + QStringLiteral("/rules.txt"));
    QTest::mouseClick(form.Command2, Qt::LeftButton);
    ASSERT_TRUE(form.IDM_RESULT->isEnabled());

    bool shown = false;
    uitest::WhenModalShows([&](QWidget* modal) {
        auto* window = qobject_cast<ui::ResultWindow*>(modal);
        ASSERT_NE(window, nullptr);
        shown = true;
        EXPECT_EQ(window->windowTitle(), QStringLiteral("実行結果"));
        EXPECT_EQ(window->parentWidget(), &form);
        EXPECT_EQ(window->SummaryLabel->text(),
            QString::fromStdU16String(engine::SummaryLine(form.LastReport())));
        EXPECT_EQ(
            window->ChangedTable->rowCount(), static_cast<int>(form.LastReport().changed.size()));
        EXPECT_TRUE(window->PathsLabel->text().contains(QStringLiteral("結果: リプレース完了。")));
        // Esc closes it, as a dialog.
        QTest::keyClick(window, Qt::Key_Escape);
        EXPECT_FALSE(window->isVisible());
    });
    form.IDM_RESULT->trigger();
    EXPECT_TRUE(shown);
    EXPECT_TRUE(form.isVisible());
}

TEST_F(ResultWindowTest, AltFThenLOpensTheReport)
{
    MakeTree();
    ui::Form1& form = OpenForm();
    FillBoxes(form, Folder() + QStringLiteral("/rules.txt"));
    QTest::mouseClick(form.Command2, Qt::LeftButton);
    bool shown = false;
    uitest::WhenModalShows([&](QWidget* modal) {
        shown = qobject_cast<ui::ResultWindow*>(modal) != nullptr;
        static_cast<QDialog*>(modal)->reject();
    });
    QTest::keyClick(&form, Qt::Key_F, Qt::AltModifier);
    ASSERT_TRUE(QTest::qWaitFor([&] { return form.IDM_FILE->isVisible(); }, 2000));
    QTest::keyClick(form.IDM_FILE, Qt::Key_L);
    EXPECT_TRUE(QTest::qWaitFor([&] { return shown; }, 2000));
}

TEST_F(ResultWindowTest, TablesListTheReportAndSortByTheirColumns)
{
    const engine::RunReport report = SampleReport(Folder());
    ui::Form1& form = OpenForm();
    ui::ResultWindow window(report, common::PathStyle::Posix, &form);
    window.show();

    EXPECT_TRUE(window.ChangedTable->isSortingEnabled());
    ASSERT_EQ(window.ChangedTable->rowCount(), 3);
    // Paths from the ORG folder down, the whole path in the tip.
    EXPECT_EQ(Column(window.ChangedTable, 0),
        (QStringList {
            QStringLiteral("b.frm"), QStringLiteral("c.bas"), QStringLiteral("sub/a.frm") }));
    EXPECT_EQ(window.ChangedTable->item(0, 0)->toolTip(), Folder() + QStringLiteral("/org/b.frm"));
    EXPECT_EQ(Column(window.ChangedTable, 1),
        (QStringList {
            QStringLiteral("CP932"), QStringLiteral("CP932"), QStringLiteral("UTF-8") }));
    EXPECT_EQ(Column(window.ChangedTable, 3),
        (QStringList { QStringLiteral("「顧客」→「取引先」 9"), QStringLiteral("「ID」→「No」 2"),
            QStringLiteral("「顧客」→「取引先」 4、「ID」→「No」 6") }));

    // A click on the header of the count sorts by number, 10 after 9; a second click reverses.
    const int countSection = window.ChangedTable->horizontalHeader()->logicalIndex(2);
    const auto clickHeader = [&](int section) {
        QHeaderView* header = window.ChangedTable->horizontalHeader();
        const QPoint middle(
            header->sectionViewportPosition(section) + header->sectionSize(section) / 2,
            header->height() / 2);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, middle);
    };
    clickHeader(countSection);
    QStringList counts = Column(window.ChangedTable, 2);
    if (counts.constFirst() != QStringLiteral("2")) {
        clickHeader(countSection);
        counts = Column(window.ChangedTable, 2);
    }
    EXPECT_EQ(
        counts, (QStringList { QStringLiteral("2"), QStringLiteral("9"), QStringLiteral("10") }));
    clickHeader(countSection);
    EXPECT_EQ(Column(window.ChangedTable, 2),
        (QStringList { QStringLiteral("10"), QStringLiteral("9"), QStringLiteral("2") }));
    EXPECT_EQ(Column(window.ChangedTable, 0).constFirst(), QStringLiteral("sub/a.frm"));

    ASSERT_EQ(window.OtherTable->rowCount(), 3);
    QStringList others;
    for (int row = 0; row < 3; ++row) {
        others << window.OtherTable->item(row, 0)->text() + u'|'
                + window.OtherTable->item(row, 1)->text() + u'|'
                + window.OtherTable->item(row, 2)->text();
    }
    others.sort();
    EXPECT_EQ(others,
        (QStringList {
            QStringLiteral("一致なし|「nowhere」→「x」|どのファイルにも一致しませんでした"),
            QStringLiteral("処理不可|locked.frm|開けません"),
            QStringLiteral("除外|.git/|バージョン管理のフォルダ") }));
    EXPECT_EQ(window.SummaryLabel->text(),
        QStringLiteral("読み込み 5 件、変更 3 件、除外 1 件、処理不可 1 件、0.50 秒"));
    EXPECT_TRUE(window.PathsLabel->text().endsWith(
        QStringLiteral("結果: 【エラー】 処理できなかったファイルがあります。\n") + Folder()
        + QStringLiteral("/org/locked.frm")));
}

TEST(ResultWindow, TheFormatFollowsTheExtensionThenTheFilter)
{
    const struct {
        const char* name;
        bool csvFilter;
        ui::ReportFormat expected;
    } cases[] = {
        { "/r/a.csv", false, ui::ReportFormat::Csv },
        { "/r/a.CSV", false, ui::ReportFormat::Csv },
        { "/r/a.txt", true, ui::ReportFormat::Text },
        { "/r/a.Txt", true, ui::ReportFormat::Text },
        { "/r/a.log", true, ui::ReportFormat::Csv },
        { "/r/a.log", false, ui::ReportFormat::Text },
        { "/r/a", true, ui::ReportFormat::Csv },
        { "/r.csv/a", false, ui::ReportFormat::Text },
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ui::ReportFormatFor(QString::fromUtf8(c.name), c.csvFilter), c.expected)
            << c.name << (c.csvFilter ? " with the CSV filter" : "");
    }
}

// The real save dialog: the name typed and the filter chosen decide the file and its format.
TEST_F(ResultWindowTest, SaveWritesTheReportAsTheDialogChose)
{
    const engine::RunReport report = SampleReport(Folder());
    QDir().mkpath(Folder() + QStringLiteral("/new"));
    const std::string text = engine::ReportText(report);
    const std::string csv = engine::ReportCsv(report);
    const struct {
        const char* typed;
        bool csvFilter;
        const char* written;
        const std::string& bytes;
    } cases[] = {
        { "plain", false, "plain.txt", text },
        { "table", true, "table.csv", csv },
        { "named.csv", false, "named.csv", csv },
        { "named.txt", true, "named.txt", text },
    };
    ui::Form1& form = OpenForm();
    ui::ResultWindow window(report, common::PathStyle::Posix, &form);
    window.show();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        QStringList filters;
        QString directory;
        QString cancelText;
        uitest::WhenModalShows([&](QWidget* modal) {
            auto* dialog = qobject_cast<QFileDialog*>(modal);
            ASSERT_NE(dialog, nullptr);
            filters = dialog->nameFilters();
            directory = dialog->directory().absolutePath();
            // The filter is chosen as a user chooses it, with the keyboard on its list.
            auto* types = dialog->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
            ASSERT_NE(types, nullptr);
            types->setFocus();
            QTest::keyClick(types, c.csvFilter ? Qt::Key_Down : Qt::Key_Up);
            ASSERT_EQ(dialog->selectedNameFilter(), filters.value(c.csvFilter ? 1 : 0));
            auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            ASSERT_NE(name, nullptr);
            name->setText(QString::fromUtf8(c.typed));
            QTest::keyClick(name, Qt::Key_Return);
            if (dialog->isVisible()) {
                dialog->reject();
            }
        });
        QTest::mouseClick(window.SaveButton, Qt::LeftButton);
        EXPECT_EQ(filters,
            (QStringList { QStringLiteral("テキストファイル (*.txt)"),
                QStringLiteral("CSV ファイル (*.csv)") }));
        EXPECT_EQ(directory, Folder() + QStringLiteral("/new"));
        const QByteArray written
            = ReadFile(Folder() + QStringLiteral("/new/") + QString::fromUtf8(c.written));
        EXPECT_EQ(written.toStdString(), c.bytes);
    }
}

TEST_F(ResultWindowTest, AReportThatCannotBeSavedSaysSo)
{
    const engine::RunReport report = SampleReport(Folder());
    ui::Form1& form = OpenForm();
    ui::ResultWindow window(report, common::PathStyle::Posix, &form);
    EXPECT_FALSE(window.SaveReport(
        Folder() + QStringLiteral("/no/such/folder/r.txt"), ui::ReportFormat::Text));
    EXPECT_TRUE(window.SaveReport(Folder() + QStringLiteral("/r.txt"), ui::ReportFormat::Text));
    EXPECT_EQ(
        ReadFile(Folder() + QStringLiteral("/r.txt")).toStdString(), engine::ReportText(report));
}

TEST_F(ResultWindowTest, OpenShowsTheNewFolderInTheFileManager)
{
    engine::RunReport report = SampleReport(Folder());
    ui::Form1& form = OpenForm();
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &catcher, "Open");
    {
        ui::ResultWindow window(report, common::PathStyle::Posix, &form);
        window.show();
        QTest::mouseClick(window.OpenButton, Qt::LeftButton);
    }
    // A name that is not UTF-8 keeps its bytes in the address.
    report.newFolder = u"/tmp/x" + std::u16string(1, char16_t(0xDC00 + 0x83)) + u"/";
    {
        ui::ResultWindow window(report, common::PathStyle::Posix, &form);
        window.show();
        QTest::mouseClick(window.OpenButton, Qt::LeftButton);
    }
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
    ASSERT_EQ(catcher.opened.size(), 2);
    EXPECT_EQ(catcher.opened[0], QUrl::fromLocalFile(Folder() + QStringLiteral("/new/")));
    EXPECT_EQ(catcher.opened[1].toEncoded(), QByteArray("file:///tmp/x%83/"));
}

// A run through the window over these files (CP932, under org/), whose report is then opened.
class ChangesPaneTest : public ResultWindowTest {
protected:
    ui::Form1& RunOver(const std::vector<std::pair<QString, QString>>& files)
    {
        for (const auto& [name, text] : files) {
            WriteFile(Folder() + QStringLiteral("/org/") + name, Cp932(text));
        }
        WriteFile(Folder() + QStringLiteral("/rules.txt"), Cp932(QStringLiteral("名前,氏名\r\n")));
        QDir().mkpath(Folder() + QStringLiteral("/new"));
        ui::Form1& form = OpenForm();
        FillBoxes(form, Folder() + QStringLiteral("/rules.txt"));
        QTest::mouseClick(form.Command2, Qt::LeftButton);
        EXPECT_EQ(form.LastReport().result, u"リプレース完了。");
        return form;
    }
    static QString Title(const ui::ResultWindow& window)
    {
        return window.Changes->TitleLabel->text();
    }
    static int Current(const ui::ResultWindow& window)
    {
        return window.Changes->ChangeList->currentIndex().row();
    }
    static QString Change(const ui::ResultWindow& window, int row)
    {
        const QAbstractItemModel* model = window.Changes->ChangeList->model();
        return model->data(model->index(row, 0), Qt::AccessibleTextRole).toString();
    }
};

TEST_F(ChangesPaneTest, ShowsTheChosenFilesChangesAndStepsThroughThem)
{
    ui::Form1& form = RunOver(
        { { QStringLiteral("a.frm"), QStringLiteral("Dim 名前\r\nx\r\ny\r\n名前 = 1\r\n") },
            { QStringLiteral("b.frm"), QStringLiteral("' 名前\r\n") },
            { QStringLiteral("c.frm"), QStringLiteral("same\r\n") } });
    ui::ResultWindow window(form.LastReport(), common::NativePathStyle(), &form);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

    // The first file shows at once, each change with its lines on both sides.
    EXPECT_EQ(Title(window), QStringLiteral("a.frm（変更箇所 2）"));
    ASSERT_EQ(window.Changes->ChangeList->model()->rowCount(), 2);
    EXPECT_EQ(Change(window, 0), QStringLiteral("ORG 1 行目  →  NEW 1 行目\n-Dim 名前\n+Dim 氏名"));
    EXPECT_EQ(Change(window, 1), QStringLiteral("ORG 4 行目  →  NEW 4 行目\n-名前 = 1\n+氏名 = 1"));

    // F8 goes from change to change and on to the next file; Shift+F8 back to the last change.
    QTest::keyClick(&window, Qt::Key_F8);
    EXPECT_EQ(Current(window), 0);
    QTest::keyClick(&window, Qt::Key_F8);
    EXPECT_EQ(Current(window), 1);
    QTest::keyClick(&window, Qt::Key_F8);
    EXPECT_EQ(window.ChangedTable->currentRow(), 1);
    EXPECT_EQ(Title(window), QStringLiteral("b.frm（変更箇所 1）"));
    EXPECT_EQ(Current(window), 0);
    QTest::keyClick(&window, Qt::Key_F8);
    EXPECT_EQ(window.ChangedTable->currentRow(), 1) << "the last file's last change stays";
    QTest::keyClick(&window, Qt::Key_F8, Qt::ShiftModifier);
    EXPECT_EQ(Title(window), QStringLiteral("a.frm（変更箇所 2）"));
    EXPECT_EQ(Current(window), 1);
    QTest::mouseClick(window.Changes->NextButton, Qt::LeftButton);
    EXPECT_EQ(Title(window), QStringLiteral("b.frm（変更箇所 1）"));

    // A click on a file, and the arrow keys in the table, choose it; Enter goes to its changes
    // and leaves the window open.
    window.ChangedTable->setFocus();
    QTest::keyClick(window.ChangedTable, Qt::Key_Up);
    EXPECT_EQ(Title(window), QStringLiteral("a.frm（変更箇所 2）"));
    const QRect second = window.ChangedTable->visualItemRect(window.ChangedTable->item(1, 0));
    QTest::mouseClick(window.ChangedTable->viewport(), Qt::LeftButton, {}, second.center());
    EXPECT_EQ(Title(window), QStringLiteral("b.frm（変更箇所 1）"));
    QTest::keyClick(window.ChangedTable, Qt::Key_Return);
    EXPECT_TRUE(window.isVisible());
    EXPECT_TRUE(window.Changes->ChangeList->hasFocus());
    EXPECT_EQ(Current(window), 0);
    // Ctrl+C there copies the change as text.
    QTest::keyClick(window.Changes->ChangeList, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QGuiApplication::clipboard()->text(),
        QStringLiteral("ORG 1 行目  →  NEW 1 行目\n-' 名前\n+' 氏名"));
}

TEST_F(ChangesPaneTest, AFileChangedAfterTheRunSaysSoInsteadOfItsChanges)
{
    ui::Form1& form = RunOver({ { QStringLiteral("a.frm"), QStringLiteral("名前\r\n") },
        { QStringLiteral("b.frm"), QStringLiteral("名前\r\n") } });
    // The copy of a.frm, then the input b.frm, written since the run.
    WriteFile(Folder() + QStringLiteral("/new/org/a.frm"), Cp932(QStringLiteral("手で直した\r\n")));
    ui::ResultWindow window(form.LastReport(), common::NativePathStyle(), &form);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    EXPECT_EQ(Title(window), QStringLiteral("a.frm: 実行後に変更されています"));
    EXPECT_EQ(window.Changes->ChangeList->model()->rowCount(), 0);
    QTest::keyClick(&window, Qt::Key_F8);
    EXPECT_EQ(Title(window), QStringLiteral("b.frm（変更箇所 1）"));
    WriteFile(Folder() + QStringLiteral("/org/b.frm"), Cp932(QStringLiteral("名前 \r\n")));
    window.ChangedTable->setCurrentCell(0, 0);
    window.ChangedTable->setCurrentCell(1, 0);
    EXPECT_EQ(Title(window), QStringLiteral("b.frm: 実行後に変更されています"));
}

TEST_F(ChangesPaneTest, ALargeFileShowsItsFirstChangesAndFindsMoreAsItScrolls)
{
    QString text;
    constexpr int changed = 20000;
    for (int i = 0; i < changed; ++i) {
        text += QStringLiteral("名前 %1\r\nsame\r\n").arg(i);
    }
    ui::Form1& form = RunOver({ { QStringLiteral("big.frm"), text } });
    ui::ResultWindow window(form.LastReport(), common::NativePathStyle(), &form);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    QAbstractItemModel* model = window.Changes->ChangeList->model();
    // Qt's own checks of the model: rows are announced before they are counted.
    QAbstractItemModelTester tester(model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    EXPECT_LT(model->rowCount(), 1000) << "only the first changes are found on opening";
    EXPECT_TRUE(Title(window).endsWith(QStringLiteral(" 以上）"))) << Title(window).toStdString();

    // Scrolling to the end finds the rest, a batch at a time.
    QScrollBar* bar = window.Changes->ChangeList->verticalScrollBar();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            bar->setValue(bar->maximum());
            return model->rowCount() == changed;
        },
        20000));
    EXPECT_EQ(Title(window), QStringLiteral("big.frm（変更箇所 %1）").arg(changed));
    EXPECT_EQ(Change(window, changed - 1),
        QStringLiteral("ORG %1 行目  →  NEW %1 行目\n-名前 %2\n+氏名 %2")
            .arg(2 * changed - 1)
            .arg(changed - 1));
}

} // namespace

#include "ResultWindowTest.moc"
