// Steps by source line: the one-shot stop that ends a step from the program counter's line.
#pragma once

#include <optional>

#include "Debugger.h"
#include "Symbols.h"

// The stop of a step by source line from the line that covers the program counter: the first
// address of every other line record, and the first address of this line when it is reached at
// another call depth (the same line of the caller or the callee, in recursion). Stepping over
// calls (`overCalls`) adds the stack test: SP no higher than at the start of the line, so that a
// call's body and the interrupts in between run through. The Source window's F10/F11 and the
// debug adapter's next/stepIn use it.
OneShotStop SourceLineStop(const SymbolTable& symbols, bool overCalls);

// The second half of a Step Out by line: the routine's return usually lands inside the caller's
// line (the result is still to be stored), and the step then goes on over calls to the start of
// the next line. The stop for that, or none when the program counter is at the start of a line or
// in none.
std::optional<OneShotStop> FinishLineStop(const SymbolTable& symbols);

// The stop of a step back by source line: the first address of every line but the program
// counter's. A reverse continue to it reaches the start of the previous line executed. The
// desktop's Step Back in the Source window and the debug adapter's stepBack use it.
OneShotStop PreviousLineStop(const SymbolTable& symbols);
