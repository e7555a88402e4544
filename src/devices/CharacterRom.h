// The HD44780's A00 character ROM: the 5x8 dots of each character code and what it reads as.
#pragma once

#include <array>
#include <cstdint>
#include <string>

// Rows 1-8 of a code's dots, bit 4 = the leftmost dot; no dots for codes the table leaves empty.
std::array<uint8_t, 8> RomGlyph(uint8_t code);
// The Unicode character a code draws (ASCII for 20h-7Dh but 5Ch, the yen sign; arrows for 7Eh
// and 7Fh; half-width katakana for A1h-DFh; Greek letters and symbols for E0h-FFh; a blank for
// the empty codes).
uint32_t RomCharacter(uint8_t code);
std::string RomCharacterUtf8(uint8_t code);
