// TLCDForm, the character LCD: the HD44780 module's glass with its 5x8 dots, green or blue.
#pragma once

#include <QImage>
#include <QMdiSubWindow>
#include <QPointer>
#include <vector>

#include "Board.h"
#include "RefreshRouter.h"

class QLabel;

// The glass of a module as it looks: every character cell's 5x8 dots, the cursor and a blinking
// block at the address counter when they are on (`blinkPhase`: the block is shown).
QImage DrawLcdGlass(const Hd44780& lcd, bool blinkPhase);

class TLCDForm : public QMdiSubWindow, public RefreshTarget {
    Q_OBJECT
public:
    explicit TLCDForm(QWidget* parent = nullptr);
    ~TLCDForm() override;
    QLabel* Image1;

    // Attaches the module as the settings wire it (powered on: blank, busy for 10 ms) and sizes
    // the window for it; runs again when the LCD options are confirmed.
    void FormCreate();
    // Redraws when anything the glass shows has changed (polled at the display's pace).
    void ShowLiveState() override;
    // The lines as a screen reader reads them, " / " between lines; user-defined characters as
    // "?".
    QString LinesText() const;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    std::vector<uint8_t> shown_;  // what the glass was drawn from
};

extern QPointer<TLCDForm> LCDForm;
