// The disassembler: code memory from 0000h to ProgramEnd as listing rows, with register and bit
// names, and the row of every instruction address.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class SymbolTable;

// One row of the listing: "0003", "MOV TMOD,#32", "75 89 20", and with symbols the label that
// starts at the address ("_main"; empty without symbols or where no name starts).
struct ListingRow {
    std::string Address;
    std::string Text;
    std::string Bytes;
    std::string Label;
};

// How operands are written; BuildListing takes these from Settings.
struct ListingFormat {
    bool UpperMnemonics = true;  // Optn0
    bool UpperOperands = true;   // Optn1
    uint8_t Numbers = 1;         // radix of immediate data: 0 binary, 1 decimal, 2 hexadecimal
    uint8_t Addresses = 2;       // radix of unnamed direct addresses
    // With symbols: code targets, direct addresses below 80h and bits of the bit-addressable
    // area that have a name show it; everything else stays as without.
    const SymbolTable* Symbols = nullptr;
};

extern const std::array<std::string_view, 256> SfrNames;
extern const std::array<std::string_view, 256> BitNames;

// The rows of the last BuildListing.
extern std::vector<ListingRow> Listing;
// The listing row of every instruction address, kNoListingRow for addresses that start no listed
// instruction (inside an instruction, or past the listing).
constexpr int32_t kNoListingRow = -1;
extern std::array<int32_t, 0x10000> ListingRowMap;

// The listing format from Settings, with the loaded program's symbols if there are any.
ListingFormat CurrentListingFormat();
// The instruction at code address `a`, operand bytes beyond FFFFh read as 00h.
ListingRow DisassembleAt(uint32_t a, const ListingFormat& format);
// Rebuilds Listing and ListingRowMap from CodeMemory, 0000h through ProgramEnd.
void BuildListing();
void BuildListing(const ListingFormat& format);

// The address that an AJMP or ACALL at `a` reaches.
uint16_t AbsoluteTarget(uint32_t a, uint8_t opcode, uint8_t operand);
// A value in a radix of the options: 0 "00010010b", 1 "18", 2 "12h"; another radix gives "".
std::string FormatNumber(unsigned value, int bits, int radix);
// Four upper-case hexadecimal digits.
std::string Hex4(unsigned value);
