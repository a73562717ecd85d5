#include "ui/KivAbout.h"

#include "ui/Form1.h"

#include "UiTestSupport.h"

#include <QAction>
#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

namespace {

struct Seen {
    bool shown = false;
    QString caption, title, pgmVer, notice, label5, label6;
    bool modal = false;
    bool formBlocked = false;
    bool centred = false;
    bool escapeKeptItOpen = false;
};

class KivAboutTest : public uitest::FormTest {
protected:
    // Opens the box from the Help menu, notes what it shows, and closes it the given way.
    Seen OpenAbout(ui::Form1& form, const char* closeBy)
    {
        Seen seen;
        uitest::WhenModalShows([&](QWidget* modal) {
            auto* about = qobject_cast<ui::KivAbout*>(modal);
            ASSERT_NE(about, nullptr);
            seen.shown = true;
            seen.caption = about->windowTitle();
            seen.title = about->Title->text();
            seen.pgmVer = about->PgmVer->text();
            seen.notice = about->Notice->text();
            seen.label5 = about->Label5->text();
            seen.label6 = about->Label6->text();
            seen.modal = about->isModal() && about->windowModality() != Qt::NonModal;
            seen.formBlocked = QApplication::activeModalWidget() == about && about->parentWidget() == &form;
            seen.centred = (about->geometry().center() - form.geometry().center()).manhattanLength() <= 2;
            QTest::keyClick(about, Qt::Key_Escape);
            seen.escapeKeptItOpen = about->isVisible();
            // Typing into the box must not carry over to the next opening.
            about->Title->setText(QStringLiteral("changed"));
            const std::string how = closeBy;
            if (how == "OK") {
                QTest::mouseClick(about->Command1, Qt::LeftButton);
            } else if (how == "Enter") {
                QTest::keyClick(about, Qt::Key_Return);
            } else {
                about->close();
            }
        });
        form.IDM_ABOUT->trigger();
        return seen;
    }
};

TEST_F(KivAboutTest, ShowsTheSameTextsEachTimeAndClosesEveryWay)
{
    ui::Form1& form = OpenForm();
    for (const char* closeBy : { "OK", "close box", "Enter" }) {
        const Seen seen = OpenAbout(form, closeBy);
        EXPECT_TRUE(seen.shown) << closeBy;
        EXPECT_EQ(seen.caption, QStringLiteral("ヴァンドール について")) << closeBy;
        EXPECT_EQ(seen.title, QStringLiteral("ヴァンドール")) << closeBy;
        EXPECT_EQ(seen.pgmVer, QStringLiteral("vandor.exe version 2.10")) << closeBy;
        EXPECT_FALSE(seen.notice.isEmpty());
        EXPECT_FALSE(seen.notice.contains(u'\n')) << "the rights notice is one line";
        EXPECT_FALSE(seen.label5.isEmpty());
        EXPECT_FALSE(seen.label6.isEmpty());
        EXPECT_TRUE(seen.modal) << closeBy;
        EXPECT_TRUE(seen.formBlocked) << closeBy;
        EXPECT_TRUE(seen.centred) << closeBy;
        EXPECT_TRUE(seen.escapeKeptItOpen) << closeBy;
        EXPECT_EQ(QApplication::activeModalWidget(), nullptr) << closeBy;
        EXPECT_TRUE(form.isVisible());
    }
}

TEST_F(KivAboutTest, TheBoxFollowsTheWindowCaption)
{
    ui::Form1& form = OpenForm();
    form.setWindowTitle(QStringLiteral("別名"));
    const Seen seen = OpenAbout(form, "OK");
    EXPECT_EQ(seen.caption, QStringLiteral("別名 について"));
    EXPECT_EQ(seen.title, QStringLiteral("別名"));
}

TEST(KivAbout, IsDrawnAsTheTableSays)
{
    QWidget owner;
    ui::KivAbout about(&owner);
    EXPECT_EQ(about.size(), QSize(4680 / 15, 3600 / 15));
    EXPECT_EQ(about.minimumSize(), about.maximumSize());
    EXPECT_FALSE(about.windowFlags().testFlag(Qt::WindowMinimizeButtonHint));
    EXPECT_FALSE(about.windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
    EXPECT_FALSE(about.windowIcon().isNull());

    const struct {
        QWidget* control;
        int left, top, width, height; // twips
        double points;                // 0: the window's font
        Qt::Alignment horizontal;
    } controls[] = {
        { about.Image1, 120, 240, 540, 540, 0, Qt::AlignHCenter },
        { about.Title, 120, 240, 4455, 255, 11.25, Qt::AlignHCenter },
        { about.PgmVer, 120, 600, 4455, 255, 11.25, Qt::AlignHCenter },
        { about.Notice, 120, 960, 4455, 255, 9.75, Qt::AlignHCenter },
        { about.Label5, 240, 1680, 4215, 255, 9.75, Qt::AlignLeft },
        { about.Label6, 240, 2040, 4335, 255, 9.75, Qt::AlignLeft },
        { about.Image2, 120, 2760, 1140, 660, 0, Qt::AlignHCenter },
        { about.Label4, 3360, 2880, 1215, 135, 0, Qt::AlignLeft },
        { about.Command1, 3360, 3000, 1215, 375, 0, Qt::AlignLeft },
    };
    for (const auto& c : controls) {
        const std::string name = c.control->objectName().toStdString();
        EXPECT_EQ(c.control->geometry(), QRect(c.left / 15, c.top / 15, c.width / 15, c.height / 15)) << name;
        if (c.points > 0) {
            EXPECT_DOUBLE_EQ(c.control->font().pointSizeF(), c.points) << name;
            EXPECT_EQ(qobject_cast<QLabel*>(c.control)->alignment() & Qt::AlignHorizontal_Mask, c.horizontal)
                << name;
        }
    }
    EXPECT_EQ(about.Image1->pixmap().size(), QSize(32, 32));
    EXPECT_EQ(about.Image2->pixmap().size(), QSize(72, 40));
    EXPECT_EQ(about.Label4->palette().color(QPalette::Window), QColor(0, 255, 0));
    EXPECT_TRUE(about.Label4->autoFillBackground());
    EXPECT_EQ(about.Command1->text(), QStringLiteral("OK"));
    EXPECT_TRUE(about.Command1->isDefault());

    const int ruleTops[] = { 0, 1, 96, 97, 168, 169 };
    for (std::size_t i = 0; i < about.Line1.size(); ++i) {
        EXPECT_EQ(about.Line1[i]->geometry(), QRect(0, ruleTops[i], 4800 / 15, 1)) << i;
        const auto role = i % 2 == 0 ? QPalette::Dark : QPalette::Base;
        EXPECT_EQ(about.Line1[i]->palette().color(QPalette::Window), about.palette().color(role)) << i;
    }
}

} // namespace
