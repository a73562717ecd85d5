#include "ui/StatusText.h"

#include "engine/Messages.h"

#include <QFontMetrics>
#include <QLabel>

namespace ui {

namespace {

constexpr QChar Ellipsis(0x2026);

// The largest n in [0, limit] for which fits(n) holds, assuming that holds for every smaller n
// once it holds for one; -1 when it holds for none.
int LargestFitting(int limit, const std::function<bool(int)>& fits)
{
    if (!fits(0)) {
        return -1;
    }
    int low = 0;
    int high = limit;
    while (low < high) {
        const int middle = low + (high - low + 1) / 2;
        if (fits(middle)) {
            low = middle;
        } else {
            high = middle - 1;
        }
    }
    return low;
}

// The first n units of the text, never ending in the first half of a surrogate pair.
QString Head(const QString& text, int n)
{
    if (n > 0 && n < text.size() && text[n - 1].isHighSurrogate()) {
        --n;
    }
    return text.left(n);
}

// The last n units of the text, never starting with the second half of a surrogate pair.
QString Tail(const QString& text, int n)
{
    if (n > 0 && n < text.size() && text[text.size() - n].isLowSurrogate()) {
        --n;
    }
    return text.right(n);
}

} // namespace

QString FitStatusText(
    const QString& text, QChar separator, const std::function<bool(const QString&)>& fits)
{
    if (fits(text)) {
        return text;
    }
    const QString replacing = QString::fromUtf16(engine::messages::Replacing);
    qsizetype pathStart = text.indexOf(u'\n');
    if (pathStart >= 0) {
        ++pathStart;
    } else if (text.startsWith(replacing)) {
        pathStart = replacing.size();
    } else {
        return text;
    }
    const QString prefix = text.left(pathStart);
    const QString path = text.mid(pathStart);

    // The file name with the separator before it; a folder's name keeps its trailing separator.
    const qsizetype searchFrom = path.endsWith(separator) ? path.size() - 2 : path.size() - 1;
    const qsizetype nameStart = searchFrom >= 0 ? path.lastIndexOf(separator, searchFrom) : -1;
    if (nameStart > 0) {
        const QString folder = path.left(nameStart);
        const QString name = path.mid(nameStart);
        const int kept = LargestFitting(static_cast<int>(folder.size()),
            [&](int n) { return fits(prefix + Head(folder, n) + Ellipsis + name); });
        if (kept >= 0) {
            return prefix + Head(folder, kept) + Ellipsis + name;
        }
    }
    // The name alone is too long: both ends of the path stay, as much of them as fits.
    const int kept = LargestFitting(static_cast<int>(path.size()),
        [&](int n) { return fits(prefix + Head(path, n - n / 2) + Ellipsis + Tail(path, n / 2)); });
    if (kept < 0) {
        return prefix + Ellipsis;
    }
    return prefix + Head(path, kept - kept / 2) + Ellipsis + Tail(path, kept / 2);
}

bool FitsLabel(const QLabel& label, const QString& text)
{
    const QRect box = label.contentsRect();
    const QRect needed = label.fontMetrics().boundingRect(
        QRect(0, 0, box.width(), 1 << 20), Qt::TextWordWrap, text);
    return needed.width() <= box.width() && needed.height() <= box.height();
}

} // namespace ui
