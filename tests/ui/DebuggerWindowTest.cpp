// The debugger commands and window: Step Over, Step Out and Run to Cursor from their actions and
// shortcuts, the Debugger window's lists and stopwatch, and opening a program from the command line.
#include <QDir>
#include <QFileInfo>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QTreeWidget>

#include "DebuggerUnit.h"
#include "History.h"
#include "Disassembler.h"
#include "UiHarness.h"
#include "Unit2.h"

namespace {

// A call two levels deep, then a store to external RAM.
const std::vector<uint8_t> kProgram = {
    0x12, 0x00, 0x0A,  // 0000 LCALL 000Ah
    0x00,              // 0003 NOP
    0x90, 0x12, 0x34,  // 0004 MOV DPTR,#1234h
    0xF0,              // 0007 MOVX @DPTR,A
    0x80, 0xFE,        // 0008 SJMP $
    0x05, 0x30,        // 000A INC 30h
    0x12, 0x00, 0x10,  // 000C LCALL 0010h
    0x22,              // 000F RET
    0x04,              // 0010 INC A
    0x22,              // 0011 RET
};

class DebuggerWindowTest : public UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        RemoveAllBreakpoints();
    }
    void TearDown() override {
        RemoveAllBreakpoints();
        UiTest::TearDown();
    }
    // A key as the user presses it in the main window.
    void Press(QKeyCombination key) {
        form->show();
        form->activateWindow();
        QApplication::setActiveWindow(form.get());
        QTest::keyClick(form.get(), key.key(), key.keyboardModifiers());
        WaitForRun();
    }
    int SelectedRow() { return Form2 ? Form2->SelectedRow() : -1; }
    StopReason ActiveRunThreadReason() { return form->ActiveRunThread->Reason; }
    QStringList Column(QTreeWidget* list, int column) {
        QStringList out;
        for (int i = 0; i < list->topLevelItemCount(); ++i) out << list->topLevelItem(i)->text(column);
        return out;
    }
};

TEST_F(DebuggerWindowTest, CommandsComeAfterTheOthersAndFollowRun) {
    QMenu* run = form->menuBar()->actions().at(1)->menu();
    QMenu* view = form->menuBar()->actions().at(2)->menu();
    const auto runActions = run->actions();
    // After the other commands (later groups of commands may follow them).
    const auto at = runActions.indexOf(form->StepOver);
    ASSERT_GT(at, runActions.indexOf(form->ClearExtRAM));
    EXPECT_EQ(runActions.mid(at, 3), QList<QAction*>({form->StepOver, form->StepOut, form->RunToCursor}));
    EXPECT_GT(view->actions().indexOf(form->ShowDebugger), view->actions().indexOf(form->ShowKeys));
    // The Logic Analyzer came later, after the Debugger.
    EXPECT_GT(view->actions().indexOf(form->ShowLogic), view->actions().indexOf(form->ShowDebugger));
    EXPECT_EQ(form->StepOver->shortcut(), QKeySequence(Qt::Key_F10));
    EXPECT_EQ(form->StepOut->shortcut(), QKeySequence(Qt::SHIFT | Qt::Key_F10));
    EXPECT_EQ(form->RunToCursor->shortcut(), QKeySequence(Qt::Key_F4));
    EXPECT_EQ(form->ShowDebugger->text(), "Debugger");
    for (QAction* a : {form->StepOver, form->StepOut, form->RunToCursor}) EXPECT_FALSE(a->isEnabled());

    ASSERT_TRUE(Open(kProgram));
    for (QAction* a : {form->StepOver, form->StepOut, form->RunToCursor}) EXPECT_TRUE(a->isEnabled());
    form->SetRunCommands(true);
    for (QAction* a : {form->StepOver, form->StepOut, form->RunToCursor}) EXPECT_FALSE(a->isEnabled());
    form->SetRunCommands(false);
    Form2->close();
    QApplication::processEvents();
    EXPECT_FALSE(form->RunToCursor->isEnabled());
    EXPECT_TRUE(form->StepOver->isEnabled());
}

TEST_F(DebuggerWindowTest, StepOverStepOutAndRunToCursorFromActionsAndKeys) {
    ASSERT_TRUE(Open(kProgram));
    form->ShowDebugger->trigger();
    ASSERT_TRUE(DebuggerForm);

    form->StepOver->trigger();  // over the whole call
    WaitForRun();
    EXPECT_EQ(ProgramCounter, 0x0003);
    EXPECT_EQ(SelectedRow(), ListingRowMap[0x0003]);
    EXPECT_EQ(InternalRam[0x30], 1);
    EXPECT_EQ(form->StatusPanels[2]->text(), QString::fromStdString(ControllerTimeText(10, Settings.Frequency)));
    EXPECT_TRUE(form->RunProg->isEnabled());
    EXPECT_EQ(DebuggerForm->LastRunCycles->text().section(' ', 0, 0), "10");

    // Into the routine with Run to Cursor (F4), one level deeper, then Step Out (Shift+F10).
    form->ResetMC->trigger();
    EXPECT_TRUE(DebuggerForm->ResetCycles->text().startsWith("0 cycles"));
    Form2->SelectRow(ListingRowMap[0x0010]);
    Press(Qt::Key_F4);
    EXPECT_EQ(ProgramCounter, 0x0010);
    EXPECT_EQ(BreakpointTable[0x0010], 0);
    EXPECT_EQ(Column(DebuggerForm->StackList, 0), QStringList({"0010h", "000Ah", "(program)"}));
    EXPECT_EQ(Column(DebuggerForm->StackList, 1), QStringList({"", "", ""}));  // no source
    EXPECT_EQ(Column(DebuggerForm->StackList, 2), QStringList({"0010h", "000Ch", "0000h"}));
    EXPECT_EQ(Column(DebuggerForm->StackList, 3).first(), "000Fh");
    // Double-click on a frame selects its place in the listing.
    QTreeWidgetItem* caller = DebuggerForm->StackList->topLevelItem(1);
    emit DebuggerForm->StackList->itemDoubleClicked(caller, 0);
    EXPECT_EQ(SelectedRow(), ListingRowMap[0x000C]);

    Press(QKeyCombination(Qt::SHIFT, Qt::Key_F10));
    EXPECT_EQ(ProgramCounter, 0x000F);
    EXPECT_EQ(SelectedRow(), ListingRowMap[0x000F]);
    EXPECT_EQ(DebuggerForm->StackList->topLevelItemCount(), 2);
    Press(Qt::Key_F10);  // RET is no call: one instruction
    EXPECT_EQ(ProgramCounter, 0x0003);
    EXPECT_EQ(DebuggerForm->StackList->topLevelItemCount(), 1);

    // The stopwatch: since Reset keeps counting, Zero clears only the stopwatch.
    const QString sinceReset = DebuggerForm->ResetCycles->text();
    EXPECT_TRUE(sinceReset.startsWith("10 cycles, ")) << sinceReset.toStdString();
    DebuggerForm->ZeroButton->click();
    EXPECT_TRUE(DebuggerForm->ZeroCycles->text().startsWith("0 cycles, 0 sec"));
    EXPECT_EQ(DebuggerForm->ResetCycles->text(), sinceReset);
    EXPECT_EQ(DebuggerForm->ZeroCycles->accessibleName(), "Stopwatch");
}

TEST_F(DebuggerWindowTest, StopInterruptsEachCommand) {
    ASSERT_TRUE(Open({0x80, 0xFE, 0x00}));  // SJMP $: neither returns nor reaches the NOP
    for (QAction* command : {form->StepOut, form->RunToCursor}) {
        Form2->SelectRow(1);  // a run's end selects the PC's row
        command->trigger();
        while (!form->Stop->isEnabled()) QApplication::processEvents();
        EXPECT_FALSE(form->StepOver->isEnabled());
        form->Stop->trigger();
        WaitForRun();
        EXPECT_FALSE(form->Stop->isEnabled());
        EXPECT_TRUE(command->isEnabled());
        EXPECT_EQ(ProgramCounter, 0);
        EXPECT_EQ(ActiveRunThreadReason(), StopReason::Stopped);
    }
}

TEST_F(DebuggerWindowTest, BreakpointListsAndADataBreakpointStop) {
    ASSERT_TRUE(Open(kProgram));
    form->ShowDebugger->trigger();
    ASSERT_TRUE(DebuggerForm);
    Form2->SelectRow(ListingRowMap[0x000C]);
    form->ToggleBP->trigger();
    Form2->SelectRow(ListingRowMap[0x0008]);
    form->ToggleBP->trigger();
    EXPECT_EQ(Column(DebuggerForm->CodeList, 0), QStringList({"0008h", "000Ch"}));
    EXPECT_EQ(DebuggerForm->CodeList->topLevelItem(1)->text(2), QString::fromStdString(Listing[size_t(ListingRowMap[0x000C])].Text));

    emit DebuggerForm->CodeList->itemDoubleClicked(DebuggerForm->CodeList->topLevelItem(1), 0);
    EXPECT_EQ(SelectedRow(), ListingRowMap[0x000C]);
    // Disabled, the breakpoint stays in the list and the run passes it.
    DebuggerForm->CodeList->setCurrentItem(DebuggerForm->CodeList->topLevelItem(1));
    DebuggerForm->ToggleCode->click();
    EXPECT_EQ(BreakpointTable[0x000C], 2);
    EXPECT_EQ(DebuggerForm->CodeList->topLevelItem(1)->text(3), "Disabled");
    EXPECT_EQ(DebuggerForm->ToggleCode->text(), "Enable");

    // A data breakpoint on the MOVX target, added through the editor's fields.
    TDataBreakpointDialog dialog;
    dialog.SpaceBox->setCurrentIndex(int(WatchSpace::Xram));
    dialog.AddressEdit->setText("12345");
    DataBreakpoint b;
    QString error;
    EXPECT_FALSE(dialog.ReadBreakpoint(&b, &error));
    EXPECT_FALSE(error.isEmpty());
    dialog.AddressEdit->setText("1234");
    ASSERT_TRUE(dialog.ReadBreakpoint(&b, &error));
    DebuggerForm->StoreDataBreakpoint(-1, b);
    EXPECT_EQ(Column(DebuggerForm->DataList, 0), QStringList({"XRAM 1234h"}));

    form->RunProg->trigger();
    WaitForRun();
    EXPECT_EQ(ProgramCounter, 0x0008);  // after the MOVX
    EXPECT_EQ(SelectedRow(), ListingRowMap[0x0008]);
    EXPECT_TRUE(DebuggerForm->StopLabel->isVisibleTo(DebuggerForm));
    EXPECT_TRUE(DebuggerForm->StopLabel->text().contains("0007h")) << DebuggerForm->StopLabel->text().toStdString();
    EXPECT_EQ(DebuggerForm->DataList->currentItem(), DebuggerForm->DataList->topLevelItem(0));

    // Disabled data breakpoints stop nothing; the enabled code breakpoint at 0008h stops the run.
    DebuggerForm->ToggleData->click();
    EXPECT_FALSE(ListBreakpoints(Breakpoint::Kind::Data)[0].enabled);
    form->ResetMC->trigger();
    form->RunProg->trigger();
    WaitForRun();
    EXPECT_EQ(ProgramCounter, 0x0008);
    EXPECT_FALSE(DebuggerForm->StopLabel->isVisibleTo(DebuggerForm));

    DebuggerForm->RemoveData->click();
    EXPECT_TRUE(ListBreakpoints(Breakpoint::Kind::Data).empty());
    Form2->SelectRow(ListingRowMap[0x000C]);
    form->ToggleBP->trigger();  // F5 on a disabled breakpoint removes it
    EXPECT_EQ(Column(DebuggerForm->CodeList, 0), QStringList({"0008h"}));
    DebuggerForm->RemoveAllCode->click();
    EXPECT_EQ(DebuggerForm->CodeList->topLevelItemCount(), 0);
    EXPECT_EQ(BreakpointTable[0x000C], 0);
}

TEST_F(DebuggerWindowTest, OpensTheProgramNamedOnTheCommandLine) {
    const QString path = QString::fromStdString(dir.Write("cmd.hex", ":0300000002000AF1\n:00000001FF\n"));
    EXPECT_TRUE(form->OpenFromArguments({"corvamat", path}));
    EXPECT_EQ(form->windowTitle(), "Corvamat - " + QFileInfo(path).absoluteFilePath());
    EXPECT_EQ(QString::fromStdString(Settings.WorkDir), QDir::toNativeSeparators(QFileInfo(path).absolutePath() + "/"));
    EXPECT_TRUE(Form2);
    form->CloseHEXFileExecute(true);
    prompts.messages.clear();
    EXPECT_FALSE(form->OpenFromArguments({"corvamat", QString::fromStdString(dir.File("missing.hex"))}));
    EXPECT_EQ(prompts.messages.size(), 1);
    EXPECT_FALSE(form->OpenFromArguments({"corvamat"}));
}

// Step Back (Ctrl+F8), Reverse Continue (Ctrl+F9) and Go to Last Write rebuild earlier instants
// and show them in every window; Single Step and Run replay the recorded future; a change made in
// the past asks once before it discards that future.
TEST_F(DebuggerWindowTest, HistoryCommands) {
    ASSERT_TRUE(Open(kProgram));
    EXPECT_EQ(form->StepBack->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_F8));
    EXPECT_EQ(form->ReverseContinue->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_F9));
    form->ShowIntRAM->trigger();
    for (int i = 0; i < 6; ++i) Press(Qt::Key_F8);  // LCALL, INC 30h, LCALL, INC A, RET, RET
    ASSERT_EQ(ProgramCounter, 0x0003);

    // The last write of 30h, as the memory windows' context menus ask it: INC 30h, 4 instructions ago.
    DataBreakpoint t;
    t.address = 0x30;
    form->GoToLastWrite({t});
    WaitForRun();
    EXPECT_EQ(Machine.instructions, 2u);
    EXPECT_EQ(ProgramCounter, 0x000C);
    EXPECT_EQ(SelectedRow(), ListingRowMap[0x000A]);
    EXPECT_TRUE(form->HistoryPanel->text().startsWith("Last write at 000Ah: 4 instructions, "))
        << form->HistoryPanel->text().toStdString();

    Press(QKeyCombination(Qt::CTRL, Qt::Key_F8));
    EXPECT_EQ(ProgramCounter, 0x000A);
    EXPECT_EQ(InternalRam[0x30], 0);
    EXPECT_EQ(form->HistoryPanel->text(), "History: instruction 1 of 6");
    EXPECT_EQ(SelectedRow(), ListingRowMap[0x000A]);
    Press(Qt::Key_F8);  // replayed
    EXPECT_EQ(ProgramCounter, 0x000C);
    EXPECT_EQ(InternalRam[0x30], 1);

    AddCodeBreakpoint(0x0011);
    form->RunProg->trigger();  // through the recorded future to the breakpoint
    WaitForRun();
    EXPECT_EQ(ProgramCounter, 0x0011);
    EXPECT_EQ(InternalRam[Sfr::ACC], 1);
    AddCodeBreakpoint(0x000A);
    form->ReverseContinue->trigger();
    WaitForRun();
    EXPECT_EQ(ProgramCounter, 0x000A);
    EXPECT_EQ(form->HistoryPanel->text(), "History: instruction 1 of 6");
    Press(QKeyCombination(Qt::CTRL, Qt::Key_F9));  // no breakpoint before: the oldest instant
    EXPECT_EQ(ProgramCounter, 0x0000);
    EXPECT_EQ(InternalRam[Sfr::ACC], 0);

    // A change in the past: refused, then confirmed once, and the future is gone.
    prompts.messages.clear();
    prompts.answers = {false};
    form->ClearExtRAM->trigger();
    EXPECT_EQ(prompts.messages.size(), 1);
    EXPECT_EQ(form->HistoryPanel->text(), "History: instruction 0 of 6");
    form->ClearExtRAM->trigger();
    EXPECT_EQ(CurrentHistoryExtent().present, 0u);
    EXPECT_FALSE(HistoryInPast());
    Press(Qt::Key_F8);
    Press(QKeyCombination(Qt::CTRL, Qt::Key_F8));
    form->ClearExtRAM->trigger();
    EXPECT_EQ(prompts.messages.size(), 2);
}

}  // namespace
