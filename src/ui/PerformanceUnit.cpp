// The Performance Analyzer: the profile's rows, their order, the share bars and the refresh pace.
#include "PerformanceUnit.h"

#include <QHeaderView>
#include <QPainter>
#include <algorithm>

#include "AnalysisTable.h"
#include "Code.h"
#include "MainWindowLink.h"
#include "ProgramSymbols.h"
#include "Recorder.h"

QPointer<TPerformanceForm> PerformanceForm;

namespace {

QString Grouped(uint64_t v) {
    QString digits = QString::number(v), out;
    for (int i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) out += QLatin1Char(',');
        out += digits[i];
    }
    return out;
}

QString PercentText(double share) { return QString::number(share * 100.0, 'f', 1) + QLatin1Char('%'); }

}  // namespace

int PerformanceModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(rows_.size());
}

int PerformanceModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : Columns; }

double PerformanceModel::ShareOfRow(int row) const {
    if (profile_.totalCycles == 0) return 0;
    return double(FunctionOfRow(row).selfCycles) / double(profile_.totalCycles);
}

QVariant PerformanceModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) return {};
    const ProfiledFunction& f = FunctionOfRow(index.row());
    if (role == Qt::DisplayRole || role == Qt::AccessibleTextRole) {
        switch (index.column()) {
            case Name: return QString::fromStdString(f.name);
            case Calls: return Grouped(f.calls);
            case Self: return Grouped(f.selfCycles);
            case WithCallees: return Grouped(f.cycles);
            case Share: return PercentText(ShareOfRow(index.row()));
        }
    }
    if (role == Qt::TextAlignmentRole && index.column() != Name)
        return QVariant(Qt::AlignRight | Qt::AlignVCenter);
    if (role == Qt::ToolTipRole) {
        QString where = QStringLiteral("%1h-%2h")
                            .arg(QStringLiteral("%1").arg(f.start, 4, 16, QLatin1Char('0')).toUpper(),
                                 QStringLiteral("%1").arg(f.end, 4, 16, QLatin1Char('0')).toUpper());
        if (!f.file.empty()) where += QStringLiteral(", %1:%2").arg(QString::fromStdString(f.file)).arg(f.line);
        return QStringLiteral("%1 (%2): %3 instructions, %4 with callees")
            .arg(QString::fromStdString(f.name), where, Grouped(f.selfInstructions), Grouped(f.instructions));
    }
    return {};
}

QVariant PerformanceModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || (role != Qt::DisplayRole && role != Qt::AccessibleTextRole)) return {};
    switch (section) {
        case Name: return QStringLiteral("Function");
        case Calls: return QStringLiteral("Calls");
        case Self: return QStringLiteral("Cycles");
        case WithCallees: return QStringLiteral("With callees");
        case Share: return QStringLiteral("Share");
    }
    return {};
}

void PerformanceModel::sort(int column, Qt::SortOrder order) {
    sortColumn_ = column;
    sortOrder_ = order;
    emit layoutAboutToBeChanged();
    const auto& fs = profile_.functions;
    auto key = [&](size_t i) -> uint64_t {
        switch (sortColumn_) {
            case Calls: return fs[i].calls;
            case WithCallees: return fs[i].cycles;
            default: return fs[i].selfCycles;  // Self and Share
        }
    };
    std::stable_sort(rows_.begin(), rows_.end(), [&](size_t a, size_t b) {
        if (sortColumn_ == Name) {
            const int c = QString::fromStdString(fs[a].name).compare(QString::fromStdString(fs[b].name), Qt::CaseInsensitive);
            return sortOrder_ == Qt::AscendingOrder ? c < 0 : c > 0;
        }
        if (key(a) != key(b)) return sortOrder_ == Qt::AscendingOrder ? key(a) < key(b) : key(a) > key(b);
        return fs[a].start < fs[b].start;
    });
    emit layoutChanged();
}

void PerformanceModel::Reload() {
    ExecutionProfile next = BuildProfile(Recorder, ActiveProgramSymbols(), ProgramEnd);
    // Functions that never ran stay out of the table.
    std::vector<size_t> rows;
    for (size_t i = 0; i < next.functions.size(); ++i)
        if (next.functions[i].selfInstructions > 0 || next.functions[i].calls > 0) rows.push_back(i);
    auto starts = [](const ExecutionProfile& p, std::vector<size_t> r) {
        std::vector<uint16_t> out;
        for (size_t i : r) out.push_back(p.functions[i].start);
        std::sort(out.begin(), out.end());
        return out;
    };
    if (rows.size() == rows_.size() && starts(next, rows) == starts(profile_, rows_)) {
        // The same functions with new counts (a refresh during a run): the selection and the
        // scroll position stay, the rows follow the sort order.
        profile_ = std::move(next);
        rows_ = std::move(rows);
        sort(sortColumn_, sortOrder_);
        if (!rows_.empty()) emit dataChanged(index(0, 0), index(rowCount() - 1, Columns - 1));
        return;
    }
    beginResetModel();
    profile_ = std::move(next);
    rows_ = std::move(rows);
    endResetModel();
    sort(sortColumn_, sortOrder_);
}

void ShareBarDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
    const auto* model = qobject_cast<const PerformanceModel*>(index.model());
    if (!model) {
        QStyledItemDelegate::paint(painter, option, index);
        return;
    }
    painter->save();
    const bool selected = option.state & QStyle::State_Selected;
    painter->fillRect(option.rect, selected ? option.palette.highlight() : option.palette.base());
    const QString text = index.data().toString();
    const int textWidth = option.fontMetrics.horizontalAdvance(QStringLiteral("100.0%")) + 6;
    const QRect bar = option.rect.adjusted(3, 3, -textWidth - 3, -3);
    painter->setPen(QColor(0x56, 0x56, 0x56));
    painter->setBrush(Qt::NoBrush);
    painter->drawRect(bar.adjusted(0, 0, -1, -1));
    QRect filled = bar.adjusted(1, 1, -1, -1);
    filled.setWidth(int(filled.width() * model->ShareOfRow(index.row()) + 0.5));
    painter->fillRect(filled, QColor(0x00, 0x72, 0xB2));
    painter->setPen(selected ? option.palette.highlightedText().color() : option.palette.text().color());
    painter->drawText(option.rect.adjusted(0, 0, -3, 0), Qt::AlignRight | Qt::AlignVCenter, text);
    painter->restore();
}

TPerformanceForm::TPerformanceForm(QWidget* parent) : QMdiSubWindow(parent) {
    const AnalysisTableParts parts = BuildAnalysisTable(
        this, QStringLiteral("Performance Analyzer"), QStringLiteral("PerformanceForm"),
        QStringLiteral(":/icons/performance.svg"), QStringLiteral("Functions"),
        QStringLiteral("One row per function: calls, machine cycles of its own instructions, cycles with its "
                       "callees and its share of all cycles; click a heading to sort, double-click a row to open "
                       "the function"),
        18);
    Label1 = parts.label;
    StringGrid1 = parts.grid;
    Model = new PerformanceModel(StringGrid1);
    StringGrid1->setModel(Model);
    StringGrid1->setItemDelegateForColumn(PerformanceModel::Share, new ShareBarDelegate(StringGrid1));
    StringGrid1->setSortingEnabled(true);
    StringGrid1->horizontalHeader()->setSortIndicator(PerformanceModel::Self, Qt::DescendingOrder);
    StringGrid1->setColumnWidth(PerformanceModel::Name, 150);
    StringGrid1->setColumnWidth(PerformanceModel::Calls, 70);
    StringGrid1->setColumnWidth(PerformanceModel::Self, 90);
    StringGrid1->setColumnWidth(PerformanceModel::WithCallees, 100);
    StringGrid1->setColumnWidth(PerformanceModel::Share, 140);
    resize(600, 300);
    connect(StringGrid1, &QTableView::doubleClicked, this, [this](const QModelIndex& i) { OpenFunction(i.row()); });
    pace_ = new QTimer(this);
    pace_->setInterval(16);
    connect(pace_, &QTimer::timeout, this, [this] {
        // Only when the recorder moved on: a waiting program costs nothing here.
        if (Recorder.TotalInstructions() != shownInstructions_) Refresh();
    });
    Refresh();
}

void TPerformanceForm::Refresh() {
    shownInstructions_ = Recorder.TotalInstructions();
    Model->Reload();
    // Names are never cut off: the column grows to the longest one.
    int nameWidth = 0;
    for (int r = 0; r < Model->rowCount(); ++r)
        nameWidth = std::max(nameWidth, StringGrid1->fontMetrics().horizontalAdvance(
                                            QString::fromStdString(Model->FunctionOfRow(r).name)) + 12);
    if (nameWidth > StringGrid1->columnWidth(PerformanceModel::Name))
        StringGrid1->setColumnWidth(PerformanceModel::Name, nameWidth);
    if (!Recorder.Enabled() && !Recorder.HasData())
        Label1->setText(QStringLiteral("Nothing recorded: switch on Run > Record Coverage and Profile, then run the program."));
    else
        Label1->setText(QStringLiteral("%1 machine cycles, %2 instructions recorded%3")
                            .arg(Recorder.TotalCycles())
                            .arg(Recorder.TotalInstructions())
                            .arg(Recorder.Enabled() ? QString() : QStringLiteral(" (recording is off)")));
    Label1->setAccessibleName(Label1->text());
}

void TPerformanceForm::SetRunning(bool running) {
    if (running && Recorder.Enabled()) pace_->start();
    else pace_->stop();
}

void TPerformanceForm::OpenFunction(int row) {
    if (row < 0 || row >= Model->rowCount() || !MainWindow) return;
    const ProfiledFunction& f = Model->FunctionOfRow(row);
    if (ActiveProgramSymbols() && !f.file.empty() && MainWindow->ShowSourceLine(f.file, int(f.line))) return;
    MainWindow->ShowListingAddress(f.start);
}
