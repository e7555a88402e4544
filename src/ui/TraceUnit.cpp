// The Trace window: the recorder's ring as a table, filled when a run or step stops.
#include "TraceUnit.h"

#include <QHeaderView>

#include "AnalysisTable.h"
#include "Code.h"
#include "Disassembler.h"
#include "MainWindowLink.h"

QPointer<TTraceForm> TraceForm;

namespace {

QString HexText(unsigned v, int digits) {
    return QStringLiteral("%1").arg(v, digits, 16, QLatin1Char('0')).toUpper();
}

}  // namespace

int TraceModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : int(entries_.size()); }

int TraceModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : Columns; }

QVariant TraceModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) return {};
    if (role != Qt::DisplayRole && role != Qt::AccessibleTextRole) return {};
    const TraceEntry& e = entries_[size_t(index.row())];
    switch (index.column()) {
        case Address: return HexText(e.address, 4);
        case Instruction: return QString::fromStdString(DisassembleAt(e.address, CurrentListingFormat()).Text);
        case Cycle: return QString::number(e.cycle);
        case A: return HexText(e.a, 2);
        case Psw: return HexText(e.psw, 2);
        case Sp: return HexText(e.sp, 2);
        case Dptr: return HexText(e.dptr, 4);
    }
    return {};
}

QVariant TraceModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || (role != Qt::DisplayRole && role != Qt::AccessibleTextRole)) return {};
    static const char* const names[] = {"Address", "Instruction", "Cycle", "A", "PSW", "SP", "DPTR"};
    return section >= 0 && section < Columns ? QString::fromLatin1(names[section]) : QVariant();
}

void TraceModel::Reload() {
    beginResetModel();
    entries_ = Recorder.Trace();
    endResetModel();
}

TTraceForm::TTraceForm(QWidget* parent) : QMdiSubWindow(parent) {
    const AnalysisTableParts parts = BuildAnalysisTable(
        this, QStringLiteral("Trace"), QStringLiteral("TraceForm"), QStringLiteral(":/icons/trace.svg"),
        QStringLiteral("Executed instructions"),
        QStringLiteral("The last instructions executed, newest last, with the registers after each; "
                       "double-click a row to select its address in the listing"),
        16);
    Label1 = parts.label;
    StringGrid1 = parts.grid;
    Model = new TraceModel(StringGrid1);
    StringGrid1->setModel(Model);
    QFont font(QStringLiteral("Courier New"));
    font.setStyleHint(QFont::Monospace);
    font.setPixelSize(13);
    StringGrid1->setFont(font);
    const int widths[] = {64, 200, 90, 36, 40, 36, 52};
    for (int c = 0; c < TraceModel::Columns; ++c) StringGrid1->setColumnWidth(c, widths[c]);
    resize(560, 320);
    connect(StringGrid1, &QTableView::doubleClicked, this, [this](const QModelIndex& i) {
        if (MainWindow && i.row() < Model->rowCount()) MainWindow->ShowListingAddress(Model->EntryOfRow(i.row()).address);
    });
    Refresh();
}

void TTraceForm::Refresh() {
    Model->Reload();
    const int rows = Model->rowCount();
    if (!Recorder.Enabled() && rows == 0)
        Label1->setText(QStringLiteral("No trace: switch on Run > Record Coverage and Profile, then run or step the program."));
    else
        Label1->setText(QStringLiteral("The last %1 instructions, newest last%2")
                            .arg(rows)
                            .arg(Recorder.Enabled() ? QString() : QStringLiteral(" (recording is off)")));
    Label1->setAccessibleName(Label1->text());
    if (rows > 0) {
        const QModelIndex last = Model->index(rows - 1, 0);
        StringGrid1->selectionModel()->setCurrentIndex(last, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        StringGrid1->scrollTo(last);
    }
}
