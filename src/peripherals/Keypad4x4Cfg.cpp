// The 4x4 keypad options dialog: a row pin beside each row of keys, a column pin under each column.
#include "Keypad4x4Cfg.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "BoardFile.h"
#include "DialogButtons.h"
#include "Keypad4x4Unit.h"
#include "LEDCfg.h"
#include "Prompts.h"
#include "Settings.h"

TKeypad4x4CfgForm::TKeypad4x4CfgForm(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Keypad 4x4"));
    setObjectName(QStringLiteral("Keypad4x4CfgForm"));
    // The keys as the window shows them, each row's pin on its right, each column's pin below it.
    auto* grid = new QGridLayout;
    const char* const names = "0123456789ABCDEF";
    for (int k = 0; k < 16; ++k) {
        auto* key = new QLabel(QString(QLatin1Char(names[k])), this);
        key->setAlignment(Qt::AlignCenter);
        key->setFrameShape(QFrame::Box);
        key->setMinimumSize(28, 24);
        grid->addWidget(key, k / 4, k % 4);
    }
    for (int i = 0; i < 4; ++i) {
        Rows[i] = new QComboBox(this);
        Rows[i]->setAccessibleName(QStringLiteral("Pin of row %1").arg(i));
        grid->addWidget(new QLabel(QStringLiteral("Row %1:").arg(i), this), i, 5);
        grid->addWidget(Rows[i], i, 6);
        Columns[i] = new QComboBox(this);
        Columns[i]->setAccessibleName(QStringLiteral("Pin of column %1").arg(i));
        grid->addWidget(Columns[i], 5, i);
    }
    grid->addWidget(new QLabel(QStringLiteral("Columns"), this), 6, 0, 1, 4, Qt::AlignCenter);
    grid->setColumnMinimumWidth(4, 12);
    LayOutOptionDialog(this, grid, [this] { Button1Click(); });
    FormShow();
}

void TKeypad4x4CfgForm::showEvent(QShowEvent* event) {
    FormShow();
    QDialog::showEvent(event);
}

void TKeypad4x4CfgForm::FormShow() {
    for (int i = 0; i < 4; ++i) {
        FillPinList(Rows[i], Settings.Keypad4x4.Rows[size_t(i)]);
        FillPinList(Columns[i], Settings.Keypad4x4.Columns[size_t(i)]);
    }
}

void TKeypad4x4CfgForm::Button1Click() {
    Keypad4x4Wiring w = Settings.Keypad4x4;
    for (int i = 0; i < 4; ++i) {
        w.Rows[size_t(i)] = ChosenPin(Rows[i], w.Rows[size_t(i)]);
        w.Columns[size_t(i)] = ChosenPin(Columns[i], w.Columns[size_t(i)]);
    }
    if (const std::string why = Keypad4x4WiringProblem(w); !why.empty()) {
        CurrentPrompts().Error(this, QStringLiteral("The keypad cannot be wired so: %1.").arg(QString::fromStdString(why)));
        return;
    }
    Settings.Keypad4x4 = w;
    if (Keypad4x4Form) Keypad4x4Form->FormCreate();
    accept();
}
