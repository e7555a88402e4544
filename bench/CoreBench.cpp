// Benchmarks of StepInstruction on a CPU-bound loop and of BuildListing over all of code memory.
#include <benchmark/benchmark.h>

#include "Code.h"
#include "Debugger.h"
#include "Disassembler.h"
#include "Observers.h"
#include "Recorder.h"
#include "Symbols.h"

namespace {

// A loop of arithmetic, moves, bit tests and a call, with Timer 1 running as a baud generator.
void PlaceLoop() {
    Processor8052 = 1;
    InitMachineState();
    const uint8_t code[] = {
        0x75, 0x89, 0x20,  // MOV TMOD,#20h
        0x75, 0x8D, 0xFD,  // MOV TH1,#FDh
        0xD2, 0x8E,        // SETB TR1
        0x78, 0x40,        // loop: MOV R0,#40h
        0xE6,              // MOV A,@R0
        0x24, 0x37,        // ADD A,#37h
        0xF6,              // MOV @R0,A
        0x30, 0xE0, 0x02,  // JNB ACC.0,+2
        0x05, 0x30,        // INC 30h
        0x12, 0x00, 0x20,  // LCALL 0020h
        0x80, 0xEE,        // SJMP loop
    };
    for (size_t i = 0; i < sizeof code; ++i) CodeMemory[i] = code[i];
    CodeMemory[0x20] = 0xA3;  // INC DPTR
    CodeMemory[0x21] = 0x22;  // RET
    ProgramEnd = 0xFFFF;
}

void BM_StepInstruction(benchmark::State& state) {
    PlaceLoop();
    ScreenUpdateCountdown = 255;  // no windows
    uint64_t cycles = 0;
    for (auto _ : state) cycles += StepInstruction(ProgramCounter).cycles;
    ScreenUpdateCountdown = 0;
    state.counters["machine_cycles_per_s"] =
        benchmark::Counter(double(cycles), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_StepInstruction);

// The same loop with one data breakpoint armed that never matches: every store takes the slow
// path that looks for it, as in a run with refreshes switched off.
void BM_StepInstructionWithDataBreakpoint(benchmark::State& state) {
    PlaceLoop();
    AddDataBreakpoint({WatchSpace::Xram, 0x1234, WatchMatch::AnyWrite, 0, true});
    ArmDebugStops(nullptr);
    ScreenRefreshDue = 0;
    ScreenUpdateCountdown = 0;
    uint64_t cycles = 0;
    for (auto _ : state) cycles += StepInstruction(ProgramCounter).cycles;
    RemoveDataBreakpoints();
    ArmDebugStops(nullptr);
    state.counters["machine_cycles_per_s"] =
        benchmark::Counter(double(cycles), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_StepInstructionWithDataBreakpoint);

// The same loop with the execution recorder notified after every step, as the run loop does
// with coverage and profile recording on.
void BM_StepInstructionRecording(benchmark::State& state) {
    PlaceLoop();
    ResetCallStack();
    Recorder.Clear();
    if (!Recorder.Enable(kDefaultTraceLength)) state.SkipWithError("no step observer place");
    ScreenUpdateCountdown = 255;
    uint64_t cycles = 0;
    for (auto _ : state) {
        const uint16_t pc = ProgramCounter;
        const StepResult step = StepInstruction(pc);
        cycles += step.cycles;
        NotifyStepObservers({pc, step.executed, step.cycles, step.interrupted});
    }
    ScreenUpdateCountdown = 0;
    Recorder.Disable();
    state.counters["machine_cycles_per_s"] =
        benchmark::Counter(double(cycles), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_StepInstructionRecording);

void BM_BuildListing65536(benchmark::State& state) {
    for (uint32_t a = 0; a < 0x10000; ++a) CodeMemory[a] = uint8_t(a * 7 + (a >> 8));
    ProgramEnd = 0xFFFF;
    for (auto _ : state) {
        BuildListing(ListingFormat());
        benchmark::DoNotOptimize(Listing.data());
    }
    state.counters["rows"] = double(Listing.size());
}
BENCHMARK(BM_BuildListing65536)->Unit(benchmark::kMillisecond);

// The same listing with a program's symbols: a name every 32 bytes of code, 64 data names.
void BM_BuildListing65536WithSymbols(benchmark::State& state) {
    for (uint32_t a = 0; a < 0x10000; ++a) CodeMemory[a] = uint8_t(a * 7 + (a >> 8));
    ProgramEnd = 0xFFFF;
    SymbolTable symbols;
    for (uint32_t a = 0; a < 0x10000; a += 32) symbols.labels.push_back({"_f" + std::to_string(a), uint16_t(a), true, false});
    for (uint32_t a = 0x08; a < 0x80; a += 2) symbols.labels.push_back({"_v" + std::to_string(a), uint16_t(a), false, false});
    symbols.Finish();
    ListingFormat format;
    format.Symbols = &symbols;
    for (auto _ : state) {
        BuildListing(format);
        benchmark::DoNotOptimize(Listing.data());
    }
    state.counters["rows"] = double(Listing.size());
}
BENCHMARK(BM_BuildListing65536WithSymbols)->Unit(benchmark::kMillisecond);

void BM_BuildListingAllNops(benchmark::State& state) {
    CodeMemory.fill(0);
    ProgramEnd = 0xFFFF;
    for (auto _ : state) BuildListing(ListingFormat());
    state.counters["rows"] = double(Listing.size());
}
BENCHMARK(BM_BuildListingAllNops)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
