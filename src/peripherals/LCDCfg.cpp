// The LCD options dialog.
#include "LCDCfg.h"

#include <QComboBox>
#include <QFormLayout>
#include <QPushButton>
#include <QVBoxLayout>

#include "BoardFile.h"
#include "DialogButtons.h"
#include "LCDUnit.h"
#include "LEDCfg.h"
#include "LEDUnit.h"
#include "Prompts.h"
#include "Settings.h"

namespace {
// The module sizes offered, columns x lines.
constexpr int kSizes[][2] = {{16, 2}, {20, 4}, {16, 1}, {20, 2}, {16, 4}, {8, 2}, {24, 2}, {40, 2}};
}

TLCDCfgForm::TLCDCfgForm(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("LCD"));
    setObjectName(QStringLiteral("LCDCfgForm"));
    auto make = [this](const char* name) {
        auto* box = new QComboBox(this);
        box->setAccessibleName(QString::fromLatin1(name));
        return box;
    };
    Size = make("Size");
    for (auto [columns, lines] : kSizes) Size->addItem(QStringLiteral("%1 x %2").arg(columns).arg(lines));
    Colour = make("Colour");
    Colour->addItems({QStringLiteral("Green"), QStringLiteral("Blue")});
    Interface = make("Interface");
    Interface->addItems({QStringLiteral("8 bits (D0-D7)"), QStringLiteral("4 bits (D4-D7 on bits 4-7)")});
    DataPort = make("Data port");
    for (int p = 0; p < 4; ++p) DataPort->addItem(QStringLiteral("P%1").arg(p));
    RS = make("RS pin");
    RW = make("RW pin");
    E = make("E pin");
    RW->addItem(QStringLiteral("GND"));
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Size:"), Size);
    form->addRow(QStringLiteral("Colour:"), Colour);
    form->addRow(QStringLiteral("Interface:"), Interface);
    form->addRow(QStringLiteral("Data port:"), DataPort);
    form->addRow(QStringLiteral("RS:"), RS);
    form->addRow(QStringLiteral("RW:"), RW);
    form->addRow(QStringLiteral("E:"), E);
    LayOutOptionDialog(this, form, [this] { Button1Click(); });
    FormShow();
}

void TLCDCfgForm::showEvent(QShowEvent* event) {
    FormShow();
    QDialog::showEvent(event);
}

void TLCDCfgForm::FormShow() {
    const LcdWiring& w = Settings.LCD;
    Size->setCurrentIndex(0);
    for (int i = 0; i < int(std::size(kSizes)); ++i)
        if (kSizes[i][0] == w.Columns && kSizes[i][1] == w.Lines) Size->setCurrentIndex(i);
    Colour->setCurrentIndex(w.Blue ? 1 : 0);
    Interface->setCurrentIndex(w.Bits == 4 ? 1 : 0);
    DataPort->setCurrentIndex(w.DataPort & 3);
    FillPinList(RS, w.RS);
    FillPinList(E, w.E);
    // RW: the 32 pins, then GND (tied low: the module is only written).
    if (RW->count() == 1) {
        RW->clear();
        for (int k = 0; k < 32; ++k) RW->addItem(PinName(k));
        RW->addItem(QStringLiteral("GND"));
    }
    RW->setCurrentIndex(w.RW == kGroundPin ? 32 : ItemOfPin(w.RW));
}

void TLCDCfgForm::Button1Click() {
    LcdWiring w = Settings.LCD;
    w.Columns = kSizes[Size->currentIndex()][0];
    w.Lines = kSizes[Size->currentIndex()][1];
    w.Blue = Colour->currentIndex() == 1;
    w.Bits = Interface->currentIndex() == 1 ? 4 : 8;
    w.DataPort = DataPort->currentIndex();
    w.RS = ChosenPin(RS, w.RS);
    w.E = ChosenPin(E, w.E);
    w.RW = RW->currentIndex() == 32 ? kGroundPin : ChosenPin(RW, w.RW);
    if (const std::string why = LcdWiringProblem(w); !why.empty()) {
        CurrentPrompts().Error(this, QStringLiteral("The LCD cannot be wired so: %1.").arg(QString::fromStdString(why)));
        return;
    }
    Settings.LCD = w;
    if (LCDForm) LCDForm->FormCreate();
    accept();
}
