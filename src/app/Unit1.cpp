// The main window: start-up, commands and their states, program loading, run control, closing.
#include "Unit1.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLocale>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QTextDocumentFragment>
#include <QTextEdit>

#include "AboutUnit.h"
#include "ByteEditUnit.h"
#include "SFRUnit.h"
#include "Unit3.h"
#include "Unit4.h"
#include "KeyCfg.h"
#include "KeyUnit.h"
#include "LEDCfg.h"
#include "LEDUnit.h"
#include "PortUnit.h"
#include "SerialUnit.h"
#include "Code.h"
#include "HexText.h"
#include "History.h"
#include "Inputs.h"
#include "DasmCfg.h"
#include "Debugger.h"
#include "Disassembler.h"
#include "Export.h"
#include "ProgramFiles.h"
#include "Prompts.h"
#include "ReadmeView.h"
#include "RefreshRouter.h"
#include "Settings.h"
#include "SimCfg.h"
#include "SourceSteps.h"
#include "Unit2.h"
#include "DebuggerUnit.h"
#include "SourceUnit.h"
#include "WatchUnit.h"
#include "LogicUnit.h"
#include "ProgramSymbols.h"
#include "Symbols.h"
#include "PerformanceUnit.h"
#include "Recorder.h"

// The user has once agreed that a change in the past discards the recorded future.
static bool PastChangeConfirmed = false;

TForm1* Form1 = nullptr;

namespace {

// Loader messages go to message boxes.
class BoxReporter : public LoadReporter {
public:
    explicit BoxReporter(QWidget* parent) : parent_(parent) {}
    void ShowError(const std::string& m) override {
        CurrentPrompts().Error(parent_, QString::fromStdString(m));
    }
    bool AskYesNo(const std::string& q) override {
        return CurrentPrompts().ErrorYesNo(parent_, QString::fromStdString(q));
    }

private:
    QWidget* parent_;
};

}  // namespace

void InstallQtSynchronize() {
    SetSynchronizeWaker([] {
        QMetaObject::invokeMethod(qApp, [] { ServePendingSynchronize(); }, Qt::QueuedConnection);
    });
}

// The pictures are compiled into this static library; its resources must be registered once.
static void InitResources() { Q_INIT_RESOURCE(icons); }

TForm1::TForm1(const QString& settingsPath) {
    InitResources();
    Form1 = this;
    MainWindow = this;
    setWindowTitle(QStringLiteral("Corvamat"));
    setObjectName(QStringLiteral("Form1"));
    setWindowIcon(QIcon(QStringLiteral(":/icons/corvamat.svg")));
    resize(640, 452);
    MdiArea = new QMdiArea(this);
    MdiArea->setBackground(palette().brush(QPalette::Dark));
    setCentralWidget(MdiArea);
    // The child windows' normal geometry is followed for the sessions (eventFilter).
    MdiArea->viewport()->installEventFilter(this);

    // FormCreate: the reset values, the settings, the status text.
    InitMachineState();
    ProgramFileName.clear();
    SettingsPath = settingsPath.isEmpty() ? QString::fromStdString(SettingsFilePath()) : settingsPath;
    LoadSettingsFile(SettingsPath.toStdString());
    Processor8052 = Settings.Processor;
    RegisterViewIdle = 1;

    CreateActions();
    CreateMenus();
    CreateSymbolCommands();
    CreateBoardCommands();
    CreateAnalysisCommands();

    for (int i = 0; i < 4; ++i) {
        StatusPanels[i] = new QLabel(this);
        StatusPanels[i]->setObjectName(QStringLiteral("StatusPanel%1").arg(i));
        StatusPanels[i]->setFrameShape(QFrame::Panel);
        StatusPanels[i]->setFrameShadow(QFrame::Sunken);
        statusBar()->addWidget(StatusPanels[i]);
    }
    StatusPanels[0]->setMinimumWidth(118);  // wide enough for the whole text
    StatusPanels[1]->setFixedWidth(200);
    StatusPanels[2]->setFixedWidth(200);
    StatusPanels[3]->setFixedWidth(50);
    StatusPanels[1]->setText(QStringLiteral("Simulation:"));
    StatusPanels[2]->setText(QStringLiteral("Controller:"));
    // Screen readers read the text itself; the purpose is the description.
    StatusPanels[0]->setAccessibleDescription(QStringLiteral("Processor and clock"));
    StatusPanels[1]->setAccessibleDescription(QStringLiteral("Simulation time"));
    StatusPanels[2]->setAccessibleDescription(QStringLiteral("Controller time"));
    UpdateProcessorStatus();
    HistoryPanel = new QLabel(this);
    HistoryPanel->setObjectName(QStringLiteral("HistoryPanel"));
    HistoryPanel->setFrameShape(QFrame::Panel);
    HistoryPanel->setFrameShadow(QFrame::Sunken);
    HistoryPanel->setAccessibleDescription(QStringLiteral("How far back history reaches"));
    statusBar()->addWidget(HistoryPanel, 1);

    // History is always on, within the memory the settings give it. A change the user makes in
    // the past discards the recorded future: the first time, only after a confirmation.
    SetHistoryBudget(std::size_t(Settings.HistoryMB) << 20);
    PastChangeConfirmed = false;
    InstallInputGate([](const MachineInput&) {
        if (PastChangeConfirmed || !HistoryInPast()) return true;
        PastChangeConfirmed = CurrentPrompts().ConfirmYesNo(
            Form1, QStringLiteral("The machine is in the past. A change here discards the recorded "
                                  "instructions after this point. Continue?"));
        return PastChangeConfirmed;
    });
    ShowHistoryExtent();

    InstallQtSynchronize();

    // The dialogs, created once and shown modally.
    new TByteEditForm(this);
    SimCfgForm = new TSimCfgForm(this);
    AboutForm = new TAboutForm(this);
    LEDCfgForm = new TLEDCfgForm(this);
    KeyCfgForm = new TKeyCfgForm(this);
    DasmCfgForm = new TDasmCfgForm(this);
}

TForm1::~TForm1() {
    FinishWorker(true);
    InstallInputGate(nullptr);
    ActiveRunThread.reset();
    InstallStoreRefreshHooks(nullptr);
    if (Form1 == this) Form1 = nullptr;
    if (MainWindow == this) MainWindow = nullptr;
}

QAction* TForm1::MakeAction(const char* name, const QString& caption, const QString& hint,
                            const QString& icon, const QKeySequence& shortcut, bool enabled) {
    auto* a = new QAction(caption, this);
    a->setObjectName(QString::fromLatin1(name));
    if (!hint.isEmpty()) a->setToolTip(hint);  // a tool tip only: the status bar keeps its panels
    if (!icon.isEmpty()) a->setIcon(QIcon(QStringLiteral(":/icons/%1.svg").arg(icon)));
    if (!shortcut.isEmpty()) a->setShortcut(shortcut);
    a->setEnabled(enabled);
    return a;
}

void TForm1::CreateActions() {
    OpenHEX = MakeAction("OpenHEX", "Open Program File...", "Open Program File", "open", {}, true);
    CloseHEXFile = MakeAction("CloseHEXFile", "Close File (Clear Program Memory)", "", "", {}, false);
    SaveDASM = MakeAction("SaveDASM", "Save Disassembly...", "", "", {}, false);
    ExitProg = MakeAction("ExitProg", "Exit", "", "", {}, true);
    RunProg = MakeAction("RunProg", "Run", "Run", "run", QKeySequence(Qt::Key_F9), false);
    RunStep = MakeAction("RunStep", "Single Step", "Step", "step", QKeySequence(Qt::Key_F8), false);
    Stop = MakeAction("Stop", "Stop", "Stop", "stop", {}, false);
    SetPC = MakeAction("SetPC", "Set Program Counter to Cursor", "", "", {}, false);
    ToggleBP = MakeAction("ToggleBP", "Toggle Breakpoint", "", "", QKeySequence(Qt::Key_F5), false);
    ClearBP = MakeAction("ClearBP", "Clear All Breakpoints", "", "",
                         QKeySequence(Qt::CTRL | Qt::Key_F5), false);
    ResetMC = MakeAction("ResetMC", "Reset Microcontroller", "Reset Microcontroller", "reset", {}, true);
    ClearIntRAM = MakeAction("ClearIntRAM", "Clear Internal RAM", "", "", {}, true);
    ClearExtRAM = MakeAction("ClearExtRAM", "Clear External RAM", "", "", {}, true);
    ShowDASM = MakeAction("ShowDASM", "Disassembly", "Disassembly", "disassembly",
                          QKeySequence(Qt::CTRL | Qt::Key_D), false);
    ShowSFR8051 = MakeAction("ShowSFR8051", "Registers", "Registers", "registers",
                             QKeySequence(Qt::CTRL | Qt::Key_R), true);
    ShowIntRAM = MakeAction("ShowIntRAM", "Internal RAM", "Internal RAM", "intram",
                            QKeySequence(Qt::CTRL | Qt::Key_I), true);
    ShowExtRAM = MakeAction("ShowExtRAM", "External RAM", "External RAM", "extram",
                            QKeySequence(Qt::CTRL | Qt::Key_X), true);
    ShowPorts = MakeAction("ShowPorts", "Ports", "Ports", "ports", QKeySequence(Qt::CTRL | Qt::Key_P), true);
    ShowSerial = MakeAction("ShowSerial", "Serial I/O Terminal", "Serial I/O Terminal", "serial",
                            QKeySequence(Qt::CTRL | Qt::Key_S), true);
    ShowLED = MakeAction("ShowLED", "7-Segment-LEDs", "", "", {}, true);
    ShowKeys = MakeAction("ShowKeys", "Keypad 4x2", "", "", {}, true);
    ShowSimCfg = MakeAction("ShowSimCfg", "Simulation...", "", "", {}, true);
    ShowDasmCfg = MakeAction("ShowDasmCfg", "Disassembler...", "", "", {}, true);
    ShowLEDCfg = MakeAction("ShowLEDCfg", "7-Segment-LEDs...", "", "", {}, true);
    ShowKeyCfg = MakeAction("ShowKeyCfg", "Keypad 4x2...", "", "", {}, true);
    WinCascade = MakeAction("WinCascade", "Cascade", "", "", {}, true);
    WinMinimize = MakeAction("WinMinimize", "Minimize", "", "", {}, true);
    WinClose = MakeAction("WinClose", "Close", "", "", {}, true);
    ShowReadme = MakeAction("ShowReadme", "View readme.txt", "", "", {}, true);
    ShowAbout = MakeAction("ShowAbout", "About...", "", "", {}, true);
    StepOver = MakeAction("StepOver", "Step Over", "Step Over", "", QKeySequence(Qt::Key_F10), false);
    StepOut = MakeAction("StepOut", "Step Out", "Step Out", "", QKeySequence(Qt::SHIFT | Qt::Key_F10), false);
    RunToCursor = MakeAction("RunToCursor", "Run to Cursor", "Run to Cursor", "", QKeySequence(Qt::Key_F4), false);
    ShowDebugger = MakeAction("ShowDebugger", "Debugger", "Debugger", "", {}, true);
    ShowLogic = MakeAction("ShowLogic", "Logic Analyzer", "Logic Analyzer", "", {}, true);
    connect(ShowLogic, &QAction::triggered, this, [this] { ShowLogicExecute(); });
    StepBack = MakeAction("StepBack", "Step Back", "Step Back", "", QKeySequence(Qt::CTRL | Qt::Key_F8), false);
    ReverseContinue = MakeAction("ReverseContinue", "Reverse Continue", "Reverse Continue", "",
                                 QKeySequence(Qt::CTRL | Qt::Key_F9), false);
    connect(StepBack, &QAction::triggered, this, [this] { StepBackExecute(); });
    connect(ReverseContinue, &QAction::triggered, this, [this] { ReverseContinueExecute(); });
    connect(StepOver, &QAction::triggered, this, [this] { StepOverExecute(); });
    connect(StepOut, &QAction::triggered, this, [this] { StepOutExecute(); });
    connect(RunToCursor, &QAction::triggered, this, [this] { RunToCursorExecute(); });
    connect(ShowDebugger, &QAction::triggered, this, [this] { ShowDebuggerExecute(); });

    connect(OpenHEX, &QAction::triggered, this, [this] { OpenHEXExecute(); });
    connect(CloseHEXFile, &QAction::triggered, this, [this] { CloseHEXFileExecute(false); });
    connect(SaveDASM, &QAction::triggered, this, [this] { SaveDASMExecute(); });
    connect(ExitProg, &QAction::triggered, this, [this] { close(); });
    connect(RunProg, &QAction::triggered, this, [this] { RunProgExecute(); });
    connect(RunStep, &QAction::triggered, this, [this] { RunStepExecute(); });
    connect(Stop, &QAction::triggered, this, [this] { StopExecute(); });
    connect(SetPC, &QAction::triggered, this, [this] { SetPCExecute(); });
    connect(ToggleBP, &QAction::triggered, this, [this] { ToggleBPExecute(); });
    connect(ClearBP, &QAction::triggered, this, [this] { ClearBPExecute(); });
    connect(ResetMC, &QAction::triggered, this, [this] { ResetMCExecute(); });
    connect(ClearIntRAM, &QAction::triggered, this, [this] { ClearIntRAMExecute(); });
    connect(ClearExtRAM, &QAction::triggered, this, [this] { ClearExtRAMExecute(); });
    connect(ShowDASM, &QAction::triggered, this, [this] { ShowDASMExecute(); });
    connect(ShowSFR8051, &QAction::triggered, this, [this] { ShowChild(SFRForm8051); });
    connect(ShowIntRAM, &QAction::triggered, this, [this] { ShowChild(Form3); });
    connect(ShowExtRAM, &QAction::triggered, this, [this] { ShowChild(Form4); });
    connect(ShowPorts, &QAction::triggered, this, [this] { ShowChild(PortForm); });
    connect(ShowSerial, &QAction::triggered, this, [this] { ShowChild(SerialForm); });
    connect(ShowLED, &QAction::triggered, this, [this] { ShowChild(LEDForm); });
    connect(ShowKeys, &QAction::triggered, this, [this] { ShowChild(KeyForm); });
    connect(ShowLEDCfg, &QAction::triggered, this, [this] {
        FinishWorker();
        LEDCfgForm->exec();
    });
    connect(ShowKeyCfg, &QAction::triggered, this, [this] {
        FinishWorker();
        KeyCfgForm->exec();
    });
    connect(ShowSimCfg, &QAction::triggered, this, [this] { ShowSimCfgExecute(); });
    connect(ShowDasmCfg, &QAction::triggered, this, [this] { ShowDasmCfgExecute(); });
    connect(WinCascade, &QAction::triggered, this, [this] { WinCascadeExecute(); });
    connect(WinMinimize, &QAction::triggered, this, [this] { WinMinimizeExecute(); });
    connect(WinClose, &QAction::triggered, this, [this] { WinCloseExecute(); });
    connect(ShowReadme, &QAction::triggered, this, [this] { ShowReadmeExecute(); });
    connect(ShowAbout, &QAction::triggered, this, [this] { ShowAboutExecute(); });
}

void TForm1::CreateMenus() {
    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    file->addActions({OpenHEX, CloseHEXFile, SaveDASM});
    file->addSeparator();
    file->addAction(ExitProg);
    QMenu* run = menuBar()->addMenu(QStringLiteral("&Run"));
    run->addActions({RunProg, RunStep, Stop, SetPC});
    run->addSeparator();
    run->addActions({ToggleBP, ClearBP});
    run->addSeparator();
    run->addActions({ResetMC, ClearIntRAM, ClearExtRAM});
    run->addSeparator();
    run->addActions({StepOver, StepOut, RunToCursor});
    run->addSeparator();
    run->addActions({StepBack, ReverseContinue});
    QMenu* view = menuBar()->addMenu(QStringLiteral("&View"));
    view->addActions({ShowDASM, ShowSFR8051, ShowIntRAM, ShowExtRAM, ShowPorts, ShowSerial});
    view->addSeparator();
    view->addActions({ShowLED, ShowKeys});
    view->addSeparator();
    view->addAction(ShowDebugger);
    view->addAction(ShowLogic);
    QMenu* config = menuBar()->addMenu(QStringLiteral("&Configuration"));
    config->addActions({ShowSimCfg, ShowDasmCfg});
    config->addSeparator();
    config->addActions({ShowLEDCfg, ShowKeyCfg});
    QMenu* windows = menuBar()->addMenu(QStringLiteral("&Windows"));
    windows->addActions({WinCascade, WinMinimize, WinClose});
    QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
    help->addAction(ShowReadme);
    help->addSeparator();
    help->addAction(ShowAbout);

    ToolBar1 = addToolBar(QStringLiteral("Tools"));
    ToolBar1->setObjectName(QStringLiteral("ToolBar1"));
    ToolBar1->setMovable(false);
    ToolBar1->setIconSize(QSize(16, 16));
    ToolBar1->addAction(OpenHEX);
    ToolBar1->addSeparator();
    ToolBar1->addActions({RunProg, RunStep, Stop, ResetMC});
    ToolBar1->addSeparator();
    ToolBar1->addActions({ShowDASM, ShowSFR8051, ShowIntRAM, ShowExtRAM, ShowPorts, ShowSerial});
}

void TForm1::UpdateProcessorStatus() {
    const QString point = QLocale().decimalPoint();
    StatusPanels[0]->setText(QString::fromStdString(
        ProcessorStatusText(Settings, point.isEmpty() ? '.' : point.at(0).toLatin1())));
}

// ---- Worker control ----------------------------------------------------------------------------

bool TForm1::Running() const { return ActiveRunThread && !ActiveRunThread->Finished(); }

void TForm1::FinishWorker(bool stop) {
    if (!ActiveRunThread) return;
    if (stop) ActiveRunThread->Terminate();
    ActiveRunThread->WaitFor();
}

bool TForm1::StartThread(uint8_t singleStep, const OneShotStop* oneShot) {
    // A second Run or Step while one is in progress does nothing: its command is disabled, and a
    // call that comes anyway (a key repeat queued before the disabling) must not wait for a run.
    if (activity_ != Activity::Idle) return false;
    FinishWorker();  // at most the last Synchronize of the previous step or run
    ArmDebugStops(oneShot);
    SingleStepMode = singleStep;
    SetBoardClock(Settings.Frequency);
    RunSettings rs;
    rs.Frequency = Settings.Frequency;
    rs.ScrUpdate = Settings.ScrUpdate;
    rs.AutoRestart = Settings.AutoRestart;
    rs.RealTime = Settings.RealTime;
    // The commands change here, on this thread, before the worker exists: Stop works at once, and
    // a second Run or Step can never be triggered before the worker has started.
    SetActivity(singleStep ? Activity::Stepping : Activity::Running);
    // What changed is measured from this stop on; the second half of a Step Out by line is
    // still the same command.
    if (WatchForm && !continuingLine_) WatchForm->RunStarts();
    runClock_.start();
    liveSkip_ = 0;
    RunCyclesSoFar = 0;
    // With "Update screen every" off nothing is repainted during the run.
    if (rs.ScrUpdate) StartRepaintPacing([this] { ShowRunningValues(); });
    else StartRepaintPacing({}, false);
    ActiveRunThread = std::make_unique<TRunThread>(this, rs);
    if (pendingJob_) ActiveRunThread->SetJob(std::move(pendingJob_));
    pendingJob_ = nullptr;
    ActiveRunThread->Start();
    return true;
}

void TForm1::RunProgExecute() {
    if (ProgramFileName.empty()) return;
    StartThread(0);
}

void TForm1::RunStepExecute() {
    if (!StepByLine(false)) StartThread(1);
}

void TForm1::StopExecute() {
    if (ActiveRunThread) ActiveRunThread->Terminate();
    if (LEDForm) LEDForm->Repaint();
}

void TForm1::SetActivity(Activity activity) {
    activity_ = activity;
    UpdateCommandStates();
}

QList<QAction*> TForm1::RunLikeCommands() const {
    return {RunProg, RunStep, StepOver, StepOut, RunToCursor, StepBack, ReverseContinue};
}

void TForm1::UpdateCommandStates() {
    const bool loaded = !ProgramFileName.empty();
    const bool listing = listingOpen_;
    const bool idle = activity_ == Activity::Idle;
    // A step leaves every command but the run-like ones alone: it ends within moments, and the
    // commands that change the machine wait for it.
    const bool free = activity_ != Activity::Running;
    for (QAction* a : RunLikeCommands()) a->setEnabled(loaded && idle);
    RunToCursor->setEnabled(loaded && idle && listing);
    if (DebuggerForm) DebuggerForm->SetRunning(!free);
    if (LogicForm) LogicForm->SetRunning(!idle);
    Stop->setEnabled(activity_ == Activity::Running);
    CloseHEXFile->setEnabled(loaded && free);
    if (ReloadProg) ReloadProg->setEnabled(loaded && free);
    ShowDASM->setEnabled(loaded);
    ToggleBP->setEnabled(listing && free);
    ClearBP->setEnabled(listing && free);
    SetPC->setEnabled(listing);
    SaveDASM->setEnabled(listing);
    for (QAction* a : {OpenHEX, ClearIntRAM, ClearExtRAM, ShowSimCfg, ShowLEDCfg, ShowKeyCfg, ShowDasmCfg})
        a->setEnabled(free);
    for (QAction* a : {ShowLCDCfg, ShowKeypad4x4Cfg, ShowLEDBarCfg, LoadBoard})
        if (a) a->setEnabled(free);
    if (LoadSymbols) LoadSymbols->setEnabled(loaded && free);
    // The recorder is armed once per run: it is switched and cleared between runs only.
    if (RecordAnalysis) RecordAnalysis->setEnabled(free);
    if (ClearAnalysis) ClearAnalysis->setEnabled(free);
    if (PerformanceForm) PerformanceForm->SetRunning(activity_ == Activity::Running);
}

void TForm1::SetRunCommands(bool running) {
    if (running) {
        SetActivity(Activity::Running);
        return;
    }
    // The end of a run or step (the worker waits meanwhile): every window shows the machine as it
    // is, whatever the run left unrefreshed, and the commands are offered again.
    StopRepaintPacing();
    RefreshAllViews();
    SetActivity(Activity::Idle);
    if (Recorder.Enabled()) AnalysisChanged();
    ShowHistoryExtent();
    if (jobEnded_) {
        auto ended = std::move(jobEnded_);
        jobEnded_ = nullptr;
        ended(ActiveRunThread ? ActiveRunThread->JobResult : HistoryHit());
    }
    if (finishLineAfterReturn_) QTimer::singleShot(0, this, [this] { FinishLineAfterReturn(); });
}

void TForm1::SetRunTimes(const std::string& simulation, const std::string& controller) {
    StatusPanels[1]->setText(QString::fromStdString(simulation));
    StatusPanels[2]->setText(QString::fromStdString(controller));
}

void TForm1::ShowProgramCounter(uint16_t pc) {
    if (SFRForm8051) SFRForm8051->ShowProgramCounter(pc);
}

void TForm1::RefreshAllViews() {
    RepaintAllWindows();
    if (WatchForm) WatchForm->Refresh();
    if (SourceForm) SourceForm->ShowProgramCounter();
    if (SFRForm8051) SFRForm8051->ShowProgramCounter(ProgramCounter);
}

void TForm1::SelectListingRow(uint16_t pc) {
    if (!Form2) return;
    int row = ListingRowMap[pc];
    if (row != kNoListingRow) Form2->SelectRow(row);
}

// ---- Debugger commands -------------------------------------------------------------------------

void TForm1::StepOverExecute() {
    if (ProgramFileName.empty() || CurrentActivity() != Activity::Idle) return;
    if (StepByLine(true)) return;
    FinishWorker();  // a step that is still finishing
    const OneShotStop stop = StepOverStop();
    StartThread(0, &stop);
}

void TForm1::StepOutExecute() {
    if (ProgramFileName.empty() || CurrentActivity() != Activity::Idle) return;
    if (StepOutByLine()) return;
    FinishWorker();
    const OneShotStop stop = StepOutStop();
    StartThread(0, &stop);
}

void TForm1::RunToCursorExecute() {
    if (RunToSourceLine()) return;
    if (ProgramFileName.empty() || !Form2 || CurrentActivity() != Activity::Idle) return;
    const int a = Form2->SelectedAddress();
    if (a < 0) return;
    FinishWorker();
    const OneShotStop stop = RunToStop(uint16_t(a));
    StartThread(0, &stop);
}

void TForm1::ShowDebuggerExecute() {
    ShowChild(DebuggerForm);
    DebuggerForm->SetRunning(CurrentActivity() == Activity::Running);
}

void TForm1::ShowLogicExecute() {
    ShowChild(LogicForm);
    LogicForm->SetRunning(CurrentActivity() != Activity::Idle);
}

// ---- History -------------------------------------------------------------------------------------

void TForm1::ShowHistoryExtent() {
    const HistoryExtent e = CurrentHistoryExtent();
    QString text;
    if (e.inPast) text = QStringLiteral("History: instruction %1 of %2").arg(e.position).arg(e.present);
    else if (e.enabled) text = QStringLiteral("History: back to instruction %1").arg(e.oldest);
    HistoryPanel->setText(text);
    HistoryPanel->setVisible(!text.isEmpty());
}

void TForm1::StepBackExecute() {
    if (ProgramFileName.empty() || CurrentActivity() != Activity::Idle) return;
    FinishWorker();
    if (SourceStepping()) {
        // Back to the latest instant at the first address of another line: the start of the
        // previous line executed.
        auto stop = std::make_shared<OneShotStop>(PreviousLineStop(*ActiveProgramSymbols()));
        pendingJob_ = [stop](const std::atomic<bool>* cancel) {
            HistoryStops stops;
            stops.oneShot = stop.get();
            return HistoryReverseContinue(stops, cancel);
        };
        StartThread(1);
        return;
    }
    pendingJob_ = [](const std::atomic<bool>* cancel) {
        HistoryStepBack(1, cancel);
        return HistoryHit();
    };
    StartThread(1);
}

void TForm1::ReverseContinueExecute() {
    if (ProgramFileName.empty() || CurrentActivity() != Activity::Idle) return;
    FinishWorker();
    // The breakpoints as they are now, read on this thread.
    auto stops = std::make_shared<HistoryStops>(BreakpointHistoryStops());
    pendingJob_ = [stops](const std::atomic<bool>* cancel) { return HistoryReverseContinue(*stops, cancel); };
    StartThread(0);
}

void TForm1::GoToLastWrite(const std::vector<DataBreakpoint>& targets) {
    if (targets.empty() || CurrentActivity() != Activity::Idle) return;
    FinishWorker();
    const uint64_t from = Machine.instructions, fromCycles = Machine.cycles;
    pendingJob_ = [targets](const std::atomic<bool>* cancel) {
        const HistoryHit hit = HistoryLastWrite(targets, cancel);
        if (hit.kind == HistoryHit::Kind::Watch) HistoryGoTo(hit.instructions, cancel);
        return hit;
    };
    jobEnded_ = [this, from, fromCycles](const HistoryHit& hit) {
        if (hit.kind != HistoryHit::Kind::Watch) {
            HistoryPanel->setText(QStringLiteral("Last write: none in history"));
            HistoryPanel->setVisible(true);
            return;
        }
        // The writing instruction in the listing, and its line in the Source window.
        ShowListingAddress(hit.pc);
        if (const SymbolTable* t = ActiveProgramSymbols(); t && SourceForm)
            if (const LineRecord* r = t->LineAt(hit.pc)) SourceForm->ShowLine(r->file, int(r->line));
        const uint64_t ago = from - hit.instructions;
        HistoryPanel->setText(
            QStringLiteral("Last write at %1: %2 instructions, %3 ago")
                .arg(QString::fromStdString(HexAddressText(hit.pc)))
                .arg(ago)
                .arg(QString::fromStdString(
                    ControllerTimeText(fromCycles - hit.cycles, Settings.Frequency).substr(12))));
    };
    StartThread(0);
}

void TForm1::RunEnded() {
    if (DebuggerForm) DebuggerForm->RefreshAll();
    ShowStopWithoutSource();
}

void TForm1::ShowRunningValues() {
    if (liveSkip_ > 0) {
        --liveSkip_;
        return;
    }
    QElapsedTimer cost;
    cost.start();
    if (SFRForm8051) SFRForm8051->ShowProgramCounter(ProgramCounter);
    if (WatchForm) WatchForm->Refresh();
    if (activity_ == Activity::Running) {
        StatusPanels[1]->setText(QString::fromStdString(SimulationTimeText(double(runClock_.nsecsElapsed()) / 1e9)));
        // The controller time and the stopwatch of the cycles run so far, as the run's end shows them.
        const uint64_t cycles = RunCyclesSoFar;
        StatusPanels[2]->setText(QString::fromStdString(ControllerTimeText(cycles, Settings.Frequency)));
        if (DebuggerForm) DebuggerForm->ShowRunningStopwatch(cycles);
    }
    // A long list of variables must not take the display's whole time: after a slow tick the
    // next ones are left out, so that these values take at most about a fifth of it.
    liveSkip_ = int(cost.elapsed() / 4);
}

void TForm1::ShowStopWithoutSource() {
    const SymbolTable* table = ActiveProgramSymbols();
    if (!table || table->LineAt(ProgramCounter) || !ShowDASM->isEnabled()) return;
    ShowListingAddress(ProgramCounter);
    if (!Form2) return;
    if (Form2->isMinimized()) Form2->showNormal();
    MdiArea->setActiveSubWindow(Form2);
    Form2->raise();
}

void TForm1::ShowMemoryBytes(MemoryView view, uint16_t first, int count) {
    if (view == MemoryView::Internal) {
        ShowChild(Form3);
        BringToFront(Form3);
        Form3->SelectBytes(first, count);
    } else {
        ShowChild(Form4);
        BringToFront(Form4);
        Form4->SelectBytes(first, count);
    }
}

void TForm1::PlaceBesideListing(QMdiSubWindow* window) {
    if (!Form2 || !Form2->isVisible() || Form2->isMinimized() || Form2->isMaximized()) return;
    const QRect area = MdiArea->viewport()->rect();
    const int x = Form2->geometry().right() + 1;
    if (area.right() + 1 - x < 320) return;  // no room for a readable window beside it
    // Below every window that already stands in the column beside the listing.
    int y = Form2->y();
    for (QMdiSubWindow* other : MdiArea->subWindowList()) {
        if (other == window || other == Form2 || !other->isVisible() || other->isMinimized()) continue;
        const QRect g = other->geometry();
        if (g.right() >= x && g.bottom() >= y) y = std::max(y, g.bottom() + 1);
    }
    if (area.bottom() + 1 - y < 160) return;
    window->setGeometry(x, y, std::min(window->width(), area.right() + 1 - x),
                        std::min(window->height(), area.bottom() + 1 - y));
}

void TForm1::ShowListingAddress(uint16_t address) {
    if (!Form2 && ShowDASM->isEnabled()) ShowDASMExecute();
    if (!Form2) return;
    SelectListingRow(address);
    const int row = Form2->SelectedRow();
    if (row >= 0) Form2->StringGrid1->scrollTo(Form2->Model->index(row, 0));
}

bool TForm1::OpenFromArguments(const QStringList& arguments) {
    QString program;
    bool board = false;
    for (int i = 1; i < arguments.size(); ++i) {
        if (arguments.at(i) == QStringLiteral("--board") && i + 1 < arguments.size()) {
            board = LoadBoardFromFile(arguments.at(++i));
        } else if (program.isEmpty()) {
            program = arguments.at(i);
        }
    }
    if (program.isEmpty()) return false;
    const bool loaded = LoadProgramFromFile(program);
    if (board) LayOutBoardWindows();
    return loaded;
}

// ---- Program files -----------------------------------------------------------------------------

void TForm1::OpenHEXExecute() {
    if (!ProgramFileName.empty()) {
        if (!CurrentPrompts().ConfirmYesNo(
                this, QStringLiteral("This will remove current file from memory and reset program "
                                     "counter. Continue?")))
            return;
        CloseHEXFileExecute(true);
    }
    // The dialog matches the patterns in any case (Prompts).
    const QString filter = QStringLiteral(
        "All supported files (*.hex *.ihx *.bin);;Binaries (*.bin);;Intel standard HEX files (*.hex *.ihx)");
    QString path = CurrentPrompts().OpenFileName(this, QString::fromStdString(Settings.WorkDir), filter);
    if (path.isEmpty()) return;
    LoadProgramFromFile(path);
}

bool TForm1::LoadProgramFromFile(const QString& path) {
    FinishWorker();
    // The program loaded so far keeps its session.
    SaveSession();
    setWindowTitle(QStringLiteral("Corvamat"));
    const QString full = QFileInfo(path).absoluteFilePath();
    ProgramFileName = full.toStdString();
    Settings.WorkDir = QDir::toNativeSeparators(QFileInfo(full).absolutePath() + QLatin1Char('/')).toStdString();
    BoxReporter reporter(this);
    if (!LoadProgramFile(ProgramFileName, reporter)) {
        ProgramFileName.clear();
        return false;
    }
    setWindowTitle(windowTitle() + QStringLiteral(" - ") + full);
    // The program starts at 0000h: every window shows that, not the last program's counter.
    ProgramCounter = 0;
    ShowProgramCounter(0);
    // Data breakpoints belong to the program, as the code breakpoints the loader cleared do.
    RemoveDataBreakpoints();
    ForgetWatchHit();
    // The session's source folders are known before the Source window looks for the files.
    ReadSession(full);
    // Counts belong to the program that made them.
    Recorder.Clear();
    HistoryRestart();
    LoadSymbolsBesideProgram(full);
    if (!Form2) ShowChild(Form2);
    Form2->BuildListingIntoGrid();
    UpdateCommandStates();
    ApplySession();
    if (DebuggerForm) DebuggerForm->RefreshAll();
    return true;
}

void TForm1::CloseHEXFileExecute(bool fromActionList) {
    if (!fromActionList &&
        !CurrentPrompts().ConfirmOkCancel(
            this, QStringLiteral("Close current program file and reset program counter?")))
        return;
    FinishWorker();
    SaveSession();
    setWindowTitle(QStringLiteral("Corvamat"));
    ProgramFileName.clear();
    ProgramCounter = 0;
    ShowProgramCounter(0);
    HistoryRestart();
    if (Form2) Form2->close();
    Recorder.Clear();
    ForgetSymbols();
    UpdateCommandStates();
    AnalysisChanged();
}

void TForm1::SaveDASMExecute() {
    if (!Form2) return;
    QString path = CurrentPrompts().SaveFileName(
        this, QString::fromStdString(Settings.WorkDir),
        QStringLiteral("Assembler source code (*.asm)"),
        QStringLiteral("asm"));
    if (path.isEmpty()) return;
    Settings.WorkDir = QDir::toNativeSeparators(QFileInfo(path).absolutePath() + QLatin1Char('/')).toStdString();
    std::string error;
    if (!ExportListing(Listing, CurrentExportOptions(), path.toStdString(), &error))
        CurrentPrompts().Error(this, QString::fromStdString(error));
}

// ---- Breakpoints and the program counter ---------------------------------------------------------

void TForm1::ToggleBPExecute() {
    if (!Form2) return;
    int a = Form2->SelectedAddress();
    if (a < 0) return;
    // A disabled breakpoint goes too.
    if (const int id = CodeBreakpointAt(uint16_t(a))) RemoveBreakpoint(id);
    else AddCodeBreakpoint(uint16_t(a));
    Form2->RepaintGrid();
    if (DebuggerForm) DebuggerForm->RefreshAll();
}

void TForm1::ClearBPExecute() {
    if (!Form2) return;
    uint32_t a = 0;
    for (size_t i = 0; i < Listing.size(); ++i) {
        if (const int id = CodeBreakpointAt(uint16_t(a))) RemoveBreakpoint(id);
        a = (a + AsmTable[CodeMemory[uint16_t(a)]].Length) & 0xFFFF;
    }
    Form2->RepaintGrid();
    if (DebuggerForm) DebuggerForm->RefreshAll();
}

void TForm1::SetPCExecute() {
    if (!Form2) return;
    int a = Form2->SelectedAddress();
    if (a < 0) return;
    FinishWorker(true);
    SubmitInput(MakeInput(InputKind::SetPc, uint16_t(a)));
    ShowProgramCounter(ProgramCounter);
}

void TForm1::ResetMCExecute() {
    StopExecute();
    FinishWorker(true);
    if (Form2) Form2->SelectRow(0);
    SubmitInput(MakeInput(InputKind::Reset));
    ShowProgramCounter(0);
    // The display's digits went dark with the controller: none lights until the program selects
    // it again.
    ForgetLatchedPins();
    RefreshAllViews();
    if (DebuggerForm) DebuggerForm->RefreshAll();
}

void TForm1::ClearIntRAMExecute() {
    FinishWorker();
    SubmitInput(MakeInput(InputKind::ClearInternalRam));
    RefreshAllViews();
}

void TForm1::ClearExtRAMExecute() {
    FinishWorker();
    SubmitInput(MakeInput(InputKind::ClearExternalRam));
    RefreshAllViews();
}

// ---- Windows -----------------------------------------------------------------------------------

void TForm1::BringToFront(QMdiSubWindow* window) {
    window->showNormal();
    MdiArea->setActiveSubWindow(window);
    window->raise();
}

void TForm1::ListingViewOpened(bool open) {
    listingOpen_ = open;
    UpdateCommandStates();
}

void TForm1::ShowDASMExecute() {
    if (Form2) {
        BringToFront(Form2);
        return;
    }
    ShowChild(Form2);
    Form2->BuildListingIntoGrid();
}

void TForm1::ReplaceListingView() {
    if (!Form2) return;
    // From the bottom of the stacking order to the top: every other child is raised, the view is
    // replaced, so that all keep their places.
    const auto windows = MdiArea->subWindowList(QMdiArea::StackingOrder);
    for (QMdiSubWindow* w : windows) {
        if (w == Form2) RebuildChild(Form2);
        else w->raise();
    }
}

void TForm1::RebuildProcessorWindows() {
    // The processor changed under the machine: replays would run on another one.
    FinishWorker();
    HistoryRestart();
    ShowHistoryExtent();
    // From the last child to the first: the processor's windows are built anew in place, the
    // others brought to the front.
    const auto windows = MdiArea->subWindowList(QMdiArea::CreationOrder);
    for (auto it = windows.rbegin(); it != windows.rend(); ++it) {
        QMdiSubWindow* w = *it;
        if (w == SFRForm8051) RebuildChild(SFRForm8051);
        else if (w == Form3) RebuildChild(Form3);
        else if (w == PortForm) RebuildChild(PortForm);
        else if (w == SerialForm) {
            // The dump survives: the new terminal takes over the old one's lines and colours into
            // its own document.
            const QTextDocumentFragment lines = SerialForm->Lines(), text = SerialForm->TextLines();
            RebuildChild(SerialForm);
            SerialForm->TakeLines(lines);
            SerialForm->TakeTextLines(text);
        }
        else if (!w->isMinimized()) w->raise();
    }
}

void TForm1::ShowSimCfgExecute() {
    FinishWorker();
    SimCfgForm->exec();
}

void TForm1::ShowDasmCfgExecute() {
    FinishWorker();
    if (DasmCfgForm->exec() == QDialog::Accepted && Form2) Form2->BuildListingIntoGrid();
}

void TForm1::WinCascadeExecute() { MdiArea->cascadeSubWindows(); }

void TForm1::WinMinimizeExecute() {
    const auto windows = MdiArea->subWindowList();
    for (auto it = windows.rbegin(); it != windows.rend(); ++it) (*it)->showMinimized();
}

void TForm1::WinCloseExecute() {
    const int n = int(MdiArea->subWindowList().size());
    for (int i = 0; i < n; ++i) {
        const auto windows = MdiArea->subWindowList();
        if (windows.isEmpty()) break;
        windows.first()->close();
    }
}

void TForm1::ShowReadmeExecute() {
    OpenTextFile(this, ReadmePath());
}

void TForm1::ShowAboutExecute() { AboutForm->exec(); }

void TForm1::closeEvent(QCloseEvent* event) {
    if (ActiveRunThread) {
        if (Stop->isEnabled()) StopExecute();
        FinishWorker(true);
    }
    SaveSession();
    std::string error;
    if (!SaveSettingsFile(SettingsPath.toStdString(), &error))
        CurrentPrompts().Error(this, QStringLiteral("Unable to write to %1").arg(SettingsPath));
    WinCloseExecute();
    event->accept();
}
