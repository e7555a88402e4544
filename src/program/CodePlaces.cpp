// The C line and function of code addresses, and the session's breakpoints by those names.
#include "CodePlaces.h"

#include "Code.h"
#include "Debugger.h"
#include "HexText.h"
#include "Targets.h"

namespace {

const char* const kSpaces[] = {"iram", "sfr", "bit", "xram"};

}  // namespace

CodePlace DescribeCode(const SymbolTable* table, uint16_t address) {
    CodePlace p;
    if (!table) return p;
    if (const LineRecord* r = table->LineAt(address)) {
        p.file = r->file;
        p.line = r->line;
        p.lineStart = table->AddressOfLine(r->file, r->line) == address;
    }
    if (const Function* f = table->FunctionAt(address)) {
        p.function = f->name;
        p.functionStart = f->start == address;
    } else if (std::string label = table->CodeLabelAt(address); !label.empty()) {
        p.function = label;
        p.functionStart = true;
    }
    return p;
}

std::string CodePlaceText(const CodePlace& p) {
    std::string s;
    if (!p.file.empty()) s = p.file + ":" + std::to_string(p.line);
    if (!p.function.empty()) s += (s.empty() ? "(" : " (") + p.function + ")";
    return s;
}

std::vector<SessionCodeBreakpoint> SessionCodeBreakpoints(const SymbolTable* table) {
    std::vector<SessionCodeBreakpoint> out;
    for (const Breakpoint& bp : ListBreakpoints(Breakpoint::Kind::Code)) {
        SessionCodeBreakpoint b;
        b.enabled = bp.enabled;
        const CodePlace p = DescribeCode(table, bp.address);
        const Function* f = table ? table->FunctionAt(bp.address) : nullptr;
        if (p.lineStart) {
            b.file = p.file;
            b.line = p.line;
        } else if (p.functionStart) {
            b.function = f && f->start == bp.address ? table->UniqueName(*f) : p.function;
        } else {
            b.address = int32_t(bp.address);
        }
        out.push_back(b);
    }
    return out;
}

std::vector<std::string> RestoreCodeBreakpoints(const std::vector<SessionCodeBreakpoint>& breakpoints,
                                                const SymbolTable* table, int32_t programEnd) {
    std::vector<std::string> dropped;
    for (const SessionCodeBreakpoint& b : breakpoints) {
        int32_t address = -1;
        std::string label;
        if (!b.file.empty() || !b.function.empty()) {
            // A name as the user would type it for the runner's --break; a line must still have
            // code of its own, not lend its breakpoint to the next line that has.
            label = b.file.empty() ? b.function : b.file + ":" + std::to_string(b.line);
            const std::string what = b.file.empty() ? "the breakpoint on " + label : "the breakpoint at " + label;
            if (!table) {
                dropped.push_back(what + " (the program has no symbols)");
                continue;
            }
            const Expected<CodeTarget> t = ResolveCodeTarget(label, table);
            // The resolver's message names the function again; the list has named it already.
            if (!t) dropped.push_back(what + " (" + (t.error().starts_with("no function or label ")
                                                        ? std::string("no such function or label") : t.error()) + ")");
            else if (!b.file.empty() && t->line != b.line) dropped.push_back(what + " (no code on that line)");
            else address = t->address;
        } else if (b.address > programEnd) {
            dropped.push_back("the breakpoint at " + HexAddressText(unsigned(b.address)) + " (past the program's end)");
        } else {
            address = b.address;
        }
        if (address < 0) continue;
        const int id = AddCodeBreakpoint(uint16_t(address), label);
        if (!b.enabled) EnableBreakpoint(id, false);
    }
    return dropped;
}

namespace {

// A watchable variable with where its bytes are.
struct VariablePlace {
    std::string name;
    WatchAddress where;
};

std::vector<VariablePlace> VariablePlaces(const SymbolTable& table) {
    std::vector<VariablePlace> out;
    std::string error;
    for (const auto& [name, symbol] : table.StaticVariables())
        if (auto w = ResolveWatchName(table, name, &error)) out.push_back({name, *w});
    return out;
}

bool Covers(const VariablePlace& v, const DataBreakpoint& b) {
    return v.where.space == kSpaces[int(b.space)] && b.address >= v.where.address &&
           b.address < v.where.address + v.where.size;
}

}  // namespace

std::vector<std::string> WatchableVariables(const SymbolTable& table) {
    std::vector<std::string> out;
    for (const VariablePlace& v : VariablePlaces(table)) out.push_back(v.name);
    return out;
}

std::string DataBreakpointVariable(const SymbolTable* table, const DataBreakpoint& b) {
    if (!table) return {};
    for (const VariablePlace& v : VariablePlaces(*table))
        if (Covers(v, b)) {
            const uint32_t offset = b.address - v.where.address;
            return offset ? v.name + "+" + std::to_string(offset) : v.name;
        }
    return {};
}

std::vector<SessionDataBreakpoint> SessionDataBreakpoints(const SymbolTable* table) {
    std::vector<SessionDataBreakpoint> out;
    const std::vector<VariablePlace> places = table ? VariablePlaces(*table) : std::vector<VariablePlace>();
    const std::vector<Breakpoint> data = ListBreakpoints(Breakpoint::Kind::Data);
    for (size_t i = 0; i < data.size(); ++i) {
        const DataBreakpoint& d = data[i].data;
        SessionDataBreakpoint b;
        b.memory = kSpaces[int(d.space)];
        b.address = d.address;
        b.stop = d.match == WatchMatch::Equals ? "equals" : d.match == WatchMatch::Changes ? "changes" : "write";
        b.value = d.value;
        b.enabled = data[i].enabled;
        // By name when it watches a variable from its first byte, together with the breakpoints
        // that follow it on the variable's other bytes, as a variable's breakpoints are made.
        for (const VariablePlace& v : places) {
            if (!Covers(v, d) || d.address != v.where.address) continue;
            const size_t bytes = d.match == WatchMatch::Equals ? 1 : v.where.size;
            bool whole = i + bytes <= data.size();
            for (size_t k = 1; whole && k < bytes; ++k) {
                const Breakpoint& n = data[i + k];
                whole = n.data.space == d.space && n.data.address == d.address + k && n.data.match == d.match &&
                        n.enabled == data[i].enabled;
            }
            if (!whole) continue;
            b.variable = v.name;
            i += bytes - 1;
            break;
        }
        out.push_back(b);
    }
    return out;
}

std::vector<std::string> RestoreDataBreakpoints(const std::vector<SessionDataBreakpoint>& breakpoints,
                                                const SymbolTable* table) {
    std::vector<std::string> dropped;
    RemoveDataBreakpoints();
    for (const SessionDataBreakpoint& b : breakpoints) {
        DataTarget target;
        target.match = b.stop == "equals" ? WatchMatch::Equals : b.stop == "changes" ? WatchMatch::Changes
                                                                                     : WatchMatch::AnyWrite;
        if (target.match == WatchMatch::Equals) target.value = HexDigits(b.value, 2);
        std::string what;
        if (!b.variable.empty()) {
            target.target = b.variable;
            what = "the data breakpoint on " + b.variable;
            if (!table) {
                dropped.push_back(what + " (the program has no symbols)");
                continue;
            }
        } else {
            target.target = HexDigits(b.address, b.address > 0xFF ? 4 : 2);
            target.space = b.memory == "sfr" ? WatchSpace::Sfr : b.memory == "bit" ? WatchSpace::Bit
                           : b.memory == "xram" ? WatchSpace::Xram : WatchSpace::Iram;
            what = "the data breakpoint at " + target.target + ":" + b.memory;
        }
        const Expected<std::vector<DataBreakpoint>> set = ResolveDataTarget(target, table);
        if (!set) {
            dropped.push_back(what + " (" + set.error() + ")");
            continue;
        }
        for (const DataBreakpoint& d : *set) {
            const int id = AddDataBreakpoint(d, b.variable);
            if (!b.enabled) EnableBreakpoint(id, false);
        }
    }
    return dropped;
}
