// The 4x4 matrix keypad: 16 switches between four row lines and four column lines.
//
// A pressed key connects its row and its column: a line reads low when any line connected to it
// through pressed keys is pulled low by something else (the port's latch or another device), so a
// column reads low while its key is down and its row is driven low, and the other way round. Keys
// are numbered 0-F in reading order, column 0 first: row 0 holds 0 1 2 3, row 3 holds C D E F.
// Several keys down connect their lines as real switches do (ghost keys included).
#pragma once

#include <array>
#include <cstdint>

#include "Pins.h"
#include "Relaxed.h"
#include "Wiring.h"

class MatrixKeypad {
public:
    MatrixKeypad() = default;
    MatrixKeypad(const MatrixKeypad&) = default;
    MatrixKeypad& operator=(const MatrixKeypad& o) {
        wiring_ = o.wiring_;
        SetKeysDown(o.KeysDown());
        pulls_ = o.pulls_;
        return *this;
    }
    bool operator==(const MatrixKeypad&) const = default;

    void Configure(const Keypad4x4Wiring& wiring) { wiring_ = wiring; }
    const Keypad4x4Wiring& Wiring() const { return wiring_; }

    // Bit k = key k down.
    uint16_t KeysDown() const { return LoadRelaxed(down_); }
    void SetKeysDown(uint16_t keys) { StoreRelaxed(down_, keys); }
    void SetKey(int key, bool down) {
        const uint16_t bit = uint16_t(1u << (key & 15));
        SetKeysDown(down ? uint16_t(KeysDown() | bit) : uint16_t(KeysDown() & ~bit));
    }

    // The pins as the keypad sees them (every pull but its own); returns true when its pulls changed.
    bool PinsChanged(const PortLevels& levels);
    const PortLevels& Pulls() const { return pulls_; }

private:
    Keypad4x4Wiring wiring_;
    uint16_t down_ = 0;
    PortLevels pulls_{};
};

// The key of a typed character: "0"-"9", "A"-"F" (either case), -1 for any other.
int KeypadKeyOfChar(char c);
