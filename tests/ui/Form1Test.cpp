#include "ui/Form1.h"

#include "UiTestSupport.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QFontInfo>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QTest>

#include <gtest/gtest.h>

namespace {

using uitest::FormTest;

QString Caption(const QWidget* control)
{
    if (const auto* button = qobject_cast<const QAbstractButton*>(control)) {
        return button->text();
    }
    if (const auto* label = qobject_cast<const QLabel*>(control)) {
        return label->text();
    }
    return QStringLiteral("(no caption)");
}

class Form1Test : public FormTest { };

TEST_F(Form1Test, ControlsAreDrawnAsTheTableSays)
{
    ui::Form1& form = OpenForm();
    const struct {
        const char* name;
        const char* className;
        const char* caption;
        int left, top, width, height; // twips
    } controls[] = {
        { "Text1", "QLineEdit", "(no caption)", 1800, 120, 4695, 330 },
        { "Command1", "QPushButton", "参照", 6600, 120, 615, 330 },
        { "Text2", "QLineEdit", "(no caption)", 1800, 600, 4695, 330 },
        { "Command5", "QPushButton", "参照", 6600, 600, 615, 330 },
        { "Text3", "QLineEdit", "(no caption)", 1800, 1080, 4695, 330 },
        { "Command6", "QPushButton", "参照", 6600, 1080, 615, 330 },
        { "Check1", "QCheckBox", "サブフォルダ内もリプレース", 1800, 1560, 4695, 255 },
        { "Check2", "QCheckBox", "修正マーク挿入", 1800, 1920, 4695, 255 },
        { "Command2", "QPushButton", "実行", 1200, 2880, 1695, 375 },
        { "Command4", "QPushButton", "終了", 4440, 2880, 1695, 375 },
        { "Label1", "QLabel", "ORG ソースフォルダ:", 120, 120, 1695, 255 },
        { "Label2", "QLabel", "上のフォルダ、リプレース定義指定は、ドロップできます。", 120, 2280,
            7095, 495 },
        { "Label3", "QLabel", "NEW ソースフォルダ:", 120, 600, 1695, 255 },
        { "Label4", "QLabel", "リプレース定義:", 120, 1080, 1335, 255 },
    };
    for (const auto& c : controls) {
        SCOPED_TRACE("row " + std::to_string(&c - std::data(controls)));
        const auto* control = form.findChild<QWidget*>(QLatin1String(c.name));
        ASSERT_NE(control, nullptr) << c.name;
        EXPECT_STREQ(control->metaObject()->className(), c.className) << c.name;
        EXPECT_EQ(Caption(control), QString::fromUtf8(c.caption)) << c.name;
        EXPECT_EQ(control->geometry().translated(0, -form.ClientTop()),
            QRect(c.left / 15, c.top / 15, c.width / 15, c.height / 15))
            << c.name;
    }

    EXPECT_EQ(form.windowTitle(), QStringLiteral("ヴァンドール"));
    EXPECT_GT(form.ClientTop(), 0);
    EXPECT_EQ(form.MenuBar->geometry().bottom() + 1, form.ClientTop());
    EXPECT_EQ(form.size(), QSize(7320 / 15, form.ClientTop() + 3360 / 15));
    EXPECT_EQ(form.minimumSize(), form.maximumSize());
    EXPECT_TRUE(form.windowFlags().testFlag(Qt::WindowMinimizeButtonHint));
    EXPECT_TRUE(form.windowFlags().testFlag(Qt::WindowSystemMenuHint));
    EXPECT_FALSE(form.windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
    EXPECT_FALSE(form.windowIcon().isNull());
    // The window system places the window; the program does not centre it.
    EXPECT_NE(form.frameGeometry().center(), form.screen()->availableGeometry().center());

    // The etched rule right under the menu bar: shadow above, window background below.
    EXPECT_EQ(form.Line1[1]->geometry(), QRect(0, form.ClientTop(), 7440 / 15, 1));
    EXPECT_EQ(form.Line1[0]->geometry(), QRect(0, form.ClientTop() + 1, 7440 / 15, 1));
}

TEST_F(Form1Test, BoxesUseTheJapaneseFontAndStartStateIsFixed)
{
    ui::Form1& form = OpenForm();
    // The substitution must land on an installed Japanese font, not on a Chinese fallback.
    const auto japanese = [](const QFont& font) {
        const QString resolved = QFontInfo(font).family();
        return resolved == QStringLiteral("IPAPGothic")
            || resolved == QStringLiteral("IPA Pゴシック")
            || resolved == QStringLiteral("Noto Sans CJK JP");
    };
    for (QLineEdit* box : { form.Text1, form.Text2, form.Text3 }) {
        EXPECT_EQ(box->font().family(), QStringLiteral("ＭＳ Ｐゴシック"));
        EXPECT_DOUBLE_EQ(box->font().pointSizeF(), 9.75);
        EXPECT_EQ(box->font().weight(), QFont::Normal);
        EXPECT_TRUE(japanese(box->font())) << QFontInfo(box->font()).family().toStdString();
    }
    for (const QWidget* control : std::initializer_list<const QWidget*> { form.Label1, form.Label2,
             form.Check1, form.Command2, form.MenuBar, form.IDM_FILE, form.IDM_HELP }) {
        EXPECT_TRUE(japanese(control->font())) << control->objectName().toStdString() << ": "
                                               << QFontInfo(control->font()).family().toStdString();
    }
    EXPECT_EQ(form.Check1->checkState(), Qt::Checked);
    EXPECT_EQ(form.Check2->checkState(), Qt::Unchecked);
    EXPECT_EQ(form.SubfoldersOption(), engine::CheckState::Ticked);
    form.Check1->setCheckState(Qt::PartiallyChecked);
    EXPECT_EQ(form.SubfoldersOption(), engine::CheckState::Greyed);
    EXPECT_EQ(form.InsertMarkOption(), engine::CheckState::Clear);

    EXPECT_TRUE(form.Label2->wordWrap());
    EXPECT_EQ(form.Label2->textFormat(), Qt::PlainText);
    EXPECT_TRUE(form.Command2->isDefault());
    for (QPushButton* button : form.findChildren<QPushButton*>()) {
        EXPECT_TRUE(button->autoDefault()) << button->objectName().toStdString();
        EXPECT_EQ(button->isDefault(), button == form.Command2)
            << button->objectName().toStdString();
    }
    // Two lines of the window's text fit into the status line.
    EXPECT_GE(form.Label2->height(), 2 * QFontMetrics(form.Label2->font()).lineSpacing());
}

TEST_F(Form1Test, EveryCaptionFitsItsControl)
{
    ui::Form1& form = OpenForm();
    for (const QLabel* label : { form.Label1, form.Label3, form.Label4 }) {
        EXPECT_LE(label->fontMetrics().horizontalAdvance(label->text()), label->width())
            << label->objectName().toStdString();
    }
    // The drop hint and the longest status texts wrap onto the second line at most.
    for (const QString& text : { form.Label2->text(),
             QStringLiteral(
                 "【エラー】 NEW ソースフォルダが ORG ソースフォルダと重なっています。") }) {
        const QRect needed = form.Label2->fontMetrics().boundingRect(
            QRect(0, 0, form.Label2->width(), 1000), Qt::TextWordWrap, text);
        EXPECT_LE(needed.height(), form.Label2->height()) << text.toStdString();
    }
    for (const QPushButton* button :
        { form.Command1, form.Command5, form.Command6, form.Command2, form.Command4 }) {
        const int margins
            = 2 * button->style()->pixelMetric(QStyle::PM_ButtonMargin, nullptr, button);
        EXPECT_LE(
            button->fontMetrics().horizontalAdvance(button->text()) + margins, button->width())
            << button->objectName().toStdString();
    }
    for (const QCheckBox* check : { form.Check1, form.Check2 }) {
        EXPECT_LE(check->sizeHint().width(), check->width()) << check->objectName().toStdString();
    }
}

TEST_F(Form1Test, TabGoesThroughTheControlsInTableOrder)
{
    ui::Form1& form = OpenForm();
    form.Text1->setFocus();
    QStringList visited { QApplication::focusWidget()->objectName() };
    for (int i = 0; i < 10; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        visited << QApplication::focusWidget()->objectName();
    }
    EXPECT_EQ(visited.join(u' ').toStdString(),
        "Text1 Command1 Text2 Command5 Text3 Command6 Check1 Check2 Command2 Command4 Text1");
}

TEST_F(Form1Test, MenusHoldTheirEntriesWithAccessKeys)
{
    ui::Form1& form = OpenForm();
    QStringList menus;
    for (QAction* action : form.MenuBar->actions()) {
        menus << action->text();
    }
    EXPECT_EQ(menus, (QStringList { QStringLiteral("&File"), QStringLiteral("&Help") }));

    QStringList file;
    for (QAction* action : form.IDM_FILE->actions()) {
        file << action->objectName() + u'='
                + (action->isSeparator() ? QStringLiteral("-") : action->text());
    }
    EXPECT_EQ(file,
        (QStringList { QStringLiteral("IDM_ORGFLD=ORG ソースフォルダ(&O)..."),
            QStringLiteral("IDM_NEWFLD=NEW ソースフォルダ(&N)..."),
            QStringLiteral("IDM_REPFIL=リプレース定義(&D)..."), QStringLiteral("IDM_FSP1=-"),
            QStringLiteral("IDM_RUN=実行(&R)"), QStringLiteral("IDM_RESULT=実行結果(&L)..."),
            QStringLiteral("IDM_FSP2=-"), QStringLiteral("IDM_EXIT=終了(&X)") }));

    ASSERT_EQ(form.IDM_HELP->actions().size(), 1);
    EXPECT_EQ(form.IDM_HELP->actions().constFirst(), form.IDM_ABOUT);
    EXPECT_EQ(form.IDM_ABOUT->text(), QStringLiteral("ヴァンドール について(&A)..."));
}

// A run that ends at its emptiness check still tidies the boxes, which shows that it ran.
TEST_F(Form1Test, EnterInAPathBoxAndTheRunEntryRunLikeTheButton)
{
    ui::Form1& form = OpenForm();
    const auto startRun = [&](int way) {
        switch (way) {
        case 0:
            QTest::keyClick(form.Text1, Qt::Key_Return);
            break;
        case 1:
            QTest::keyClick(form.Text2, Qt::Key_Enter);
            break;
        case 2:
            QTest::keyClick(form.Text3, Qt::Key_Return);
            break;
        case 3:
            form.IDM_RUN->trigger();
            break;
        case 4:
            QTest::mouseClick(form.Command2, Qt::LeftButton);
            break;
        }
    };
    for (int way = 0; way < 5; ++way) {
        form.Text1->setText(uitest::Typed(QStringLiteral("  /Org/Src  ")));
        form.Text2->setText(uitest::Typed(QStringLiteral("  /New  ")));
        form.Text3->setText(QString());
        startRun(way);
        EXPECT_EQ(form.Text1->text(), uitest::Shown(QStringLiteral("/Org/Src"))) << way;
        EXPECT_EQ(form.Text2->text(), uitest::Shown(QStringLiteral("/New/"))) << way;
        EXPECT_EQ(form.Label2->text(),
            QStringLiteral("上のフォルダ、リプレース定義指定は、ドロップできます。"))
            << way;
        EXPECT_TRUE(form.isVisible()) << way;
    }
}

// A focused push button takes Enter itself; elsewhere Enter runs.
TEST_F(Form1Test, EnterOnAFocusedButtonPressesThatButton)
{
    const struct {
        int tabs; // from Text1
        const char* focused;
        bool runs, browses, ends;
    } cases[] = {
        { 1, "Command1", false, true, false },
        { 3, "Command5", false, true, false },
        { 5, "Command6", false, true, false },
        { 6, "Check1", true, false, false },
        { 8, "Command2", true, false, false },
        { 9, "Command4", false, false, true },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.focused);
        ui::Form1& form = OpenForm();
        uitest::FakeDialog dialog;
        dialog.cancel = true;
        form.SetDialogControl(&dialog);
        form.Text1->setText(uitest::Typed(QStringLiteral("  /Org  ")));
        form.Text1->setFocus();
        for (int i = 0; i < c.tabs; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        }
        ASSERT_EQ(QApplication::focusWidget()->objectName(), QLatin1String(c.focused));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        EXPECT_EQ(form.Text1->text() == uitest::Shown(QStringLiteral("/Org")), c.runs);
        EXPECT_EQ(!dialog.calls.empty(), c.browses);
        EXPECT_EQ(!form.isVisible(), c.ends);
        form.SetDialogControl(nullptr);
    }
}

TEST_F(Form1Test, EscExitAndTheCloseBoxEndAndSaveTheBoxes)
{
    const char* const ways[] = { "Esc", "終了 button", "終了(&X) entry", "close box" };
    for (const char* way : ways) {
        QFile::remove(IniFile());
        ui::Form1& form = OpenForm();
        form.Text1->setText(QStringLiteral("/Src/*.frm"));
        form.Text2->setText(QStringLiteral(" /Out/ "));
        form.Text3->setText(QStringLiteral("/定義.txt"));
        form.Check2->setFocus();
        const std::string name = way;
        if (name == "Esc") {
            QTest::keyClick(form.Check2, Qt::Key_Escape);
        } else if (name == "終了 button") {
            QTest::mouseClick(form.Command4, Qt::LeftButton);
        } else if (name == "終了(&X) entry") {
            form.IDM_EXIT->trigger();
        } else {
            EXPECT_TRUE(form.close());
        }
        EXPECT_FALSE(form.isVisible()) << way;
        SCOPED_TRACE(way);
        uitest::ExpectSaved(IniFile(),
            QByteArray("[file]\r\norg=/Src/*.frm\r\nnew= /Out/ \r\nrep=/定義.txt\r\n"),
            { { u"file", u"org", QStringLiteral("/Src/*.frm") },
                { u"file", u"new", QStringLiteral("/Out/") },
                { u"file", u"rep", QStringLiteral("/定義.txt") } });
    }
}

TEST_F(Form1Test, AltKeysOpenTheMenusAndTheirEntries)
{
    ui::Form1& form = OpenForm();
    form.Text1->setText(uitest::Typed(QStringLiteral("  /Org  ")));
    QTest::keyClick(&form, Qt::Key_F, Qt::AltModifier);
    ASSERT_TRUE(QTest::qWaitFor([&] { return form.IDM_FILE->isVisible(); }, 2000));
    QTest::keyClick(form.IDM_FILE, Qt::Key_R);
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return form.Text1->text() == uitest::Shown(QStringLiteral("/Org")); }, 2000));

    QTest::keyClick(&form, Qt::Key_F, Qt::AltModifier);
    ASSERT_TRUE(QTest::qWaitFor([&] { return form.IDM_FILE->isVisible(); }, 2000));
    QTest::keyClick(form.IDM_FILE, Qt::Key_X);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !form.isVisible(); }, 2000));
    EXPECT_TRUE(QFile::exists(IniFile()));
}

} // namespace
