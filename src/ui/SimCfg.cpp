// The simulation options dialog and what its OK changes.
#include "SimCfg.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "Code.h"
#include "DialogButtons.h"
#include "KeyFilters.h"
#include "MainWindowLink.h"
#include "ProgramFiles.h"
#include "Prompts.h"
#include "Settings.h"
#include "Unit2.h"

TSimCfgForm::TSimCfgForm(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Simulation Options"));
    setObjectName(QStringLiteral("SimCfgForm"));

    RadioGroup1 = new QGroupBox(QStringLiteral("Processor"), this);
    Radio8051 = new QRadioButton(QStringLiteral("8051"), RadioGroup1);
    Radio8052 = new QRadioButton(QStringLiteral("8052"), RadioGroup1);
    auto* rl = new QVBoxLayout(RadioGroup1);
    rl->addWidget(Radio8051);
    rl->addWidget(Radio8052);

    GroupBox1 = new QGroupBox(QStringLiteral("Speed"), this);
    Label1 = new QLabel(QStringLiteral("Simulate processor with"), GroupBox1);
    Edit1 = new QLineEdit(GroupBox1);
    Edit1->setMaxLength(8);
    Label2 = new QLabel(QStringLiteral("Hz"), GroupBox1);
    CheckBox1 = new QCheckBox(GroupBox1);
    CheckBox1->setAccessibleName(QStringLiteral("Update screen every"));
    Label4 = new QLabel(QStringLiteral("Update screen every"), GroupBox1);
    Edit2 = new QLineEdit(GroupBox1);
    Edit2->setMaxLength(3);
    Label3 = new QLabel(QStringLiteral("instructions"), GroupBox1);
    Label1->setBuddy(Edit1);
    Label4->setBuddy(Edit2);
    auto* sl = new QGridLayout(GroupBox1);
    sl->addWidget(Label1, 0, 1);
    sl->addWidget(Edit1, 0, 2);
    sl->addWidget(Label2, 0, 3);
    sl->addWidget(CheckBox1, 1, 0);
    sl->addWidget(Label4, 1, 1);
    sl->addWidget(Edit2, 1, 2);
    sl->addWidget(Label3, 1, 3);
    CheckBox6 = new QCheckBox(QStringLiteral("Run at the controller's real speed"), GroupBox1);
    CheckBox6->setAccessibleDescription(
        QStringLiteral("Runs pace themselves to the clock frequency divided by 12 machine cycles per "
                       "second, so that delay loops and baud rates take their real time"));
    sl->addWidget(CheckBox6, 2, 0, 1, 4);

    GroupBox2 = new QGroupBox(QStringLiteral("General"), this);
    CheckBox2 = new QCheckBox(GroupBox2);
    CheckBox2->setAccessibleName(QStringLiteral("Binary file starting offset at"));
    Label6 = new QLabel(QStringLiteral("Binary file starting offset at"), GroupBox2);
    Edit3 = new QLineEdit(GroupBox2);
    Edit3->setMaxLength(4);
    Label7 = new QLabel(QStringLiteral("hex"), GroupBox2);
    Label6->setBuddy(Edit3);
    CheckBox3 = new QCheckBox(QStringLiteral("Delete all NOPs at the end of file"), GroupBox2);
    CheckBox4 = new QCheckBox(
        QStringLiteral("Continue simulation at position 0 after reaching the end of file"), GroupBox2);
    CheckBox5 = new QCheckBox(QStringLiteral("Ignore invalid checksums in hex-files"), GroupBox2);
    auto* gl = new QGridLayout(GroupBox2);
    gl->addWidget(CheckBox2, 0, 0);
    gl->addWidget(Label6, 0, 1);
    gl->addWidget(Edit3, 0, 2);
    gl->addWidget(Label7, 0, 3);
    gl->addWidget(CheckBox3, 1, 0, 1, 4);
    gl->addWidget(CheckBox4, 2, 0, 1, 4);
    gl->addWidget(CheckBox5, 3, 0, 1, 4);

    QHBoxLayout* buttons = OkCancelRow(this, Button1, Button2);
    auto* top = new QHBoxLayout;
    top->addWidget(RadioGroup1);
    top->addWidget(GroupBox1, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(GroupBox2);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    KeyFilter::Install(Edit1, KeyFilter::Decimal);
    KeyFilter::Install(Edit2, KeyFilter::Decimal);
    KeyFilter::Install(Edit3, KeyFilter::Hexadecimal);
    connect(CheckBox1, &QCheckBox::clicked, this, [this] { CheckBox1Click(); });
    connect(CheckBox2, &QCheckBox::clicked, this, [this] { CheckBox2Click(); });
    connect(Button1, &QPushButton::clicked, this, [this] {
        if (Button1Click()) accept();
    });
    connect(Button2, &QPushButton::clicked, this, &QDialog::reject);
    FormCreate();
}

void TSimCfgForm::showEvent(QShowEvent* event) {
    FormCreate();
    QDialog::showEvent(event);
}

void TSimCfgForm::FormCreate() {
    (Settings.Processor == 1 ? Radio8052 : Radio8051)->setChecked(true);
    Edit1->setText(QString::number(Settings.Frequency));
    const bool update = Settings.ScrUpdate != 0;
    CheckBox1->setChecked(update);
    Edit2->setText(update ? QString::number(Settings.ScrUpdate) : QStringLiteral("1"));
    CheckBox1Click();
    CheckBox6->setChecked(Settings.RealTime);
    const bool offset = Settings.BinOffset != 0;
    CheckBox2->setChecked(offset);
    Edit3->setText(offset ? QStringLiteral("%1").arg(Settings.BinOffset, 4, 16, QLatin1Char('0')).toUpper()
                          : QStringLiteral("1"));
    CheckBox2Click();
    CheckBox3->setChecked(Settings.DelNops);
    CheckBox4->setChecked(Settings.AutoRestart);
    CheckBox5->setChecked(Settings.IgnoreChecksum);
}

void TSimCfgForm::CheckBox1Click() {
    const bool on = CheckBox1->isChecked();
    for (QWidget* w : {static_cast<QWidget*>(Edit2), static_cast<QWidget*>(Label3),
                       static_cast<QWidget*>(Label4)})
        w->setEnabled(on);
}

void TSimCfgForm::CheckBox2Click() {
    const bool on = CheckBox2->isChecked();
    for (QWidget* w : {static_cast<QWidget*>(Edit3), static_cast<QWidget*>(Label6),
                       static_cast<QWidget*>(Label7)})
        w->setEnabled(on);
}

bool TSimCfgForm::Button1Click() {
    // Every field is checked before anything changes.
    bool freqOk = false;
    const qlonglong frequency = Edit1->text().toLongLong(&freqOk);
    if (!Edit1->text().isEmpty() && (!freqOk || frequency < 1000000 || frequency > 80000000)) {
        CurrentPrompts().Error(this, QStringLiteral("Frequency must be between 1000000 and 80000000 Hz."));
        return false;
    }
    bool updOk = false;
    const int update = Edit2->text().toInt(&updOk);
    if (CheckBox1->isChecked() && updOk && update > 255) {
        CurrentPrompts().Error(this, QStringLiteral("Update screen every: enter at most 255 instructions."));
        return false;
    }
    unsigned offset = 0;
    if (CheckBox2->isChecked() && (!ParseHexText(Edit3->text(), &offset) || offset > 0xFFFF)) {
        CurrentPrompts().Error(this, NotAValidInteger(Edit3->text()));
        return false;
    }

    if (!Edit1->text().isEmpty()) Settings.Frequency = int32_t(frequency);
    Settings.ScrUpdate = 0;
    if (CheckBox1->isChecked() && updOk) Settings.ScrUpdate = uint8_t(update);
    const uint8_t processor = Radio8052->isChecked() ? 1 : 0;
    if (processor != Settings.Processor) {
        Settings.Processor = processor;
        Processor8052 = processor;
        if (MainWindow) MainWindow->RebuildProcessorWindows();
    }
    if (MainWindow) MainWindow->UpdateProcessorStatus();
    Settings.BinOffset = uint16_t(CheckBox2->isChecked() ? offset : 0);
    if (CheckBox3->isChecked() != Settings.DelNops) {
        Settings.DelNops = CheckBox3->isChecked();
        ProgramEnd = Settings.DelNops ? LoadedProgramEnd : 0xFFFF;
        if (Form2) Form2->BuildListingIntoGrid();
    }
    Settings.AutoRestart = CheckBox4->isChecked();
    Settings.RealTime = CheckBox6->isChecked();
    Settings.IgnoreChecksum = CheckBox5->isChecked();
    return true;
}
