// The readers of the linker's global labels: sdld's .map listing and the NoICE .noi file.
#include <algorithm>
#include <cctype>
#include <charconv>
#include <fstream>
#include <sstream>

#include "Symbols.h"

namespace {

std::vector<std::string_view> Words(std::string_view line) {
    std::vector<std::string_view> w;
    size_t p = 0;
    while (p < line.size()) {
        while (p < line.size() && (line[p] == ' ' || line[p] == '\t' || line[p] == '\r')) ++p;
        size_t start = p;
        while (p < line.size() && line[p] != ' ' && line[p] != '\t' && line[p] != '\r') ++p;
        if (p > start) w.push_back(line.substr(start, p - start));
    }
    return w;
}

bool Hex(std::string_view s, uint32_t* v) {
    if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) s.remove_prefix(2);
    auto r = std::from_chars(s.data(), s.data() + s.size(), *v, 16);
    return !s.empty() && r.ec == std::errc() && r.ptr == s.data() + s.size();
}

// Area bookkeeping and linker-internal names are no labels a reader wants to see.
bool IsLabelName(std::string_view n) {
    if (n.empty() || n[0] == '.' || n.find('$') != std::string_view::npos) return false;
    if (n.size() > 2 && (n[0] == 'l' || n[0] == 's') && n[1] == '_') return false;
    return true;
}

template <typename Fn>
void ForEachLine(std::string_view text, Fn fn) {
    size_t start = 0;
    int number = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        fn(text.substr(start, end - start), ++number);
        start = end + 1;
    }
}

}  // namespace

namespace {

enum class AreaKind { Code, Data, Bit, External, Absolute };

// What an area of the map holds. The map names the memory only for code, bits and external
// data; an area without such an attribute holds internal data when its name says so (SDCC's
// DSEG, ISEG, OSEG, ...) and code otherwise, as sdas8051 assembles a user's area ("CODE1 ...
// (ABS,CON)") into code memory. The absolute area "." holds the assembler's equates (SFR and bit
// names, "count = 0x30"), which are no labels.
AreaKind KindOfArea(std::string_view name, std::string_view attributes) {
    if (attributes.find("CODE") != std::string_view::npos) return AreaKind::Code;
    if (attributes.find("XDATA") != std::string_view::npos) return AreaKind::External;
    if (attributes.find("BIT") != std::string_view::npos) return AreaKind::Bit;
    if (name == "." || name == ".ABS.") return AreaKind::Absolute;
    std::string upper(name);
    for (char& c : upper) c = char(std::toupper(static_cast<unsigned char>(c)));
    if (upper == "CABS") return AreaKind::Code;
    if (upper == "XABS") return AreaKind::External;
    for (const char* data : {"DSEG", "DATA", "ISEG", "IABS", "OSEG", "SSEG", "RSEG", "REG_BANK", "BIT_BANK"})
        if (upper.find(data) != std::string::npos) return AreaKind::Data;
    if (upper.find("BSEG") != std::string::npos) return AreaKind::Bit;
    return AreaKind::Code;
}

}  // namespace

ReadResult ReadMapText(std::string_view text, const std::string& fileName, SymbolTable* out) {
    SymbolTable t;
    t.source = fileName;
    bool sawHeader = false;
    AreaKind area = AreaKind::Code;
    ForEachLine(text, [&](std::string_view line, int) {
        auto w = Words(line);
        if (line.find("ASxxxx Linker") != std::string_view::npos) sawHeader = true;
        // "DSEG   00000000    0000007D =   125. bytes (REL,CON)" opens an area.
        if (w.size() >= 6 && w.back().front() == '(' && line.find(" bytes ") != std::string_view::npos) {
            area = KindOfArea(w[0], w.back());
            return;
        }
        // A wide map has one symbol a line ("00000030  start  module"), a narrow one up to three
        // ("00000030  start     |    00000035  loop"), each name cut to nine characters.
        size_t from = 0;
        while (from <= line.size()) {
            size_t bar = line.find('|', from);
            if (bar == std::string_view::npos) bar = line.size();
            auto words = Words(line.substr(from, bar - from));
            from = bar + 1;
            bool code = false;  // "C:" marks a symbol of code memory
            if (!words.empty() && words[0] == "C:") {
                code = true;
                words.erase(words.begin());
            }
            uint32_t v;
            if (words.size() < 2 || words[0].size() != 8 || !Hex(words[0], &v) || !IsLabelName(words[1])) continue;
            if (v > 0xFFFF || (area == AreaKind::Absolute && !code)) continue;
            Label l;
            l.name = words[1];
            l.address = uint16_t(v);
            l.code = code || area == AreaKind::Code;
            l.external = area == AreaKind::External;
            l.bit = area == AreaKind::Bit;
            t.labels.push_back(std::move(l));
        }
    });
    if (!sawHeader) return {false, fileName + ": not a linker map file"};
    t.Finish();
    *out = std::move(t);
    return {true, ""};
}

ReadResult ReadNoiText(std::string_view text, const std::string& fileName, SymbolTable* out) {
    SymbolTable t;
    t.source = fileName;
    std::string error;
    // The linker writes the DEFs area by area, each area's ascending by value; the absolute area
    // (the equates, SFR names among them) opens with ".__.ABS.". Where the program has line
    // records ("A$module$line", "C$file$line"), the areas that hold them are its code; without
    // any, every area but the absolute one is taken as code.
    struct Def {
        std::string name;
        uint16_t value;
        int area;
    };
    std::vector<Def> defs;
    std::vector<bool> absolute, hasLines;
    uint32_t previous = 0;
    ForEachLine(text, [&](std::string_view line, int number) {
        auto w = Words(line);
        if (!error.empty() || w.empty() || w[0] != "DEF") return;
        uint32_t v;
        if (w.size() != 3 || !Hex(w[2], &v) || v > 0xFFFF) {
            error = fileName + ":" + std::to_string(number) + ": bad DEF line";
            return;
        }
        if (absolute.empty() || v < previous || w[1] == ".__.ABS.") {
            absolute.push_back(w[1] == ".__.ABS.");
            hasLines.push_back(false);
        }
        previous = v;
        const int area = int(absolute.size()) - 1;
        if (w[1].size() > 2 && (w[1][0] == 'A' || w[1][0] == 'C') && w[1][1] == '$') hasLines[size_t(area)] = true;
        defs.push_back({std::string(w[1]), uint16_t(v), area});
    });
    if (!error.empty()) return {false, error};
    const bool anyLines = std::find(hasLines.begin(), hasLines.end(), true) != hasLines.end();
    for (const auto& d : defs) {
        if (!IsLabelName(d.name) || d.name.find('.') != std::string::npos || absolute[size_t(d.area)]) continue;
        if (anyLines && !hasLines[size_t(d.area)]) continue;
        t.labels.push_back(Label{d.name, d.value, true, false, false});
    }
    t.Finish();
    *out = std::move(t);
    return {true, ""};
}

ReadResult ReadLabelFile(const std::string& path, SymbolTable* out) {
    std::string text;
    ReadResult failure;
    if (!ReadSymbolFile(path, &text, &failure)) return failure;
    std::string ext = path.size() >= 4 ? path.substr(path.size() - 4) : "";
    for (char& c : ext) c = char(std::tolower(static_cast<unsigned char>(c)));
    return ext == ".noi" ? ReadNoiText(text, path, out) : ReadMapText(text, path, out);
}

std::vector<std::string> MapModules(std::string_view text) {
    std::vector<std::string> modules;
    auto add = [&](std::string_view m) {
        if (!m.empty() && std::find(modules.begin(), modules.end(), m) == modules.end()) modules.emplace_back(m);
    };
    bool linked = false;
    ForEachLine(text, [&](std::string_view line, int) {
        auto w = Words(line);
        if (line.find("Files Linked") != std::string_view::npos) linked = true;
        if (line.find("Libraries Linked") != std::string_view::npos) linked = false;
        if (linked && w.size() >= 1 && w[0].size() > 4 && w[0].substr(w[0].size() - 4) == ".rel") {
            std::string_view f = w[0];
            auto slash = f.find_last_of("/\\");
            if (slash != std::string_view::npos) f.remove_prefix(slash + 1);
            add(f.substr(0, f.size() - 4));
            return;
        }
        if (!w.empty() && w[0] == "C:") w.erase(w.begin());
        uint32_t v;
        if (w.size() == 3 && w[0].size() == 8 && Hex(w[0], &v) && line.find('|') == std::string_view::npos) add(w[2]);
    });
    return modules;
}
