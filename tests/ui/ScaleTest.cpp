#include "ui/Form1.h"
#include "ui/ResultWindow.h"

#include "UiTestSupport.h"

#include <QFileDialog>
#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>
#include <QTest>

#include <gtest/gtest.h>

namespace {

QRect Available() { return QGuiApplication::primaryScreen()->availableGeometry(); }

class ScaleTest : public uitest::FormTest { };

// Without the screen this program asks for, every other test here would pass for nothing.
TEST(Scale, TheScreenIsA1280By800ScreenAt200Percent)
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    ASSERT_NE(screen, nullptr);
    EXPECT_EQ(screen->geometry(), QRect(0, 0, 640, 400));
    EXPECT_EQ(screen->availableGeometry(), QRect(0, 0, 640, 400));
    EXPECT_DOUBLE_EQ(screen->devicePixelRatio(), 2.0);
}

TEST_F(ScaleTest, EveryFileDialogFitsTheScreen)
{
    ui::Form1& form = OpenForm();
    EXPECT_TRUE(Available().contains(form.frameGeometry())) << "the main window itself";
    engine::RunReport report;
    report.ran = true;
    report.newFolder = (Folder() + u'/').toStdU16String();
    ui::ResultWindow result(report, common::PathStyle::Posix, &form);
    result.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&result));
    EXPECT_TRUE(Available().contains(result.frameGeometry())) << "the report window";

    const std::pair<const char*, QPushButton*> openers[] = {
        { "ORG 参照", form.Command1 },
        { "NEW 参照", form.Command5 },
        { "リプレース定義 参照", form.Command6 },
        { "実行結果 保存", result.SaveButton },
    };
    for (const auto& [what, button] : openers) {
        SCOPED_TRACE(what);
        bool shown = false;
        QRect frame;
        QSize wanted;
        uitest::WhenModalShows([&](QWidget* modal) {
            auto* dialog = qobject_cast<QFileDialog*>(modal);
            ASSERT_NE(dialog, nullptr);
            shown = true;
            frame = dialog->frameGeometry();
            wanted = dialog->sizeHint();
            dialog->reject();
        });
        QTest::mouseClick(button, Qt::LeftButton);
        ASSERT_TRUE(shown);
        EXPECT_GT(wanted.height(), Available().height()) << "Qt's own size would not fit";
        EXPECT_LE(frame.height(), Available().height());
        EXPECT_TRUE(Available().contains(frame))
            << frame.x() << ',' << frame.y() << ' ' << frame.width() << 'x' << frame.height();
    }
}

} // namespace
