// TLEDCfgForm, the 7-segment display options: number of digits, mode, trigger and data pins.
#pragma once

#include <QDialog>
#include <QImage>

class QCheckBox;
class QComboBox;
class QLabel;
class QSlider;

class TLEDCfgForm : public QDialog {
    Q_OBJECT
public:
    explicit TLEDCfgForm(QWidget* parent);
    QSlider* TrackBar1;
    QLabel *Image1, *Image2;
    QComboBox* Trig[8];
    QComboBox* Data[8];
    QCheckBox* CheckBox1;
    // Multiplexed digits by persistence (checked) or latched at the trigger's falling edge.
    QCheckBox* CheckBox2;

    void FormShow();
    void TrackBar1Change();
    void DrawDigitPreview();
    void Button1Click();

protected:
    void showEvent(QShowEvent* event) override;
};

// Fills a pin list with "P0.0" ... "P3.7" and selects `bitAddress` (no item when it is no port bit).
void FillPinList(QComboBox* box, uint8_t bitAddress);
// The bit address chosen in a pin list, or `keep` when no item is chosen.
uint8_t ChosenPin(const QComboBox* box, uint8_t keep);
