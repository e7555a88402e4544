// What the user names as a place in the program, resolved: code targets for breakpoints and data
// targets for data breakpoints, by the program's names (with symbols) or by address. The runner's
// --break and --watch, the desktop's dialogs and the debug adapter share these routines; a
// failure is a value with its message, and the caller decides what it ends.
//
// Addresses are hexadecimal, written "0x1F", "1Fh" or "1F". With symbols a name is looked up
// before an address, so "add" is the function add and "ab" the variable ab where the program
// has them, and the addresses ADDh and ABh where it has not.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Debugger.h"
#include "ProgramSymbols.h"
#include "Expected.h"

// An address in one of the three forms; nullopt when the text is none of them. A value too large
// for 32 bits reads as 0xFFFFFFFF, which no memory has.
std::optional<uint32_t> ParseAddressText(std::string_view text);

struct CodeTarget {
    uint16_t address = 0;
    std::string file;   // FILE:LINE: the source file as the symbols name it, else ""
    uint32_t line = 0;  // FILE:LINE: the line that holds the address, else 0
    std::string note;   // what the user should hear ("main.c:4 has no code; ... on line 6"), or ""
};

// "0x1F", "1Fh", "1F"; a function by its unique name ("main", "_main", "a.c:tick"); a code label
// of a .map/.noi ("start"); FILE:LINE of a C or assembler source ("main.c:12", "blink.asm:11"),
// taking the next line with code when that one has none.
Expected<CodeTarget> ResolveCodeTarget(std::string_view text, const SymbolTable* symbols = ActiveProgramSymbols());

// A data target in fields, as a dialog holds them.
struct DataTarget {
    std::string target;               // a variable's unique name, or an address
    std::optional<WatchSpace> space;  // the memory of an address (iram when not given); given, the
                                      // target is taken as an address
    WatchMatch match = WatchMatch::AnyWrite;
    std::string value;                // with Equals: a byte in the address forms; a bit's 0 or 1
};

// The data breakpoints that watch the target: an address, or every byte of a variable (with
// Equals its least significant byte, where the value is compared) in the memory it lives in.
Expected<std::vector<DataBreakpoint>> ResolveDataTarget(const DataTarget& target,
                                                      const SymbolTable* symbols = ActiveProgramSymbols());
// The same from text: ADDR[:SPACE][=VALUE|:changed] or NAME[=VALUE|:changed], SPACE one of
// iram, sfr, bit, xram ("30:iram:changed", "total:changed", "ab=05").
Expected<std::vector<DataBreakpoint>> ResolveDataTarget(std::string_view text,
                                                      const SymbolTable* symbols = ActiveProgramSymbols());

// What is wrong with a target's text whatever symbols are loaded later ("" when nothing is, or
// when only the symbols can tell), so that an option can be refused before the program loads.
std::string CodeTargetFormError(std::string_view text);
std::string DataTargetFormError(std::string_view text);
