// TSimCfgForm, the simulation options dialog: processor, clock, refresh rate and loading options.
#pragma once

#include <QDialog>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

class TSimCfgForm : public QDialog {
    Q_OBJECT
public:
    explicit TSimCfgForm(QWidget* parent);

    QGroupBox* RadioGroup1;
    QRadioButton *Radio8051, *Radio8052;
    QGroupBox *GroupBox1, *GroupBox2;
    QLabel *Label1, *Label2, *Label3, *Label4, *Label6, *Label7;
    QLineEdit *Edit1, *Edit2, *Edit3;
    QCheckBox *CheckBox1, *CheckBox2, *CheckBox3, *CheckBox4, *CheckBox5;
    QCheckBox* CheckBox6;  // "Run at the controller's real speed"
    QPushButton *Button1, *Button2;

    // Fills the controls from Settings.
    void FormCreate();
    // OK: checks every field, then stores them; false (dialog stays open) when a field is refused.
    bool Button1Click();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void CheckBox1Click();
    void CheckBox2Click();
};
