#include "common/qt/Controls.h"

#include <QAction>
#include <QWidget>

namespace common {

void SetControlsEnabled(QWidget* window, QWidget* focusControl, bool enabled)
{
    if (window != nullptr) {
        // Child windows (a dialog, a menu's popup) are not controls; a menu's entries are.
        QList<QObject*> controls;
        for (QWidget* child : window->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            if (!child->isWindow()) {
                controls.append(child);
            }
        }
        for (QAction* action : window->findChildren<QAction*>()) {
            controls.append(action);
        }
        for (QObject* control : std::as_const(controls)) {
            if (auto* widget = qobject_cast<QWidget*>(control)) {
                widget->setEnabled(enabled);
            } else if (auto* action = qobject_cast<QAction*>(control)) {
                action->setEnabled(enabled);
            }
        }
    }
    if (enabled && focusControl != nullptr) {
        focusControl->setFocus();
    }
}

} // namespace common
