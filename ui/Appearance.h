#pragma once

#include <QFont>
#include <QIcon>
#include <QPixmap>

#include <array>

class QFrame;
class QWidget;

namespace ui {

// The Japanese Windows font the window is drawn for; substituted by the Japanese fonts installed.
inline constexpr char16_t JapaneseFontFamily[] = u"ＭＳ Ｐゴシック";

QFont JapaneseFont(qreal pointSize);

// The application icon in all its sizes (16, 32, 48 and 64 pixels).
QIcon AppIcon();
QPixmap AppPixmap(int size);
// The small picture of the About box, 72 x 40 pixels.
QPixmap AboutPicture();

// An etched rule: a line in the button-shadow colour with one in the window-background colour
// a pixel below it. The first frame is the shadow line.
std::array<QFrame*, 2> MakeEtchedRule(QWidget* parent, int topPixels, int widthPixels);

} // namespace ui
