// The 4x4 matrix keypad read back by the scanning routines programs use, and the LED bar.
#include <gtest/gtest.h>

#include "LedBar.h"
#include "MatrixKeypad.h"

namespace {

// What a pin reads: the port latch AND the keypad's pulls.
PortLevels Pins(const PortLevels& latch, MatrixKeypad& keypad) {
    keypad.PinsChanged(latch);
    PortLevels pins = latch;
    for (size_t p = 0; p < 4; ++p) pins.port[p] &= keypad.Pulls().port[p];
    return pins;
}

// Drives one row low at a time (the others and the columns high) and reads the columns; returns
// the keys found, bit k for key k.
uint16_t ScanRows(MatrixKeypad& keypad) {
    uint16_t found = 0;
    for (int r = 0; r < 4; ++r) {
        PortLevels latch;
        latch.Set(keypad.Wiring().Rows[size_t(r)], 0);
        const PortLevels pins = Pins(latch, keypad);
        for (int c = 0; c < 4; ++c)
            if (!pins.Level(keypad.Wiring().Columns[size_t(c)])) found |= uint16_t(1u << (4 * r + c));
    }
    return found;
}

// The other way round: one column low at a time, the rows read.
uint16_t ScanColumns(MatrixKeypad& keypad) {
    uint16_t found = 0;
    for (int c = 0; c < 4; ++c) {
        PortLevels latch;
        latch.Set(keypad.Wiring().Columns[size_t(c)], 0);
        const PortLevels pins = Pins(latch, keypad);
        for (int r = 0; r < 4; ++r)
            if (!pins.Level(keypad.Wiring().Rows[size_t(r)])) found |= uint16_t(1u << (4 * r + c));
    }
    return found;
}

TEST(Keypad4x4, ScanningFindsEveryKeyInReadingOrder) {
    for (bool otherWiring : {false, true}) {
        MatrixKeypad keypad;
        if (otherWiring) {
            // Rows on P3, columns spread over P0 and P2, in no particular order.
            Keypad4x4Wiring w;
            w.Rows = {0xB7, 0xB5, 0xB3, 0xB1};
            w.Columns = {0x80, 0xA6, 0x83, 0xA1};
            keypad.Configure(w);
        }
        EXPECT_EQ(ScanRows(keypad), 0);
        for (int k = 0; k < 16; ++k) {
            keypad.SetKeysDown(uint16_t(1u << k));
            EXPECT_EQ(ScanRows(keypad), 1u << k) << "key " << k;
            EXPECT_EQ(ScanColumns(keypad), 1u << k) << "key " << k;
        }
        // Nothing is pulled while no line is driven low: the port reads its latch.
        keypad.SetKeysDown(0xFFFF);
        EXPECT_EQ(Pins(PortLevels{}, keypad), PortLevels{});
    }
}

TEST(Keypad4x4, KeysJoinLinesLikeSwitches) {
    MatrixKeypad keypad;
    // 0, 1 and 4 down: row 1 reaches column 1 through column 0 and row 0, so key 5 reads as down
    // too (the ghost key of a matrix without diodes).
    keypad.SetKeysDown(0x0013);
    EXPECT_EQ(ScanRows(keypad), 0x0033);
    EXPECT_EQ(KeypadKeyOfChar('7'), 7);
    EXPECT_EQ(KeypadKeyOfChar('b'), 11);
    EXPECT_EQ(KeypadKeyOfChar('F'), 15);
    EXPECT_EQ(KeypadKeyOfChar('G'), -1);
}

TEST(LedBar, ActiveLowOrHigh) {
    PortLevels pins;
    pins.port[1] = 0xA5;
    EXPECT_EQ(LitLeds(LedBarWiring{1, true}, pins), 0x5A);
    EXPECT_EQ(LitLeds(LedBarWiring{1, false}, pins), 0xA5);
    EXPECT_EQ(LitLeds(LedBarWiring{0, true}, pins), 0x00);
}

}  // namespace
