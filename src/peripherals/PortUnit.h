// TPortForm, the port panel: the 32 pins of P0-P3 as check boxes that show and drive them.
#pragma once

#include <QMdiSubWindow>
#include <QPointer>

#include "RefreshRouter.h"

class QCheckBox;
class QTableWidget;

class TPortForm : public QMdiSubWindow, public RefreshTarget {
    Q_OBJECT
public:
    explicit TPortForm(QWidget* parent = nullptr);
    ~TPortForm() override;
    QCheckBox* Boxes[32];  // box 8p + c shows bit 7 - c of port p
    QTableWidget* Grids[4];

    // PtOnClick: drives the clicked pin within the port's current value.
    void PtOnClick(int tag);
    void ShowPort(int port, uint8_t pins, uint8_t latch);
    void FillAll();
    void ShowLiveState() override { FillAll(); }

protected:
    void closeEvent(QCloseEvent* event) override;
};

extern QPointer<TPortForm> PortForm;
