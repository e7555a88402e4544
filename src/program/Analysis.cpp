// The program's functions, coverage marks and the lcov and callgrind writers, from the recorder.
#include "Analysis.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>

#include "Code.h"

namespace {

std::string Hex4Text(unsigned v) {
    char b[8];
    std::snprintf(b, sizeof b, "%04X", v & 0xFFFF);
    return b;
}

// The instruction starts from `from` to `last` as a linear sweep finds them.
template <class Fn>
void SweepInstructions(uint32_t from, uint32_t last, Fn fn) {
    for (uint32_t a = from; a <= last && a <= 0xFFFF; a += InstructionLength[CodeMemory[a]]) fn(uint16_t(a));
}

// The functions with a range from the symbols, ascending.
std::vector<const Function*> RangedFunctions(const SymbolTable* symbols) {
    std::vector<const Function*> out;
    if (!symbols) return out;
    for (const Function& f : symbols->functions)
        if (f.hasRange) out.push_back(&f);
    std::sort(out.begin(), out.end(), [](auto* a, auto* b) { return a->start < b->start; });
    return out;
}

bool InsideRanged(const std::vector<const Function*>& ranged, uint16_t a) {
    for (const Function* f : ranged)
        if (a >= f->start && a <= f->last) return true;
    return false;
}

// The source file of a line record as a path a coverage tool can open: relative names are taken
// from the folder of the .cdb.
std::string SourcePath(const SymbolTable& symbols, const std::string& file) {
    namespace fs = std::filesystem;
    fs::path p(file);
    if (p.is_absolute()) return file;
    fs::path base = fs::path(symbols.source).parent_path();
    std::error_code ec;
    fs::path full = fs::absolute(base / p, ec);
    return ec ? file : full.lexically_normal().string();
}

}  // namespace

int ExecutionProfile::FunctionAt(uint16_t address) const {
    auto it = std::upper_bound(functions.begin(), functions.end(), address,
                               [](uint16_t a, const ProfiledFunction& f) { return a < f.start; });
    if (it == functions.begin()) return -1;
    return int(it - functions.begin()) - 1;
}

ExecutionProfile BuildProfile(const ExecutionRecorder& recorder, const SymbolTable* symbols,
                              int32_t programEnd) {
    ExecutionProfile p;
    p.totalCycles = recorder.TotalCycles();
    p.totalInstructions = recorder.TotalInstructions();
    const std::vector<CallEdge> edges = recorder.Edges();
    const auto ranged = RangedFunctions(symbols);

    std::map<uint16_t, ProfiledFunction> starts;
    for (const Function* f : ranged) {
        ProfiledFunction pf;
        // "a.c:tick" where two modules have a static function "tick".
        pf.name = symbols->UniqueName(*f);
        pf.start = f->start;
        for (const LineRecord& l : symbols->lines) {
            if (l.address >= f->start && l.address <= f->last) {
                pf.file = l.file;
                pf.line = l.line;
                break;
            }
        }
        starts.emplace(f->start, pf);
    }
    auto addStart = [&](uint16_t a, const std::string& name) {
        if (starts.count(a) || InsideRanged(ranged, a)) return;
        ProfiledFunction pf;
        pf.name = name;
        pf.start = a;
        starts.emplace(a, pf);
    };
    if (symbols) {
        for (const Label& l : symbols->labels)
            if (l.code) addStart(l.address, l.name);
    }
    for (const CallEdge& e : edges)
        addStart(e.target, (e.interrupt ? "int_" : "sub_") + Hex4Text(e.target));
    if (!symbols && programEnd >= 0) {
        SweepInstructions(0, uint32_t(programEnd), [&](uint16_t a) {
            const uint8_t op = CodeMemory[a];
            if (op == 0x12) addStart(uint16_t(CodeMemory[uint16_t(a + 1)] << 8 | CodeMemory[uint16_t(a + 2)]), "");
            else if ((op & 0x1F) == 0x11)
                addStart(uint16_t((uint16_t(a + 2) & 0xF800) | (op >> 5) << 8 | CodeMemory[uint16_t(a + 1)]), "");
        });
        for (auto& [a, f] : starts)
            if (f.name.empty()) f.name = "sub_" + Hex4Text(a);
    }
    addStart(0, "sub_0000");

    for (auto& [a, f] : starts) p.functions.push_back(f);
    for (size_t i = 0; i < p.functions.size(); ++i)
        p.functions[i].end = i + 1 < p.functions.size() ? uint16_t(p.functions[i + 1].start - 1) : 0xFFFF;

    // Self cost: every address belongs to exactly one function, so the self costs add up to the
    // recorded total.
    for (size_t i = 0; i < p.functions.size(); ++i) {
        ProfiledFunction& f = p.functions[i];
        for (uint32_t a = f.start; a <= f.end; ++a) {
            f.selfInstructions += recorder.Starts(uint16_t(a));
            f.selfCycles += recorder.Cycles(uint16_t(a));
        }
    }
    // With callees: a routine that was called or entered counts its outermost activations;
    // code that nothing called (the start-up code, a routine entered by a jump) adds what its
    // calls into other functions cost to its own.
    std::vector<uint64_t> outCycles(p.functions.size()), outInstructions(p.functions.size());
    for (const CallEdge& e : edges) {
        const int from = p.FunctionAt(e.site), to = p.FunctionAt(e.target);
        if (from < 0 || from == to) continue;
        outCycles[size_t(from)] += e.cycles;
        outInstructions[size_t(from)] += e.instructions;
    }
    for (size_t i = 0; i < p.functions.size(); ++i) {
        ProfiledFunction& f = p.functions[i];
        const auto entry = recorder.Entry(f.start);
        if (entry.calls > 0) {
            f.calls = entry.calls;
            f.cycles = entry.cycles;
            f.instructions = entry.instructions;
        } else {
            f.calls = recorder.Starts(f.start);
            f.cycles = f.selfCycles + outCycles[i];
            f.instructions = f.selfInstructions + outInstructions[i];
        }
    }
    return p;
}

CoverageMark MarkOf(const ExecutionRecorder& recorder, uint16_t address) {
    if (!recorder.HasData()) return CoverageMark::None;
    const uint64_t n = recorder.Starts(address);
    if (n == 0) return CoverageMark::Never;
    if (IsConditionalJump(CodeMemory[address])) {
        const uint64_t taken = recorder.Taken(address);
        if (taken == 0 || taken == n) return CoverageMark::OneWay;
    }
    return CoverageMark::Executed;
}

std::string CoverageText(const ExecutionRecorder& recorder, uint16_t address) {
    const uint64_t n = recorder.Starts(address);
    std::string s = "Executed " + std::to_string(n) + (n == 1 ? " time, " : " times, ") +
                    std::to_string(recorder.Cycles(address)) + " machine cycles";
    if (IsConditionalJump(CodeMemory[address])) {
        const uint64_t t = recorder.Taken(address), f = n - std::min(n, t);
        s += ", jumped " + std::to_string(t) + (t == 1 ? " time" : " times") + ", fell through " +
             std::to_string(f) + (f == 1 ? " time" : " times");
    }
    return s;
}

std::vector<LineCode> LineInstructions(const SymbolTable& symbols) {
    std::vector<LineCode> out;
    std::map<std::pair<std::string, uint32_t>, size_t> index;
    const auto& lines = symbols.lines;
    for (size_t i = 0; i < lines.size(); ++i) {
        const LineRecord& r = lines[i];
        const Function* f = symbols.FunctionAt(r.address);
        uint32_t last = f ? f->last : r.address;
        if (i + 1 < lines.size() && lines[i + 1].address > r.address)
            last = std::min<uint32_t>(last, lines[i + 1].address - 1u);
        if (last < r.address) last = r.address;
        auto key = std::make_pair(r.file, r.line);
        auto it = index.find(key);
        if (it == index.end()) {
            it = index.emplace(key, out.size()).first;
            out.push_back({r.file, r.line, {}});
        }
        auto& list = out[it->second].instructions;
        if (i + 1 < lines.size() && lines[i + 1].address == r.address) {
            // Two records at one address: the later one owns the code.
            if (list.empty()) list.push_back(r.address);
            continue;
        }
        SweepInstructions(r.address, last, [&](uint16_t a) { list.push_back(a); });
    }
    return out;
}

CoverageMark LineMark(const ExecutionRecorder& recorder, const LineCode& line) {
    if (!recorder.HasData() || line.instructions.empty()) return CoverageMark::None;
    bool ran = false, oneWay = false;
    for (uint16_t a : line.instructions) {
        const CoverageMark m = MarkOf(recorder, a);
        ran |= m == CoverageMark::Executed || m == CoverageMark::OneWay;
        oneWay |= m == CoverageMark::OneWay;
    }
    if (!ran) return CoverageMark::Never;
    return oneWay ? CoverageMark::OneWay : CoverageMark::Executed;
}

std::string LcovText(const ExecutionRecorder& recorder, const SymbolTable& symbols, int32_t programEnd) {
    const ExecutionProfile profile = BuildProfile(recorder, &symbols, programEnd);
    const std::vector<LineCode> lines = LineInstructions(symbols);
    std::map<std::string, std::vector<const LineCode*>> byFile;
    for (const LineCode& l : lines) byFile[l.file].push_back(&l);

    std::ostringstream o;
    o << "TN:\n";
    for (auto& [file, fileLines] : byFile) {
        o << "SF:" << SourcePath(symbols, file) << "\n";
        // Functions of this file, by their first line.
        int fnFound = 0, fnHit = 0;
        std::vector<const ProfiledFunction*> fns;
        for (const ProfiledFunction& f : profile.functions)
            if (f.file == file && f.line > 0) fns.push_back(&f);
        for (const ProfiledFunction* f : fns) o << "FN:" << f->line << "," << f->name << "\n";
        for (const ProfiledFunction* f : fns) {
            o << "FNDA:" << f->calls << "," << f->name << "\n";
            ++fnFound;
            fnHit += f->calls > 0;
        }
        o << "FNF:" << fnFound << "\nFNH:" << fnHit << "\n";
        std::vector<const LineCode*> sorted = fileLines;
        std::sort(sorted.begin(), sorted.end(), [](auto* a, auto* b) { return a->line < b->line; });
        int brFound = 0, brHit = 0;
        for (const LineCode* l : sorted) {
            int block = 0;
            for (uint16_t a : l->instructions) {
                if (!IsConditionalJump(CodeMemory[a])) continue;
                const uint64_t n = recorder.Starts(a), t = recorder.Taken(a), f = n - std::min(n, t);
                if (n == 0) {
                    o << "BRDA:" << l->line << "," << block << ",0,-\n";
                    o << "BRDA:" << l->line << "," << block << ",1,-\n";
                } else {
                    o << "BRDA:" << l->line << "," << block << ",0," << t << "\n";
                    o << "BRDA:" << l->line << "," << block << ",1," << f << "\n";
                    brHit += (t > 0) + (f > 0);
                }
                brFound += 2;
                ++block;
            }
        }
        o << "BRF:" << brFound << "\nBRH:" << brHit << "\n";
        int lnHit = 0;
        for (const LineCode* l : sorted) {
            const uint64_t n = l->instructions.empty() ? 0 : recorder.Starts(l->instructions.front());
            o << "DA:" << l->line << "," << n << "\n";
            lnHit += n > 0;
        }
        o << "LF:" << sorted.size() << "\nLH:" << lnHit << "\nend_of_record\n";
    }
    return o.str();
}

std::string CallgrindText(const ExecutionRecorder& recorder, const SymbolTable* symbols,
                          int32_t programEnd, const std::string& command) {
    const ExecutionProfile profile = BuildProfile(recorder, symbols, programEnd);
    const bool lines = symbols != nullptr && !symbols->lines.empty();
    std::ostringstream o;
    o << "# callgrind format\nversion: 1\ncreator: corvamat\n";
    o << "cmd: " << command << "\n";
    o << "positions: " << (lines ? "line" : "instr") << "\n";
    o << "events: Cycles Instructions\n";
    o << "summary: " << profile.totalCycles << " " << profile.totalInstructions << "\n\n";

    auto fileOf = [&](const ProfiledFunction& f) {
        if (!lines) return command;
        return f.file.empty() ? std::string("???") : SourcePath(*symbols, f.file);
    };
    auto position = [&](uint16_t a) -> std::string {
        if (!lines) {
            char b[8];
            std::snprintf(b, sizeof b, "0x%X", unsigned(a));
            return b;
        }
        const LineRecord* r = symbols->LineAt(a);
        return std::to_string(r ? r->line : 0);
    };
    const std::vector<CallEdge> edges = recorder.Edges();
    for (size_t i = 0; i < profile.functions.size(); ++i) {
        const ProfiledFunction& f = profile.functions[i];
        bool any = f.selfInstructions > 0;
        for (const CallEdge& e : edges) any |= profile.FunctionAt(e.site) == int(i);
        if (!any) continue;
        o << "fl=" << fileOf(f) << "\nfn=" << f.name << "\n";
        // Self cost by position, in address order (lines merged).
        std::vector<std::pair<std::string, std::pair<uint64_t, uint64_t>>> costs;
        std::map<std::string, size_t> at;
        for (uint32_t a = f.start; a <= f.end; ++a) {
            const uint64_t n = recorder.Starts(uint16_t(a));
            if (n == 0) continue;
            const std::string pos = position(uint16_t(a));
            auto it = at.find(pos);
            if (it == at.end()) {
                at.emplace(pos, costs.size());
                costs.push_back({pos, {recorder.Cycles(uint16_t(a)), n}});
            } else {
                costs[it->second].second.first += recorder.Cycles(uint16_t(a));
                costs[it->second].second.second += n;
            }
        }
        for (auto& [pos, c] : costs) o << pos << " " << c.first << " " << c.second << "\n";
        for (const CallEdge& e : edges) {
            if (profile.FunctionAt(e.site) != int(i) || e.calls == 0) continue;
            const int to = profile.FunctionAt(e.target);
            if (to < 0) continue;
            const ProfiledFunction& callee = profile.functions[size_t(to)];
            o << "cfl=" << fileOf(callee) << "\ncfn=" << callee.name << "\n";
            o << "calls=" << e.calls << " " << position(e.target) << "\n";
            o << position(e.site) << " " << e.cycles << " " << e.instructions << "\n";
        }
        o << "\n";
    }
    o << "totals: " << profile.totalCycles << " " << profile.totalInstructions << "\n";
    return o.str();
}
