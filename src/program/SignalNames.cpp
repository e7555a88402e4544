// Logic-analyzer signal names: parsing a name into its source, and the catalogue of names to pick.
#include "SignalNames.h"

#include <cctype>
#include <cstdlib>

#include "Code.h"
#include "Disassembler.h"

namespace {

std::string Upper(std::string_view s) {
    std::string u(s);
    for (char& c : u) c = char(std::toupper(static_cast<unsigned char>(c)));
    return u;
}

std::string Trim(std::string_view s) {
    std::size_t a = 0, b = s.size();
    while (a < b && std::isspace(static_cast<unsigned char>(s[a]))) ++a;
    while (b > a && std::isspace(static_cast<unsigned char>(s[b - 1]))) --b;
    return std::string(s.substr(a, b - a));
}

bool Hex(const std::string& t, unsigned long limit, unsigned long* v) {
    if (t.empty() || t.size() > 4) return false;
    for (char c : t)
        if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
    *v = std::strtoul(t.c_str(), nullptr, 16);
    return *v <= limit;
}

SignalDef Pin(std::string name, int port, int bit) {
    return {std::move(name), {SignalSpace::Pins, uint16_t(0x80 + 0x10 * port), int8_t(bit), 1}};
}

// The pins of port 3 (and port 1 on the 8052) by their second function.
struct Alternate {
    const char* name;
    int port, bit;
};
constexpr Alternate kAlternates[] = {{"RXD", 3, 0}, {"TXD", 3, 1}, {"INT0", 3, 2}, {"INT1", 3, 3},
                                     {"T0", 3, 4},  {"T1", 3, 5},  {"WR", 3, 6},   {"RD", 3, 7},
                                     {"T2", 1, 0},  {"T2EX", 1, 1}};

// The InternalRam index of an "iram" address: 80h-FFh is the 8052's upper RAM.
uint16_t IramIndex(uint32_t a) { return a < 0x80 ? uint16_t(a) : uint16_t(a + 0x80); }

std::optional<SignalDef> FromAddress(const std::string& name, const std::string& text, std::string* error) {
    std::size_t colon = text.find(':');
    std::string address = Trim(text.substr(0, colon)), space = Upper(Trim(text.substr(colon + 1)));
    unsigned long limit = space == "XRAM" ? 0xFFFF : 0xFF, a = 0;
    if (space != "BIT" && space != "SFR" && space != "IRAM" && space != "XRAM") {
        *error = "unknown space '" + text.substr(colon + 1) + "' in " + name + " (bit, sfr, iram or xram)";
        return std::nullopt;
    }
    if (!Hex(address, limit, &a)) {
        *error = "'" + address + "' in " + name + " is not a hexadecimal address 0-" + (limit == 0xFF ? "FF" : "FFFF");
        return std::nullopt;
    }
    if (space == "SFR" && a < 0x80) {
        *error = "SFR addresses are 80-FF";
        return std::nullopt;
    }
    SignalDef d{name, {}};
    if (space == "BIT") {
        uint8_t byte = BitByteAddress(uint8_t(a));
        for (int p = 0; p < 4; ++p)
            if (byte == 0x80 + 0x10 * p) return Pin(name, p, int(a & 7));
        d.source = {SignalSpace::Direct, byte, int8_t(a & 7), 1};
    } else if (space == "SFR") {
        if ((a & 0x0F) == 0 && a >= 0x80 && a <= 0xB0) d.source = {SignalSpace::Pins, uint16_t(a), -1, 1};
        else d.source = {SignalSpace::Direct, uint16_t(a), -1, 1};
    } else if (space == "IRAM") {
        d.source = {SignalSpace::Direct, IramIndex(uint32_t(a)), -1, 1};
    } else {
        d.source = {SignalSpace::External, uint16_t(a), -1, 1};
    }
    return d;
}

std::optional<SignalDef> FromVariable(const std::string& name, const SymbolTable& table, std::string* error) {
    auto w = ResolveWatchName(table, name, error);
    if (!w) return std::nullopt;
    if (w->size > 8) {
        *error = name + " is " + std::to_string(w->size) + " bytes; a signal follows at most 8";
        return std::nullopt;
    }
    SignalDef d{name, {}};
    uint8_t bytes = uint8_t(w->size);
    if (w->space == "bit") {
        uint8_t a = uint8_t(w->address);
        d.source = {SignalSpace::Direct, BitByteAddress(a), int8_t(a & 7), 1};
    } else if (w->space == "xram") {
        d.source = {SignalSpace::External, uint16_t(w->address), -1, bytes};
    } else if (w->space == "sfr") {
        d.source = {SignalSpace::Direct, uint16_t(w->address), -1, bytes};
    } else {
        d.source = {SignalSpace::Direct, IramIndex(w->address), -1, bytes};
    }
    return d;
}

}  // namespace

std::optional<SignalDef> ParseSignalName(std::string_view text, const SymbolTable* symbols, std::string* error) {
    std::string name = Trim(text);
    if (name.empty()) {
        *error = "a signal needs a name";
        return std::nullopt;
    }
    std::string u = Upper(name);
    if (u.size() == 2 && u[0] == 'P' && u[1] >= '0' && u[1] <= '3')
        return SignalDef{name, {SignalSpace::Pins, uint16_t(0x80 + 0x10 * (u[1] - '0')), -1, 1}};
    if (u.size() == 4 && u[0] == 'P' && u[1] >= '0' && u[1] <= '3' && u[2] == '.' && u[3] >= '0' && u[3] <= '7')
        return Pin(name, u[1] - '0', u[3] - '0');
    if (std::size_t colon = name.rfind(':'); colon != std::string::npos) {
        // ADDR:SPACE, or a static variable by its unique name ("a.c:tick.n", "helper.c:hidden").
        const std::string space = Upper(Trim(name.substr(colon + 1)));
        const bool address = space == "BIT" || space == "SFR" || space == "IRAM" || space == "XRAM";
        if (symbols && !address) return FromVariable(name, *symbols, error);
        return FromAddress(name, name, error);
    }
    // The program's own names come before the registers' only where no register has that name.
    for (const Alternate& a : kAlternates)
        if (u == a.name) return Pin(name, a.port, a.bit);
    for (int b = 0x80; b < 0x100; ++b)
        if (!BitNames[b].empty() && u == Upper(BitNames[b]))
            return SignalDef{name, {SignalSpace::Direct, uint16_t(b & 0xF8), int8_t(b & 7), 1}};
    for (int a = 0x80; a < 0x100; ++a)
        if (!SfrNames[a].empty() && u == Upper(SfrNames[a]))
            return SignalDef{name, {SignalSpace::Direct, uint16_t(a), -1, 1}};
    if (u == "A") return SignalDef{name, {SignalSpace::Direct, Sfr::ACC, -1, 1}};
    if (u == "DPTR") return SignalDef{name, {SignalSpace::Direct, Sfr::DPL, -1, 2}};
    if (symbols) return FromVariable(name, *symbols, error);
    *error = "no signal " + name + " (a pin such as P1.3, a register or bit name, ADDR:bit, ADDR:sfr, "
             "ADDR:iram or ADDR:xram, or a variable when the program has symbols)";
    return std::nullopt;
}

bool ParseSignalList(std::string_view list, const SymbolTable* symbols, std::vector<SignalDef>* out,
                     std::string* error) {
    out->clear();
    std::size_t start = 0;
    while (start <= list.size()) {
        std::size_t comma = list.find(',', start);
        if (comma == std::string_view::npos) comma = list.size();
        std::string_view item = list.substr(start, comma - start);
        auto d = ParseSignalName(item, symbols, error);
        if (!d) return false;
        out->push_back(*d);
        start = comma + 1;
    }
    return true;
}

std::vector<SignalDef> PortPinSignals() {
    std::vector<SignalDef> pins;
    for (int p = 0; p < 4; ++p)
        for (int b = 0; b < 8; ++b) pins.push_back(Pin("P" + std::to_string(p) + "." + std::to_string(b), p, b));
    return pins;
}

std::vector<std::string> SignalCatalogue(const SymbolTable* symbols) {
    std::vector<std::string> names;
    for (int p = 0; p < 4; ++p)
        for (int b = 0; b < 8; ++b) names.push_back("P" + std::to_string(p) + "." + std::to_string(b));
    for (int p = 0; p < 4; ++p) names.push_back("P" + std::to_string(p));
    for (int b = 0x88; b < 0x100; ++b)
        if (!BitNames[b].empty() && (b & 0xF8) != 0x90 && (b & 0xF8) != 0xA0 && (b & 0xF8) != 0xB0)
            names.emplace_back(BitNames[b]);
    for (int a = 0x80; a < 0x100; ++a)
        if (!SfrNames[a].empty() && (a & 0x0F || a > 0xB0)) names.emplace_back(SfrNames[a]);
    if (symbols) {
        // Globals and statics by the names that tell them apart ("a.c:tick.n"), those a signal can
        // follow; not one whose name a register or pin takes first ("t0" is the pin T0).
        std::string error;
        for (const auto& [n, s] : symbols->StaticVariables()) {
            auto d = ParseSignalName(n, symbols, &error);
            auto v = d ? FromVariable(n, *symbols, &error) : std::nullopt;
            if (v && v->source == d->source) names.push_back(n);
        }
    }
    return names;
}
