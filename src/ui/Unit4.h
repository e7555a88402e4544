// TForm4, the external RAM view: one 256-byte page at a time, chosen with ScrollBar1.
#pragma once

#include <QMdiSubWindow>
#include <QPointer>

#include "RefreshRouter.h"

class QScrollArea;
class QScrollBar;
class QTableWidget;

class TForm4 : public QMdiSubWindow, public RefreshTarget {
    Q_OBJECT
public:
    explicit TForm4(QWidget* parent = nullptr);
    ~TForm4() override;
    QScrollArea* ScrollBox1;
    QTableWidget* StringGrid1;
    QScrollBar* ScrollBar1;

    int Page() const;
    // ScrollBar1Scroll: headers and cells of the page.
    void FillAll();
    // The cells of the page shown.
    void ShowLiveState() override;
    void EditCell(int row, int column);
    // Shows the page of `first` and marks the cells of the bytes from `first` on that page, at
    // most `count`, as selected; a click on a cell or another page clears the marks.
    void SelectBytes(uint16_t first, int count);
    // The addresses of the selected cells, ascending.
    QList<int> SelectedBytes() const;

protected:
    void closeEvent(QCloseEvent* event) override;
};

extern QPointer<TForm4> Form4;
