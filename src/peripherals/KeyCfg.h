// TKeyCfgForm, the keypad options: the pins of the eight keys and of the shared key-event pin.
#pragma once

#include <QDialog>

class QCheckBox;
class QComboBox;

class TKeyCfgForm : public QDialog {
    Q_OBJECT
public:
    explicit TKeyCfgForm(QWidget* parent);
    QComboBox* Pins[9];
    QCheckBox* CheckBox1;
    // Fills every control from the settings; runs each time the dialog is shown.
    void FormShow();
    void Button1Click();

protected:
    void showEvent(QShowEvent* event) override;
};
