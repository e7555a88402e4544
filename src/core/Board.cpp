// The course hardware on the simulated board.
#include "Board.h"

#include "Code.h"

namespace {

Hd44780 Lcd;
bool LcdOn = false;
MatrixKeypad Keypad;
bool KeypadOn = false;
SegmentPersistence Segments;
bool SegmentsOn = false;

}  // namespace

void AttachLcd(const LcdWiring& wiring) {
    Lcd.Configure(wiring, 11059200, MachineCycleCount());
    LcdOn = true;
}
void DetachLcd() { LcdOn = false; }
bool LcdAttached() { return LcdOn; }
const Hd44780& BoardLcd() { return Lcd; }

void AttachKeypad4x4(const Keypad4x4Wiring& wiring) {
    Keypad.Configure(wiring);
    KeypadOn = true;
}
void DetachKeypad4x4() { KeypadOn = false; }
bool Keypad4x4Attached() { return KeypadOn; }
void SetKeypad4x4Key(int key, bool down) { Keypad.SetKey(key, down); }
uint16_t Keypad4x4Keys() { return Keypad.KeysDown(); }

void AttachSegmentPersistence(const SegmentWiring& wiring) {
    Segments.Configure(wiring, 11059200, MachineCycleCount());
    SegmentsOn = true;
}
void DetachSegmentPersistence() { SegmentsOn = false; }
uint64_t SegmentDigitsShown() { return Segments.Published(); }

uint8_t PortPinLevels(int port) { return InternalRam[0x80 + 0x10 * (port & 3)]; }
uint64_t MachineCycleCount() { return 0; }
