// Code addresses by the program's names: the C line, file and function of an address, and the
// session's breakpoints kept by those names.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "SessionFile.h"
#include "Symbols.h"

// Where a code address lies in the program's source.
struct CodePlace {
    std::string file;      // "main.c"; "" without a C line
    uint32_t line = 0;
    bool lineStart = false;  // the address is the first instruction of that line
    std::string function;  // the function (or the code label of a library routine) it lies in
    bool functionStart = false;
};
CodePlace DescribeCode(const SymbolTable* table, uint16_t address);
// "main.c:12 (main)", "main.c:12", "(_printf)" or "" when the symbols know nothing of it.
std::string CodePlaceText(const CodePlace& place);

// The code breakpoints of the machine (BreakpointTable 1 enabled, 2 disabled) as a session keeps
// them: with symbols by file and line when a breakpoint is the first instruction of a C line, by
// function at a function's first instruction, otherwise by address.
std::vector<SessionCodeBreakpoint> SessionCodeBreakpoints(const SymbolTable* table);
// Sets the session's code breakpoints on the loaded program. Returns a text for each one that no
// longer applies ("main.c:99 (no code on that line)"); those are left out.
std::vector<std::string> RestoreCodeBreakpoints(const std::vector<SessionCodeBreakpoint>& breakpoints,
                                                const SymbolTable* table, int32_t programEnd);

// The data breakpoints (DataBreakpoints) as a session keeps them: by variable name when one
// starts at the breakpoint's address, otherwise by memory and address; and back.
std::vector<SessionDataBreakpoint> SessionDataBreakpoints(const SymbolTable* table);
std::vector<std::string> RestoreDataBreakpoints(const std::vector<SessionDataBreakpoint>& breakpoints,
                                                const SymbolTable* table);
