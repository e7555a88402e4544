// TDebuggerForm, the debugger window: code and data breakpoints, the call stack, the stopwatch;
// and TDataBreakpointDialog, which adds and edits a data breakpoint.
#pragma once

#include <QDialog>
#include <QMdiSubWindow>
#include <QPointer>

#include "Debugger.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTabWidget;
class QTreeWidget;

class TDataBreakpointDialog : public QDialog {
    Q_OBJECT
public:
    explicit TDataBreakpointDialog(QWidget* parent = nullptr);
    void SetBreakpoint(const DataBreakpoint& b);
    // The breakpoint the fields describe; false with a message when a field is not valid.
    bool ReadBreakpoint(DataBreakpoint* b, QString* error) const;

    QComboBox *SpaceBox, *ConditionBox;
    QLineEdit *AddressEdit, *ValueEdit;
    QCheckBox* EnabledBox;

protected:
    void accept() override;

private:
    void UpdateValueField();
};

class TDebuggerForm : public QMdiSubWindow {
    Q_OBJECT
public:
    explicit TDebuggerForm(QWidget* parent = nullptr);
    ~TDebuggerForm() override;

    QTabWidget* Tabs;
    QLabel* StopLabel;  // which data breakpoint stopped the last run, and the writer
    QTreeWidget *CodeList, *DataList, *StackList;
    QPushButton *RemoveCode, *RemoveAllCode, *ToggleCode;
    QPushButton *AddData, *EditData, *RemoveData, *ToggleData;
    QLabel *ResetCycles, *LastRunCycles, *ZeroCycles;
    QPushButton* ZeroButton;

    // Every list and counter from the machine state; the main window calls it when a run or
    // step has ended (never during a run) and after breakpoint commands.
    void RefreshAll();
    // While running the lists cannot be edited.
    void SetRunning(bool running);

    // The data breakpoint editor's work, also used by its buttons. `edit` < 0 adds.
    void StoreDataBreakpoint(int edit, const DataBreakpoint& b);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void FillCode();
    void FillData();
    void FillStack();
    void FillStopwatch();
    void UpdateButtons();
    void OpenDataEditor(int edit);
    bool running_ = false;
};

// The open debugger window, empty while there is none.
extern QPointer<TDebuggerForm> DebuggerForm;
