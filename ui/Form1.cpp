#include "ui/Form1.h"

#include "common/Profile.h"
#include "common/qt/Controls.h"
#include "common/qt/FileDialog.h"
#include "engine/Messages.h"
#include "engine/RunCommand.h"
#include "platform/FileName.h"
#include "platform/FileSystem.h"
#include "platform/LowerCase.h"
#include "ui/Appearance.h"
#include "ui/CommonDialog.h"
#include "ui/KivAbout.h"
#include "ui/ResultWindow.h"
#include "ui/StatusText.h"
#include "ui/Twips.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QDropEvent>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QTextDocument>
#include <QUrl>

#include <filesystem>
#include <optional>

namespace ui {

namespace {

const std::u16string OrgTitle = u"ORG ソース";
const std::u16string NewTitle = u"NEW ソース";
const std::u16string DefinitionTitle = u"リプレース定義";
const std::u16string SourceFilter
    = std::u16string(u"ソースファイル(*.frm;*.bas;*.cls)|*.frm;*.bas;*.cls")
    + u"|ウェブファイル(*.htm;*.asp;*.cgi)|*.htm;*.asp;*.cgi" + u"|すべてのファイル(*.*)|*.*";
const std::u16string DefinitionFilter
    = u"テキストファイル(*.txt;*.def)|*.txt;*.def|すべてのファイル(*.*)|*.*";
const std::u16string IniFileName = u"vandor.ini";
const std::u16string IniSection = u"file";

constexpr qint64 FlushIntervalMs = 30;

QString ToQt(const std::u16string& text) { return QString::fromStdU16String(text); }

engine::CheckState CheckValue(const QCheckBox* box)
{
    switch (box->checkState()) {
    case Qt::Checked:
        return engine::CheckState::Ticked;
    case Qt::PartiallyChecked:
        return engine::CheckState::Greyed;
    case Qt::Unchecked:
        break;
    }
    return engine::CheckState::Clear;
}

// The first dropped item as the file manager gave it. Names are bytes on Linux, so they are
// taken from the URL's percent-encoding rather than through a text decoding that could lose some.
// On Windows a name is UTF-16 and the URL of a drive path is file:///Z:/dir, whose path part
// (/Z:/dir) is no Windows path: the local file is taken, with backslashes.
std::optional<std::u16string> FirstDroppedPath(const QMimeData& data)
{
    if (!data.hasUrls()) {
        return std::nullopt;
    }
    const QList<QUrl> urls = data.urls();
    if (urls.isEmpty() || !urls.constFirst().isLocalFile()) {
        return std::nullopt;
    }
#ifdef _WIN32
    const QString local = QDir::toNativeSeparators(urls.constFirst().toLocalFile());
    if (local.isEmpty()) {
        return std::nullopt;
    }
    return local.toStdU16String();
#else
    const QByteArray bytes
        = QByteArray::fromPercentEncoding(urls.constFirst().path(QUrl::FullyEncoded).toLatin1());
    if (bytes.isEmpty()) {
        return std::nullopt;
    }
    return platform::DecodeFileName(
        std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
#endif
}

// Exceptions never cross the event loop: an action that fails ends as if it had not been asked.
template <typename Action> void Guarded(Action&& action) noexcept
{
    try {
        action();
    } catch (const std::exception&) {
    }
}

QAction* AddEntry(QMenu* menu, const char* name, const QString& caption)
{
    QAction* entry = menu->addAction(caption);
    entry->setObjectName(QLatin1String(name));
    return entry;
}

QAction* AddSeparator(QMenu* menu, const char* name)
{
    QAction* separator = menu->addSeparator();
    separator->setObjectName(QLatin1String(name));
    return separator;
}

} // namespace

Form1::Form1(QWidget* parent)
    : QDialog(parent)
    , CommonDialog1(std::make_unique<CommonDialog>(this))
    , m_dialogControl(CommonDialog1.get())
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("ヴァンドール"));
    // A fixed frame on Windows, as the window has a fixed size: without the hint the frame is a
    // resizing one, which window managers under wine offer to resize and maximise.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint
        | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint
        | Qt::MSWindowsFixedSizeDialogHint);
    setWindowIcon(AppIcon());
    // The platform default of the Japanese systems the window is drawn for. Menus and dialogs are
    // windows of their own, which do not inherit it: each is given it.
    setFont(JapaneseFont(9));

    CreateMenu();
    CreateControls();
    setFixedSize(TwipsToPixels(7320), ClientTop() + TwipsToPixels(3360));

    Form_Load();
}

Form1::~Form1() = default;

void Form1::CreateMenu()
{
    MenuBar = new QMenuBar(this);
    MenuBar->setObjectName(QStringLiteral("MenuBar"));
    IDM_FILE = MenuBar->addMenu(QStringLiteral("&File"));
    IDM_FILE->setObjectName(QStringLiteral("IDM_FILE"));
    IDM_ORGFLD = AddEntry(IDM_FILE, "IDM_ORGFLD", QStringLiteral("ORG ソースフォルダ(&O)..."));
    IDM_NEWFLD = AddEntry(IDM_FILE, "IDM_NEWFLD", QStringLiteral("NEW ソースフォルダ(&N)..."));
    IDM_REPFIL = AddEntry(IDM_FILE, "IDM_REPFIL", QStringLiteral("リプレース定義(&D)..."));
    IDM_FSP1 = AddSeparator(IDM_FILE, "IDM_FSP1");
    IDM_RUN = AddEntry(IDM_FILE, "IDM_RUN", QStringLiteral("実行(&R)"));
    IDM_RESULT = AddEntry(IDM_FILE, "IDM_RESULT", QStringLiteral("実行結果(&L)..."));
    IDM_FSP2 = AddSeparator(IDM_FILE, "IDM_FSP2");
    IDM_EXIT = AddEntry(IDM_FILE, "IDM_EXIT", QStringLiteral("終了(&X)"));
    IDM_HELP = MenuBar->addMenu(QStringLiteral("&Help"));
    IDM_HELP->setObjectName(QStringLiteral("IDM_HELP"));
    IDM_ABOUT = AddEntry(IDM_HELP, "IDM_ABOUT", QStringLiteral("&About..."));
    IDM_FILE->setFont(font());
    IDM_HELP->setFont(font());

    connect(IDM_ORGFLD, &QAction::triggered, this, &Form1::IDM_ORGFLD_Click);
    connect(IDM_NEWFLD, &QAction::triggered, this, &Form1::IDM_NEWFLD_Click);
    connect(IDM_REPFIL, &QAction::triggered, this, &Form1::IDM_REPFIL_Click);
    connect(IDM_RUN, &QAction::triggered, this, &Form1::IDM_RUN_Click);
    connect(IDM_RESULT, &QAction::triggered, this, &Form1::IDM_RESULT_Click);
    connect(IDM_EXIT, &QAction::triggered, this, &Form1::IDM_EXIT_Click);
    connect(IDM_ABOUT, &QAction::triggered, this, &Form1::IDM_ABOUT_Click);

    MenuBar->setGeometry(0, 0, TwipsToPixels(7320), MenuBar->sizeHint().height());
}

int Form1::ClientTop() const { return MenuBar->height(); }

void Form1::CreateControls()
{
    const int top = ClientTop();
    const auto place = [top](QWidget* control, const char* name, QRect geometry) {
        control->setObjectName(QLatin1String(name));
        control->setGeometry(geometry.translated(0, top));
    };
    const auto makeBox = [&](const char* name, QRect geometry) {
        auto* box = new QLineEdit(this);
        place(box, name, geometry);
        box->setFont(JapaneseFont(9.75));
        box->setAcceptDrops(true);
        box->installEventFilter(this);
        return box;
    };
    const auto makeButton = [&](const char* name, const QString& caption, QRect geometry) {
        auto* button = new QPushButton(caption, this);
        place(button, name, geometry);
        // A focused button takes Enter itself; the Run button is the default only otherwise.
        button->setAutoDefault(true);
        return button;
    };
    const auto makeCheck = [&](const char* name, const QString& caption, QRect geometry) {
        auto* check = new QCheckBox(caption, this);
        place(check, name, geometry);
        return check;
    };
    const auto makeLabel = [&](const char* name, const QString& caption, QRect geometry) {
        auto* label = new QLabel(caption, this);
        place(label, name, geometry);
        label->setTextFormat(Qt::PlainText);
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        return label;
    };

    const auto rule = MakeEtchedRule(this, top, TwipsToPixels(7440));
    Line1[1] = rule[0];
    Line1[0] = rule[1];
    Line1[0]->setObjectName(QStringLiteral("Line1(0)"));
    Line1[1]->setObjectName(QStringLiteral("Line1(1)"));

    // Created in tab order.
    Text1 = makeBox("Text1", TwipRect(1800, 120, 4695, 330));
    Command1 = makeButton("Command1", QStringLiteral("参照"), TwipRect(6600, 120, 615, 330));
    Text2 = makeBox("Text2", TwipRect(1800, 600, 4695, 330));
    Command5 = makeButton("Command5", QStringLiteral("参照"), TwipRect(6600, 600, 615, 330));
    Text3 = makeBox("Text3", TwipRect(1800, 1080, 4695, 330));
    Command6 = makeButton("Command6", QStringLiteral("参照"), TwipRect(6600, 1080, 615, 330));
    Check1 = makeCheck(
        "Check1", QStringLiteral("サブフォルダ内もリプレース"), TwipRect(1800, 1560, 4695, 255));
    Check2 = makeCheck("Check2", QStringLiteral("修正マーク挿入"), TwipRect(1800, 1920, 4695, 255));
    Command2 = makeButton("Command2", QStringLiteral("実行"), TwipRect(1200, 2880, 1695, 375));
    Command4 = makeButton("Command4", QStringLiteral("終了"), TwipRect(4440, 2880, 1695, 375));
    Label1
        = makeLabel("Label1", QStringLiteral("ORG ソースフォルダ:"), TwipRect(120, 120, 1695, 255));
    Label2 = makeLabel("Label2",
        QStringLiteral("上のフォルダ、リプレース定義指定は、ドロップできます。"),
        TwipRect(120, 2280, 7095, 495));
    Label3
        = makeLabel("Label3", QStringLiteral("NEW ソースフォルダ:"), TwipRect(120, 600, 1695, 255));
    Label4 = makeLabel("Label4", QStringLiteral("リプレース定義:"), TwipRect(120, 1080, 1335, 255));
    Label2->setWordWrap(true);
    // The text can be selected and copied; it stays plain text.
    Label2->setTextInteractionFlags(Qt::TextSelectableByMouse);
    ShowStatus(Label2->text());

    QWidget* const tabOrder[]
        = { Text1, Command1, Text2, Command5, Text3, Command6, Check1, Check2, Command2, Command4 };
    for (std::size_t i = 1; i < std::size(tabOrder); ++i) {
        setTabOrder(tabOrder[i - 1], tabOrder[i]);
    }

    Check1->setChecked(true);
    Check2->setChecked(false);
    Command2->setDefault(true);
    EnableResultEntry();

    connect(Command1, &QPushButton::clicked, this, &Form1::Command1_Click);
    connect(Command5, &QPushButton::clicked, this, &Form1::Command5_Click);
    connect(Command6, &QPushButton::clicked, this, &Form1::Command6_Click);
    connect(Command2, &QPushButton::clicked, this, &Form1::Command2_Click);
    connect(Command4, &QPushButton::clicked, this, &Form1::Command4_Click);
}

void Form1::SetDialogControl(common::DialogControl* dialog)
{
    m_dialogControl = dialog != nullptr ? dialog : CommonDialog1.get();
}

void Form1::Form_Load()
{
    IDM_ABOUT->setText(windowTitle() + QStringLiteral(" について(&A)..."));

    Guarded([this] { LoadPaths(); });
}

void Form1::LoadPaths()
{
    std::error_code error;
    const std::filesystem::path workingDirectory = std::filesystem::current_path(error);
    if (!error) {
        const std::u16string defaultPath
            = common::NormalizePath(platform::NativePath(workingDirectory.native()).Text(), m_style)
            + IniFileName;
        IniPath = common::GetIniName(
            static_cast<std::uintptr_t>(internalWinId()), defaultPath, defaultPath);
    }

    Text1->setText(ToQt(common::ReadProfileString(IniPath, IniSection, u"org", true, m_style)));
    Text2->setText(ToQt(common::ReadProfileString(IniPath, IniSection, u"new", true, m_style)));
    Text3->setText(ToQt(common::ReadProfileString(IniPath, IniSection, u"rep", true, m_style)));
}

void Form1::Form_Unload()
{
    // A write that cannot be done is silent; the program ends all the same.
    Guarded([this] {
        common::WriteProfileString(IniPath, IniSection, u"org", Text1->text().toStdU16String());
        common::WriteProfileString(IniPath, IniSection, u"new", Text2->text().toStdU16String());
        common::WriteProfileString(IniPath, IniSection, u"rep", Text3->text().toStdU16String());
    });
}

void Form1::BrowseInto(
    QLineEdit* box, const std::u16string& title, const std::u16string& filter, bool folderOnly)
{
    Guarded([&] {
        std::u16string path = box->text().toStdU16String();
        if (common::ShowFileDialog(*m_dialogControl, title, false, filter, path, m_style)) {
            box->setText(ToQt(folderOnly ? common::NormalizePath(path, m_style) : path));
        }
    });
    box->setFocus();
}

void Form1::Command1_Click() { BrowseInto(Text1, OrgTitle, SourceFilter, false); }

void Form1::Command5_Click() { BrowseInto(Text2, NewTitle, SourceFilter, true); }

void Form1::Command6_Click() { BrowseInto(Text3, DefinitionTitle, DefinitionFilter, false); }

void Form1::Text1_OLEDragDrop(const QMimeData& data)
{
    if (const auto path = FirstDroppedPath(data)) {
        Text1->setText(ToQt(common::NormalizePath(*path, m_style) + u"*.*"));
    }
}

void Form1::Text2_OLEDragDrop(const QMimeData& data)
{
    if (const auto path = FirstDroppedPath(data)) {
        Text2->setText(ToQt(common::NormalizePath(*path, m_style)));
    }
}

void Form1::Text3_OLEDragDrop(const QMimeData& data)
{
    if (const auto path = FirstDroppedPath(data)) {
        // Not trimmed: the file manager gives the name exactly.
        Text3->setText(
            ToQt(m_style == common::PathStyle::Windows ? platform::LowerCase(*path) : *path));
    }
}

void Form1::Command2_Click()
{
    m_running = true;
    m_sinceFlush.invalidate();
    struct RunEnd {
        Form1& form;
        ~RunEnd()
        {
            form.ShowPendingCaption();
            form.m_running = false;
        }
    } runEnd { *this };
    try {
        // The edits are kept for the changes 実行結果 shows.
        engine::RunReport report = engine::RunReplace(*this, m_style, true);
        // A click that ended at the empty-box check did nothing: the last report still holds.
        if (report.ran) {
            m_lastReport = std::move(report);
        }
    } catch (const std::exception&) {
        // The run reports its own failures; this only keeps the window usable after one it could
        // not.
        SetControlsEnabled(true);
    }
    EnableResultEntry();
}

void Form1::Command4_Click() { close(); }

void Form1::IDM_ORGFLD_Click() { Command1_Click(); }

void Form1::IDM_NEWFLD_Click() { Command5_Click(); }

void Form1::IDM_REPFIL_Click() { Command6_Click(); }

void Form1::IDM_RUN_Click() { Command2_Click(); }

void Form1::IDM_RESULT_Click()
{
    if (!m_lastReport.ran) {
        return;
    }
    Guarded([this] {
        ResultWindow result(m_lastReport, m_style, this);
        result.exec();
    });
}

void Form1::IDM_EXIT_Click() { Command4_Click(); }

void Form1::IDM_ABOUT_Click()
{
    KivAbout about(this);
    about.setWindowTitle(windowTitle() + QStringLiteral(" について"));
    about.Title->setText(windowTitle());
    about.PgmVer->setText(QStringLiteral("vandor.exe version " VANDOR_VERSION));
    about.Notice->setText(QStringLiteral("Copyright (C) 2026 ヴァンドール開発チーム"));
    about.exec();
}

void Form1::reject()
{
    if (Command4->isEnabled()) {
        Command4_Click();
    }
}

void Form1::closeEvent(QCloseEvent* event)
{
    // Ending in the middle of a run would leave files half written.
    if (m_running) {
        event->ignore();
        return;
    }
    Form_Unload();
    event->accept();
}

void Form1::showEvent(QShowEvent* event)
{
    // The window system places the main window; a dialog would centre itself on the screen, so
    // QDialog's own is passed over.
    // NOLINTNEXTLINE(bugprone-parent-virtual-call)
    QWidget::showEvent(event);
}

bool Form1::eventFilter(QObject* watched, QEvent* event)
{
    auto* box = qobject_cast<QLineEdit*>(watched);
    if (box == nullptr || (box != Text1 && box != Text2 && box != Text3)) {
        return QDialog::eventFilter(watched, event);
    }
    switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
        // Only a file list may be dropped; the boxes never take dragged text.
        auto* drag = static_cast<QDragMoveEvent*>(event);
        bool fileList = false;
        Guarded([&] { fileList = FirstDroppedPath(*drag->mimeData()).has_value(); });
        if (box->isEnabled() && fileList) {
            drag->acceptProposedAction();
        } else {
            drag->ignore();
        }
        return true;
    }
    case QEvent::Drop: {
        auto* drop = static_cast<QDropEvent*>(event);
        if (box->isEnabled()) {
            Guarded([&] {
                if (box == Text1) {
                    Text1_OLEDragDrop(*drop->mimeData());
                } else if (box == Text2) {
                    Text2_OLEDragDrop(*drop->mimeData());
                } else {
                    Text3_OLEDragDrop(*drop->mimeData());
                }
            });
        }
        drop->acceptProposedAction();
        return true;
    }
    default:
        return QDialog::eventFilter(watched, event);
    }
}

QLineEdit* Form1::Box(engine::PathBox box) const
{
    switch (box) {
    case engine::PathBox::Org:
        return Text1;
    case engine::PathBox::New:
        return Text2;
    case engine::PathBox::Definition:
        break;
    }
    return Text3;
}

void Form1::ShowPendingCaption()
{
    if (m_captionPending) {
        m_captionPending = false;
        if (m_captionIsName) {
            m_caption = engine::messages::Replacing + m_captionName.Text();
            m_captionIsName = false;
        }
        ShowStatus(ToQt(platform::ReadableName(m_caption)));
    }
}

void Form1::ShowStatus(const QString& text)
{
    // The tip holds the whole text, shown as plain text even where it looks like markup.
    Label2->setToolTip(Qt::mightBeRichText(text)
            ? QStringLiteral("<p style=\"white-space:pre-wrap\">") + text.toHtmlEscaped()
                + QStringLiteral("</p>")
            : text);
    Label2->setText(FitStatusText(text, QChar(common::Separator(m_style)),
        [this](const QString& candidate) { return FitsLabel(*Label2, candidate); }));
}

void Form1::EnableResultEntry()
{
    IDM_RESULT->setEnabled(IDM_RUN->isEnabled() && m_lastReport.ran);
}

void Form1::SetStatusText(const std::u16string& text)
{
    m_caption = text;
    m_captionIsName = false;
    m_captionPending = true;
    if (!m_running) {
        ShowPendingCaption();
    }
}

void Form1::ShowReplacing(const platform::NativePath& name)
{
    // The walk names every file; only the name the label shows is made text.
    m_captionName = name;
    m_captionIsName = true;
    m_captionPending = true;
    if (!m_running) {
        ShowPendingCaption();
    }
}

engine::CheckState Form1::SubfoldersOption() const { return CheckValue(Check1); }

void Form1::ProcessPendingEvents()
{
    if (m_running && m_sinceFlush.isValid() && !m_sinceFlush.hasExpired(FlushIntervalMs)) {
        return;
    }
    ShowPendingCaption();
    QCoreApplication::processEvents();
    m_sinceFlush.start();
}

std::u16string Form1::BoxText(engine::PathBox box) const
{
    return Box(box)->text().toStdU16String();
}

void Form1::SetBoxText(engine::PathBox box, const std::u16string& text)
{
    ShowPendingCaption();
    Box(box)->setText(ToQt(text));
}

engine::CheckState Form1::InsertMarkOption() const { return CheckValue(Check2); }

void Form1::SetControlsEnabled(bool enabled)
{
    ShowPendingCaption();
    common::SetControlsEnabled(this, Text1, enabled);
    EnableResultEntry();
}

void Form1::EnableStatusLabel()
{
    ShowPendingCaption();
    Label2->setEnabled(true);
}

void Form1::Beep()
{
    ShowPendingCaption();
    QApplication::beep();
}

std::unique_ptr<platform::FileSystemObject> Form1::CreateFileSystemObject()
{
    return platform::CreateFileSystemObject();
}

} // namespace ui
