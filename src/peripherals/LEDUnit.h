// TLEDForm, the 7-segment display: up to eight digits driven by port pins, multiplexed or direct.
#pragma once

#include <QImage>
#include <QMdiSubWindow>
#include <QPointer>

#include "RefreshRouter.h"

class QLabel;

// Colours and segment shapes shared by the display and its options dialog.
extern const QColor LedBackground, LedOff, LedOn;
// Draws segment n of a digit with origin x0 (y offset dy) in `colour`.
void DrawLedSegment(QImage& image, int x0, int dy, int n, const QColor& colour);
// The 32 port bits of the pin lists: item k is bit address 80h + 10h * (k / 8) + k % 8.
uint8_t PinOfItem(int k);
// The item of a bit address, -1 when it is no port bit.
int ItemOfPin(uint8_t bitAddress);
QString PinName(int k);

class TLEDForm : public QMdiSubWindow, public RefreshTarget {
    Q_OBJECT
public:
    explicit TLEDForm(QWidget* parent = nullptr);
    ~TLEDForm() override;
    QLabel* Image1;
    QImage Picture;

    // Sizes the window for Digits and draws every segment dark.
    void FormCreate();
    // Draws digit i from pin levels: bit n = the level of its segment n's pin (0 lights it).
    void DrawLedDigit(int i, uint8_t levels);
    // Multiplexed mode: every digit as the eye sees it (persistence) or as its trigger's last
    // falling edge latched it; direct mode: every digit from the pins as they are now.
    void ShowLiveState() override;
    void Repaint();
    // The digits as shown, left to right ("?" for a pattern that is no character), as a
    // screen reader reads them; "dark" when no segment is lit.
    QString DigitsText() const;
    uint8_t LitSegments[8] = {};  // lit segments of digit i (from the right), bit n = segment n

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    uint64_t shownDigits_ = 0;  // the persistence model's digits as drawn
    void UpdateInterest();
    void ShowDigitsText();
};

extern QPointer<TLEDForm> LEDForm;
