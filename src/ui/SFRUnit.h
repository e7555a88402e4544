// TSFRForm8051, the register view: SFRs, R0-R7 of the selected bank, the PC and the PSW bits.
#pragma once

#include <QMdiSubWindow>
#include <QPointer>

#include "ByteCells.h"
#include "RefreshRouter.h"

class QCheckBox;
class QGroupBox;
class QLabel;
class QTableWidget;

struct RegisterViewRow {
    const char* Name;
    int Column;        // 1-3
    uint16_t Address;  // for R0-R7 the register number; the bank is added at use
};
// The 28 rows of the view; rows 2-9 are R0-R7.
extern const RegisterViewRow RegisterViewRows[28];
extern const char* const PswBitNames[8];

class TSFRForm8051 : public QMdiSubWindow, public RefreshTarget {
    Q_OBJECT
public:
    explicit TSFRForm8051(QWidget* parent = nullptr);
    ~TSFRForm8051() override;

    QWidget* Client;
    QGroupBox *GroupBox1, *GroupBox2;
    QTableWidget *StringGrid1, *StringGrid2, *StringGrid3, *StringGrid4, *StringGrid5;
    QLabel* Label1;
    QCheckBox* PswBits[8];

    // The direct address that row `index` of RegisterViewRows shows now.
    static uint16_t RowAddress(int index);
    // Every cell from the machine state, the program counter included.
    void FillAll();
    void ShowProgramCounter(uint16_t pc);
    // The register cells and the PSW (the program counter is shown by the run's end).
    void ShowLiveState() override;
    // GroupBox1DblClick with the pointer at `pos` in GroupBox1's co-ordinates: edits the row hit.
    void EditAt(const QPoint& pos);
    // The register row under `pos` of the group box, -1 for none.
    int RowIndexAt(const QPoint& pos) const;
    // The context menu there: Go to Last Write of the register.
    void LastWriteMenuAt(const QPoint& pos);
    // The number of rows in column 3 (6 on the 8051, 11 on the 8052).
    int Column3Rows() const { return column3Rows_; }

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void SetCell(int rowIndex, uint8_t value);
    void ShowPsw(uint8_t psw);
    void BitsOnClick();
    QTableWidget* GridOfColumn(int column) const;
    int column3Rows_;
    bool settingBits_ = false;
};

extern QPointer<TSFRForm8051> SFRForm8051;

