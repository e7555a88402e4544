// How the board's devices are wired to the 8051's port pins, as the board and settings files say.
#pragma once

#include <array>
#include <cstdint>

// The character LCD module: its size, its look and its pins. RW may be tied to ground
// (kGroundPin): the module is then only written to, and a program must wait instead of reading
// the busy flag.
constexpr uint8_t kGroundPin = 0;
struct LcdWiring {
    int DataPort = 0;                        // P0
    uint8_t RS = 0xA0, RW = 0xA1, E = 0xA2;  // P2.0, P2.1, P2.2
    int Bits = 8;                            // 8, or 4: D4-D7 on bits 4-7 of the data port
    int Columns = 16, Lines = 2;             // 16x2 or 20x4 (8-40 columns; 1, 2 or 4 lines)
    bool Blue = false;                       // a blue module (white dots) instead of a green one
    bool operator==(const LcdWiring&) const = default;
};

// The 4x4 matrix keypad: four row lines and four column lines.
struct Keypad4x4Wiring {
    std::array<uint8_t, 4> Rows{0x90, 0x91, 0x92, 0x93};     // P1.0-P1.3
    std::array<uint8_t, 4> Columns{0x94, 0x95, 0x96, 0x97};  // P1.4-P1.7
    bool operator==(const Keypad4x4Wiring&) const = default;
};

// The LED bar: eight LEDs on the pins of one port.
struct LedBarWiring {
    int Port = 1;           // P1
    bool ActiveLow = true;  // an LED lights while its pin is low
    bool operator==(const LedBarWiring&) const = default;
};

// The multiplexed 7-segment display: a select pin per digit (low = selected) and eight segment
// pins shared by all digits (low = on).
struct SegmentWiring {
    int Digits = 4;
    std::array<uint8_t, 8> Select{0x90, 0x91, 0x92, 0x93, 0x94, 0x95, 0x96, 0x97};    // digit i, P1.i
    std::array<uint8_t, 8> Segments{0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6, 0xA7};  // segment n, P2.n
    bool operator==(const SegmentWiring&) const = default;
};
