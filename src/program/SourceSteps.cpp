// The one-shot stop of a step by source line.
#include "SourceSteps.h"

OneShotStop SourceLineStop(const SymbolTable& symbols, bool overCalls) {
    const uint16_t pc = ProgramCounter;
    OneShotStop stop;
    for (uint16_t a : symbols.OtherLineStarts(pc)) stop.addresses.set(a);
    if (const LineRecord* here = symbols.LineAt(pc))
        for (const LineRecord& r : symbols.lines)
            if (r.line == here->line && r.file == here->file) stop.sameLineAddresses.set(r.address);
    stop.depth = CallDepth();
    if (overCalls) {
        stop.stack = OneShotStop::Stack::AtMost;
        stop.stackLimit = InternalRam[Sfr::SP];
    }
    return stop;
}

std::optional<OneShotStop> FinishLineStop(const SymbolTable& symbols) {
    const LineRecord* r = symbols.LineAt(ProgramCounter);
    if (!r || r->address == ProgramCounter) return std::nullopt;
    return SourceLineStop(symbols, true);
}

OneShotStop PreviousLineStop(const SymbolTable& symbols) {
    OneShotStop stop;
    for (uint16_t a : symbols.OtherLineStarts(ProgramCounter)) stop.addresses.set(a);
    return stop;
}
