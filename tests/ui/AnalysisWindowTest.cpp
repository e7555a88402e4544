// Coverage and profile in the desktop program: the listing's marks, the Performance Analyzer's rows
// and order, the Trace window's last row, the Source window's line marks, Clear and switching off.
#include <QHeaderView>
#include <QTableView>

#include <filesystem>

#include "CoverageMarks.h"
#include "Disassembler.h"
#include "PerformanceUnit.h"
#include "ProgramSymbols.h"
#include "Recorder.h"
#include "SourceUnit.h"
#include "TraceUnit.h"
#include "UiHarness.h"
#include "Unit2.h"

namespace {

class AnalysisUiTest : public UiTest {
protected:
    void TearDown() override {
        UiTest::TearDown();
        Recorder.Disable();
        Recorder.Clear();
    }
    QString MarkOfAddress(uint16_t a) {
        return Form2->Model->headerData(ListingRowMap[a], Qt::Vertical, Qt::DisplayRole).toString();
    }
    QString Cell(QTableView* view, int row, int column) {
        return view->model()->index(row, column).data().toString();
    }
};

TEST_F(AnalysisUiTest, ListingMarksAnalyzerRowsAndTraceAfterARun) {
    ASSERT_TRUE(Open({0x7F, 0x05,              // 0000 MOV R7,#5
                      0x12, 0x00, 0x10,        // 0002 LCALL 0010h
                      0x70, 0x01,              // 0005 JNZ 0008h (A stays 0: never jumps)
                      0x00,                    // 0007 NOP
                      0xDF, 0xF8,              // 0008 DJNZ R7,0002h
                      0x04,                    // 000A INC A (breakpoint)
                      0x22, 0x22, 0x22, 0x22, 0x22,
                      0x0E, 0x22}));           // 0010 INC R6; RET
    ASSERT_TRUE(Form2);
    form->show();
    EXPECT_TRUE(Form2->Margin->isHidden());
    form->ShowTrace->trigger();
    ASSERT_TRUE(TraceForm);
    EXPECT_TRUE(TraceForm->Label1->text().contains("Record Coverage and Profile"));

    const int narrow = Form2->width();
    form->RecordAnalysis->trigger();
    EXPECT_TRUE(Recorder.Enabled());
    EXPECT_FALSE(Form2->Margin->isHidden());
    EXPECT_EQ(Form2->width(), narrow + Form2->Margin->width());  // the columns keep their room
    BreakpointTable.Set(0x000A, 1);
    form->RunProg->trigger();
    EXPECT_FALSE(form->RecordAnalysis->isEnabled() && form->Stop->isEnabled());
    WaitForRun();
    ASSERT_EQ(ProgramCounter, 0x000A);

    EXPECT_EQ(MarkOfAddress(0x0002), "executed");
    EXPECT_EQ(MarkOfAddress(0x0008), "executed");  // DJNZ: both ways
    EXPECT_EQ(MarkOfAddress(0x0005), "conditional jump taken one way only");
    EXPECT_EQ(MarkOfAddress(0x000A), "never executed");
    const QString tip = Form2->Model->index(ListingRowMap[0x0008], 1).data(Qt::ToolTipRole).toString();
    EXPECT_EQ(tip, "Executed 5 times, 10 machine cycles, jumped 4 times, fell through 1 time");

    // Trace: the last row is the instruction before the stop.
    QTableView* trace = TraceForm->StringGrid1;
    ASSERT_GT(TraceForm->Model->rowCount(), 0);
    const int last = TraceForm->Model->rowCount() - 1;
    EXPECT_EQ(Cell(trace, last, TraceModel::Address), "0008");
    EXPECT_EQ(Cell(trace, last, TraceModel::Instruction).left(4), "DJNZ");
    EXPECT_EQ(Cell(trace, last, TraceModel::Cycle), "51");
    EXPECT_EQ(trace->selectionModel()->currentIndex().row(), last);
    trace->doubleClicked(TraceForm->Model->index(1, 0));  // the LCALL
    EXPECT_EQ(Form2->SelectedAddress(), 0x0002);

    // Performance Analyzer: by self cycles, then by calls; the bar's share.
    form->ShowPerformance->trigger();
    ASSERT_TRUE(PerformanceForm);
    QTableView* grid = PerformanceForm->StringGrid1;
    ASSERT_EQ(PerformanceForm->Model->rowCount(), 2);
    EXPECT_EQ(Cell(grid, 0, PerformanceModel::Name), "sub_0000");
    EXPECT_EQ(Cell(grid, 0, PerformanceModel::Self), "36");
    EXPECT_EQ(Cell(grid, 0, PerformanceModel::WithCallees), "51");
    EXPECT_EQ(Cell(grid, 1, PerformanceModel::Name), "sub_0010");
    EXPECT_EQ(Cell(grid, 1, PerformanceModel::Calls), "5");
    EXPECT_EQ(Cell(grid, 1, PerformanceModel::Share), "29.4%");
    grid->sortByColumn(PerformanceModel::Calls, Qt::DescendingOrder);
    EXPECT_EQ(Cell(grid, 0, PerformanceModel::Name), "sub_0010");
    grid->sortByColumn(PerformanceModel::Name, Qt::AscendingOrder);
    EXPECT_EQ(Cell(grid, 0, PerformanceModel::Name), "sub_0000");
    PerformanceForm->OpenFunction(1);
    EXPECT_EQ(Form2->SelectedAddress(), 0x0010);
    QApplication::processEvents();
    EXPECT_TRUE(CrampedTexts(PerformanceForm).isEmpty()) << CrampedTexts(PerformanceForm).join('\n').toStdString();
    EXPECT_TRUE(CrampedTexts(TraceForm).isEmpty()) << CrampedTexts(TraceForm).join('\n').toStdString();

    // Clear forgets the counts; switching off hides the margin.
    form->ClearAnalysis->trigger();
    EXPECT_EQ(MarkOfAddress(0x0002), "");
    EXPECT_EQ(PerformanceForm->Model->rowCount(), 0);
    EXPECT_EQ(TraceForm->Model->rowCount(), 0);
    form->RecordAnalysis->trigger();
    EXPECT_FALSE(Recorder.Enabled());
    EXPECT_TRUE(Form2->Margin->isHidden());
    EXPECT_EQ(Form2->width(), narrow);
}

#ifdef CORVAMAT_SDCC_DIR
TEST_F(AnalysisUiTest, SourceWindowMarksCLines) {
    const std::string sdcc = CORVAMAT_SDCC_DIR, sources = std::string(CORVAMAT_SDCC_SOURCES) + "/";
    for (const char* f : {"main.ihx", "main.cdb", "main.map"})
        std::filesystem::copy_file(sdcc + "/" + f, dir.File(f));
    std::filesystem::copy_file(sources + "main.c", dir.File("main.c"));
    prompts.openFile = QString::fromStdString(dir.File("main.ihx"));
    form->OpenHEX->trigger();
    ASSERT_FALSE(ProgramFileName.empty());
    prompts.openFile.clear();
    form->ShowSource->trigger();
    ASSERT_TRUE(SourceForm);
    form->RecordAnalysis->trigger();
    // Up to the line after the loop: the loop's lines ran, the lines after it did not.
    const auto stop = ProgramSymbols.AddressOfLine("main.c", 57);
    ASSERT_TRUE(stop);
    BreakpointTable.Set(*stop, 1);
    form->RunProg->trigger();
    WaitForRun();
    ASSERT_EQ(ProgramCounter, *stop);
    QAbstractItemModel* main = SourceForm->ViewOf("main.c")->model();
    EXPECT_EQ(main->headerData(53, Qt::Vertical).toString(), "executed");  // line 54
    EXPECT_EQ(main->headerData(57, Qt::Vertical).toString(), "never executed");  // line 58
    EXPECT_EQ(main->headerData(44, Qt::Vertical).toString(), "");  // line 45 has no code
    EXPECT_TRUE(main->headerData(53, Qt::Vertical, Qt::ToolTipRole).toString().startsWith("Line 54: executed; first instruction"));
    // The analyzer opens a function with symbols in the Source window.
    form->ShowPerformance->trigger();
    ASSERT_TRUE(PerformanceForm);
    int squareRow = -1;
    for (int r = 0; r < PerformanceForm->Model->rowCount(); ++r)
        if (PerformanceForm->Model->FunctionOfRow(r).name == "square") squareRow = r;
    ASSERT_GE(squareRow, 0);
    EXPECT_EQ(PerformanceForm->Model->FunctionOfRow(squareRow).calls, 4u);
    PerformanceForm->OpenFunction(squareRow);
    EXPECT_EQ(SourceForm->ViewOf("main.c")->selectionModel()->currentIndex().row() + 1,
              int(PerformanceForm->Model->FunctionOfRow(squareRow).line));
}
#endif

}  // namespace
