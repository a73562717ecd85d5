#pragma once

#include "common/qt/FileDialog.h"

#include <QStringList>

#include <stdexcept>
#include <string>

class QWidget;

namespace ui {

// What ShowOpen and ShowSave throw when the user cancels with CancelError on.
class DialogCancelled : public std::runtime_error {
public:
    DialogCancelled()
        : std::runtime_error("file dialog cancelled")
    {
    }
};

// "description|patterns|..." with patterns separated by ";" as Qt's "description (patterns)" list.
QStringList QtNameFilters(const std::u16string& filter);

// The window's file dialog, shown with Qt's own.
class CommonDialog final : public common::DialogControl {
public:
    explicit CommonDialog(QWidget* owner);

    void SetDialogTitle(const std::u16string& title) override { m_title = title; }
    void SetInitDir(const std::u16string& folder) override { m_initDir = folder; }
    void SetFileName(const std::u16string& name) override { m_fileName = name; }
    std::u16string FileName() const override { return m_fileName; }
    void SetFilter(const std::u16string& filter) override { m_filter = filter; }
    void SetCancelError(bool on) override { m_cancelError = on; }
    void ShowOpen() override { Show(false); }
    void ShowSave() override { Show(true); }

private:
    void Show(bool save);

    QWidget* m_owner;
    std::u16string m_title;
    std::u16string m_initDir;
    std::u16string m_fileName;
    std::u16string m_filter;
    bool m_cancelError = false;
};

} // namespace ui
