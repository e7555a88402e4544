// The disassembly view: model over the listing rows, the cell painting and the row selection.
#include "Unit2.h"

#include <QFontMetrics>
#include <algorithm>

#include <QCloseEvent>
#include <QHeaderView>
#include <QStyle>
#include <QPainter>

#include "Analysis.h"
#include "Code.h"
#include "CoverageMarks.h"
#include "Disassembler.h"
#include "MainWindowLink.h"
#include "ProgramSymbols.h"
#include "SourceUnit.h"

QPointer<TForm2> Form2;

namespace {

// The row's BreakpointTable entry: 1 a breakpoint, 2 a disabled one, 0 none.
int BreakpointOfRow(int row) {
    if (row < 0 || row >= int(Listing.size())) return 0;
    bool ok = false;
    int address = QString::fromStdString(Listing[size_t(row)].Address).left(4).toInt(&ok, 16);
    return ok ? BreakpointTable[uint16_t(address)] : 0;
}

// The code address of a listing row, -1 for the empty row of an empty listing.
int AddressOfRow(int row) {
    if (row < 0 || row >= int(Listing.size())) return -1;
    bool ok = false;
    int address = QString::fromStdString(Listing[size_t(row)].Address).left(4).toInt(&ok, 16);
    return ok ? address : -1;
}

CoverageMark MarkOfRow(int row) {
    const int a = AddressOfRow(row);
    return a < 0 || !CoverageMarksShown() ? CoverageMark::None : MarkOf(Recorder, uint16_t(a));
}

}  // namespace

QVariant ListingModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Vertical) return {};
    const int a = AddressOfRow(section);
    if (a < 0 || !CoverageMarksShown()) return {};
    if (role == Qt::DisplayRole || role == Qt::AccessibleTextRole) return CoverageMarkName(MarkOfRow(section));
    if (role == Qt::ToolTipRole) return QString::fromStdString(CoverageText(Recorder, uint16_t(a)));
    return {};
}

int ListingModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(Listing.size());
}

int ListingModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ActiveProgramSymbols() ? 4 : 3;
}

QVariant ListingModel::data(const QModelIndex& index, int role) const {
    if (role == Qt::ToolTipRole) return headerData(index.row(), Qt::Vertical, role);
    if (role != Qt::DisplayRole && role != Qt::AccessibleTextRole) return {};
    if (!index.isValid() || index.row() >= int(Listing.size())) return {};
    const ListingRow& r = Listing[size_t(index.row())];
    const std::string& text = index.column() == 0   ? r.Address
                              : index.column() == 1 ? r.Text
                              : index.column() == 2 ? r.Bytes
                                                    : r.Label;
    return QString::fromStdString(text);
}

void ListingModel::Reload() {
    beginResetModel();
    endResetModel();
}

void ListingDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                            const QModelIndex& index) const {
    const auto* view = qobject_cast<const QTableView*>(option.widget);
    const int mark = BreakpointOfRow(index.row());
    const bool breakpoint = mark == 1;
    bool selected = false;
    if (view && view->selectionModel()) {
        const auto rows = view->selectionModel()->selectedRows();
        int top = -1;
        for (const auto& r : rows)
            if (top < 0 || r.row() < top) top = r.row();
        selected = top == index.row();
    }
    QColor background = Qt::white, text = Qt::black;
    if (breakpoint && selected) background = QColor(0x00, 0x00, 0xFF), text = Qt::white;
    else if (breakpoint) background = QColor(0xFF, 0x00, 0x00), text = Qt::white;
    else if (selected) background = QColor(0x00, 0x00, 0x80), text = Qt::white;
    else if (mark == 2) background = QColor(0xFF, 0xC8, 0xC8);  // a disabled breakpoint

    painter->save();
    painter->fillRect(option.rect, background);
    QFont font = option.font;
    font.setBold(index.column() == 1);
    painter->setFont(font);
    painter->setPen(text);
    QRect textRect = option.rect.adjusted(2, 0, 0, 0);
    painter->setClipRect(option.rect);
    painter->drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter, index.data().toString());
    // The cell's side edges in the background colour keep a gap between the columns; the bottom
    // stays, so that descenders and underscores (symbol names) remain visible.
    const QRect r = option.rect.adjusted(0, 0, -1, -1);
    painter->setPen(background);
    painter->drawLine(r.topLeft(), r.bottomLeft());
    painter->drawLine(r.topRight(), r.bottomRight());
    painter->drawLine(r.topLeft(), r.topRight());
    painter->restore();
}

TForm2::TForm2(QWidget* parent) : QMdiSubWindow(parent) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Disassembly"));
    setWindowIcon(QIcon(QStringLiteral(":/icons/disassembly.svg")));
    setObjectName(QStringLiteral("Form2"));
    StringGrid1 = new QTableView(this);
    StringGrid1->setObjectName(QStringLiteral("StringGrid1"));
    StringGrid1->setAccessibleName(QStringLiteral("Disassembly listing"));
    Model = new ListingModel(StringGrid1);
    StringGrid1->setModel(Model);
    StringGrid1->setItemDelegate(new ListingDelegate(StringGrid1));
    Margin = new CoverageMargin(MarkOfRow, StringGrid1);
    StringGrid1->setVerticalHeader(Margin);
    QFont font(QStringLiteral("Courier New"));
    font.setStyleHint(QFont::Monospace);
    font.setPixelSize(13);
    StringGrid1->setFont(font);
    StringGrid1->horizontalHeader()->hide();
    StringGrid1->verticalHeader()->hide();
    StringGrid1->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    StringGrid1->verticalHeader()->setMinimumSectionSize(16);
    StringGrid1->verticalHeader()->setDefaultSectionSize(16);
    StringGrid1->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    StringGrid1->setShowGrid(false);
    StringGrid1->setSelectionBehavior(QAbstractItemView::SelectRows);
    StringGrid1->setSelectionMode(QAbstractItemView::SingleSelection);
    StringGrid1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    StringGrid1->setWordWrap(false);
    setWidget(StringGrid1);
    resize(368, 308);
    FormResize();
    Margin->hide();
    ShowCoverage();
    // Any change of the selection repaints the old and the new row.
    connect(StringGrid1->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { StringGrid1->viewport()->update(); });
    if (MainWindow) MainWindow->ListingViewOpened(true);
}

TForm2::~TForm2() = default;

// FormClose: the commands that need the view are disabled and the reference is emptied at once;
// the window itself is destroyed by the event loop.
void TForm2::closeEvent(QCloseEvent* event) {
    QMdiSubWindow::closeEvent(event);
    if (!event->isAccepted()) return;
    if (Form2 == this) {
        Form2 = nullptr;
        if (MainWindow) MainWindow->ListingViewOpened(false);
    }
}

void TForm2::FormResize() {
    StringGrid1->setColumnWidth(0, 50);
    StringGrid1->setColumnWidth(1, textWidth_);
    StringGrid1->setColumnWidth(2, 68);
    if (Model->columnCount() > 3) StringGrid1->setColumnWidth(3, labelWidth_);
}

void TForm2::resizeEvent(QResizeEvent* event) {
    QMdiSubWindow::resizeEvent(event);
    FormResize();
}

void TForm2::BuildListingIntoGrid() {
    BuildListing();
    Model->Reload();
    ShowLabelColumn();
    if (fittedColumns_ != Model->columnCount()) FitWidthToColumns();
}

void TForm2::ShowLabelColumn() {
    // Rows longer than the layout's columns (names, long operands) widen them to the longest text
    // (the font is fixed-pitch, so the longest text by characters is the widest).
    textWidth_ = 222, labelWidth_ = 110;
    size_t longestText = 0, longestLabel = 0;
    for (size_t i = 0; i < Listing.size(); ++i) {
        if (Listing[i].Text.size() > Listing[longestText].Text.size()) longestText = i;
        if (Listing[i].Label.size() > Listing[longestLabel].Label.size()) longestLabel = i;
    }
    QFont bold = StringGrid1->font();
    bold.setBold(true);
    if (!Listing.empty())
        textWidth_ = std::max(textWidth_, QFontMetrics(bold).horizontalAdvance(
                                              QString::fromStdString(Listing[longestText].Text)) + 8);
    if (Model->columnCount() < 4) {
        FormResize();
        return;
    }
    // With symbols the labels form a fourth column, shown between the address and the instruction.
    if (!Listing.empty())
        labelWidth_ = std::max(labelWidth_, StringGrid1->fontMetrics().horizontalAdvance(
                                                QString::fromStdString(Listing[longestLabel].Label)) + 8);
    QHeaderView* header = StringGrid1->horizontalHeader();
    header->moveSection(header->visualIndex(3), 1);
    FormResize();
}

void TForm2::FitWidthToColumns() {
    fittedColumns_ = Model->columnCount();
    int columns = 0;
    for (int c = 0; c < Model->columnCount(); ++c) columns += StringGrid1->columnWidth(c);
    // The frame around the grid, its own frame and room for the vertical scroll bar.
    const QMargins frame = contentsMargins();
    const int chrome = (isVisible() ? width() - StringGrid1->width() : frame.left() + frame.right()) +
                       2 * StringGrid1->frameWidth() +
                       StringGrid1->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, StringGrid1);
    resize(std::max(columns + chrome, 368), height());
}

void TForm2::SelectRow(int row) {
    if (row < 0 || row >= Model->rowCount()) return;
    auto* sm = StringGrid1->selectionModel();
    QModelIndex index = Model->index(row, 0);
    // The run and Reset move the selection without scrolling; the user's keys and clicks scroll.
    StringGrid1->setAutoScroll(false);
    sm->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    StringGrid1->setAutoScroll(true);
    StringGrid1->viewport()->update();
}

int TForm2::SelectedRow() const {
    const auto rows = StringGrid1->selectionModel()->selectedRows();
    int top = -1;
    for (const auto& r : rows)
        if (top < 0 || r.row() < top) top = r.row();
    return top;
}

int TForm2::SelectedAddress() const {
    int row = SelectedRow();
    if (row < 0 || row >= int(Listing.size())) return -1;
    bool ok = false;
    int a = QString::fromStdString(Listing[size_t(row)].Address).left(4).toInt(&ok, 16);
    return ok ? a : -1;
}

void TForm2::ShowCoverage() {
    const bool shown = CoverageMarksShown();
    // The margin widens the window, so that the listing's columns keep their room.
    if (shown != !Margin->isHidden() && !isMaximized()) resize(width() + (shown ? 1 : -1) * Margin->width(), height());
    Margin->ShowMarks(shown);
    StringGrid1->viewport()->update();
}

void TForm2::RepaintGrid() {
    StringGrid1->viewport()->update();
    // The Source window shows the same breakpoints.
    if (SourceForm) SourceForm->RepaintMarks();
}
