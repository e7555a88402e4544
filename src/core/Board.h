// The course hardware on the simulated board: the character LCD, the 4x4 matrix keypad and the
// multiplexed display's persistence, part of the machine value (MachineState::board).
//
// A device is attached on the controlling thread while no run is in progress (a window opens, the
// runner reads a board file); it then follows the pins: a store that changes a port's latch, or a
// device's pull that changes a pin, lets every attached device work out its own pulls again from
// what the pins would be without it, until they agree. Time alone changes things too (the LCD's
// busy flag falls under a read that goes on, a persistence period ends, a --press key goes down or
// up): a step observer does that work at the machine cycle it is due. Keys of the 4x4 keypad
// change through the input queue (InputKind::DeviceKey), so they are stamped and replayable.
//
// Windows read the devices at any time: what they draw is stored as relaxed atomics.
#pragma once

#include <cstdint>
#include <vector>

#include "Hd44780.h"
#include "LedBar.h"
#include "MatrixKeypad.h"
#include "SegmentPersistence.h"

struct BoardState {
    enum : uint8_t { kLcd = 1, kKeypad = 2, kSegments = 4 };
    uint8_t attached = 0;
    Hd44780 lcd;
    MatrixKeypad keypad;
    SegmentPersistence segments;
    bool operator==(const BoardState&) const = default;
};

void AttachLcd(const LcdWiring& wiring);
void DetachLcd();
bool LcdAttached();
const Hd44780& BoardLcd();

void AttachKeypad4x4(const Keypad4x4Wiring& wiring);
void DetachKeypad4x4();
bool Keypad4x4Attached();
// A key of the 4x4 keypad goes down or up: an input, applied at once or queued for a run.
void SetKeypad4x4Key(int key, bool down);
uint16_t Keypad4x4Keys();

void AttachSegmentPersistence(const SegmentWiring& wiring);
void DetachSegmentPersistence();
// Byte i = the lit segments of digit i as the display shows them: exact while no run is in
// progress, as last published at a refresh period's end during a run.
uint64_t SegmentDigitsShown();

// The 8051's clock changed (between runs): the LCD's busy times and the persistence periods follow.
void SetBoardClock(int32_t frequencyHz);
// Reset: the persistence model forgets what it saw, so no digit lights until the program selects
// it again. The LCD keeps its state, as a board's reset button leaves the module alone.
void ResetBoard();
// Every device detached (start-up).
void DetachBoard();
// What the pins of every port read: the latch AND every device's pull.
PortLevels PinLevels();

// Keys held from a machine cycle for a number of cycles (the runner's --press), applied as
// DeviceKey inputs when the run reaches them. Replaces what was scheduled.
struct ScheduledKey {
    int key;
    uint64_t cycle;
};
void ScheduleKeypad4x4Presses(const std::vector<ScheduledKey>& presses, uint64_t holdCycles);

// The input queue's DeviceKey: key `key` of the 4x4 keypad down or up (the simulation thread, or
// the controlling thread between runs).
void ApplyKeypad4x4Key(int key, bool down);
