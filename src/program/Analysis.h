// What the execution recorder's counts mean for a program: its functions with self and inclusive
// cycles, per-row coverage marks, and the lcov tracefile and callgrind profile writers.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Recorder.h"
#include "Symbols.h"

// One function of the profile. With symbols the .cdb functions by their unique names (and the
// .map's code labels); otherwise every call target "sub_XXXX" and every interrupt vector entered "int_XXXX". A
// function owns every address from its start up to the next function's start.
struct ProfiledFunction {
    std::string name;
    uint16_t start = 0, end = 0;  // first and last address owned
    std::string file;             // the C file of its first line record ("" when none)
    uint32_t line = 0;
    uint64_t calls = 0;           // calls and interrupt entries of its start (or its first
                                  // instruction's starts when nothing called it)
    uint64_t selfCycles = 0, selfInstructions = 0;
    uint64_t cycles = 0, instructions = 0;  // with callees
};

struct ExecutionProfile {
    std::vector<ProfiledFunction> functions;  // ascending by start
    uint64_t totalCycles = 0, totalInstructions = 0;
    // Index into functions of the function that owns `address` (-1 before the first).
    int FunctionAt(uint16_t address) const;
};

// The program's functions with what the recorder counted. `symbols` may be null.
ExecutionProfile BuildProfile(const ExecutionRecorder& recorder, const SymbolTable* symbols,
                              int32_t programEnd);

// How an instruction ran, as the listing and the Source window mark it.
enum class CoverageMark : uint8_t {
    None,      // nothing recorded yet (recording off or cleared)
    Never,     // never executed
    Executed,  // executed (a conditional jump: both ways)
    OneWay,    // a conditional jump that went only one way
};
CoverageMark MarkOf(const ExecutionRecorder& recorder, uint16_t address);
// The tool-tip text of an instruction's counts: "Executed 12 times, 30 machine cycles" and for a
// conditional jump ", jumped 4 times, fell through 8 times".
std::string CoverageText(const ExecutionRecorder& recorder, uint16_t address);

// The instructions of each C line with code: every address from each of its line records up to
// the next record (or the end of the function), first record first.
struct LineCode {
    std::string file;  // as the line records name it
    uint32_t line = 0;
    std::vector<uint16_t> instructions;
};
std::vector<LineCode> LineInstructions(const SymbolTable& symbols);
// The mark of a C line: Never unless one of its instructions ran, OneWay when one of its
// conditional jumps went one way only.
CoverageMark LineMark(const ExecutionRecorder& recorder, const LineCode& line);

// An lcov tracefile: SF/FN/FNDA/DA/BRDA per C file of the symbols. Source paths are made absolute
// from the .cdb's folder.
std::string LcovText(const ExecutionRecorder& recorder, const SymbolTable& symbols,
                     int32_t programEnd);
// A callgrind profile (events Cycles and Instructions); `command` names the run.
std::string CallgrindText(const ExecutionRecorder& recorder, const SymbolTable* symbols,
                          int32_t programEnd, const std::string& command);
