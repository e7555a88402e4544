// The HD44780 controller: the interface's edges and nibbles, the instruction set, busy times, and
// what the glass shows.
#include "Hd44780.h"

#include "CharacterRom.h"

Hd44780& Hd44780::operator=(const Hd44780& o) {
    if (this == &o) return *this;
    wiring_ = o.wiring_;
    frequency_ = o.frequency_;
    for (size_t i = 0; i < ddram_.size(); ++i) StoreRelaxed(ddram_[i], o.ddram_[i]);
    for (size_t i = 0; i < cgram_.size(); ++i) StoreRelaxed(cgram_[i], o.cgram_[i]);
    StoreRelaxed(ac_, o.ac_);
    StoreRelaxed(flags_, o.flags_);
    StoreRelaxed(shift_, o.shift_);
    StoreRelaxed(writesWhileBusy_, o.writesWhileBusy_);
    busyUntil_ = o.busyUntil_;
    e_ = o.e_;
    rs_ = o.rs_;
    rw_ = o.rw_;
    lowNibbleNext_ = o.lowNibbleNext_;
    highNibble_ = o.highNibble_;
    readLatch_ = o.readLatch_;
    pulls_ = o.pulls_;
    outputChangesAt_ = o.outputChangesAt_;
    return *this;
}

void Hd44780::Configure(const LcdWiring& wiring, int32_t frequencyHz, uint64_t cycle) {
    wiring_ = wiring;
    frequency_ = frequencyHz > 0 ? frequencyHz : 11059200;
    PowerOn(cycle);
}

void Hd44780::PowerOn(uint64_t cycle) {
    for (auto& b : ddram_) StoreRelaxed(b, uint8_t(0x20));
    // The character generator RAM holds no defined pattern at power-on; start it dark.
    for (auto& b : cgram_) StoreRelaxed(b, uint8_t(0));
    StoreRelaxed(ac_, uint8_t(0));
    StoreRelaxed(flags_, uint8_t(kEightBit | kIncrement));
    StoreRelaxed(shift_, 0);
    StoreRelaxed(writesWhileBusy_, 0u);
    busyUntil_ = 0;
    MakeBusy(cycle, kPowerOnUs);
    e_ = rs_ = rw_ = false;
    lowNibbleNext_ = false;
    highNibble_ = readLatch_ = 0;
    pulls_ = kNoPulls;
    outputChangesAt_ = UINT64_MAX;
}

void Hd44780::SetFlag(uint8_t flag, bool on) {
    const uint8_t f = LoadRelaxed(flags_);
    StoreRelaxed(flags_, on ? uint8_t(f | flag) : uint8_t(f & ~flag));
}

void Hd44780::MakeBusy(uint64_t cycle, int microseconds) {
    // A machine cycle is 12 clock periods; round up so that a program waiting the datasheet's time
    // at its own clock always finds the controller ready.
    const uint64_t perSecond = uint64_t(frequency_) / 12;
    busyUntil_ = cycle + (uint64_t(microseconds) * perSecond + 999999) / 1000000;
}

bool Hd44780::PinsChanged(const PortLevels& levels, uint64_t cycle) {
    const bool e = levels.Level(wiring_.E), rs = levels.Level(wiring_.RS);
    const bool rw = IsPortPin(wiring_.RW) && levels.Level(wiring_.RW);
    // The module's unconnected D0-D3 read high through its pull-ups.
    const uint8_t port = levels.port[size_t(wiring_.DataPort & 3)];
    const uint8_t data = wiring_.Bits == 4 ? uint8_t(port | 0x0F) : port;
    const bool fell = e_ && !e;
    e_ = e;
    rs_ = rs;
    rw_ = rw;
    if (fell) {
        // The transfer ends: a write is taken now, a read is complete.
        if (EightBitMode()) {
            if (!rw) Execute(rs, data, cycle);
            else if (rs && !Busy(cycle)) MoveAddress(Increment()), MakeBusy(cycle, kInstructionUs);
        } else if (!lowNibbleNext_) {
            lowNibbleNext_ = true;
            if (!rw) highNibble_ = uint8_t(data >> 4);
        } else {
            lowNibbleNext_ = false;
            if (!rw) Execute(rs, uint8_t(highNibble_ << 4 | data >> 4), cycle);
            else if (rs && !Busy(cycle)) MoveAddress(Increment()), MakeBusy(cycle, kInstructionUs);
        }
    }
    const PortLevels before = pulls_;
    UpdateOutput(cycle);
    return !(before == pulls_);
}

uint8_t Hd44780::ReadByte(bool rs, uint64_t cycle) const {
    const uint8_t ac = AddressCounter();
    if (rs) return AddressingCgram() ? Cgram(ac) : Ddram(ac);
    return uint8_t((Busy(cycle) ? 0x80 : 0) | (ac & 0x7F));
}

void Hd44780::UpdateOutput(uint64_t cycle) {
    pulls_ = kNoPulls;
    outputChangesAt_ = UINT64_MAX;
    if (!e_ || !rw_) return;
    uint8_t out, driven;
    if (EightBitMode()) {
        readLatch_ = ReadByte(rs_, cycle);
        out = readLatch_;
        driven = 0xFF;
    } else if (!lowNibbleNext_) {
        // The high nibble's pulse fetches the byte; the low nibble's pulse presents its rest.
        readLatch_ = ReadByte(rs_, cycle);
        out = readLatch_ & 0xF0;
        driven = 0xF0;
    } else {
        out = uint8_t(readLatch_ << 4);
        driven = 0xF0;
    }
    if (!lowNibbleNext_ || EightBitMode())
        if (!rs_ && Busy(cycle)) outputChangesAt_ = busyUntil_;
    const uint8_t connected = wiring_.Bits == 4 ? 0xF0 : 0xFF;
    pulls_.port[size_t(wiring_.DataPort & 3)] = uint8_t(~(~out & driven & connected));
}

void Hd44780::Execute(bool rs, uint8_t byte, uint64_t cycle) {
    if (Busy(cycle)) {
        StoreRelaxed(writesWhileBusy_, WritesWhileBusy() + 1);
        return;
    }
    if (!rs) {
        Instruction(byte, cycle);
        return;
    }
    const uint8_t ac = AddressCounter();
    if (AddressingCgram()) {
        StoreRelaxed(cgram_[ac & 0x3F], byte);
    } else {
        StoreRelaxed(ddram_[ac & 0x7F], byte);
        if (ShiftOnWrite()) ShiftDisplay(Increment());
    }
    MoveAddress(Increment());
    MakeBusy(cycle, kInstructionUs);
}

void Hd44780::Instruction(uint8_t byte, uint64_t cycle) {
    int time = kInstructionUs;
    if (byte & 0x80) {  // Set DDRAM address
        StoreRelaxed(ac_, uint8_t(byte & 0x7F));
        SetFlag(kCgram, false);
    } else if (byte & 0x40) {  // Set CGRAM address
        StoreRelaxed(ac_, uint8_t(byte & 0x3F));
        SetFlag(kCgram, true);
    } else if (byte & 0x20) {  // Function set: DL, N, F (the 5x10 font is drawn as 5x8)
        const bool eight = byte & 0x10;
        if (eight != EightBitMode()) lowNibbleNext_ = false;
        SetFlag(kEightBit, eight);
        SetFlag(kTwoLines, byte & 0x08);
    } else if (byte & 0x10) {  // Cursor or display shift
        const bool right = byte & 0x04;
        if (byte & 0x08) ShiftDisplay(!right);
        else MoveAddress(right);
    } else if (byte & 0x08) {  // Display on/off control
        SetFlag(kDisplay, byte & 0x04);
        SetFlag(kCursor, byte & 0x02);
        SetFlag(kBlink, byte & 0x01);
    } else if (byte & 0x04) {  // Entry mode set
        SetFlag(kIncrement, byte & 0x02);
        SetFlag(kShift, byte & 0x01);
    } else if (byte & 0x02) {  // Return home
        StoreRelaxed(ac_, uint8_t(0));
        SetFlag(kCgram, false);
        StoreRelaxed(shift_, 0);
        time = kClearUs;
    } else if (byte & 0x01) {  // Clear display: blanks, address 0, increment, no shift
        for (auto& b : ddram_) StoreRelaxed(b, uint8_t(0x20));
        StoreRelaxed(ac_, uint8_t(0));
        SetFlag(kCgram, false);
        SetFlag(kIncrement, true);
        StoreRelaxed(shift_, 0);
        time = kClearUs;
    }
    MakeBusy(cycle, time);
}

void Hd44780::MoveAddress(bool up) {
    uint8_t ac = AddressCounter();
    if (AddressingCgram()) {
        ac = uint8_t((ac + (up ? 1 : -1)) & 0x3F);
    } else if (TwoLineMode()) {
        // Two lines of 40: 00h-27h and 40h-67h, the second following the first.
        if (up) ac = ac == 0x27 ? 0x40 : ac == 0x67 ? 0x00 : uint8_t((ac + 1) & 0x7F);
        else ac = ac == 0x40 ? 0x27 : ac == 0x00 ? 0x67 : uint8_t((ac - 1) & 0x7F);
    } else {
        if (up) ac = ac >= 0x4F ? 0x00 : uint8_t(ac + 1);
        else ac = ac == 0x00 ? 0x4F : uint8_t(ac - 1);
    }
    StoreRelaxed(ac_, ac);
}

void Hd44780::ShiftDisplay(bool left) {
    // Shifting the display left shows the next addresses at every position.
    const int m = ShiftModulo();
    StoreRelaxed(shift_, (DisplayShift() + (left ? 1 : m - 1)) % m);
}

int Hd44780::ShownAddress(int line, int column) const {
    if (!DisplayOn() || line < 0 || line >= wiring_.Lines || column < 0 || column >= wiring_.Columns) return -1;
    // Lines 3 and 4 of a four-line glass continue the first and second DDRAM lines.
    const int row = line % 2, start = (line / 2) * wiring_.Columns;
    if (!TwoLineMode()) {
        if (row == 1) return -1;
        return (start + column + DisplayShift()) % 80;
    }
    return row * 0x40 + (start + column + DisplayShift()) % 40;
}

int Hd44780::ShownCode(int line, int column) const {
    const int a = ShownAddress(line, column);
    return a < 0 ? -1 : Ddram(uint8_t(a));
}

std::array<uint8_t, 8> Hd44780::Glyph(uint8_t code) const {
    if (code >= 0x10) return RomGlyph(code);
    std::array<uint8_t, 8> rows{};
    for (int r = 0; r < 8; ++r) rows[size_t(r)] = Cgram(uint8_t((code & 7) * 8 + r)) & 0x1F;
    return rows;
}

std::string Hd44780::LineText(int line) const {
    std::string text;
    for (int c = 0; c < wiring_.Columns; ++c) {
        const int code = ShownCode(line, c);
        if (code < 0) text += ' ';
        else if (code < 0x10) text += char(code & 7);
        else text += RomCharacterUtf8(uint8_t(code));
    }
    return text;
}
