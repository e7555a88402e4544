// The Trace window: the recorder's ring as a table, filled when a run or step stops.
#include "TraceUnit.h"

#include <QHeaderView>
#include <QVBoxLayout>

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
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Trace"));
    setObjectName(QStringLiteral("TraceForm"));
    setWindowIcon(QIcon(QStringLiteral(":/icons/trace.svg")));
    auto* body = new QWidget(this);
    auto* layout = new QVBoxLayout(body);
    layout->setContentsMargins(2, 2, 2, 2);
    Label1 = new QLabel(body);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setWordWrap(true);
    StringGrid1 = new QTableView(body);
    StringGrid1->setObjectName(QStringLiteral("StringGrid1"));
    StringGrid1->setAccessibleName(QStringLiteral("Executed instructions"));
    StringGrid1->setAccessibleDescription(QStringLiteral(
        "The last instructions executed, newest last, with the registers after each; "
        "double-click a row to select its address in the listing"));
    Model = new TraceModel(StringGrid1);
    StringGrid1->setModel(Model);
    QFont font(QStringLiteral("Courier New"));
    font.setStyleHint(QFont::Monospace);
    font.setPixelSize(13);
    StringGrid1->setFont(font);
    StringGrid1->verticalHeader()->hide();
    StringGrid1->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    StringGrid1->verticalHeader()->setDefaultSectionSize(16);
    StringGrid1->setSelectionBehavior(QAbstractItemView::SelectRows);
    StringGrid1->setSelectionMode(QAbstractItemView::SingleSelection);
    StringGrid1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    StringGrid1->setWordWrap(false);
    const int widths[] = {64, 200, 90, 36, 40, 36, 52};
    for (int c = 0; c < TraceModel::Columns; ++c) StringGrid1->setColumnWidth(c, widths[c]);
    StringGrid1->horizontalHeader()->setStretchLastSection(true);
    layout->addWidget(Label1);
    layout->addWidget(StringGrid1, 1);
    setWidget(body);
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
