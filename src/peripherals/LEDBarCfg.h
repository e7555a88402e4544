// TLEDBarCfgForm, the LED bar options: the port of its eight LEDs and whether a low pin lights one.
#pragma once

#include <QDialog>

class QCheckBox;
class QComboBox;

class TLEDBarCfgForm : public QDialog {
    Q_OBJECT
public:
    explicit TLEDBarCfgForm(QWidget* parent);
    QComboBox* Port;
    QCheckBox* CheckBox1;  // "Active low"
    void FormShow();
    void Button1Click();

protected:
    void showEvent(QShowEvent* event) override;
};
