// TKeypad4x4CfgForm, the 4x4 keypad options: the pins of its four rows and four columns.
#pragma once

#include <QDialog>

class QComboBox;

class TKeypad4x4CfgForm : public QDialog {
    Q_OBJECT
public:
    explicit TKeypad4x4CfgForm(QWidget* parent);
    QComboBox* Rows[4];
    QComboBox* Columns[4];
    void FormShow();
    // OK: pins used twice are refused with a message; otherwise the settings take them and an open
    // keypad window is wired anew.
    void Button1Click();

protected:
    void showEvent(QShowEvent* event) override;
};
