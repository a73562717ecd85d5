#include "ui/StatusText.h"

#include "ui/Form1.h"

#include "UiTestSupport.h"

#include "engine/Messages.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QTest>
#include <QTextDocument>

#include <gtest/gtest.h>

namespace {

const QString Replacing = QString::fromUtf16(engine::messages::Replacing);
const QString NotFound = QString::fromUtf16(engine::messages::DefinitionNotFound) + u'\n';
const int ReplacingSize = static_cast<int>(Replacing.size());
const int NotFoundSize = static_cast<int>(NotFound.size());

TEST(StatusText, ALongPathLosesItsMiddleAndKeepsItsName)
{
    const struct {
        QString text;
        int limit; // characters that fit
        QString expected;
    } cases[] = {
        // Texts that fit, and texts without a path, stay as they are.
        { Replacing + QStringLiteral("/a/Main.frm"), 100,
            Replacing + QStringLiteral("/a/Main.frm") },
        { QStringLiteral("リプレース完了。"), 3, QStringLiteral("リプレース完了。") },
        // The folder part is cut from its end, the file name stays whole.
        { Replacing + QStringLiteral("/aaaa/bbbb/cccc/Main.frm"), 25,
            Replacing + QStringLiteral("/aaa…/Main.frm") },
        { NotFound + QStringLiteral("/aaaa/bbbb/cccc/rules.txt"), NotFoundSize + 13,
            NotFound + QStringLiteral("/a…/rules.txt") },
        // A folder keeps its own name and its trailing separator.
        { NotFound + QStringLiteral("/aaaa/bbbb/cccc/"), NotFoundSize + 10,
            NotFound + QStringLiteral("/aa…/cccc/") },
        // A name too long by itself keeps both ends of the path.
        { Replacing + QStringLiteral("/d/0123456789abcdefghij.frm"), ReplacingSize + 11,
            Replacing + QStringLiteral("/d/01…j.frm") },
        // Nothing of the path fits.
        { Replacing + QStringLiteral("/d/x.frm"), ReplacingSize, Replacing + QStringLiteral("…") },
        // A surrogate pair is never cut in two.
        { Replacing + QStringLiteral("/a\U0001F600b/x.frm"), ReplacingSize + 9,
            Replacing + QStringLiteral("/a…/x.frm") },
    };
    for (const auto& c : cases) {
        const QString fitted = ui::FitStatusText(
            c.text, u'/', [&](const QString& candidate) { return candidate.size() <= c.limit; });
        EXPECT_EQ(fitted, c.expected) << c.text.toStdString() << " in " << c.limit;
    }
}

class StatusLineTest : public uitest::FormTest {
protected:
    // Whether the label, laid out by itself, shows its text in its box: two lines at most and no
    // line wider than the label.
    static bool ShownWhole(const QLabel& label)
    {
        return label.heightForWidth(label.width()) <= label.height()
            && label.minimumSizeHint().width() <= label.width();
    }
    static QString ToolTipText(const QLabel& label)
    {
        if (!Qt::mightBeRichText(label.toolTip())) {
            return label.toolTip();
        }
        QTextDocument document;
        document.setHtml(label.toolTip());
        return document.toPlainText();
    }
};

TEST_F(StatusLineTest, TheWholeTextIsInTheTipAndALongPathIsShortenedToFit)
{
    ui::Form1& form = OpenForm();
    EXPECT_EQ(form.Label2->toolTip(), form.Label2->text()) << "the drop hint";
    EXPECT_EQ(form.Label2->textFormat(), Qt::PlainText);
    EXPECT_TRUE(form.Label2->textInteractionFlags().testFlag(Qt::TextSelectableByMouse));

    const QString deep
        = QStringLiteral("/tmp/") + QStringLiteral("長いフォルダの名前/").repeated(12);
    const struct {
        QString text;
        QString name; // what must stay visible at the end; empty: the text fits whole
    } cases[] = {
        { QStringLiteral("リプレース完了。"), {} },
        { NotFound + QStringLiteral("/tmp/rules.txt"), {} },
        { Replacing + QStringLiteral("/src/forms/Order.frm"), {} },
        { NotFound + deep + QStringLiteral("rules.txt"), QStringLiteral("/rules.txt") },
        { Replacing + deep + QStringLiteral("Order.frm"), QStringLiteral("/Order.frm") },
        { Replacing + QStringLiteral("/tmp/") + QStringLiteral("x").repeated(300)
                + QStringLiteral(".frm"),
            QStringLiteral(".frm") },
        { QString::fromUtf16(engine::messages::FoldersOverlap) + u'\n' + deep,
            QStringLiteral("/長いフォルダの名前/") },
        // Markup is text: shown as typed, in the label and in its tip.
        { Replacing + deep + QStringLiteral("<i>&amp;.frm"), QStringLiteral("/<i>&amp;.frm") },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text.toStdString());
        form.SetStatusText(c.text.toStdU16String());
        const QString shown = form.Label2->text();
        EXPECT_EQ(ToolTipText(*form.Label2), c.text);
        EXPECT_TRUE(ShownWhole(*form.Label2)) << shown.toStdString();
        EXPECT_EQ(form.Label2->textFormat(), Qt::PlainText);
        if (c.name.isEmpty()) {
            EXPECT_EQ(shown, c.text);
            continue;
        }
        EXPECT_NE(shown, c.text);
        EXPECT_TRUE(shown.endsWith(c.name)) << shown.toStdString();
        EXPECT_TRUE(shown.contains(QStringLiteral("…"))) << shown.toStdString();
        const qsizetype prefix
            = c.text.startsWith(Replacing) ? Replacing.size() : c.text.indexOf(u'\n') + 1;
        EXPECT_EQ(shown.left(prefix), c.text.left(prefix));
    }
}

TEST_F(StatusLineTest, AnErrorWithADeepPathFitsAndTheTipHoldsItAll)
{
    ui::Form1& form = OpenForm();
    const QString deep = Folder() + QStringLiteral("/定義ファイルを置いたフォルダ").repeated(8);
    form.Text1->setText(uitest::Typed(Folder() + QStringLiteral("/org/")));
    form.Text2->setText(uitest::Typed(Folder()));
    form.Text3->setText(uitest::Typed(deep + QStringLiteral("/Missing.txt")));
    QTest::mouseClick(form.Command2, Qt::LeftButton);

    const QString full = NotFound + uitest::Shown(deep + QStringLiteral("/Missing.txt"));
    EXPECT_EQ(form.Label2->toolTip(), full);
    EXPECT_EQ(form.LastReport().result, full.toStdU16String());
    EXPECT_TRUE(form.Label2->text().startsWith(NotFound));
    EXPECT_TRUE(form.Label2->text().endsWith(uitest::Shown(QStringLiteral("…/Missing.txt"))));
    EXPECT_LE(form.Label2->heightForWidth(form.Label2->width()), form.Label2->height());
}

TEST_F(StatusLineTest, TheTextCanBeSelectedWithTheMouse)
{
    ui::Form1& form = OpenForm();
    form.SetStatusText(u"リプレース完了。");
    QLabel* label = form.Label2;
    const QPoint from(1, label->fontMetrics().height() / 2);
    const QPoint to(label->width() - 1, from.y());
    const auto send
        = [label](QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons held) {
              QMouseEvent event(
                  type, QPointF(at), QPointF(label->mapToGlobal(at)), button, held, Qt::NoModifier);
              QApplication::sendEvent(label, &event);
          };
    send(QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
    send(QEvent::MouseMove, to, Qt::NoButton, Qt::LeftButton);
    send(QEvent::MouseButtonRelease, to, Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(label->selectedText(), QStringLiteral("リプレース完了。"));
    EXPECT_EQ(label->text(), QStringLiteral("リプレース完了。"));
}

} // namespace
