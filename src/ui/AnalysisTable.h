// What the execution recorder's table windows (Performance Analyzer, Trace) share: a line of text
// above a read-only table of whole rows.
#pragma once

#include <QLabel>
#include <QMdiSubWindow>
#include <QString>
#include <QTableView>

struct AnalysisTableParts {
    QLabel* label;
    QTableView* grid;
};

// Gives `window` its title, object name and icon and a body with a word-wrapped label ("Label1")
// above a table ("StringGrid1") named and described for assistive technology: whole rows are
// selected one at a time, nothing is edited or wrapped, rows are `rowHeight` pixels high without
// a row header, and the last column takes the room left.
AnalysisTableParts BuildAnalysisTable(QMdiSubWindow* window, const QString& title, const QString& objectName,
                                      const QString& icon, const QString& gridName,
                                      const QString& gridDescription, int rowHeight);
