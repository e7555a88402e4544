// corvamat-run: loads an 8051/8052 program and runs it without windows, for scripts and CI.
#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "Code.h"
#include "Disassembler.h"
#include "Export.h"
#include "ProgramFiles.h"
#include "ProgramSymbols.h"
#include "RunThreads.h"
#include "SafeFile.h"
#include "Settings.h"

namespace {

constexpr int kExitOk = 0, kExitMaxCycles = 1, kExitLoad = 2, kExitUsage = 64,
              kExitInterrupted = 130;

const char* const kHelp = R"(Usage: corvamat-run [options] PROGRAM

Runs an 8051/8052 program without windows. PROGRAM is an Intel HEX file (.hex, .ihx) or a
binary image (.bin).

Controller and program:
  --cpu 8051|8052        processor variant (default 8052)
  --frequency HZ         clock, 1000000-80000000 Hz (default 11059200); only the reported
                         controller time depends on it
  --bin-offset HEX       origin of a binary image, relocated to 0000h (default 8000, 0 = none)
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
  The run also ends when the program passes its last address, and when it executes a jump
  to itself (SJMP, AJMP or LJMP) while no interrupt can be taken.

Input and output:
  --serial-out FILE      bytes the program sends through SBUF (default: standard output)
  --serial-in FILE       bytes delivered to the program's receiver one at a time (SBUF, then
                         RI and RB8 in SCON) whenever REN = 1 and RI = 0 before an instruction;
                         SBUF is one register for both directions, so a program should clear
                         RI only when it no longer needs the received byte
  --dump FILE            the final state as JSON: stop, pc, cycles, instructions, iram (384
                         bytes), xram (65536 bytes), the memories as hexadecimal digits;
                         with symbols also variables: every global and static variable by
                         name with its value (numbers, arrays, objects for structures,
                         pointers as text, null where a value has no storage)
  --trace FILE           one line per instruction: address, bytes, text, A, PSW, SP, DPTR
  --stats                instructions, machine cycles, host seconds, cycles per second and
                         the controller time on standard error
  --listing              print the disassembly (address, instruction, bytes; tab-separated)
                         and exit; with symbols the operands show names, and a fourth column
                         the label that starts at the row
  --export FILE          write the disassembly as assembler source and exit (with symbols,
                         labelled with the program's names)
  --help                 this text

Exit status: 0 after the end, a breakpoint or an idle jump; 1 after --max-cycles; 2 when the
program cannot be loaded; 64 for a usage error; 130 after SIGINT or SIGTERM (the dump and the
serial output are still written).
)";

struct Options {
    std::string program, ini, serialOut, serialIn, dump, trace, exportFile, symbols;
    std::string cpu, frequency, binOffset;
    bool ignoreChecksum = false, stats = false, listing = false;
    std::vector<uint16_t> breaks;
    std::vector<std::string> breakNames;  // functions and FILE:LINE, resolved once symbols are read
    uint64_t maxCycles = UINT64_MAX;
};

[[noreturn]] void UsageError(const std::string& message) {
    std::cerr << "corvamat-run: " << message << "\nTry 'corvamat-run --help'.\n";
    std::exit(kExitUsage);
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
        } else if (a == "--max-cycles") {
            if (!ParseUnsigned(value(i), 10, &o.maxCycles)) UsageError("--max-cycles takes a number");
        } else if (a == "--serial-out") {
            o.serialOut = value(i);
        } else if (a == "--serial-in") {
            o.serialIn = value(i);
        } else if (a == "--dump") {
            o.dump = value(i);
        } else if (a == "--trace") {
            o.trace = value(i);
        } else if (a == "--stats") {
            o.stats = true;
        } else if (a == "--listing") {
            o.listing = true;
        } else if (a == "--export") {
            o.exportFile = value(i);
        } else if (!a.empty() && a[0] == '-' && a != "-") {
            UsageError("unknown option " + a);
        } else if (o.program.empty()) {
            o.program = a;
        } else {
            UsageError("only one PROGRAM may be given");
        }
    }
    if (o.program.empty()) UsageError("no PROGRAM given");
    return o;
}

class StderrReporter : public LoadReporter {
public:
    void ShowError(const std::string& m) override { std::cerr << "corvamat-run: " << m << "\n"; }
    bool AskYesNo(const std::string& q) override {
        std::cerr << "corvamat-run: " << q << " No (use --ignore-checksum to accept)\n";
        return false;
    }
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

// The runner's additions to the run loop: cycle limit, serial input, idle jumps and the trace.
class RunnerExtras {
public:
    uint64_t maxCycles = UINT64_MAX;
    std::vector<uint8_t> input;
    size_t nextInput = 0;
    std::FILE* trace = nullptr;
    ListingFormat format;

    bool BeforeStep(uint64_t cycles, StopReason* reason) {
        if (cycles >= maxCycles) {
            *reason = StopReason::MaxCycles;
            return true;
        }
        if (nextInput < input.size()) {
            uint8_t scon = InternalRam[Sfr::SCON];
            if ((scon & 0x10) && !(scon & 0x01)) {
                // As the terminal's Send delivers a byte: SBUF first, then RI (and RB8).
                WriteDirect(Sfr::SBUF, input[nextInput++]);
                scon = InternalRam[Sfr::SCON];
                WriteDirect(Sfr::SCON, uint8_t((scon & 0xFA) + ((scon & 0x20) ? 0 : 1)));
            }
        }
        return false;
    }

    bool AfterStep(uint16_t pc, uint16_t executed, StopReason* reason) {
        if (trace) Trace(executed);
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
    void Trace(uint16_t a) {
        ListingRow row = DisassembleAt(a, format);
        std::fprintf(trace, "%s  %-8s  %-24s A=%02X PSW=%02X SP=%02X DPTR=%02X%02X\n",
                     row.Address.c_str(), row.Bytes.c_str(), row.Text.c_str(),
                     InternalRam[Sfr::ACC], InternalRam[Sfr::PSW], InternalRam[Sfr::SP],
                     InternalRam[Sfr::DPH], InternalRam[Sfr::DPL]);
    }
};

std::atomic<TRunThread*> ActiveRun{nullptr};

extern "C" void OnSignal(int) {
    if (TRunThread* t = ActiveRun.load()) t->Terminate();
}

const char* StopName(StopReason r) {
    switch (r) {
        case StopReason::End: return "end";
        case StopReason::Breakpoint: return "breakpoint";
        case StopReason::Idle: return "idle";
        case StopReason::MaxCycles: return "max-cycles";
        case StopReason::Stopped: return "interrupted";
    }
    return "end";
}

bool WriteDump(const std::string& path, const TRunThread& run) {
    uint8_t iram[kInternalRamSize];
    for (size_t i = 0; i < kInternalRamSize; ++i) iram[i] = InternalRam[i];
    std::vector<uint8_t> xram(0x10000);
    for (size_t i = 0; i < xram.size(); ++i) xram[i] = ExternalRam[i];
    std::ostringstream j;
    j << "{\n  \"stop\": \"" << StopName(run.Reason) << "\",\n  \"pc\": " << ProgramCounter
      << ",\n  \"cycles\": " << run.CycleCount << ",\n  \"instructions\": " << run.Instructions
      << ",\n  \"iram\": \"" << Hex(iram, kInternalRamSize) << "\",\n  \"xram\": \""
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
uint16_t ResolveBreakName(const std::string& name) {
    const SymbolTable* t = ActiveProgramSymbols();
    if (!t) UsageError("--break " + name + " needs the program's symbols (a .cdb beside it or --symbols)");
    auto colon = name.rfind(':');
    if (colon != std::string::npos) {
        uint32_t line = uint32_t(std::stoul(name.substr(colon + 1))), actual = 0;
        auto a = t->AddressOfLine(name.substr(0, colon), line, &actual);
        if (!a) UsageError("--break " + name + ": no code at or after that line");
        if (actual != line)
            std::cerr << "corvamat-run: " << name << " has no code; the breakpoint is on line " << actual << "\n";
        return *a;
    }
    if (const Function* f = t->FindFunction(name)) return f->start;
    for (const auto& l : t->labels)
        if (l.code && (l.name == name || l.name == "_" + name)) return l.address;
    UsageError("--break " + name + ": no such function");
}

bool ReadWholeFile(const std::string& path, std::vector<uint8_t>* out) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    out->assign(std::istreambuf_iterator<char>(in), {});
    return !in.bad();
}

}  // namespace

int main(int argc, char** argv) {
    Options o = ParseArguments(argc, argv);

    if (!o.ini.empty()) {
        auto ini = IniFile::Load(o.ini);
        if (!ini) {
            std::cerr << "corvamat-run: cannot read settings file " << o.ini << "\n";
            return kExitUsage;
        }
        Settings = ReadSettings(*ini, ExecutableFolder());
    }
    if (!o.cpu.empty()) Settings.Processor = o.cpu == "8052" ? 1 : 0;
    if (!o.frequency.empty()) Settings.Frequency = int32_t(std::stol(o.frequency));
    if (!o.binOffset.empty()) Settings.BinOffset = uint16_t(std::stoul(o.binOffset, nullptr, 16));
    if (o.ignoreChecksum) Settings.IgnoreChecksum = true;

    Processor8052 = Settings.Processor;
    InitMachineState();
    StderrReporter reporter;
    if (!LoadProgramFile(o.program, reporter)) {
        std::string ext = o.program.substr(std::min(o.program.size(), o.program.find_last_of('.')));
        for (char& c : ext) c = char(std::toupper(static_cast<unsigned char>(c)));
        if (ext != ".HEX" && ext != ".IHX" && ext != ".BIN")
            std::cerr << "corvamat-run: " << o.program << ": not a .hex, .ihx or .bin file\n";
        return kExitLoad;
    }
    ProgramCounter = 0;
    if (!LoadRunnerSymbols(o)) return kExitLoad;

    if (o.listing || !o.exportFile.empty()) {
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
                return kExitLoad;
            }
        }
        return kExitOk;
    }

    for (uint16_t b : o.breaks) BreakpointTable.Set(b, 1);
    for (const auto& name : o.breakNames) BreakpointTable.Set(ResolveBreakName(name), 1);

    RunnerExtras extras;
    extras.maxCycles = o.maxCycles;
    extras.format = CurrentListingFormat();
    if (!o.serialIn.empty() && !ReadWholeFile(o.serialIn, &extras.input)) {
        std::cerr << "corvamat-run: cannot read " << o.serialIn << "\n";
        return kExitUsage;
    }
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> traceFile(nullptr, std::fclose);
    if (!o.trace.empty()) {
        traceFile.reset(std::fopen(o.trace.c_str(), "w"));
        if (!traceFile) {
            std::cerr << "corvamat-run: cannot write " << o.trace << ": " << std::strerror(errno) << "\n";
            return kExitUsage;
        }
        extras.trace = traceFile.get();
    }
    std::FILE* out = stdout;
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> outFile(nullptr, std::fclose);
    if (!o.serialOut.empty()) {
        outFile.reset(std::fopen(o.serialOut.c_str(), "wb"));
        if (!outFile) {
            std::cerr << "corvamat-run: cannot write " << o.serialOut << ": " << std::strerror(errno) << "\n";
            return kExitUsage;
        }
        out = outFile.get();
    }
    SerialSink sink(out);
    InstallSerialOutputHook(&sink);

    RunSettings rs;
    rs.Frequency = Settings.Frequency;
    rs.ScrUpdate = 0;  // no windows: the same as "Update screen every" switched off
    rs.AutoRestart = Settings.AutoRestart;
    SingleStepMode = 0;
    TRunThread run(nullptr, rs);
    ActiveRun = &run;
    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
    run.RunSimulation(extras);
    ActiveRun = nullptr;
    InstallSerialOutputHook(nullptr);
    std::fflush(out);

    if (o.stats) {
        double secs = run.RealSeconds > 0 ? run.RealSeconds : 1e-9;
        std::fprintf(stderr,
                     "instructions: %llu\nmachine cycles: %llu\nhost seconds: %.6f\n"
                     "cycles per second: %.0f\n%s\n",
                     (unsigned long long)run.Instructions, (unsigned long long)run.CycleCount,
                     run.RealSeconds, double(run.CycleCount) / secs,
                     ControllerTimeText(run.CycleCount, Settings.Frequency).c_str());
    }
    if (!o.dump.empty() && !WriteDump(o.dump, run)) return kExitUsage;

    switch (run.Reason) {
        case StopReason::MaxCycles: return kExitMaxCycles;
        case StopReason::Stopped: return kExitInterrupted;
        default: return kExitOk;
    }
}
