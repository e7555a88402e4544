// The value grid and the byte and caption texts shared by the register, memory and port views.
#include "ByteCells.h"

#include <QFont>
#include <QHeaderView>
#include <QTableWidget>

#include "HexText.h"

QString ByteCell(uint8_t value) {
    return QStringLiteral(" %1").arg(value, 2, 16, QLatin1Char('0')).toUpper();
}

// The byte editor's captions keep their fixed width ("Internal RAM: FFh"), as the views have
// always named a cell.
QString HexCaption(const QString& prefix, unsigned value, int digits) {
    return prefix + QString::fromStdString(HexDigits(value, digits)) + QLatin1Char('h');
}

QTableWidget* MakeValueGrid(QWidget* parent, int rows, int columns) {
    auto* grid = new QTableWidget(rows, columns, parent);
    grid->horizontalHeader()->hide();
    grid->verticalHeader()->hide();
    grid->horizontalHeader()->setMinimumSectionSize(1);
    grid->verticalHeader()->setMinimumSectionSize(1);
    grid->horizontalHeader()->setDefaultSectionSize(24);
    grid->verticalHeader()->setDefaultSectionSize(18);
    grid->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    grid->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    grid->setFocusPolicy(Qt::NoFocus);
    grid->setSelectionMode(QAbstractItemView::NoSelection);
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid->setFrameShape(QFrame::NoFrame);
    QFont font(QStringLiteral("Courier New"));
    font.setStyleHint(QFont::Monospace);
    font.setPixelSize(11);
    grid->setFont(font);
    grid->setTextElideMode(Qt::ElideNone);
    grid->setWordWrap(false);
    grid->setStyleSheet(QStringLiteral("QTableView::item { padding: 0px; }"));
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < columns; ++c) grid->setItem(r, c, new QTableWidgetItem);
    grid->setFixedSize(24 * columns + 1, 18 * rows + 1);
    return grid;
}
