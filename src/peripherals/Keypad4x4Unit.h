// TKeypad4x4Form, the 4x4 matrix keypad: keys 0-F held by mouse or keyboard, or toggled.
#pragma once

#include <QMdiSubWindow>
#include <QPointer>

class QCheckBox;
class QPushButton;

class TKeypad4x4Form : public QMdiSubWindow {
    Q_OBJECT
public:
    explicit TKeypad4x4Form(QWidget* parent = nullptr);
    ~TKeypad4x4Form() override;
    QPushButton* Keys[16];
    // "Toggle keys": a click or a typed key presses a key that is up and releases one that is
    // down; otherwise a key is down while the mouse button or the keyboard key is held.
    QCheckBox* CheckBox1;

    // Attaches the keypad as the settings wire it, every key up; runs again when the keypad's
    // options are confirmed.
    void FormCreate();
    void SetKey(int key, bool down);
    // A typed character (0-9, A-F) pressed or released.
    void TypedKey(const QString& text, bool pressed);

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
};

extern QPointer<TKeypad4x4Form> Keypad4x4Form;
