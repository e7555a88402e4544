// The main window's analysis commands: recording coverage and profile, clearing them, the
// Performance Analyzer and Trace windows, and opening a function's source.
#include <QMenu>
#include <QMenuBar>

#include "PerformanceUnit.h"
#include "ProgramSymbols.h"
#include "Recorder.h"
#include "Settings.h"
#include "SourceUnit.h"
#include "TraceUnit.h"
#include "Unit1.h"
#include "Unit2.h"

namespace {

QMenu* MenuTitled(QMenuBar* bar, const QString& title) {
    for (QAction* a : bar->actions())
        if (a->menu() && a->text().remove('&') == title) return a->menu();
    return nullptr;
}

}  // namespace

void TForm1::CreateAnalysisCommands() {
    RecordAnalysis = MakeAction("RecordAnalysis", "Record Coverage and Profile",
                                "Record which instructions run, the cycles per function and the last instructions",
                                "", {}, true);
    RecordAnalysis->setCheckable(true);
    ClearAnalysis = MakeAction("ClearAnalysis", "Clear Coverage and Profile", "", "", {}, true);
    ShowPerformance = MakeAction("ShowPerformance", "Performance Analyzer", "Performance Analyzer", "performance", {}, true);
    ShowTrace = MakeAction("ShowTrace", "Trace", "Trace", "trace", {}, true);
    connect(RecordAnalysis, &QAction::toggled, this, [this](bool on) { RecordAnalysisExecute(on); });
    connect(ClearAnalysis, &QAction::triggered, this, [this] { ClearAnalysisExecute(); });
    connect(ShowPerformance, &QAction::triggered, this, [this] {
        ShowChild(PerformanceForm);
        PerformanceForm->Refresh();
        PerformanceForm->SetRunning(CurrentActivity() == Activity::Running);
    });
    connect(ShowTrace, &QAction::triggered, this, [this] {
        ShowChild(TraceForm);
        TraceForm->Refresh();
    });
    // After everything the menus hold, as a group of their own.
    if (QMenu* run = MenuTitled(menuBar(), QStringLiteral("Run"))) {
        run->addSeparator();
        run->addActions({RecordAnalysis, ClearAnalysis});
    }
    if (QMenu* view = MenuTitled(menuBar(), QStringLiteral("View"))) {
        view->addSeparator();
        view->addActions({ShowPerformance, ShowTrace});
    }
}

void TForm1::RecordAnalysisExecute(bool on) {
    if (on == Recorder.Enabled()) return;
    if (Running()) {
        // Armed once per run: the switch waits for the end of the run.
        RecordAnalysis->setChecked(!on);
        return;
    }
    FinishWorker();  // a step that is still finishing
    if (!on) Recorder.Disable();
    else if (!Recorder.Enable(size_t(Settings.TraceLength))) RecordAnalysis->setChecked(false);  // no observer place
    AnalysisChanged();
}

void TForm1::ClearAnalysisExecute() {
    if (Running()) return;
    FinishWorker();
    Recorder.Clear();
    AnalysisChanged();
}

void TForm1::AnalysisChanged() {
    if (Form2) Form2->ShowCoverage();
    if (SourceForm) SourceForm->ShowCoverage();
    if (PerformanceForm) PerformanceForm->Refresh();
    if (TraceForm) TraceForm->Refresh();
}

bool TForm1::ShowSourceLine(const std::string& file, int line) {
    ShowChild(SourceForm);
    return SourceForm->ShowLine(file, line);
}
