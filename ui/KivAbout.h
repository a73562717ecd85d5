#pragma once

#include <QDialog>

#include <array>

class QFrame;
class QLabel;
class QPushButton;

namespace ui {

// The About box. The caption, Title, PgmVer and Notice are filled by whoever opens it.
class KivAbout final : public QDialog {
    Q_OBJECT

public:
    explicit KivAbout(QWidget* owner);

    std::array<QFrame*, 6> Line1 {};
    QLabel* Image1;
    QLabel* Title;
    QLabel* PgmVer;
    QLabel* Notice;
    QLabel* Label5;
    QLabel* Label6;
    QLabel* Image2;
    QLabel* Label4;
    QPushButton* Command1;

    void Command1_Click();

protected:
    void keyPressEvent(QKeyEvent* event) override;
};

} // namespace ui
