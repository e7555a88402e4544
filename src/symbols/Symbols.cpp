// The symbol table's lookups, the match check against a program and loading the files beside it.
#include "Symbols.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <cstdio>
#include <fstream>
#include <set>
#include <sstream>

#include "HexText.h"

namespace {

std::string BaseName(std::string_view path) {
    auto slash = path.find_last_of("/\\");
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

// The name the assembler source gives a variable or function.
std::string AsmName(const Symbol& s) {
    if (s.scope == Scope::Local) return "_" + s.function + "_" + s.name;
    return "_" + s.name;
}

bool FileExists(const std::string& path) { return std::ifstream(path).good(); }

bool ReadText(const std::string& path, std::string* text) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream s;
    s << in.rdbuf();
    *text = s.str();
    return true;
}

std::string LowerExtension(const std::string& path) {
    auto dot = path.find_last_of('.');
    auto slash = path.find_last_of("/\\");
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
    std::string e = path.substr(dot);
    for (char& c : e) c = char(std::tolower(static_cast<unsigned char>(c)));
    return e;
}

std::string WithoutExtension(const std::string& path) {
    auto dot = path.find_last_of('.');
    auto slash = path.find_last_of("/\\");
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return path;
    return path.substr(0, dot);
}

std::string Folder(const std::string& path) {
    auto slash = path.find_last_of("/\\");
    return slash == std::string::npos ? "" : path.substr(0, slash + 1);
}

// The linker writes no address records for bit variables. The relocated listing (.rst) of the
// module that defines one has "KEY==." with the bit's offset inside the module's part of the
// area, and on the next line the label with its linked address in the first column: that one.
// A global's key is the same in every module that declares it, so any module's listing will do.
void AddressesFromListings(const std::string& cdbPath, SymbolTable* t) {
    std::map<std::string, std::vector<Symbol*>> missing;
    for (auto& s : t->symbols)
        if (!s.address && (s.space == Space::Bit || s.space == Space::Data) && !s.key.empty())
            missing[s.key].push_back(&s);
    for (const auto& module : t->modules) {
        if (missing.empty()) return;
        std::string text;
        if (!ReadText(Folder(cdbPath) + module + ".rst", &text)) continue;
        std::istringstream in(text);
        std::string line, pending;
        while (std::getline(in, line)) {
            auto eq = line.find("==.");
            if (eq != std::string::npos) {
                auto start = line.find_last_of(" \t", eq);
                std::string key = line.substr(start == std::string::npos ? 0 : start + 1, eq - (start + 1));
                pending = missing.count(key) ? key : "";
                continue;
            }
            if (pending.empty()) continue;
            if (line.find(".area") != std::string::npos) {
                pending.clear();
                continue;
            }
            // The location column starts the line; the value column of "==." lines stands further right.
            auto first = line.find_first_not_of(" \t");
            if (first == std::string::npos || first > 8) continue;
            auto end = line.find_first_of(" \t", first);
            std::string column = line.substr(first, end - first);
            if (column.find_first_not_of("0123456789ABCDEFabcdef") != std::string::npos) continue;
            const uint32_t address = uint32_t(std::stoul(column, nullptr, 16));
            for (Symbol* s : missing[pending])
                if (s->scope == Scope::Global || s->module == module) s->address = address;
            missing.erase(pending);
            pending.clear();
        }
    }
}

// The module of a qualified name ("a.c" or "a" in "a.c:tick.n") and the rest; no module when the
// name has no ':'.
std::pair<std::string_view, std::string_view> SplitQualified(std::string_view name) {
    auto colon = name.rfind(':');
    if (colon == std::string_view::npos) return {{}, name};
    std::string_view module = name.substr(0, colon);
    auto dot = module.rfind('.');
    if (dot != std::string_view::npos) module = module.substr(0, dot);
    return {module, name.substr(colon + 1)};
}

// A static variable's name before any qualification: "result", "hidden", "square.calls".
std::string PlainName(const Symbol& s) {
    return s.scope == Scope::Local ? s.function + "." + s.name : s.name;
}

std::string Joined(const std::vector<std::string>& items) {
    std::string out;
    for (const auto& i : items) out += (out.empty() ? "" : ", ") + i;
    return out;
}

// The files beside the debug file or the program that hold the source of an assembler module:
// the records say "module.asm", the file may be called "module.a51" or "module.s" too.
void NameAssemblerSources(const std::vector<std::string>& folders, SymbolTable* t) {
    for (const auto& module : t->assemblerModules) {
        std::string found;
        for (const char* ext : {".asm", ".a51", ".s", ".ASM", ".A51", ".S"})
            for (const auto& folder : folders)
                if (found.empty() && FileExists(folder + module + ext)) found = module + ext;
        if (found.empty()) continue;
        for (auto* records : {&t->lines, &t->asmLines})
            for (auto& r : *records)
                if (r.module == module) r.file = found;
    }
}

// Names a narrow .map cuts to nine characters: the .noi beside it has them whole.
void CompleteCutNames(const std::string& noiPath, SymbolTable* t) {
    std::string text;
    if (!ReadText(noiPath, &text)) return;
    SymbolTable noi;
    std::istringstream in(text);
    std::string line;
    std::vector<std::pair<std::string, uint32_t>> defs;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        std::string def, name, value;
        if (!(words >> def >> name >> value) || def != "DEF") continue;
        try {
            defs.emplace_back(name, uint32_t(std::stoul(value, nullptr, 16)));
        } catch (...) {
        }
    }
    for (auto& l : t->labels) {
        if (l.name.size() != 9) continue;
        for (const auto& [name, value] : defs)
            if (value == l.address && name.size() > l.name.size() && name.compare(0, 9, l.name) == 0) {
                l.name = name;
                break;
            }
    }
}

}  // namespace

std::string_view SpaceName(Space s) {
    switch (s) {
        case Space::ExternalStack: return "xstack";
        case Space::InternalStack: return "stack";
        case Space::Code:
        case Space::CodeStatic: return "code";
        case Space::Data: return "data";
        case Space::External: return "xdata";
        case Space::Idata: return "idata";
        case Space::Bit: return "bit";
        case Space::Sfr: return "sfr";
        case Space::Sbit: return "sbit";
        case Space::Paged: return "pdata";
        case Space::Register: return "register";
        case Space::None: return "";
    }
    return "";
}

std::string CType::Text() const {
    if (links.empty()) return "?";
    const TypeLink& base = links.back();
    std::string u = isSigned ? "" : "unsigned ";
    std::string text;
    switch (base.kind) {
        case TypeLink::Char: text = isSigned ? "signed char" : "unsigned char"; break;
        case TypeLink::Short: text = u + "short"; break;
        case TypeLink::Int: text = u + (links.size() == 1 && size == 8 ? "long long" : "int"); break;
        case TypeLink::Long: text = u + "long"; break;
        case TypeLink::Float: text = "float"; break;
        case TypeLink::Void: text = "void"; break;
        case TypeLink::Struct:
            // SDCC names a structure without a tag "__00000000".
            text = base.name.size() > 2 && base.name.compare(0, 2, "__") == 0 &&
                           base.name.find_first_not_of("0123456789", 2) == std::string::npos
                       ? "struct {\u2026}"
                       : "struct " + base.name;
            break;
        case TypeLink::Bool: text = "bool"; break;
        case TypeLink::Sbit: text = "__sbit"; break;
        case TypeLink::BitField:
            text = base.bitWidth == 1 && links.size() == 1 && size == 1 && base.bitOffset == 0
                       ? "__bit"
                       : u + "int : " + std::to_string(base.bitWidth);
            break;
        default: text = "?"; break;
    }
    for (size_t i = links.size() - 1; i-- > 0;) {
        switch (links[i].kind) {
            case TypeLink::Array: text += "[" + std::to_string(links[i].count) + "]"; break;
            case TypeLink::Function: text += " ()"; break;
            case TypeLink::GenericPointer: text += " *"; break;
            case TypeLink::CodePointer: text += " __code *"; break;
            case TypeLink::ExternalPointer: text += " __xdata *"; break;
            case TypeLink::DataPointer: text += " __data *"; break;
            case TypeLink::IdataPointer: text += " __idata *"; break;
            case TypeLink::PagedPointer: text += " __pdata *"; break;
            default: break;
        }
    }
    return text;
}

bool Symbol::IsGenerated() const {
    return name.rfind("__", 0) == 0 || (scope == Scope::Local && name.rfind("sloc", 0) == 0);
}

bool Symbol::IsStaticVariable() const {
    if (IsFunction() || IsGenerated() || onStack) return false;
    switch (space) {
        case Space::Data: case Space::External: case Space::Idata: case Space::Bit:
        case Space::Paged: case Space::Code: case Space::CodeStatic:
            return true;
        default:
            return false;
    }
}

void SymbolTable::Finish() {
    // A global declared in several modules (an extern) is one variable: the declaration with an
    // address stands for it, at the place of the first.
    {
        std::map<std::string, size_t> first;
        std::vector<Symbol> kept;
        kept.reserve(symbols.size());
        for (auto& s : symbols) {
            if (s.scope == Scope::Global && !s.key.empty()) {
                auto [it, fresh] = first.emplace(s.key, kept.size());
                if (!fresh) {
                    if (!kept[it->second].address && s.address) kept[it->second] = std::move(s);
                    continue;
                }
            }
            kept.push_back(std::move(s));
        }
        symbols = std::move(kept);
    }
    // The lines of assembler modules are their source lines.
    lines.erase(std::remove_if(lines.begin(), lines.end(), [](const LineRecord& r) { return !r.module.empty(); }),
                lines.end());
    for (const auto& r : asmLines)
        if (std::find(assemblerModules.begin(), assemblerModules.end(), r.module) != assemblerModules.end())
            lines.push_back(r);

    auto byAddress = [](const LineRecord& a, const LineRecord& b) {
        return a.address != b.address ? a.address < b.address : a.cdbLine < b.cdbLine;
    };
    std::stable_sort(lines.begin(), lines.end(), byAddress);
    std::stable_sort(asmLines.begin(), asmLines.end(), byAddress);
    std::stable_sort(functions.begin(), functions.end(), [](const Function& a, const Function& b) {
        if (a.hasRange != b.hasRange) return a.hasRange;
        return a.start < b.start;
    });
    // A function's code ends with its module's last assembler line before the next function.
    for (size_t i = 0; i < functions.size(); ++i) {
        Function& f = functions[i];
        if (!f.hasRange) continue;
        uint32_t next = 0x10000;
        for (size_t j = i + 1; j < functions.size(); ++j)
            if (functions[j].hasRange && functions[j].start > f.start) {
                next = functions[j].start;
                break;
            }
        std::string asmFile = f.module + ".asm";
        auto it = std::lower_bound(asmLines.begin(), asmLines.end(), f.end,
                                   [](const LineRecord& r, uint16_t a) { return r.address < a; });
        for (; it != asmLines.end() && it->address < next; ++it)
            if (it->file == asmFile) f.last = std::max(f.last, it->address);
    }

    moduleFiles_.clear();
    for (const auto& r : lines) {
        std::string file = BaseName(r.file);
        std::string module = r.module.empty() ? WithoutExtension(file) : r.module;
        moduleFiles_.emplace(module, file);
    }

    // The listing's names, as the assembler source spells them. A name that stands for two
    // addresses (statics of two modules) gets its module appended, so that every name the
    // listing and the export show means one thing.
    struct Named {
        std::string name, module;
        bool global;
        char kind;
        uint16_t address;
        uint32_t size;
    };
    std::vector<Named> named;
    for (const auto& f : functions)
        if (f.hasRange) named.push_back({"_" + f.name, f.module, f.scope == Scope::Global, 'C', f.start, 0});
    for (const auto& s : symbols) {
        if (!s.address || s.IsGenerated()) continue;
        const bool global = s.scope == Scope::Global;
        if ((s.space == Space::Data || s.space == Space::Idata) && *s.address < 0x80)
            named.push_back({AsmName(s), s.module, global, 'D', uint16_t(*s.address), std::max<uint32_t>(1, s.type.size)});
        else if (s.space == Space::Bit && *s.address < 0x100)
            named.push_back({AsmName(s), s.module, global, 'B', uint16_t(*s.address), 1});
    }
    std::map<std::string, std::set<std::pair<char, uint16_t>>> meanings;
    for (const auto& n : named) meanings[n.name].insert({n.kind, n.address});
    codeNames_.clear();
    dataNames_.clear();
    bitNames_.clear();
    for (auto& n : named) {
        if (meanings[n.name].size() > 1 && !n.global) n.name += "_" + n.module;
        if (n.kind == 'C') codeNames_.emplace(n.address, n.name);
        else if (n.kind == 'D') dataNames_.emplace(uint8_t(n.address), std::make_pair(n.name, n.size));
        else bitNames_.emplace(uint8_t(n.address), n.name);
    }
    for (const auto& l : labels) {
        if (l.code)
            codeNames_.emplace(l.address, l.name);
        else if (l.bit && l.address < 0x100)
            bitNames_.emplace(uint8_t(l.address), l.name);
        else if (!l.external && !l.bit && l.address < 0x80)
            dataNames_.emplace(uint8_t(l.address), std::make_pair(l.name, 1u));
    }
}

std::vector<SymbolTable::NamedAddress> SymbolTable::ListingNames() const {
    std::vector<NamedAddress> out;
    for (const auto& [a, n] : codeNames_) out.push_back({n, a, 'C'});
    for (const auto& [a, n] : dataNames_) out.push_back({n.first, a, 'D'});
    for (const auto& [a, n] : bitNames_) out.push_back({n, a, 'B'});
    return out;
}

const Function* SymbolTable::FunctionAt(uint16_t pc) const {
    const Function* best = nullptr;
    for (const auto& f : functions) {
        if (!f.hasRange || f.start > pc) continue;
        if (pc <= f.last + 2u && (!best || f.start > best->start)) best = &f;
    }
    if (best) {
        // Not past the start of a later function.
        for (const auto& f : functions)
            if (f.hasRange && f.start > best->start && f.start <= pc) return nullptr;
    }
    return best;
}

const Function* SymbolTable::FindFunction(std::string_view name) const {
    for (const auto& f : functions)
        if (f.name == name && f.hasRange) return &f;
    if (!name.empty() && name[0] == '_') return FindFunction(name.substr(1));
    return nullptr;
}

const Function* SymbolTable::FunctionNamed(std::string_view name, std::string* error) const {
    auto [module, plain] = SplitQualified(name);
    for (std::string_view want : {plain, plain.size() > 1 && plain[0] == '_' ? plain.substr(1) : std::string_view()}) {
        if (want.empty()) continue;
        std::vector<const Function*> found;
        for (const auto& f : functions)
            if (f.hasRange && f.name == want && (module.empty() || f.module == module)) found.push_back(&f);
        if (found.size() == 1) return found[0];
        if (found.empty()) continue;
        // A global function's name is its own; static ones of that name need their module.
        for (const Function* f : found)
            if (module.empty() && f->scope == Scope::Global) return f;
        std::vector<std::string> names;
        for (const Function* f : found) names.push_back(UniqueName(*f));
        *error = std::string(name) + " is ambiguous: " + Joined(names);
        return nullptr;
    }
    *error = "no function " + std::string(name);
    return nullptr;
}

std::string SymbolTable::UniqueName(const Function& f) const {
    if (f.scope == Scope::Global) return f.name;
    for (const auto& g : functions)
        if (&g != &f && g.hasRange && g.name == f.name) return ModuleFile(f.module) + ":" + f.name;
    return f.name;
}

std::string SymbolTable::ModuleFile(std::string_view module) const {
    auto it = moduleFiles_.find(std::string(module));
    return it != moduleFiles_.end() ? it->second : std::string(module) + ".c";
}

std::vector<std::string> SymbolTable::SourceFiles() const {
    std::vector<std::string> files;
    for (const auto& r : lines)
        if (std::find(files.begin(), files.end(), r.file) == files.end()) files.push_back(r.file);
    return files;
}

std::string SymbolTable::CodeLabelAt(uint16_t address) const {
    auto it = codeNames_.find(address);
    return it == codeNames_.end() ? "" : it->second;
}

std::string SymbolTable::DataNameAt(uint8_t address) const {
    auto it = dataNames_.upper_bound(address);
    if (it == dataNames_.begin()) return "";
    --it;
    unsigned offset = address - it->first;
    if (offset >= it->second.second) return "";
    return offset ? it->second.first + "+" + std::to_string(offset) : it->second.first;
}

std::string SymbolTable::BitNameAt(uint8_t address) const {
    auto it = bitNames_.find(address);
    return it == bitNames_.end() ? "" : it->second;
}

const LineRecord* SymbolTable::LineAt(uint16_t pc) const {
    auto it = std::upper_bound(lines.begin(), lines.end(), pc,
                               [](uint16_t a, const LineRecord& r) { return a < r.address; });
    if (it == lines.begin()) return nullptr;
    const LineRecord* r = &*(it - 1);
    const Function* f = FunctionAt(pc);
    if (f && r->address < f->start) return nullptr;
    if (!f && r->address != pc) return nullptr;
    return r;
}

std::optional<uint16_t> SymbolTable::AddressOfLine(std::string_view file, uint32_t line,
                                                   uint32_t* actualLine) const {
    std::string want = BaseName(file);
    const LineRecord* best = nullptr;
    bool known = false;
    // The source files first; the assembler files SDCC generated for C modules ("main.asm") too.
    for (const auto* records : {&lines, &asmLines}) {
        for (const auto& r : *records) {
            if (BaseName(r.file) != want) continue;
            known = true;
            if (r.line < line) continue;
            if (!best || r.line < best->line || (r.line == best->line && r.address < best->address)) best = &r;
        }
        if (known) break;
    }
    if (!best) return std::nullopt;
    if (actualLine) *actualLine = best->line;
    return best->address;
}

std::vector<uint16_t> SymbolTable::OtherLineStarts(uint16_t pc) const {
    const LineRecord* here = LineAt(pc);
    std::vector<uint16_t> out;
    for (const auto& r : lines)
        if (!here || r.line != here->line || r.file != here->file)
            if (out.empty() || out.back() != r.address) out.push_back(r.address);
    return out;
}

std::vector<const Symbol*> SymbolTable::LocalsOf(const Function& f) const {
    std::vector<const Symbol*> out;
    for (const auto& s : symbols)
        if (s.scope == Scope::Local && s.function == f.name && s.module == f.module && !s.IsGenerated())
            out.push_back(&s);
    return out;
}

const Symbol* SymbolTable::FindSymbol(std::string_view name, std::optional<uint16_t> pc) const {
    auto [module, plain] = SplitQualified(name);
    auto dot = plain.find('.');
    if (dot != std::string_view::npos) {
        std::string_view fn = plain.substr(0, dot), var = plain.substr(dot + 1);
        for (const auto& s : symbols)
            if (s.scope == Scope::Local && s.function == fn && s.name == var && !s.IsGenerated() &&
                (module.empty() || s.module == module))
                return &s;
        return nullptr;
    }
    if (!module.empty()) {
        for (const auto& s : symbols)
            if (s.scope != Scope::Local && s.module == module && s.name == plain) return &s;
        return nullptr;
    }
    const Function* f = pc ? FunctionAt(*pc) : nullptr;
    if (f)
        for (const Symbol* s : LocalsOf(*f))
            if (s->name == name) return s;
    if (f)
        for (const auto& s : symbols)
            if (s.scope == Scope::File && s.module == f->module && s.name == name) return &s;
    for (const auto& s : symbols)
        if (s.scope == Scope::Global && s.name == name && !s.IsFunction()) return &s;
    for (const auto& s : symbols)
        if (s.scope == Scope::File && s.name == name) return &s;
    return nullptr;
}

std::vector<std::pair<std::string, const Symbol*>> SymbolTable::StaticVariables() const {
    std::vector<std::pair<std::string, const Symbol*>> out;
    std::map<std::string, int> uses;
    for (const auto& s : symbols)
        if (s.IsStaticVariable()) ++uses[PlainName(s)];
    for (const auto& s : symbols) {
        if (!s.IsStaticVariable()) continue;
        std::string name = PlainName(s);
        if (uses[name] > 1 && s.scope != Scope::Global) name = ModuleFile(s.module) + ":" + name;
        out.emplace_back(std::move(name), &s);
    }
    return out;
}

const Symbol* SymbolTable::FindVariable(std::string_view name, std::string* error) const {
    const auto variables = StaticVariables();
    for (const auto& [n, s] : variables)
        if (n == name) return s;
    auto [module, plain] = SplitQualified(name);
    std::vector<std::string> matches;
    for (const auto& [n, s] : variables) {
        if (PlainName(*s) != plain) continue;
        if (!module.empty() && s->module == module) return s;
        matches.push_back(n);
    }
    if (module.empty() && matches.size() > 1) {
        *error = std::string(name) + " is ambiguous: " + Joined(matches);
        return nullptr;
    }
    // Registers, stack variables and special function registers are no static variables, but
    // have a name the caller may want to hear about.
    if (const Symbol* s = FindSymbol(name)) return s;
    *error = "no variable " + std::string(name);
    return nullptr;
}

const StructType* SymbolTable::FindStruct(std::string_view name, std::string_view module) const {
    const StructType* any = nullptr;
    for (const auto& st : structs) {
        if (st.name != name) continue;
        if (st.module == module) return &st;
        if (!any) any = &st;
    }
    return any;
}

std::string CheckSymbolsMatch(const SymbolTable& t, int32_t programEnd,
                              const std::vector<std::string>* programModules) {
    std::string file = BaseName(t.source);
    for (const auto& r : t.lines)
        if (int32_t(r.address) > programEnd)
            return file + ":" + std::to_string(r.cdbLine) + ": the code of " + r.file + " line " +
                   std::to_string(r.line) + " at " + HexAddressText(r.address) +
                   " lies past the end of the program (" + HexAddressText(unsigned(std::max(programEnd, 0))) +
                   "); the symbols belong to another program.";
    for (const auto& f : t.functions)
        if (f.hasRange && int32_t(f.start) > programEnd)
            return file + ":" + std::to_string(f.cdbLine) + ": function " + f.name + " at " +
                   HexAddressText(f.start) + " lies past the end of the program (" +
                   HexAddressText(unsigned(std::max(programEnd, 0))) + "); the symbols belong to another program.";
    if (programModules) {
        for (const auto& m : t.modules) {
            bool hasCode = std::any_of(t.functions.begin(), t.functions.end(),
                                       [&](const Function& f) { return f.module == m && f.hasRange; });
            if (hasCode && std::find(programModules->begin(), programModules->end(), m) == programModules->end())
                return file + ": module " + m + " is not part of the program; the symbols belong to another program.";
        }
    }
    return "";
}

bool LoadSymbolsFile(const std::string& path, int32_t programEnd, SymbolTable* out, std::string* error,
                     const std::string& programPath) {
    SymbolTable t;
    std::string ext = LowerExtension(path);
    ReadResult r = ext == ".cdb" ? ReadCdbFile(path, &t) : ReadLabelFile(path, &t);
    if (!r.ok) {
        *error = r.error;
        return false;
    }
    std::vector<std::string> modules;
    const std::vector<std::string>* programModules = nullptr;
    if (ext == ".cdb") {
        AddressesFromListings(path, &t);
        // The linker's map beside it names the labels of the library; the map beside the program
        // (or else this one) the program's modules.
        std::string map = WithoutExtension(path) + ".map", text, programMap;
        if (ReadText(map, &text)) {
            modules = MapModules(text);
            SymbolTable labels;
            if (ReadMapText(text, map, &labels).ok) t.labels = std::move(labels.labels);
        }
        if (!programPath.empty() && ReadText(WithoutExtension(programPath) + ".map", &programMap))
            modules = MapModules(programMap);
        if (!modules.empty()) programModules = &modules;
        std::vector<std::string> folders = {Folder(path)};
        if (!programPath.empty()) folders.push_back(Folder(programPath));
        NameAssemblerSources(folders, &t);
    }
    if (ext == ".cdb" || ext == ".map") {
        CompleteCutNames(WithoutExtension(path) + ".noi", &t);
        t.Finish();
    }
    std::string mismatch = CheckSymbolsMatch(t, programEnd, programModules);
    if (mismatch.empty())
        for (const auto& l : t.labels)
            if (l.code && int32_t(l.address) > programEnd) {
                mismatch = BaseName(path) + ": label " + l.name + " at " + HexAddressText(l.address) +
                           " lies past the end of the program; the symbols belong to another program.";
                break;
            }
    if (!mismatch.empty()) {
        *error = mismatch;
        return false;
    }
    *out = std::move(t);
    return true;
}

bool LoadSymbolsBeside(const std::string& programPath, int32_t programEnd, SymbolTable* out,
                       std::string* error) {
    error->clear();
    std::string base = WithoutExtension(programPath);
    for (const char* ext : {".cdb", ".map", ".noi"}) {
        std::string path = base + ext;
        if (FileExists(path)) return LoadSymbolsFile(path, programEnd, out, error, programPath);
    }
    return false;
}

std::optional<WatchAddress> ResolveWatchName(const SymbolTable& table, std::string_view name,
                                             std::string* error) {
    const Symbol* s = table.FindVariable(name, error);
    if (!s) return std::nullopt;
    WatchAddress w;
    w.size = std::max<uint32_t>(1, s->type.size);
    switch (s->space) {
        case Space::Data: case Space::Idata: w.space = "iram"; break;
        case Space::Sfr: w.space = "sfr"; break;
        case Space::Bit: case Space::Sbit: w.space = "bit"; w.size = 1; break;
        case Space::External: case Space::Paged: w.space = "xram"; break;
        case Space::Code: case Space::CodeStatic:
            *error = std::string(name) + " lies in code memory, which a program cannot write";
            return std::nullopt;
        case Space::Register:
            *error = std::string(name) + " lives in registers";
            return std::nullopt;
        default:
            *error = std::string(name) + " lives on the stack";
            return std::nullopt;
    }
    if (!s->address) {
        *error = std::string(name) + " has no address in the program";
        return std::nullopt;
    }
    w.address = *s->address;
    return w;
}

bool ReadSymbolFile(const std::string& path, std::string* text, ReadResult* failure) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    if (in) s << in.rdbuf();
    if (!in || in.bad()) {
        const int err = errno;
        *failure = {false, "Cannot read \"" + path + "\": " + std::strerror(err ? err : EIO) + "."};
        return false;
    }
    *text = s.str();
    return true;
}
