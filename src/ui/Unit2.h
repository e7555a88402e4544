// TForm2, the disassembly view: the listing in StringGrid1 with breakpoint and selection colours.
#pragma once

#include <QAbstractTableModel>
#include <QMdiSubWindow>
#include <QPointer>
#include <QStyledItemDelegate>
#include <QTableView>

// The listing rows (Listing) as a three-column table; with symbols a fourth holds the labels.
class ListingModel : public QAbstractTableModel {
    Q_OBJECT
public:
    using QAbstractTableModel::QAbstractTableModel;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    // The row header is the coverage margin: its text names the row's mark, its tool tip gives
    // the counts.
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    // Call after BuildListing.
    void Reload();
};

// Paints a cell: breakpoint rows red, the selected row navy (blue when it is also a breakpoint),
// the instruction column bold.
class ListingDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
};

class CoverageMargin;

class TForm2 : public QMdiSubWindow {
    Q_OBJECT
public:
    explicit TForm2(QWidget* parent = nullptr);
    ~TForm2() override;

    QTableView* StringGrid1;
    ListingModel* Model;

    // Rebuilds the listing from code memory into the grid.
    void BuildListingIntoGrid();
    // Selects all three columns of `row` without scrolling.
    void SelectRow(int row);
    // The row of the selection, -1 when there is none.
    int SelectedRow() const;
    // The address of the selected row, -1 when there is none.
    int SelectedAddress() const;
    void RepaintGrid();
    // Shows the coverage margin while recording is on and repaints the marks.
    void ShowCoverage();
    CoverageMargin* Margin;

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void FormResize();
    void ShowLabelColumn();
    // The first size, and again when the label column comes or goes: as wide as the columns
    // (address, label with symbols, instruction, bytes).
    void FitWidthToColumns();
    int fittedColumns_ = 0;
    // Widths of the instruction and label columns: as the layout gives them, wider with symbols
    // when a name would otherwise be cut off.
    int textWidth_ = 222, labelWidth_ = 110;
};

// The open disassembly view, empty while there is none.
extern QPointer<TForm2> Form2;
