#include "UiTestSupport.h"

#include "common/Profile.h"
#include "platform/Cp932.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTest>
#include <QTimer>

namespace uitest {

QString Typed(const QString& path)
{
#ifdef _WIN32
    return QDir::toNativeSeparators(path);
#else
    return path;
#endif
}

QString Shown(const QString& path) { return Cased(Typed(path)); }

QString Cased(const QString& path)
{
#ifdef _WIN32
    return path.toLower();
#else
    return path;
#endif
}

void ExpectSaved(
    const QString& iniPath, const QByteArray& bytes, std::initializer_list<SavedEntry> entries)
{
#ifndef _WIN32
    EXPECT_EQ(ReadFile(iniPath), bytes);
#else
    static_cast<void>(bytes);
#endif
    for (const SavedEntry& entry : entries) {
        EXPECT_EQ(ToQt(common::ReadProfileString(
                      iniPath.toStdU16String(), entry.section, entry.key, false)),
            entry.value)
            << ToQt(entry.section).toStdString() << '/' << ToQt(entry.key).toStdString();
    }
}

#ifdef _WIN32
void GiveTheOffscreenPlatformFonts()
{
    if (!qEnvironmentVariableIsEmpty("QT_QPA_FONTDIR")) {
        return;
    }
    // Wine does not hand variables named QT_* on to its programs, so the folder comes from the
    // build, as a path of wine's drive for the root.
    QString folder = QStringLiteral("Z:" VANDOR_JAPANESE_FONT_DIR);
    if (!QFileInfo(folder).isDir()) {
        folder = qEnvironmentVariable("WINDIR") + QStringLiteral("/Fonts");
    }
    qputenv("QT_QPA_FONTDIR", folder.toLocal8Bit());
}
#endif

QString ToQt(const std::u16string& text) { return QString::fromStdU16String(text); }

void WriteFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    file.write(bytes);
}

QByteArray ReadFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray Cp932(const QString& text)
{
    const std::string bytes = platform::EncodeCp932(text.toStdU16String());
    return QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

void WhenModalShows(std::function<void(QWidget*)> action)
{
    auto* timer = new QTimer;
    auto waited = std::make_shared<QElapsedTimer>();
    waited->start();
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, [timer, action = std::move(action), waited] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal != nullptr && modal->isVisible()) {
            timer->stop();
            timer->deleteLater();
            action(modal);
        } else if (waited->hasExpired(5000)) {
            timer->stop();
            timer->deleteLater();
            ADD_FAILURE() << "no modal dialog showed";
        }
    });
    timer->start();
}

void FakeDialog::SetDialogTitle(const std::u16string& title)
{
    calls.push_back(u"DialogTitle=" + title);
}

void FakeDialog::SetInitDir(const std::u16string& folder) { calls.push_back(u"InitDir=" + folder); }

void FakeDialog::SetFileName(const std::u16string& name)
{
    fileName = name;
    calls.push_back(u"FileName=" + name);
}

void FakeDialog::SetFilter(const std::u16string& filter) { calls.push_back(u"Filter=" + filter); }

void FakeDialog::SetCancelError(bool on)
{
    cancelError = on;
    calls.push_back(on ? u"CancelError=true" : u"CancelError=false");
}

void FakeDialog::Show(const char16_t* call)
{
    calls.push_back(call);
    if (whileShown) {
        whileShown();
    }
    if (cancel) {
        if (cancelError) {
            throw std::runtime_error("cancelled");
        }
        return;
    }
    fileName = choice;
}

void FormTest::SetUp()
{
    ASSERT_TRUE(m_folder.isValid());
    m_savedDirectory = QDir::currentPath();
}

void FormTest::TearDown()
{
    m_form.reset();
    QDir::setCurrent(m_savedDirectory);
}

ui::Form1& FormTest::OpenForm(const QString& workingDirectory)
{
    QDir::setCurrent(workingDirectory.isEmpty() ? Folder() : workingDirectory);
    m_form = std::make_unique<ui::Form1>();
    m_form->show();
    m_form->activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(m_form.get()));
    return *m_form;
}

} // namespace uitest
