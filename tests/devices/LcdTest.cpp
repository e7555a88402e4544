// The HD44780 model driven through its pins as a program drives it: the datasheet's
// initialisation in the 8-bit and the 4-bit interface, DDRAM, CGRAM, the busy flag and the
// address counter after each instruction, and what a missing E pulse or a lost nibble does.
#include <gtest/gtest.h>

#include "Hd44780.h"

namespace {

// A module on P0 (data) and P2.0-P2.2 (RS, RW, E) at 12 MHz: one machine cycle per microsecond.
class LcdBus {
public:
    explicit LcdBus(int bits, int columns = 16, int lines = 2) {
        LcdWiring w;
        w.Bits = bits;
        w.Columns = columns;
        w.Lines = lines;
        lcd.Configure(w, 12000000, 0);
        latch.port[2] = 0xF8;  // E, RW, RS low
        Apply();
        Wait(15000);  // the datasheet's wait after power-on
    }
    void Wait(uint64_t cycles) { cycle += cycles; }
    void Apply() { lcd.PinsChanged(latch, cycle); }
    void Control(bool rs, bool rw) {
        latch.Set(0xA0, rs);
        latch.Set(0xA1, rw);
        Step();
    }
    void E(bool high) {
        latch.Set(0xA2, high);
        Step();
    }
    void Data(uint8_t v) {
        latch.port[0] = v;
        Step();
    }
    // One transfer of the 8-bit interface, or of one nibble (bits 4-7) in the 4-bit interface.
    void Pulse(bool rs, uint8_t data) {
        Control(rs, false);
        Data(data);
        E(true);
        E(false);
    }
    void Write(bool rs, uint8_t byte) {
        if (lcd.Wiring().Bits == 8) {
            Pulse(rs, byte);
        } else {
            Pulse(rs, byte & 0xF0);
            Pulse(rs, uint8_t(byte << 4));
        }
    }
    // Reads a byte as a program does: RW high, data latch FFh, E high, read the port, E low.
    uint8_t Read(bool rs) {
        latch.port[0] = 0xFF;
        Control(rs, true);
        uint8_t v = 0;
        const int transfers = lcd.EightBitMode() ? 1 : 2;
        for (int t = 0; t < transfers; ++t) {
            E(true);
            const uint8_t pins = uint8_t(latch.port[0] & lcd.Pulls().port[0]);
            v = transfers == 1 ? pins : uint8_t(v | (t == 0 ? pins & 0xF0 : pins >> 4));
            E(false);
        }
        Control(false, false);
        return v;
    }
    // The datasheet's 37 us and 1.52 ms, at 1 us per cycle.
    void Instruction(uint8_t byte, uint64_t wait = 40) {
        Write(false, byte);
        Wait(wait);
    }
    void Text(const char* s) {
        for (; *s; ++s) {
            Write(true, uint8_t(*s));
            Wait(40);
        }
    }

    Hd44780 lcd;
    PortLevels latch;
    uint64_t cycle = 0;

private:
    void Step() {
        ++cycle;
        Apply();
    }
};

TEST(Lcd, EightBitInitialisationTheDatasheetWay) {
    LcdBus bus(8);
    // Initialisation by instruction: 30h three times, then the real function set.
    bus.Instruction(0x30, 4100);
    bus.Instruction(0x30, 100);
    bus.Instruction(0x30);
    bus.Write(false, 0x38);
    EXPECT_EQ(bus.Read(false) & 0x80, 0x80) << "busy right after an instruction";
    bus.Wait(40);
    EXPECT_EQ(bus.Read(false), 0x00) << "ready after 37 us, address 0";
    EXPECT_TRUE(bus.lcd.TwoLineMode());
    bus.Instruction(0x08);
    EXPECT_FALSE(bus.lcd.DisplayOn());
    bus.Write(false, 0x01);
    bus.Wait(1000);
    EXPECT_EQ(bus.Read(false) & 0x80, 0x80) << "Clear Display takes 1.52 ms";
    bus.Wait(600);
    EXPECT_EQ(bus.Read(false), 0x00);
    bus.Instruction(0x06);
    bus.Instruction(0x0E);
    EXPECT_TRUE(bus.lcd.DisplayOn());
    EXPECT_TRUE(bus.lcd.CursorOn());
    EXPECT_FALSE(bus.lcd.BlinkOn());

    bus.Text("Hello");
    EXPECT_EQ(bus.Read(false), 0x05);
    bus.Instruction(0xC0);  // line 2
    bus.Text("8051");
    EXPECT_EQ(bus.Read(false), 0x44);
    EXPECT_EQ(bus.lcd.LineText(0), "Hello           ");
    EXPECT_EQ(bus.lcd.LineText(1), "8051            ");
    EXPECT_EQ(bus.lcd.Ddram(0x41), '0');

    // Reading data returns DDRAM at the address and moves it on.
    bus.Instruction(0x80);
    EXPECT_EQ(bus.Read(true), 'H');
    bus.Wait(40);
    EXPECT_EQ(bus.Read(true), 'e');
    bus.Wait(40);
    EXPECT_EQ(bus.Read(false), 0x02);
    EXPECT_EQ(bus.lcd.WritesWhileBusy(), 0u);
}

TEST(Lcd, FourBitInitialisationUserCharactersAndTwoLines) {
    LcdBus bus(4);
    // Still in the 8-bit interface: single nibbles, then 2 selects the 4-bit interface.
    bus.Pulse(false, 0x30);
    bus.Wait(4100);
    bus.Pulse(false, 0x30);
    bus.Wait(100);
    bus.Pulse(false, 0x30);
    bus.Wait(40);
    bus.Pulse(false, 0x20);
    bus.Wait(40);
    EXPECT_FALSE(bus.lcd.EightBitMode());
    EXPECT_FALSE(bus.lcd.WaitingForLowNibble());
    bus.Instruction(0x28);
    EXPECT_TRUE(bus.lcd.TwoLineMode());
    bus.Instruction(0x0C);
    bus.Instruction(0x01, 1600);
    bus.Instruction(0x06);

    // A user-defined character: CGRAM 0-7 for code 0.
    const uint8_t heart[8] = {0x00, 0x0A, 0x1F, 0x1F, 0x0E, 0x04, 0x00, 0x00};
    bus.Instruction(0x40);
    for (uint8_t row : heart) {
        bus.Write(true, row);
        bus.Wait(40);
    }
    EXPECT_EQ(bus.Read(false), 0x08) << "the address counter follows in CGRAM";
    for (int r = 0; r < 8; ++r) EXPECT_EQ(bus.lcd.Cgram(uint8_t(r)), heart[r]);
    EXPECT_EQ(bus.lcd.Glyph(0)[2], 0x1F);
    EXPECT_EQ(bus.lcd.Glyph(8)[1], 0x0A) << "codes 08h-0Fh repeat 00h-07h";

    bus.Instruction(0x80);
    bus.Text("I ");
    bus.Write(true, 0x00);
    bus.Wait(40);
    bus.Text(" 8051");
    bus.Instruction(0xC0);
    bus.Text("4-bit ok");
    EXPECT_EQ(bus.lcd.LineText(0), std::string("I \0 8051", 8) + std::string(8, ' '));
    EXPECT_EQ(bus.lcd.LineText(1), "4-bit ok        ");

    // The busy flag and address counter read in two nibbles.
    bus.Write(true, '!');
    EXPECT_EQ(bus.Read(false), 0x80 | 0x49);
    bus.Wait(40);
    EXPECT_EQ(bus.Read(false), 0x49);
}

TEST(Lcd, MissedPulsesLostNibblesAndWritesWhileBusy) {
    LcdBus bus(4);
    for (uint8_t n : {0x30, 0x30, 0x30, 0x20}) {
        bus.Pulse(false, n);
        bus.Wait(4100);
    }
    bus.Instruction(0x28);
    bus.Instruction(0x0C);
    bus.Instruction(0x01, 1600);

    // Data and RS without an E pulse change nothing.
    bus.Control(true, false);
    bus.Data(0x40);
    bus.Wait(40);
    EXPECT_EQ(bus.lcd.Ddram(0), 0x20);
    EXPECT_EQ(bus.lcd.AddressCounter(), 0);

    // One stray nibble puts the interface out of step: every later byte is made of the low nibble
    // of one character and the high nibble of the next.
    bus.Pulse(true, 0x40);
    bus.Wait(40);
    bus.Text("AB");
    EXPECT_EQ(bus.lcd.Ddram(0), 0x44);  // 4, then the high nibble of 'A'
    EXPECT_EQ(bus.lcd.Ddram(1), 0x14);  // low nibble of 'A', high nibble of 'B'
    EXPECT_TRUE(bus.lcd.WaitingForLowNibble());

    // A write while the controller is busy is not taken.
    bus.Pulse(true, 0x00);
    bus.Wait(40);
    bus.Instruction(0x01, 0);
    bus.Text("X");
    EXPECT_EQ(bus.lcd.WritesWhileBusy(), 1u);
    EXPECT_EQ(bus.lcd.Ddram(0), 0x20);
}

TEST(Lcd, ShiftsCursorMovesAndFourLines) {
    LcdBus bus(8, 20, 4);
    bus.Instruction(0x38);
    bus.Instruction(0x0C);
    // Line 3 of a 20x4 glass continues line 1 at DDRAM 14h, line 4 continues line 2 at 54h.
    bus.Instruction(0x94);
    bus.Text("three");
    bus.Instruction(0xD4);
    bus.Text("four");
    EXPECT_EQ(bus.lcd.LineText(2).substr(0, 5), "three");
    EXPECT_EQ(bus.lcd.LineText(3).substr(0, 4), "four");
    // The address runs from the end of line 1 (27h) to line 2 (40h), and back from 40h to 27h.
    bus.Instruction(0xA7);
    bus.Text("ab");
    EXPECT_EQ(bus.lcd.Ddram(0x27), 'a');
    EXPECT_EQ(bus.lcd.Ddram(0x40), 'b');
    bus.Instruction(0x10);  // cursor left
    bus.Instruction(0x10);
    EXPECT_EQ(bus.lcd.AddressCounter(), 0x27);
    // Display shift left shows the next addresses; right shifts it back.
    bus.Instruction(0x80);
    bus.Text("0123");
    bus.Instruction(0x18);
    EXPECT_EQ(bus.lcd.ShownCode(0, 0), '1');
    bus.Instruction(0x1C);
    bus.Instruction(0x1C);
    EXPECT_EQ(bus.lcd.ShownAddress(0, 0), 0x27);
    // Entry mode with shift: the text stays under the cursor, the display moves.
    bus.Instruction(0x02, 1600);
    bus.Instruction(0x07);
    bus.Text("xy");
    EXPECT_EQ(bus.lcd.DisplayShift(), 2);
    // Display off shows nothing, but keeps DDRAM.
    bus.Instruction(0x08);
    EXPECT_EQ(bus.lcd.LineText(0), std::string(20, ' '));
    EXPECT_EQ(bus.lcd.Ddram(0), 'x');
    // One-line mode leaves the second line dark.
    bus.Instruction(0x30);
    bus.Instruction(0x0C);
    EXPECT_EQ(bus.lcd.ShownAddress(1, 0), -1);
}

TEST(Lcd, CharacterRomDrawsAscii) {
    Hd44780 lcd;
    // 'A' and the yen sign at 5Ch, as the A00 table draws them.
    EXPECT_EQ(lcd.Glyph('A')[0], 0x0E);
    EXPECT_EQ(lcd.Glyph('A')[4], 0x1F);
    EXPECT_EQ(lcd.Glyph(0x5C)[2], 0x1F);
    for (int c = 0x21; c < 0x80; ++c) {
        const auto g = lcd.Glyph(uint8_t(c));
        int dots = 0;
        for (uint8_t row : g) dots += row != 0;
        EXPECT_GT(dots, 0) << "no dots for " << c;
    }
}

}  // namespace
