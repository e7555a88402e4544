// The LED bar options dialog.
#include "LEDBarCfg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QPushButton>
#include <QVBoxLayout>

#include "DialogButtons.h"
#include "LEDBarUnit.h"
#include "Settings.h"

TLEDBarCfgForm::TLEDBarCfgForm(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("LED Bar"));
    setObjectName(QStringLiteral("LEDBarCfgForm"));
    Port = new QComboBox(this);
    Port->setAccessibleName(QStringLiteral("Port"));
    for (int p = 0; p < 4; ++p) Port->addItem(QStringLiteral("P%1").arg(p));
    CheckBox1 = new QCheckBox(QStringLiteral("Active low (an LED lights while its pin is low)"), this);
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Port:"), Port);
    form->addRow(CheckBox1);
    LayOutOptionDialog(this, form, [this] { Button1Click(); });
    FormShow();
}

void TLEDBarCfgForm::showEvent(QShowEvent* event) {
    FormShow();
    QDialog::showEvent(event);
}

void TLEDBarCfgForm::FormShow() {
    Port->setCurrentIndex(Settings.LEDBar.Port & 3);
    CheckBox1->setChecked(Settings.LEDBar.ActiveLow);
}

void TLEDBarCfgForm::Button1Click() {
    Settings.LEDBar.Port = Port->currentIndex();
    Settings.LEDBar.ActiveLow = CheckBox1->isChecked();
    if (LEDBarForm) LEDBarForm->FormCreate();
    accept();
}
