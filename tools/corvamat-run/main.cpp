// corvamat-run: loads an 8051/8052 program and runs it without windows, for scripts and CI.
#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "Code.h"
#include "Debugger.h"
#include "Disassembler.h"
#include "Export.h"
#include "ProgramFiles.h"
#include "ProgramSymbols.h"
#include "RunThreads.h"
#include "SafeFile.h"
#include "Settings.h"
#include "SignalNames.h"

namespace {

constexpr int kExitOk = 0, kExitMaxCycles = 1, kExitLoad = 2, kExitUsage = 64,
              kExitInterrupted = 130;

const char* const kHelp = R"(Usage: corvamat-run [options] PROGRAM

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
  --break ADDR           breakpoint at hexadecimal ADDR (repeatable); the run stops before
                         that instruction, except at the instruction where it started
  --break FUNCTION       with symbols: at the first instruction of a function (a name that is
                         also a hexadecimal number is an address; write it as _NAME)
  --break FILE.c:LINE    with a .cdb: at the first instruction of a C line (the next line
                         with code when that one has none)
  --max-cycles N         stop after N machine cycles
  --watch ADDR[:SPACE][=VALUE]
                         data breakpoint (repeatable): the run stops after an instruction
                         that writes hexadecimal ADDR in SPACE, iram (the default; 80-FF is
                         the 8052's upper RAM), sfr, bit or xram; with =VALUE only when that
                         hexadecimal value (a bit: 0 or 1) is written. The stop reason is
                         "watch" and the dump's watch_pc holds the writing instruction
  --watch NAME[=VALUE]   with symbols: a write to any byte of a global or static variable;
                         with =VALUE a write of that hexadecimal byte to its least
                         significant byte
  --real-time            run at the controller's real speed: Frequency / 12 machine cycles
                         per second (also when the settings file sets RealTime)
  The run also ends when the program passes its last address, and when it executes a jump
  to itself (SJMP, AJMP or LJMP) while no interrupt can be taken. MOVX @R0/@R1 address
  external RAM at P2 * 256 + Ri, as the part does.

Input and output:
  --serial-out FILE      bytes the program sends through SBUF (default: standard output)
  --serial-in FILE       bytes delivered to the program's receiver one at a time, as frames
                         would arrive: the receive buffer of SBUF, then RI in SCON (RB8 0).
                         The next byte comes only when REN = 1, RI = 0 and the program has
                         read SBUF since the previous one, so a slow program loses nothing
  --dump FILE            the final state as JSON: stop, pc, cycles, instructions, sbuf_rx
                         (the receive buffer), iram (384 bytes), xram (65536 bytes), the
                         memories as hexadecimal digits, call_stack (the calls and
                         interrupts not yet returned from, outermost first); with symbols also
                         variables: every global and static variable by name with its value
                         (numbers, arrays, objects for structures, pointers as text, null where
                         a value has no storage)
  --trace FILE           one line per instruction: address, bytes, text, A, PSW, SP, DPTR
                         and the machine cycles counted when the instruction has run
  --vcd FILE             the signals as a VCD file (GTKWave opens it), written at the end:
                         the 32 port pins, or those of --signals; times in ns of controller
                         time at the clock frequency. It holds the last 1048576 changes
  --signals LIST         the signals of --vcd, comma-separated, named as in the Logic Analyzer
                         window: P1.3 (a pin), P1 (a port's pins), TF0 (an SFR bit), TL0 (an
                         SFR byte), D7:bit, 30:iram, 1234:xram, or a variable with symbols
  --stats                instructions, machine cycles, host seconds, cycles per second and
                         the controller time on standard error
  --listing              print the disassembly (address, instruction, bytes; tab-separated)
                         and exit; with symbols the operands show names, and a fourth column
                         the label that starts at the row
  --export FILE          write the disassembly as assembler source and exit (with symbols,
                         labelled with the program's names)
  -q, --quiet            no notes on standard error: neither the stop line nor the notes on
                         relocated or dropped bytes (errors are still reported)
  --help                 this text

Every output file is opened before the program runs; one that cannot be written is a usage
error. When the run ends, one line on standard error says why, where and when, e.g.
  corvamat-run: end of program at 0000h after 70522 machine cycles
with "end of program", "breakpoint", "watch", "idle jump", "cycle limit" or "interrupted".

Exit status: 0 after the end, a breakpoint, a watch or an idle jump; 1 after --max-cycles; 2 when the
program cannot be loaded; 64 for a usage error (an output file that cannot be written, an input
file that cannot be read, among them); 130 after SIGINT or SIGTERM (the dump and the serial
output are still written).
)";

struct Options {
    std::string program, ini, serialOut, serialIn, dump, trace, exportFile, symbols, vcd, signals;
    std::string cpu, frequency, binOffset;
    bool ignoreChecksum = false, stats = false, listing = false, quiet = false, realTime = false;
    std::vector<uint16_t> breaks;
    std::vector<std::string> breakNames;  // functions and FILE:LINE, resolved once symbols are read
    std::vector<DataBreakpoint> watches;
    std::vector<std::string> watchNames;  // variables, resolved once symbols are read
    uint64_t maxCycles = UINT64_MAX;
};

[[noreturn]] void UsageError(const std::string& message) {
    std::cerr << "corvamat-run: " << message << "\nTry 'corvamat-run --help'.\n";
    std::exit(kExitUsage);
}

// A note on standard error, left out with --quiet.
void Note(const Options& o, const std::string& text) {
    if (!o.quiet) std::cerr << "corvamat-run: " << text << "\n";
}

bool ParseUnsigned(const std::string& s, int base, uint64_t* v) {
    if (s.empty()) return false;
    char* end = nullptr;
    errno = 0;
    unsigned long long x = std::strtoull(s.c_str(), &end, base);
    if (errno || *end || s[0] == '-') return false;
    *v = x;
    return true;
}

// A C identifier, or FILE:LINE.
bool IsBreakName(const std::string& s) {
    auto colon = s.rfind(':');
    if (colon != std::string::npos) {
        uint64_t line;
        return colon > 0 && ParseUnsigned(s.substr(colon + 1), 10, &line) && line > 0;
    }
    if (s.empty() || std::isdigit(static_cast<unsigned char>(s[0]))) return false;
    return std::all_of(s.begin(), s.end(), [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; });
}

void ParseWatchOption(const std::string& text, Options* o) {
    DataBreakpoint b;
    std::string error;
    if (ParseWatchText(text, &b, &error)) {
        o->watches.push_back(b);
        return;
    }
    // A variable's name: its address and memory come from the symbols.
    const std::string name = text.substr(0, text.find('='));
    if (IsBreakName(name) && name.find(':') == std::string::npos)
        o->watchNames.push_back(text);
    else
        UsageError("--watch " + text + ": " + error);
}

Options ParseArguments(int argc, char** argv) {
    Options o;
    auto value = [&](int& i) -> std::string {
        if (i + 1 >= argc) UsageError(std::string(argv[i]) + " needs a value");
        return argv[++i];
    };
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--help" || a == "-h") {
            std::cout << kHelp;
            std::exit(kExitOk);
        } else if (a == "--cpu") {
            o.cpu = value(i);
            if (o.cpu != "8051" && o.cpu != "8052") UsageError("--cpu takes 8051 or 8052");
        } else if (a == "--frequency") {
            o.frequency = value(i);
            uint64_t f;
            if (!ParseUnsigned(o.frequency, 10, &f) || f < 1000000 || f > 80000000)
                UsageError("--frequency takes 1000000 to 80000000 Hz");
        } else if (a == "--bin-offset") {
            o.binOffset = value(i);
            uint64_t v;
            if (!ParseUnsigned(o.binOffset, 16, &v) || v > 0xFFFF)
                UsageError("--bin-offset takes a hexadecimal address 0-FFFF");
        } else if (a == "--ignore-checksum") {
            o.ignoreChecksum = true;
        } else if (a == "--ini") {
            o.ini = value(i);
        } else if (a == "--symbols") {
            o.symbols = value(i);
        } else if (a == "--break") {
            uint64_t v;
            std::string s = value(i);
            if (ParseUnsigned(s, 16, &v) && v <= 0xFFFF)
                o.breaks.push_back(uint16_t(v));
            else if (IsBreakName(s))
                o.breakNames.push_back(s);
            else
                UsageError("--break takes a hexadecimal address 0-FFFF, a function or FILE.c:LINE");
        } else if (a == "--watch") {
            ParseWatchOption(value(i), &o);
        } else if (a == "--max-cycles") {
            if (!ParseUnsigned(value(i), 10, &o.maxCycles)) UsageError("--max-cycles takes a number");
        } else if (a == "--real-time") {
            o.realTime = true;
        } else if (a == "--serial-out") {
            o.serialOut = value(i);
        } else if (a == "--serial-in") {
            o.serialIn = value(i);
        } else if (a == "--dump") {
            o.dump = value(i);
        } else if (a == "--vcd") {
            o.vcd = value(i);
        } else if (a == "--signals") {
            o.signals = value(i);
        } else if (a == "--trace") {
            o.trace = value(i);
        } else if (a == "--stats") {
            o.stats = true;
        } else if (a == "--listing") {
            o.listing = true;
        } else if (a == "--export") {
            o.exportFile = value(i);
        } else if (a == "-q" || a == "--quiet") {
            o.quiet = true;
        } else if (!a.empty() && a[0] == '-' && a != "-") {
            UsageError("unknown option " + a);
        } else if (o.program.empty()) {
            o.program = a;
        } else {
            UsageError("only one PROGRAM may be given");
        }
    }
    if (o.program.empty()) UsageError("no PROGRAM given");
    if (!o.signals.empty() && o.vcd.empty()) UsageError("--signals needs --vcd FILE");
    return o;
}

// The loaders' messages on standard error, each followed by the program file's name unless it
// already names it (the messages about reading the file do).
class StderrReporter : public LoadReporter {
public:
    explicit StderrReporter(std::string path) : path_(std::move(path)) {}
    void ShowError(const std::string& m) override {
        std::cerr << "corvamat-run: " << m;
        if (m.find(path_) == std::string::npos) std::cerr << " (file " << path_ << ")";
        std::cerr << "\n";
    }
    bool AskYesNo(const std::string& q) override {
        std::cerr << "corvamat-run: " << q << " No (file " << path_
                  << "; use --ignore-checksum to accept)\n";
        return false;
    }

private:
    std::string path_;
};

// Transmitted bytes go to a file or standard output, unbuffered by lines.
class SerialSink : public SerialOutputHook {
public:
    explicit SerialSink(std::FILE* f) : file_(f) {}
    void ByteSent(uint8_t v) override { std::fputc(v, file_); }

private:
    std::FILE* file_;
};

std::string Hex(const uint8_t* bytes, size_t n) {
    static const char* digits = "0123456789ABCDEF";
    std::string s(n * 2, '0');
    for (size_t i = 0; i < n; ++i) {
        s[2 * i] = digits[bytes[i] >> 4];
        s[2 * i + 1] = digits[bytes[i] & 15];
    }
    return s;
}

// An address as the notes write it: "0123h".
std::string AddressText(unsigned v) { return Hex4(v & 0xFFFF) + "h"; }

// The runner's additions to the run loop: cycle limit, serial input, idle jumps and the trace.
class RunnerExtras {
public:
    uint64_t maxCycles = UINT64_MAX;
    std::vector<uint8_t> input;
    size_t inputSize = 0;  // input.size(), once the input is read
    size_t nextInput = 0;
    std::FILE* trace = nullptr;
    ListingFormat format;

    // Call once the fields above are set.
    void Prepare() { checkAt = nextInput < inputSize ? 0 : maxCycles; }

    // One test per instruction: the cycle count reaching checkAt, which is 0 while input waits
    // (every instruction then looks), else the cycle limit.
    bool BeforeStep(uint64_t cycles, StopReason* reason) {
        cyclesBefore = cycles;
        if (cycles >= checkAt) [[unlikely]] return Check(cycles, reason);
        return false;
    }

    bool AfterStep(uint16_t pc, uint16_t executed, StopReason* reason) {
        if (trace) Trace(executed, cyclesBefore + AsmTable[CodeMemory[pc]].Cycles);
        if (ProgramCounter != executed || executed != pc) return false;
        uint8_t op = CodeMemory[executed];
        if (op == 0x80 || op == 0x02 || (op & 0x1F) == 0x01) {
            uint8_t ie = InternalRam[Sfr::IE];
            if (!(ie & 0x80) || !(ie & 0x3F)) {
                *reason = StopReason::Idle;
                return true;
            }
        }
        return false;
    }

private:
    uint64_t cyclesBefore = 0;
    uint64_t checkAt = 0;

    [[gnu::noinline]] bool Check(uint64_t cycles, StopReason* reason) {
        if (cycles >= maxCycles) {
            *reason = StopReason::MaxCycles;
            return true;
        }
        if (nextInput < inputSize) DeliverInput();
        Prepare();
        return false;
    }

    // The next byte arrives once the receiver is on (REN), RI is clear and the program has read
    // the previous byte from SBUF: the file is a sender that never outruns the program.
    [[gnu::noinline]] void DeliverInput() {
        const uint8_t scon = InternalRam[Sfr::SCON];
        if (!(scon & 0x10) || (scon & 0x01) || !SerialReceiveBufferRead) return;
        ReceiveSerialByte(input[nextInput++], 0);
    }

    [[gnu::noinline]] void Trace(uint16_t a, uint64_t cycles) {
        ListingRow row = DisassembleAt(a, format);
        std::fprintf(trace, "%s  %-8s  %-24s A=%02X PSW=%02X SP=%02X DPTR=%02X%02X CYCLES=%llu\n",
                     row.Address.c_str(), row.Bytes.c_str(), row.Text.c_str(),
                     InternalRam[Sfr::ACC], InternalRam[Sfr::PSW], InternalRam[Sfr::SP],
                     InternalRam[Sfr::DPH], InternalRam[Sfr::DPL], (unsigned long long)cycles);
    }
};

std::atomic<TRunThread*> ActiveRun{nullptr};

extern "C" void OnSignal(int) {
    if (TRunThread* t = ActiveRun.load()) t->Terminate();
}

// The stop reason as the dump names it.
const char* StopName(StopReason r) {
    switch (r) {
        case StopReason::End: return "end";
        case StopReason::Breakpoint: return "breakpoint";
        case StopReason::Idle: return "idle";
        case StopReason::MaxCycles: return "max-cycles";
        case StopReason::Stopped: return "interrupted";
        case StopReason::Watch: return "watch";
        case StopReason::Reached: return "reached";
    }
    return "end";
}

// The dump's debugger entries: the writing instruction of a watch stop, and the call stack.
std::string DebugDumpEntries(const TRunThread& run) {
    std::ostringstream j;
    if (run.Reason == StopReason::Watch) j << "  \"watch_pc\": " << LastWatchHit().writer << ",\n";
    j << "  \"call_stack\": [";
    const char* sep = "";
    for (const CallFrame& f : CallStackSnapshot()) {
        j << sep << "\n    {\"site\": " << f.site << ", \"target\": " << f.target
          << ", \"return\": " << f.returnAddress << ", \"sp\": " << unsigned(f.sp)
          << ", \"interrupt\": " << (f.interrupt ? "true" : "false") << "}";
        sep = ",";
    }
    j << (*sep ? "\n  ],\n" : "],\n");
    return j.str();
}

// The stop reason in the stop line.
const char* StopText(StopReason r) {
    switch (r) {
        case StopReason::End: return "end of program";
        case StopReason::Breakpoint: return "breakpoint";
        case StopReason::Idle: return "idle jump";
        case StopReason::MaxCycles: return "cycle limit";
        case StopReason::Stopped: return "interrupted";
        case StopReason::Watch: return "watch";
        case StopReason::Reached: return "stop";
    }
    return "end of program";
}

bool WriteDump(const std::string& path, const TRunThread& run) {
    uint8_t iram[kInternalRamSize];
    for (size_t i = 0; i < kInternalRamSize; ++i) iram[i] = InternalRam[i];
    std::vector<uint8_t> xram(0x10000);
    for (size_t i = 0; i < xram.size(); ++i) xram[i] = ExternalRam[i];
    std::ostringstream j;
    j << "{\n  \"stop\": \"" << StopName(run.Reason) << "\",\n  \"pc\": " << ProgramCounter
      << ",\n  \"cycles\": " << run.CycleCount << ",\n  \"instructions\": " << run.Instructions
      << ",\n  \"sbuf_rx\": " << unsigned(SerialReceiveBuffer) << ",\n" << DebugDumpEntries(run)
      << "  \"iram\": \"" << Hex(iram, kInternalRamSize) << "\",\n  \"xram\": \""
      << Hex(xram.data(), xram.size()) << "\"";
    if (const SymbolTable* symbols = ActiveProgramSymbols()) {
        MachineMemory memory;
        j << ",\n  \"variables\": " << VariablesJson(*symbols, memory, "  ");
    }
    j << "\n}\n";
    std::string error;
    if (WriteFileSafely(path, j.str(), &error)) return true;
    std::cerr << "corvamat-run: cannot write " << path << ": " << error << "\n";
    return false;
}

// ---- Files before the run ----------------------------------------------------------------------

[[noreturn]] void FileError(const std::string& verb, const std::string& path, int err) {
    std::cerr << "corvamat-run: cannot " << verb << " " << path << ": " << std::strerror(err) << "\n";
    std::exit(kExitUsage);
}

// A file written at the end through WriteFileSafely (--dump, --export): the temporary file beside
// it is created and removed now, so that a path that cannot be written stops before the run.
void ProbeOutput(const std::string& path) {
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) FileError("write", path, EISDIR);
    const std::string temp = path + ".tmp~";
    std::FILE* f = std::fopen(temp.c_str(), "wb");
    if (!f) FileError("write", path, errno);
    std::fclose(f);
    std::remove(temp.c_str());
}

std::FILE* OpenOutput(const std::string& path, const char* mode) {
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) FileError("write", path, EISDIR);
    std::FILE* f = std::fopen(path.c_str(), mode);
    if (!f) FileError("write", path, errno);
    return f;
}

std::vector<uint8_t> ReadInput(const std::string& path) {
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) FileError("read", path, EISDIR);
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) FileError("read", path, errno);
    std::vector<uint8_t> bytes;
    uint8_t block[4096];
    size_t n;
    while ((n = std::fread(block, 1, sizeof block, f)) > 0) bytes.insert(bytes.end(), block, block + n);
    const bool failed = std::ferror(f);
    const int err = errno ? errno : EIO;
    std::fclose(f);
    if (failed) FileError("read", path, err);
    return bytes;
}

using FilePtr = std::unique_ptr<std::FILE, int (*)(std::FILE*)>;

// The files of a run, all open before it starts.
struct RunFiles {
    FilePtr trace{nullptr, std::fclose};
    FilePtr serialOut{nullptr, std::fclose};
    std::vector<uint8_t> input;
};

RunFiles OpenRunFiles(const Options& o) {
    RunFiles files;
    if (!o.serialIn.empty()) files.input = ReadInput(o.serialIn);
    if (!o.dump.empty()) ProbeOutput(o.dump);
    if (!o.vcd.empty()) ProbeOutput(o.vcd);
    if (!o.trace.empty()) files.trace.reset(OpenOutput(o.trace, "w"));
    if (!o.serialOut.empty()) files.serialOut.reset(OpenOutput(o.serialOut, "wb"));
    return files;
}

void ApplySettings(const Options& o) {
    if (!o.ini.empty()) {
        std::error_code ec;
        if (std::filesystem::is_directory(o.ini, ec)) FileError("read settings file", o.ini, EISDIR);
        errno = 0;
        auto ini = IniFile::Load(o.ini);
        if (!ini) FileError("read settings file", o.ini, errno ? errno : EIO);
        Settings = ReadSettings(*ini, ExecutableFolder());
    }
    if (!o.cpu.empty()) Settings.Processor = o.cpu == "8052" ? 1 : 0;
    if (!o.frequency.empty()) Settings.Frequency = int32_t(std::stol(o.frequency));
    if (!o.binOffset.empty()) Settings.BinOffset = uint16_t(std::stoul(o.binOffset, nullptr, 16));
    if (o.ignoreChecksum) Settings.IgnoreChecksum = true;
}

// ---- Loading ---------------------------------------------------------------------------------

bool LoadProgram(const Options& o) {
    StderrReporter reporter(o.program);
    if (LoadProgramFile(o.program, reporter)) return true;
    std::string ext = o.program.substr(std::min(o.program.size(), o.program.find_last_of('.')));
    for (char& c : ext) c = char(std::toupper(static_cast<unsigned char>(c)));
    std::error_code ec;
    if (ext != ".HEX" && ext != ".IHX" && ext != ".BIN") {
        if (std::filesystem::is_directory(o.program, ec))
            std::cerr << "corvamat-run: " << o.program << ": " << std::strerror(EISDIR) << "\n";
        else
            std::cerr << "corvamat-run: " << o.program << ": not a .hex, .ihx or .bin file\n";
    }
    return false;
}

// The symbols given with --symbols (a failure ends the run) or found beside the program (a
// failure is reported and the run goes on without).
bool LoadRunnerSymbols(const Options& o) {
    std::string error;
    if (!o.symbols.empty()) {
        if (LoadProgramSymbolsFile(o.symbols, o.program, &error)) return true;
        std::cerr << "corvamat-run: " << error << "\n";
        return false;
    }
    if (!LoadProgramSymbolsBeside(o.program, &error) && !error.empty())
        std::cerr << "corvamat-run: " << error << " The program runs without symbols.\n";
    return true;
}

// A --break given as a function or FILE:LINE, as a code address.
uint16_t ResolveBreakName(const Options& o, const std::string& name) {
    const SymbolTable* t = ActiveProgramSymbols();
    if (!t) UsageError("--break " + name + " needs the program's symbols (a .cdb beside it or --symbols)");
    auto colon = name.rfind(':');
    if (colon != std::string::npos) {
        uint32_t line = uint32_t(std::stoul(name.substr(colon + 1))), actual = 0;
        auto a = t->AddressOfLine(name.substr(0, colon), line, &actual);
        if (!a) UsageError("--break " + name + ": no code at or after that line");
        if (actual != line) Note(o, name + " has no code; the breakpoint is on line " + std::to_string(actual));
        return *a;
    }
    if (const Function* f = t->FindFunction(name)) return f->start;
    for (const auto& l : t->labels)
        if (l.code && (l.name == name || l.name == "_" + name)) return l.address;
    UsageError("--break " + name + ": no such function");
}

// A --watch given as NAME[=VALUE]: every byte of the variable (with =VALUE its least significant
// byte only), in the memory the symbols give it.
void ResolveWatchOption(const std::string& text, std::vector<DataBreakpoint>* watches) {
    const SymbolTable* t = ActiveProgramSymbols();
    if (!t) UsageError("--watch " + text + " needs the program's symbols (a .cdb beside it or --symbols)");
    const auto eq = text.find('=');
    const std::string name = text.substr(0, eq), value = eq == std::string::npos ? "" : text.substr(eq);
    std::string error;
    auto w = ResolveWatchName(*t, name, &error);
    if (!w) UsageError("--watch " + text + ": " + error);
    const uint32_t bytes = value.empty() ? w->size : 1;
    for (uint32_t i = 0; i < bytes; ++i) {
        char address[8];
        std::snprintf(address, sizeof address, "%X", unsigned(w->address + i));
        DataBreakpoint b;
        if (!ParseWatchText(address + (":" + w->space) + value, &b, &error)) UsageError("--watch " + text + ": " + error);
        watches->push_back(b);
    }
}

// Tells what the load changed: jump and call targets moved by the relocation of a binary image,
// bytes past FFFFh dropped.
void ReportLoad(const Options& o) {
    const LoadSummary& s = LastLoadSummary;
    if (s.Relocated && s.MovedTargets > 0) {
        const uint32_t n = s.MovedTargets;
        Note(o, o.program + ": binary image relocated from " + AddressText(s.Offset) + " to 0000h: " +
                    std::to_string(n) + (n == 1 ? " jump or call target" : " jump and call targets") +
                    " moved down by " + AddressText(s.Offset) + " (--bin-offset 0 loads it unchanged)");
    }
    if (s.DroppedBytes)
        Note(o, o.program + ": " + std::to_string(s.DroppedBytes) +
                    (s.DroppedBytes == 1 ? " byte" : " bytes") + " past FFFFh dropped");
}

int ListOrExport(const Options& o) {
    if (!o.exportFile.empty()) ProbeOutput(o.exportFile);
    BuildListing();
    if (o.listing) {
        const bool labels = ActiveProgramSymbols() != nullptr;
        for (const auto& r : Listing) {
            std::cout << r.Address << '\t' << r.Text << '\t' << r.Bytes;
            if (labels) std::cout << '\t' << r.Label;
            std::cout << '\n';
        }
    }
    if (!o.exportFile.empty()) {
        std::string error;
        if (!ExportListing(Listing, CurrentExportOptions(), o.exportFile, &error)) {
            std::cerr << "corvamat-run: " << error << "\n";
            return kExitUsage;
        }
    }
    return kExitOk;
}

// ---- The run -----------------------------------------------------------------------------------

void Run(const Options& o, RunFiles& files, TRunThread& run) {
    for (uint16_t b : o.breaks) BreakpointTable.Set(b, 1);
    for (const auto& name : o.breakNames) BreakpointTable.Set(ResolveBreakName(o, name), 1);
    std::vector<DataBreakpoint> watches = o.watches;
    for (const auto& name : o.watchNames) ResolveWatchOption(name, &watches);
    DataBreakpoints = watches;
    ArmDebugStops(nullptr);
    if (!o.vcd.empty()) {
        std::vector<SignalDef> signals = PortPinSignals();
        std::string error;
        if (!o.signals.empty() && !ParseSignalList(o.signals, ActiveProgramSymbols(), &signals, &error))
            UsageError("--signals " + o.signals + ": " + error);
        LogicSignals.SetSignals(std::move(signals));
        LogicSignals.Begin(0);
    }

    RunnerExtras extras;
    extras.maxCycles = o.maxCycles;
    extras.format = CurrentListingFormat();
    extras.input = std::move(files.input);
    extras.inputSize = extras.input.size();
    extras.trace = files.trace.get();
    extras.Prepare();
    std::FILE* out = files.serialOut ? files.serialOut.get() : stdout;
    SerialSink sink(out);
    InstallSerialOutputHook(&sink);
    SingleStepMode = 0;
    ActiveRun = &run;
    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
    run.RunSimulation(extras);
    ActiveRun = nullptr;
    InstallSerialOutputHook(nullptr);
    std::fflush(out);
}

// The recorded signals as a VCD file, replaced safely like the dump.
bool WriteSignals(const Options& o) {
    SignalHistory history;
    history.Update(LogicSignals);
    if (history.Dropped())
        Note(o, "the VCD file holds the last " + std::to_string(history.ChangeCount()) + " changes; " +
                    std::to_string(history.Dropped()) + " older ones were dropped");
    std::ostringstream text;
    WriteVcd(history, uint32_t(std::max<int32_t>(Settings.Frequency, 0)), text);
    std::string error;
    if (WriteFileSafely(o.vcd, text.str(), &error)) return true;
    std::cerr << "corvamat-run: cannot write " << o.vcd << ": " << error << "\n";
    return false;
}

void ReportStats(const TRunThread& run) {
    double secs = run.RealSeconds > 0 ? run.RealSeconds : 1e-9;
    std::fprintf(stderr,
                 "instructions: %llu\nmachine cycles: %llu\nhost seconds: %.6f\n"
                 "cycles per second: %.0f\n%s\n",
                 (unsigned long long)run.Instructions, (unsigned long long)run.CycleCount,
                 run.RealSeconds, double(run.CycleCount) / secs,
                 ControllerTimeText(run.CycleCount, Settings.Frequency).c_str());
}

int ExitStatus(StopReason r) {
    switch (r) {
        case StopReason::MaxCycles: return kExitMaxCycles;
        case StopReason::Stopped: return kExitInterrupted;
        default: return kExitOk;
    }
}

}  // namespace

int main(int argc, char** argv) {
    const Options o = ParseArguments(argc, argv);
    ApplySettings(o);
    const bool listOnly = o.listing || !o.exportFile.empty();
    RunFiles files;
    if (!listOnly) files = OpenRunFiles(o);

    Processor8052 = Settings.Processor;
    InitMachineState();
    if (!LoadProgram(o)) return kExitLoad;
    ReportLoad(o);
    ProgramCounter = 0;
    if (!LoadRunnerSymbols(o)) return kExitLoad;
    if (listOnly) return ListOrExport(o);

    RunSettings rs;
    rs.Frequency = Settings.Frequency;
    rs.ScrUpdate = 0;  // no windows: the same as "Update screen every" switched off
    rs.AutoRestart = Settings.AutoRestart;
    rs.RealTime = Settings.RealTime || o.realTime;
    TRunThread run(nullptr, rs);
    Run(o, files, run);

    if (o.stats) ReportStats(run);
    Note(o, std::string(StopText(run.Reason)) + " at " + AddressText(ProgramCounter) + " after " +
                std::to_string(run.CycleCount) + " machine cycles");
    if (!o.dump.empty() && !WriteDump(o.dump, run)) return kExitUsage;
    if (!o.vcd.empty() && !WriteSignals(o)) return kExitUsage;
    return ExitStatus(run.Reason);
}
