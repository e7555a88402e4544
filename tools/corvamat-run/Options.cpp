// corvamat-run's command line: parsing and checking every option, and the --help text.
#include "Options.h"

#include <cerrno>
#include <cstdlib>

#include "Targets.h"

const char* const kHelpText = R"(Usage: corvamat-run [options] PROGRAM

Runs an 8051/8052 program without windows. PROGRAM is an Intel HEX file (.hex, .ihx) or a
binary image (.bin).

Controller and program:
  --cpu 8051|8052        processor variant (default 8052)
  --frequency HZ         clock, 1000000-80000000 Hz (default 11059200); only the reported
                         controller time and the --real-time pace depend on it
  --bin-offset HEX       origin of a binary image, relocated to 0000h (default 8000, 0 = none);
                         a relocation is reported with the number of jump and call targets
                         moved. An image built for 0000h (makebin) needs --bin-offset 0
  --ignore-checksum      accept HEX records with a wrong checksum; without it such a file
                         is refused and the checksum question is printed on standard error
  --ini FILE             read every setting from a settings file of the corvamat.ini format;
                         the flags above override it
  --symbols FILE         the program's symbols from an SDCC .cdb debug file, or the global
                         labels of a linker .map or NoICE .noi file; without it PROGRAM.cdb,
                         PROGRAM.map or PROGRAM.noi beside the program is read if there is one

Running:
  Addresses and values are hexadecimal: 0x1F, 1Fh or 1F. With symbols a name is looked up
  before an address: --break add is the function add, --watch ab the variable ab, where the
  program has them.
  --break ADDR           breakpoint at ADDR (repeatable); the run stops before that
                         instruction, except at the instruction where it started
  --break FUNCTION       with symbols: at the first instruction of a function ("main", or
                         "a.c:tick" where two modules have a static function tick) or a label
  --break FILE:LINE      with a .cdb: at the first instruction of a line of a C file or of an
                         assembler file built with -y (the next line with code when that one
                         has none)
  --max-cycles N         stop after N machine cycles
  --watch ADDR[:SPACE][=VALUE|:changed]
                         data breakpoint (repeatable): the run stops after an instruction
                         that writes ADDR in SPACE, iram (the default; 80-FF is the 8052's
                         upper RAM), sfr, bit or xram; with =VALUE only when that value (a bit:
                         0 or 1) is written, with :changed only when the write changes it. The
                         stop reason is "watch" and the dump's watch_pc holds the writing
                         instruction
  --watch NAME[=VALUE|:changed]
                         with symbols: a write to any byte of a global or static variable,
                         named as the dump names it ("total", "a.c:tick.n"); with =VALUE a
                         write of that byte to its least significant byte
  --real-time            run at the controller's real speed: Frequency / 12 machine cycles
                         per second (also when the settings file sets RealTime)
  The run also ends when the program passes its last address, and when it executes a jump
  to itself (SJMP, AJMP or LJMP) while no interrupt can be taken. MOVX @R0/@R1 address
  external RAM at P2 * 256 + Ri, as the part does.

Input and output:
  --serial-out FILE      bytes the program sends through SBUF (default: standard output)
  --serial-in FILE       bytes delivered to the program's receiver one at a time, as frames
                         would arrive: the receive buffer of SBUF, then RI in SCON (RB8 0).
                         A byte comes no earlier than one frame time after the previous one
                         (8, 10 or 11 bit times in mode 0, 1, 2/3 at the baud rate the timers
                         and PCON give), and only when REN = 1, RI = 0 and the program has
                         read SBUF since the previous one, so a slow program loses nothing;
                         with no running baud-rate timer the next byte waits
  --dump FILE            the final state as JSON: stop, pc, cycles, instructions, sbuf_rx
                         (the receive buffer), iram (384 bytes), xram (65536 bytes), the
                         memories as hexadecimal digits, call_stack (the calls and
                         interrupts not yet returned from, outermost first); with symbols also
                         variables: every global and static variable by name with its value
                         (numbers, arrays, objects for structures, pointers as text, null where
                         a value has no storage)
  --trace FILE           one line per instruction: address, bytes, text, A, PSW, SP, DPTR
                         and the machine cycles counted when the instruction has run
  --vcd FILE             the signals as a VCD file (GTKWave opens it), written at the end of
                         the run: the 32 port pins, or those of --signals; times in ns of
                         controller time at the clock frequency. It holds the last 1048576
                         changes (a note says when older ones were dropped)
  --signals LIST         the signals of --vcd, comma-separated, named as in the Logic Analyzer
                         window: P1.3 (a pin), P1 (a port's pins), TF0 (an SFR bit), TL0 (an
                         SFR byte), D7:bit, 30:iram, 1234:xram, or a variable with symbols
  --stats                instructions, machine cycles, host seconds, cycles per second and
                         the controller time on standard error
  --listing              print the disassembly (address, instruction, bytes; tab-separated)
                         and exit; with symbols the operands show names, and a fourth column
                         the label that starts at the row. With --coverage or --profile the
                         program runs first and a last column holds how often each row's
                         instruction started
  --coverage FILE        an lcov tracefile of the run (needs the program's .cdb): per C file
                         the functions with their calls, the lines with the executions of
                         their first instruction and every conditional jump taken and not
                         taken; genhtml and lcov --summary read it
  --profile FILE         a callgrind profile of the run (events Cycles and Instructions) per
                         function with calls and inclusive cost; with a .cdb by C line,
                         otherwise by instruction address, functions named sub_XXXX and
                         int_XXXX; callgrind_annotate and KCachegrind read it
  --export FILE          write the disassembly as assembler source and exit (with symbols,
                         labelled with the program's names)
  -q, --quiet            no notes on standard error: neither the stop line nor the notes on
                         relocated or dropped bytes (errors are still reported)
  --help                 this text

Debugging from an editor:
  --dap                  serve the Debug Adapter Protocol on standard input and output, for
                         VS Code (editors/vscode) and other editors; no other option goes with
                         it: the editor's launch request names the program and its settings

FILE may be - for standard output (--serial-out, --trace, --dump, --vcd, --export,
--coverage, --profile). Every output file is opened before the program runs; one that cannot be opened is
a usage error. --dump and --export replace a regular file only once the new one is written
whole; a FILE that exists and is not a regular file (a device such as /dev/null, a FIFO,
/dev/stdout) is written directly, never replaced. A write that fails (a full disk) is reported with the file and the reason.
When the run ends, one line on standard error says why, where and when, e.g.
  corvamat-run: end of program at 0000h after 70522 machine cycles
with "end of program", "breakpoint", "watch", "idle jump", "cycle limit" or "interrupted".
--coverage and --profile are written however the run ends, SIGTERM included.

Exit status: 0 after the end, a breakpoint, a watch or an idle jump; 1 after --max-cycles; 2 when
the program cannot be loaded; 64 for a usage error (a value that cannot be used, an output file
that cannot be opened, an input file that cannot be read, among them); 74 when an output could
not be written (the serial output, trace, dump, listing or export); 130 after SIGINT or SIGTERM
(the dump and the serial output are still written).
)";
namespace {

// A whole unsigned number in `base` (16 also takes a 0x prefix); no sign, no blanks.
bool ParseUnsigned(const std::string& s, int base, uint64_t* v) {
    if (s.empty() || !std::isalnum(static_cast<unsigned char>(s[0]))) return false;
    char* end = nullptr;
    errno = 0;
    unsigned long long x = std::strtoull(s.c_str(), &end, base);
    if (errno || *end) return false;
    *v = x;
    return true;
}

// --break and --watch: resolved once the symbols are read, since a name comes before an address;
// what is wrong whatever the symbols say is refused now.
Status ParseBreakOption(const std::string& text, Options* o) {
    if (std::string error = CodeTargetFormError(text); !error.empty())
        return UsageFailure("--break " + text + ": " + error);
    o->stops.breakNames.push_back(text);
    return {};
}

Status ParseWatchOption(const std::string& text, Options* o) {
    if (std::string error = DataTargetFormError(text); !error.empty())
        return UsageFailure("--watch " + text + ": " + error);
    o->stops.watchNames.push_back(text);
    return {};
}

}  // namespace

Result<Options> ParseOptions(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        // The option's value; `missing` is set when the arguments end first.
        bool missing = false;
        auto value = [&]() -> std::string {
            if (i + 1 >= argc) {
                missing = true;
                return {};
            }
            return argv[++i];
        };
        Status bad;
        // A file's name; an empty one would silently mean "none".
        auto path = [&]() -> std::string {
            std::string v = value();
            if (!missing && v.empty()) bad = UsageFailure(a + " needs a file name");
            return v;
        };
        if (a == "--help" || a == "-h") {
            o.help = true;
            return o;
        } else if (a == "--dap") {
            if (argc != 2) return UsageFailure("--dap takes no other options: the editor's launch request names the program");
            o.dap = true;
            return o;
        } else if (a == "--cpu") {
            const std::string v = value();
            if (v == "8051" || v == "8052") o.settings.processor = v == "8052" ? 1 : 0;
            else bad = UsageFailure("--cpu takes 8051 or 8052");
        } else if (a == "--frequency") {
            uint64_t f = 0;
            if (ParseUnsigned(value(), 10, &f) && f >= 1000000 && f <= 80000000) o.settings.frequency = int32_t(f);
            else bad = UsageFailure("--frequency takes 1000000 to 80000000 Hz");
        } else if (a == "--bin-offset") {
            uint64_t v = 0;
            if (ParseUnsigned(value(), 16, &v) && v <= 0xFFFF) o.settings.binOffset = uint16_t(v);
            else bad = UsageFailure("--bin-offset takes a hexadecimal address 0-FFFF");
        } else if (a == "--ignore-checksum") {
            o.settings.ignoreChecksum = true;
        } else if (a == "--ini") {
            o.settings.iniFile = path();
        } else if (a == "--symbols") {
            o.symbols = path();
        } else if (a == "--break") {
            const std::string v = value();
            if (!missing) bad = ParseBreakOption(v, &o);
        } else if (a == "--watch") {
            const std::string v = value();
            if (!missing) bad = ParseWatchOption(v, &o);
        } else if (a == "--max-cycles") {
            if (!ParseUnsigned(value(), 10, &o.stops.maxCycles)) bad = UsageFailure("--max-cycles takes a number");
        } else if (a == "--real-time") {
            o.realTime = true;
        } else if (a == "--serial-out") {
            o.serialOut = path();
        } else if (a == "--serial-in") {
            o.serialIn = path();
        } else if (a == "--dump") {
            o.dump = path();
        } else if (a == "--trace") {
            o.trace = path();
        } else if (a == "--vcd") {
            o.vcd = path();
        } else if (a == "--signals") {
            o.signals = value();
            if (!missing && o.signals.empty()) bad = UsageFailure("--signals needs a list of signals");
        } else if (a == "--stats") {
            o.stats = true;
        } else if (a == "--listing") {
            o.listing = true;
        } else if (a == "--coverage") {
            o.coverage = path();
        } else if (a == "--profile") {
            o.profile = path();
        } else if (a == "--export") {
            o.exportFile = path();
        } else if (a == "-q" || a == "--quiet") {
            o.quiet = true;
        } else if (!a.empty() && a[0] == '-' && a != "-") {
            bad = UsageFailure("unknown option " + a);
        } else if (o.program.empty()) {
            o.program = a;
        } else {
            bad = UsageFailure("only one PROGRAM may be given");
        }
        if (missing) return UsageFailure(a + " needs a value");
        if (bad) return *bad;
    }
    if (o.program.empty()) return UsageFailure("no PROGRAM given");
    if (!o.signals.empty() && o.vcd.empty()) return UsageFailure("--signals needs --vcd FILE");
    return o;
}
