#pragma once

#include "common/qt/FileDialog.h"
#include "ui/Form1.h"

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>
#include <initializer_list>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

// GoogleTest prints Qt's strings as text (found by argument-dependent lookup, so global).
inline void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}
inline void PrintTo(const QStringList& texts, std::ostream* out)
{
    *out << '{' << texts.join(QStringLiteral(" | ")).toStdString() << '}';
}

namespace uitest {

#ifdef _WIN32
// Qt's offscreen platform on Windows draws with the fonts of one folder only, none unless told:
// the Japanese font the Linux tests measure with when it is there (under wine), else the
// system's fonts. Called before the application is made.
void GiveTheOffscreenPlatformFonts();
#endif

// A path written with forward slashes as a user of this system types it (backslashes on
// Windows), and as the window shows it once tidied (there also in lower case).
QString Typed(const QString& path);
QString Shown(const QString& path);
// A text as the window keeps a path's letter case: lowered where the file system ignores case.
QString Cased(const QString& path);

// One entry the window saved, and how the settings file must hold the saving: byte for byte as
// our own profile code writes it, and on Windows, whose profile functions decide the layout, by
// what they read back of each entry.
struct SavedEntry {
    const char16_t* section;
    const char16_t* key;
    QString value;
};
void ExpectSaved(
    const QString& iniPath, const QByteArray& bytes, std::initializer_list<SavedEntry> entries);

QString ToQt(const std::u16string& text);

// Writes bytes to a file, creating its folders.
void WriteFile(const QString& path, const QByteArray& bytes);
QByteArray ReadFile(const QString& path);
QByteArray Cp932(const QString& text);

// Runs the action on the next modal dialog as soon as it shows; the action must close it.
void WhenModalShows(std::function<void(QWidget*)> action);

// A dialog control that records what was set on it and answers as told.
class FakeDialog final : public common::DialogControl {
public:
    void SetDialogTitle(const std::u16string& title) override;
    void SetInitDir(const std::u16string& folder) override;
    void SetFileName(const std::u16string& name) override;
    std::u16string FileName() const override { return fileName; }
    void SetFilter(const std::u16string& filter) override;
    void SetCancelError(bool on) override;
    void ShowOpen() override { Show(u"ShowOpen"); }
    void ShowSave() override { Show(u"ShowSave"); }

    // What to do when shown: confirm this path, or cancel (throwing only with CancelError on).
    std::u16string choice;
    bool cancel = false;
    std::function<void()> whileShown;

    std::vector<std::u16string> calls; // "Property=value" and the Show call, in order
    std::u16string fileName;
    bool cancelError = false;

private:
    void Show(const char16_t* call);
};

// Each test runs in a folder of its own, which is the working directory while a Form1 loads.
class FormTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Creates the window in the test's folder (or the given one) and shows it.
    ui::Form1& OpenForm(const QString& workingDirectory = {});
    QString Folder() const { return m_folder.path(); }
    QString IniFile() const { return m_folder.path() + QStringLiteral("/vandor.ini"); }

    std::unique_ptr<ui::Form1> m_form;

private:
    QTemporaryDir m_folder { QDir::tempPath() + QStringLiteral("/vandor-ui-XXXXXX") };
    QString m_savedDirectory;
};

} // namespace uitest
