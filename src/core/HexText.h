// The one way Corvamat writes hexadecimal numbers in its own texts (messages, notes, the
// debugger's lists, data breakpoint texts): upper-case digits, and in the "h" notation the
// assembler's rule that a number never starts with a letter, so a 0 goes in front of A-F
// ("3Ah", "0A5h", "0123h", "0F000h"). The disassembly listing and the export follow the
// disassembler's own options instead.
#pragma once

#include <string>

// `value` as exactly `digits` upper-case hexadecimal digits (the low ones): HexDigits(0x3A, 4)
// is "003A".
inline std::string HexDigits(unsigned value, int digits) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string s(size_t(digits), '0');
    for (int i = digits - 1; i >= 0; --i, value >>= 4) s[size_t(i)] = kDigits[value & 15];
    return s;
}

// `digits` hexadecimal digits and "h", with a leading 0 when the first digit is a letter.
inline std::string HexText(unsigned value, int digits) {
    std::string s = HexDigits(value, digits);
    return (s[0] > '9' ? "0" : "") + s + "h";
}

// A byte: "3Ah", "0A5h".
inline std::string HexByteText(unsigned value) { return HexText(value & 0xFF, 2); }
// A 16-bit address: "0123h", "0F000h".
inline std::string HexAddressText(unsigned value) { return HexText(value & 0xFFFF, 4); }
