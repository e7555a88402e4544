// The LED bar: eight LEDs on the pins of one port, lit by a low level (active low) or a high one.
#pragma once

#include <cstdint>

#include "Pins.h"
#include "Wiring.h"

// Bit i = the LED on pin i of the port is lit.
inline uint8_t LitLeds(const LedBarWiring& w, const PortLevels& levels) {
    const uint8_t p = levels.port[size_t(w.Port & 3)];
    return w.ActiveLow ? uint8_t(~p) : p;
}
