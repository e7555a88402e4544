// The body of the execution recorder's table windows: a label above a read-only table.
#include "AnalysisTable.h"

#include <QHeaderView>
#include <QIcon>
#include <QVBoxLayout>

AnalysisTableParts BuildAnalysisTable(QMdiSubWindow* window, const QString& title, const QString& objectName,
                                      const QString& icon, const QString& gridName,
                                      const QString& gridDescription, int rowHeight) {
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->setWindowTitle(title);
    window->setObjectName(objectName);
    window->setWindowIcon(QIcon(icon));
    auto* body = new QWidget(window);
    auto* layout = new QVBoxLayout(body);
    layout->setContentsMargins(2, 2, 2, 2);
    auto* label = new QLabel(body);
    label->setObjectName(QStringLiteral("Label1"));
    label->setWordWrap(true);
    auto* grid = new QTableView(body);
    grid->setObjectName(QStringLiteral("StringGrid1"));
    grid->setAccessibleName(gridName);
    grid->setAccessibleDescription(gridDescription);
    grid->verticalHeader()->hide();
    grid->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    grid->verticalHeader()->setDefaultSectionSize(rowHeight);
    grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    grid->setSelectionMode(QAbstractItemView::SingleSelection);
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid->setWordWrap(false);
    grid->horizontalHeader()->setStretchLastSection(true);
    layout->addWidget(label);
    layout->addWidget(grid, 1);
    window->setWidget(body);
    return {label, grid};
}
