// Label pass and writer of the disassembly export.
#include "Export.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <map>
#include <set>

#include "Code.h"
#include "ProgramSymbols.h"
#include "SafeFile.h"
#include "Settings.h"
#include "Symbols.h"

namespace {

constexpr const char* kLabelPrefixes[] = {"LCA", "LJM", "ACA", "AJM", "SJM", "JZ ", "JNZ",
                                         "JC ", "JNC", "JB ", "JNB", "JBC", "CJN", "DJN"};

bool MakesLabel(const std::string& text) {
    if (text.size() < 3) return false;
    char p[4] = {0};
    for (int i = 0; i < 3; ++i) p[i] = char(std::toupper(static_cast<unsigned char>(text[size_t(i)])));
    for (const char* prefix : kLabelPrefixes)
        if (std::strcmp(p, prefix) == 0) return true;
    return false;
}

unsigned ParseHex(const std::string& s, bool* ok) {
    unsigned v = 0;
    *ok = !s.empty();
    for (char c : s) {
        int d = std::isdigit(static_cast<unsigned char>(c)) ? c - '0'
                : (c >= 'a' && c <= 'f')                    ? c - 'a' + 10
                : (c >= 'A' && c <= 'F')                    ? c - 'A' + 10
                                                            : -1;
        if (d < 0) {
            *ok = false;
            return 0;
        }
        v = v * 16 + unsigned(d);
    }
    return v;
}

uint8_t CodeAt(uint32_t a) { return a <= 0xFFFF ? CodeMemory[a] : 0; }

// The target of a label-making instruction at `a`, from its bytes in code memory.
uint16_t TargetAt(uint32_t a) {
    uint8_t op = CodeAt(a);
    if (op == 0x02 || op == 0x12) return uint16_t(CodeAt(a + 1) * 256u + CodeAt(a + 2));
    if ((op & 0x0F) == 0x01) return AbsoluteTarget(a, op, CodeAt(a + 1));
    unsigned len = AsmTable[op].Length;
    return uint16_t(int(a + len) + int8_t(CodeAt(a + len - 1)));
}

std::string Upper(std::string s) {
    for (char& c : s) c = char(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

// Upper case except the program's names, which keep the spelling the program gives them
// ("JNB _led_on,LABEL3", never "_LED_ON").
std::string UpperExceptNames(const std::string& s, const std::set<std::string>& names) {
    if (names.empty()) return Upper(s);
    std::string out;
    size_t p = 0;
    while (p < s.size()) {
        size_t end = s.find_first_of(" ,#/@+", p);
        if (end == std::string::npos) end = s.size();
        const std::string word = s.substr(p, end - p);
        out += names.count(word) ? word : Upper(word);
        if (end < s.size()) out += s[end];
        p = end + 1;
    }
    return out;
}

// Width of a line with tabs stopping at every multiple of 8.
size_t Width(const std::string& line) {
    size_t w = 0;
    for (char c : line) w = c == '\t' ? (w / 8 + 1) * 8 : w + 1;
    return w;
}

// A name for a code address from the symbols, "" without.
std::string CodeName(const ExportOptions& o, unsigned a) {
    return o.Symbols && a <= 0xFFFF ? o.Symbols->CodeLabelAt(uint16_t(a)) : "";
}

std::string DefinitionLine(const std::string& name, const char* directive, const std::string& value,
                           const ExportOptions& o) {
    if (!o.SpacesForTabs) return name + "\t" + directive + "\t" + value + "\r\n";
    std::string line = name + " ";
    if (line.size() < 8) line.resize(8, ' ');
    line += directive;
    if (line.size() < 16) line.resize(16, ' ');
    return line + value + "\r\n";
}

// Definitions of the names the operands use that no label line of the export defines.
std::string NameDefinitions(const std::vector<ListingRow>& rows, const std::set<unsigned>& labelled,
                            const ExportOptions& o) {
    std::map<std::string, SymbolTable::NamedAddress> names;
    for (auto& n : o.Symbols->ListingNames()) names.emplace(n.name, n);
    std::map<std::string, SymbolTable::NamedAddress> used;
    for (const auto& row : rows) {
        auto blank = row.Text.find(' ');
        if (blank == std::string::npos) continue;
        std::string operands = row.Text.substr(blank + 1);
        size_t p = 0;
        while (p < operands.size()) {
            size_t end = operands.find_first_of(",#/+@", p);
            if (end == std::string::npos) end = operands.size();
            auto it = names.find(operands.substr(p, end - p));
            if (it != names.end() && !(it->second.kind == 'C' && labelled.count(it->second.address)))
                used.emplace(it->first, it->second);
            p = end + 1;
        }
    }
    std::string out;
    for (const auto& [name, n] : used) {
        const char* directive = n.kind == 'C' ? "CODE" : n.kind == 'B' ? "BIT" : "DATA";
        out += DefinitionLine(name, directive, FormatNumber(n.address, n.kind == 'C' ? 16 : 8, 2), o);
    }
    return out;
}

}  // namespace

ExportOptions CurrentExportOptions() {
    ExportOptions o;
    o.Symbols = ActiveProgramSymbols();
    o.UpperCase = Settings.Optn[0];
    o.UpperOperands = Settings.Optn[1];
    o.OpcodeComment = Settings.Optn[2];
    o.SpacesForTabs = Settings.Optn[3];
    o.Numbers = Settings.Numbers;
    return o;
}

std::vector<uint16_t> CollectLabelTargets(const std::vector<ListingRow>& rows) {
    std::vector<uint16_t> targets;
    std::set<uint16_t> seen;
    for (const auto& row : rows) {
        if (!MakesLabel(row.Text)) continue;
        bool ok;
        unsigned a = ParseHex(row.Address, &ok);
        if (!ok) continue;
        uint16_t t = TargetAt(a);
        if (seen.insert(t).second) targets.push_back(t);
    }
    std::sort(targets.begin(), targets.end());
    return targets;
}

std::string ExportText(const std::vector<ListingRow>& rows, const ExportOptions& o) {
    const std::vector<uint16_t> targets = CollectLabelTargets(rows);
    std::set<unsigned> rowAddresses;
    for (const auto& row : rows) {
        bool ok;
        unsigned a = ParseHex(row.Address, &ok);
        if (ok) rowAddresses.insert(a);
    }
    auto labelName = [&](uint16_t target) {
        std::string symbol = CodeName(o, target);
        if (!symbol.empty()) return symbol;
        auto it = std::lower_bound(targets.begin(), targets.end(), target);
        std::string name = "label" + std::to_string(it - targets.begin() + 1);
        return o.UpperCase ? Upper(name) : name;
    };
    auto isTarget = [&](unsigned t) { return std::binary_search(targets.begin(), targets.end(), t); };

    std::set<std::string> names;
    if (o.Symbols)
        for (const auto& n : o.Symbols->ListingNames()) names.insert(n.name);

    std::string out;
    if (o.Symbols) {
        std::set<unsigned> labelled;
        for (unsigned a : rowAddresses)
            if (isTarget(a) || !CodeName(o, a).empty()) labelled.insert(a);
        out += NameDefinitions(rows, labelled, o);
    }
    for (const auto& row : rows) {
        bool ok;
        unsigned a = ParseHex(row.Address, &ok);
        if (ok && (isTarget(a) || !CodeName(o, a).empty())) out += labelName(uint16_t(a)) + ":\r\n";

        std::string t = row.Text;
        uint8_t op = ok ? CodeAt(a) : 0;
        if (ok && op == 0xA5) {
            // The undefined opcode as data, both bytes, so that assembling gives them back.
            std::string mnemonic = o.UpperCase ? "DB" : "db";
            std::string operands = FormatNumber(0xA5, 8, o.Numbers) + "," +
                                   FormatNumber(CodeAt(a + 1), 8, o.Numbers);
            if (!o.UpperOperands)
                for (char& c : operands) c = char(std::tolower(static_cast<unsigned char>(c)));
            t = mnemonic + " " + operands;
        } else if (MakesLabel(t) && t.size() >= 5) {
            unsigned target = ParseHex(t.substr(t.size() - 5, 4), &ok);
            // Only targets that get a label line are named; the others keep their number.
            if (ok && isTarget(target) && rowAddresses.count(target)) {
                std::string prefix = t.substr(0, t.size() - 5);
                t = (o.UpperCase ? UpperExceptNames(prefix, names) : prefix) + labelName(uint16_t(target));
            }
        }
        auto blank = t.find(' ');
        std::string mnemonic = t.substr(0, blank);
        std::string operands = blank == std::string::npos ? "" : t.substr(blank + 1);

        std::string line;
        if (o.SpacesForTabs) {
            line = "        " + mnemonic;
            if (line.size() < 16) line.resize(16, ' ');
            line += operands;
        } else {
            line = "\t" + mnemonic + "\t" + operands;
        }
        if (o.OpcodeComment) {
            if (o.SpacesForTabs) {
                if (line.size() < 40) line.resize(40, ' ');
            } else {
                while (Width(line) < 40) line += '\t';
            }
            line += ';';
            unsigned len = AsmTable[op].Length;
            static const char* digits = "0123456789ABCDEF";
            for (unsigned i = 0; i < len; ++i) {
                uint8_t b = CodeAt(a + i);
                line += digits[b >> 4];
                line += digits[b & 15];
                line += ' ';
            }
        }
        while (!line.empty() && line.back() == ' ') line.pop_back();
        out += line + "\r\n";
    }
    return out;
}

bool ExportListing(const std::vector<ListingRow>& rows, const ExportOptions& options,
                   const std::string& path, std::string* error) {
    std::string reason;
    if (WriteFileSafely(path, ExportText(rows, options), &reason)) return true;
    if (error) *error = "Cannot write \"" + path + "\": " + reason + ".";
    return false;
}
