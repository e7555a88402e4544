// The disassembler options: casing, opcode comments, blanks for tabs, and the two radixes.
#include "DasmCfg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "Settings.h"
#include "DialogButtons.h"
#include "MainWindowLink.h"

TDasmCfgForm::TDasmCfgForm(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Disassembler Options"));
    setObjectName(QStringLiteral("DasmCfgForm"));
    auto* general = new QGroupBox(QStringLiteral("General"), this);
    auto* gl = new QVBoxLayout(general);
    const char* captions[4] = {"Instructions/labels in capital letters",
                               "Registers/hex numbers in capital letters", "Add opcode as comment",
                               "Use spaces instead of tabs"};
    for (int i = 0; i < 4; ++i) {
        CheckBox[i] = new QCheckBox(QString::fromLatin1(captions[i]), general);
        CheckBox[i]->setObjectName(QStringLiteral("CheckBox%1").arg(i + 1));
        gl->addWidget(CheckBox[i]);
    }
    auto* data = new QGroupBox(QStringLiteral("Data"), this);
    auto* dl = new QGridLayout(data);
    const QStringList radixes{QStringLiteral("binary"), QStringLiteral("decimal"),
                              QStringLiteral("hexadecimal")};
    ComboBox1 = new QComboBox(data);
    ComboBox2 = new QComboBox(data);
    ComboBox1->addItems(radixes);
    ComboBox2->addItems(radixes);
    auto* l1 = new QLabel(QStringLiteral("Numbers:"), data);
    auto* l2 = new QLabel(QStringLiteral("Addresses:"), data);
    l1->setBuddy(ComboBox1);
    l2->setBuddy(ComboBox2);
    dl->addWidget(l1, 0, 0);
    dl->addWidget(ComboBox1, 0, 1);
    dl->addWidget(l2, 1, 0);
    dl->addWidget(ComboBox2, 1, 1);
    QHBoxLayout* buttons = OkCancelRow(this, Button1, Button2);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(general);
    layout->addWidget(data);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
    connect(Button2, &QPushButton::clicked, this, &QDialog::reject);
}

void TDasmCfgForm::showEvent(QShowEvent* event) {
    FormShow();
    QDialog::showEvent(event);
}

void TDasmCfgForm::FormShow() {
    for (int i = 0; i < 4; ++i) CheckBox[i]->setChecked(Settings.Optn[i]);
    ComboBox1->setCurrentIndex(Settings.Numbers <= 2 ? Settings.Numbers : -1);
    ComboBox2->setCurrentIndex(Settings.Addresses <= 2 ? Settings.Addresses : -1);
}

void TDasmCfgForm::Button1Click() {
    for (int i = 0; i < 4; ++i) Settings.Optn[i] = CheckBox[i]->isChecked();
    if (ComboBox1->currentIndex() >= 0) Settings.Numbers = uint8_t(ComboBox1->currentIndex());
    if (ComboBox2->currentIndex() >= 0) Settings.Addresses = uint8_t(ComboBox2->currentIndex());
    if (MainWindow) MainWindow->ReplaceListingView();
    accept();
}
