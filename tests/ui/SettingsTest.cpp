#include "tests/support/SysCallsGuard.h"
#include "ui/Form1.h"

#include "UiTestSupport.h"

#include "platform/SysCalls.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>

#include <gtest/gtest.h>

#include <cerrno>

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

using uitest::ReadFile;
using uitest::WriteFile;

class SettingsTest : public uitest::FormTest {
protected:
    // Opens the window while the settings file cannot be read, if told.
    ui::Form1& OpenUnreadable(bool failReads);
};

TEST_F(SettingsTest, FirstStartHasEmptyBoxesAndExitCreatesTheFile)
{
    ui::Form1& form = OpenForm();
    EXPECT_EQ(
        form.IniPath, uitest::Shown(Folder() + QStringLiteral("/vandor.ini")).toStdU16String());
    EXPECT_TRUE(form.Text1->text().isEmpty());
    EXPECT_TRUE(form.Text2->text().isEmpty());
    EXPECT_TRUE(form.Text3->text().isEmpty());
    EXPECT_FALSE(QFile::exists(IniFile())) << "loading creates nothing";
    form.Command4_Click();
    uitest::ExpectSaved(IniFile(), QByteArray("[file]\r\norg=\r\nnew=\r\nrep=\r\n"),
        { { u"file", u"org", QString() }, { u"file", u"new", QString() },
            { u"file", u"rep", QString() } });
}

TEST_F(SettingsTest, StoredValuesFillTheBoxes)
{
    const QByteArray a199(199, 'a');
    const struct {
        const char* what;
        QByteArray file;
        QString text1, text2, text3;
    } cases[] = {
        { "capitals and spaces: trimmed, case kept where the file system does",
            "[FILE]\r\nOrg =  /Src/Forms  \r\nNEW=\"/Out/\"\r\n",
            uitest::Cased(QStringLiteral("/Src/Forms")), uitest::Cased(QStringLiteral("/Out/")),
            QString() },
        { "199 characters whole", "[file]\r\nrep=/" + a199.left(198) + "\r\n", QString(), QString(),
            QStringLiteral("/") + QString::fromLatin1(a199.left(198)) },
        { "a long path read whole", "[file]\r\nrep=/" + a199 + "/" + a199 + "\r\n", QString(),
            QString(),
            QStringLiteral("/") + QString::fromLatin1(a199) + u'/' + QString::fromLatin1(a199) },
        { "a CP932 file written on Windows",
            uitest::Cp932(QStringLiteral("[file]\r\norg=/ソース/*.*\r\nrep=/定義/ルール.txt\r\n")),
            QStringLiteral("/ソース/*.*"), QString(), QStringLiteral("/定義/ルール.txt") },
        { "keys of another section", "[other]\r\norg=/no\r\n", QString(), QString(), QString() },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("row " + std::to_string(&c - std::data(cases)));
        WriteFile(IniFile(), c.file);
        ui::Form1& form = OpenForm();
        EXPECT_EQ(form.Text1->text(), c.text1) << c.what;
        EXPECT_EQ(form.Text2->text(), c.text2) << c.what;
        EXPECT_EQ(form.Text3->text(), c.text3) << c.what;
    }
}

TEST_F(SettingsTest, OtherSectionsAndCommentsSurviveExit)
{
    WriteFile(IniFile(),
        "; kept\r\n[window]\r\nleft=10\r\n\r\n[file]\r\norg=/a\r\n; note\r\n[last]\r\nx=1");
    ui::Form1& form = OpenForm();
    form.Text2->setText(QStringLiteral("/b/"));
    form.Command4_Click();
    uitest::ExpectSaved(IniFile(),
        QByteArray("; kept\r\n[window]\r\nleft=10\r\n\r\n[file]\r\norg=/a\r\nnew=/b/\r\nrep=\r\n; "
                   "note\r\n[last]\r\nx=1\r\n"),
        { { u"window", u"left", QStringLiteral("10") }, { u"file", u"org", QStringLiteral("/a") },
            { u"file", u"new", QStringLiteral("/b/") }, { u"last", u"x", QStringLiteral("1") } });
    EXPECT_TRUE(ReadFile(IniFile()).contains("; kept\r\n"));
    EXPECT_TRUE(ReadFile(IniFile()).contains("; note\r\n"));

    // A CP932 file stays CP932, so the Windows program still reads it.
    WriteFile(IniFile(), uitest::Cp932(QStringLiteral("[file]\r\norg=/ソース\r\n")));
    ui::Form1& again = OpenForm();
    again.Text3->setText(QStringLiteral("/定義.txt"));
    again.Command4_Click();
    uitest::ExpectSaved(IniFile(),
        uitest::Cp932(QStringLiteral("[file]\r\norg=/ソース\r\nnew=\r\nrep=/定義.txt\r\n")),
        { { u"file", u"org", QStringLiteral("/ソース") },
            { u"file", u"rep", QStringLiteral("/定義.txt") } });
    EXPECT_TRUE(ReadFile(IniFile()).contains(uitest::Cp932(QStringLiteral("/定義.txt"))));
}

#ifdef _WIN32
// Windows reads the file itself: another program holding it open, sharing nothing, keeps it out.
ui::Form1& SettingsTest::OpenUnreadable(bool failReads)
{
    HANDLE held = INVALID_HANDLE_VALUE;
    if (failReads) {
        held = CreateFileW(reinterpret_cast<const wchar_t*>(IniFile().utf16()), GENERIC_READ, 0,
            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        EXPECT_NE(held, INVALID_HANDLE_VALUE);
    }
    ui::Form1& form = OpenForm();
    if (held != INVALID_HANDLE_VALUE) {
        CloseHandle(held);
    }
    return form;
}
#else
ssize_t FailingRead(int, void*, std::size_t)
{
    errno = EIO;
    return -1;
}

ui::Form1& SettingsTest::OpenUnreadable(bool failReads)
{
    testing_support::SysCallsGuard calls;
    if (failReads) {
        calls->read = FailingRead;
    }
    ui::Form1& form = OpenForm();
    calls->read = platform::RealSysCalls().read;
    return form;
}
#endif

// A settings file that cannot be read reads as empty, and the write at exit fails silently.
TEST_F(SettingsTest, AnUnreadableSettingsFileGivesEmptyBoxesAndASilentExit)
{
    for (const bool folder : { true, false }) {
        QFile::remove(IniFile());
        QDir(IniFile()).removeRecursively();
        if (folder) {
            QDir().mkpath(IniFile());
        } else {
            WriteFile(IniFile(), "[file]\r\norg=/src\r\n");
        }
        ui::Form1& form = OpenUnreadable(!folder);
        EXPECT_TRUE(form.Text1->text().isEmpty()) << folder;
        EXPECT_TRUE(form.Text2->text().isEmpty()) << folder;
        EXPECT_TRUE(form.Text3->text().isEmpty()) << folder;
        form.Text1->setText(QStringLiteral("/typed"));
        if (folder) {
            form.Command4_Click();
            EXPECT_FALSE(form.isVisible());
            EXPECT_TRUE(QFileInfo(IniFile()).isDir());
        }
    }
    QDir(IniFile()).removeRecursively();
}

TEST_F(SettingsTest, TheFileIsFixedAtLoadInTheStartFolder)
{
    const QString other = Folder() + QStringLiteral("/other");
    const QString dotted = Folder() + QStringLiteral("/my.dir");
    QDir().mkpath(other);
    QDir().mkpath(dotted);
    WriteFile(other + QStringLiteral("/vandor.ini"), "[file]\r\norg=/from-other\r\n");

    // Started elsewhere: that folder's file, not this one's.
    ui::Form1& fromOther = OpenForm(other);
    EXPECT_EQ(fromOther.Text1->text(), QStringLiteral("/from-other"));

    ui::Form1& form = OpenForm();
    EXPECT_TRUE(form.Text1->text().isEmpty());
    QDir::setCurrent(other);
    form.Text1->setText(QStringLiteral("/here"));
    form.Command4_Click();
    uitest::ExpectSaved(IniFile(), QByteArray("[file]\r\norg=/here\r\nnew=\r\nrep=\r\n"),
        { { u"file", u"org", QStringLiteral("/here") } });
    EXPECT_EQ(ReadFile(other + QStringLiteral("/vandor.ini")),
        QByteArray("[file]\r\norg=/from-other\r\n"));

    // A dot in the working directory's path makes its last name count as a file name.
    ui::Form1& fromDotted = OpenForm(dotted);
    EXPECT_EQ(fromDotted.IniPath, uitest::Shown(IniFile()).toStdU16String());
}

} // namespace
