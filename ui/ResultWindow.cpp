#include "ui/ResultWindow.h"

#include "engine/ReportText.h"
#include "platform/Cp932.h"
#include "platform/FileName.h"
#include "ui/Appearance.h"
#include "ui/ChangesPane.h"
#include "ui/ScreenFit.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QListView>
#include <QMessageBox>
#include <QPushButton>
#include <QSaveFile>
#include <QShortcut>
#include <QSplitter>
#include <QTableWidget>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>

namespace ui {

namespace {

const QString TextFilter = QStringLiteral("テキストファイル (*.txt)");
const QString CsvFilter = QStringLiteral("CSV ファイル (*.csv)");

QString ToQt(const std::u16string& text) { return QString::fromStdU16String(text); }

// A cell that shows the text and tells nothing more; sorting compares its text.
QTableWidgetItem* TextCell(const QString& text, const QString& tip = {})
{
    auto* cell = new QTableWidgetItem(text);
    cell->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    cell->setToolTip(tip.isEmpty() ? text : tip);
    return cell;
}

// A count, which sorts as a number.
QTableWidgetItem* NumberCell(std::uint64_t value)
{
    auto* cell = new QTableWidgetItem;
    cell->setData(Qt::DisplayRole, QVariant::fromValue<qulonglong>(value));
    cell->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    cell->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return cell;
}

// A table with room for rows at least, so that the window fits a small screen with every part
// shown.
QTableWidget* MakeTable(QWidget* parent, const char* name, const QStringList& headings, int rows)
{
    auto* table = new QTableWidget(0, static_cast<int>(headings.size()), parent);
    table->setObjectName(QLatin1String(name));
    table->setHorizontalHeaderLabels(headings);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setWordWrap(false);
    table->setTextElideMode(Qt::ElideMiddle);
    table->verticalHeader()->hide();
    table->verticalHeader()->setDefaultSectionSize(table->fontMetrics().lineSpacing() + 8);
    table->horizontalHeader()->setHighlightSections(false);
    table->setMinimumHeight(table->horizontalHeader()->sizeHint().height()
        + rows * table->verticalHeader()->defaultSectionSize() + 2 * table->frameWidth());
    return table;
}

QLabel* MakeLabel(QWidget* parent, const char* name)
{
    auto* label = new QLabel(parent);
    label->setObjectName(QLatin1String(name));
    label->setTextFormat(Qt::PlainText);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

QString Counted(const QString& title, std::size_t count)
{
    return title + QStringLiteral("（%1）").arg(static_cast<qulonglong>(count));
}

} // namespace

ReportFormat ReportFormatFor(const QString& fileName, bool csvFilterChosen)
{
    const QString suffix = QFileInfo(fileName).suffix();
    if (suffix.compare(QStringLiteral("csv"), Qt::CaseInsensitive) == 0) {
        return ReportFormat::Csv;
    }
    if (suffix.compare(QStringLiteral("txt"), Qt::CaseInsensitive) == 0) {
        return ReportFormat::Text;
    }
    return csvFilterChosen ? ReportFormat::Csv : ReportFormat::Text;
}

QUrl FolderUrl(const std::u16string& folder)
{
    if (std::none_of(folder.begin(), folder.end(), platform::IsEscapeUnit)) {
        return QUrl::fromLocalFile(ToQt(folder));
    }
    const std::string bytes = platform::EncodeFileName(folder);
    return QUrl::fromEncoded(QByteArrayLiteral("file://")
        + QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())).toPercentEncoding("/"));
}

ResultWindow::ResultWindow(const engine::RunReport& report, common::PathStyle style, QWidget* owner)
    : QDialog(owner)
    , m_report(report)
    , m_style(style)
{
    setObjectName(QStringLiteral("ResultWindow"));
    setWindowTitle(QStringLiteral("実行結果"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint
        | Qt::WindowSystemMenuHint | Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint);
    setFont(JapaneseFont(9));

    PathsLabel = MakeLabel(this, "PathsLabel");
    PathsLabel->setText(ToQt(engine::Readable(u"ORG ソースフォルダ: " + report.org
        + u"\nNEW ソースフォルダ: " + report.newFolder + u"\nリプレース定義: " + report.definition
        + u"\n結果: " + report.result)));
    ChangedLabel = MakeLabel(this, "ChangedLabel");
    ChangedLabel->setText(Counted(QStringLiteral("変更したファイル"), report.changed.size()));
    ChangedTable = MakeTable(this, "ChangedTable",
        { QStringLiteral("パス"), QStringLiteral("文字コード"), QStringLiteral("置換数"),
            QStringLiteral("内訳") },
        2);
    Changes = new ChangesPane(this);
    ChangedSplitter = new QSplitter(Qt::Vertical, this);
    ChangedSplitter->setObjectName(QStringLiteral("ChangedSplitter"));
    ChangedSplitter->setChildrenCollapsible(false);
    ChangedSplitter->addWidget(ChangedTable);
    ChangedSplitter->addWidget(Changes);
    OtherLabel = MakeLabel(this, "OtherLabel");
    OtherLabel->setText(Counted(QStringLiteral("除外したファイルとフォルダ"), report.skipped.size())
        + QStringLiteral("、")
        + Counted(QStringLiteral("処理できなかったファイル"), report.unhandled.size())
        + QStringLiteral("、")
        + Counted(
            QStringLiteral("どのファイルにも一致しなかった対"), report.unmatchedPairs.size()));
    OtherTable = MakeTable(this, "OtherTable",
        { QStringLiteral("種別"), QStringLiteral("パス・対"), QStringLiteral("理由") }, 1);
    // What was left over goes below the changes, in the splitter too: the changes take the room
    // the window has, and a drag gives it to the rest.
    auto* other = new QWidget(this);
    auto* otherLayout = new QVBoxLayout(other);
    otherLayout->setContentsMargins(0, 0, 0, 0);
    otherLayout->addWidget(OtherLabel);
    otherLayout->addWidget(OtherTable, 1);
    ChangedSplitter->addWidget(other);
    ChangedSplitter->setStretchFactor(0, 3);
    ChangedSplitter->setStretchFactor(1, 4);
    ChangedSplitter->setStretchFactor(2, 1);
    SummaryLabel = MakeLabel(this, "SummaryLabel");
    SummaryLabel->setText(ToQt(engine::SummaryLine(report)));

    SaveButton = new QPushButton(QStringLiteral("保存(&S)..."), this);
    SaveButton->setObjectName(QStringLiteral("SaveButton"));
    OpenButton = new QPushButton(QStringLiteral("NEW フォルダを開く(&O)"), this);
    OpenButton->setObjectName(QStringLiteral("OpenButton"));
    CloseButton = new QPushButton(QStringLiteral("閉じる"), this);
    CloseButton->setObjectName(QStringLiteral("CloseButton"));
    CloseButton->setDefault(true);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(SaveButton);
    buttons->addWidget(OpenButton);
    buttons->addStretch();
    buttons->addWidget(CloseButton);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(PathsLabel);
    layout->addWidget(ChangedLabel);
    layout->addWidget(ChangedSplitter, 1);
    layout->addWidget(SummaryLabel);
    layout->addLayout(buttons);

    connect(ChangedTable, &QTableWidget::currentCellChanged, this, &ResultWindow::ShowChanges);
    FillChanged();
    FillOther();
    // The first file's changes show at once; F8 goes to the first of them.
    if (ChangedTable->rowCount() > 0) {
        ChangedTable->setCurrentCell(0, 0);
    }

    connect(SaveButton, &QPushButton::clicked, this, &ResultWindow::SaveButton_Click);
    connect(OpenButton, &QPushButton::clicked, this, &ResultWindow::OpenButton_Click);
    connect(CloseButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(Changes, &ChangesPane::PastLast, this, [this] { StepFile(1); });
    connect(Changes, &ChangesPane::BeforeFirst, this, [this] { StepFile(-1); });
    // F8 and Shift+F8 step through the changes from wherever the focus is, as in the editors
    // that compare files.
    auto* next = new QShortcut(QKeySequence(Qt::Key_F8), this);
    connect(next, &QShortcut::activated, Changes->NextButton, &QPushButton::click);
    auto* previous = new QShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F8), this);
    connect(previous, &QShortcut::activated, Changes->PreviousButton, &QPushButton::click);
    ChangedTable->installEventFilter(this);

    resize(820, 640);
    FitToOwnerScreen(this, owner);
}

QString ResultWindow::ShownPath(const std::u16string& path) const
{
    // From the ORG folder down: the folder is the ORG text up to its last separator.
    QString whole = ToQt(engine::Readable(path));
    const std::size_t folderEnd = m_report.org.rfind(common::Separator(m_style));
    if (folderEnd == std::u16string::npos) {
        return whole;
    }
    const QString folder = ToQt(engine::Readable(m_report.org.substr(0, folderEnd + 1)));
    return whole.startsWith(folder) && whole.size() > folder.size() ? whole.mid(folder.size())
                                                                    : whole;
}

void ResultWindow::FillChanged()
{
    ChangedTable->setRowCount(static_cast<int>(m_report.changed.size()));
    int row = 0;
    for (const engine::ChangedFile& file : m_report.changed) {
        // The cell's tip holds the whole path.
        QTableWidgetItem* path = TextCell(ShownPath(file.path), ToQt(engine::Readable(file.path)));
        path->setData(Qt::UserRole, row);
        ChangedTable->setItem(row, 0, path);
        ChangedTable->setItem(row, 1, TextCell(ToQt(engine::EncodingName(file.encoding))));
        ChangedTable->setItem(row, 2, NumberCell(engine::TotalReplacements(file)));
        ChangedTable->setItem(row, 3, TextCell(ToQt(engine::PairCounts(m_report, file))));
        ++row;
    }
    QHeaderView* header = ChangedTable->horizontalHeader();
    header->setSectionResizeMode(0, QHeaderView::Interactive);
    header->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    header->setSectionResizeMode(2, QHeaderView::ResizeToContents);
    header->setStretchLastSection(true);
    ChangedTable->setSortingEnabled(true);
    ChangedTable->sortByColumn(0, Qt::AscendingOrder);
    ChangedTable->resizeColumnToContents(0);
    ChangedTable->setColumnWidth(0, std::clamp(ChangedTable->columnWidth(0), 200, 320));
}

void ResultWindow::ShowChanges()
{
    const int row = ChangedTable->currentRow();
    const QTableWidgetItem* path = row < 0 ? nullptr : ChangedTable->item(row, 0);
    if (!path) {
        Changes->ShowFile(nullptr, {});
        return;
    }
    const auto index = static_cast<std::size_t>(path->data(Qt::UserRole).toInt());
    std::unique_ptr<engine::FileChanges> file;
    if (index < m_report.edits.size()) {
        file
            = std::make_unique<engine::FileChanges>(m_report.changed[index], m_report.edits[index]);
    }
    Changes->ShowFile(std::move(file), path->text());
}

void ResultWindow::StepFile(int step)
{
    const int row = ChangedTable->currentRow() + step;
    if (row < 0 || row >= ChangedTable->rowCount()) {
        return;
    }
    ChangedTable->setCurrentCell(row, 0);
    if (step > 0) {
        Changes->SelectFirst();
    } else {
        Changes->SelectLast();
    }
}

bool ResultWindow::eventFilter(QObject* watched, QEvent* event)
{
    // Enter on a file goes to its changes, rather than closing the window by its default button.
    if (watched == ChangedTable && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            if (!Changes->ChangeList->currentIndex().isValid()) {
                Changes->SelectFirst();
            }
            Changes->ChangeList->setFocus();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void ResultWindow::FillOther()
{
    const std::size_t rows
        = m_report.skipped.size() + m_report.unhandled.size() + m_report.unmatchedPairs.size();
    OtherTable->setRowCount(static_cast<int>(rows));
    int row = 0;
    const auto add = [&](const char16_t* kind, const QString& what, const QString& whole,
                         const std::u16string& reason) {
        OtherTable->setItem(row, 0, TextCell(QString::fromUtf16(kind)));
        OtherTable->setItem(row, 1, TextCell(what, whole));
        OtherTable->setItem(row, 2, TextCell(ToQt(reason)));
        ++row;
    };
    for (const auto& [path, reason] : m_report.skipped) {
        add(u"除外", ShownPath(path), ToQt(engine::Readable(path)), engine::SkipReasonText(reason));
    }
    for (const auto& [path, reason] : m_report.unhandled) {
        add(u"処理不可", ShownPath(path), ToQt(engine::Readable(path)),
            engine::FailureReasonText(reason));
    }
    for (const int pair : m_report.unmatchedPairs) {
        const QString name = ToQt(engine::PairName(m_report, pair));
        add(u"一致なし", name, name, u"どのファイルにも一致しませんでした");
    }
    QHeaderView* header = OtherTable->horizontalHeader();
    header->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    header->setSectionResizeMode(1, QHeaderView::Interactive);
    header->setStretchLastSection(true);
    OtherTable->setSortingEnabled(true);
    OtherTable->sortByColumn(0, Qt::AscendingOrder);
    OtherTable->resizeColumnToContents(1);
    OtherTable->setColumnWidth(1, std::clamp(OtherTable->columnWidth(1), 200, 420));
}

void ResultWindow::SaveButton_Click()
{
    // Exceptions never cross the event loop: a save that fails this way is a save not made.
    try {
        SaveWithDialog();
    } catch (const std::exception&) {
    }
}

void ResultWindow::SaveWithDialog()
{
    QFileDialog dialog(this, QStringLiteral("実行結果の保存"), ToQt(m_report.newFolder));
    dialog.setObjectName(QStringLiteral("SaveDialog"));
    dialog.setFont(font());
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilters({ TextFilter, CsvFilter });
    dialog.setDefaultSuffix(QStringLiteral("txt"));
    // A name typed without an extension takes the chosen filter's.
    connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog](const QString& filter) {
        dialog.setDefaultSuffix(
            filter == CsvFilter ? QStringLiteral("csv") : QStringLiteral("txt"));
    });
    dialog.selectFile(QStringLiteral("実行結果.txt"));
    FitToOwnerScreen(&dialog, this);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return;
    }
    const QString fileName = dialog.selectedFiles().constFirst();
    if (!SaveReport(
            fileName, ReportFormatFor(fileName, dialog.selectedNameFilter() == CsvFilter))) {
        QMessageBox::warning(this, windowTitle(),
            QStringLiteral("【エラー】 実行結果を保存できませんでした。\n") + fileName);
    }
}

bool ResultWindow::SaveReport(const QString& fileName, ReportFormat format) const
{
    std::string bytes;
    try {
        bytes = format == ReportFormat::Csv ? engine::ReportCsv(m_report)
                                            : engine::ReportText(m_report);
    } catch (const std::exception&) {
        return false;
    }
    // Written under a temporary name and renamed when whole, like the copies.
    QSaveFile file(fileName);
    return file.open(QIODevice::WriteOnly)
        && file.write(bytes.data(), static_cast<qint64>(bytes.size()))
        == static_cast<qint64>(bytes.size())
        && file.commit();
}

void ResultWindow::OpenButton_Click() { QDesktopServices::openUrl(FolderUrl(m_report.newFolder)); }

} // namespace ui
