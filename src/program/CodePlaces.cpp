// The C line and function of code addresses, and the session's breakpoints by those names.
#include "CodePlaces.h"

#include "Code.h"
#include "Debugger.h"
#include "HexText.h"

namespace {

const char* const kSpaces[] = {"iram", "sfr", "bit", "xram"};

// A code label of the linker map (a library routine) by name.
const Label* CodeLabel(const SymbolTable& t, const std::string& name) {
    for (const Label& l : t.labels)
        if (l.code && l.name == name) return &l;
    return nullptr;
}

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
    for (uint32_t a = 0; a <= 0xFFFF; ++a) {
        const uint8_t state = BreakpointTable[uint16_t(a)];
        if (state != 1 && state != 2) continue;
        SessionCodeBreakpoint b;
        b.enabled = state == 1;
        const CodePlace p = DescribeCode(table, uint16_t(a));
        if (p.lineStart) {
            b.file = p.file;
            b.line = p.line;
        } else if (p.functionStart) {
            b.function = p.function;
        } else {
            b.address = int32_t(a);
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
        if (!b.file.empty()) {
            const std::string name = b.file + ":" + std::to_string(b.line);
            uint32_t actual = 0;
            auto a = table ? table->AddressOfLine(b.file, b.line, &actual) : std::nullopt;
            if (!table) dropped.push_back("the breakpoint at " + name + " (the program has no symbols)");
            else if (!a || actual != b.line) dropped.push_back("the breakpoint at " + name + " (no code on that line)");
            else address = *a;
        } else if (!b.function.empty()) {
            const Function* f = table ? table->FindFunction(b.function) : nullptr;
            const Label* l = table && !f ? CodeLabel(*table, b.function) : nullptr;
            if (!table) dropped.push_back("the breakpoint on " + b.function + " (the program has no symbols)");
            else if (!f && !l) dropped.push_back("the breakpoint on " + b.function + " (no such function)");
            else address = f ? f->start : l->address;
        } else if (b.address > programEnd) {
            dropped.push_back("the breakpoint at " + HexAddressText(unsigned(b.address)) + " (past the program's end)");
        } else {
            address = b.address;
        }
        if (address >= 0) BreakpointTable.Set(uint16_t(address), b.enabled ? 1 : 2);
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

std::vector<DataBreakpoint> VariableDataBreakpoints(const SymbolTable& table, const std::string& name,
                                                    WatchMatch match, uint8_t value, std::string* error) {
    std::vector<DataBreakpoint> out;
    auto w = ResolveWatchName(table, name, error);
    if (!w) return out;
    const uint32_t bytes = match == WatchMatch::Equals ? 1 : w->size;
    for (uint32_t i = 0; i < bytes; ++i) {
        const uint32_t a = w->address + i;
        DataBreakpoint b;
        if (!ParseWatchText(HexDigits(a, a > 0xFF ? 4 : 2) + ":" + w->space, &b, error)) {
            *error = name + " lies past the end of its memory";
            return {};
        }
        b.match = match;
        b.value = value;
        out.push_back(b);
    }
    return out;
}

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
    for (size_t i = 0; i < DataBreakpoints.size(); ++i) {
        const DataBreakpoint& d = DataBreakpoints[i];
        SessionDataBreakpoint b;
        b.memory = kSpaces[int(d.space)];
        b.address = d.address;
        b.stop = d.match == WatchMatch::Equals ? "equals" : d.match == WatchMatch::Changes ? "changes" : "write";
        b.value = d.value;
        b.enabled = d.enabled;
        // By name when it watches a variable from its first byte, together with the breakpoints
        // that follow it on the variable's other bytes, as VariableDataBreakpoints makes them.
        for (const VariablePlace& v : places) {
            if (!Covers(v, d) || d.address != v.where.address) continue;
            const size_t bytes = d.match == WatchMatch::Equals ? 1 : v.where.size;
            bool whole = i + bytes <= DataBreakpoints.size();
            for (size_t k = 1; whole && k < bytes; ++k) {
                const DataBreakpoint& n = DataBreakpoints[i + k];
                whole = n.space == d.space && n.address == d.address + k && n.match == d.match && n.enabled == d.enabled;
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
    DataBreakpoints.clear();
    for (const SessionDataBreakpoint& b : breakpoints) {
        const WatchMatch match = b.stop == "equals" ? WatchMatch::Equals : b.stop == "changes" ? WatchMatch::Changes
                                                                                                 : WatchMatch::AnyWrite;
        std::string error;
        if (!b.variable.empty()) {
            std::vector<DataBreakpoint> bytes;
            if (table) bytes = VariableDataBreakpoints(*table, b.variable, match, b.value, &error);
            if (bytes.empty()) {
                dropped.push_back("the data breakpoint on " + b.variable + " (" +
                                  (table ? error : std::string("the program has no symbols")) + ")");
                continue;
            }
            for (DataBreakpoint& d : bytes) {
                d.enabled = b.enabled;
                DataBreakpoints.push_back(d);
            }
            continue;
        }
        std::string text = HexDigits(b.address, b.address > 0xFF ? 4 : 2) + ":" + b.memory;
        if (b.stop == "equals") text += "=" + HexDigits(b.value, 2);
        DataBreakpoint d;
        if (!ParseWatchText(text, &d, &error)) {
            dropped.push_back("the data breakpoint at " + text + " (" + error + ")");
            continue;
        }
        d.match = match;
        d.enabled = b.enabled;
        DataBreakpoints.push_back(d);
    }
    return dropped;
}
