// TDebuggerForm, the debugger window: code and data breakpoints, the call stack, the stopwatch;
// and TDataBreakpointDialog, which adds and edits a data breakpoint.
#pragma once

#include <QDialog>
#include <QMdiSubWindow>
#include <QPointer>

#include <string>
#include <vector>

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
    // The breakpoints the fields describe: those of the variable named in VariableBox (one per
    // byte), or the one of the memory and address fields.
    bool ReadBreakpoints(std::vector<DataBreakpoint>* out, QString* error) const;

    // A variable by name (chosen from the program's variables or typed), or empty for an address.
    QComboBox* VariableBox;
    QComboBox *SpaceBox, *ConditionBox;
    QLineEdit *AddressEdit, *ValueEdit;
    QCheckBox* EnabledBox;

protected:
    void accept() override;

private:
    void UpdateValueField();
    void UpdateAddressFields();
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
    // The stopwatch during a run: the counters as they will be when the run ends now, with
    // `runCycles` machine cycles run so far (the display's pace calls it).
    void ShowRunningStopwatch(uint64_t runCycles);
    // The cycles since Reset as the last stop left them: during a run the machine's total belongs
    // to the simulation thread, and the run's own cycles come published.
    uint64_t resetCyclesAtStop_ = 0;

    // The data breakpoint editor's work, also used by its buttons. `edit` < 0 adds.
    void StoreDataBreakpoint(int edit, const DataBreakpoint& b, const std::string& label = {});
    void OpenDataEditor(int edit);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void FillCode();
    void FillData();
    void FillStack();
    void FillStopwatch();
    void UpdateButtons();
    bool running_ = false;
};

// The data breakpoints on a variable's bytes (the Watch window's Break on Write and Break on
// Change): whether all of them are there, and adding (labelled with the variable's name) or
// removing them. The Debugger window, when open, shows the change.
bool HasVariableBreakpoints(const std::vector<DataBreakpoint>& set);
void AddVariableBreakpoints(const std::vector<DataBreakpoint>& set, const std::string& variable);
void RemoveVariableBreakpoints(const std::vector<DataBreakpoint>& set);

// The open debugger window, empty while there is none.
extern QPointer<TDebuggerForm> DebuggerForm;
