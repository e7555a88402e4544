// corvamat-run's command line: the options as parsed and checked, before any file is touched.
#pragma once

#include <string>

#include "Result.h"
#include "Session.h"

struct Options {
    std::string program;
    SettingsChoice settings;  // --ini, --cpu, --frequency, --bin-offset, --ignore-checksum
    std::string symbols;
    StopPlan stops;           // --break, --watch, --max-cycles
    bool realTime = false;
    // Files; "-" is standard output.
    std::string serialIn, serialOut, dump, trace, exportFile, vcd;
    std::string signals;  // --signals: the signals of --vcd (the 32 port pins when empty)
    // Written at the end of every run: an lcov tracefile (needs a .cdb) and a callgrind profile.
    std::string coverage, profile;
    bool stats = false, listing = false, quiet = false, help = false;
    // Serve the Debug Adapter Protocol on standard input and output (no other option goes with it).
    bool dap = false;
};

// The --help text.
extern const char* const kHelpText;

// Parses and checks the arguments. With --help the result has `help` set and nothing else
// needs to be valid.
Result<Options> ParseOptions(int argc, char** argv);
