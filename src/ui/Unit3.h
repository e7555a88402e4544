// TForm3, the internal RAM view: 00h-7Fh, and on the 8052 the upper RAM as rows 80h-F0h.
#pragma once

#include <QMdiSubWindow>
#include <QPointer>

#include "RefreshRouter.h"

class QScrollArea;
class QTableWidget;

class TForm3 : public QMdiSubWindow, public RefreshTarget {
    Q_OBJECT
public:
    explicit TForm3(QWidget* parent = nullptr);
    ~TForm3() override;
    QScrollArea* ScrollBox1;
    QTableWidget* StringGrid1;

    void FillAll();
    void ShowLiveState() override { FillAll(); }
    // ScrollBox1DblClick on the cell of address `a` (00h-FFh as the view numbers them).
    void EditCell(int a);
    // Marks the cells of `count` bytes from address `first` (as the view numbers them) as
    // selected, the only selection the view shows; a click on a cell clears it.
    void SelectBytes(int first, int count);
    // The addresses of the selected cells, ascending.
    QList<int> SelectedBytes() const;

protected:
    void closeEvent(QCloseEvent* event) override;
};

extern QPointer<TForm3> Form3;

// The InternalRam index that the internal view's address `a` shows.
inline uint16_t InternalViewIndex(int a) { return uint16_t(a < 0x80 ? a : a + 0x80); }
