#pragma once

#include "platform/NativePath.h"

#include <string>

namespace engine {

// A check box's three states; only Ticked turns an option on.
enum class CheckState { Clear, Ticked, Greyed };

// What the folder walk needs of the window, in the walk's own words.
class WalkWindow {
public:
    virtual ~WalkWindow() = default;
    virtual void SetStatusText(const std::u16string& text) = 0;
    // The status text "リプレース中...  " and the name of the file or folder at hand. The name is
    // made text only when the window shows it.
    virtual void ShowReplacing(const platform::NativePath& name) = 0;
    // Whether the walk goes into subfolders.
    virtual CheckState SubfoldersOption() const = 0;
    // Lets the window repaint and handle its pending events once.
    virtual void ProcessPendingEvents() = 0;
};

} // namespace engine
