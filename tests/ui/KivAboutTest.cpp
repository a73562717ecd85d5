#include "ui/KivAbout.h"

#include "ui/Form1.h"

#include "UiTestSupport.h"

#include <QAction>
#include <QApplication>
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
            seen.formBlocked
                = QApplication::activeModalWidget() == about && about->parentWidget() == &form;
            seen.centred
                = (about->geometry().center() - form.geometry().center()).manhattanLength() <= 2;
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

// A caption wider than its control is cut off on screen.
TEST_F(KivAboutTest, EveryTextFitsItsControl)
{
    ui::Form1& form = OpenForm();
    QStringList tooWide;
    std::vector<QSize> pictures;
    uitest::WhenModalShows([&](QWidget* modal) {
        const auto* about = static_cast<ui::KivAbout*>(modal);
        pictures = { about->Image1->pixmap().size(), about->Image2->pixmap().size() };
        for (const QLabel* label : modal->findChildren<QLabel*>()) {
            if (label->fontMetrics().horizontalAdvance(label->text())
                > label->contentsRect().width()) {
                tooWide << label->objectName();
            }
        }
        modal->close();
    });
    form.IDM_ABOUT->trigger();
    EXPECT_TRUE(tooWide.isEmpty()) << tooWide.join(u' ').toStdString();
    // The pictures come from the program's resources; a resource left out of the build shows none.
    EXPECT_EQ(pictures, (std::vector<QSize> { QSize(32, 32), QSize(72, 40) }));
}

} // namespace
