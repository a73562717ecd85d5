#include "ui/CommonDialog.h"

#include "ui/ScreenFit.h"

#include <QDir>
#include <QFileDialog>

namespace ui {

QStringList QtNameFilters(const std::u16string& filter)
{
    const QStringList items = QString::fromStdU16String(filter).split(u'|');
    QStringList filters;
    for (qsizetype i = 0; i + 1 < items.size(); i += 2) {
        QString patterns = items[i + 1];
        patterns.replace(u';', u' ');
        filters.append(items[i] + QStringLiteral(" (") + patterns.simplified() + u')');
    }
    return filters;
}

CommonDialog::CommonDialog(QWidget* owner)
    : m_owner(owner)
{
}

void CommonDialog::Show(bool save)
{
    QFileDialog dialog(
        m_owner, QString::fromStdU16String(m_title), QString::fromStdU16String(m_initDir));
    dialog.setObjectName(QStringLiteral("CommonDialog1"));
    if (m_owner != nullptr) {
        dialog.setFont(m_owner->font());
    }
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    // No must-exist flag: a typed name that does not exist comes back as typed, so an empty
    // folder for the copies can be browsed to.
    dialog.setFileMode(QFileDialog::AnyFile);
    // The descriptions already name their patterns, as the Windows dialog shows them.
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    const QStringList filters = QtNameFilters(m_filter);
    if (!filters.isEmpty()) {
        dialog.setNameFilters(filters);
    }
    if (!m_fileName.empty()) {
        dialog.selectFile(QString::fromStdU16String(m_fileName));
    }
    // Qt's dialog asks for more room than a small screen at a large scale has.
    FitToOwnerScreen(&dialog, m_owner);
    if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()) {
        // Qt hands out forward slashes; the boxes and the rules after them take the system's.
        m_fileName = QDir::toNativeSeparators(dialog.selectedFiles().constFirst()).toStdU16String();
        return;
    }
    if (m_cancelError) {
        throw DialogCancelled();
    }
}

} // namespace ui
