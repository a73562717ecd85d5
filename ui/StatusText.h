#pragma once

#include <QString>

#include <functional>

class QLabel;

namespace ui {

// The status text shortened until fits(text) holds: the path it names (after the line feed of an
// error message, or after "リプレース中...  ") loses characters from its middle, shown as "…",
// keeping its file name whole as long as that alone fits. A text that fits, or that names no
// path, is returned as it is.
QString FitStatusText(
    const QString& text, QChar separator, const std::function<bool(const QString&)>& fits);

// Whether the text, wrapped at word boundaries as the label wraps it, fits the label's box.
bool FitsLabel(const QLabel& label, const QString& text);

} // namespace ui
