// TPerformanceForm, the Performance Analyzer: one row per function with calls, self cycles,
// cycles with callees and the share of the total, as recorded by the execution recorder.
#pragma once

#include <QAbstractTableModel>
#include <QLabel>
#include <QMdiSubWindow>
#include <QPointer>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QTimer>

#include "Analysis.h"

class PerformanceModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { Name, Calls, Self, WithCallees, Share, Columns };
    using QAbstractTableModel::QAbstractTableModel;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    void sort(int column, Qt::SortOrder order) override;
    // Takes the recorder's counts anew, keeping the sort order.
    void Reload();
    const ProfiledFunction& FunctionOfRow(int row) const { return profile_.functions[rows_[size_t(row)]]; }
    // The share of the total as a fraction, 0 when nothing was recorded.
    double ShareOfRow(int row) const;

private:
    ExecutionProfile profile_;
    std::vector<size_t> rows_;  // indexes into profile_.functions, in the shown order
    int sortColumn_ = Self;
    Qt::SortOrder sortOrder_ = Qt::DescendingOrder;
};

// The share column: a horizontal bar with the percentage beside it.
class ShareBarDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};

class TPerformanceForm : public QMdiSubWindow {
    Q_OBJECT
public:
    explicit TPerformanceForm(QWidget* parent = nullptr);

    QTableView* StringGrid1;
    PerformanceModel* Model;
    QLabel* Label1;  // what is shown, or how to start recording

    // Reads the recorder again (the end of a run or step, Clear, the recording switched).
    void Refresh();
    // While a worker runs, the rows follow the recorder at the display's pace.
    void SetRunning(bool running);
    // Double-click: the function in the Source window with symbols, else in the listing.
    void OpenFunction(int row);

private:
    QTimer* pace_;
    uint64_t shownInstructions_ = ~uint64_t(0);
};

// The open Performance Analyzer, empty while there is none.
extern QPointer<TPerformanceForm> PerformanceForm;
