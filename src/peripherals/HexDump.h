// The serial terminal's dump: 16 bytes a line as hexadecimal digits and characters.
#pragma once

#include <cstdint>
#include <string>

// The empty line: 48 blanks, a vertical bar and a blank.
extern const std::string HexDumpLineTemplate;

// Where the byte goes when it is appended to a dump whose last line is `lastLine` (no line at all
// when `hasLine` is false): whether a new template line comes first, the position k of the byte
// within its line, the two digits and the character.
struct HexDumpPlacement {
    bool newLine;
    int k;
    char digits[2];
    char character;
};
HexDumpPlacement PlaceHexDumpByte(bool hasLine, const std::string& lastLine, uint8_t byte);
// Appends a byte to a plain-text dump (lines separated by "\n").
void AppendHexDumpByte(std::string& dump, uint8_t byte);
