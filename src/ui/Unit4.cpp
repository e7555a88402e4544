// The external RAM view: paging through the scroll bar, cell refreshes of the page, editing.
#include "Unit4.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QScrollArea>
#include <QScrollBar>
#include <QTableWidget>
#include <algorithm>

#include "ByteEditUnit.h"
#include "Code.h"
#include "Inputs.h"
#include "MainWindowLink.h"
#include "SFRUnit.h"

QPointer<TForm4> Form4;

TForm4::TForm4(QWidget* parent) : QMdiSubWindow(parent) {
    setAttribute(Qt::WA_DeleteOnClose);
    setObjectName(QStringLiteral("Form4"));
    setWindowTitle(QStringLiteral("External RAM"));
    setWindowIcon(QIcon(QStringLiteral(":/icons/extram.svg")));
    setWindowFlags(Qt::SubWindow | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    auto* client = new QWidget(this);
    client->setFixedSize(447, 311);
    ScrollBox1 = new QScrollArea(client);
    StringGrid1 = MakeValueGrid(nullptr, 16, 16);
    AddLastWriteMenu(StringGrid1, [this](const QModelIndex& i) -> std::optional<DataBreakpoint> {
        if (!i.isValid()) return std::nullopt;
        DataBreakpoint t;
        t.space = WatchSpace::Xram;
        t.address = uint16_t(Page() * 256 + i.row() * 16 + i.column());
        return t;
    });
    StringGrid1->setObjectName(QStringLiteral("StringGrid1"));
    StringGrid1->horizontalHeader()->show();
    StringGrid1->verticalHeader()->show();
    StringGrid1->verticalHeader()->setFixedWidth(40);
    StringGrid1->horizontalHeader()->setFixedHeight(18);
    QStringList columns;
    for (int c = 0; c < 16; ++c) columns << QStringLiteral("  %1").arg(c, 1, 16).toUpper();
    StringGrid1->setHorizontalHeaderLabels(columns);
    StringGrid1->setFixedSize(40 + 16 * 24 + 1, 18 * 17 + 1);
    ScrollBox1->setWidget(StringGrid1);
    ScrollBox1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    ScrollBox1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    ScrollBar1 = new QScrollBar(Qt::Vertical, client);
    ScrollBar1->setObjectName(QStringLiteral("ScrollBar1"));
    ScrollBar1->setAccessibleName(QStringLiteral("Page"));
    ScrollBar1->setRange(0, 255);
    ScrollBar1->setPageStep(16);
    auto* layout = new QHBoxLayout(client);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(ScrollBox1, 1);
    layout->addWidget(ScrollBar1);
    setWidget(client);
    connect(ScrollBar1, &QScrollBar::valueChanged, this, [this] {
        SetExternalRefreshPage(this, Page());
        StringGrid1->clearSelection();
        FillAll();
    });
    connect(StringGrid1, &QTableWidget::cellDoubleClicked, this,
            [this](int r, int c) { EditCell(r, c); });
    connect(StringGrid1, &QTableWidget::cellClicked, StringGrid1, &QTableWidget::clearSelection);
    FillAll();
    AddRefreshTarget(this, RefreshOrder::ExternalRam, [](uint16_t) { return false; });
    SetExternalRefreshPage(this, 0);
}

TForm4::~TForm4() { RemoveRefreshTarget(this); }

void TForm4::closeEvent(QCloseEvent* event) {
    QMdiSubWindow::closeEvent(event);
    ForgetRefreshWindow(this, Form4, event);
}

int TForm4::Page() const { return ScrollBar1->value(); }

void TForm4::FillAll() {
    const int base = Page() * 256;
    QStringList headers;
    for (int r = 0; r < 16; ++r) headers << QStringLiteral(" %1").arg(base + 16 * r, 4, 16, QLatin1Char('0')).toUpper();
    StringGrid1->setVerticalHeaderLabels(headers);
    ShowLiveState();
}

void TForm4::ShowLiveState() {
    const int base = Page() * 256;
    for (int i = 0; i < 256; ++i) StringGrid1->item(i / 16, i % 16)->setText(ByteCell(ExternalRam[uint16_t(base + i)]));
}

void TForm4::EditCell(int row, int column) {
    const uint16_t a = uint16_t(Page() * 256 + row * 16 + column);
    auto result = EditEntry(HexCaption(QStringLiteral("External RAM: "), a, 4), ExternalRam[a]);
    if (!result) return;
    SubmitInput(MakeInput(InputKind::ExternalByte, a, *result));
}

void TForm4::SelectBytes(uint16_t first, int count) {
    ScrollBar1->setValue(first >> 8);
    QItemSelection cells;
    for (int i = first & 0xFF; i < (first & 0xFF) + count && i < 256; ++i) {
        const QModelIndex cell = StringGrid1->model()->index(i / 16, i % 16);
        cells.select(cell, cell);
    }
    StringGrid1->selectionModel()->select(cells, QItemSelectionModel::ClearAndSelect);
}

QList<int> TForm4::SelectedBytes() const {
    QList<int> bytes;
    for (const QModelIndex& i : StringGrid1->selectionModel()->selectedIndexes())
        bytes << Page() * 256 + i.row() * 16 + i.column();
    std::sort(bytes.begin(), bytes.end());
    return bytes;
}
