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

// The linker writes no address records for bit variables; the relocated listing (.rst) of their
// module still shows the address beside "KEY==.".
void AddressesFromListings(const std::string& cdbPath, SymbolTable* t) {
    std::map<std::string, std::vector<Symbol*>> missing;
    for (auto& s : t->symbols)
        if (!s.address && (s.space == Space::Bit || s.space == Space::Data) && !s.key.empty())
            missing[s.module].push_back(&s);
    for (auto& [module, syms] : missing) {
        std::string text;
        if (!ReadText(Folder(cdbPath) + module + ".rst", &text)) continue;
        std::istringstream in(text);
        std::string line;
        while (std::getline(in, line)) {
            auto eq = line.find("==.");
            if (eq == std::string::npos) continue;
            std::istringstream words(line.substr(0, eq));
            std::string address, number, key;
            if (!(words >> address >> number >> key)) continue;
            for (Symbol* s : syms)
                if (s->key == key && !s->address) {
                    try {
                        s->address = uint32_t(std::stoul(address, nullptr, 16));
                    } catch (...) {
                    }
                }
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
        case TypeLink::Struct: text = "struct " + base.name; break;
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

    codeNames_.clear();
    dataNames_.clear();
    bitNames_.clear();
    for (const auto& f : functions)
        if (f.hasRange) codeNames_.emplace(f.start, "_" + f.name);
    for (const auto& s : symbols) {
        if (!s.address || s.IsGenerated()) continue;
        if ((s.space == Space::Data || s.space == Space::Idata) && *s.address < 0x80)
            dataNames_.emplace(uint8_t(*s.address), std::make_pair(AsmName(s), std::max<uint32_t>(1, s.type.size)));
        else if (s.space == Space::Bit && *s.address < 0x100)
            bitNames_.emplace(uint8_t(*s.address), AsmName(s));
    }
    for (const auto& l : labels) {
        if (l.code)
            codeNames_.emplace(l.address, l.name);
        else if (!l.external && l.address < 0x80)
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
    for (const auto& r : lines) {
        if (BaseName(r.file) != want || r.line < line) continue;
        if (!best || r.line < best->line || (r.line == best->line && r.address < best->address)) best = &r;
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
    auto dot = name.find('.');
    if (dot != std::string_view::npos) {
        std::string_view fn = name.substr(0, dot), var = name.substr(dot + 1);
        for (const auto& s : symbols)
            if (s.scope == Scope::Local && s.function == fn && s.name == var && !s.IsGenerated()) return &s;
        return nullptr;
    }
    auto colon = name.find(':');
    if (colon != std::string_view::npos) {
        std::string_view mod = name.substr(0, colon), var = name.substr(colon + 1);
        for (const auto& s : symbols)
            if (s.scope == Scope::File && s.module == mod && s.name == var) return &s;
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
        if (s.IsStaticVariable() && s.scope != Scope::Local) ++uses[s.name];
    for (const auto& s : symbols) {
        if (!s.IsStaticVariable()) continue;
        std::string name = s.scope == Scope::Local                      ? s.function + "." + s.name
                           : s.scope == Scope::File && uses[s.name] > 1 ? s.module + ":" + s.name
                                                                        : s.name;
        out.emplace_back(std::move(name), &s);
    }
    return out;
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
    const Symbol* s = table.FindSymbol(name);
    if (!s) {
        *error = "no variable " + std::string(name);
        return std::nullopt;
    }
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
