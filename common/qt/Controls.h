#pragma once

class QWidget;

namespace common {

// Enables or disables every control of the window in one pass: its child widgets, labels
// included, and every entry of its menus. The focus moves only when enabling.
void SetControlsEnabled(QWidget* window, QWidget* focusControl, bool enabled);

} // namespace common
