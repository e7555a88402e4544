// The keypad: toggles by click or typed digit, each pulling the key's pin and the shared pin low
// while the key is down.
#include "KeyUnit.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QPushButton>

#include "Code.h"
#include "Inputs.h"
#include "Settings.h"

QPointer<TKeyForm> KeyForm;

namespace {

// The keypad's pull on one port pin (a bit address of P0-P3); the latch stays as the program
// wrote it, and the pull is the keypad's own.
void DrivePin(uint8_t bitAddress, bool low) {
    if ((bitAddress & 0xC8) != 0x80) return;  // not a port bit
    SubmitInput(MakeInput(InputKind::DevicePin, uint16_t(((bitAddress >> 4) & 3) * 8 + (bitAddress & 7)),
                          low ? 0 : 1, uint8_t(DeviceId::Keypad)));
}

}  // namespace

TKeyForm::TKeyForm(QWidget* parent) : QMdiSubWindow(parent) {
    setAttribute(Qt::WA_DeleteOnClose);
    setObjectName(QStringLiteral("KeyForm"));
    setWindowTitle(QStringLiteral("Keypad"));
    setWindowIcon(QIcon(QStringLiteral(":/icons/keypad.svg")));
    setWindowFlags(Qt::SubWindow | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    auto* client = new QWidget(this);
    client->setFixedSize(123, 61);
    for (int n = 0; n < 8; ++n) {
        Keys[n] = new QPushButton(QString::number(n), client);
        Keys[n]->setGeometry(31 * (n % 4), 31 * (n / 4), 30, 30);
        Keys[n]->setFocusPolicy(Qt::ClickFocus);
        // A toggle: assistive technology reads "checked" while the key is held down.
        Keys[n]->setCheckable(true);
        Keys[n]->setAccessibleDescription(QStringLiteral("Keypad key; pulls its port pin low while down"));
        Keys[n]->installEventFilter(this);
        connect(Keys[n], &QPushButton::clicked, this, [this, n] { Toggle(n); });
    }
    setWidget(client);
}

void TKeyForm::closeEvent(QCloseEvent* event) {
    QMdiSubWindow::closeEvent(event);
    if (event->isAccepted() && KeyForm == this) KeyForm = nullptr;
}

void TKeyForm::Toggle(int n) {
    KeypadKeyDown[n] = uint8_t(1 - KeypadKeyDown[n]);
    const bool down = KeypadKeyDown[n];
    QFont f = Keys[n]->font();
    f.setBold(down);
    Keys[n]->setFont(f);
    Keys[n]->setChecked(down);
    DrivePin(Settings.Port[n], down);
    if (Settings.UseInt) DrivePin(Settings.Port[8], down);
}

void TKeyForm::FormKeyPress(const QString& text) {
    for (int n = 0; n < 8; ++n) {
        if (Keys[n]->text() != text) continue;
        Toggle(n);
        Keys[n]->setFocus();
    }
}

bool TKeyForm::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (!key->text().isEmpty() && key->text().at(0).unicode() >= 32) {
            FormKeyPress(key->text());
            return true;
        }
    }
    return QMdiSubWindow::eventFilter(watched, event);
}

void TKeyForm::keyPressEvent(QKeyEvent* event) {
    if (!event->text().isEmpty() && event->text().at(0).unicode() >= 32) FormKeyPress(event->text());
    else QMdiSubWindow::keyPressEvent(event);
}
