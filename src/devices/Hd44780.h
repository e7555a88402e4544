// The HD44780 character LCD controller as a board wires it to the 8051's ports.
//
// The module sees RS, RW, E and its data lines as pin levels; it pulls data lines low only while it
// outputs (RW = 1 and E high). Writes are taken at the falling edge of E, reads present their byte
// while E is high. In the 4-bit interface the module's D4-D7 are bits 4-7 of the data port and
// every transfer is two E pulses, high nibble first; its unconnected D0-D3 read high (the module's
// pull-ups), as they do on a real module that is still in the 8-bit mode of its power-on reset.
// Each instruction keeps the controller busy for its execution time at 270 kHz (the datasheet's
// 37 us, 1.52 ms for Clear Display and Return Home, 10 ms after power-on), counted in machine cycles
// at the configured clock; an instruction or data write that arrives while the controller is busy
// is not taken, as on the real part, and counted in WritesWhileBusy.
//
// The whole model is one value (copy it to keep it); every member a window reads is accessed as a
// relaxed atomic, so the simulation thread may drive it while a window draws it.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "Pins.h"
#include "Relaxed.h"
#include "Wiring.h"

class Hd44780 {
public:
    // Execution times in microseconds at the controller's 270 kHz clock.
    static constexpr int kInstructionUs = 37, kClearUs = 1520, kPowerOnUs = 10000;

    Hd44780() = default;
    Hd44780(const Hd44780&) = default;
    // Whatever a window reads is stored as a relaxed atomic, so that a copy put back (history)
    // never races with a window drawing the module.
    Hd44780& operator=(const Hd44780& o);
    bool operator==(const Hd44780&) const = default;

    // Sets the wiring and the 8051's clock (Hz) and powers the module on at `cycle`.
    void Configure(const LcdWiring& wiring, int32_t frequencyHz, uint64_t cycle = 0);
    // The 8051's clock changed: busy times from now on follow it.
    void SetClock(int32_t frequencyHz) { frequency_ = frequencyHz > 0 ? frequencyHz : 11059200; }
    // The power-on reset: display cleared, 8-bit interface, one line, display off, increment; busy
    // for 10 ms.
    void PowerOn(uint64_t cycle);

    // The pins as the module sees them (every pull but its own) at machine cycle `cycle`; also
    // called with unchanged levels when time alone may change the output (see PullsChangeAt).
    // Returns true when the module's pulls changed.
    bool PinsChanged(const PortLevels& levels, uint64_t cycle);
    // The data lines the module pulls low (0 bits) while it outputs; all 1 otherwise.
    const PortLevels& Pulls() const { return pulls_; }
    // The cycle at which the module's output changes without a pin change (the busy flag falling
    // while it is being read), or UINT64_MAX.
    uint64_t PullsChangeAt() const { return outputChangesAt_; }

    const LcdWiring& Wiring() const { return wiring_; }
    bool Busy(uint64_t cycle) const { return cycle < busyUntil_; }
    uint8_t AddressCounter() const { return LoadRelaxed(ac_); }
    bool AddressingCgram() const { return LoadRelaxed(flags_) & kCgram; }
    uint8_t Ddram(uint8_t address) const { return LoadRelaxed(ddram_[address & 0x7F]); }
    uint8_t Cgram(uint8_t address) const { return LoadRelaxed(cgram_[address & 0x3F]); }
    bool DisplayOn() const { return LoadRelaxed(flags_) & kDisplay; }
    bool CursorOn() const { return LoadRelaxed(flags_) & kCursor; }
    bool BlinkOn() const { return LoadRelaxed(flags_) & kBlink; }
    bool TwoLineMode() const { return LoadRelaxed(flags_) & kTwoLines; }
    bool EightBitMode() const { return LoadRelaxed(flags_) & kEightBit; }
    bool Increment() const { return LoadRelaxed(flags_) & kIncrement; }
    bool ShiftOnWrite() const { return LoadRelaxed(flags_) & kShift; }
    int DisplayShift() const { return LoadRelaxed(shift_); }
    // In the 4-bit interface: true while the next transfer is the low nibble.
    bool WaitingForLowNibble() const { return lowNibbleNext_; }
    uint32_t WritesWhileBusy() const { return LoadRelaxed(writesWhileBusy_); }

    // The DDRAM address shown at a line and column of the glass, -1 where nothing is shown (display
    // off, or a line the one-line mode leaves dark).
    int ShownAddress(int line, int column) const;
    // The character code shown there, -1 for none.
    int ShownCode(int line, int column) const;
    // The 5x8 dots of a character code: CGRAM for 00h-0Fh, the character ROM otherwise. Row r,
    // bit 4 = the leftmost dot.
    std::array<uint8_t, 8> Glyph(uint8_t code) const;
    // A line of the glass as UTF-8 text: user-defined characters as U+0000-U+0007, the others as
    // the characters the ROM draws; blanks where nothing is shown.
    std::string LineText(int line) const;

private:
    enum : uint8_t {
        kCgram = 1, kDisplay = 2, kCursor = 4, kBlink = 8, kTwoLines = 16, kEightBit = 32, kIncrement = 64,
        kShift = 128
    };

    void Execute(bool rs, uint8_t byte, uint64_t cycle);
    void Instruction(uint8_t byte, uint64_t cycle);
    void MoveAddress(bool up);
    void ShiftDisplay(bool left);
    void SetFlag(uint8_t flag, bool on);
    void MakeBusy(uint64_t cycle, int microseconds);
    // The byte a read presents, with the busy flag as of `cycle`.
    uint8_t ReadByte(bool rs, uint64_t cycle) const;
    void UpdateOutput(uint64_t cycle);
    int ShiftModulo() const { return TwoLineMode() ? 40 : 80; }

    LcdWiring wiring_;
    int32_t frequency_ = 11059200;
    std::array<uint8_t, 128> ddram_{};
    std::array<uint8_t, 64> cgram_{};
    uint8_t ac_ = 0;
    uint8_t flags_ = 0;
    int shift_ = 0;
    uint32_t writesWhileBusy_ = 0;
    uint64_t busyUntil_ = 0;
    // The interface: the last levels of E, RS and RW, the nibble state of the 4-bit interface and
    // the byte a 4-bit read presents in its two halves.
    bool e_ = false, rs_ = false, rw_ = false;
    bool lowNibbleNext_ = false;
    uint8_t highNibble_ = 0;
    uint8_t readLatch_ = 0;
    PortLevels pulls_{};
    uint64_t outputChangesAt_ = UINT64_MAX;
};
