// An SDCC program with its debug file in the desktop program: names in the listing, the Watch
// window through a run, edits and Close File; broken and foreign symbol files.
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QStyle>
#include <QTreeWidget>

#include <filesystem>
#include <fstream>

#include "HexText.h"
#include "Debugger.h"
#include "DebuggerUnit.h"
#include "LogicUnit.h"
#include "Disassembler.h"
#include "ProgramSymbols.h"
#include "SourceUnit.h"
#include "Targets.h"
#include "UiHarness.h"
#include "Unit2.h"
#include "Unit3.h"
#include "Unit4.h"
#include "WatchUnit.h"

#ifdef CORVAMAT_SDCC_DIR
namespace {

const std::string kSdcc = CORVAMAT_SDCC_DIR;

class SymbolsUiTest : public UiTest {
protected:
    // Copies the SDCC program's files into the test folder and opens the program.
    bool OpenSdccProgram(std::initializer_list<const char*> files, const char* program = "main.ihx") {
        for (const char* f : files)
            std::filesystem::copy_file(kSdcc + "/" + f, dir.File(f), std::filesystem::copy_options::overwrite_existing);
        prompts.openFile = QString::fromStdString(dir.File(program));
        form->OpenHEX->trigger();
        return !ProgramFileName.empty();
    }
    // The line of main.c that holds `marker`; by default the one that prints the results.
    static uint32_t PrintfLine(const char* marker = "printf(\"result=", const char* file = "main.c") {
        std::ifstream in(std::string(CORVAMAT_SDCC_SOURCES) + "/" + file);
        std::string line;
        for (uint32_t n = 1; std::getline(in, line); ++n)
            if (line.find(marker) != std::string::npos) return n;
        return 0;
    }
    int RowOf(const std::string& text) {
        for (size_t i = 0; i < Listing.size(); ++i)
            if (Listing[i].Text == text) return int(i);
        return -1;
    }
    QString Value(const char* name) {
        QTreeWidgetItem* row = WatchForm->FindRow(name);
        return row ? row->text(TWatchForm::ValueColumn) : QStringLiteral("<not listed>");
    }
    bool Red(const char* name) { return WatchForm->FindRow(name)->foreground(TWatchForm::ValueColumn).color() == Qt::red; }
    // The address of a code label of the linker map.
    static std::optional<uint16_t> LabelAddress(const std::string& name) {
        for (const Label& l : ProgramSymbols.labels)
            if (l.name == name && l.code) return l.address;
        return std::nullopt;
    }
};

// Top-level Watch rows whose texts do not fit their columns.
QStringList ClippedWatchCells(QTreeWidget* list) {
    QStringList found;
    const QFontMetrics fm(list->font());
    const int margin = 2 * (list->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, list) + 1);
    int used = 0;
    for (int c = 0; c < TWatchForm::ValueColumn; ++c) used += list->columnWidth(c);
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = list->topLevelItem(i);
        for (int c = 0; c <= TWatchForm::ValueColumn; ++c) {
            const int room = c == TWatchForm::ValueColumn ? list->viewport()->width() - used
                             : c == 0 ? list->columnWidth(0) - list->indentation() : list->columnWidth(c);
            if (fm.horizontalAdvance(item->text(c)) + margin > room)
                found << item->text(c) + QStringLiteral(" does not fit %1 pixels").arg(room);
        }
    }
    return found;
}

TEST_F(SymbolsUiTest, ListingAndWatchWindowThroughARun) {
    ASSERT_TRUE(OpenSdccProgram({"main.ihx", "main.cdb", "main.map", "main.rst", "helper.rst"}));
    EXPECT_TRUE(prompts.messages.isEmpty()) << prompts.messages.join('\n').toStdString();
    EXPECT_TRUE(form->LoadSymbols->isEnabled());
    ASSERT_TRUE(Form2);
    EXPECT_EQ(Form2->Model->columnCount(), 4);
    EXPECT_GE(RowOf("LCALL _square"), 0);
    const Function* main = ProgramSymbols.FindFunction("main");
    ASSERT_TRUE(main);
    const int mainRow = ListingRowMap[main->start];
    EXPECT_EQ(Form2->Model->index(mainRow, 3).data().toString(), "_main");
    EXPECT_EQ(Form2->StringGrid1->horizontalHeader()->visualIndex(3), 1);

    form->ShowWatch->trigger();
    ASSERT_TRUE(WatchForm);
    EXPECT_EQ(Value("result"), "0");
    EXPECT_EQ(Value("ratio"), "0");  // the initialisers have not run yet
    // Run to the printf line: the values the program prints, changed ones in red.
    auto printfLine = ProgramSymbols.AddressOfLine("main.c", PrintfLine());
    ASSERT_TRUE(printfLine);
    AddCodeBreakpoint(*printfLine);
    form->RunProg->trigger();
    WaitForRun();
    EXPECT_EQ(ProgramCounter, *printfLine);
    EXPECT_EQ(Value("result"), "42");
    EXPECT_TRUE(Red("result"));
    EXPECT_EQ(Value("negative"), "-5");
    EXPECT_EQ(Value("origin"), "{x = 3, y = -2, z = 14, flags = 5, mode = 2}");
    EXPECT_EQ(WatchForm->FindRow("origin")->child(2)->text(0), "z");
    EXPECT_EQ(Value("table"), "{0, 1, 4, 9}");
    // The locals of main come first, the loop counter in registers.
    EXPECT_EQ(WatchForm->WatchList->topLevelItem(0)->text(0), "i");
    EXPECT_TRUE(WatchForm->FindRow("i")->text(TWatchForm::SpaceColumn).startsWith("registers"));

    // A scalar edited: the store reaches memory, and an own edit is not a change of the program;
    // the values the run changed stay red.
    const Symbol* result = ProgramSymbols.FindSymbol("result");
    ASSERT_TRUE(WatchForm->EditValue(WatchForm->FindRow("result"), "7"));
    QApplication::processEvents();
    EXPECT_EQ(InternalRam[*result->address], 7);
    EXPECT_EQ(Value("result"), "7");
    EXPECT_FALSE(Red("result"));
    EXPECT_TRUE(Red("negative"));
    EXPECT_TRUE(Red("table"));
    EXPECT_FALSE(WatchForm->EditValue(WatchForm->FindRow("counter"), "300"));
    EXPECT_TRUE(prompts.messages.last().startsWith("counter: 300 is out of range"));
    QApplication::processEvents();
    EXPECT_FALSE(WatchForm->FindRow("origin")->flags() & Qt::ItemIsEditable);

    // A step: nothing the step did not change stays red.
    form->RunStep->trigger();
    WaitForRun();
    EXPECT_FALSE(Red("result"));

    prompts.answers = {true};
    form->CloseHEXFile->trigger();
    EXPECT_EQ(ActiveProgramSymbols(), nullptr);
    EXPECT_FALSE(form->LoadSymbols->isEnabled());
    EXPECT_EQ(WatchForm->WatchList->topLevelItemCount(), 1);
    EXPECT_TRUE(WatchForm->WatchList->topLevelItem(0)->text(0).startsWith("No symbols"));
    RemoveBreakpoint(CodeBreakpointAt(*printfLine));
}

// The Watch window, the status bar's controller time and the stopwatch follow a run at the
// display's pace, not with the screen update off; the Watch context menu selects a variable's
// bytes in the memory views.
TEST_F(SymbolsUiTest, WatchFollowsARunAndShowsVariablesInMemory) {
    ASSERT_TRUE(OpenSdccProgram({"main.ihx", "main.cdb", "main.map", "main.rst", "helper.rst"}));
    form->ShowWatch->trigger();
    form->ShowDebugger->trigger();
    QLabel* controller = form->StatusPanels[2];
    const QString controllerBefore = controller->text(), lastRunBefore = DebuggerForm->LastRunCycles->text();
    Settings.ScrUpdate = 0;
    form->RunProg->trigger();
    ASSERT_TRUE(WaitUntil([] { return InternalRam[*ProgramSymbols.FindSymbol("result")->address] == 42; }));
    QElapsedTimer run;
    run.start();
    while (run.elapsed() < 100) QApplication::processEvents(QEventLoop::AllEvents, 5);
    EXPECT_EQ(Value("result"), "0");
    EXPECT_EQ(controller->text(), controllerBefore);
    EXPECT_EQ(DebuggerForm->LastRunCycles->text(), lastRunBefore);
    form->StopExecute();
    WaitForRun();
    EXPECT_EQ(Value("result"), "42");
    form->ResetMC->trigger();
    Settings.ScrUpdate = 1;
    form->RunProg->trigger();  // the program ends in an endless loop
    EXPECT_TRUE(WaitUntil([&] { return Value("result") == "42"; }));
    // Two looks at the running counters: they move on, and the stopwatch's last run is the
    // status bar's controller time.
    QString lastRun, time;
    for (int look = 0; look < 2; ++look) {
        EXPECT_TRUE(WaitUntil([&] { return DebuggerForm->LastRunCycles->text() != lastRun && controller->text() != time; }));
        lastRun = DebuggerForm->LastRunCycles->text();
        time = controller->text();
    }
    EXPECT_TRUE(form->Running());
    EXPECT_EQ(time, "Controller: " + lastRun.section(", ", 1)) << lastRun.toStdString();
    EXPECT_TRUE(Red("result"));
    form->StopExecute();
    WaitForRun();

    // result: 2 bytes of data memory; table: 8 bytes of external RAM; greeting lives in code.
    const uint32_t result = *ProgramSymbols.FindSymbol("result")->address;
    QMenu* menu = WatchForm->MakeContextMenu(WatchForm->FindRow("result"));
    QAction* show = menu->findChild<QAction*>("ShowInMemory");
    ASSERT_TRUE(show && show->isEnabled());
    show->trigger();
    delete menu;
    ASSERT_TRUE(Form3);
    EXPECT_EQ(Form3->SelectedBytes(), QList<int>({int(result), int(result) + 1}));
    EXPECT_EQ(WatchForm->FindRow("result")->text(TWatchForm::AddressColumn),
              QString::fromStdString(HexByteText(result)));
    EXPECT_EQ(WatchForm->FindRow("result")->text(TWatchForm::SizeColumn), "2 bytes");
    const uint32_t table = *ProgramSymbols.FindSymbol("table")->address;
    WatchForm->ShowInMemory(WatchForm->FindRow("table")->child(2));  // an element: its array
    ASSERT_TRUE(Form4);
    EXPECT_EQ(form->MdiArea->activeSubWindow(), Form4.data());
    EXPECT_EQ(Form4->SelectedBytes().size(), 8);
    EXPECT_EQ(Form4->SelectedBytes().front(), int(table));
    menu = WatchForm->MakeContextMenu(WatchForm->FindRow("greeting"));
    EXPECT_FALSE(menu->findChild<QAction*>("ShowInMemory")->isEnabled());
    delete menu;
}

// With symbols and the main window at a desktop's size, every window opens at a size that shows
// its texts in full; the listing is wide enough for its labels, and Watch and Source stand beside
// it.
TEST_F(SymbolsUiTest, EveryWindowAtItsFirstSizeShowsItsTextsInFull) {
    form->resize(1600, 1000);
    form->show();
    ASSERT_TRUE(OpenSdccProgram({"main.ihx", "main.cdb", "main.map", "main.rst", "helper.rst"}));
    std::filesystem::copy_file(std::string(CORVAMAT_SDCC_SOURCES) + "/main.c", dir.File("main.c"));
    std::filesystem::copy_file(std::string(CORVAMAT_SDCC_SOURCES) + "/helper.c", dir.File("helper.c"));
    form->ShowWatch->trigger();
    form->ShowSource->trigger();
    for (QAction* a : {form->ShowSFR8051, form->ShowIntRAM, form->ShowExtRAM, form->ShowPorts, form->ShowSerial,
                       form->ShowLED, form->ShowKeys, form->ShowDebugger})
        a->trigger();
    QApplication::processEvents();
    for (QMdiSubWindow* w : form->MdiArea->subWindowList())
        EXPECT_EQ(CrampedTexts(w).join('\n').toStdString(), "") << w->windowTitle().toStdString();
    EXPECT_EQ(ClippedListingCells(Form2->StringGrid1).join('\n').toStdString(), "");
    EXPECT_EQ(ClippedWatchCells(WatchForm->WatchList).join('\n').toStdString(), "");
    const QRect listing = Form2->geometry(), watch = WatchForm->geometry(), source = SourceForm->geometry();
    EXPECT_GT(watch.left(), listing.right());
    EXPECT_GT(source.left(), listing.right());
    EXPECT_FALSE(watch.intersects(source));
    const QRect area = form->MdiArea->viewport()->rect();
    EXPECT_TRUE(area.contains(watch) && area.contains(source));
    // Readable: the source lines up to their 80th character and a dozen of them.
    QTableView* main = SourceForm->ViewOf("main.c");
    EXPECT_GE(main->viewport()->width(), main->columnWidth(0) + main->columnWidth(1) +
                                             main->fontMetrics().horizontalAdvance(QString(80, 'm')));
    EXPECT_GE(main->viewport()->height(), 12 * 16);
}

TEST_F(SymbolsUiTest, BrokenAndForeignSymbolFiles) {
    std::filesystem::copy_file(kSdcc + "/main.cdb", dir.File("good.cdb"));
    std::string broken = dir.Read("good.cdb");
    broken.replace(broken.find("\nS:"), 3, "\nS:G$x(");
    dir.Write("main.cdb", broken);
    ASSERT_TRUE(OpenSdccProgram({"main.ihx"}));
    std::filesystem::copy_file(kSdcc + "/main.map", dir.File("main.map"));  // the program's modules
    // The record it does not understand is skipped with a note; the rest of the file is used.
    ASSERT_EQ(prompts.messages.size(), 1);
    EXPECT_TRUE(prompts.messages[0].startsWith("main.cdb:")) << prompts.messages[0].toStdString();
    EXPECT_TRUE(prompts.messages[0].endsWith("The rest of the file is used."));
    EXPECT_EQ(Form2->Model->columnCount(), 4);
    EXPECT_GE(RowOf("LCALL _square"), 0);
    // A file that is no debug file at all leaves the program without symbols.
    prompts.answers = {true};
    form->CloseHEXFile->trigger();
    dir.Write("main.cdb", "hello\n");
    ASSERT_TRUE(OpenSdccProgram({"main.ihx"}));
    ASSERT_EQ(prompts.messages.size(), 3);  // the note, Close File's question, this
    EXPECT_TRUE(prompts.messages[2].endsWith("The program is loaded without symbols."));
    EXPECT_EQ(Form2->Model->columnCount(), 3);
    EXPECT_LT(RowOf("LCALL _square"), 0);

    // Load Symbols... by hand: the names appear in the open listing.
    prompts.openFile = QString::fromStdString(dir.File("good.cdb"));
    form->LoadSymbols->trigger();
    EXPECT_EQ(prompts.messages.size(), 3);
    EXPECT_EQ(Form2->Model->columnCount(), 4);
    EXPECT_GE(RowOf("LCALL _square"), 0);
    // Another program's symbols are refused, and the ones loaded stay.
    prompts.openFile = QString::fromStdString(kSdcc + "/stack.cdb");
    std::filesystem::copy_file(kSdcc + "/stack.cdb", dir.File("stack.cdb"));
    form->LoadSymbols->trigger();
    ASSERT_EQ(prompts.messages.size(), 4);
    EXPECT_TRUE(prompts.messages[3].contains("another program")) << prompts.messages[3].toStdString();
    EXPECT_GE(RowOf("LCALL _square"), 0);
}

// The Source window: one tab per C file, breakpoints on lines with code, the PC's line marked.
TEST_F(SymbolsUiTest, SourceWindowBreakpointsAndTheProgramCounter) {
    const std::string sources = std::string(CORVAMAT_SDCC_SOURCES) + "/";
    std::filesystem::copy_file(sources + "main.c", dir.File("main.c"));
    ASSERT_TRUE(OpenSdccProgram({"main.ihx", "main.cdb", "main.map"}));
    prompts.openFile.clear();  // helper.c is not there, and the user does not find it
    form->ShowSource->trigger();
    ASSERT_TRUE(SourceForm);
    ASSERT_EQ(SourceForm->PageControl1->count(), 2);
    EXPECT_EQ(SourceForm->PageControl1->tabText(0), "main.c");
    QTableView* helper = SourceForm->ViewOf("helper.c");
    ASSERT_TRUE(helper);
    EXPECT_EQ(helper->model()->index(0, 2).data().toString(), "(helper.c was not found)");

    const int line = int(PrintfLine());
    QTableView* main = SourceForm->ViewOf("main.c");
    EXPECT_EQ(main->model()->index(line - 1, 2).data().toString().trimmed().left(7), "printf(");
    EXPECT_FALSE(SourceForm->ToggleBreakpoint("main.c", 1));  // a comment has no code
    ASSERT_TRUE(SourceForm->ToggleBreakpoint("main.c", line));
    const uint16_t address = *ProgramSymbols.AddressOfLine("main.c", uint32_t(line));
    EXPECT_EQ(BreakpointTable[address], 1);
    EXPECT_EQ(main->model()->index(line - 1, 0).data().toString(), QString::fromUtf8("\u25CF"));

    form->RunProg->trigger();
    WaitForRun();
    EXPECT_EQ(ProgramCounter, address);
    EXPECT_EQ(SourceForm->PageControl1->currentIndex(), 0);
    EXPECT_EQ(main->model()->index(line - 1, 0).data().toString(), QString::fromUtf8("\u25B6\u25CF"));
    EXPECT_EQ(main->selectionModel()->currentIndex().row(), line - 1);
    // The listing's breakpoint command clears the same breakpoint.
    Form2->SelectRow(ListingRowMap[address]);
    form->ToggleBP->trigger();
    EXPECT_EQ(BreakpointTable[address], 0);
    EXPECT_EQ(main->model()->index(line - 1, 0).data().toString(), QString::fromUtf8("\u25B6"));

    prompts.answers = {true};
    form->CloseHEXFile->trigger();
    EXPECT_EQ(SourceForm->PageControl1->count(), 0);
}

// With the Source window active, F10 steps over a line with a call, F8 steps into the called
// function's first line, Shift+F10 returns to a line start, F4 runs to the selected line;
// elsewhere they work by instruction.
TEST_F(SymbolsUiTest, StepsBySourceLine) {
    std::filesystem::copy_file(std::string(CORVAMAT_SDCC_SOURCES) + "/main.c", dir.File("main.c"));
    std::filesystem::copy_file(std::string(CORVAMAT_SDCC_SOURCES) + "/helper.c", dir.File("helper.c"));
    ASSERT_TRUE(OpenSdccProgram({"main.ihx", "main.cdb", "main.map"}));
    form->ShowSource->trigger();
    ASSERT_TRUE(SourceForm);
    const uint32_t call = PrintfLine("result = helper(20, 22);");
    const uint16_t start = *ProgramSymbols.AddressOfLine("main.c", call);
    AddCodeBreakpoint(start);
    form->RunProg->trigger();
    WaitForRun();
    RemoveBreakpoint(CodeBreakpointAt(start));
    ASSERT_EQ(ProgramCounter, start);

    form->MdiArea->setActiveSubWindow(SourceForm);
    form->StepOver->trigger();
    WaitForRun();
    EXPECT_EQ(ProgramCounter, *ProgramSymbols.AddressOfLine("main.c", call + 1));
    EXPECT_EQ(ProgramSymbols.LineAt(ProgramCounter)->line, call + 1);

    // Run to the printf line by selecting it, then F4.
    QTableView* main = SourceForm->ViewOf("main.c");
    main->selectionModel()->setCurrentIndex(main->model()->index(int(PrintfLine()) - 1, 2),
                                            QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    form->RunToCursor->trigger();
    WaitForRun();
    EXPECT_EQ(ProgramCounter, *ProgramSymbols.AddressOfLine("main.c", PrintfLine()));

    // F8 into a call: from the loop's call of square, the first line of square.
    form->ResetMC->trigger();
    const uint32_t loop = PrintfLine("table[i] = square(i);");
    const uint16_t loopStart = *ProgramSymbols.AddressOfLine("main.c", loop);
    AddCodeBreakpoint(loopStart);
    form->RunProg->trigger();
    WaitForRun();
    RemoveBreakpoint(CodeBreakpointAt(loopStart));
    ASSERT_EQ(ProgramCounter, loopStart);
    form->MdiArea->setActiveSubWindow(SourceForm);
    form->RunStep->trigger();
    WaitForRun();
    EXPECT_EQ(ProgramSymbols.FunctionAt(ProgramCounter), ProgramSymbols.FindFunction("square"));
    // Shift+F10 out of square lands on the start of a line of main, not inside the call's line.
    form->StepOut->trigger();
    WaitForRun();  // out of the routine
    WaitForRun();  // on to the start of a line
    EXPECT_EQ(ProgramSymbols.FunctionAt(ProgramCounter), ProgramSymbols.FindFunction("main"));
    ASSERT_TRUE(ProgramSymbols.LineAt(ProgramCounter));
    EXPECT_EQ(ProgramSymbols.LineAt(ProgramCounter)->address, ProgramCounter);
    // A stop without a C line (a library routine) shows its row in the listing, in view and in
    // front.
    const auto mulint = LabelAddress("__mulint");
    ASSERT_TRUE(mulint);
    form->ResetMC->trigger();
    Form2->StringGrid1->scrollToTop();
    BreakpointTable.Set(*mulint, 1);
    form->RunProg->trigger();
    WaitForRun();
    BreakpointTable.Set(*mulint, 0);
    ASSERT_EQ(ProgramCounter, *mulint);
    EXPECT_EQ(form->MdiArea->activeSubWindow(), Form2.data());
    EXPECT_EQ(Form2->SelectedRow(), ListingRowMap[*mulint]);
    QTableView* grid = Form2->StringGrid1;
    EXPECT_TRUE(grid->viewport()->rect().contains(grid->visualRect(Form2->Model->index(Form2->SelectedRow(), 0))));
    // Elsewhere F8 is one instruction again.
    form->MdiArea->setActiveSubWindow(Form2);
    const uint16_t pc = ProgramCounter;
    form->RunStep->trigger();
    WaitForRun();
    EXPECT_EQ(ProgramCounter, pc + AsmTable[CodeMemory[pc]].Length);
}

QStringList Column(QTreeWidget* list, int column) {
    QStringList out;
    for (int i = 0; i < list->topLevelItemCount(); ++i) out << list->topLevelItem(i)->text(column);
    return out;
}

// The Debugger window by the program's names: code breakpoints by C line and function, the call
// stack by function and line (the address where there is no source), a double-click opening the
// source at the line or, without one, the listing.
TEST_F(SymbolsUiTest, DebuggerWindowSpeaksTheProgramsNames) {
    for (const char* f : {"main.c", "helper.c"})
        std::filesystem::copy_file(std::string(CORVAMAT_SDCC_SOURCES) + "/" + f, dir.File(f));
    ASSERT_TRUE(OpenSdccProgram({"main.ihx", "main.cdb", "main.map", "main.rst", "helper.rst"}));
    form->ShowDebugger->trigger();
    form->ShowSource->trigger();
    const int helperLine = int(PrintfLine("int s = a + b;", "helper.c"));
    ASSERT_TRUE(SourceForm->ToggleBreakpoint("helper.c", helperLine));
    const uint16_t mulint = *LabelAddress("__mulint");
    Form2->SelectRow(ListingRowMap[mulint]);
    form->ToggleBP->trigger();
    const QStringList places = Column(DebuggerForm->CodeList, 1);
    EXPECT_TRUE(places.contains(QStringLiteral("helper.c:%1 (helper)").arg(helperLine))) << places.join('|').toStdString();
    EXPECT_TRUE(places.contains("(__mulint)")) << places.join('|').toStdString();

    // Stopped in the library's multiplication, called from square, called from main.
    form->RunProg->trigger();
    WaitForRun();
    ASSERT_EQ(ProgramCounter, mulint);
    QTreeWidget* stack = DebuggerForm->StackList;
    EXPECT_EQ(Column(stack, 0), QStringList({"__mulint", "square", "main"}));
    EXPECT_EQ(Column(stack, 1), QStringList({"", QStringLiteral("main.c:%1").arg(PrintfLine("int r = v * v;")),
                                             QStringLiteral("main.c:%1").arg(PrintfLine("table[i] = square(i);"))}));
    EXPECT_EQ(stack->topLevelItem(0)->text(2), QString::fromStdString(HexAddressText(mulint)));
    emit stack->itemDoubleClicked(stack->topLevelItem(1), 0);
    EXPECT_EQ(form->MdiArea->activeSubWindow(), SourceForm.data());
    EXPECT_EQ(SourceForm->PageControl1->tabText(SourceForm->PageControl1->currentIndex()), "main.c");
    EXPECT_EQ(SourceForm->ViewOf("main.c")->selectionModel()->currentIndex().row(), int(PrintfLine("int r = v * v;")) - 1);
    emit stack->itemDoubleClicked(stack->topLevelItem(0), 0);
    EXPECT_EQ(form->MdiArea->activeSubWindow(), Form2.data());
    EXPECT_EQ(Form2->SelectedRow(), ListingRowMap[mulint]);

    RemoveBreakpoint(CodeBreakpointAt(mulint));
    form->RunProg->trigger();
    WaitForRun();
    EXPECT_EQ(Column(stack, 0), QStringList({"helper", "main"}));
    EXPECT_EQ(stack->topLevelItem(0)->text(1), QStringLiteral("helper.c:%1").arg(helperLine));
}

// Data breakpoints by variable name: from a Watch row's context menu (every byte of the variable,
// checked while set) and typed into the editor; the Debugger window names the variable and the
// C line of the instruction that wrote.
TEST_F(SymbolsUiTest, DataBreakpointsByVariableName) {
    ASSERT_TRUE(OpenSdccProgram({"main.ihx", "main.cdb", "main.map", "main.rst", "helper.rst"}));
    form->ShowWatch->trigger();
    form->ShowDebugger->trigger();
    const uint32_t result = *ProgramSymbols.FindSymbol("result")->address;
    std::unique_ptr<QMenu> menu(WatchForm->MakeContextMenu(WatchForm->FindRow("result")));
    QAction* change = menu->findChild<QAction*>("BreakOnChange");
    ASSERT_TRUE(change && change->isEnabled() && change->isCheckable());
    EXPECT_FALSE(change->isChecked());
    change->trigger();
    auto data = ListBreakpoints(Breakpoint::Kind::Data);
    ASSERT_EQ(data.size(), 2u);  // an int: both bytes
    EXPECT_EQ(data[1].data.address, result + 1);
    EXPECT_EQ(data[1].label, "result");
    EXPECT_EQ(Column(DebuggerForm->DataList, 0),
              QStringList({QStringLiteral("result (IRAM %1)").arg(QString::fromStdString(HexByteText(result))),
                           QStringLiteral("result+1 (IRAM %1)").arg(QString::fromStdString(HexByteText(result + 1)))}));
    menu.reset(WatchForm->MakeContextMenu(WatchForm->FindRow("result")));
    EXPECT_TRUE(menu->findChild<QAction*>("BreakOnChange")->isChecked());
    EXPECT_FALSE(menu->findChild<QAction*>("BreakOnWrite")->isChecked());

    form->RunProg->trigger();
    WaitForRun();
    // Stopped in main: its loop counter lives in registers, which have no bytes to watch.
    ASSERT_TRUE(WatchForm->FindRow("i"));
    menu.reset(WatchForm->MakeContextMenu(WatchForm->FindRow("i")));
    EXPECT_FALSE(menu->findChild<QAction*>("BreakOnWrite")->isEnabled());
    EXPECT_EQ(InternalRam[result], 42);  // the start-up code's clearing changed nothing
    const QString stop = DebuggerForm->StopLabel->text();
    EXPECT_TRUE(stop.contains("result (IRAM")) << stop.toStdString();
    EXPECT_TRUE(stop.contains(QStringLiteral("main.c:%1").arg(PrintfLine("result = helper(20, 22);")))) << stop.toStdString();
    menu.reset(WatchForm->MakeContextMenu(WatchForm->FindRow("result")));
    menu->findChild<QAction*>("BreakOnChange")->trigger();  // unchecked: removed
    EXPECT_TRUE(ListBreakpoints(Breakpoint::Kind::Data).empty());

    // Typed into the editor: a name it knows, one it does not.
    TDataBreakpointDialog dialog;
    EXPECT_GT(dialog.VariableBox->findText("negative"), 0);
    dialog.VariableBox->setCurrentText("negative");
    EXPECT_FALSE(dialog.AddressEdit->isEnabled());
    std::vector<DataBreakpoint> set;
    QString error;
    ASSERT_TRUE(dialog.ReadBreakpoints(&set, &error)) << error.toStdString();
    ASSERT_EQ(set.size(), 1u);
    EXPECT_EQ(set[0].address, *ProgramSymbols.FindSymbol("negative")->address);
    dialog.VariableBox->setCurrentText("nosuch");
    EXPECT_FALSE(dialog.ReadBreakpoints(&set, &error));
    EXPECT_TRUE(error.contains("nosuch")) << error.toStdString();
}

// A session kept beside the program: breakpoints by C line, routine and address, a data
// breakpoint by variable, the source folder found once with "Locate...", the Watch window's
// open rows and the windows come back when the program is opened again or reloaded; what no
// longer fits is left out and said once.
TEST_F(SymbolsUiTest, SessionComesBackWithTheProgram) {
    form->KeepSessions = true;
    std::filesystem::create_directory(dir.File("src"));
    for (const char* f : {"main.c", "helper.c"})
        std::filesystem::copy_file(std::string(CORVAMAT_SDCC_SOURCES) + "/" + f, dir.File(std::string("src/") + f));
    ASSERT_TRUE(OpenSdccProgram({"main.ihx", "main.cdb", "main.map", "main.rst", "helper.rst"}));
    prompts.openFile = QString::fromStdString(dir.File("src/main.c"));  // "Locate..." for main.c
    form->ShowSource->trigger();
    EXPECT_TRUE(prompts.openFilter.startsWith("main.c")) << prompts.openFilter.toStdString();
    EXPECT_NE(SourceForm->ViewOf("helper.c")->model()->index(0, 2).data().toString(), "(helper.c was not found)");

    const uint32_t line = PrintfLine();
    ASSERT_TRUE(SourceForm->ToggleBreakpoint("main.c", int(line)));
    const uint16_t lineStart = *ProgramSymbols.AddressOfLine("main.c", line);
    const uint16_t inside = uint16_t(lineStart + AsmTable[CodeMemory[lineStart]].Length);
    const uint16_t mulint = *LabelAddress("__mulint");
    EnableBreakpoint(AddCodeBreakpoint(inside), false);
    AddCodeBreakpoint(mulint);
    const auto onResult = ResolveDataTarget("result:changed");
    ASSERT_TRUE(onResult && onResult->size() == 2u) << onResult.error();
    for (const DataBreakpoint& b : *onResult) AddDataBreakpoint(b);
    form->ShowWatch->trigger();
    WatchForm->FindRow("origin")->setExpanded(true);
    form->ShowDebugger->trigger();
    form->ShowLogic->trigger();
    ASSERT_TRUE(LogicForm->AddSignal("P1.0") && LogicForm->AddSignal("result"));
    WatchForm->setGeometry(300, 20, 333, 222);

    form->CloseHEXFileExecute(true);
    const std::string session = dir.File("main.corvamat-session");
    ASSERT_TRUE(std::filesystem::exists(session));
    form->WinCloseExecute();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);  // closed windows are gone
    ASSERT_FALSE(WatchForm || SourceForm || DebuggerForm);
    prompts.openFile = QString::fromStdString(dir.File("main.ihx"));  // what a stray Locate would get
    prompts.messages.clear();
    form->OpenHEX->trigger();
    EXPECT_TRUE(prompts.messages.isEmpty()) << prompts.messages.join('\n').toStdString();
    EXPECT_EQ(BreakpointTable[lineStart], 1);
    EXPECT_EQ(BreakpointTable[inside], 2);
    EXPECT_EQ(BreakpointTable[mulint], 1);
    const auto data = ListBreakpoints(Breakpoint::Kind::Data);
    ASSERT_EQ(data.size(), 2u);  // kept as one entry by the variable's name
    EXPECT_NE(dir.Read("main.corvamat-session").find("\"variable\": \"result\""), std::string::npos);
    EXPECT_EQ(data[0].data.address, onResult->front().address);
    EXPECT_EQ(data[0].data.match, WatchMatch::Changes);
    ASSERT_TRUE(WatchForm && SourceForm && DebuggerForm && Form2);
    EXPECT_EQ(WatchForm->geometry(), QRect(300, 20, 333, 222));
    EXPECT_TRUE(WatchForm->FindRow("origin")->isExpanded());
    EXPECT_EQ(SourceForm->ViewOf("main.c")->model()->index(0, 2).data().toString().left(2), "/*");
    EXPECT_EQ(DebuggerForm->CodeList->topLevelItemCount(), 3);
    ASSERT_TRUE(LogicForm);
    ASSERT_EQ(LogicForm->SignalCount(), 2);
    EXPECT_EQ(LogicForm->SignalName(1), "result");
    // Reload keeps the session: the breakpoints follow their lines into the program read again.
    form->ReloadProg->trigger();
    EXPECT_TRUE(prompts.messages.isEmpty()) << prompts.messages.join('\n').toStdString();
    EXPECT_EQ(BreakpointTable[lineStart], 1);
    EXPECT_TRUE(WatchForm->FindRow("origin")->isExpanded());

    // The program changed under the session: a line without code and a routine that is gone are
    // left out, said once; the rest stays.
    form->CloseHEXFileExecute(true);
    std::string kept = dir.Read("main.corvamat-session");
    const std::string lineText = "\"line\": " + std::to_string(line);
    ASSERT_NE(kept.find(lineText), std::string::npos) << kept;
    kept.replace(kept.find(lineText), lineText.size(), "\"line\": 1");
    ASSERT_NE(kept.find("\"__mulint\""), std::string::npos) << kept;
    kept.replace(kept.find("\"__mulint\""), 10, "\"gone\"");
    dir.Write("main.corvamat-session", kept);
    form->OpenHEX->trigger();
    ASSERT_EQ(prompts.messages.size(), 1);
    EXPECT_TRUE(prompts.messages[0].contains(QStringLiteral("main.c:1 (no code on that line)"))) << prompts.messages[0].toStdString();
    EXPECT_TRUE(prompts.messages[0].contains(QStringLiteral("gone (no such function or label)"))) << prompts.messages[0].toStdString();
    EXPECT_EQ(BreakpointTable[inside], 2);
    form->CloseHEXFileExecute(true);
    form->OpenHEX->trigger();
    EXPECT_EQ(prompts.messages.size(), 1);
    EXPECT_EQ(BreakpointTable[inside], 2);
    RemoveAllBreakpoints();
}

// An assembler program assembled and linked with debug records: its .a51 file in the Source window,
// a breakpoint on a line, F8 from line to line and into the routine, F10 over the call.
TEST_F(SymbolsUiTest, AssemblerSourceStepping) {
    ASSERT_TRUE(OpenSdccProgram({"runlight.ihx", "runlight.cdb", "runlight.map", "runlight.a51"}, "runlight.ihx"));
    form->ShowSource->trigger();
    ASSERT_TRUE(SourceForm);
    ASSERT_EQ(SourceForm->PageControl1->count(), 1);
    EXPECT_EQ(SourceForm->PageControl1->tabText(0), "runlight.a51");
    auto line = [](const char* marker) { return PrintfLine(marker, "runlight.a51"); };
    auto lineNow = [] { return ProgramSymbols.LineAt(ProgramCounter) ? ProgramSymbols.LineAt(ProgramCounter)->line : 0; };
    const uint32_t call = line("lcall wait_a_while");
    QTableView* view = SourceForm->ViewOf("runlight.a51");
    ASSERT_TRUE(view);
    EXPECT_TRUE(view->model()->index(int(call) - 1, 2).data().toString().contains("lcall wait_a_while"));
    EXPECT_FALSE(SourceForm->ToggleBreakpoint("runlight.a51", 1));  // a comment
    ASSERT_TRUE(SourceForm->ToggleBreakpoint("runlight.a51", int(call)));
    form->RunProg->trigger();
    WaitForRun();
    EXPECT_EQ(lineNow(), call);
    SourceForm->ToggleBreakpoint("runlight.a51", int(call));

    form->MdiArea->setActiveSubWindow(SourceForm);
    const uint32_t expected[] = {line("mov   r7,#3"), line("again:"), line("ret"), line("sjmp  loop"), line("loop:")};
    for (uint32_t want : expected) {
        form->RunStep->trigger();
        WaitForRun();
        EXPECT_EQ(lineNow(), want);
    }
    while (lineNow() != call) {
        form->RunStep->trigger();
        WaitForRun();
    }
    form->StepOver->trigger();
    WaitForRun();
    EXPECT_EQ(lineNow(), line("sjmp  loop"));
}

}  // namespace
#endif
