// The LED options dialog: track bar with preview, the pin lists and the legend of the segments.
#include "LEDCfg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QSlider>

#include "FitText.h"
#include "LEDUnit.h"
#include "Settings.h"

void FillPinList(QComboBox* box, uint8_t bitAddress) {
    if (box->count() == 0)
        for (int k = 0; k < 32; ++k) box->addItem(PinName(k));
    // A hand-edited pin outside the list is kept; the list then shows no item.
    box->setCurrentIndex(ItemOfPin(bitAddress));
}

uint8_t ChosenPin(const QComboBox* box, uint8_t keep) {
    return box->currentIndex() < 0 ? keep : PinOfItem(box->currentIndex());
}

TLEDCfgForm::TLEDCfgForm(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("7-Segment-LEDs"));
    setObjectName(QStringLiteral("LEDCfgForm"));
    setFixedSize(353, 369);
    QFont small = font();
    small.setPixelSize(11);
    setFont(small);
    auto* g1 = new QGroupBox(QStringLiteral("Digits / Trigger Ports"), this);
    g1->setGeometry(8, 8, 337, 188);
    TrackBar1 = new QSlider(Qt::Horizontal, g1);
    TrackBar1->setAccessibleName(QStringLiteral("Digits"));
    TrackBar1->setRange(-7, 0);
    TrackBar1->setTickPosition(QSlider::TicksBelow);
    TrackBar1->setGeometry(16, 16, 305, 24);
    Image1 = new QLabel(g1);
    Image1->setGeometry(16, 48, 300, 58);
    for (int i = 0; i < 8; ++i) {
        Trig[i] = new QComboBox(g1);
        Trig[i]->setGeometry(268 - 36 * i, i % 2 ? 142 : 118, 48, 22);
        Trig[i]->setAccessibleName(QStringLiteral("Trigger pin of digit %1").arg(i));
    }
    CheckBox1 = new QCheckBox(QStringLiteral("Connect directly (trigger ports are second digit / 2 digits max.)"), g1);
    CheckBox1->setGeometry(8, 168, 325, 18);
    CondenseToFit(CheckBox1);
    auto* g2 = new QGroupBox(QStringLiteral("Data Ports"), this);
    g2->setGeometry(8, 200, 337, 112);
    Image2 = new QLabel(g2);
    Image2->setGeometry(16, 18, 65, 73);
    for (int n = 0; n < 8; ++n) {
        Data[n] = new QComboBox(g2);
        Data[n]->setGeometry(112 + 76 * (n / 4), 16 + 24 * (n % 4), 48, 22);
        Data[n]->setAccessibleName(QStringLiteral("Data pin of segment %1").arg(n));
        (new QLabel(QString::number(n), g2))->move(100 + 76 * (n / 4), 20 + 24 * (n % 4));
    }
    // Below the pins: how multiplexed digits are shown.
    CheckBox2 = new QCheckBox(QStringLiteral("Show multiplexed digits as the eye sees them"), this);
    CheckBox2->setGeometry(16, 316, 329, 18);
    CheckBox2->setAccessibleDescription(
        QStringLiteral("Checked: a segment is lit when it is on for a quarter of the time its digit is selected, as "
                       "on a board. Unchecked: a digit shows the data pins latched at its trigger's falling edge"));
    CondenseToFit(CheckBox2);
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    ok->setGeometry(96, 340, 75, 25);
    cancel->setGeometry(184, 340, 75, 25);
    ok->setDefault(true);

    // The legend: all segments lit, with their numbers.
    QImage legend(65, 73, QImage::Format_RGB32);
    legend.fill(LedBackground);
    for (int n = 0; n < 8; ++n) DrawLedSegment(legend, 16, 8, n, LedOn);
    {
        QPainter p(&legend);
        p.setPen(Qt::white);
        QFont f = p.font();
        f.setPixelSize(10);
        p.setFont(f);
        const int pos[8][2] = {{26, 4}, {43, 20}, {43, 41}, {26, 58}, {9, 41}, {9, 20}, {26, 23}, {49, 52}};
        for (int n = 0; n < 8; ++n) p.drawText(pos[n][0], pos[n][1] + 10, QString::number(n));
    }
    Image2->setPixmap(QPixmap::fromImage(legend));

    for (int i = 0; i < 8; ++i) {
        FillPinList(Trig[i], Settings.Trig[i]);
        FillPinList(Data[i], Settings.LED[i]);
        CondenseItemsToFit(Trig[i]);
        CondenseItemsToFit(Data[i]);
    }
    connect(TrackBar1, &QSlider::valueChanged, this, [this] { TrackBar1Change(); });
    connect(CheckBox1, &QCheckBox::clicked, this, [this] { TrackBar1Change(); });
    connect(ok, &QPushButton::clicked, this, [this] { Button1Click(); });
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    FormShow();
}

void TLEDCfgForm::showEvent(QShowEvent* event) {
    FormShow();
    QDialog::showEvent(event);
}

void TLEDCfgForm::FormShow() {
    // The box first: a box left checked by a cancelled visit must not limit the digits.
    CheckBox1->setChecked(!Settings.Trigger);
    CheckBox2->setChecked(Settings.Persistence);
    TrackBar1->setValue(1 - Settings.Digits);
    for (int i = 0; i < 8; ++i) {
        FillPinList(Trig[i], Settings.Trig[i]);
        FillPinList(Data[i], Settings.LED[i]);
    }
    TrackBar1Change();
}

void TLEDCfgForm::TrackBar1Change() {
    if (CheckBox1->isChecked() && TrackBar1->value() < -1) TrackBar1->setValue(-1);
    DrawDigitPreview();
}

void TLEDCfgForm::DrawDigitPreview() {
    QImage preview(300, 58, QImage::Format_RGB32);
    preview.fill(LedBackground);
    for (int k = 0; k < 8; ++k)
        for (int n = 0; n < 8; ++n)
            DrawLedSegment(preview, 36 * k + 8, 0, n, k - 7 >= TrackBar1->value() ? LedOn : LedOff);
    Image1->setPixmap(QPixmap::fromImage(preview));
}

void TLEDCfgForm::Button1Click() {
    for (int i = 0; i < 8; ++i) {
        Settings.LED[i] = ChosenPin(Data[i], Settings.LED[i]);
        Settings.Trig[i] = ChosenPin(Trig[i], Settings.Trig[i]);
    }
    Settings.Digits = uint8_t(1 - TrackBar1->value());
    Settings.Trigger = !CheckBox1->isChecked();
    Settings.Persistence = CheckBox2->isChecked();
    if (LEDForm) LEDForm->FormCreate();
    accept();
}
