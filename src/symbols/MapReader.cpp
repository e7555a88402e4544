// The readers of the linker's global labels: sdld's .map listing and the NoICE .noi file.
#include <algorithm>
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

ReadResult ReadMapText(std::string_view text, const std::string& fileName, SymbolTable* out) {
    SymbolTable t;
    t.source = fileName;
    bool sawHeader = false, areaCode = false, areaExternal = false, areaAbsolute = false;
    ForEachLine(text, [&](std::string_view line, int) {
        auto w = Words(line);
        if (line.find("ASxxxx Linker") != std::string_view::npos) sawHeader = true;
        // "DSEG   00000000    0000007D =   125. bytes (REL,CON)" opens an area.
        if (w.size() >= 6 && w.back().front() == '(' && line.find(" bytes ") != std::string_view::npos) {
            std::string_view attributes = w.back();
            areaCode = attributes.find("CODE") != std::string_view::npos;
            areaExternal = attributes.find("XDATA") != std::string_view::npos;
            areaAbsolute = w[0] == "." || w[0] == "CABS" || w[0] == "XABS" || w[0] == "IABS";
            return;
        }
        bool code = false;
        if (!w.empty() && w[0] == "C:") {
            code = true;
            w.erase(w.begin());
        }
        uint32_t v;
        if (w.size() < 2 || w[0].size() != 8 || !Hex(w[0], &v) || !IsLabelName(w[1])) return;
        if (v > 0xFFFF || (areaAbsolute && !code)) return;
        Label l;
        l.name = w[1];
        l.address = uint16_t(v);
        l.code = code || areaCode;
        l.external = !l.code && areaExternal;
        t.labels.push_back(std::move(l));
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
    ForEachLine(text, [&](std::string_view line, int number) {
        auto w = Words(line);
        if (!error.empty() || w.empty()) return;
        if (w[0] == "DEF") {
            uint32_t v;
            if (w.size() != 3 || !Hex(w[2], &v) || v > 0xFFFF) {
                error = fileName + ":" + std::to_string(number) + ": bad DEF line";
                return;
            }
            // NoICE labels carry no memory space: they name code addresses.
            if (IsLabelName(w[1])) t.labels.push_back(Label{std::string(w[1]), uint16_t(v), true, false});
        }
    });
    if (!error.empty()) return {false, error};
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
        if (w.size() == 3 && w[0].size() == 8 && Hex(w[0], &v)) add(w[2]);
    });
    return modules;
}
