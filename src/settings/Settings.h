// The persisted options (`Settings`) and the settings file corvamat.ini beside the executable.
#pragma once

#include <cstdint>
#include <string>

#include "IniFile.h"
#include "Wiring.h"

// One field per key of the settings file, named by that key.
struct TSettings {
    uint8_t Processor = 1;       // 0 = 8051, 1 = 8052
    int32_t Frequency = 11059200;  // Hz
    uint8_t ScrUpdate = 1;       // refresh every N instructions during a run, 0 = never
    bool RealTime = false;       // pace runs to the controller's real speed
    std::string WorkDir;         // start folder of the file dialogs, with a trailing separator
    uint16_t BinOffset = 0x8000; // origin of binary images, 0 = no relocation
    bool AutoRestart = false;
    bool DelNops = true;
    bool IgnoreChecksum = false;
    uint8_t Digits = 4;
    bool Trigger = true;
    uint8_t LED[8] = {0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6, 0xA7};
    uint8_t Trig[8] = {0x90, 0x91, 0x92, 0x93, 0x94, 0x95, 0x96, 0x97};
    uint8_t Port[9] = {0x80, 0x81, 0x82, 0x83, 0x84, 0x85, 0x86, 0x87, 0xB2};
    bool UseInt = true;
    // The multiplexed 7-segment display: digits by persistence (true) or latched at the select
    // pin's falling edge (false). Missing in a settings file that has an LED section: written
    // before the persistence model existed, so it keeps the edge latch.
    bool Persistence = true;
    // The course hardware, sections LCD, Keypad4x4 and LEDBar.
    LcdWiring LCD;
    Keypad4x4Wiring Keypad4x4;
    LedBarWiring LEDBar;
    bool Optn[4] = {true, true, false, false};
    uint8_t Numbers = 1;    // 0 binary, 1 decimal, 2 hexadecimal
    uint8_t Addresses = 2;  // same coding
    // The serial terminal: the text view (1) or the hexadecimal dump (0) in front, and what the
    // Return key sends (0 CR, 1 LF, 2 CR LF). A settings file without the key is an older
    // user's, who keeps the dump; without any file the text view comes first.
    bool TermText = true;
    uint8_t TermReturn = 0;
    // Instructions the Trace window keeps while coverage and profile are recorded.
    int32_t TraceLength = 100000;
    // [History]: the memory for going back, in megabytes (0 = none); the oldest history goes first.
    uint32_t HistoryMB = 256;
};

extern TSettings Settings;

constexpr int32_t kDefaultFrequency = 11059200;

// The folder of the running executable, with a trailing separator.
std::string ExecutableFolder();
// The full path of corvamat.ini beside the executable.
std::string SettingsFilePath();

// The settings held by an INI text, every missing or unreadable key at its default. `workDir` is
// the default of WorkDir.
TSettings ReadSettings(const IniFile& ini, const std::string& workDir);
// Writes every key into `ini` in the file's section and key order, keeping what else it holds.
void WriteSettings(const TSettings& s, IniFile& ini);

// Reads `path` into Settings; a missing file leaves all defaults (WorkDir = the executable's
// folder).
void LoadSettingsFile(const std::string& path);
// Writes Settings into `path`, keeping unknown keys and sections. On failure returns false and
// leaves the old file as it was.
bool SaveSettingsFile(const std::string& path, std::string* error = nullptr);

// Reads a setting's number the way the settings file does: decimal, or hexadecimal after "0x"/"0X"
// (when longer than two characters) or "$". Anything else is no number.
bool ParseSettingNumber(const std::string& text, int64_t* value);

// "%g" of a double: at most 15 significant digits, no trailing zeros, no needless point.
std::string FormatGeneral(double value, char decimalPoint = '.');
// "8052 @ 11.0592 Mhz": the processor and clock for the status bar.
std::string ProcessorStatusText(const TSettings& s, char decimalPoint = '.');
