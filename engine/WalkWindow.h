#pragma once

#include <string>

namespace engine {

// What the folder walk needs of the window, in the walk's own words.
class WalkWindow {
public:
    virtual ~WalkWindow() = default;
    virtual void SetStatusCaption(const std::u16string& text) = 0;
    // 0 clear, 1 ticked, 2 greyed.
    virtual int Check1Value() const = 0;
    // Lets the window repaint and handle its pending events once.
    virtual void ProcessPendingEvents() = 0;
};

} // namespace engine
