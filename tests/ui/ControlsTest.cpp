#include "common/qt/Controls.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

namespace {

struct SampleWindow {
    QWidget window;
    QMenuBar* menuBar = new QMenuBar(&window);
    QMenu* menu = menuBar->addMenu(QStringLiteral("&File"));
    QAction* entry = menu->addAction(QStringLiteral("Run"));
    QAction* separator = menu->addSeparator();
    QLineEdit* box = new QLineEdit(&window);
    QPushButton* button = new QPushButton(QStringLiteral("Go"), &window);
    QCheckBox* check = new QCheckBox(QStringLiteral("Sub"), &window);
    QLabel* label = new QLabel(QStringLiteral("Status"), &window);
    QDialog* childWindow = new QDialog(&window);

    SampleWindow()
    {
        box->move(0, 30);
        button->move(0, 60);
        window.show();
        window.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&window));
    }

    std::vector<bool> States() const
    {
        return { menuBar->isEnabled(), menu->menuAction()->isEnabled(), entry->isEnabled(),
            separator->isEnabled(), box->isEnabled(), button->isEnabled(), check->isEnabled(),
            label->isEnabled() };
    }
};

TEST(Controls, DisablingReachesEveryControlAndMenuEntryAndLeavesTheFocus)
{
    SampleWindow w;
    w.button->setFocus();
    common::SetControlsEnabled(&w.window, w.box, false);
    EXPECT_EQ(w.States(), std::vector<bool>(8, false));
    // Qt takes the focus off a control as it is disabled; the call itself moves it nowhere.
    EXPECT_NE(QApplication::focusWidget(), w.box);
    EXPECT_TRUE(w.childWindow->isEnabled()) << "another window is not a control";

    common::SetControlsEnabled(&w.window, w.box, false);
    EXPECT_EQ(w.States(), std::vector<bool>(8, false)) << "twice is the same as once";
}

TEST(Controls, EnablingReachesEveryControlAndFocusesTheNamedOne)
{
    SampleWindow w;
    common::SetControlsEnabled(&w.window, w.box, false);
    common::SetControlsEnabled(&w.window, w.check, true);
    EXPECT_EQ(w.States(), std::vector<bool>(8, true));
    EXPECT_EQ(QApplication::focusWidget(), w.check);

    common::SetControlsEnabled(&w.window, w.box, true);
    EXPECT_EQ(w.States(), std::vector<bool>(8, true));
    EXPECT_EQ(QApplication::focusWidget(), w.box);
}

TEST(Controls, AnEmptyWindowStillGetsTheFocus)
{
    QWidget window;
    window.setFocusPolicy(Qt::StrongFocus);
    QWidget other;
    other.setFocusPolicy(Qt::StrongFocus);
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    common::SetControlsEnabled(&window, &window, true);
    EXPECT_EQ(QApplication::focusWidget(), &window);
    common::SetControlsEnabled(nullptr, nullptr, true); // nothing to switch, nothing to focus
}

} // namespace
