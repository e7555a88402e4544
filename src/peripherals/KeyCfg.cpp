// The keypad options dialog; its controls show the settings each time it opens.
#include "KeyCfg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>

#include "FitText.h"
#include "LEDCfg.h"
#include "Settings.h"

namespace {

// A picture key: a typed character shows its code.
class PictureKey : public QPushButton {
public:
    using QPushButton::QPushButton;

protected:
    void keyPressEvent(QKeyEvent* event) override {
        if (event->text().isEmpty()) return QPushButton::keyPressEvent(event);
        QMessageBox::information(this, QStringLiteral("Keypad 4x2"),
                                 QString::number(event->text().at(0).unicode()));
    }
};

}  // namespace

TKeyCfgForm::TKeyCfgForm(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Keypad 4x2"));
    setObjectName(QStringLiteral("KeyCfgForm"));
    setFixedSize(269, 233);
    QFont small = font();
    small.setPixelSize(11);
    setFont(small);
    for (int n = 0; n < 8; ++n) {
        auto* key = new PictureKey(QString::number(n), this);
        key->setGeometry(72 + 31 * (n % 4), 48 + 31 * (n / 4), 30, 30);
        key->setFocusPolicy(Qt::ClickFocus);
    }
    // Each key's pin list stands beside its own key: 0 and 4 on the left, 3 and 7 on the right,
    // 1 and 2 above the top row, 5 and 6 below the bottom row; the connector marks join them.
    const int pos[9][2] = {{8, 52},   {81, 8},    {138, 8}, {213, 52}, {8, 83},
                           {81, 128}, {138, 128}, {213, 83}, {55, 165}};
    for (int i = 0; i < 9; ++i) {
        Pins[i] = new QComboBox(this);
        Pins[i]->setGeometry(pos[i][0], pos[i][1], 48, 22);
        Pins[i]->setAccessibleName(i < 8 ? QStringLiteral("Pin of key %1").arg(i)
                                         : QStringLiteral("Key event pin"));
        // A screen reader reads the chosen pin as the value and the key as the purpose.
        Pins[i]->setAccessibleDescription(Pins[i]->accessibleName());
        Pins[i]->setToolTip(Pins[i]->accessibleName());
        if (i > 0) setTabOrder(Pins[i - 1], Pins[i]);
    }
    CheckBox1 = new QCheckBox(this);
    CheckBox1->setGeometry(8, 168, 16, 16);
    CheckBox1->setAccessibleName(QStringLiteral("Clear on global key event"));
    auto* clear = new QLabel(QStringLiteral("Clear"), this);
    clear->move(26, 169);
    CondenseToFit(clear, 55 - 26 - 2);  // up to 2 pixels before the pin list
    (new QLabel(QStringLiteral("on global key event"), this))->move(106, 169);
    for (auto [x, y] : {std::pair{117, 32}, {148, 32}, {117, 111}, {148, 111}})
        (new QLabel(QStringLiteral("|"), this))->move(x, y);
    for (auto [x, y] : {std::pair{60, 50}, {60, 81}, {201, 50}, {201, 81}})
        (new QLabel(QStringLiteral("_"), this))->move(x, y);
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    ok->setGeometry(54, 200, 75, 25);
    cancel->setGeometry(138, 200, 75, 25);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, [this] { Button1Click(); });
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    FormShow();
    for (QComboBox* box : Pins) CondenseItemsToFit(box);
}

void TKeyCfgForm::showEvent(QShowEvent* event) {
    FormShow();
    QDialog::showEvent(event);
}

void TKeyCfgForm::FormShow() {
    for (int i = 0; i < 9; ++i) FillPinList(Pins[i], Settings.Port[i]);
    CheckBox1->setChecked(Settings.UseInt);
}

void TKeyCfgForm::Button1Click() {
    for (int i = 0; i < 9; ++i) Settings.Port[i] = ChosenPin(Pins[i], Settings.Port[i]);
    Settings.UseInt = CheckBox1->isChecked();
    accept();
}
