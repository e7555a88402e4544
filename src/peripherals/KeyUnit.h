// TKeyForm, the 4x2 keypad: eight toggle keys that pull their port pins low.
#pragma once

#include <QMdiSubWindow>
#include <QPointer>

class QPushButton;

class TKeyForm : public QMdiSubWindow {
    Q_OBJECT
public:
    explicit TKeyForm(QWidget* parent = nullptr);
    QPushButton* Keys[8];
    uint8_t KeypadKeyDown[8] = {};

    // Presses key n when it is up, releases it when it is down.
    void Toggle(int n);
    // FormKeyPress: a typed digit 0-7 toggles its key.
    void FormKeyPress(const QString& text);

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
};

extern QPointer<TKeyForm> KeyForm;
