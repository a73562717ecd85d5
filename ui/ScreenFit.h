#pragma once

#include <QMargins>
#include <QRect>
#include <QSize>

class QWidget;

namespace ui {

// What a window's frame takes around it before the window system has framed it: room for a title
// bar and borders.
inline constexpr QMargins AssumedFrame(8, 32, 8, 8);

// The wanted size, made no larger than the available area less the frame.
QSize FittedSize(QSize wanted, const QRect& available, const QMargins& frame = AssumedFrame);

// Resizes a window that is about to show so that it fits the available area of its owner's
// screen (the primary screen without an owner); a window that fits keeps its size.
void FitToOwnerScreen(QWidget* window, const QWidget* owner);

} // namespace ui
