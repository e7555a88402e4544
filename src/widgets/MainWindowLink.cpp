// The process-wide link to the main window, and the memory grids' Go to Last Write menu.
#include "MainWindowLink.h"

#include <QAbstractItemView>
#include <QMenu>

MainWindowLink* MainWindow = nullptr;

void AddLastWriteMenu(QAbstractItemView* grid,
                      std::function<std::optional<DataBreakpoint>(const QModelIndex&)> target) {
    grid->setContextMenuPolicy(Qt::CustomContextMenu);
    QObject::connect(grid, &QWidget::customContextMenuRequested, grid, [grid, target](const QPoint& pos) {
        const std::optional<DataBreakpoint> t = target(grid->indexAt(pos));
        QMenu menu(grid);
        QAction* last = menu.addAction(QStringLiteral("Go to Last Write"));
        last->setObjectName(QStringLiteral("GoToLastWrite"));
        last->setEnabled(t.has_value() && MainWindow);
        if (menu.exec(grid->viewport()->mapToGlobal(pos)) == last && t && MainWindow)
            MainWindow->GoToLastWrite({*t});
    });
}
