// The 4x4 keypad window: keys held or toggled, each joining its row and column lines while down.
#include "Keypad4x4Unit.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QPushButton>

#include "Board.h"
#include "Settings.h"

QPointer<TKeypad4x4Form> Keypad4x4Form;

namespace {
const char* const kKeyNames = "0123456789ABCDEF";
}

TKeypad4x4Form::TKeypad4x4Form(QWidget* parent) : QMdiSubWindow(parent) {
    setAttribute(Qt::WA_DeleteOnClose);
    setObjectName(QStringLiteral("Keypad4x4Form"));
    setWindowTitle(QStringLiteral("Keypad 4x4"));
    setWindowIcon(QIcon(QStringLiteral(":/icons/keypad.svg")));
    setWindowFlags(Qt::SubWindow | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    auto* client = new QWidget(this);
    for (int k = 0; k < 16; ++k) {
        Keys[k] = new QPushButton(QString(QLatin1Char(kKeyNames[k])), client);
        Keys[k]->setGeometry(4 + 34 * (k % 4), 4 + 34 * (k / 4), 32, 32);
        Keys[k]->setFocusPolicy(Qt::ClickFocus);
        Keys[k]->setCheckable(true);  // assistive technology reads "checked" while the key is down
        Keys[k]->setAccessibleDescription(
            QStringLiteral("Keypad key; joins its row and column lines while down"));
        Keys[k]->installEventFilter(this);
        // Held: down while the mouse button is; toggled: every click flips it.
        connect(Keys[k], &QPushButton::pressed, this, [this, k] {
            if (!CheckBox1->isChecked()) SetKey(k, true);
        });
        connect(Keys[k], &QPushButton::released, this, [this, k] {
            if (!CheckBox1->isChecked()) SetKey(k, false);
        });
        connect(Keys[k], &QPushButton::clicked, this, [this, k] {
            if (CheckBox1->isChecked()) SetKey(k, !(Keypad4x4Keys() >> k & 1));
            else Keys[k]->setChecked(Keypad4x4Keys() >> k & 1);
        });
    }
    CheckBox1 = new QCheckBox(QStringLiteral("Toggle keys"), client);
    CheckBox1->setAccessibleDescription(
        QStringLiteral("When checked, a click or a typed key presses a key and the next one releases it"));
    CheckBox1->setGeometry(4, 4 + 34 * 4, 136, 20);
    // Leaving the toggle mode releases every key it left down.
    connect(CheckBox1, &QCheckBox::toggled, this, [this](bool on) {
        if (!on)
            for (int k = 0; k < 16; ++k) SetKey(k, false);
    });
    client->setFixedSize(4 + 34 * 4 + 2, 4 + 34 * 4 + 24);
    setWidget(client);
    FormCreate();
}

TKeypad4x4Form::~TKeypad4x4Form() {
    if (!Keypad4x4Form || Keypad4x4Form == this) DetachKeypad4x4();
}

void TKeypad4x4Form::closeEvent(QCloseEvent* event) {
    QMdiSubWindow::closeEvent(event);
    if (!event->isAccepted() || Keypad4x4Form != this) return;
    DetachKeypad4x4();
    Keypad4x4Form = nullptr;
}

void TKeypad4x4Form::FormCreate() {
    AttachKeypad4x4(Settings.Keypad4x4);
    for (int k = 0; k < 16; ++k) SetKey(k, false);
}

void TKeypad4x4Form::SetKey(int key, bool down) {
    SetKeypad4x4Key(key, down);
    QFont f = Keys[key]->font();
    f.setBold(down);
    Keys[key]->setFont(f);
    Keys[key]->setChecked(down);
}

void TKeypad4x4Form::TypedKey(const QString& text, bool pressed) {
    if (text.size() != 1) return;
    const int key = KeypadKeyOfChar(char(text.at(0).toLatin1()));
    if (key < 0) return;
    if (CheckBox1->isChecked()) {
        if (pressed) SetKey(key, !(Keypad4x4Keys() >> key & 1));
    } else {
        SetKey(key, pressed);
    }
}

bool TKeypad4x4Form::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->text().size() == 1 && KeypadKeyOfChar(char(key->text().at(0).toLatin1())) >= 0) {
            if (!key->isAutoRepeat()) TypedKey(key->text(), event->type() == QEvent::KeyPress);
            return true;
        }
    }
    return QMdiSubWindow::eventFilter(watched, event);
}

void TKeypad4x4Form::keyPressEvent(QKeyEvent* event) {
    if (event->text().size() == 1 && KeypadKeyOfChar(char(event->text().at(0).toLatin1())) >= 0) {
        if (!event->isAutoRepeat()) TypedKey(event->text(), true);
    } else {
        QMdiSubWindow::keyPressEvent(event);
    }
}

void TKeypad4x4Form::keyReleaseEvent(QKeyEvent* event) {
    if (event->text().size() == 1 && KeypadKeyOfChar(char(event->text().at(0).toLatin1())) >= 0) {
        if (!event->isAutoRepeat()) TypedKey(event->text(), false);
    } else {
        QMdiSubWindow::keyReleaseEvent(event);
    }
}
