#include "ui/ChangesPane.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QListView>
#include <QPainter>
#include <QPushButton>
#include <QShortcut>
#include <QTextLayout>
#include <QVBoxLayout>

#include <algorithm>

namespace ui {

namespace {

// Changes found at first, a few screens of them. Each later batch is as large as all found
// before it, since every batch lays out the rows again: scrolling to the end of half a million
// changes then takes a dozen batches, not thousands.
constexpr std::size_t FoundAtFirst = 200;
constexpr std::size_t KeptRead = 256; // read changes kept for drawing again
constexpr int Padding = 3;

const QColor OrgBackground(0xFF, 0xEE, 0xEE);
const QColor OrgDiffers(0xF4, 0xA6, 0xA6);
const QColor CopyBackground(0xEA, 0xFA, 0xEA);
const QColor CopyDiffers(0x94, 0xDA, 0x94);
const QColor StandIn(0x80, 0x80, 0x80);

QString ToQt(const std::u16string& text) { return QString::fromStdU16String(text); }

// Lines of one side drawn: those read, and one more that counts the rest.
std::uint64_t DrawnLines(std::uint64_t lines)
{
    return lines > ChangeModel::ShownLines ? ChangeModel::ShownLines + 1 : lines;
}

// Where a change stands on one side, in lines counted from 1: with no lines, it comes before one.
QString Where(const char* side, std::uint64_t first, std::uint64_t count)
{
    const QString name = QString::fromLatin1(side);
    if (count == 0) {
        return QStringLiteral("%1 %2 行目の前").arg(name).arg(first);
    }
    if (count == 1) {
        return QStringLiteral("%1 %2 行目").arg(name).arg(first);
    }
    return QStringLiteral("%1 %2～%3 行目").arg(name).arg(first).arg(first + count - 1);
}

QString Heading(const engine::ShownChange& change)
{
    return Where("ORG", change.orgLine, change.orgLines) + QStringLiteral("  →  ")
        + Where("NEW", change.copyLine, change.copyLines);
}

QString Rest(std::uint64_t lines)
{
    return QStringLiteral("…ほか %1 行").arg(lines - ChangeModel::ShownLines);
}

// The change as plain text: its heading, then its lines after - and +.
QString PlainText(const engine::ShownChange& change)
{
    QString text = Heading(change);
    const auto add
        = [&text](const std::vector<engine::ShownLine>& lines, QChar mark, std::uint64_t count) {
              for (const engine::ShownLine& line : lines) {
                  text += QLatin1Char('\n') + mark + ToQt(line.text);
              }
              if (count > lines.size()) {
                  text += QLatin1Char('\n') + mark + Rest(count);
              }
          };
    add(change.org, QLatin1Char('-'), change.orgLines);
    add(change.copy, QLatin1Char('+'), change.copyLines);
    return text;
}

void AddFormats(QList<QTextLayout::FormatRange>& formats,
    const std::vector<engine::TextRange>& ranges, const QTextCharFormat& format)
{
    for (const engine::TextRange& range : ranges) {
        formats.append(
            { static_cast<int>(range.begin), static_cast<int>(range.end - range.begin), format });
    }
}

} // namespace

ChangeModel::ChangeModel(QObject* parent)
    : QAbstractListModel(parent)
{
}

void ChangeModel::SetFile(std::unique_ptr<engine::FileChanges> file)
{
    beginResetModel();
    m_file = std::move(file);
    m_read.clear();
    m_lost = false;
    if (m_file) {
        m_file->FindMore(FoundAtFirst);
    }
    m_lost = m_file && m_file->Status() != engine::FileChanges::State::Ready;
    m_rows = m_file && !m_lost ? static_cast<int>(m_file->Found()) : 0;
    endResetModel();
}

const engine::ShownChange& ChangeModel::Shown(int row)
{
    const auto found = m_read.find(row);
    if (found != m_read.end()) {
        return found->second;
    }
    if (m_read.size() >= KeptRead) {
        m_read.clear();
    }
    const auto at = static_cast<std::size_t>(row);
    engine::ShownChange& shown = m_read[row] = m_file->Read(at, ShownLines, ShownBytes);
    if (m_file->Status() != engine::FileChanges::State::Ready && !m_lost) {
        // Drawing cannot take the rows away; that waits until the drawing is done.
        QMetaObject::invokeMethod(this, &ChangeModel::CheckFile, Qt::QueuedConnection);
    }
    return shown;
}

void ChangeModel::CheckFile()
{
    if (m_lost || !m_file || m_file->Status() == engine::FileChanges::State::Ready) {
        return;
    }
    beginResetModel();
    m_lost = true;
    m_rows = 0;
    m_read.clear();
    endResetModel();
    emit FileLost();
}

int ChangeModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : m_rows; }

QVariant ChangeModel::data(const QModelIndex& index, int role) const
{
    // The whole text in the tip too: a line longer than the list is cut at its edge.
    if (!index.isValid() || index.row() >= rowCount()
        || (role != Qt::AccessibleTextRole && role != Qt::ToolTipRole)) {
        return {};
    }
    return PlainText(const_cast<ChangeModel*>(this)->Shown(index.row()));
}

bool ChangeModel::canFetchMore(const QModelIndex& parent) const
{
    return !parent.isValid() && m_file && !m_lost && !m_fetching && !m_file->AllFound();
}

void ChangeModel::fetchMore(const QModelIndex& parent)
{
    if (!canFetchMore(parent)) {
        return;
    }
    const std::size_t before = m_file->Found();
    m_file->FindMore(std::max(FoundAtFirst, before));
    if (m_file->Status() != engine::FileChanges::State::Ready) {
        CheckFile();
        return;
    }
    if (m_file->Found() > before) {
        m_fetching = true;
        beginInsertRows({}, static_cast<int>(before), static_cast<int>(m_file->Found() - 1));
        m_rows = static_cast<int>(m_file->Found());
        endInsertRows();
        m_fetching = false;
    }
}

ChangeDelegate::ChangeDelegate(ChangeModel& model, QObject* parent)
    : QStyledItemDelegate(parent)
    , m_model(model)
{
}

QSize ChangeDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const engine::ShownChange change
        = m_model.File()->Numbers(static_cast<std::size_t>(index.row()));
    const auto lines = 1 + DrawnLines(change.orgLines) + DrawnLines(change.copyLines);
    // As wide as the list shows: a line longer than that is cut at its edge. Asked for every row
    // whenever rows are added, so it reads nothing and measures no text.
    return { 0, static_cast<int>(lines) * option.fontMetrics.lineSpacing() + 2 * Padding };
}

void ChangeDelegate::paint(
    QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const engine::ShownChange& change = m_model.Shown(index.row());
    const QFontMetrics& metrics = option.fontMetrics;
    const int lineHeight = metrics.lineSpacing();
    const int gutter = metrics.horizontalAdvance(QStringLiteral("＋")) + 2 * Padding;
    const QRect area = option.rect;
    painter->save();
    painter->setClipRect(area);
    painter->fillRect(area, option.palette.base());
    int y = area.top() + Padding;
    painter->setPen(option.palette.text().color());
    painter->drawText(QRect(area.left() + Padding, y, area.width(), lineHeight),
        Qt::AlignLeft | Qt::AlignVCenter, Heading(change));
    y += lineHeight;

    const auto drawSide = [&](const std::vector<engine::ShownLine>& lines, std::uint64_t count,
                              const QString& mark, const QColor& background,
                              const QColor& differs) {
        for (const engine::ShownLine& line : lines) {
            const QRect row(area.left(), y, area.width(), lineHeight);
            painter->fillRect(row, background);
            painter->setPen(option.palette.text().color());
            painter->drawText(QRect(area.left(), y, gutter, lineHeight), Qt::AlignCenter, mark);
            QTextCharFormat differing;
            differing.setBackground(differs);
            QTextCharFormat standIn;
            standIn.setForeground(StandIn);
            QList<QTextLayout::FormatRange> formats;
            AddFormats(formats, line.differs, differing);
            AddFormats(formats, line.shown, standIn);
            QTextLayout layout(ToQt(line.text), option.font, painter->device());
            layout.setFormats(formats);
            QTextOption text;
            text.setWrapMode(QTextOption::NoWrap);
            layout.setTextOption(text);
            layout.beginLayout();
            QTextLine laid = layout.createLine();
            laid.setLineWidth(1e6);
            layout.endLayout();
            layout.draw(
                painter, QPointF(area.left() + gutter, y + (lineHeight - laid.height()) / 2.0));
            y += lineHeight;
        }
        if (count > lines.size()) {
            painter->fillRect(QRect(area.left(), y, area.width(), lineHeight), background);
            painter->setPen(StandIn);
            painter->drawText(QRect(area.left() + gutter, y, area.width(), lineHeight),
                Qt::AlignLeft | Qt::AlignVCenter, Rest(count));
            y += lineHeight;
        }
    };
    drawSide(change.org, change.orgLines, QStringLiteral("－"), OrgBackground, OrgDiffers);
    drawSide(change.copy, change.copyLines, QStringLiteral("＋"), CopyBackground, CopyDiffers);

    if (option.state & QStyle::State_Selected) {
        QPen frame(option.palette.highlight().color(), 2);
        painter->setPen(frame);
        painter->setBrush(Qt::NoBrush);
        painter->drawRect(area.adjusted(1, 1, -1, -1));
    }
    painter->restore();
}

ChangesPane::ChangesPane(QWidget* parent)
    : QWidget(parent)
    , m_model(new ChangeModel(this))
{
    TitleLabel = new QLabel(this);
    TitleLabel->setObjectName(QStringLiteral("ChangesTitle"));
    TitleLabel->setTextFormat(Qt::PlainText);
    ChangeList = new QListView(this);
    ChangeList->setObjectName(QStringLiteral("ChangeList"));
    ChangeList->setModel(m_model);
    ChangeList->setItemDelegate(new ChangeDelegate(*m_model, ChangeList));
    ChangeList->setSelectionMode(QAbstractItemView::SingleSelection);
    ChangeList->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    ChangeList->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    ChangeList->setSpacing(2);
    // Three lines at least: a change's heading and a line of either side.
    ChangeList->setMinimumHeight(
        3 * ChangeList->fontMetrics().lineSpacing() + 2 * Padding + 2 * ChangeList->frameWidth());
    PreviousButton = new QPushButton(QStringLiteral("前の変更(&P)"), this);
    PreviousButton->setObjectName(QStringLiteral("PreviousButton"));
    PreviousButton->setToolTip(QStringLiteral("Shift+F8"));
    PreviousButton->setAutoDefault(false);
    NextButton = new QPushButton(QStringLiteral("次の変更(&N)"), this);
    NextButton->setObjectName(QStringLiteral("NextButton"));
    NextButton->setToolTip(QStringLiteral("F8"));
    NextButton->setAutoDefault(false);

    auto* heading = new QHBoxLayout;
    heading->addWidget(TitleLabel, 1);
    heading->addWidget(PreviousButton);
    heading->addWidget(NextButton);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(heading);
    layout->addWidget(ChangeList, 1);

    connect(PreviousButton, &QPushButton::clicked, this, [this] {
        if (!SelectPrevious()) {
            emit BeforeFirst();
        }
    });
    connect(NextButton, &QPushButton::clicked, this, [this] {
        if (!SelectNext()) {
            emit PastLast();
        }
    });
    // Ctrl+C copies the current change as text: its heading, then its lines after - and +.
    auto* copy
        = new QShortcut(QKeySequence::Copy, ChangeList, nullptr, nullptr, Qt::WidgetShortcut);
    connect(copy, &QShortcut::activated, this, [this] {
        const QModelIndex current = ChangeList->currentIndex();
        if (current.isValid()) {
            QGuiApplication::clipboard()->setText(
                m_model->data(current, Qt::AccessibleTextRole).toString());
        }
    });
    connect(m_model, &ChangeModel::FileLost, this, &ChangesPane::ShowTitle);
    connect(m_model, &QAbstractItemModel::rowsInserted, this, &ChangesPane::ShowTitle);
    ShowFile(nullptr, {});
}

void ChangesPane::ShowFile(std::unique_ptr<engine::FileChanges> file, const QString& name)
{
    m_name = name;
    m_model->SetFile(std::move(file));
    ShowTitle();
}

void ChangesPane::ShowTitle()
{
    const engine::FileChanges* file = m_model->File();
    QString title;
    if (m_name.isEmpty()) {
        title = QStringLiteral("変更箇所: 上の表でファイルを選ぶと、ここに表示されます");
    } else if (!file) {
        title = m_name + QStringLiteral(": 変更箇所は記録されていません");
    } else if (file->Status() == engine::FileChanges::State::ChangedSinceRun) {
        title = m_name + QStringLiteral(": 実行後に変更されています");
    } else if (file->Status() == engine::FileChanges::State::CannotRead) {
        title = m_name + QStringLiteral(": 読み込めませんでした");
    } else {
        title = m_name
            + (file->AllFound() ? QStringLiteral("（変更箇所 %1）")
                                : QStringLiteral("（変更箇所 %1 以上）"))
                  .arg(static_cast<qulonglong>(file->Found()));
    }
    TitleLabel->setText(title);
    TitleLabel->setToolTip(title);
}

void ChangesPane::Select(int row)
{
    const QModelIndex index = m_model->index(row);
    ChangeList->setCurrentIndex(index);
    ChangeList->scrollTo(index);
}

bool ChangesPane::SelectNext()
{
    const int row = ChangeList->currentIndex().isValid() ? ChangeList->currentIndex().row() + 1 : 0;
    if (row >= m_model->rowCount() && m_model->canFetchMore({})) {
        m_model->fetchMore({});
    }
    if (row >= m_model->rowCount()) {
        return false;
    }
    Select(row);
    return true;
}

bool ChangesPane::SelectPrevious()
{
    const int row = ChangeList->currentIndex().row() - 1;
    if (row < 0) {
        return false;
    }
    Select(row);
    return true;
}

void ChangesPane::SelectFirst()
{
    if (m_model->rowCount() > 0) {
        Select(0);
    }
}

void ChangesPane::SelectLast()
{
    while (m_model->canFetchMore({})) {
        m_model->fetchMore({});
    }
    if (m_model->rowCount() > 0) {
        Select(m_model->rowCount() - 1);
    }
}

} // namespace ui
