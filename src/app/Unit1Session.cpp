// The main window's sessions: each program's breakpoints, source folders, Watch rows and windows
// kept in its session file and restored when it is opened again; File > Reload Program; showing
// a code place in the source or the listing.
#include <QEvent>
#include <QFileInfo>
#include <QMdiArea>
#include <QMdiSubWindow>

#include "CodePlaces.h"
#include "Debugger.h"
#include "DebuggerUnit.h"
#include "KeyUnit.h"
#include "LogicUnit.h"
#include "LEDUnit.h"
#include "PerformanceUnit.h"
#include "PortUnit.h"
#include "ProgramFiles.h"
#include "ProgramSymbols.h"
#include "Prompts.h"
#include "SFRUnit.h"
#include "SerialUnit.h"
#include "SourceUnit.h"
#include "TraceUnit.h"
#include "Unit1.h"
#include "Unit2.h"
#include "Unit3.h"
#include "Unit4.h"
#include "WatchUnit.h"

namespace {

// The child windows a session keeps, by the names of their View commands.
struct ChildKind {
    const char* name;
    QAction* TForm1::*show;
    QMdiSubWindow* (*window)();
};

const ChildKind kChildKinds[] = {
    {"Disassembly", &TForm1::ShowDASM, [] { return static_cast<QMdiSubWindow*>(Form2.data()); }},
    {"Registers", &TForm1::ShowSFR8051, [] { return static_cast<QMdiSubWindow*>(SFRForm8051.data()); }},
    {"Internal RAM", &TForm1::ShowIntRAM, [] { return static_cast<QMdiSubWindow*>(Form3.data()); }},
    {"External RAM", &TForm1::ShowExtRAM, [] { return static_cast<QMdiSubWindow*>(Form4.data()); }},
    {"Ports", &TForm1::ShowPorts, [] { return static_cast<QMdiSubWindow*>(PortForm.data()); }},
    {"Serial I/O Terminal", &TForm1::ShowSerial, [] { return static_cast<QMdiSubWindow*>(SerialForm.data()); }},
    {"7-Segment-LEDs", &TForm1::ShowLED, [] { return static_cast<QMdiSubWindow*>(LEDForm.data()); }},
    {"Keypad 4x2", &TForm1::ShowKeys, [] { return static_cast<QMdiSubWindow*>(KeyForm.data()); }},
    {"Watch", &TForm1::ShowWatch, [] { return static_cast<QMdiSubWindow*>(WatchForm.data()); }},
    {"Source", &TForm1::ShowSource, [] { return static_cast<QMdiSubWindow*>(SourceForm.data()); }},
    {"Debugger", &TForm1::ShowDebugger, [] { return static_cast<QMdiSubWindow*>(DebuggerForm.data()); }},
    {"Performance Analyzer", &TForm1::ShowPerformance, [] { return static_cast<QMdiSubWindow*>(PerformanceForm.data()); }},
    {"Trace", &TForm1::ShowTrace, [] { return static_cast<QMdiSubWindow*>(TraceForm.data()); }},
    {"Logic Analyzer", &TForm1::ShowLogic, [] { return static_cast<QMdiSubWindow*>(LogicForm.data()); }},
};

// The geometry a child window has in the normal state, kept while it is minimized or maximized.
constexpr const char* kNormalGeometry = "corvamatNormalGeometry";

std::string ConfigFolderOf(const QString& folder) {
    return folder.isEmpty() ? DefaultConfigFolder() : folder.toStdString();
}

}  // namespace

// ---- Capturing and writing ---------------------------------------------------------------------

std::vector<SessionWindow> TForm1::CaptureWindows() const {
    std::vector<SessionWindow> out;
    for (QMdiSubWindow* w : MdiArea->subWindowList(QMdiArea::StackingOrder)) {
        for (const ChildKind& k : kChildKinds) {
            if (k.window() != w) continue;
            QRect g = w->geometry();
            if (w->isMinimized() || w->isMaximized()) {
                const QVariant normal = w->property(kNormalGeometry);
                if (normal.isValid()) g = normal.toRect();
            }
            SessionWindow s;
            s.window = k.name;
            s.x = g.x();
            s.y = g.y();
            s.width = std::max(1, g.width());
            s.height = std::max(1, g.height());
            s.state = w->isMinimized() ? "minimized" : w->isMaximized() ? "maximized" : "normal";
            out.push_back(s);
        }
    }
    return out;
}

ProgramSession TForm1::CaptureSession() const {
    ProgramSession s;
    const SymbolTable* table = ActiveProgramSymbols();
    s.program = ProgramFileName;
    s.breakpoints = SessionCodeBreakpoints(table);
    s.dataBreakpoints = SessionDataBreakpoints(table);
    for (const QString& f : SourceFolders()) s.sourceFolders.push_back(f.toStdString());
    for (const QString& r : WatchExpandedRows()) s.watchExpanded.push_back(r.toStdString());
    if (LogicForm)
        for (int row = 0; row < LogicForm->SignalCount(); ++row) s.logicSignals.push_back(LogicForm->SignalName(row).toStdString());
    s.windows = CaptureWindows();
    return s;
}

void TForm1::SaveSession() {
    if (!KeepSessions || ProgramFileName.empty() || sessionBlocked_) return;
    const ProgramSession now = CaptureSession();
    const std::string config = ConfigFolderOf(SessionConfigFolder);
    std::string path = SessionWritePath(ProgramFileName, config);
    if (now == session_ && path == sessionPath_.toStdString()) return;  // nothing new to keep
    std::string error;
    bool written = !path.empty() && SaveSessionFile(path, now, &error);
    // A folder that refuses the file after all (a full disk, a read-only mount): the
    // configuration folder keeps it.
    const std::string fallback = SessionPathInConfig(ProgramFileName, config);
    if (!written && !fallback.empty() && fallback != path) {
        std::string second;
        written = SaveSessionFile(fallback, now, &second);
        if (written) path = fallback;
    }
    if (!written) {
        CurrentPrompts().Error(this, QStringLiteral("The session of %1 cannot be written to %2: %3.")
                                         .arg(QFileInfo(QString::fromStdString(ProgramFileName)).fileName(),
                                              QString::fromStdString(path), QString::fromStdString(error)));
        sessionBlocked_ = true;  // said once for this program
        return;
    }
    session_ = now;
    sessionPath_ = QString::fromStdString(path);
}

// ---- Reading and restoring ---------------------------------------------------------------------

void TForm1::ReadSession(const QString& programPath) {
    session_ = ProgramSession();
    sessionPath_.clear();
    sessionBlocked_ = false;
    sessionProblems_.clear();
    // Source folders and open Watch rows belong to the program.
    SourceFolders().clear();
    SetWatchExpandedRows({});
    if (!KeepSessions) return;
    const std::string program = programPath.toStdString();
    const std::string path = FindSessionFile(program, ConfigFolderOf(SessionConfigFolder));
    if (path.empty()) return;
    SessionReadResult r = LoadSessionFile(path);
    if (!r.ok) {
        sessionBlocked_ = true;
        CurrentPrompts().Error(this, QStringLiteral("The session file %1 cannot be read: %2. It is left as it is, and "
                                                    "the session of this program is not kept.")
                                         .arg(QString::fromStdString(path), QString::fromStdString(r.error)));
        return;
    }
    // A session under the configuration folder names its program: another program whose path
    // happens to give the same file name does not take it over.
    if (path != SessionPathBeside(program) && !r.session.program.empty() && r.session.program != program) return;
    session_ = r.session;
    session_.program = program;
    sessionPath_ = QString::fromStdString(path);
    sessionProblems_ = r.problems;
    for (const std::string& f : session_.sourceFolders) SourceFolders() << QString::fromStdString(f);
}

void TForm1::ApplySession() {
    if (!KeepSessions || sessionBlocked_ || sessionPath_.isEmpty()) return;
    const SymbolTable* table = ActiveProgramSymbols();
    std::vector<std::string> dropped = sessionProblems_;
    for (const std::string& d : RestoreCodeBreakpoints(session_.breakpoints, table, ProgramEnd)) dropped.push_back(d);
    for (const std::string& d : RestoreDataBreakpoints(session_.dataBreakpoints, table)) dropped.push_back(d);
    ForgetWatchHit();
    QStringList rows;
    for (const std::string& r : session_.watchExpanded) rows << QString::fromStdString(r);
    SetWatchExpandedRows(rows);
    RestoreWindows(session_.windows);
    if (LogicForm && !session_.logicSignals.empty())
        for (const std::string& d : LogicForm->SetSignalNames(session_.logicSignals)) dropped.push_back(d);
    if (Form2) Form2->RepaintGrid();
    if (SourceForm) SourceForm->RepaintMarks();
    if (DebuggerForm) DebuggerForm->RefreshAll();
    if (dropped.empty()) return;
    QString list;
    for (const std::string& d : dropped) list += QStringLiteral("\n- ") + QString::fromStdString(d);
    CurrentPrompts().Error(this, QStringLiteral("Part of the session of %1 no longer fits the program and was left out:%2")
                                     .arg(QFileInfo(QString::fromStdString(ProgramFileName)).fileName(), list));
    // Said once: the session is written at once without what was left out.
    sessionProblems_.clear();
    session_.program.clear();  // differs from what is captured now, so it is written
    SaveSession();
}

void TForm1::RestoreWindows(const std::vector<SessionWindow>& windows) {
    QMdiSubWindow* top = nullptr;
    for (const SessionWindow& s : windows) {
        for (const ChildKind& k : kChildKinds) {
            if (s.window != k.name) continue;
            QAction* show = this->*k.show;
            if (!show || !show->isEnabled()) break;
            show->trigger();
            QMdiSubWindow* w = k.window();
            if (!w) break;
            w->showNormal();
            // As kept, not fitted to the workspace: at start-up the main window may not have its
            // final size yet. Windows, Cascade brings back a window a smaller screen hides.
            const QRect g(s.x, s.y, s.width, s.height);
            w->setGeometry(g);
            w->setProperty(kNormalGeometry, g);
            if (s.state == "minimized") w->showMinimized();
            else if (s.state == "maximized") w->showMaximized();
            top = w;
            break;
        }
    }
    // The stacking order of the session, the last window active.
    for (const SessionWindow& s : windows)
        for (const ChildKind& k : kChildKinds)
            if (s.window == k.name && k.window()) k.window()->raise();
    if (top) MdiArea->setActiveSubWindow(top);
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
    // Every child window added to the workspace reports its moves and resizes, so that the
    // geometry of its normal state is known while it is minimized or maximized.
    if (watched == MdiArea->viewport() && event->type() == QEvent::ChildAdded) {
        if (auto* w = qobject_cast<QMdiSubWindow*>(static_cast<QChildEvent*>(event)->child())) w->installEventFilter(this);
    } else if (event->type() == QEvent::Move || event->type() == QEvent::Resize) {
        if (auto* w = qobject_cast<QMdiSubWindow*>(watched); w && !w->isMinimized() && !w->isMaximized())
            w->setProperty(kNormalGeometry, w->geometry());
    }
    return QMainWindow::eventFilter(watched, event);
}

// ---- Commands ----------------------------------------------------------------------------------

void TForm1::ReloadProgExecute() {
    if (ProgramFileName.empty() || activity_ == Activity::Running) return;
    const QString path = QString::fromStdString(ProgramFileName);
    FinishWorker();
    SaveSession();
    CloseHEXFileExecute(true);
    LoadProgramFromFile(path);
}

void TForm1::ShowCodePlace(uint16_t address) {
    const SymbolTable* table = ActiveProgramSymbols();
    if (const LineRecord* r = table ? table->LineAt(address) : nullptr) {
        if (!SourceForm) ShowSource->trigger();
        if (SourceForm && SourceForm->ShowLine(QString::fromStdString(r->file), int(r->line))) {
            BringToFront(SourceForm);
            return;
        }
    }
    ShowListingAddress(address);
    if (Form2) BringToFront(Form2);
}
