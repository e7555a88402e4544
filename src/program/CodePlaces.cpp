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

std::vector<SessionDataBreakpoint> SessionDataBreakpoints(const SymbolTable* table) {
    std::vector<SessionDataBreakpoint> out;
    for (const DataBreakpoint& d : DataBreakpoints) {
        SessionDataBreakpoint b;
        b.memory = kSpaces[int(d.space)];
        b.address = d.address;
        b.stop = d.match == WatchMatch::Equals ? "equals" : d.match == WatchMatch::Changes ? "changes" : "write";
        b.value = d.value;
        b.enabled = d.enabled;
        if (table) {
            std::string error;
            for (const auto& [name, symbol] : table->StaticVariables()) {
                auto w = ResolveWatchName(*table, name, &error);
                if (w && w->space == b.memory && w->address == d.address) {
                    b.variable = name;
                    break;
                }
            }
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
        std::string memory = b.memory, error;
        uint32_t address = b.address;
        if (!b.variable.empty()) {
            auto w = table ? ResolveWatchName(*table, b.variable, &error) : std::nullopt;
            if (!w) {
                dropped.push_back("the data breakpoint on " + b.variable + " (" +
                                  (table ? error : std::string("the program has no symbols")) + ")");
                continue;
            }
            memory = w->space;
            address = w->address;
        }
        std::string text = HexDigits(address, address > 0xFF ? 4 : 2) + ":" + memory;
        if (b.stop == "equals") text += "=" + HexDigits(b.value, 2);
        DataBreakpoint d;
        if (!ParseWatchText(text, &d, &error)) {
            dropped.push_back("the data breakpoint at " + text + " (" + error + ")");
            continue;
        }
        d.match = b.stop == "equals" ? WatchMatch::Equals : b.stop == "changes" ? WatchMatch::Changes : WatchMatch::AnyWrite;
        d.enabled = b.enabled;
        DataBreakpoints.push_back(d);
    }
    return dropped;
}
