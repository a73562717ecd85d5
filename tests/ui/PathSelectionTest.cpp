#include "ui/CommonDialog.h"
#include "ui/Form1.h"

#include "UiTestSupport.h"

#include "common/Paths.h"
#include "platform/FileName.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QDropEvent>
#include <QFileDialog>
#include <QFontInfo>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include <gtest/gtest.h>

namespace {

using uitest::FakeDialog;
using uitest::ToQt;

QString Typed(const char16_t* path) { return uitest::Typed(QString::fromUtf16(path)); }
QString Shown(const char16_t* path) { return uitest::Shown(QString::fromUtf16(path)); }

class PathSelectionTest : public uitest::FormTest {
protected:
    // Drags the data over the control and drops it there, as the file manager does.
    static bool Drop(QWidget* control, const QMimeData& data)
    {
        const QPoint middle = control->rect().center();
        QDragEnterEvent enter(middle, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(control, &enter);
        QDropEvent drop(QPointF(middle), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(control, &drop);
        return enter.isAccepted();
    }
};

std::unique_ptr<QMimeData> FileList(const QStringList& paths)
{
    auto data = std::make_unique<QMimeData>();
    QList<QUrl> urls;
    for (const QString& path : paths) {
        urls << QUrl::fromLocalFile(path);
    }
    data->setUrls(urls);
    return data;
}

TEST_F(PathSelectionTest, DropsSetTheirBoxFromTheFirstItem)
{
    const QString src = Folder() + QStringLiteral("/Src/Forms");
    const QString out = Folder() + QStringLiteral("/Out");
    QDir().mkpath(src);
    QDir().mkpath(out + QStringLiteral("/v.2"));
    uitest::WriteFile(src + QStringLiteral("/Main.frm"), "x");
    uitest::WriteFile(Folder() + QStringLiteral("/Defs/Rules.TXT"), "a,b");
    const QString keep = QStringLiteral("(unchanged)");

    const struct {
        const char* what;
        QStringList paths; // empty: dragged text instead of files
        QString text1, text2, text3;
    } cases[] = {
        { "a folder", { src }, src + QStringLiteral("/*.*"), src + u'/', src },
        { "a file in it", { src + QStringLiteral("/Main.frm") }, src + QStringLiteral("/*.*"),
            src + u'/', src + QStringLiteral("/Main.frm") },
        { "a folder with a dot", { out + QStringLiteral("/v.2") }, out + QStringLiteral("/*.*"),
            out + u'/', out + QStringLiteral("/v.2") },
        { "the file-system root", { QStringLiteral("/") }, QStringLiteral("//*.*"),
            QStringLiteral("//"), QStringLiteral("/") },
        { "three files at once",
            { Folder() + QStringLiteral("/Defs/Rules.TXT"), src + QStringLiteral("/Main.frm"),
                out },
            Folder() + QStringLiteral("/Defs/*.*"), Folder() + QStringLiteral("/Defs/"),
            Folder() + QStringLiteral("/Defs/Rules.TXT") },
        { "dragged text", {}, keep, keep, keep },
    };
    ui::Form1& form = OpenForm();
    QLineEdit* const boxes[] = { form.Text1, form.Text2, form.Text3 };
    for (const auto& c : cases) {
        SCOPED_TRACE("row " + std::to_string(&c - std::data(cases)));
        for (int i = 0; i < 3; ++i) {
            QLineEdit* box = boxes[i];
            box->setText(keep);
            form.Command2->setFocus();
            std::unique_ptr<QMimeData> data;
            if (c.paths.isEmpty()) {
                data = std::make_unique<QMimeData>();
                data->setText(QStringLiteral("/dragged/Text"));
            } else {
                data = FileList(c.paths);
            }
            const bool accepted = Drop(box, *data);
            EXPECT_EQ(accepted, !c.paths.isEmpty())
                << c.what << " on " << box->objectName().toStdString();
            const QString expected[] = { c.text1, c.text2, c.text3 };
            EXPECT_EQ(box->text(), uitest::Shown(expected[i]))
                << c.what << " on " << box->objectName().toStdString();
            EXPECT_EQ(QApplication::focusWidget(), form.Command2) << "the focus stays where it was";
        }
    }
}

// A Linux name need not be UTF-8; the box must still name the very same bytes. Windows names
// are UTF-16, so there is no such name there.
#ifndef _WIN32
TEST_F(PathSelectionTest, ADroppedNameThatIsNotUtf8KeepsItsBytes)
{
    ui::Form1& form = OpenForm();
    QMimeData data;
    data.setUrls(
        { QUrl::fromEncoded("file:///tmp/%83%5C%83%5B%83X.frm") }); // "ソース.frm" in CP932
    Drop(form.Text3, data);
    const std::string expected = std::string("/tmp/") + "\x83\x5C\x83\x5B\x83" + "X.frm";
    EXPECT_EQ(platform::EncodeFileName(form.Text3->text().toStdU16String()), expected);
}
#endif

TEST_F(PathSelectionTest, OnlyThePathBoxesTakeDrops)
{
    ui::Form1& form = OpenForm();
    QStringList accepting;
    for (const QWidget* control : form.findChildren<QWidget*>()) {
        if (control->acceptDrops()) {
            accepting << control->objectName();
        }
    }
    accepting.sort();
    EXPECT_EQ(accepting,
        (QStringList {
            QStringLiteral("Text1"), QStringLiteral("Text2"), QStringLiteral("Text3") }));
    EXPECT_FALSE(form.acceptDrops());
}

TEST_F(PathSelectionTest, BrowseButtonsAndFileEntriesFillTheirBox)
{
    const std::u16string sourceFilter = u"ソースファイル(*.frm;*.bas;*.cls)|*.frm;*.bas;*.cls"
                                        u"|ウェブファイル(*.htm;*.asp;*.cgi)|*.htm;*.asp;*.cgi"
                                        u"|すべてのファイル(*.*)|*.*";
    const std::u16string definitionFilter
        = u"テキストファイル(*.txt;*.def)|*.txt;*.def|すべてのファイル(*.*)|*.*";
    ui::Form1& form = OpenForm();
    const struct {
        QPushButton* button;
        QAction* entry;
        QLineEdit* box;
        std::u16string title;
        std::u16string filter;
        QString chosen;
        QString expected;
    } cases[] = {
        { form.Command1, form.IDM_ORGFLD, form.Text1, u"ORG ソース", sourceFilter,
            Typed(u" /Src/Main.frm "), Shown(u"/Src/Main.frm") },
        { form.Command5, form.IDM_NEWFLD, form.Text2, u"NEW ソース", sourceFilter,
            Typed(u"/Out/A.frm"), Shown(u"/Out/") },
        { form.Command6, form.IDM_REPFIL, form.Text3, u"リプレース定義", definitionFilter,
            Typed(u"/Defs/Rules.TXT"), Shown(u"/Defs/Rules.TXT") },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("row " + std::to_string(&c - std::data(cases)));
        for (const bool byMenu : { false, true }) {
            for (const bool cancel : { false, true }) {
                const std::string what = c.box->objectName().toStdString()
                    + (byMenu ? " by menu" : " by button")
                    + (cancel ? ", cancelled" : ", confirmed");
                FakeDialog dialog;
                dialog.choice = c.chosen.toStdU16String();
                dialog.cancel = cancel;
                form.SetDialogControl(&dialog);
                c.box->setText(Typed(u" /Was/There.frm"));
                form.Check1->setFocus();
                if (byMenu) {
                    c.entry->trigger();
                } else {
                    QTest::mouseClick(c.button, Qt::LeftButton);
                }
                const std::vector<std::u16string> expectedCalls = { u"DialogTitle=" + c.title,
                    u"InitDir=" + Shown(u"/Was/").toStdU16String(),
                    u"FileName=" + uitest::Cased(QStringLiteral("There.frm")).toStdU16String(),
                    u"Filter=" + c.filter, u"CancelError=true", u"ShowOpen" };
                EXPECT_EQ(dialog.calls, expectedCalls) << what;
                EXPECT_EQ(c.box->text(), cancel ? Typed(u" /Was/There.frm") : c.expected) << what;
                EXPECT_EQ(QApplication::focusWidget(), c.box) << what;
            }
        }
    }
    form.SetDialogControl(nullptr);
}

TEST(CommonDialog, FiltersBecomeQtNameFilters)
{
    EXPECT_EQ(
        ui::QtNameFilters(
            u"ソースファイル(*.frm;*.bas;*.cls)|*.frm;*.bas;*.cls"
            u"|ウェブファイル(*.htm;*.asp;*.cgi)|*.htm;*.asp;*.cgi|すべてのファイル(*.*)|*.*"),
        (QStringList { QStringLiteral("ソースファイル(*.frm;*.bas;*.cls) (*.frm *.bas *.cls)"),
            QStringLiteral("ウェブファイル(*.htm;*.asp;*.cgi) (*.htm *.asp *.cgi)"),
            QStringLiteral("すべてのファイル(*.*) (*.*)") }));
    EXPECT_EQ(
        ui::QtNameFilters(u"Text|*.txt|dangling"), QStringList { QStringLiteral("Text (*.txt)") });
    EXPECT_TRUE(ui::QtNameFilters(u"").isEmpty());
}

// The real dialog, opened by a real click: its title, filters and folder, then OK or Cancel.
TEST_F(PathSelectionTest, TheRealDialogOpensFromTheBrowseButton)
{
    const QString defs = Folder() + QStringLiteral("/Defs");
    uitest::WriteFile(defs + QStringLiteral("/Rules.txt"), "a,b");
    uitest::WriteFile(defs + QStringLiteral("/Other.txt"), "c,d");
    ui::Form1& form = OpenForm();
    for (const bool confirm : { false, true }) {
        form.Text3->setText(uitest::Typed(defs + QStringLiteral("/Rules.txt")));
        bool shown = false;
        QString title;
        QStringList filters;
        QString directory;
        QString font;
        uitest::WhenModalShows([&](QWidget* modal) {
            auto* dialog = qobject_cast<QFileDialog*>(modal);
            ASSERT_NE(dialog, nullptr);
            shown = true;
            title = dialog->windowTitle();
            filters = dialog->nameFilters();
            directory = dialog->directory().absolutePath();
            font = QFontInfo(dialog->font()).family();
            if (confirm) {
                dialog->selectFile(defs + QStringLiteral("/Other.txt"));
                static_cast<QDialog*>(dialog)->accept();
            } else {
                dialog->reject();
            }
        });
        QTest::mouseClick(form.Command6, Qt::LeftButton);
        EXPECT_TRUE(shown);
        EXPECT_EQ(title, QStringLiteral("リプレース定義"));
        EXPECT_EQ(filters,
            (QStringList { QStringLiteral("テキストファイル(*.txt;*.def) (*.txt *.def)"),
                QStringLiteral("すべてのファイル(*.*) (*.*)") }));
        EXPECT_EQ(uitest::Cased(directory), uitest::Cased(defs));
        EXPECT_EQ(font, QFontInfo(form.font()).family()) << "the window's Japanese font";
        EXPECT_EQ(form.Text3->text(),
            confirm ? uitest::Shown(defs + QStringLiteral("/Other.txt"))
                    : uitest::Typed(defs + QStringLiteral("/Rules.txt")));
        EXPECT_EQ(form.focusWidget(), form.Text3);
        EXPECT_EQ(QDir::currentPath(), Folder());
    }
}

// The dialog sets no must-exist flag: a typed name that does not exist is returned as typed, so
// an empty folder for the copies can be chosen.
TEST_F(PathSelectionTest, TheRealDialogTakesATypedNameThatDoesNotExist)
{
    const QString out = Folder() + QStringLiteral("/out");
    QDir().mkpath(out);
    ui::Form1& form = OpenForm();
    const std::pair<QPushButton*, QLineEdit*> browses[] = { { form.Command1, form.Text1 },
        { form.Command5, form.Text2 }, { form.Command6, form.Text3 } };
    for (const auto& [button, box] : browses) {
        SCOPED_TRACE(button->objectName().toStdString());
        box->setText(uitest::Typed(out + QStringLiteral("/")));
        uitest::WhenModalShows([&](QWidget* modal) {
            auto* name = modal->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            ASSERT_NE(name, nullptr);
            name->setText(QStringLiteral("x"));
            // A dialog that refused the name would show a message box: closed, so the test ends.
            QTimer::singleShot(3000, [] {
                for (int i = 0; i < 3 && QApplication::activeModalWidget() != nullptr; ++i) {
                    QApplication::activeModalWidget()->close();
                }
            });
            QTest::keyClick(name, Qt::Key_Return);
            if (modal->isVisible()) {
                static_cast<QDialog*>(modal)->reject();
            }
        });
        QTest::mouseClick(button, Qt::LeftButton);
        const std::u16string typed = uitest::Typed(out + QStringLiteral("/x")).toStdU16String();
        EXPECT_EQ(box->text().toStdU16String(),
            button == form.Command5
                ? common::NormalizePath(typed)
                : uitest::Cased(QString::fromStdU16String(typed)).toStdU16String());
    }
}

} // namespace
