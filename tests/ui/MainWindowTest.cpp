// The main window and the disassembly view: start state, commands and their states, opening and
// closing programs, runs, breakpoints, Reset, the option dialogs and closing the program.
#include <QCheckBox>
#include <QElapsedTimer>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <QComboBox>
#include <QElapsedTimer>
#include <QEnterEvent>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QScrollBar>
#include <QStatusBar>
#include <QTest>
#include <QToolButton>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QRadioButton>
#include <QTableView>
#include <QToolBar>

#include "AboutUnit.h"
#include "ByteEditUnit.h"
#include "DasmCfg.h"
#include "Disassembler.h"
#include "KeyCfg.h"
#include "Keypad4x4Cfg.h"
#include "LCDCfg.h"
#include "LEDBarCfg.h"
#include "KeyUnit.h"
#include "LEDCfg.h"
#include "LEDUnit.h"
#include "ReadmeView.h"
#include "SFRUnit.h"
#include "SimCfg.h"
#include "UiHarness.h"
#include "Unit2.h"

namespace {

QColor PixelOfRow(int row) {
    QTableView* grid = Form2->StringGrid1;
    QImage image = grid->viewport()->grab().toImage();
    QRect r = grid->visualRect(Form2->Model->index(row, 2));
    return image.pixelColor(r.right() - 3, r.center().y());
}

TEST_F(UiTest, StartState) {
    EXPECT_EQ(form->windowTitle(), "Corvamat");
    EXPECT_EQ(form->StatusPanels[0]->text(), "8052 @ 11.0592 Mhz");
    EXPECT_EQ(form->StatusPanels[1]->text(), "Simulation:");
    EXPECT_EQ(form->StatusPanels[2]->text(), "Controller:");
    EXPECT_TRUE(form->StatusPanels[3]->text().isEmpty());
    for (QAction* a : {form->CloseHEXFile, form->SaveDASM, form->RunProg, form->RunStep, form->Stop,
                       form->SetPC, form->ToggleBP, form->ClearBP, form->ShowDASM})
        EXPECT_FALSE(a->isEnabled()) << a->objectName().toStdString();
    for (QAction* a : {form->OpenHEX, form->ExitProg, form->ResetMC, form->ClearIntRAM,
                       form->ClearExtRAM, form->ShowSimCfg, form->ShowDasmCfg, form->WinClose,
                       form->ShowAbout})
        EXPECT_TRUE(a->isEnabled()) << a->objectName().toStdString();
    EXPECT_EQ(form->RunProg->shortcut(), QKeySequence(Qt::Key_F9));
    EXPECT_EQ(form->ClearBP->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_F5));
    EXPECT_EQ(form->ShowDASM->toolTip(), "Disassembly");
    EXPECT_EQ(form->RunStep->toolTip(), "Step");
    QStringList menus;
    for (QAction* m : form->menuBar()->actions()) menus << m->text().remove('&');
    EXPECT_EQ(menus, QStringList({"File", "Run", "View", "Configuration", "Windows", "Help"}));
    QStringList tools;
    for (QAction* a : form->ToolBar1->actions()) tools << (a->isSeparator() ? "-" : a->objectName());
    EXPECT_EQ(tools, QStringList({"OpenHEX", "-", "RunProg", "RunStep", "Stop", "ResetMC", "-", "ShowDASM",
                                  "ShowSFR8051", "ShowIntRAM", "ShowExtRAM", "ShowPorts", "ShowSerial"}));
    EXPECT_EQ(InternalRam[Sfr::SP], 0x07);
    EXPECT_EQ(InternalRam[Sfr::P2], 0xFF);
}

TEST_F(UiTest, OpenShowsTheListingAndEnablesTheCommands) {
    ASSERT_TRUE(Open({0x75, 0x89, 0x20, 0x80, 0xFE}));
    EXPECT_EQ(form->windowTitle(), "Corvamat - " + prompts.openFile);
    ASSERT_TRUE(Form2);
    EXPECT_EQ(Form2->windowTitle(), "Disassembly");
    EXPECT_EQ(Form2->Model->rowCount(), 2);
    EXPECT_EQ(Form2->Model->index(0, 1).data().toString(), "MOV TMOD,#32");
    EXPECT_EQ(Form2->Model->index(1, 0).data().toString(), "0003");
    for (QAction* a : {form->CloseHEXFile, form->RunProg, form->RunStep, form->ToggleBP,
                       form->ClearBP, form->ShowDASM, form->SetPC, form->SaveDASM})
        EXPECT_TRUE(a->isEnabled()) << a->objectName().toStdString();
    EXPECT_EQ(Form2->StringGrid1->columnWidth(1), 222);
    Form2->resize(500, 400);
    EXPECT_EQ(Form2->StringGrid1->columnWidth(0), 50);
    EXPECT_EQ(Form2->StringGrid1->columnWidth(2), 68);
}

TEST_F(UiTest, OpenOverALoadedProgramAsksFirst) {
    ASSERT_TRUE(Open({0x00}));
    prompts.answers = {false};
    prompts.openFile = QString::fromStdString(dir.Write("other.hex", ":0100000004FB\n"));
    form->OpenHEX->trigger();
    EXPECT_EQ(prompts.messages.last(),
              "This will remove current file from memory and reset program counter. Continue?");
    EXPECT_NE(ProgramFileName.find("prog.hex"), std::string::npos);
    form->OpenHEX->trigger();  // Yes
    EXPECT_NE(ProgramFileName.find("other.hex"), std::string::npos);
    EXPECT_EQ(Form2->Model->index(0, 1).data().toString(), "INC A");
}

TEST_F(UiTest, BrokenFilesLoadNothing) {
    prompts.openFile = QString::fromStdString(dir.Write("bad.hex", "not a record\n"));
    form->OpenHEX->trigger();
    EXPECT_EQ(prompts.messages.last(), "Invalid file format (line 1).");
    EXPECT_TRUE(ProgramFileName.empty());
    EXPECT_FALSE(form->RunProg->isEnabled());
    EXPECT_EQ(form->windowTitle(), "Corvamat");
    prompts.openFile = QString::fromStdString(dir.Write("notes.txt", "x"));
    form->OpenHEX->trigger();
    EXPECT_TRUE(ProgramFileName.empty());
    EXPECT_TRUE(prompts.messages.last().endsWith("notes.txt: not a .hex, .ihx or .bin file.")) << prompts.messages.last().toStdString();
    prompts.openFile.clear();  // cancelled
    form->OpenHEX->trigger();
    EXPECT_TRUE(ProgramFileName.empty());
}

TEST_F(UiTest, RunToABreakpointThenStepAndSetPc) {
    // 0000: INC A (x3), 0003: SJMP 0003h
    ASSERT_TRUE(Open({0x04, 0x04, 0x04, 0x80, 0xFE}));
    Form2->SelectRow(2);
    form->ToggleBP->trigger();
    EXPECT_EQ(BreakpointTable[2], 1);
    form->RunProg->trigger();
    WaitForRun();
    EXPECT_EQ(ProgramCounter, 2);
    EXPECT_EQ(InternalRam[Sfr::ACC], 2);
    EXPECT_EQ(Form2->SelectedRow(), 2);
    EXPECT_TRUE(form->RunProg->isEnabled());
    EXPECT_FALSE(form->Stop->isEnabled());
    EXPECT_TRUE(form->StatusPanels[1]->text().startsWith("Simulation: "));
    EXPECT_EQ(form->StatusPanels[2]->text(), "Controller: 2.17014E-6 sec");
    form->RunStep->trigger();
    WaitForRun();
    EXPECT_EQ(ProgramCounter, 3);
    EXPECT_EQ(Form2->SelectedRow(), 3);
    Form2->SelectRow(1);
    form->SetPC->trigger();
    EXPECT_EQ(ProgramCounter, 1);
    form->ToggleBP->trigger();
    form->ToggleBP->trigger();
    EXPECT_EQ(BreakpointTable[1], 0);
    form->ClearBP->trigger();
    EXPECT_EQ(BreakpointTable[2], 0);
}

TEST_F(UiTest, ALongRunStopsAtOnceAndReenablesTheCommands) {
    ASSERT_TRUE(Open({0x05, 0x30, 0x80, 0xFC}));  // INC 30h; SJMP 0000h
    form->RunProg->trigger();
    while (!form->Stop->isEnabled()) QApplication::processEvents();
    EXPECT_FALSE(form->RunProg->isEnabled());
    EXPECT_FALSE(form->OpenHEX->isEnabled());
    EXPECT_TRUE(form->ResetMC->isEnabled());
    form->Stop->trigger();
    WaitForRun();
    EXPECT_TRUE(form->RunProg->isEnabled());
    EXPECT_TRUE(form->OpenHEX->isEnabled());
    EXPECT_FALSE(form->Stop->isEnabled());
}

// Releases a program that waits for 30h to become nonzero after three seconds, so that a test of
// a hang fails instead of hanging.
class Release {
public:
    Release()
        : thread_([this] {
              std::unique_lock<std::mutex> lock(mutex_);
              if (!changed_.wait_for(lock, std::chrono::seconds(3), [this] { return cancelled_; }))
                  InternalRam.Set(0x30, 1);
          }) {}
    ~Release() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            cancelled_ = true;
        }
        changed_.notify_all();
        thread_.join();
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool cancelled_ = false;
    std::thread thread_;
};

// Run, Single Step and Stop take effect at once, before the worker has done anything.
TEST_F(UiTest, CommandsRightAfterRunAnswerAtOnce) {
    ASSERT_TRUE(Open({0xE5, 0x30, 0x60, 0xFC}));  // MOV A,30h; JZ 0000h
    QElapsedTimer timer;
    {
        Release release;
        form->RunProg->trigger();
        EXPECT_FALSE(form->RunProg->isEnabled());
        EXPECT_FALSE(form->RunStep->isEnabled());
        EXPECT_TRUE(form->Stop->isEnabled());
        timer.start();
        form->RunStep->trigger();  // ignored: the run goes on
        form->RunProg->trigger();
        form->RunStepExecute();
        EXPECT_LT(timer.elapsed(), 1000);
        EXPECT_TRUE(form->Running());
        InternalRam.Set(0x30, 1);
        WaitForRun();
    }
    EXPECT_EQ(ProgramCounter, 0);  // ran past the end
    InternalRam.Set(0x30, 0);
    {
        Release release;
        timer.start();
        form->RunProg->trigger();
        form->Stop->trigger();
        WaitForRun();
        EXPECT_LT(timer.elapsed(), 1000);
    }
    EXPECT_FALSE(form->Running());
    EXPECT_TRUE(form->RunProg->isEnabled());
    EXPECT_TRUE(form->RunStep->isEnabled());
    EXPECT_FALSE(form->Stop->isEnabled());
    EXPECT_EQ(InternalRam[0x30], 0);  // stopped, not released
}

TEST_F(UiTest, ResetDuringARunStopsItFirst) {
    ASSERT_TRUE(Open({0x05, 0x30, 0x80, 0xFC}));
    form->RunProg->trigger();
    while (!form->Stop->isEnabled()) QApplication::processEvents();
    form->ResetMC->trigger();
    EXPECT_FALSE(form->Running());
    QApplication::processEvents();
    EXPECT_EQ(ProgramCounter, 0);
    EXPECT_EQ(InternalRam[0x30], 0);
    EXPECT_EQ(InternalRam[Sfr::SP], 7);
    EXPECT_EQ(InternalRam[Sfr::P0], 0xFF);
    EXPECT_EQ(Form2->SelectedRow(), 0);
    EXPECT_TRUE(form->RunProg->isEnabled());
}

TEST_F(UiTest, ListingColours) {
    ASSERT_TRUE(Open({0x00, 0x00, 0x00, 0x00}));
    Form2->show();
    Form2->SelectRow(1);
    AddCodeBreakpoint(1);
    AddCodeBreakpoint(2);
    EXPECT_EQ(PixelOfRow(0), QColor(Qt::white));
    EXPECT_EQ(PixelOfRow(1), QColor(0x00, 0x00, 0xFF));  // selected breakpoint
    EXPECT_EQ(PixelOfRow(2), QColor(0xFF, 0x00, 0x00));  // breakpoint
    Form2->SelectRow(3);
    EXPECT_EQ(PixelOfRow(1), QColor(0xFF, 0x00, 0x00));
    EXPECT_EQ(PixelOfRow(3), QColor(0x00, 0x00, 0x80));
}

TEST_F(UiTest, ClosingTheViewDisablesItsCommands) {
    ASSERT_TRUE(Open({0x00}));
    Form2->close();
    QApplication::processEvents();
    EXPECT_FALSE(Form2);
    for (QAction* a : {form->SetPC, form->ToggleBP, form->ClearBP, form->SaveDASM})
        EXPECT_FALSE(a->isEnabled());
    form->ToggleBP->trigger();  // nothing happens without a view
    form->ShowDASM->trigger();
    ASSERT_TRUE(Form2);
    EXPECT_EQ(Form2->Model->rowCount(), 1);
    for (QAction* a : {form->SetPC, form->ToggleBP, form->ClearBP, form->SaveDASM})
        EXPECT_TRUE(a->isEnabled());
}

TEST_F(UiTest, CloseFileAsksAndClosesTheView) {
    ASSERT_TRUE(Open({0x00}));
    prompts.answers = {false};
    form->CloseHEXFile->trigger();
    EXPECT_EQ(prompts.messages.last(), "Close current program file and reset program counter?");
    EXPECT_FALSE(ProgramFileName.empty());
    form->CloseHEXFile->trigger();
    QApplication::processEvents();
    EXPECT_TRUE(ProgramFileName.empty());
    EXPECT_FALSE(Form2);
    EXPECT_EQ(form->windowTitle(), "Corvamat");
    EXPECT_FALSE(form->RunProg->isEnabled());
    EXPECT_FALSE(form->ShowDASM->isEnabled());
}

TEST_F(UiTest, WindowsCloseClosesEveryChild) {
    ASSERT_TRUE(Open({0x00}));
    form->MdiArea->addSubWindow(new QLabel("a"))->show();
    form->MdiArea->addSubWindow(new QLabel("b"))->show();
    EXPECT_EQ(form->MdiArea->subWindowList().size(), 3);
    form->WinClose->trigger();
    QApplication::processEvents();
    EXPECT_EQ(form->MdiArea->subWindowList().size(), 0);
    form->WinClose->trigger();
}

TEST_F(UiTest, SaveDisassemblyWritesTheExport) {
    ASSERT_TRUE(Open({0x75, 0x89, 0x20, 0x80, 0xFE}));
    prompts.saveFile = QString::fromStdString(dir.File("out.asm"));
    form->SaveDASM->trigger();
    EXPECT_EQ(dir.Read("out.asm"), "\tMOV\tTMOD,#32\r\nLABEL1:\r\n\tSJMP\tLABEL1\r\n");
    prompts.saveFile = QString::fromStdString(dir.File("missing/out.asm"));
    form->SaveDASM->trigger();
    EXPECT_TRUE(prompts.messages.last().contains("missing/out.asm"));
}

TEST_F(UiTest, SimulationOptionsCheckEveryFieldBeforeChangingAnything) {
    TSimCfgForm* d = form->SimCfgForm;
    d->FormCreate();
    EXPECT_EQ(d->Edit1->text(), "11059200");
    EXPECT_EQ(d->Edit3->text(), "8000");
    d->Edit1->setText("500000");
    d->Radio8051->setChecked(true);
    EXPECT_FALSE(d->Button1Click());
    EXPECT_EQ(prompts.messages.last(), "Frequency must be between 1000000 and 80000000 Hz.");
    EXPECT_EQ(Settings.Processor, 1);
    d->Edit1->setText("12000000");
    d->Edit2->setText("300");
    EXPECT_FALSE(d->Button1Click());
    EXPECT_EQ(prompts.messages.last(), "Update screen every: enter at most 255 instructions.");
    d->Edit2->setText("100");
    d->Edit3->setText("");
    EXPECT_FALSE(d->Button1Click());
    EXPECT_EQ(prompts.messages.last(), "'$' is not a valid integer value");
    d->Edit3->setText("1f40");
    EXPECT_TRUE(d->Button1Click());
    EXPECT_EQ(Settings.Frequency, 12000000);
    EXPECT_EQ(Settings.ScrUpdate, 100);
    EXPECT_EQ(Settings.BinOffset, 0x1F40);
    EXPECT_EQ(Settings.Processor, 0);
    EXPECT_EQ(Processor8052, 0);
    EXPECT_EQ(form->StatusPanels[0]->text(), "8051 @ 12 Mhz");
    EXPECT_FALSE(d->CheckBox6->isChecked());
    d->CheckBox1->setChecked(false);
    d->CheckBox2->setChecked(false);
    d->CheckBox6->setChecked(true);
    EXPECT_TRUE(d->Button1Click());
    EXPECT_EQ(Settings.ScrUpdate, 0);
    EXPECT_TRUE(Settings.RealTime);
    d->FormCreate();
    EXPECT_TRUE(d->CheckBox6->isChecked());
    EXPECT_FALSE(d->Edit2->isEnabled());
    EXPECT_EQ(d->Edit2->text(), "1");
    EXPECT_EQ(d->Edit3->text(), "1");
}

TEST_F(UiTest, DelNopsSwitchesTheProgramEnd) {
    ASSERT_TRUE(Open({0x04, 0x04}));
    TSimCfgForm* d = form->SimCfgForm;
    d->FormCreate();
    d->CheckBox3->setChecked(false);
    EXPECT_TRUE(d->Button1Click());
    EXPECT_EQ(ProgramEnd, 0xFFFF);
    EXPECT_EQ(Form2->Model->rowCount(), 0x10000);
    d->FormCreate();
    d->CheckBox3->setChecked(true);
    EXPECT_TRUE(d->Button1Click());
    EXPECT_EQ(ProgramEnd, 1);
    EXPECT_EQ(Form2->Model->rowCount(), 2);
}

TEST_F(UiTest, DisassemblerOptionsReplaceTheViewInPlace) {
    ASSERT_TRUE(Open({0x74, 0xF0}));
    Form2->move(40, 30);
    TDasmCfgForm* d = form->DasmCfgForm;
    d->FormShow();
    d->ComboBox1->setCurrentIndex(2);
    d->CheckBox[0]->setChecked(false);
    d->Button1Click();
    ASSERT_TRUE(Form2);
    Form2->BuildListingIntoGrid();
    EXPECT_EQ(Form2->pos(), QPoint(40, 30));
    EXPECT_EQ(Form2->Model->index(0, 1).data().toString(), "mov A,#F0h");
    EXPECT_EQ(Settings.Numbers, 2);
    EXPECT_FALSE(Settings.Optn[0]);
}

TEST_F(UiTest, ClosingWritesTheSettingsAndSurvivesAnUnwritableFile) {
    Settings.Frequency = 24000000;
    form->close();
    EXPECT_NE(dir.Read("corvamat.ini").find("Frequency=24000000"), std::string::npos);
    form.reset();
    QApplication::processEvents();
    form = std::make_unique<TForm1>(QString::fromStdString(dir.File("nowhere/corvamat.ini")));
    EXPECT_EQ(Settings.Frequency, 11059200);
    form->close();
    EXPECT_TRUE(prompts.messages.last().startsWith("Unable to write to "));
    EXPECT_TRUE(prompts.messages.last().endsWith("nowhere/corvamat.ini"));
}

TEST_F(UiTest, ExitDuringARunClosesCleanly) {
    ASSERT_TRUE(Open({0x05, 0x30, 0x80, 0xFC}));
    form->RunProg->trigger();
    while (!form->Stop->isEnabled()) QApplication::processEvents();
    form->ExitProg->trigger();
    EXPECT_FALSE(form->Running());
    EXPECT_NE(dir.Read("corvamat.ini").find("[Options]"), std::string::npos);
}

}  // namespace

namespace {

// Every window and dialog on both processors, as a user opens them: no text cut off or run
// together, no window smaller than its content.
TEST_F(UiTest, EveryWindowShowsItsTextsInFull) {
    form->show();
    // The listing's longest instructions and operands.
    ASSERT_TRUE(Open({0xB5, 0xFF, 0x80, 0x10, 0xFF, 0x80, 0x02, 0xFF, 0xFF, 0x85, 0xF0, 0xE0}));
    for (int processor : {1, 0}) {
        Processor8052 = uint8_t(processor);
        for (QAction* a : {form->ShowDASM, form->ShowSFR8051, form->ShowIntRAM, form->ShowExtRAM, form->ShowPorts,
                           form->ShowSerial, form->ShowLED, form->ShowKeys, form->ShowDebugger, form->ShowWatch,
                           form->ShowSource, form->ShowLCD, form->ShowKeypad4x4, form->ShowLEDBar})
            a->trigger();
        QApplication::processEvents();
        if (Form2) {
            EXPECT_EQ(ClippedListingCells(Form2->StringGrid1).join('\n').toStdString(), "");
        }
        for (QMdiSubWindow* w : form->MdiArea->subWindowList())
            EXPECT_EQ(CrampedTexts(w).join('\n').toStdString(), "") << w->windowTitle().toStdString() << processor;
        form->WinCloseExecute();
        QApplication::processEvents();
    }
    for (QDialog* d : std::initializer_list<QDialog*>{ByteEditForm, form->SimCfgForm, form->DasmCfgForm,
                                                     form->AboutForm, form->LEDCfgForm, form->KeyCfgForm,
                                                     form->LCDCfgForm, form->Keypad4x4CfgForm, form->LEDBarCfgForm}) {
        d->show();
        QApplication::processEvents();
        EXPECT_EQ(CrampedTexts(d).join('\n').toStdString(), "") << d->objectName().toStdString();
        d->hide();
    }
    // The LED window, opened wide and made narrow and wide again through its dialog, shows all
    // 58 rows of its picture.
    Settings.Digits = 8;
    form->ShowLED->trigger();
    for (int digits : {8, 1, 5}) {
        form->LEDCfgForm->FormShow();
        form->LEDCfgForm->TrackBar1->setValue(1 - digits);
        form->LEDCfgForm->Button1Click();
        QApplication::processEvents();
        EXPECT_EQ(LEDForm->Image1->height(), 58);
        EXPECT_EQ(CrampedTexts(LEDForm).join('\n').toStdString(), "") << digits;
    }
}

}  // namespace

namespace {

// Arrow keys scroll the listing to the row they select, so that F5 acts on a row the user sees;
// Reset (like the run) selects its row without scrolling.
TEST_F(UiTest, ArrowKeysScrollTheListingAndResetDoesNot) {
    form->show();
    ASSERT_TRUE(Open(std::vector<uint8_t>(200, 0x00)));  // 200 NOPs, a row each
    QApplication::processEvents();
    QTableView* grid = Form2->StringGrid1;
    Form2->SelectRow(0);
    grid->setFocus();
    for (int i = 0; i < 40; ++i) QTest::keyClick(grid, Qt::Key_Down);
    ASSERT_EQ(Form2->SelectedRow(), 40);
    EXPECT_TRUE(grid->viewport()->rect().contains(grid->visualRect(Form2->Model->index(40, 0))));
    const int scrolled = grid->verticalScrollBar()->value();
    EXPECT_GT(scrolled, 0);
    form->ResetMC->trigger();
    EXPECT_EQ(Form2->SelectedRow(), 0);
    EXPECT_EQ(grid->verticalScrollBar()->value(), scrolled);
}

// Hovering a menu item or a tool button shows its hint as a tool tip; the status bar keeps its
// four panels, whose texts a screen reader reads with their purpose as description.
TEST_F(UiTest, StatusBarPanelsStayAndReachAssistiveTechnology) {
    form->show();
    QApplication::processEvents();
    for (QAction* a : form->findChildren<QAction*>()) a->showStatusText(form.get());  // a menu's hover
    for (QToolButton* b : form->ToolBar1->findChildren<QToolButton*>()) {
        QEnterEvent enter(QPointF(2, 2), QPointF(2, 2), QPointF(2, 2));
        QApplication::sendEvent(b, &enter);
    }
    EXPECT_EQ(form->statusBar()->currentMessage().toStdString(), "");
    for (QLabel* panel : form->StatusPanels) EXPECT_TRUE(panel->isVisible());
    EXPECT_EQ(form->RunStep->toolTip(), "Step");
    EXPECT_EQ(AccessibleText(form->StatusPanels[0]), "8052 @ 11.0592 Mhz");
    EXPECT_EQ(AccessibleText(form->StatusPanels[0], QAccessible::Description), "Processor and clock");
    EXPECT_EQ(AccessibleText(form->StatusPanels[2]), "Controller:");
}

// The open dialog shows plain patterns and finds the files whatever the case of their names.
TEST_F(UiTest, OpenDialogMatchesExtensionsInAnyCase) {
    prompts.openFile.clear();
    form->OpenHEX->trigger();
    EXPECT_EQ(prompts.openFilter.toStdString(),
              "All supported files (*.hex *.ihx *.bin);;Binaries (*.bin);;Intel standard HEX files (*.hex *.ihx)");
    for (const char* name : {"a.HEX", "b.Ihx", "c.bin", "d.txt"}) dir.Write(name, "");
    const QString folder = QString::fromStdString(dir.Path().string());
    QFileDialog dialog(nullptr, QStringLiteral("Open"), folder, prompts.openFilter);
    MatchFileNamesInAnyCase(dialog);
    auto* model = dialog.findChild<QFileSystemModel*>();
    ASSERT_TRUE(model);
    QElapsedTimer timer;
    timer.start();
    QStringList shown;
    while (timer.elapsed() < 5000 && shown.size() < 3) {
        QApplication::processEvents(QEventLoop::AllEvents, 50);
        shown.clear();
        const QModelIndex root = model->index(folder);
        for (int r = 0; r < model->rowCount(root); ++r) {
            const QModelIndex i = model->index(r, 0, root);
            if (model->flags(i) & Qt::ItemIsEnabled) shown << i.data().toString();
        }
    }
    shown.sort();
    EXPECT_EQ(shown, QStringList({"a.HEX", "b.Ihx", "c.bin"}));
}

// Where no application opens text files, the readme shows in a read-only window of ours; a file
// that cannot be read is reported. (The test platform has no launcher at all.)
TEST_F(UiTest, TextFilesShowInAWindowOfOurOwn) {
    OpenTextFile(form.get(), QString::fromStdString(dir.Write("notes.txt", "Line one\nLine two\n")));
    ASSERT_TRUE(TextFileForm);
    EXPECT_TRUE(TextFileForm->isVisible());
    EXPECT_TRUE(TextFileForm->Memo1->isReadOnly());
    EXPECT_EQ(TextFileForm->Memo1->toPlainText(), "Line one\nLine two\n");
    EXPECT_EQ(TextFileForm->windowTitle(), "notes.txt");
    OpenTextFile(form.get(), QString::fromStdString(dir.File("missing.txt")));
    ASSERT_EQ(prompts.messages.size(), 1);
    EXPECT_TRUE(prompts.messages[0].startsWith("Unable to open ")) << prompts.messages[0].toStdString();
    form->ShowReadme->trigger();  // readme.txt beside the tests or a message: never nothing
    EXPECT_TRUE(TextFileForm->windowTitle() == "readme.txt" || prompts.messages.size() == 2);
    emit form->AboutForm->Label3->linkActivated(QString());  // the About box's links likewise
    EXPECT_TRUE(TextFileForm->windowTitle() == "readme.txt" || prompts.messages.size() == 3);
    TextFileForm->close();
}

// About shows the build date as a date.
TEST_F(UiTest, AboutShowsTheBuildDate) {
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^Version \\S+ \\(\\d{4}-\\d{2}-\\d{2}\\)$"))
                    .match(CorvamatVersionLine())
                    .hasMatch())
        << CorvamatVersionLine().toStdString();
}

}  // namespace
