// The per-program session file (PROGRAM.corvamat-session): breakpoints, source folders, the Watch
// window's open rows, the Logic Analyzer's signals and the windows' places as plain data, with its
// JSON reader and writer.
//
// The file is our own JSON format:
//
//   {
//     "corvamat-session": 1,
//     "program": "/home/ann/blink/main.ihx",
//     "breakpoints": [ {"file": "main.c", "line": 12}, {"function": "square", "enabled": false},
//                      {"address": "0123h"} ],
//     "dataBreakpoints": [ {"variable": "total", "stop": "changes"},
//                          {"memory": "xram", "address": "1234h", "stop": "equals", "value": "55h"} ],
//     "sourceFolders": [ "/home/ann/blink/src" ],
//     "watchExpanded": [ "origin", "origin/inner" ],
//     "logicSignals": [ "P1.0", "TL0", "total" ],
//     "windows": [ {"window": "Disassembly", "x": 0, "y": 0, "width": 400, "height": 300,
//                   "state": "normal"} ]
//   }
//
// Reading keeps what it understands: an entry with a missing or wrong field is left out and named
// in the result's problems, unknown keys are ignored. Only text that is no JSON object at all (or
// names another format) fails as a whole.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// A code breakpoint by C line (file and line), by routine (function) or by address; exactly one
// of the three is set.
struct SessionCodeBreakpoint {
    std::string file;
    uint32_t line = 0;
    std::string function;
    int32_t address = -1;  // 0000h-FFFFh, -1 when the breakpoint is kept by name
    bool enabled = true;
    bool operator==(const SessionCodeBreakpoint&) const = default;
};

// A data breakpoint on a variable by name, or on an address of a memory ("iram", "sfr", "bit",
// "xram"). `stop` is "write" (any write), "equals" (a write of `value`) or "changes".
struct SessionDataBreakpoint {
    std::string variable;
    std::string memory = "iram";
    uint16_t address = 0;
    std::string stop = "write";
    uint8_t value = 0;
    bool enabled = true;
    bool operator==(const SessionDataBreakpoint&) const = default;
};

// A child window by its name ("Disassembly", "Watch", ...) with its normal geometry and state
// ("normal", "minimized", "maximized").
struct SessionWindow {
    std::string window;
    int x = 0, y = 0, width = 0, height = 0;
    std::string state = "normal";
    bool operator==(const SessionWindow&) const = default;
};

struct ProgramSession {
    std::string program;  // the program's full path when the session was written
    std::vector<SessionCodeBreakpoint> breakpoints;
    std::vector<SessionDataBreakpoint> dataBreakpoints;
    std::vector<std::string> sourceFolders;  // folders found with "Locate..."
    std::vector<std::string> watchExpanded;  // row paths of the Watch window's expanded rows
    std::vector<std::string> logicSignals;   // the Logic Analyzer's signals by name, top first
    std::vector<SessionWindow> windows;      // bottom of the stacking order first
    bool operator==(const ProgramSession&) const = default;
};

struct SessionReadResult {
    bool ok = false;
    std::string error;                  // why the whole text was refused
    ProgramSession session;
    std::vector<std::string> problems;  // entries left out, one text each
};

// The largest session file read; anything longer is refused.
constexpr size_t kMaxSessionFileSize = 1 << 20;

SessionReadResult ReadSessionText(const std::string& text);
std::string SessionText(const ProgramSession& session);

// The session file beside a program: its path with the extension replaced ("main.ihx" ->
// "main.corvamat-session").
std::string SessionPathBeside(const std::string& programPath);
// The session file of a program whose folder cannot be written: under `configFolder`, in
// "sessions/", named by the program's file name and a hash of its full path.
std::string SessionPathInConfig(const std::string& programPath, const std::string& configFolder);
// The user's configuration folder for Corvamat: $XDG_CONFIG_HOME/corvamat, else
// $HOME/.config/corvamat ("" when neither is set).
std::string DefaultConfigFolder();

// Where a program's session is read from: beside the program when a file is there, else the one
// under `configFolder` when that exists, else "" (no session yet).
std::string FindSessionFile(const std::string& programPath, const std::string& configFolder);
// Where it is written: beside the program when its folder can be written, else under
// `configFolder` ("" when there is none).
std::string SessionWritePath(const std::string& programPath, const std::string& configFolder);

// Reads a session file. A missing file gives ok with an empty session and *missing = true.
SessionReadResult LoadSessionFile(const std::string& path, bool* missing = nullptr);
// Writes the session atomically (creating the folders of a path under the configuration folder).
bool SaveSessionFile(const std::string& path, const ProgramSession& session, std::string* error);
