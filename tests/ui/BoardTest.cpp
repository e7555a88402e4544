// The course hardware's windows: boards loaded and saved, the 4x4 keypad held and toggled, the
// LCD's glass.
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QTest>

#include "BoardFile.h"
#include "Keypad4x4Cfg.h"
#include "Keypad4x4Unit.h"
#include "LCDCfg.h"
#include "LCDUnit.h"
#include "LEDBarUnit.h"
#include "LEDUnit.h"
#include "UiHarness.h"

namespace {

using BoardTest = UiTest;

const QString kBoards = QStringLiteral(CORVAMAT_EXAMPLES "/boards/");

TEST_F(BoardTest, LoadBoardOpensItsDevicesAndSaveBoardWritesThem) {
    form->show();
    form->ShowLCD->trigger();
    prompts.openFile = kBoards + QStringLiteral("digits.board");
    form->LoadBoard->trigger();
    // The board's devices open, the LCD (not on this board) closes.
    EXPECT_TRUE(LEDForm && LEDBarForm && Keypad4x4Form);
    EXPECT_FALSE(LCDForm);
    EXPECT_EQ(Settings.LEDBar.Port, 2);
    EXPECT_EQ(Settings.Trig[3], 0xB7);
    // Laid out side by side: no window covers another.
    const QList<QMdiSubWindow*> windows = form->MdiArea->subWindowList();
    for (QMdiSubWindow* a : windows)
        for (QMdiSubWindow* b : windows) {
            if (a != b) {
                EXPECT_FALSE(a->geometry().intersects(b->geometry())) << a->windowTitle().toStdString();
            }
        }

    // Save Board writes the open devices only.
    prompts.saveFile = QString::fromStdString(dir.File("mine.board"));
    Settings.LEDBar.ActiveLow = false;
    form->SaveBoard->trigger();
    Board saved;
    std::string error;
    ASSERT_TRUE(LoadBoardFile(prompts.saveFile.toStdString(), &saved, &error)) << error;
    EXPECT_TRUE(saved.LED && saved.LEDBar && saved.Keypad4x4);
    EXPECT_FALSE(saved.LCD || saved.Keys);
    EXPECT_FALSE(saved.LEDBar->ActiveLow);

    // A board that cannot be used is named with its wrong values; nothing changes.
    prompts.openFile = QString::fromStdString(dir.Write("bad.board", "[LEDBar]\nPort=P7\n"));
    form->LoadBoard->trigger();
    ASSERT_EQ(prompts.messages.size(), 1);
    EXPECT_TRUE(prompts.messages[0].contains(QStringLiteral("[LEDBar] Port=P7: not a port (P0 to P3)")));
    EXPECT_EQ(Settings.LEDBar.Port, 2);
    EXPECT_TRUE(LEDForm && Keypad4x4Form);
}

TEST_F(BoardTest, Keypad4x4KeysHeldOrToggled) {
    form->ShowKeypad4x4->trigger();
    TKeypad4x4Form* keypad = Keypad4x4Form;
    ASSERT_TRUE(keypad);
    // Held by the mouse: down between press and release.
    QTest::mousePress(keypad->Keys[5], Qt::LeftButton);
    EXPECT_EQ(Keypad4x4Keys(), 1u << 5);
    EXPECT_EQ(AccessibleText(keypad->Keys[5], QAccessible::Name), QStringLiteral("5"));
    EXPECT_TRUE(keypad->Keys[5]->isChecked());
    QTest::mouseRelease(keypad->Keys[5], Qt::LeftButton);
    EXPECT_EQ(Keypad4x4Keys(), 0u);
    EXPECT_FALSE(keypad->Keys[5]->isChecked());
    // Held from the keyboard, either case.
    QTest::keyPress(keypad->Keys[0], Qt::Key_A, Qt::NoModifier);
    EXPECT_EQ(Keypad4x4Keys(), 1u << 10);
    QTest::keyRelease(keypad->Keys[0], Qt::Key_A, Qt::NoModifier);
    EXPECT_EQ(Keypad4x4Keys(), 0u);
    // Toggled: each click or typed key flips a key; leaving the mode releases them.
    keypad->CheckBox1->setChecked(true);
    QTest::mouseClick(keypad->Keys[15], Qt::LeftButton);
    QTest::keyClick(keypad->Keys[0], Qt::Key_3);
    EXPECT_EQ(Keypad4x4Keys(), (1u << 15) | (1u << 3));
    QTest::mouseClick(keypad->Keys[15], Qt::LeftButton);
    EXPECT_EQ(Keypad4x4Keys(), 1u << 3);
    keypad->CheckBox1->setChecked(false);
    EXPECT_EQ(Keypad4x4Keys(), 0u);

    // Its options refuse a pin used twice.
    form->Keypad4x4CfgForm->FormShow();
    form->Keypad4x4CfgForm->Columns[0]->setCurrentIndex(form->Keypad4x4CfgForm->Rows[0]->currentIndex());
    form->Keypad4x4CfgForm->Button1Click();
    ASSERT_EQ(prompts.messages.size(), 1);
    EXPECT_TRUE(prompts.messages[0].contains(QStringLiteral("must differ")));
    EXPECT_EQ(Settings.Keypad4x4, Keypad4x4Wiring{});
}

TEST_F(BoardTest, LcdGlassDrawsDotsCursorAndColour) {
    // A module written through its pins: "A" at the first position, the cursor after it.
    Hd44780 lcd;
    lcd.Configure(LcdWiring{}, 12000000, 0);
    PortLevels pins;
    uint64_t cycle = 20000;
    auto write = [&](bool rs, uint8_t byte) {
        pins.Set(0xA0, rs);
        pins.Set(0xA1, 0);
        pins.port[0] = byte;
        pins.Set(0xA2, 1);
        lcd.PinsChanged(pins, cycle++);
        pins.Set(0xA2, 0);
        lcd.PinsChanged(pins, cycle);
        cycle += 2000;
    };
    for (uint8_t b : {0x38, 0x0E, 0x01, 0x06}) write(false, b);
    write(true, 'A');
    const QImage glass = DrawLcdGlass(lcd, false);
    // Dot (column, row) of character cell (c, line): 14 + 24c + 4 column, 14 + 40 line + 4 row.
    auto dot = [&](int c, int line, int column, int row) {
        return glass.pixelColor(14 + 24 * c + 4 * column + 1, 14 + 40 * line + 4 * row + 1);
    };
    const QColor lit = dot(0, 0, 0, 4), dark = dot(0, 0, 0, 0);  // A's crossbar, its empty corner
    EXPECT_NE(lit, dark);
    EXPECT_EQ(dot(0, 0, 2, 0), lit);     // the top of the A
    EXPECT_EQ(dot(1, 0, 0, 7), lit);     // the cursor under the second cell
    EXPECT_EQ(dot(1, 0, 0, 6), dark);
    EXPECT_EQ(dot(0, 1, 2, 3), dark);    // line 2 is blank
    LcdWiring blue;
    blue.Blue = true;
    lcd.Configure(blue, 12000000, 0);
    EXPECT_NE(DrawLcdGlass(lcd, false).pixelColor(20, 20), glass.pixelColor(20, 20));
}

}  // namespace
