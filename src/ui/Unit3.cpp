// The internal RAM view: layout per processor, cell refreshes and editing through the byte editor.
#include "Unit3.h"

#include <QCloseEvent>
#include <QHeaderView>
#include <QScrollArea>
#include <QTableWidget>
#include <algorithm>

#include "ByteEditUnit.h"
#include "Code.h"
#include "Inputs.h"
#include "MainWindowLink.h"
#include "SFRUnit.h"

QPointer<TForm3> Form3;

namespace {

// A memory grid: header row "  0".."  F", a header column, 16 data columns.
QTableWidget* MakeMemoryGrid(QWidget* parent, int rows, int headerWidth) {
    QTableWidget* grid = MakeValueGrid(parent, rows, 16);
    grid->horizontalHeader()->show();
    grid->verticalHeader()->show();
    grid->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    grid->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    grid->verticalHeader()->setFixedWidth(headerWidth);
    grid->horizontalHeader()->setFixedHeight(18);
    QStringList columns;
    for (int c = 0; c < 16; ++c) columns << QStringLiteral("  %1").arg(c, 1, 16).toUpper();
    grid->setHorizontalHeaderLabels(columns);
    grid->setFixedSize(headerWidth + 16 * 24 + 1, 18 * (rows + 1) + 1);
    return grid;
}

}  // namespace

TForm3::TForm3(QWidget* parent) : QMdiSubWindow(parent) {
    setAttribute(Qt::WA_DeleteOnClose);
    setObjectName(QStringLiteral("Form3"));
    setWindowTitle(QStringLiteral("Internal RAM"));
    setWindowIcon(QIcon(QStringLiteral(":/icons/intram.svg")));
    setWindowFlags(Qt::SubWindow | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    const int rows = Processor8052 ? 16 : 8;
    ScrollBox1 = new QScrollArea(this);
    StringGrid1 = MakeMemoryGrid(nullptr, rows, 24);
    AddLastWriteMenu(StringGrid1, [](const QModelIndex& i) -> std::optional<DataBreakpoint> {
        if (!i.isValid()) return std::nullopt;
        DataBreakpoint t;  // 80h-FFh: the upper RAM, as the view shows it
        t.address = uint16_t(i.row() * 16 + i.column());
        return t;
    });
    StringGrid1->setObjectName(QStringLiteral("StringGrid1"));
    QStringList headers;
    for (int r = 0; r < rows; ++r) headers << QStringLiteral(" %1").arg(r * 16, 2, 16, QLatin1Char('0')).toUpper();
    StringGrid1->setVerticalHeaderLabels(headers);
    ScrollBox1->setWidget(StringGrid1);
    ScrollBox1->setFixedSize(413, StringGrid1->height() + 4);
    ScrollBox1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    ScrollBox1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setWidget(ScrollBox1);
    connect(StringGrid1, &QTableWidget::cellDoubleClicked, this,
            [this](int r, int c) { EditCell(r * 16 + c); });
    connect(StringGrid1, &QTableWidget::cellClicked, StringGrid1, &QTableWidget::clearSelection);
    FillAll();
    AddRefreshTarget(this, RefreshOrder::InternalRam, [](uint16_t a) {
        return a < 0x80 || (Processor8052 && a >= 0x100);
    });
}

TForm3::~TForm3() { RemoveRefreshTarget(this); }

void TForm3::closeEvent(QCloseEvent* event) {
    QMdiSubWindow::closeEvent(event);
    ForgetRefreshWindow(this, Form3, event);
}

void TForm3::FillAll() {
    for (int a = 0; a < StringGrid1->rowCount() * 16; ++a)
        StringGrid1->item(a / 16, a % 16)->setText(ByteCell(InternalRam[InternalViewIndex(a)]));
}

void TForm3::EditCell(int a) {
    if (a < 0 || a / 16 >= StringGrid1->rowCount()) return;
    auto result = EditEntry(HexCaption(QStringLiteral("Internal RAM: "), unsigned(a), 2),
                            InternalRam[InternalViewIndex(a)]);
    if (!result) return;
    // From 80h on the view shows the upper RAM, which only @Ri reaches, not the registers.
    SubmitInput(MakeInput(a >= 0x80 ? InputKind::IndirectByte : InputKind::DirectByte, uint16_t(a), *result));
}

void TForm3::SelectBytes(int first, int count) {
    // The grid takes no selection from the mouse; the selection model still keeps what is set here.
    QItemSelection cells;
    for (int a = std::max(first, 0); a < first + count && a < StringGrid1->rowCount() * 16; ++a) {
        const QModelIndex i = StringGrid1->model()->index(a / 16, a % 16);
        cells.select(i, i);
    }
    StringGrid1->selectionModel()->select(cells, QItemSelectionModel::ClearAndSelect);
}

QList<int> TForm3::SelectedBytes() const {
    QList<int> bytes;
    for (const QModelIndex& i : StringGrid1->selectionModel()->selectedIndexes()) bytes << i.row() * 16 + i.column();
    std::sort(bytes.begin(), bytes.end());
    return bytes;
}
