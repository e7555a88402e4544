// Code addresses by the program's names: the C line, file and function of an address, and the
// session's breakpoints kept by those names.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Debugger.h"
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

// The code breakpoints (ListBreakpoints) as a session keeps them: with symbols by file and line
// when a breakpoint is the first instruction of a C line, by function (its unique name) or code
// label at a routine's first instruction, otherwise by address.
std::vector<SessionCodeBreakpoint> SessionCodeBreakpoints(const SymbolTable* table);
// Sets the session's code breakpoints on the loaded program. Returns a text for each one that no
// longer applies ("main.c:99 (no code on that line)"); those are left out.
std::vector<std::string> RestoreCodeBreakpoints(const std::vector<SessionCodeBreakpoint>& breakpoints,
                                                const SymbolTable* table, int32_t programEnd);

// The names of the variables that data breakpoints can watch, in the Watch window's order.
std::vector<std::string> WatchableVariables(const SymbolTable& table);
// The variable a data breakpoint's place belongs to: "result", "result+1" for its second byte,
// "" when none.
std::string DataBreakpointVariable(const SymbolTable* table, const DataBreakpoint& b);

// The data breakpoints (ListBreakpoints) as a session keeps them: by variable name when one
// starts at the breakpoint's address (the breakpoints on its other bytes with it, as one
// entry, as ResolveDataTarget makes them), otherwise by memory and address; and back, replacing
// every data breakpoint.
std::vector<SessionDataBreakpoint> SessionDataBreakpoints(const SymbolTable* table);
std::vector<std::string> RestoreDataBreakpoints(const std::vector<SessionDataBreakpoint>& breakpoints,
                                                const SymbolTable* table);
