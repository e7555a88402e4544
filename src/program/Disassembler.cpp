// Disassembly of code memory into listing rows, with the register and bit name tables.
#include "Disassembler.h"

#include <cctype>
#include <cstdio>

#include "Code.h"
#include "ProgramSymbols.h"
#include "Settings.h"
#include "Symbols.h"

std::vector<ListingRow> Listing;
std::array<int32_t, 0x10000> ListingRowMap = [] {
    std::array<int32_t, 0x10000> m{};
    m.fill(kNoListingRow);
    return m;
}();

namespace {

constexpr std::array<std::string_view, 256> MakeSfrNames() {
    std::array<std::string_view, 256> n{};
    n[0x80] = "P0"; n[0x81] = "SP"; n[0x82] = "DPL"; n[0x83] = "DPH"; n[0x87] = "PCON";
    n[0x88] = "TCON"; n[0x89] = "TMOD"; n[0x8A] = "TL0"; n[0x8B] = "TL1"; n[0x8C] = "TH0";
    n[0x8D] = "TH1"; n[0x90] = "P1"; n[0x98] = "SCON"; n[0x99] = "SBUF"; n[0xA0] = "P2";
    n[0xA8] = "IE"; n[0xB0] = "P3"; n[0xB8] = "IP"; n[0xC8] = "T2CON"; n[0xCA] = "RCAP2L";
    n[0xCB] = "RCAP2H"; n[0xCC] = "TL2"; n[0xCD] = "TH2"; n[0xD0] = "PSW"; n[0xE0] = "ACC";
    n[0xF0] = "B";
    return n;
}

constexpr std::string_view kPortBits[4][8] = {
    {"P0.0", "P0.1", "P0.2", "P0.3", "P0.4", "P0.5", "P0.6", "P0.7"},
    {"P1.0", "P1.1", "P1.2", "P1.3", "P1.4", "P1.5", "P1.6", "P1.7"},
    {"P2.0", "P2.1", "P2.2", "P2.3", "P2.4", "P2.5", "P2.6", "P2.7"},
    {"P3.0", "P3.1", "P3.2", "P3.3", "P3.4", "P3.5", "P3.6", "P3.7"}};

constexpr std::array<std::string_view, 256> MakeBitNames() {
    std::array<std::string_view, 256> n{};
    for (int p = 0; p < 4; ++p)
        for (int b = 0; b < 8; ++b) n[0x80 + 0x10 * p + b] = kPortBits[p][b];
    const std::string_view tcon[8] = {"IT0", "IE0", "IT1", "IE1", "TR0", "TF0", "TR1", "TF1"};
    const std::string_view scon[8] = {"RI", "TI", "RB8", "TB8", "REN", "SM2", "SM1", "SM0"};
    const std::string_view ie[8] = {"EX0", "ET0", "EX1", "ET1", "ES", "ET2", "", "EA"};
    const std::string_view ip[8] = {"PX0", "PT0", "PX1", "PT1", "PS", "PT2", "", ""};
    const std::string_view t2con[8] = {"CP/RL2", "C/T2", "TR2", "EXEN2",
                                       "TCLK",   "RCLK", "EXF2", "TF2"};
    const std::string_view psw[8] = {"P", "", "", "RS0", "RS1", "F0", "AC", "CY"};
    const std::string_view acc[8] = {"ACC.0", "ACC.1", "ACC.2", "ACC.3",
                                     "ACC.4", "ACC.5", "ACC.6", "ACC.7"};
    const std::string_view b[8] = {"B.0", "B.1", "B.2", "B.3", "B.4", "B.5", "B.6", "B.7"};
    for (int i = 0; i < 8; ++i) {
        n[0x88 + i] = tcon[i];
        n[0x98 + i] = scon[i];
        n[0xA8 + i] = ie[i];
        n[0xB8 + i] = ip[i];
        n[0xC8 + i] = t2con[i];
        n[0xD0 + i] = psw[i];
        n[0xE0 + i] = acc[i];
        n[0xF0 + i] = b[i];
    }
    return n;
}

uint8_t CodeAt(uint32_t a) { return a <= 0xFFFF ? CodeMemory[a] : 0; }

std::string Hex2h(unsigned v) {
    char b[4];
    std::snprintf(b, sizeof b, "%02Xh", v & 0xFF);
    return b;
}

void ReplaceFirst(std::string& text, std::string_view word, const std::string& by) {
    auto p = text.find(word);
    if (p != std::string::npos) text.replace(p, word.size(), by);
}

std::string Named(std::string_view name, unsigned value, int radix) {
    return name.empty() ? FormatNumber(value, 8, radix) : std::string(name);
}

void ApplyCasing(std::string& text, const ListingFormat& f) {
    auto blank = text.find(' ');
    if (blank == std::string::npos) blank = text.size();
    for (size_t i = 0; i < text.size(); ++i) {
        bool lower = i < blank ? !f.UpperMnemonics : !f.UpperOperands;
        if (lower) text[i] = char(std::tolower(static_cast<unsigned char>(text[i])));
    }
}

// Names from the program's symbols; each returns "" where there is none, and the caller keeps
// the number. A name enters the text as a placeholder without letters, so that neither the
// operand substitutions that follow nor the casing can touch it, and is written in at the end.
struct SymbolNames {
    const SymbolTable* table;
    std::vector<std::string> used;

    std::string Use(std::string name) {
        if (name.empty()) return name;
        used.push_back(std::move(name));
        return std::string{'\x01', char('0' + used.size() - 1)};
    }
    std::string Code(unsigned target) { return table ? Use(table->CodeLabelAt(uint16_t(target))) : ""; }
    std::string Data(uint8_t v) { return table && v < 0x80 ? Use(table->DataNameAt(v)) : ""; }
    std::string Bit(uint8_t v) { return table && v < 0x80 ? Use(table->BitNameAt(v)) : ""; }

    void WriteIn(std::string& text) const {
        for (size_t i = 0; i < used.size(); ++i) ReplaceFirst(text, std::string{'\x01', char('0' + i)}, used[i]);
    }
};

std::string Or(std::string name, std::string otherwise) { return name.empty() ? otherwise : name; }

}  // namespace

const std::array<std::string_view, 256> SfrNames = MakeSfrNames();
const std::array<std::string_view, 256> BitNames = MakeBitNames();

std::string Hex4(unsigned value) {
    char b[5];
    std::snprintf(b, sizeof b, "%04X", value & 0xFFFF);
    return b;
}

std::string FormatNumber(unsigned value, int bits, int radix) {
    switch (radix) {
        case 0: {
            std::string s;
            for (int i = bits - 1; i >= 0; --i) s += ((value >> i) & 1) ? '1' : '0';
            return s + "b";
        }
        case 1: return std::to_string(value);
        case 2: return bits == 16 ? Hex4(value) + "h" : Hex2h(value);
        default: return "";
    }
}

uint16_t AbsoluteTarget(uint32_t a, uint8_t opcode, uint8_t operand) {
    return uint16_t(((a + 2) & 0xF800) + (opcode >> 5) * 256u + operand);
}

ListingFormat CurrentListingFormat() {
    ListingFormat f;
    f.Symbols = ActiveProgramSymbols();
    f.UpperMnemonics = Settings.Optn[0];
    f.UpperOperands = Settings.Optn[1];
    f.Numbers = Settings.Numbers;
    f.Addresses = Settings.Addresses;
    return f;
}

ListingRow DisassembleAt(uint32_t a, const ListingFormat& f) {
    const uint8_t op = CodeAt(a);
    const TAsmData& row = AsmTable[op];
    std::string text(row.Template);
    SymbolNames names{f.Symbols, {}};
    if (op == 0x85) {
        // The source byte comes first, the destination second: written destination first.
        auto name = [&](uint8_t v) { return Or(names.Data(v), Named(SfrNames[v], v, 2)); };
        text = "MOV " + name(CodeAt(a + 2)) + "," + name(CodeAt(a + 1));
    } else {
        unsigned k = 0;
        while (text.find("direct") != std::string::npos) {
            uint8_t v = CodeAt(a + ++k);
            ReplaceFirst(text, "direct", Or(names.Data(v), Named(SfrNames[v], v, f.Addresses)));
        }
        if (text.find("data16") != std::string::npos)
            ReplaceFirst(text, "data16", FormatNumber(CodeAt(a + 1) * 256u + CodeAt(a + 2), 16, f.Numbers));
        if (text.find("data") != std::string::npos)
            ReplaceFirst(text, "data", FormatNumber(CodeAt(a + ++k), 8, f.Numbers));
        if (text.find("bit") != std::string::npos) {
            ++k;
            uint8_t v = CodeAt(a + 1);
            ReplaceFirst(text, "bit", Or(names.Bit(v), BitNames[v].empty() ? Hex2h(v) : std::string(BitNames[v])));
        }
        if (text.find("rel") != std::string::npos) {
            ++k;
            // Targets wrap modulo 65,536, as the controller executes them.
            unsigned target = unsigned(int(a + k + 1) + int8_t(CodeAt(a + k)));
            ReplaceFirst(text, "rel", Or(names.Code(target & 0xFFFF), Hex4(target) + "h"));
        }
        if (text.find("addr11") != std::string::npos) {
            unsigned target = AbsoluteTarget(a, op, CodeAt(a + 1));
            ReplaceFirst(text, "addr11", Or(names.Code(target), Hex4(target) + "h"));
        }
        if (text.find("addr16") != std::string::npos) {
            unsigned target = CodeAt(a + 1) * 256u + CodeAt(a + 2);
            ReplaceFirst(text, "addr16", Or(names.Code(target), Hex4(target) + "h"));
        }
    }
    ApplyCasing(text, f);
    names.WriteIn(text);

    ListingRow out;
    out.Address = Hex4(a);
    out.Text = std::move(text);
    if (f.Symbols && a <= 0xFFFF) out.Label = f.Symbols->CodeLabelAt(uint16_t(a));
    for (unsigned i = 0; i < row.Length; ++i) {
        char b[4];
        std::snprintf(b, sizeof b, i ? " %02X" : "%02X", CodeAt(a + i));
        out.Bytes += b;
    }
    return out;
}

void BuildListing() { BuildListing(CurrentListingFormat()); }

void BuildListing(const ListingFormat& format) {
    Listing.clear();
    Listing.reserve(0x10000);
    ListingRowMap.fill(kNoListingRow);
    const int32_t end = ProgramEnd;
    for (int32_t a = 0; a <= end; a += AsmTable[CodeMemory[uint32_t(a)]].Length) {
        ListingRowMap[uint32_t(a)] = int32_t(Listing.size());
        Listing.push_back(DisassembleAt(uint32_t(a), format));
    }
}
