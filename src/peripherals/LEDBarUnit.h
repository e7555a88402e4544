// TLEDBarForm, the LED bar: eight LEDs on the pins of one port, LED 7 on the left.
#pragma once

#include <QMdiSubWindow>
#include <QPointer>

#include "RefreshRouter.h"

class QLabel;

class TLEDBarForm : public QMdiSubWindow, public RefreshTarget {
    Q_OBJECT
public:
    explicit TLEDBarForm(QWidget* parent = nullptr);
    ~TLEDBarForm() override;
    QLabel* Image1;
    uint8_t Lit = 0;  // bit i = LED i lit, as drawn

    // Draws the LEDs from the pins of the port the settings name (polled at the display's pace).
    void ShowLiveState() override;
    // Runs when the LED bar's options are confirmed.
    void FormCreate();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void Draw();
};

extern QPointer<TLEDBarForm> LEDBarForm;
