// TDasmCfgForm, the disassembler options dialog.
#pragma once

#include <QDialog>

class QCheckBox;
class QComboBox;
class QPushButton;

class TDasmCfgForm : public QDialog {
    Q_OBJECT
public:
    explicit TDasmCfgForm(QWidget* parent);
    QCheckBox* CheckBox[4];
    QComboBox *ComboBox1, *ComboBox2;  // "Numbers:", "Addresses:"
    QPushButton *Button1, *Button2;    // OK, Cancel

    void FormShow();
    void Button1Click();

protected:
    void showEvent(QShowEvent* event) override;
};
