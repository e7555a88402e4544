// The main window's symbol commands: File > Load Symbols..., reading the .cdb beside an opened
// program, forgetting symbols on Close File, View > Watch and View > Source.
#include <QDir>
#include <QFileInfo>
#include <QMenu>
#include <QMenuBar>

#include "Debugger.h"
#include "ProgramFiles.h"
#include "ProgramSymbols.h"
#include "Prompts.h"
#include "Settings.h"
#include "SourceSteps.h"
#include "Unit1.h"
#include "SourceUnit.h"
#include "Unit2.h"
#include "WatchUnit.h"

namespace {

QMenu* MenuNamed(QMenuBar* bar, const QString& title) {
    for (QAction* a : bar->actions())
        if (a->menu() && a->text().remove('&') == title) return a->menu();
    return nullptr;
}

}  // namespace

void TForm1::CreateSymbolCommands() {
    LoadSymbols = MakeAction("LoadSymbols", "Load Symbols...", "Load the program's symbols (.cdb, .map, .noi)",
                             "", {}, false);
    ShowWatch = MakeAction("ShowWatch", "Watch", "Watch", "watch", {}, true);
    ShowSource = MakeAction("ShowSource", "Source", "Source", "", {}, true);
    connect(ShowSource, &QAction::triggered, this, [this] {
        const bool open = SourceForm;
        ShowChild(SourceForm);
        if (!open) PlaceBesideListing(SourceForm);
    });
    connect(LoadSymbols, &QAction::triggered, this, [this] { LoadSymbolsExecute(); });
    ReloadProg = MakeAction("ReloadProg", "Reload Program", "Read the program and its symbols again, keeping its breakpoints and windows",
                            "", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_R), false);
    connect(ReloadProg, &QAction::triggered, this, [this] { ReloadProgExecute(); });
    connect(ShowWatch, &QAction::triggered, this, [this] {
        const bool open = WatchForm;
        ShowChild(WatchForm);
        if (!open) PlaceBesideListing(WatchForm);
        WatchForm->Refresh();
    });
    // Load Symbols... after the file commands, before Exit.
    if (QMenu* file = MenuNamed(menuBar(), QStringLiteral("File"))) {
        QAction* before = nullptr;
        for (QAction* a : file->actions())
            if (a->isSeparator()) before = a;
        file->insertAction(before, LoadSymbols);
        file->insertAction(before, ReloadProg);
    }
    // Watch and Source as a group of their own after the peripherals (7-Segment-LEDs, Keypad),
    // before what follows them.
    if (QMenu* view = MenuNamed(menuBar(), QStringLiteral("View"))) {
        const auto actions = view->actions();
        QAction* before = nullptr;
        for (int i = 0; i + 1 < actions.size(); ++i)
            if (actions[i] == ShowKeys) before = actions[i + 1];
        view->insertSeparator(before);
        view->insertActions(before, {ShowWatch, ShowSource});
    }
}

void TForm1::SymbolsChanged() {
    if (Form2) {
        const int row = Form2->SelectedRow();
        Form2->BuildListingIntoGrid();
        Form2->SelectRow(row);
    }
    if (WatchForm) WatchForm->Refresh();
    if (SourceForm) SourceForm->Reload();
}

namespace {

// What the reader of a symbol file skipped, in one message box.
void TellNotes(QWidget* parent) {
    QString text;
    for (const auto& note : ProgramSymbols.notes) text += (text.isEmpty() ? "" : "\n") + QString::fromStdString(note);
    if (!text.isEmpty()) CurrentPrompts().Error(parent, text + QStringLiteral(" The rest of the file is used."));
}

}  // namespace

void TForm1::LoadSymbolsBesideProgram(const QString& programPath) {
    std::string error;
    LoadProgramSymbolsBeside(programPath.toStdString(), &error);
    if (!error.empty())
        CurrentPrompts().Error(this, QString::fromStdString(error) +
                                         QStringLiteral(" The program is loaded without symbols."));
    TellNotes(this);
    LoadSymbols->setEnabled(true);
    if (WatchForm) WatchForm->Refresh();
    if (SourceForm) SourceForm->Reload();
}

void TForm1::LoadSymbolsExecute() {
    if (ProgramFileName.empty()) return;
    FinishWorker();
    const QString path = CurrentPrompts().OpenFileName(
        this, QString::fromStdString(Settings.WorkDir),
        QStringLiteral("Symbol files (*.cdb *.map *.noi);;SDCC debug files (*.cdb);;Linker maps (*.map *.noi)"));
    if (path.isEmpty()) return;
    std::string error;
    if (!LoadProgramSymbolsFile(path.toStdString(), ProgramFileName, &error)) {
        CurrentPrompts().Error(this, QString::fromStdString(error));
        return;
    }
    TellNotes(this);
    SymbolsChanged();
}

void TForm1::ForgetSymbols() {
    ForgetProgramSymbols();
    LoadSymbols->setEnabled(false);
    if (WatchForm) WatchForm->Refresh();
    if (SourceForm) SourceForm->Reload();
}

bool TForm1::SourceStepping() const {
    return ActiveProgramSymbols() && SourceForm && MdiArea->activeSubWindow() == SourceForm &&
           !ProgramFileName.empty() && CurrentActivity() == Activity::Idle;
}

bool TForm1::StepByLine(bool overCalls) {
    if (!SourceStepping()) return false;
    StartLineStep(overCalls);
    return true;
}

bool TForm1::StepOutByLine() {
    if (!SourceStepping()) return false;
    FinishWorker();
    // The routine's return usually lands inside the caller's line (the result is still to be
    // stored); when it does, the step goes on over calls to the start of the next line.
    finishLineAfterReturn_ = true;
    const OneShotStop stop = StepOutStop();
    StartThread(0, &stop);
    return true;
}

void TForm1::FinishLineAfterReturn() {
    finishLineAfterReturn_ = false;
    FinishWorker();
    const SymbolTable* t = ActiveProgramSymbols();
    if (!t || !ActiveRunThread || ActiveRunThread->Reason != StopReason::Reached) return;
    const std::optional<OneShotStop> stop = FinishLineStop(*t);
    if (!stop) return;
    continuingLine_ = true;
    StartThread(0, &*stop);
    continuingLine_ = false;
}

void TForm1::StartLineStep(bool overCalls) {
    const SymbolTable* t = ActiveProgramSymbols();
    FinishWorker();
    const OneShotStop stop = SourceLineStop(*t, overCalls);
    StartThread(0, &stop);
}

bool TForm1::RunToSourceLine() {
    if (!ActiveProgramSymbols() || !SourceForm || MdiArea->activeSubWindow() != SourceForm ||
        ProgramFileName.empty() || CurrentActivity() != Activity::Idle)
        return false;
    const int a = SourceForm->SelectedAddress();
    if (a < 0) return true;  // a line without code: nothing to run to
    FinishWorker();
    const OneShotStop stop = RunToStop(uint16_t(a));
    StartThread(0, &stop);
    return true;
}
