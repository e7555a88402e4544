// The Logic Analyzer window: choosing signals, the cursors on a PWM program's edges, and the click
// on an edge that selects the instruction which made it.
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "Disassembler.h"
#include "LogicUnit.h"
#include "UiHarness.h"
#include "Unit2.h"

namespace {

class LogicWindowTest : public UiTest {
protected:
    void TearDown() override {
        if (LogicForm) LogicForm->close();
        QApplication::processEvents();
        UiTest::TearDown();
    }
    TLogicForm* Open() {
        form->ShowLogic->trigger();
        return LogicForm;
    }
    bool Add(const QString& name) {
        LogicForm->ComboBox1->setEditText(name);
        const int before = LogicForm->SignalCount();
        LogicForm->Button1->click();
        return LogicForm->SignalCount() == before + 1;
    }
    QPoint At(int row, uint64_t cycle) {
        return QPoint(int(std::lround(LogicForm->WaveView->XOf(double(cycle)))),
                      TWaveView::kAxisHeight + row * TWaveView::kRowHeight + TWaveView::kRowHeight / 2);
    }
};

}  // namespace

TEST_F(LogicWindowTest, SignalsAreAddedAndRemovedAndBadNamesRefused) {
    TLogicForm* w = Open();
    ASSERT_TRUE(w);
    EXPECT_TRUE(LogicSignals.Empty());
    EXPECT_TRUE(Add("P1.3"));
    EXPECT_TRUE(Add("tl0"));
    EXPECT_TRUE(Add("30:iram"));
    EXPECT_FALSE(Add("P9.9"));
    EXPECT_FALSE(Add("p1.3"));  // shown already, whatever the case
    ASSERT_EQ(prompts.messages.size(), 2);
    EXPECT_TRUE(prompts.messages[0].startsWith("no signal P9.9"));
    EXPECT_EQ(prompts.messages[1], "P1.3 is shown already");
    ASSERT_EQ(LogicSignals.Signals().size(), 3u);
    EXPECT_EQ(w->SignalName(1), "tl0");
    // A byte's values are hexadecimal or decimal, per signal.
    WriteDirectUser(Sfr::TL0, 0x9C);
    w->Poll();
    EXPECT_EQ(w->ValueText(1, w->History().LastCycle()), "9Ch");
    w->SelectRow(1);
    w->ComboBox2->setCurrentIndex(1);
    EXPECT_EQ(w->ValueText(1, w->History().LastCycle()), "156");
    EXPECT_EQ(w->ValueText(2, w->History().LastCycle()), "00h");
    // The selected row goes; the others keep their order and radix.
    w->SelectRow(0);
    w->Button2->click();
    ASSERT_EQ(w->SignalCount(), 2);
    EXPECT_EQ(w->SignalName(0), "tl0");
    EXPECT_EQ(w->ValueText(0, w->History().LastCycle()), "156");
    EXPECT_EQ(LogicSignals.Signals().size(), 2u);
    EXPECT_TRUE(AccessibleText(w->WaveView).startsWith("tl0 156"));
    form->show();
    QApplication::processEvents();
    EXPECT_EQ(CrampedTexts(w).join("\n").toStdString(), "");
    // Closing the window between runs stops the recording, so runs cost what they cost without it.
    w->close();
    QApplication::processEvents();
    EXPECT_TRUE(LogicSignals.Empty());
}

TEST_F(LogicWindowTest, CursorsMeasureThePwmAndAnEdgeSelectsItsInstruction) {
    ASSERT_TRUE(form->LoadProgramFromFile(QStringLiteral(CORVAMAT_EXAMPLES "/pwm.hex")));
    TLogicForm* w = Open();
    ASSERT_TRUE(Add("P1.0"));
    form->RunProg->trigger();
    QTest::qWait(100);
    EXPECT_FALSE(w->Button1->isEnabled());  // the signals stay as they are while it runs
    form->Stop->trigger();
    WaitForRun();
    w->Poll();
    EXPECT_TRUE(w->Button1->isEnabled());
    const auto& edges = w->History().Changes(0);
    ASSERT_GT(edges.size(), 8u);
    std::size_t rise = 2;
    while (edges[rise].value != 1) ++rise;
    w->show();
    w->ShowCycles(double(edges[rise].cycle) - 200, 5);

    // Cursor A on the rising edge (a click), B on the falling one (a right click): the high time.
    QTest::mouseClick(w->WaveView, Qt::LeftButton, {}, At(0, edges[rise].cycle + 1));
    QTest::mouseClick(w->WaveView, Qt::RightButton, {}, At(0, edges[rise + 1].cycle - 1));
    ASSERT_EQ(w->Cursor(0), edges[rise].cycle);
    ASSERT_EQ(w->Cursor(1), edges[rise + 1].cycle);
    EXPECT_TRUE(w->Label1->text().contains(QString::fromUtf8("\u0394t: 325.521 \u00b5s (300 cycles)")))
        << w->Label1->text().toStdString();
    EXPECT_TRUE(w->Label1->text().contains(QString::fromUtf8("1/\u0394t: 3072 Hz")));
    // B on the next rising edge: one period, 1000 cycles.
    QTest::mouseClick(w->WaveView, Qt::RightButton, {}, At(0, edges[rise + 2].cycle));
    EXPECT_TRUE(w->Label1->text().contains(QString::fromUtf8("(1000 cycles)    1/\u0394t: 921.6 Hz")))
        << w->Label1->text().toStdString();

    // The click on the edge selected the instruction that made it: MOV P1.0,C of the interrupt.
    ASSERT_TRUE(Form2);
    EXPECT_EQ(edges[rise].writer, 0x0055);
    EXPECT_EQ(Form2->SelectedRow(), ListingRowMap[0x0055]);
    // Away from any edge a click only places cursor A.
    Form2->SelectRow(0);
    QTest::mouseClick(w->WaveView, Qt::LeftButton, {}, At(0, edges[rise].cycle + 150));
    EXPECT_EQ(w->Cursor(0), edges[rise].cycle + 150);
    EXPECT_EQ(Form2->SelectedRow(), 0);
    EXPECT_EQ(w->ValueText(0, *w->Cursor(0)), "1");
}
