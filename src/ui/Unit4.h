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
    void DirectRefresh(uint16_t, uint8_t, uint8_t) override {}
    void ExternalRefresh(uint16_t address, uint8_t value) override;
    void EditCell(int row, int column);

protected:
    void closeEvent(QCloseEvent* event) override;
};

extern QPointer<TForm4> Form4;
