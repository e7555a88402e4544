// The reader of SDCC's .cdb debug file: one record per line, "M:", "F:", "S:", "T:" and "L:".
#include <algorithm>
#include <charconv>
#include <fstream>
#include <sstream>
#include <unordered_map>

#include "Symbols.h"

namespace {

struct Failure {
    std::string message;
};

// A cursor over one record; every mismatch throws Failure with what was expected.
class Cursor {
public:
    explicit Cursor(std::string_view s) : s_(s) {}
    bool AtEnd() const { return p_ >= s_.size(); }
    char Peek(size_t ahead = 0) const { return p_ + ahead >= s_.size() ? '\0' : s_[p_ + ahead]; }
    bool Take(char c) {
        if (Peek() != c) return false;
        ++p_;
        return true;
    }
    void Expect(char c) {
        if (!Take(c)) throw Failure{std::string("expected '") + c + "' at column " + std::to_string(p_ + 1)};
    }
    // Text up to (not including) the first of `stops`, or to the end.
    std::string_view Until(std::string_view stops) {
        size_t start = p_;
        while (!AtEnd() && stops.find(s_[p_]) == std::string_view::npos) ++p_;
        return s_.substr(start, p_ - start);
    }
    long Number() {
        size_t start = p_;
        if (Peek() == '-') ++p_;
        while (!AtEnd() && s_[p_] >= '0' && s_[p_] <= '9') ++p_;
        long v = 0;
        auto r = std::from_chars(s_.data() + start, s_.data() + p_, v);
        if (r.ec != std::errc() || r.ptr != s_.data() + p_)
            throw Failure{"expected a number at column " + std::to_string(start + 1)};
        return v;
    }
    size_t Position() const { return p_; }

private:
    std::string_view s_;
    size_t p_ = 0;
};

std::vector<std::string_view> Split(std::string_view s, char sep) {
    std::vector<std::string_view> parts;
    size_t start = 0;
    for (;;) {
        size_t p = s.find(sep, start);
        parts.push_back(s.substr(start, p == std::string_view::npos ? p : p - start));
        if (p == std::string_view::npos) return parts;
        start = p + 1;
    }
}

long ToNumber(std::string_view s, int base, const char* what) {
    long v = 0;
    auto r = std::from_chars(s.data(), s.data() + s.size(), v, base);
    if (s.empty() || r.ec != std::errc() || r.ptr != s.data() + s.size())
        throw Failure{std::string("bad ") + what + " \"" + std::string(s) + "\""};
    return v;
}

// "G$name$0_0$0", "Fmodule$name$0_0$0", "Lmodule.function$name$1_0$2".
struct ScopedName {
    Scope scope = Scope::Global;
    std::string module, function, name;
    int level = 0, block = 0;
};

ScopedName ParseScopedName(std::string_view key) {
    auto parts = Split(key, '$');
    if (parts.size() != 4 || parts[0].empty() || parts[1].empty())
        throw Failure{"bad symbol name \"" + std::string(key) + "\""};
    ScopedName n;
    n.name = parts[1];
    std::string_view scope = parts[0];
    if (scope == "G" || scope == "S") {  // S: a structure member
        n.scope = Scope::Global;
    } else if (scope[0] == 'F') {
        n.scope = Scope::File;
        n.module = scope.substr(1);
    } else if (scope[0] == 'L') {
        n.scope = Scope::Local;
        auto dot = scope.rfind('.');
        if (dot == std::string_view::npos) throw Failure{"bad local scope \"" + std::string(scope) + "\""};
        n.module = scope.substr(1, dot - 1);
        n.function = scope.substr(dot + 1);
    } else {
        throw Failure{"bad scope \"" + std::string(scope) + "\""};
    }
    auto level = Split(parts[2], '_');
    n.level = int(ToNumber(level[0], 10, "level"));
    n.block = int(ToNumber(parts[3], 10, "block"));
    return n;
}

TypeLink ParseLink(std::string_view item) {
    TypeLink t;
    if (item.size() < 2) throw Failure{"bad type \"" + std::string(item) + "\""};
    std::string_view code = item.substr(0, 2);
    std::string_view rest = item.substr(2);
    if (code == "DA") {
        t.kind = TypeLink::Array;
        if (!rest.empty() && rest.back() == 'd') rest.remove_suffix(1);
        t.count = uint32_t(ToNumber(rest, 10, "array size"));
        return t;
    }
    if (code == "ST") {
        if (rest.empty()) throw Failure{"structure without a name"};
        t.kind = TypeLink::Struct;
        t.name = rest;
        return t;
    }
    if (code == "SB") {
        auto bits = Split(rest, '$');
        if (bits.size() != 2) throw Failure{"bad bit field \"" + std::string(item) + "\""};
        t.kind = TypeLink::BitField;
        long offset = ToNumber(bits[0], 10, "bit offset"), width = ToNumber(bits[1], 10, "bit width");
        if (offset < 0 || width < 1 || offset + width > 32) throw Failure{"bad bit field \"" + std::string(item) + "\""};
        t.bitOffset = uint8_t(offset);
        t.bitWidth = uint8_t(width);
        return t;
    }
    static const std::pair<std::string_view, TypeLink::Kind> kinds[] = {
        {"DF", TypeLink::Function},       {"DG", TypeLink::GenericPointer},
        {"DC", TypeLink::CodePointer},    {"DX", TypeLink::ExternalPointer},
        {"DD", TypeLink::DataPointer},    {"DI", TypeLink::IdataPointer},
        {"DP", TypeLink::PagedPointer},   {"SC", TypeLink::Char},
        {"SS", TypeLink::Short},          {"SI", TypeLink::Int},
        {"SL", TypeLink::Long},           {"SF", TypeLink::Float},
        {"SV", TypeLink::Void},           {"SX", TypeLink::Sbit}};
    for (auto& [c, k] : kinds)
        if (code == c && rest.empty()) {
            t.kind = k;
            return t;
        }
    throw Failure{"unknown type \"" + std::string(item) + "\""};
}

// "({2}DA4d,SI:S)": the size, the chain and the sign; the cursor stands on '('. SDCC 4.2 writes
// a bool (_Bool) with an empty chain: "({1}:S)".
CType ParseType(Cursor& c) {
    CType t;
    c.Expect('(');
    c.Expect('{');
    t.size = uint32_t(c.Number());
    c.Expect('}');
    std::string_view chain = c.Until(")");
    c.Expect(')');
    auto colon = chain.rfind(':');
    if (colon == std::string_view::npos) throw Failure{"type without a sign"};
    std::string_view sign = chain.substr(colon + 1);
    if (sign != "S" && sign != "U") throw Failure{"bad sign \"" + std::string(sign) + "\""};
    t.isSigned = sign == "S";
    if (colon == 0) {
        if (t.size != 1) throw Failure{"bad type \"" + std::string(chain) + "\""};
        TypeLink b;
        b.kind = TypeLink::Bool;
        t.links.push_back(b);
        return t;
    }
    for (auto item : Split(chain.substr(0, colon), ',')) t.links.push_back(ParseLink(item));
    return t;
}

Space ParseSpace(std::string_view s) {
    static constexpr std::string_view known = "ABCDEFGHIJPRZ";
    if (s.size() != 1 || known.find(s[0]) == std::string_view::npos)
        throw Failure{"unknown address space \"" + std::string(s) + "\""};
    return Space(s[0]);
}

// "name(type),space,onstack,offset" and what follows, into `sym` (from the S: body or a member).
void ParseSymbolBody(Cursor& c, Symbol* sym, std::string_view stopAt) {
    std::string key(c.Until("("));
    ScopedName n = ParseScopedName(key);
    sym->key = key;
    sym->name = n.name;
    sym->module = n.module;
    sym->function = n.function;
    sym->scope = n.scope;
    sym->level = n.level;
    sym->block = n.block;
    sym->type = ParseType(c);
    c.Expect(',');
    sym->space = ParseSpace(c.Until(","));
    c.Expect(',');
    sym->onStack = c.Number() != 0;
    c.Expect(',');
    sym->stackOffset = int(c.Number());
    if (c.Peek() == ',' && c.Peek(1) == '[') {
        c.Expect(',');
        c.Expect('[');
        std::string_view regs = c.Until("]");
        c.Expect(']');
        if (!regs.empty())
            for (auto r : Split(regs, ',')) sym->registers.emplace_back(r);
    }
    if (!c.AtEnd() && stopAt.find(c.Peek()) == std::string_view::npos)
        throw Failure{"unexpected text at column " + std::to_string(c.Position() + 1)};
}

class CdbParser {
public:
    CdbParser(const std::string& file, SymbolTable* out) : file_(file), t_(*out) {}

    void Line(std::string_view line, int number) {
        number_ = number;
        if (line.size() < 2 || line[1] != ':') throw Failure{"not a record"};
        std::string_view body = line.substr(2);
        switch (line[0]) {
            case 'M': Module(body); break;
            case 'F': FunctionRecord(body); break;
            case 'S': SymbolRecord(body); break;
            case 'T': TypeRecord(body); break;
            case 'L': LinkerRecord(body); break;
            default: throw Failure{std::string("unknown record type '") + line[0] + "'"};
        }
    }

    // Whether the file named any module, by a module record or by assembler line records.
    bool HasModules() const { return !t_.modules.empty() || !asmModules_.empty(); }

    void Resolve() {
        for (const auto& m : asmModules_)
            if (std::find(t_.modules.begin(), t_.modules.end(), m) == t_.modules.end()) {
                t_.modules.push_back(m);
                t_.assemblerModules.push_back(m);
            }
        for (auto& s : t_.symbols) {
            auto it = addresses_.find(s.key);
            if (it != addresses_.end()) s.address = it->second;
        }
        for (auto& f : t_.functions) {
            std::string base = f.scope == Scope::Global ? "G$" + f.name : "F" + f.module + "$" + f.name;
            auto start = addresses_.find(base + "$0$0");
            auto end = addresses_.find("X" + base + "$0$0");
            if (start != addresses_.end()) {
                f.hasRange = true;
                f.start = uint16_t(start->second);
                f.end = end != addresses_.end() ? uint16_t(end->second) : f.start;
                f.last = f.end;
            }
        }
        t_.Finish();
    }

private:
    void Module(std::string_view body) {
        if (body.empty()) throw Failure{"module without a name"};
        module_ = body;
        t_.modules.push_back(module_);
    }

    void FunctionRecord(std::string_view body) {
        Cursor c(body);
        Symbol s;
        ParseSymbolBody(c, &s, ",");
        // The function record goes on with the interrupt flag, its number and the register bank.
        Function f;
        f.name = s.name;
        f.module = s.scope == Scope::File ? s.module : module_;
        f.scope = s.scope;
        f.type = s.type;
        c.Expect(',');
        f.isInterrupt = c.Number() != 0;
        c.Expect(',');
        f.interruptNumber = int(c.Number());
        c.Expect(',');
        f.bank = int(c.Number());
        if (!c.AtEnd()) throw Failure{"unexpected text at column " + std::to_string(c.Position() + 1)};
        f.cdbLine = number_;
        t_.functions.push_back(std::move(f));
    }

    void SymbolRecord(std::string_view body) {
        Cursor c(body);
        Symbol s;
        ParseSymbolBody(c, &s, "");
        if (s.scope == Scope::Global) s.module = module_;
        s.cdbLine = number_;
        // Function declarations repeat as symbols; the F: record already has them.
        if (s.IsFunction()) return;
        t_.symbols.push_back(std::move(s));
    }

    void TypeRecord(std::string_view body) {
        Cursor c(body);
        std::string_view head = c.Until("[");
        if (head.size() < 2 || head[0] != 'F' || head.find('$') == std::string_view::npos)
            throw Failure{"bad structure name \"" + std::string(head) + "\""};
        StructType st;
        auto dollar = head.find('$');
        st.module = head.substr(1, dollar - 1);
        st.name = head.substr(dollar + 1);
        c.Expect('[');
        while (c.Take('(')) {
            c.Expect('{');
            StructMember m;
            m.offset = uint32_t(c.Number());
            c.Expect('}');
            if (!c.Take('S') || !c.Take(':')) throw Failure{"expected a member record"};
            Symbol s;
            ParseSymbolBody(c, &s, ")");
            c.Expect(')');
            m.name = s.name;
            m.type = std::move(s.type);
            st.members.push_back(std::move(m));
        }
        c.Expect(']');
        if (!c.AtEnd()) throw Failure{"unexpected text at column " + std::to_string(c.Position() + 1)};
        t_.structs.push_back(std::move(st));
    }

    void LinkerRecord(std::string_view body) {
        auto colon = body.rfind(':');
        if (colon == std::string_view::npos || colon == 0) throw Failure{"linker record without an address"};
        std::string_view key = body.substr(0, colon);
        long address = ToNumber(body.substr(colon + 1), 16, "address");
        if (address < 0 || address > 0xFFFF) throw Failure{"address out of range"};
        if (key.size() > 2 && key[0] == 'C' && key[1] == '$') {
            // C$file$line$level_sub$block
            auto parts = Split(key.substr(2), '$');
            if (parts.size() < 4) throw Failure{"bad C line record \"" + std::string(key) + "\""};
            LineRecord r;
            size_t n = parts.size();
            r.line = uint32_t(ToNumber(parts[n - 3], 10, "line number"));
            std::string file;
            for (size_t i = 0; i + 3 < n; ++i) file += (i ? "$" : "") + std::string(parts[i]);
            r.file = std::move(file);
            r.address = uint16_t(address);
            r.cdbLine = number_;
            t_.lines.push_back(std::move(r));
        } else if (key.size() > 2 && key[0] == 'A' && key[1] == '$') {
            auto parts = Split(key.substr(2), '$');
            if (parts.size() != 2) throw Failure{"bad assembler line record \"" + std::string(key) + "\""};
            LineRecord r;
            r.file = std::string(parts[0]) + ".asm";
            r.module = parts[0];
            r.line = uint32_t(ToNumber(parts[1], 10, "line number"));
            // The assembler's own debug records (sdas8051 -y) come without a module record.
            if (std::find(t_.modules.begin(), t_.modules.end(), parts[0]) == t_.modules.end() &&
                std::find(asmModules_.begin(), asmModules_.end(), parts[0]) == asmModules_.end())
                asmModules_.emplace_back(parts[0]);
            r.address = uint16_t(address);
            r.cdbLine = number_;
            t_.asmLines.push_back(std::move(r));
        } else {
            addresses_[std::string(key)] = uint32_t(address);
        }
    }

    std::string file_;
    SymbolTable& t_;
    std::string module_;
    int number_ = 0;
    std::unordered_map<std::string, uint32_t> addresses_;
    std::vector<std::string> asmModules_;  // modules known only from their assembler line records
};

std::string BaseName(const std::string& path) {
    auto slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

ReadResult ReadCdbText(std::string_view text, const std::string& fileName, SymbolTable* out) {
    SymbolTable table;
    table.source = fileName;
    CdbParser parser(fileName, &table);
    int number = 0;
    size_t start = 0;
    // A record the reader does not understand is skipped; the first one is named in a note.
    int skipped = 0;
    std::string firstSkipped;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(start, end - start);
        start = end + 1;
        ++number;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.empty()) continue;
        // A line that is no record at all is told apart without an exception: a file of such
        // lines would otherwise throw once a line.
        std::string problem;
        if (line.size() < 2 || line[1] != ':')
            problem = "not a record";
        else if (std::string_view("MFSTL").find(line[0]) == std::string_view::npos)
            problem = std::string("unknown record type '") + line[0] + "'";
        else
            try {
                parser.Line(line, number);
            } catch (const Failure& f) {
                problem = f.message;
            }
        if (!problem.empty() && skipped++ == 0)
            firstSkipped = BaseName(fileName) + ":" + std::to_string(number) + ": " + problem;
    }
    if (!parser.HasModules())
        return {false, skipped ? firstSkipped + "; no record of the file could be used."
                               : BaseName(fileName) + ": no modules (not an SDCC debug file)."};
    if (skipped == 1) table.notes.push_back(firstSkipped + "; the record was skipped.");
    if (skipped > 1)
        table.notes.push_back(firstSkipped + "; this and " + std::to_string(skipped - 1) + " other record" +
                              (skipped > 2 ? "s were" : " was") + " skipped.");
    parser.Resolve();
    *out = std::move(table);
    return {true, ""};
}

ReadResult ReadCdbFile(const std::string& path, SymbolTable* out) {
    std::string text;
    ReadResult failure;
    if (!ReadSymbolFile(path, &text, &failure)) return failure;
    return ReadCdbText(text, path, out);
}
