// TLCDCfgForm, the LCD options: the module's size and colour, its interface and its pins.
#pragma once

#include <QDialog>

class QComboBox;

class TLCDCfgForm : public QDialog {
    Q_OBJECT
public:
    explicit TLCDCfgForm(QWidget* parent);
    QComboBox *DataPort, *RS, *RW, *E, *Interface, *Size, *Colour;
    // Fills every control from the settings; runs each time the dialog is shown.
    void FormShow();
    // OK: wiring that cannot work is refused with a message; otherwise the settings take it and
    // an open LCD window is wired anew.
    void Button1Click();

protected:
    void showEvent(QShowEvent* event) override;
};
