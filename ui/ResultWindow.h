#pragma once

#include "common/Paths.h"
#include "engine/RunReport.h"

#include <QDialog>
#include <QString>

class QLabel;
class QSplitter;
class QPushButton;
class QTableWidget;
class QUrl;

namespace ui {

class ChangesPane;

enum class ReportFormat { Text, Csv };

// The format a report is saved in: by the file's extension (.csv or .txt, in any case), else by
// the filter chosen in the save dialog.
ReportFormat ReportFormatFor(const QString& fileName, bool csvFilterChosen);

// The file manager's address of a folder; names that are not UTF-8 keep their bytes.
QUrl FolderUrl(const std::u16string& folder);

// What the last run did, opened by 実行結果(&L)...: the changed files in a sortable table, the
// changes of the file chosen there beneath it, the files and pairs left over, a summary line, and
// buttons to save the report and to open the NEW folder.
class ResultWindow final : public QDialog {
    Q_OBJECT

public:
    // The report must outlive the window.
    ResultWindow(const engine::RunReport& report, common::PathStyle style, QWidget* owner);

    QLabel* PathsLabel; // the three paths and the run's final status text
    QLabel* ChangedLabel;
    QTableWidget* ChangedTable; // path, encoding, replacements, replacements per pair
    ChangesPane* Changes; // the changes of the file current in ChangedTable
    QSplitter* ChangedSplitter; // between the table and the pane
    QLabel* OtherLabel;
    QTableWidget* OtherTable; // kind, path or pair, reason
    QLabel* SummaryLabel;
    QPushButton* SaveButton;
    QPushButton* OpenButton;
    QPushButton* CloseButton;

    void SaveButton_Click();
    void OpenButton_Click();

    // Writes the report; false when the file could not be written whole.
    bool SaveReport(const QString& fileName, ReportFormat format) const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void SaveWithDialog();
    // The pane shows the changes of the table's current file.
    void ShowChanges();
    // Goes on to the next or previous file of the table, at its first or last change.
    void StepFile(int step);
    // A path as the tables show it: from the ORG folder down.
    QString ShownPath(const std::u16string& path) const;
    void FillChanged();
    void FillOther();

    const engine::RunReport& m_report;
    common::PathStyle m_style;
};

} // namespace ui
