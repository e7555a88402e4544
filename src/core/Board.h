// The course hardware on the simulated board: the character LCD, the 4x4 matrix keypad and the
// multiplexed display's persistence, attached to the port pins. (The LED bar only looks at pins.)
//
// Attach and detach on the user-interface thread while no worker runs, or in the runner before
// the run. Windows read the devices at any time; their state is read through relaxed atomics.
#pragma once

#include <cstdint>

#include "Hd44780.h"
#include "LedBar.h"
#include "MatrixKeypad.h"
#include "SegmentPersistence.h"

void AttachLcd(const LcdWiring& wiring);
void DetachLcd();
bool LcdAttached();
const Hd44780& BoardLcd();

void AttachKeypad4x4(const Keypad4x4Wiring& wiring);
void DetachKeypad4x4();
bool Keypad4x4Attached();
// A key of the 4x4 keypad goes down or up (user-interface thread).
void SetKeypad4x4Key(int key, bool down);
uint16_t Keypad4x4Keys();

void AttachSegmentPersistence(const SegmentWiring& wiring);
void DetachSegmentPersistence();
// Byte i = the lit segments of digit i as the display shows them: exact while no worker runs,
// as last published at a refresh period's end during a run.
uint64_t SegmentDigitsShown();

// What the pins of a port read: the latch AND every device's pull.
uint8_t PortPinLevels(int port);
// Machine cycles since start-up.
uint64_t MachineCycleCount();
