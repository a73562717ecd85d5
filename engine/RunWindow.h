#pragma once

#include "engine/WalkWindow.h"
#include "platform/FileSystem.h"

#include <memory>
#include <string>

namespace engine {

enum class PathBox { Text1, Text2, Text3 };

// What the Run command needs of the window besides the walk's needs.
class RunWindow : public WalkWindow {
public:
    virtual std::u16string BoxText(PathBox box) const = 0;
    virtual void SetBoxText(PathBox box, const std::u16string& text) = 0;
    // 0 clear, 1 ticked, 2 greyed.
    virtual int Check2Value() const = 0;
    // Every control and menu entry; when enabling, the focus goes to Text1.
    virtual void SetControlsEnabled(bool enabled) = 0;
    virtual void EnableStatusLabel() = 0;
    virtual void Beep() = 0;
    // Null when the file-system object cannot be made.
    virtual std::unique_ptr<platform::FileSystemObject> CreateFileSystemObject() = 0;
};

} // namespace engine
