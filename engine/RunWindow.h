#pragma once

#include "engine/WalkWindow.h"
#include "platform/FileSystem.h"

#include <memory>
#include <string>

namespace engine {

// The three paths a run takes: the tree to read (with a file-name pattern), the folder the copies
// go into, and the definition file.
enum class PathBox { Org, New, Definition };

// What the Run command needs of the window besides the walk's needs.
class RunWindow : public WalkWindow {
public:
    virtual std::u16string BoxText(PathBox box) const = 0;
    virtual void SetBoxText(PathBox box, const std::u16string& text) = 0;
    // Whether a mark line goes before every changed line.
    virtual CheckState InsertMarkOption() const = 0;
    // Every control and menu entry; when enabling, the focus goes to the ORG box.
    virtual void SetControlsEnabled(bool enabled) = 0;
    virtual void EnableStatusLabel() = 0;
    virtual void Beep() = 0;
    // Null when the file-system object cannot be made.
    virtual std::unique_ptr<platform::FileSystemObject> CreateFileSystemObject() = 0;
};

} // namespace engine
