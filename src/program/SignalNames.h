// The names of logic-analyzer signals: "P1.3", "P1", "TF0", "TL0", "D7:bit", "30:iram",
// "1234:xram", or a variable of the program's symbols, and the list a window offers to choose from.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Signals.h"
#include "Symbols.h"

// One signal by its name, as the Logic Analyzer window and `corvamat-run --signals` take it:
//   Pn.b            a port pin (the level on the pin)          Pn     the eight pins of port n
//   TF0, EA, CY ... an SFR bit by its name                     TL0, SBUF ... an SFR byte
//   ADDR:bit        a bit by hexadecimal bit address           ADDR:sfr, ADDR:iram, ADDR:xram
//   INT0, T1, RXD   the port 3 (and T2, T2EX port 1) pins by their second function
//   a variable (with symbols) by its unique name ("total", "a.c:tick.n"): its whole value, least
//                   significant byte first, up to 8 bytes
// Register and bit names are matched without regard to case; the signal keeps the name as given.
std::optional<SignalDef> ParseSignalName(std::string_view name, const SymbolTable* symbols, std::string* error);
// A comma-separated list of names; false with a message naming the first bad one.
bool ParseSignalList(std::string_view list, const SymbolTable* symbols, std::vector<SignalDef>* out,
                     std::string* error);
// P0.0 ... P3.7, the runner's default.
std::vector<SignalDef> PortPinSignals();
// Every name a user may pick from a list: the pins, the ports, the SFR bits and bytes, and the
// program's global and static variables that a signal can follow.
std::vector<std::string> SignalCatalogue(const SymbolTable* symbols);
