// Decoding a variable's bytes by its C type, as SDCC stores them for the 8051: little-endian
// integers, IEEE single-precision floats, 3-byte generic pointers (address, then a tag byte for
// the memory), 1- and 2-byte memory-specific pointers, bits in the bit-addressable area.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "Expected.h"
#include "Symbols.h"

// What the decoder reads the controller's memories through. Reads must have no side effects.
class TargetMemory {
public:
    virtual ~TargetMemory() = default;
    // Direct addressing: internal RAM below 80h, the SFRs from 80h.
    virtual uint8_t Data(uint8_t address) = 0;
    // Indirect addressing: internal RAM, the upper 128 bytes included on an 8052.
    virtual uint8_t Idata(uint8_t address) = 0;
    virtual uint8_t Xdata(uint16_t address) = 0;
    virtual uint8_t Code(uint16_t address) = 0;
    // R0-R7 of the bank that PSW selects.
    virtual uint8_t Register(unsigned n) { return Idata(uint8_t((Data(0xD0) & 0x18) + (n & 7))); }
    // A bit address: 00h-7Fh in 20h-2Fh, from 80h the bits of SFRs at multiples of 8.
    bool Bit(uint8_t address) {
        uint8_t byte = address < 0x80 ? uint8_t(0x20 + address / 8) : uint8_t(address & 0xF8);
        return (Data(byte) >> (address & 7)) & 1;
    }
};

// A decoded value: the text a window shows, the same as JSON, and the parts of a structure or
// array (each with its member name or "[i]").
struct DecodedValue {
    std::string name;
    std::string type;
    std::string text;
    std::string json;
    std::vector<DecodedValue> children;
    bool available = true;  // false: no storage now (optimised away, address unknown)
};

// Where a variable's bytes are, resolved for the current machine state.
struct ValueLocation {
    enum Kind { Data, Idata, Xdata, Code, Bit, Registers, None } kind = None;
    uint32_t address = 0;
    std::vector<unsigned> registers;
};

// The variable's location now: stack variables from the frame pointer `_bp` (found in `table`),
// registers in the current bank.
ValueLocation LocateSymbol(const Symbol& s, const SymbolTable& table, TargetMemory& memory);
DecodedValue DecodeSymbol(const Symbol& s, const SymbolTable& table, TargetMemory& memory);
// The bytes of an object of `size` bytes at `location` (registers least significant first).
std::vector<uint8_t> ReadBytes(const ValueLocation& location, uint32_t size, TargetMemory& memory);
// Decodes `bytes` of type `type` (declared in `module`, for structure lookups).
DecodedValue DecodeBytes(const CType& type, const std::vector<uint8_t>& bytes, const SymbolTable& table,
                         const std::string& module);

// Encodes a scalar edited as text ("42", "-3", "0x2A", "'a'", "1.5", "true") into its bytes.
// Returns nullopt with *error set when the text does not fit the type.
std::optional<std::vector<uint8_t>> EncodeScalar(const CType& type, const std::string& text, std::string* error);

// One store that writing a variable makes: a byte, or one bit of the bit-addressable space.
struct VariableStore {
    enum Kind : uint8_t {
        Direct,    // direct address: RAM 00h-7Fh, SFRs 80h-FFh
        Indirect,  // internal RAM as @Ri reaches it (80h-FFh: the 8052's upper RAM)
        External,  // external RAM 0000h-FFFFh
        Bit,       // bit address 00h-FFh; value 0 or 1
    };
    Kind kind = Direct;
    uint16_t address = 0;
    uint8_t value = 0;
    bool operator==(const VariableStore&) const = default;
};

// The stores that write the number `text` into the variable `s` as its type encodes it:
// integers of every size, floats, bools, bits, bit fields (the field's bytes with the other bits
// as `memory` holds them now), registers of the bank PSW selects now, stack variables from _bp.
// A failure says why ("300 is out of range (0 to 255)", "greeting lies in code memory, ...").
// The caller makes the stores, through the store routines or the machine's input queue.
Expected<std::vector<VariableStore>> EncodeVariableValue(const Symbol& s, const SymbolTable& table,
                                                       TargetMemory& memory, const std::string& text);
