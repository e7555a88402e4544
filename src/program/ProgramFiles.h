// Program loaders: Intel HEX and raw binary images into code memory, with relocation of binaries.
#pragma once

#include <cstdint>
#include <string>

// The path of the loaded program, empty when none is loaded.
extern std::string ProgramFileName;
// The program end recorded by the last completed load (ProgramEnd before DelNops applies).
extern int32_t LoadedProgramEnd;

// What the last load did besides copying bytes, for a caller that wants to tell the user.
struct LoadSummary {
    // Bytes of the file that would lie past FFFFh (the end of an image longer than 64 KB, the
    // tail of a HEX record) and were dropped.
    uint32_t DroppedBytes = 0;
    // A binary image relocated from Offset to 0000h; MovedTargets counts the jump and call
    // instructions whose target changed.
    bool Relocated = false;
    uint16_t Offset = 0;
    uint32_t MovedTargets = 0;
};
extern LoadSummary LastLoadSummary;

// How a loader talks to the user. The main window shows these in message boxes; the headless
// runner prints them.
class LoadReporter {
public:
    virtual ~LoadReporter() = default;
    // A refusal or failure: the format message, a conversion message followed by " (line N)", or
    // an I/O message naming the file and the system's reason (" (line N)" when one is known).
    virtual void ShowError(const std::string& message) = 0;
    // The checksum question; true = Yes (accept the record and go on).
    virtual bool AskYesNo(const std::string& question) = 0;
};

// Reads an Intel HEX file into CodeMemory and sets ProgramEnd. Uses Settings.IgnoreChecksum and
// Settings.DelNops. Returns true when the program is loaded; on any failure code memory,
// breakpoints and interrupt levels are left cleared.
bool LoadHexFile(const std::string& path, LoadReporter& reporter);
// Reads a binary image of up to 64 KB into CodeMemory from 0000h, sets ProgramEnd (bytes - 1) and
// relocates absolute jumps and calls by Settings.BinOffset.
bool LoadBinaryFile(const std::string& path, LoadReporter& reporter);
// Picks the reader by extension (.HEX and .IHX: Intel HEX, .BIN: binary, any case). Another
// extension loads nothing and reports why (the path, then "not a .hex, .ihx or .bin file.").
bool LoadProgramFile(const std::string& path, LoadReporter& reporter);

// Moves the targets of AJMP/ACALL and LJMP/LCALL in code memory from a program built for `offset`
// to 0000h, for the instructions that start at or before `last` (past the loaded image memory is
// cleared, and NOP has no target). Returns how many targets changed.
uint32_t RelocateCode(uint16_t offset, uint32_t last = 0xFFFF);
