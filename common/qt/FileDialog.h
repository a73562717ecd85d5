#pragma once

#include "common/Paths.h"

#include <string>

namespace common {

// The properties and methods of the platform's file dialog that ShowFileDialog drives. With
// CancelError on, ShowOpen and ShowSave throw when the user cancels.
class DialogControl {
public:
    virtual ~DialogControl() = default;
    virtual void SetDialogTitle(const std::u16string& title) = 0;
    virtual void SetInitDir(const std::u16string& folder) = 0;
    virtual void SetFileName(const std::u16string& name) = 0;
    virtual std::u16string FileName() const = 0;
    // "description|patterns|description|patterns", patterns separated by ";".
    virtual void SetFilter(const std::u16string& filter) = 0;
    virtual void SetCancelError(bool on) = 0;
    virtual void ShowOpen() = 0;
    virtual void ShowSave() = 0;
};

// Lets the user pick a file, starting from the folder and file name in path. On a confirmed
// choice path receives it, tidied, and the result is true; on a cancel or any failure path stays
// as it was. The working directory is the same afterwards either way.
bool ShowFileDialog(DialogControl& dialog, const std::u16string& title, bool save,
    const std::u16string& filter, std::u16string& path, PathStyle style = NativePathStyle());

} // namespace common
