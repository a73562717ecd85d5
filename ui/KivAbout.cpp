#include "ui/KivAbout.h"

#include "ui/Appearance.h"
#include "ui/Twips.h"

#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>

namespace ui {

namespace {

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& text, const QRect& geometry)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    label->setTextFormat(Qt::PlainText);
    label->setGeometry(geometry);
    return label;
}

QLabel* MakeImage(QWidget* parent, const char* name, const QPixmap& picture, const QRect& geometry)
{
    QLabel* image = MakeLabel(parent, name, QString(), geometry);
    image->setFrameStyle(QFrame::Box | QFrame::Plain);
    image->setLineWidth(1);
    image->setAlignment(Qt::AlignCenter);
    image->setPixmap(picture);
    return image;
}

} // namespace

KivAbout::KivAbout(QWidget* owner)
    : QDialog(owner)
{
    setObjectName(QStringLiteral("KivAbout"));
    setWindowTitle(QStringLiteral("KivAbout"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint
        | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setWindowIcon(AppIcon());
    setFont(JapaneseFont(9));
    setFixedSize(TwipsToPixels(4680), TwipsToPixels(3600));
    setModal(true);

    // The button comes first: it is first in tab order, and the labels take no focus.
    Command1 = new QPushButton(QStringLiteral("OK"), this);
    Command1->setObjectName(QStringLiteral("Command1"));
    Command1->setGeometry(TwipRect(3360, 3000, 1215, 375));
    Command1->setAutoDefault(false);
    Command1->setDefault(true);
    connect(Command1, &QPushButton::clicked, this, &KivAbout::Command1_Click);

    const int ruleWidth = TwipsToPixels(4800);
    for (const int rule : { 0, 1, 2 }) {
        const int tops[] = { 0, 1440, 2520 };
        const auto lines = MakeEtchedRule(this, TwipsToPixels(tops[rule]), ruleWidth);
        for (std::size_t i = 0; i < 2; ++i) {
            const auto index = static_cast<std::size_t>(rule) * 2 + i;
            Line1[index] = lines[i];
            Line1[index]->setObjectName(QStringLiteral("Line1(%1)").arg(index));
        }
    }

    Image1 = MakeImage(this, "Image1", AppPixmap(32), TwipRect(120, 240, 540, 540));
    Title = MakeLabel(this, "Title", QStringLiteral("Title"), TwipRect(120, 240, 4455, 255));
    PgmVer = MakeLabel(this, "PgmVer", QStringLiteral("PgmVer"), TwipRect(120, 600, 4455, 255));
    Notice = MakeLabel(this, "Notice", QStringLiteral("Notice"), TwipRect(120, 960, 4455, 255));
    for (QLabel* centred : { Title, PgmVer, Notice }) {
        centred->setAlignment(Qt::AlignCenter);
    }
    Title->setFont(JapaneseFont(11.25));
    PgmVer->setFont(JapaneseFont(11.25));
    Notice->setFont(JapaneseFont(9.75));

    Label5 = MakeLabel(this, "Label5", QStringLiteral("ご質問・不具合は開発チームの課題管理へ"),
        TwipRect(240, 1680, 4215, 255));
    Label6 = MakeLabel(this, "Label6", QStringLiteral("Bug reports: the team's issue tracker"),
        TwipRect(240, 2040, 4335, 255));
    for (QLabel* contact : { Label5, Label6 }) {
        contact->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        contact->setFont(JapaneseFont(9.75));
    }

    Image2 = MakeImage(this, "Image2", AboutPicture(), TwipRect(120, 2760, 1140, 660));

    Label4 = MakeLabel(this, "Label4", QString(), TwipRect(3360, 2880, 1215, 135));
    Label4->setFrameStyle(QFrame::Box | QFrame::Plain);
    Label4->setLineWidth(1);
    QPalette green = Label4->palette();
    green.setColor(QPalette::Window, QColor(0, 255, 0));
    Label4->setPalette(green);
    Label4->setAutoFillBackground(true);

    Image1->raise(); // drawn over the centred title's empty left part
}

void KivAbout::Command1_Click() { accept(); }

void KivAbout::keyPressEvent(QKeyEvent* event)
{
    // The box has no cancel button, so Esc does nothing.
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

} // namespace ui
