#include "common/qt/FileDialog.h"

#include "UiTestSupport.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <filesystem>

namespace {

using common::PathStyle;
using uitest::FakeDialog;

const std::u16string Filter
    = u"テキストファイル(*.txt;*.def)|*.txt;*.def|すべてのファイル(*.*)|*.*";

TEST(FileDialog, SetsThePropertiesInOrderFromThePath)
{
    const struct {
        PathStyle style;
        std::u16string path;
        std::u16string initDir;
        std::u16string fileName;
    } cases[] = {
        { PathStyle::Windows, u"C:\\Src\\Form1.frm", u"c:\\src\\", u"form1.frm" },
        { PathStyle::Windows, u"C:\\Src", u"c:\\src\\", u"src" },
        { PathStyle::Windows, u"", u"\\", u"" },
        { PathStyle::Windows, u"c:\\src\\*.*", u"c:\\src\\", u"*.*" },
        { PathStyle::Windows, u"c:\\src\\", u"c:\\src\\\\", u"" },
        { PathStyle::Posix, u"/Src/Form1.frm", u"/Src/", u"Form1.frm" },
        { PathStyle::Posix, u"/Src", u"/Src/", u"Src" },
        { PathStyle::Posix, u"", u"/", u"" },
        { PathStyle::Posix, u"/src/*.*", u"/src/", u"*.*" },
        { PathStyle::Posix, u"  /src/  ", u"/src//", u"" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("row " + std::to_string(&c - std::data(cases)));
        for (const bool save : { false, true }) {
            FakeDialog dialog;
            dialog.cancel = true;
            std::u16string path = c.path;
            common::ShowFileDialog(dialog, u"リプレース定義", save, Filter, path, c.style);
            const std::vector<std::u16string> expected = { u"DialogTitle=リプレース定義",
                u"InitDir=" + c.initDir, u"FileName=" + c.fileName, u"Filter=" + Filter,
                u"CancelError=true", save ? u"ShowSave" : u"ShowOpen" };
            EXPECT_EQ(dialog.calls, expected) << uitest::ToQt(c.path).toStdString();
        }
    }
}

TEST(FileDialog, AConfirmedChoiceComesBackTidied)
{
    const struct {
        PathStyle style;
        std::u16string choice;
        std::u16string expected;
    } cases[] = {
        { PathStyle::Windows, u"  C:\\Out\\Main.FRM  ", u"c:\\out\\main.frm" },
        { PathStyle::Posix, u"  /Out/Main.FRM  ", u"/Out/Main.FRM" },
        { PathStyle::Posix, u"/ソース/ﾌｫｰﾑ.frm", u"/ソース/ﾌｫｰﾑ.frm" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("row " + std::to_string(&c - std::data(cases)));
        FakeDialog dialog;
        dialog.choice = c.choice;
        std::u16string path = u"/before";
        EXPECT_TRUE(common::ShowFileDialog(dialog, u"t", false, Filter, path, c.style));
        EXPECT_EQ(path, c.expected);
    }
}

TEST(FileDialog, ACancelLeavesThePathExactly)
{
    FakeDialog cancelled;
    cancelled.cancel = true;
    std::u16string path = u"  C:\\Src\\Form1.FRM ";
    EXPECT_FALSE(common::ShowFileDialog(cancelled, u"t", false, Filter, path, PathStyle::Windows));
    EXPECT_EQ(path, u"  C:\\Src\\Form1.FRM ");

    // Any failure of the dialog counts as a cancel.
    FakeDialog failing;
    failing.whileShown = [] { throw std::bad_alloc(); };
    EXPECT_FALSE(common::ShowFileDialog(failing, u"t", false, Filter, path, PathStyle::Posix));
    EXPECT_EQ(path, u"  C:\\Src\\Form1.FRM ");
}

TEST(FileDialog, TheWorkingDirectoryIsTheSameAfterwards)
{
    QTemporaryDir elsewhere;
    ASSERT_TRUE(elsewhere.isValid());
    const auto before = std::filesystem::current_path();
    for (const bool cancel : { false, true }) {
        FakeDialog dialog;
        dialog.cancel = cancel;
        dialog.choice = u"/x/y.txt";
        dialog.whileShown = [&] { QDir::setCurrent(elsewhere.path()); };
        std::u16string path = u"/a/b.txt";
        common::ShowFileDialog(dialog, u"t", false, Filter, path, PathStyle::Posix);
        EXPECT_EQ(std::filesystem::current_path(), before) << (cancel ? "cancel" : "confirm");
    }
}

} // namespace
