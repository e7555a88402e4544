// TTraceForm, the Trace window: the last instructions the recorder kept, newest last, with their
// listing text, cycle stamp and registers.
#pragma once

#include <QAbstractTableModel>
#include <QLabel>
#include <QMdiSubWindow>
#include <QPointer>
#include <QTableView>
#include <vector>

#include "Recorder.h"

class TraceModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { Address, Instruction, Cycle, A, Psw, Sp, Dptr, Columns };
    using QAbstractTableModel::QAbstractTableModel;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    // Takes the recorder's ring as it is now.
    void Reload();
    const TraceEntry& EntryOfRow(int row) const { return entries_[size_t(row)]; }

private:
    std::vector<TraceEntry> entries_;
};

class TTraceForm : public QMdiSubWindow {
    Q_OBJECT
public:
    explicit TTraceForm(QWidget* parent = nullptr);

    QTableView* StringGrid1;
    TraceModel* Model;
    QLabel* Label1;  // how many instructions are shown, or how to start recording

    // Fills the table from the recorder and shows its newest row (the end of a run or step).
    void Refresh();
};

// The open Trace window, empty while there is none.
extern QPointer<TTraceForm> TraceForm;
