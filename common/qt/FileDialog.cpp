#include "common/qt/FileDialog.h"

#include <filesystem>
#include <system_error>

namespace common {

namespace {

// Puts the working directory back on every way out, whatever the dialog did with it.
class WorkingDirectoryGuard {
public:
    WorkingDirectoryGuard() { m_saved = std::filesystem::current_path(m_error); }
    ~WorkingDirectoryGuard()
    {
        if (!m_error) {
            std::error_code ignored;
            std::filesystem::current_path(m_saved, ignored);
        }
    }
    WorkingDirectoryGuard(const WorkingDirectoryGuard&) = delete;
    WorkingDirectoryGuard& operator=(const WorkingDirectoryGuard&) = delete;

private:
    std::error_code m_error;
    std::filesystem::path m_saved;
};

} // namespace

bool ShowFileDialog(DialogControl& dialog, const std::u16string& title, bool save,
    const std::u16string& filter, std::u16string& path, PathStyle style)
{
    const WorkingDirectoryGuard workingDirectory;
    try {
        dialog.SetDialogTitle(title);
        dialog.SetInitDir(NormalizePath(path, style));
        dialog.SetFileName(GetFileNamePart(path, style));
        dialog.SetFilter(filter);
        dialog.SetCancelError(true);
        if (save) {
            dialog.ShowSave();
        } else {
            dialog.ShowOpen();
        }
        path = TidyPath(dialog.FileName(), style);
        return true;
    } catch (...) {
        // A cancel and any failure of the dialog are the same to the caller.
        return false;
    }
}

} // namespace common
