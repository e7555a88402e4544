// Board files: the wiring of every virtual device of one exercise in one small INI file, and the
// same sections in corvamat.ini.
//
//   [LCD]        Data=P0 RS=P2.0 RW=P2.1 E=P2.2 Bits=8 Columns=16 Lines=2 Color=Green
//   [Keypad4x4]  Rows=P1.0,P1.1,P1.2,P1.3 Columns=P1.4,P1.5,P1.6,P1.7
//   [LEDBar]     Port=P1 ActiveLow=1
//   [LED]        the 7-segment display's keys of corvamat.ini (Digits, Trigger, LED0-7, Trig0-7)
//                and Persistence
//   [Keys]       the 4x2 keypad's keys of corvamat.ini (Port0-8, UseInt)
//
// Keys and values are read without regard to case; a pin is written "P2.0" (the 7-segment and 4x2
// keypad sections also take the bit address as a number, as corvamat.ini stores it). Every section
// is optional: a board has exactly the devices whose sections its file holds. A missing key takes
// its default.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "IniFile.h"
#include "Settings.h"
#include "Wiring.h"

struct SevenSegmentBoard {
    uint8_t Digits = 4;
    bool Trigger = true;
    uint8_t LED[8] = {0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6, 0xA7};
    uint8_t Trig[8] = {0x90, 0x91, 0x92, 0x93, 0x94, 0x95, 0x96, 0x97};
    bool Persistence = true;
};

struct Keypad4x2Board {
    uint8_t Port[9] = {0x80, 0x81, 0x82, 0x83, 0x84, 0x85, 0x86, 0x87, 0xB2};
    bool UseInt = true;
};

struct Board {
    std::optional<LcdWiring> LCD;
    std::optional<Keypad4x4Wiring> Keypad4x4;
    std::optional<LedBarWiring> LEDBar;
    std::optional<SevenSegmentBoard> LED;
    std::optional<Keypad4x2Board> Keys;
};

// Reads a board from INI text. A value that is not what its key takes is an error: every such
// value is named in `errors` ("[LCD] RS=P2.9: not a port pin (P0.0 to P3.7)") and the result is
// false; the board is then not to be used.
bool ReadBoard(const IniFile& ini, Board* board, std::vector<std::string>* errors);
// Writes the board's sections and removes the device sections it does not have; everything else
// in `ini` stays.
void WriteBoard(const Board& board, IniFile& ini);

// Reads a board file; on failure `error` holds the message to show (the file's name and every
// wrong value, or why it could not be read).
bool LoadBoardFile(const std::string& path, Board* board, std::string* error);
// Writes a board file, keeping comments and unknown sections of an existing one; replaced safely.
bool SaveBoardFile(const std::string& path, const Board& board, std::string* error);

// The 7-segment display's and the 4x2 keypad's settings as board sections, and back.
SevenSegmentBoard SevenSegmentOf(const TSettings& s);
Keypad4x2Board Keypad4x2Of(const TSettings& s);
// Puts a board's wiring into the settings; devices the board does not have keep theirs.
void ApplyBoard(const Board& board, TSettings* s);

// Why a wiring cannot work (pins used twice, a control pin among the data lines), empty when it
// can.
std::string LcdWiringProblem(const LcdWiring& w);
std::string Keypad4x4WiringProblem(const Keypad4x4Wiring& w);

// The new devices' sections of corvamat.ini (LCD, Keypad4x4, LEDBar): read leniently, as the
// settings file is (a wrong value takes its default; a section whose pins collide takes the
// defaults), and written as a board file writes them.
void ReadDeviceSettings(const IniFile& ini, TSettings* s);
void WriteDeviceSettings(const TSettings& s, IniFile& ini);
