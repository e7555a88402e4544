// The register view, the byte editor and the memory views: cells, refreshes from both threads,
// editing, the PSW boxes, paging, and windows opened and closed during a run.
#include <QCheckBox>
#include <QLabel>
#include <QGroupBox>
#include <QLineEdit>
#include <QMdiArea>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTableWidget>

#include "ByteEditUnit.h"
#include "SFRUnit.h"
#include "UiHarness.h"
#include "Unit3.h"
#include "Unit4.h"

namespace {

QString Cell(QTableWidget* grid, int row, int column = 0) { return grid->item(row, column)->text(); }

class ViewsTest : public UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        EditEntryOverride = [this](const QString& caption, uint8_t value) -> std::optional<uint8_t> {
            captions << caption;
            shown.push_back(value);
            return answer;
        };
    }
    void TearDown() override {
        EditEntryOverride = nullptr;
        UiTest::TearDown();
    }
    // The centre of row k of the register view's column grid, in GroupBox1's co-ordinates.
    QPoint RowPoint(QTableWidget* grid, int k) { return grid->pos() + QPoint(12, 18 * k + 8); }

    QStringList captions;
    std::vector<uint8_t> shown;
    std::optional<uint8_t> answer;
};

TEST_F(ViewsTest, RegisterViewFollowsStoresOfTheSelectedBank) {
    form->ShowSFR8051->trigger();
    ASSERT_TRUE(SFRForm8051);
    TSFRForm8051* v = SFRForm8051;
    EXPECT_EQ(Cell(v->StringGrid2, 0), " 07");  // SP
    EXPECT_EQ(Cell(v->StringGrid5, 0), " 0000");
    WriteDirectUser(Sfr::PSW, 0x18);
    WriteDirectUser(0x1A, 0x5C);
    EXPECT_EQ(Cell(v->StringGrid1, 4), " 5C");  // R2 of bank 3
    WriteDirectUser(0x02, 0x77);
    EXPECT_EQ(Cell(v->StringGrid1, 4), " 5C");
    WriteDirectUser(Sfr::PSW, 0x00);  // back to bank 0: R2 shows 02h at once
    EXPECT_EQ(Cell(v->StringGrid1, 4), " 77");
    EXPECT_EQ(Cell(v->StringGrid4, 0), " 00");
    WriteDirectUser(0x83, 0x12);
    WriteDirectUser(0x82, 0x34);
    EXPECT_EQ(Cell(v->StringGrid2, 5), " 12");  // DPH
    EXPECT_EQ(Cell(v->StringGrid2, 6), " 34");  // DPL
    EXPECT_EQ(v->StringGrid3->rowCount(), 11);
}

TEST_F(ViewsTest, DoubleClickEditsTheRowUnderThePointer) {
    form->ShowSFR8051->trigger();
    TSFRForm8051* v = SFRForm8051;
    WriteDirectUser(Sfr::PSW, 0x08);
    answer = 0x42;
    v->EditAt(RowPoint(v->StringGrid1, 2));  // R0 of bank 1
    EXPECT_EQ(captions.last(), "SFR: R0");
    EXPECT_EQ(InternalRam[0x08], 0x42);
    EXPECT_EQ(Cell(v->StringGrid1, 2), " 42");
    v->EditAt(RowPoint(v->StringGrid2, 5));  // DPH
    EXPECT_EQ(captions.last(), "SFR: DPH");
    EXPECT_EQ(InternalRam[0x83], 0x42);
    size_t before = captions.size();
    v->EditAt(RowPoint(v->StringGrid1, 2) + QPoint(0, 9));  // between two rows
    v->EditAt(RowPoint(v->StringGrid1, 2) + QPoint(30, 0));  // beside the grid
    EXPECT_EQ(size_t(captions.size()), before);
    // Cancel writes nothing, even when the byte changed meanwhile.
    WriteDirectUser(Sfr::ACC, 0x12);
    answer.reset();
    v->EditAt(RowPoint(v->StringGrid1, 0));
    EXPECT_EQ(shown.back(), 0x12);
    EXPECT_EQ(InternalRam[Sfr::ACC], 0x12);
}

TEST_F(ViewsTest, The8051LayoutHasSixTimerRows) {
    Processor8052 = 0;
    Settings.Processor = 0;
    form->ShowSFR8051->trigger();
    TSFRForm8051* v = SFRForm8051;
    EXPECT_EQ(v->StringGrid3->rowCount(), 6);
    answer = 1;
    v->EditAt(RowPoint(v->StringGrid3, 6));  // below TL0
    EXPECT_TRUE(captions.isEmpty());
    v->EditAt(RowPoint(v->StringGrid3, 5));
    EXPECT_EQ(captions.last(), "SFR: TL0");
    Processor8052 = 1;
}

TEST_F(ViewsTest, PswBoxesStoreStraightIntoMemory) {
    form->ShowSFR8051->trigger();
    TSFRForm8051* v = SFRForm8051;
    EXPECT_FALSE(v->PswBits[1]->isEnabled());
    v->PswBits[7]->click();
    EXPECT_EQ(InternalRam[Sfr::PSW], 0x80);
    EXPECT_EQ(Cell(v->StringGrid4, 0), " 80");
    WriteDirectUser(Sfr::PSW, 0x05);
    EXPECT_TRUE(v->PswBits[0]->isChecked());
    EXPECT_TRUE(v->PswBits[2]->isChecked());
    EXPECT_FALSE(v->PswBits[7]->isChecked());
    // RS0 and RS1 switch the bank that the R0-R7 rows show at once.
    for (uint16_t a = 0; a < 0x20; ++a) InternalRam.Set(a, uint8_t(0x40 + a));
    v->PswBits[3]->click();  // RS0: bank 1
    for (int r = 0; r < 8; ++r) EXPECT_EQ(Cell(v->StringGrid1, 2 + r), ByteCell(uint8_t(0x48 + r))) << r;
    v->PswBits[4]->click();  // RS1 as well: bank 3
    EXPECT_EQ(Cell(v->StringGrid1, 2), " 58");
    EXPECT_EQ(Cell(v->StringGrid1, 9), " 5F");
}

TEST_F(ViewsTest, ByteEditorKeepsTextAndBoxesInStep) {
    EditEntryOverride = nullptr;
    TByteEditForm* e = ByteEditForm;
    ASSERT_TRUE(e);
    e->Edit1->setText("5A");
    for (int i = 0; i < 8; ++i) EXPECT_EQ(e->Bits[i]->isChecked(), ((0x5A >> i) & 1) != 0) << i;
    e->Bits[0]->click();
    EXPECT_EQ(e->Edit1->text(), "5B");
    e->Edit1->setText("");
    unsigned v = 99;
    EXPECT_TRUE(e->Value(&v));
    EXPECT_EQ(v, 0u);
    e->Edit1->setText("XY");  // pasted text
    EXPECT_EQ(prompts.messages.last(), "'$XY' is not a valid integer value");
}

TEST_F(ViewsTest, InternalViewShowsTheUpperRamNotTheRegisters) {
    form->ShowIntRAM->trigger();
    ASSERT_TRUE(Form3);
    TForm3* v = Form3;
    EXPECT_EQ(v->StringGrid1->rowCount(), 16);
    EXPECT_EQ(v->StringGrid1->verticalHeaderItem(8)->text(), " 80");
    EXPECT_EQ(v->StringGrid1->horizontalHeaderItem(10)->text(), "  A");
    WriteDirectUser(0x80, 0x55);  // P0: no cell
    EXPECT_EQ(Cell(v->StringGrid1, 8, 0), " 00");
    WriteDirectUser(0x80, 0x55, true);  // through @R0: upper RAM
    EXPECT_EQ(InternalRam[0x100], 0x55);
    EXPECT_EQ(Cell(v->StringGrid1, 8, 0), " 55");
    answer = 0x66;
    v->EditCell(0x80);
    EXPECT_EQ(captions.last(), "Internal RAM: 80h");
    EXPECT_EQ(InternalRam[0x100], 0x66);
    EXPECT_EQ(InternalRam[0x80], 0x55);
    v->EditCell(0x3A);
    EXPECT_EQ(captions.last(), "Internal RAM: 3Ah");
    EXPECT_EQ(InternalRam[0x3A], 0x66);
}

TEST_F(ViewsTest, The8051InternalViewHasEightRows) {
    Processor8052 = 0;
    form->ShowIntRAM->trigger();
    EXPECT_EQ(Form3->StringGrid1->rowCount(), 8);
    Processor8052 = 1;
}

TEST_F(ViewsTest, ExternalViewPages) {
    form->ShowExtRAM->trigger();
    ASSERT_TRUE(Form4);
    TForm4* v = Form4;
    ExternalRam.Set(0x1234, 0x7E);
    v->ScrollBar1->setValue(0x12);
    EXPECT_EQ(v->StringGrid1->verticalHeaderItem(0)->text(), " 1200");
    EXPECT_EQ(v->StringGrid1->verticalHeaderItem(15)->text(), " 12F0");
    EXPECT_EQ(Cell(v->StringGrid1, 3, 4), " 7E");
    WriteExternalRam(0x1234, 0x11);
    EXPECT_EQ(Cell(v->StringGrid1, 3, 4), " 11");
    WriteExternalRam(0x0034, 0x22);
    EXPECT_EQ(Cell(v->StringGrid1, 3, 4), " 11");
    answer.reset();
    v->EditCell(3, 4);
    EXPECT_EQ(captions.last(), "External RAM: 1234h");
    EXPECT_EQ(shown.back(), 0x11);
    EXPECT_EQ(ExternalRam[0x1234], 0x11);
}

TEST_F(ViewsTest, ProcessorSwitchRebuildsTheViewsInPlace) {
    form->ShowSFR8051->trigger();
    form->ShowIntRAM->trigger();
    SFRForm8051->move(30, 20);
    Form3->showMinimized();
    TSimCfgForm* d = form->SimCfgForm;
    d->FormCreate();
    d->Radio8051->setChecked(true);
    ASSERT_TRUE(d->Button1Click());
    QApplication::processEvents();
    ASSERT_TRUE(SFRForm8051);
    ASSERT_TRUE(Form3);
    EXPECT_EQ(SFRForm8051->StringGrid3->rowCount(), 6);
    EXPECT_EQ(SFRForm8051->pos(), QPoint(30, 20));
    EXPECT_EQ(Form3->StringGrid1->rowCount(), 8);
    EXPECT_TRUE(Form3->isMinimized());
    d->FormCreate();
    d->Radio8052->setChecked(true);
    ASSERT_TRUE(d->Button1Click());
}

TEST_F(ViewsTest, WindowsOpenAndCloseDuringARunWithEveryStoreRefreshing) {
    // INC 30h; MOV A,30h; MOV 31h,A; MOVX @DPTR,A; PUSH/POP ACC; SJMP back
    ASSERT_TRUE(Open({0x05, 0x30, 0xE5, 0x30, 0xF5, 0x31, 0xF0, 0xC0, 0xE0, 0xD0, 0xE0, 0x80, 0xF3}));
    Settings.ScrUpdate = 1;
    form->ShowSFR8051->trigger();
    form->ShowIntRAM->trigger();
    form->ShowExtRAM->trigger();
    form->RunProg->trigger();
    for (int i = 0; i < 100; ++i) {
        QApplication::processEvents();
        switch (i % 3) {
            case 0: SFRForm8051->close(); form->ShowSFR8051->trigger(); break;
            case 1: Form3->close(); form->ShowIntRAM->trigger(); break;
            case 2: Form4->close(); form->ShowExtRAM->trigger(); break;
        }
        QApplication::processEvents();
    }
    EXPECT_TRUE(form->Running());
    form->StopExecute();  // the action may not be enabled yet
    WaitForRun();
    EXPECT_FALSE(form->Running());
    // The stopped debugger shows the machine as it is.
    EXPECT_EQ(Cell(Form3->StringGrid1, 3, 0), ByteCell(InternalRam[0x30]));
    EXPECT_EQ(Cell(SFRForm8051->StringGrid1, 0), ByteCell(InternalRam[Sfr::ACC]));
    EXPECT_EQ(Cell(SFRForm8051->StringGrid5, 0),
              QStringLiteral(" %1").arg(int(ProgramCounter), 4, 16, QLatin1Char('0')).toUpper());
}

TEST_F(ViewsTest, WithRefreshesOffTheViewsFollowWhenTheRunEnds) {
    ASSERT_TRUE(Open({0x75, 0x30, 0x99, 0x75, 0xE0, 0x42}));  // MOV 30h,#99h; MOV ACC,#42h
    Settings.ScrUpdate = 0;
    form->ShowSFR8051->trigger();
    form->ShowIntRAM->trigger();
    form->RunProg->trigger();
    WaitForRun();
    EXPECT_EQ(Cell(Form3->StringGrid1, 3, 0), " 99");
    EXPECT_EQ(Cell(SFRForm8051->StringGrid1, 0), " 42");
    EXPECT_EQ(Cell(SFRForm8051->StringGrid5, 0), " 0000");
}

// The program counter cell and the status bar's simulation time follow a run at the display's
// pace, and stand still with the screen update off; a newly opened program shows 0000.
TEST_F(ViewsTest, ProgramCounterCellFollowsARunAndANewProgram) {
    std::vector<uint8_t> program(200, 0x00);  // NOPs, then LJMP 0000h
    program.insert(program.end(), {0x02, 0x00, 0x00});
    ASSERT_TRUE(Open(program));
    form->ShowSFR8051->trigger();
    QTableWidgetItem* pc = SFRForm8051->StringGrid5->item(0, 0);
    Settings.ScrUpdate = 1;
    form->RunProg->trigger();
    EXPECT_TRUE(WaitUntil([&] { return pc->text() != " 0000"; }));
    EXPECT_TRUE(WaitUntil([&] { return form->StatusPanels[1]->text().startsWith("Simulation: "); }));
    EXPECT_TRUE(form->Running());
    form->StopExecute();
    WaitForRun();

    Settings.ScrUpdate = 0;
    const QString stopped = pc->text(), time = form->StatusPanels[1]->text();
    form->RunProg->trigger();
    QElapsedTimer run;
    run.start();
    while (run.elapsed() < 200) QApplication::processEvents(QEventLoop::AllEvents, 5);
    EXPECT_EQ(pc->text(), stopped);
    EXPECT_EQ(form->StatusPanels[1]->text(), time);
    form->StopExecute();
    WaitForRun();

    ProgramCounter = 0x55;
    form->ShowProgramCounter(0x55);
    ASSERT_TRUE(Open({0x00, 0x00}, "other.hex"));
    EXPECT_EQ(pc->text(), " 0000");
}

TEST_F(ViewsTest, ResetRedrawsTheViews) {
    form->ShowSFR8051->trigger();
    form->ShowIntRAM->trigger();
    InternalRam.Set(0x30, 0x12);
    InternalRam.Set(Sfr::B, 0x34);
    form->ResetMC->trigger();
    EXPECT_EQ(Cell(Form3->StringGrid1, 3, 0), " 00");
    EXPECT_EQ(Cell(SFRForm8051->StringGrid1, 1), " 00");
}

}  // namespace

namespace {

// A screen reader reads the values of the register cells, with the register as description.
TEST_F(ViewsTest, RegisterValuesReachAssistiveTechnology) {
    form->ShowSFR8051->trigger();
    WriteDirectUser(Sfr::ACC, 0x5A);
    EXPECT_EQ(AccessibleCellText(SFRForm8051->StringGrid1, 0, 0), " 5A");
    EXPECT_EQ(AccessibleCellText(SFRForm8051->StringGrid1, 0, 0, QAccessible::Description), "ACC");
    EXPECT_EQ(AccessibleCellText(SFRForm8051->StringGrid3, 1, 0, QAccessible::Description), "TMOD");
    EXPECT_EQ(AccessibleCellText(SFRForm8051->StringGrid5, 0, 0), " 0000");
    EXPECT_EQ(AccessibleCellText(SFRForm8051->StringGrid4, 0, 0, QAccessible::Description), "PSW");
}

// Where the layout puts the byte editor's bit numbers.
TEST_F(ViewsTest, ByteEditorBitNumbersStandAboveTheirBoxes) {
    QStringList wrong;
    for (QLabel* l : ByteEditForm->findChildren<QLabel*>()) {
        bool digit = false;
        const int i = l->text().toInt(&digit);
        if (digit && (l->pos() != QPoint(164 - 18 * i, 44))) wrong << l->text();
    }
    EXPECT_EQ(wrong.join(' ').toStdString(), "");
}

}  // namespace
