#include "ui/Appearance.h"

#include <QFrame>
#include <QPalette>
#include <QString>

namespace ui {

QFont JapaneseFont(qreal pointSize)
{
    static const bool substituted = [] {
        QFont::insertSubstitutions(QString::fromUtf16(JapaneseFontFamily),
            { QStringLiteral("IPAPGothic"), QStringLiteral("IPA Pゴシック"),
                QStringLiteral("Noto Sans CJK JP") });
        return true;
    }();
    Q_UNUSED(substituted);
    QFont font(QString::fromUtf16(JapaneseFontFamily));
    font.setPointSizeF(pointSize);
    font.setWeight(QFont::Normal);
    return font;
}

QPixmap AppPixmap(int size) { return QPixmap(QStringLiteral(":/icons/vandor-%1.png").arg(size)); }

QIcon AppIcon()
{
    QIcon icon;
    for (const int size : { 16, 32, 48, 64 }) {
        icon.addPixmap(AppPixmap(size));
    }
    return icon;
}

QPixmap AboutPicture() { return QPixmap(QStringLiteral(":/icons/about-72x40.png")); }

std::array<QFrame*, 2> MakeEtchedRule(QWidget* parent, int topPixels, int widthPixels)
{
    std::array<QFrame*, 2> rule {};
    const QPalette::ColorRole roles[] = { QPalette::Dark, QPalette::Base };
    for (int i = 0; i < 2; ++i) {
        auto* line = new QFrame(parent);
        line->setFrameShape(QFrame::NoFrame);
        line->setGeometry(0, topPixels + i, widthPixels, 1);
        QPalette palette = line->palette();
        palette.setColor(QPalette::Window, parent->palette().color(roles[i]));
        line->setPalette(palette);
        line->setAutoFillBackground(true);
        rule[static_cast<std::size_t>(i)] = line;
    }
    return rule;
}

} // namespace ui
