// The port panel: layout, refresh from stores, and pin clicks stored with all their side effects.
#include "PortUnit.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QLabel>
#include <QSignalBlocker>
#include <QTableWidget>

#include "Code.h"
#include "ByteCells.h"

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
    for (int p = 0; p < 4; ++p) ShowPort(p, InternalRam[0x80 + 0x10 * p]);
}

void TPortForm::ShowPort(int p, uint8_t value) {
    for (int v = 0; v < 8; ++v) {
        QCheckBox* box = Boxes[8 * p + 7 - v];
        const QSignalBlocker block(box);  // setting a box is no click
        box->setChecked((value >> v) & 1);
    }
    Grids[p]->item(0, 0)->setText(ByteCell(value));
}

void TPortForm::PtOnClick(int tag) {
    const int p = tag / 8;
    const uint16_t address = uint16_t(0x80 + 0x10 * p);
    const uint8_t mask = uint8_t(1u << (7 - tag % 8));
    // The other pins keep the values in memory: the boxes may lag behind a running program.
    const uint8_t current = InternalRam[address];
    WriteDirectUi(address, Boxes[tag]->isChecked() ? uint8_t(current | mask) : uint8_t(current & ~mask));
}
