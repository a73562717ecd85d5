#pragma once

#include "engine/FileChanges.h"

#include <QAbstractListModel>
#include <QStyledItemDelegate>
#include <QWidget>

#include <map>
#include <memory>

class QLabel;
class QListView;
class QPushButton;

namespace ui {

// The changes of one file as rows, found a batch at a time as the view scrolls to them, and each
// read when it is drawn; a few hundred read changes are kept for drawing again. A row's text is
// its accessible text, not its display text, so that typing in the list to search it does not
// read every change found.
class ChangeModel final : public QAbstractListModel {
    Q_OBJECT

public:
    static constexpr std::size_t ShownLines = 40; // of each side of a change
    static constexpr std::size_t ShownBytes = 4096; // of each line

    explicit ChangeModel(QObject* parent);
    // Shows the changes of this file, or none.
    void SetFile(std::unique_ptr<engine::FileChanges> file);
    engine::FileChanges* File() const { return m_file.get(); }
    // The change of a row, read when it is first asked for.
    const engine::ShownChange& Shown(int row);

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool canFetchMore(const QModelIndex& parent) const override;
    void fetchMore(const QModelIndex& parent) override;

signals:
    // The file could no longer be read as the run left it; the rows are gone.
    void FileLost();

private:
    void CheckFile();

    std::unique_ptr<engine::FileChanges> m_file;
    std::map<int, engine::ShownChange> m_read;
    int m_rows = 0; // the changes found, as the views were told of them
    bool m_lost = false;
    // A view that is told of new rows may ask for more at once; those wait for the next time.
    bool m_fetching = false;
};

// Draws a change: its line numbers, the ORG lines on red beneath the NEW lines on green, the
// characters that differ darker, what stands in for bytes and line ends in grey.
class ChangeDelegate final : public QStyledItemDelegate {
public:
    ChangeDelegate(ChangeModel& model, QObject* parent);
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
        const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    ChangeModel& m_model;
};

// The pane of 実行結果 that shows the changes of the file chosen above it.
class ChangesPane final : public QWidget {
    Q_OBJECT

public:
    explicit ChangesPane(QWidget* parent);

    QLabel* TitleLabel; // the file's name and its number of changes, or why there are none
    QListView* ChangeList;
    QPushButton* PreviousButton;
    QPushButton* NextButton;

    // The changes of a file, named as the table names it; a null file shows none.
    void ShowFile(std::unique_ptr<engine::FileChanges> file, const QString& name);
    // The next or previous change; false when there is none in this file.
    bool SelectNext();
    bool SelectPrevious();
    void SelectFirst();
    void SelectLast();

signals:
    void PastLast(); // next was asked for at the last change
    void BeforeFirst(); // previous was asked for at the first change

private:
    void ShowTitle();
    void Select(int row);

    ChangeModel* m_model;
    QString m_name;
};

} // namespace ui
