#pragma once

#include <QRect>

namespace ui {

// Layouts are drawn in twips; 15 twips make one pixel at 96 dots per inch. Qt scales for others.
constexpr int TwipsPerPixel = 15;

constexpr int TwipsToPixels(int twips) { return twips / TwipsPerPixel; }

constexpr QRect TwipRect(int left, int top, int width, int height)
{
    return QRect(
        TwipsToPixels(left), TwipsToPixels(top), TwipsToPixels(width), TwipsToPixels(height));
}

} // namespace ui
