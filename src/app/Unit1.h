// TForm1, the main window: the MDI frame with all commands, tool bar, status bar and run control.
#pragma once

#include <QMainWindow>
#include <QElapsedTimer>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QList>
#include <QPointer>
#include <QStringList>
#include <functional>
#include <memory>

#include "MainWindowLink.h"
#include "RunThreads.h"
#include "SessionFile.h"

class QAction;
class QLabel;
class QToolBar;
class TSimCfgForm;
class TDasmCfgForm;
class TAboutForm;
class TLEDCfgForm;
class TKeyCfgForm;
class TLCDCfgForm;
class TKeypad4x4CfgForm;
class TLEDBarCfgForm;

class TForm1 : public QMainWindow, public RunThreadView, public MainWindowLink {
    Q_OBJECT
public:
    // Creates the window and makes the start-up stores; reads the settings from `settingsPath`
    // (corvamat.ini beside the executable when empty).
    explicit TForm1(const QString& settingsPath = QString());
    ~TForm1() override;

    // Commands, named as in the action list.
    QAction *OpenHEX, *CloseHEXFile, *SaveDASM, *ExitProg;
    QAction *RunProg, *RunStep, *Stop, *SetPC, *ToggleBP, *ClearBP, *ResetMC, *ClearIntRAM,
        *ClearExtRAM;
    QAction *ShowDASM, *ShowSFR8051, *ShowIntRAM, *ShowExtRAM, *ShowPorts, *ShowSerial, *ShowLED,
        *ShowKeys;
    QAction *ShowSimCfg, *ShowDasmCfg, *ShowLEDCfg, *ShowKeyCfg;
    QAction *WinCascade, *WinMinimize, *WinClose, *ShowReadme, *ShowAbout;
    // The debugger's commands, after the others in their menus.
    QAction *StepOver, *StepOut, *RunToCursor, *ShowDebugger;
    // View > Logic Analyzer, after the other windows.
    QAction* ShowLogic;
    void ShowLogicExecute();
    // History's commands, after those.
    QAction *StepBack, *ReverseContinue;
    // The history panel of the status bar: "History: instruction N of M" while in the past, how
    // far back history reaches otherwise, and where Go to Last Write went.
    QLabel* HistoryPanel;

    QMdiArea* MdiArea;
    QToolBar* ToolBar1;
    QLabel* StatusPanels[4];
    TSimCfgForm* SimCfgForm;
    TDasmCfgForm* DasmCfgForm;
    TAboutForm* AboutForm;
    TLEDCfgForm* LEDCfgForm;
    TKeyCfgForm* KeyCfgForm;

    // The most recent run or step thread.
    std::unique_ptr<TRunThread> ActiveRunThread;

    void OpenHEXExecute();
    // The part of Open after the file was chosen.
    bool LoadProgramFromFile(const QString& path);
    void CloseHEXFileExecute(bool fromActionList = false);
    void SaveDASMExecute();
    void RunProgExecute();
    void RunStepExecute();
    void StopExecute();
    void SetPCExecute();
    void ToggleBPExecute();
    void ClearBPExecute();
    void ResetMCExecute();
    void ClearIntRAMExecute();
    void ClearExtRAMExecute();
    void ShowDASMExecute();
    void ShowSimCfgExecute();
    void ShowDasmCfgExecute();
    void WinCascadeExecute();
    void WinMinimizeExecute();
    void WinCloseExecute();
    void ShowReadmeExecute();
    void ShowAboutExecute();
    void StepOverExecute();
    void StepOutExecute();
    void RunToCursorExecute();
    void ShowDebuggerExecute();
    void StepBackExecute();
    void ReverseContinueExecute();
    void GoToLastWrite(const std::vector<DataBreakpoint>& targets) override;
    // The history panel's text from where the machine is.
    void ShowHistoryExtent();
    // Opens what the command line names: "--board FILE" loads a board as Load Board... would, the
    // first other argument is a program opened as Open would. False when no program was named or
    // it cannot be loaded.
    bool OpenFromArguments(const QStringList& arguments);
    void ShowListingAddress(uint16_t address) override;
    void ShowMemoryBytes(MemoryView view, uint16_t first, int count) override;
    void ShowCodePlace(uint16_t address) override;
    bool RunInProgress() const override { return activity_ == Activity::Running; }
    void RunEnded() override;
    // At the display's pace while a run goes on with the screen update on: the program counter
    // cell, the Watch window, the status bar's simulation time.
    void ShowRunningValues();
    // A stop where the program has symbols but no C line: the listing comes to the front with
    // the program counter's row selected and in view.
    void ShowStopWithoutSource();
    // A Watch or Source window opened for the first time stands beside the listing, below the
    // windows already there, when the main window has room for it.
    void PlaceBesideListing(QMdiSubWindow* window);

    // Waits for a worker thread that is still finishing, serving its calls meanwhile; with
    // `stop` it first sets the thread's stop request.
    void FinishWorker(bool stop = false);
    bool Running() const;
    // The processor and clock text of status panel 0.
    void UpdateProcessorStatus() override;
    // Brings a child window back to the normal state and to the front.
    void BringToFront(QMdiSubWindow* window);
    // The disassembly view tells when it opens and closes.
    void ListingViewOpened(bool open) override;
    // Rebuilds the windows whose layout depends on the processor.
    void RebuildProcessorWindows() override;
    // Redraws every open view from the machine state.
    void RefreshAllViews();

    // Show command of a child window kind: brings the window back, or creates it.
    template <class Form>
    void ShowChild(QPointer<Form>& ref) {
        if (ref) {
            BringToFront(ref);
            return;
        }
        auto* window = new Form;
        ref = window;
        MdiArea->addSubWindow(window);
        window->show();
    }
    // Destroys a child window and creates it anew with the same state and position.
    template <class Form>
    void RebuildChild(QPointer<Form>& ref) {
        QMdiSubWindow* old = ref;
        const Qt::WindowStates state = old->windowState();
        old->showNormal();
        const QPoint pos = old->pos();
        old->close();
        auto* window = new Form;
        ref = window;
        MdiArea->addSubWindow(window);
        window->move(pos);
        window->show();
        window->setWindowState(state);
    }
    // Replaces the disassembly view by a new one at the same place, state and stacking order.
    void ReplaceListingView() override;

    // RunThreadView, called on the user-interface thread. SetRunCommands(false) is the end of
    // every run and step.
    void SetRunCommands(bool running) override;
    void SetRunTimes(const std::string& simulation, const std::string& controller) override;
    void ShowProgramCounter(uint16_t pc) override;
    void SelectListingRow(uint16_t pc) override;

    QString SettingsPath;

    // The course hardware: View > LCD, Keypad 4x4, LED Bar; their options; File > Load Board...,
    // Save Board....
    QAction *ShowLCD = nullptr, *ShowKeypad4x4 = nullptr, *ShowLEDBar = nullptr, *ShowLCDCfg = nullptr,
            *ShowKeypad4x4Cfg = nullptr, *ShowLEDBarCfg = nullptr, *LoadBoard = nullptr, *SaveBoard = nullptr;
    TLCDCfgForm* LCDCfgForm = nullptr;
    TKeypad4x4CfgForm* Keypad4x4CfgForm = nullptr;
    TLEDBarCfgForm* LEDBarCfgForm = nullptr;
    void LoadBoardExecute();
    // Reads a board file, takes its wiring into the settings, opens the board's device windows
    // (closing the others) and lays them out; a file that cannot be used gets a message and
    // changes nothing.
    bool LoadBoardFromFile(const QString& path);
    // Writes the wiring of the device windows that are open.
    void SaveBoardExecute();
    // The device windows in a column at the right, the listing to their left.
    void LayOutBoardWindows();

    // The program's symbols: File > Load Symbols..., View > Watch, View > Source.
    QAction *LoadSymbols = nullptr, *ShowWatch = nullptr, *ShowSource = nullptr;
    // Coverage and profile: Run > Record Coverage and Profile (checkable), Run > Clear Coverage
    // and Profile, View > Performance Analyzer, View > Trace.
    QAction *RecordAnalysis = nullptr, *ClearAnalysis = nullptr, *ShowPerformance = nullptr,
            *ShowTrace = nullptr;
    void RecordAnalysisExecute(bool on);
    void ClearAnalysisExecute();
    // The coverage marks and the analysis windows follow the recorder (after a run or step, a
    // new program, Clear, the recording switched).
    void AnalysisChanged();
    bool ShowSourceLine(const std::string& file, int line) override;
    void LoadSymbolsExecute();
    // Reads the .cdb (or .map, .noi) beside a program that was just loaded; one that does not fit
    // gets a message and the program stays loaded without symbols.
    void LoadSymbolsBesideProgram(const QString& programPath);
    void ForgetSymbols();
    // While the Source window is the active child window (and symbols are loaded), Single Step,
    // Step Over and Run to Cursor work by source line: StepByLine runs to the start of another
    // line (over calls with `overCalls`), RunToSourceLine to the selected line. False when they
    // do not apply and the command works by instruction.
    bool StepByLine(bool overCalls);
    // Step Out while the Source window is active: out of the routine, then on to a line start.
    bool StepOutByLine();
    bool RunToSourceLine();
    // What the worker does now. Run-like commands change it on this thread before the worker
    // starts; the end of the run or step sets it back to Idle.
    enum class Activity { Idle, Stepping, Running };
    Activity CurrentActivity() const { return activity_; }
    // Every command whose state depends on the program, the listing view or the worker, written
    // here and nowhere else.
    void UpdateCommandStates();
    // The commands that start a worker: enabled only while a program is loaded and no worker is
    // busy. A new one is added here and started through StartThread.
    QList<QAction*> RunLikeCommands() const;
    // Starts a run (0) or a single step (1) unless a worker is busy; false when nothing started.
    // With `oneShot` the run also stops there (Step Over, Step Out, Run to Cursor).
    bool StartThread(uint8_t singleStep, const OneShotStop* oneShot = nullptr);

    // Sessions: per program, the code and data breakpoints, the source folders found with
    // "Locate...", the Watch window's expanded rows and the open windows with their places, kept
    // in PROGRAM.corvamat-session (or under the configuration folder when the program's folder
    // cannot be written) and restored when the program is opened again.
    QAction* ReloadProg = nullptr;
    // Reads the program file and its symbols again, keeping the session (breakpoints follow
    // their C lines and functions into the rebuilt program).
    void ReloadProgExecute();
    // Whether sessions are read and written (the window tests leave it off unless they test it).
    bool KeepSessions = true;
    // The configuration folder for sessions of programs in folders that cannot be written.
    QString SessionConfigFolder;
    // Writes the loaded program's session when it differs from the file's.
    void SaveSession();
    // The session as it would be written now.
    ProgramSession CaptureSession() const;
    // The file the loaded program's session was read from or is written to, "" before one exists.
    QString SessionFilePath() const { return sessionPath_; }

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool SourceStepping() const;
    void StartLineStep(bool overCalls);
    void FinishLineAfterReturn();
    bool finishLineAfterReturn_ = false;
    void CreateActions();
    void CreateMenus();
    void CreateSymbolCommands();
    void CreateBoardCommands();
    void CreateAnalysisCommands();
    // After the symbols changed: the listing with or without names, the Watch and Source windows.
    void SymbolsChanged();
    void SetActivity(Activity activity);
    QAction* MakeAction(const char* name, const QString& caption, const QString& hint,
                        const QString& icon, const QKeySequence& shortcut, bool enabled);
    // The session of a program just loaded: read before its symbols (the source folders), applied
    // once the listing exists.
    void ReadSession(const QString& programPath);
    void ApplySession();
    std::vector<SessionWindow> CaptureWindows() const;
    void RestoreWindows(const std::vector<SessionWindow>& windows);
    ProgramSession session_;       // as read or last written
    QString sessionPath_;          // where it was read from or last written
    bool sessionBlocked_ = false;  // a file that could not be read is never written over
    std::vector<std::string> sessionProblems_;
    Activity activity_ = Activity::Idle;
    // A history command for the next StartThread to carry out instead of a run or step, and what
    // to do with what it found once it has ended.
    HistoryJob pendingJob_;
    std::function<void(const HistoryHit&)> jobEnded_;
    bool listingOpen_ = false;
    bool continuingLine_ = false;  // the second half of a Step Out by line: one command
    QElapsedTimer runClock_;       // since the start of the run in progress
    int liveSkip_ = 0;             // display ticks to skip after a slow ShowRunningValues
};

// The main window while it exists.
extern TForm1* Form1;

// Installs the waker that lets the worker's Synchronize calls run in the Qt event loop.
void InstallQtSynchronize();
