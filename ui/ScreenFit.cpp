#include "ui/ScreenFit.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace ui {

QSize FittedSize(QSize wanted, const QRect& available, const QMargins& frame)
{
    const QSize room = available.marginsRemoved(frame).size().expandedTo(QSize(0, 0));
    return wanted.boundedTo(room);
}

void FitToOwnerScreen(QWidget* window, const QWidget* owner)
{
    const QScreen* screen = owner != nullptr ? owner->screen() : QGuiApplication::primaryScreen();
    if (window == nullptr || screen == nullptr) {
        return;
    }
    // A window not yet sized takes its size hint when it shows.
    const QSize wanted = window->isVisible() || window->testAttribute(Qt::WA_Resized)
        ? window->size()
        : window->sizeHint();
    window->resize(FittedSize(wanted, screen->availableGeometry()));
}

} // namespace ui
