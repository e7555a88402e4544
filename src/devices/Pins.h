// The 32 port pins as the board's devices see them: levels in, pulls out, pins named as "P2.0".
//
// A pin is named by its 8051 bit address (80h + 10h * port + bit, P0.0 = 80h ... P3.7 = B7h), as
// the settings file names the 7-segment display's and the 4x2 keypad's pins. A device never writes
// a port's latch: it only pulls pins low. What a pin reads is its latch AND every device's pull.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// One byte per port, bit b of byte p for pin Pp.b.
struct PortLevels {
    std::array<uint8_t, 4> port{0xFF, 0xFF, 0xFF, 0xFF};

    // Level of a pin given by its bit address (80h-B7h).
    int Level(uint8_t bitAddress) const { return (port[PortOf(bitAddress)] >> (bitAddress & 7)) & 1; }
    void Set(uint8_t bitAddress, int level) {
        const uint8_t mask = uint8_t(1u << (bitAddress & 7));
        uint8_t& b = port[PortOf(bitAddress)];
        b = level ? uint8_t(b | mask) : uint8_t(b & ~mask);
    }
    // Pulls a pin low (for pull masks: 1 = left alone, 0 = pulled low).
    void PullLow(uint8_t bitAddress) { Set(bitAddress, 0); }
    bool operator==(const PortLevels&) const = default;

    static int PortOf(uint8_t bitAddress) { return (bitAddress >> 4) & 3; }
};

// No pin pulled.
inline constexpr PortLevels kNoPulls{};

// Whether a bit address names one of the 32 port pins.
constexpr bool IsPortPin(int bitAddress) {
    return bitAddress >= 0x80 && bitAddress <= 0xB7 && (bitAddress & 0x08) == 0;
}
constexpr uint8_t PortPin(int port, int bit) { return uint8_t(0x80 + 0x10 * port + bit); }
// The direct address of a port (0-3).
constexpr uint8_t PortAddress(int port) { return uint8_t(0x80 + 0x10 * port); }

// "P2.0" for bit address A0h; "?" for anything that is no port pin.
std::string PinText(uint8_t bitAddress);
// Reads "P2.0" (case and blanks around it ignored); nothing for any other text.
std::optional<uint8_t> ParsePinText(std::string_view text);
// "P1" for port 1; reads "P0"-"P3" back.
std::string PortText(int port);
std::optional<int> ParsePortText(std::string_view text);
