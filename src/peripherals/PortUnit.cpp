// The port panel: layout, the pins and latches shown from live state, and pin clicks as the
// panel's pulls on the pins.
#include "PortUnit.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QLabel>
#include <QSignalBlocker>
#include <QTableWidget>

#include "Code.h"
#include "ByteCells.h"
#include "Inputs.h"

QPointer<TPortForm> PortForm;

TPortForm::TPortForm(QWidget* parent) : QMdiSubWindow(parent) {
    setAttribute(Qt::WA_DeleteOnClose);
    setObjectName(QStringLiteral("PortForm"));
    setWindowTitle(QStringLiteral("Ports"));
    setWindowIcon(QIcon(QStringLiteral(":/icons/ports.svg")));
    setWindowFlags(Qt::SubWindow | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    auto* client = new QWidget(this);
    client->setFixedSize(243, 155);
    QFont small = client->font();
    small.setPixelSize(11);
    client->setFont(small);
    for (int p = 0; p < 4; ++p) {
        auto* row = new QLabel(QStringLiteral("P%1").arg(p), client);
        row->move(8, 26 + 22 * p);
        for (int c = 0; c < 8; ++c) {
            QCheckBox* box = new QCheckBox(client);
            box->setGeometry(29 + 22 * c, 25 + 22 * p, 16, 16);
            box->setAccessibleName(QStringLiteral("P%1.%2").arg(p).arg(7 - c));
            const int tag = 8 * p + c;
            connect(box, &QCheckBox::clicked, this, [this, tag] { PtOnClick(tag); });
            Boxes[tag] = box;
        }
        Grids[p] = MakeValueGrid(client, 1, 1);
        Grids[p]->setObjectName(QStringLiteral("Grid%1").arg(p));
        Grids[p]->move(208, 23 + 22 * p);
        Grids[p]->item(0, 0)->setData(Qt::AccessibleDescriptionRole, QStringLiteral("P%1 value").arg(p));
    }
    for (int n = 0; n < 8; ++n) (new QLabel(QString::number(n), client))->move(186 - 22 * n, 8);
    (new QLabel(QStringLiteral("P3.2 = INT0"), client))->move(8, 120);
    (new QLabel(QStringLiteral("P3.3 = INT1"), client))->move(8, 136);
    (new QLabel(QStringLiteral("P3.4 = T0"), client))->move(88, 120);
    (new QLabel(QStringLiteral("P3.5 = T1"), client))->move(88, 136);
    if (Processor8052) {
        (new QLabel(QStringLiteral("P1.0 = T2"), client))->move(168, 120);
        (new QLabel(QStringLiteral("P1.1 = T2EX"), client))->move(168, 136);
    }
    setWidget(client);
    FillAll();
    AddRefreshTarget(this, RefreshOrder::Ports,
                     [](uint16_t a) { return a == 0x80 || a == 0x90 || a == 0xA0 || a == 0xB0; });
}

TPortForm::~TPortForm() { RemoveRefreshTarget(this); }

void TPortForm::closeEvent(QCloseEvent* event) {
    QMdiSubWindow::closeEvent(event);
    ForgetRefreshWindow(this, PortForm, event);
}

void TPortForm::FillAll() {
    for (int p = 0; p < 4; ++p) ShowPort(p, PortPins(p), InternalRam[0x80 + 0x10 * p]);
}

// The boxes and the value show the pins; the tool tips tell the latch, which a pin pulled low by
// a device differs from.
void TPortForm::ShowPort(int p, uint8_t pins, uint8_t latch) {
    for (int v = 0; v < 8; ++v) {
        QCheckBox* box = Boxes[8 * p + 7 - v];
        const QSignalBlocker block(box);  // setting a box is no click
        box->setChecked((pins >> v) & 1);
        const QString tip = QStringLiteral("P%1.%2: pin %3, latch %4").arg(p).arg(v).arg((pins >> v) & 1).arg((latch >> v) & 1);
        if (box->toolTip() != tip) box->setToolTip(tip);
    }
    QTableWidgetItem* cell = Grids[p]->item(0, 0);
    cell->setText(ByteCell(pins));
    cell->setToolTip(QStringLiteral("Pins %1, latch %2").arg(ByteCell(pins), ByteCell(latch)));
}

// A click pulls the pin low (box cleared) or lets it go (box set); the program's latch stays as
// the program wrote it, so a pin whose latch is 0 stays low.
void TPortForm::PtOnClick(int tag) {
    SubmitInput(MakeInput(InputKind::DevicePin, uint16_t(8 * (tag / 8) + 7 - tag % 8), Boxes[tag]->isChecked() ? 1 : 0,
                          uint8_t(DeviceId::PortPanel)));
    // A released pin whose latch is 0 stays low: the boxes show the pins as they are.
    FillAll();
}
