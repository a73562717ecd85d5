#include "ui/Form1.h"

#include "UiTestSupport.h"

#include <QAbstractButton>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

namespace {

class QtTextsTest : public uitest::FormTest { };

// Qt's own texts come from its Japanese translation, loaded at start as main() loads it.
TEST_F(QtTextsTest, TheFileDialogSpeaksJapanese)
{
    ui::Form1& form = OpenForm();
    QStringList buttons;
    QStringList labels;
    uitest::WhenModalShows([&](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        ASSERT_NE(dialog, nullptr);
        for (const QAbstractButton* button : dialog->findChild<QDialogButtonBox*>()->buttons()) {
            buttons << button->text();
        }
        for (const QLabel* label : dialog->findChildren<QLabel*>()) {
            labels << label->text();
        }
        dialog->reject();
    });
    QTest::mouseClick(form.Command6, Qt::LeftButton);
    buttons.sort();
    EXPECT_EQ(buttons, (QStringList { QStringLiteral("キャンセル"), QStringLiteral("開く(&O)") }));
    EXPECT_TRUE(labels.contains(QStringLiteral("ファイル名(&N):")))
        << labels.join(u'|').toStdString();
}

} // namespace
