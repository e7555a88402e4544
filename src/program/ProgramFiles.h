// Program loaders: Intel HEX and raw binary images into code memory, with relocation of binaries.
#pragma once

#include <cstdint>
#include <string>

// The path of the loaded program, empty when none is loaded.
extern std::string ProgramFileName;
// The program end recorded by the last completed load (ProgramEnd before DelNops applies).
extern int32_t LoadedProgramEnd;

// How a loader talks to the user. The main window shows these in message boxes; the headless
// runner prints them.
class LoadReporter {
public:
    virtual ~LoadReporter() = default;
    // A refusal or failure: the format message, a conversion message or an I/O message.
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
// extension loads nothing and reports nothing.
bool LoadProgramFile(const std::string& path, LoadReporter& reporter);

// Moves the targets of AJMP/ACALL and LJMP/LCALL in all of code memory from a program built for
// `offset` to 0000h.
void RelocateCode(uint16_t offset);
