// Signal recording: edge stamps from a running program, values of several bytes, the bounded
// store, a reader on another thread, and the VCD file read back (also through GTKWave's converter).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <fstream>
#include <sstream>
#include <thread>

#include <unistd.h>

#include "Inputs.h"
#include "RunThreads.h"
#include "Signals.h"
#include "TestMachine.h"
#include "VcdReader.h"

using namespace testing_machine;

namespace {

SignalDef PinSignal(const char* name, uint16_t port, int bit) { return {name, {SignalSpace::Pins, port, int8_t(bit), 1}}; }
SignalDef BitSignal(const char* name, uint16_t byte, int bit) { return {name, {SignalSpace::Direct, byte, int8_t(bit), 1}}; }
SignalDef ByteSignal(const char* name, uint16_t index, uint8_t bytes = 1) {
    return {name, {SignalSpace::Direct, index, -1, bytes}};
}

// Runs the machine as the run loop does, sampling after every step; counts machine cycles.
struct Recording {
    SignalRecorder recorder;
    uint64_t cycles = 0;
    explicit Recording(std::vector<SignalDef> defs, std::size_t capacity = SignalRecorder::kDefaultCapacity)
        : recorder(capacity) {
        recorder.SetSignals(std::move(defs));
        recorder.Begin(0);
    }
    void Run(int steps) {
        for (int i = 0; i < steps; ++i) {
            const StepResult step = StepInstruction(ProgramCounter);
            cycles += step.cycles;
            recorder.Sample(cycles, step.executed);
        }
    }
};

// Runs the loaded program through the run loop, as the worker does, with LogicSignals following
// `defs` on the core's observers, until `stopAt` machine cycles; `before` sees each step's start
// cycle, `after` each step with its start cycle.
struct ArmedRun {
    std::function<void(uint64_t)> before;
    std::function<void(const StepResult&, uint64_t)> after;
    uint64_t stopAt = 0, started = 0;
    bool BeforeStep(uint64_t cycles, StopReason* reason) {
        if (cycles >= stopAt) {
            *reason = StopReason::MaxCycles;
            return true;
        }
        started = cycles;
        if (before) before(cycles);
        return false;
    }
    bool AfterStep(uint16_t, const StepResult& step, StopReason*) {
        if (after) after(step, started);
        return false;
    }
    static void Choose(std::vector<SignalDef> defs) {
        LogicSignals.SetSignals(std::move(defs));
        LogicSignals.Begin(Machine.cycles);
    }
    void Loop(uint64_t cycles) {
        stopAt = cycles;
        SingleStepMode = 0;
        BeginWorkerOwnership();
        TRunThread(nullptr, RunSettings()).RunSimulation(*this);
        EndWorkerOwnership();
    }
    SignalHistory Run(std::vector<SignalDef> defs, uint64_t cycles) {
        Choose(std::move(defs));
        Loop(cycles);
        SignalHistory h;
        h.Update(LogicSignals);
        LogicSignals.SetSignals({});
        return h;
    }
};

// Timer 0 in mode 2 overflows every 100 machine cycles; its interrupt toggles P1.0. Every
// instruction of the main loop and the routine takes an even number of cycles, so the edges
// come exactly one timer period apart.
void PlaceTimerToggle() {
    Place(0x0000, {0x02, 0x00, 0x30});                    // LJMP 0030h
    Place(0x000B, {0x02, 0x00, 0x50});                    // LJMP 0050h
    Place(0x0030, {0x75, 0x89, 0x02,                      // MOV TMOD,#02h
                   0x75, 0x8C, 0x9C, 0x75, 0x8A, 0x9C,    // MOV TH0,#9Ch; MOV TL0,#9Ch
                   0x75, 0xA8, 0x82,                      // MOV IE,#82h
                   0xD2, 0x8C,                            // SETB TR0
                   0x80, 0xFE});                          // SJMP $
    Place(0x0050, {0xB2, 0x90, 0x00, 0x32});              // CPL P1.0; NOP; RETI
}

}  // namespace

TEST(Signals, TimerToggleEdgesOnePeriodApartAndEntryStampedAtVector) {
    Fresh();
    PlaceTimerToggle();
    Recording r({PinSignal("P1.0", Sfr::P1, 0), BitSignal("TF0", Sfr::TCON, 5), ByteSignal("TL0", Sfr::TL0)});
    r.Run(3000);
    SignalHistory h;
    ASSERT_TRUE(h.Update(r.recorder));
    const auto& edges = h.Changes(0);
    ASSERT_GT(edges.size(), 20u);
    EXPECT_EQ(edges[0].value, 1u);
    for (std::size_t i = 3; i < edges.size(); ++i) {
        EXPECT_EQ(edges[i].cycle - edges[i - 1].cycle, 100u) << "edge " << i;
        EXPECT_EQ(edges[i].value, edges[i - 1].value ^ 1);
        EXPECT_EQ(edges[i].writer, 0x0050);
    }
    // TF0 rises at the overflow and is cleared by the interrupt's entry, in the step that
    // executes the vector.
    const auto& tf0 = h.Changes(1);
    ASSERT_GT(tf0.size(), 4u);
    for (std::size_t i = 2; i < tf0.size(); i += 2) {
        EXPECT_EQ(tf0[i].value, 0u);
        EXPECT_EQ(tf0[i].writer, 0x000B);
    }
    // Nothing is stored twice: every change differs from the one before it.
    for (std::size_t s = 0; s < h.SignalCount(); ++s)
        for (std::size_t i = 1; i < h.Changes(s).size(); ++i)
            ASSERT_NE(h.Changes(s)[i].value, h.Changes(s)[i - 1].value);
    EXPECT_EQ(h.ValueAt(0, edges[5].cycle), edges[5].value);
    EXPECT_EQ(h.ValueAt(0, edges[5].cycle - 1), edges[4].value);
}

TEST(Signals, ValueOfSeveralBytesChangesOncePerWriteOfAllItsBytes) {
    // 16-bit x at 30h/31h: x += 00FFh, the two bytes written three instructions apart, so that
    // half-written values (00FEh between 00FFh and 01FEh) exist for two instructions.
    Fresh();
    Place(0x0000, {0xE5, 0x30, 0x24, 0xFF, 0xF5, 0x30,   // MOV A,30h; ADD A,#0FFh; MOV 30h,A
                   0xE5, 0x31, 0x34, 0x00, 0xF5, 0x31,   // MOV A,31h; ADDC A,#0; MOV 31h,A
                   0x80, 0xF2});                         // SJMP 0000h
    // The run loop's store observer tells the recorder of the instructions' stores.
    const SignalHistory h = ArmedRun().Run({ByteSignal("x", 0x30, 2)}, 8 * 40);
    const auto& x = h.Changes(0);
    ASSERT_EQ(x.size(), 41u);
    for (std::size_t i = 1; i < x.size(); ++i) {
        EXPECT_EQ(x[i].value, (0xFFu * i) & 0xFFFF) << i;
        EXPECT_EQ(x[i].writer, 0x000A);  // the store of the second byte
    }

    // x++ as a compiler writes it stores only the low byte unless it carries: the value is taken
    // a few instructions later, stamped where the write took effect; a run stopped right after
    // such a write ends with it taken.
    Fresh();
    Place(0x0000, {0x05, 0x30, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,  // INC 30h; 10 NOP
                   0x80, 0xF2});
    const SignalHistory inc = ArmedRun().Run({ByteSignal("x", 0x30, 2)}, 13 * 3 + 1);
    ASSERT_EQ(inc.Changes(0).size(), 5u);
    EXPECT_EQ(inc.Changes(0)[3].value, 3u);
    EXPECT_EQ(inc.Changes(0)[3].cycle, 1u + 2 * 13);  // the INC of the third pass ends at cycle 27
    EXPECT_EQ(inc.Changes(0)[4].value, 4u);
    EXPECT_EQ(inc.Changes(0)[4].cycle, 1u + 3 * 13);
}

// Outside changes during a run take effect between two instructions and are stamped there, with
// no writing instruction: a byte a window stores, a byte the serial line delivers. An interrupt
// entry's own stores are stamped at the end of the hardware call (2 cycles into its step), written
// by the vector.
TEST(Signals, WindowSerialAndInterruptEntryStampedWhereTheyTookEffect) {
    Fresh();
    SerialLineClear();
    Place(0x0000, {0x02, 0x00, 0x30});                    // LJMP 0030h
    Place(0x000B, {0x02, 0x00, 0x50});                    // LJMP 0050h
    Place(0x0030, {0x75, 0x89, 0x22,                      // MOV TMOD,#22h
                   0x75, 0x8D, 0xFF,                      // MOV TH1,#0FFh
                   0x75, 0x8C, 0x9C, 0x75, 0x8A, 0x9C,    // MOV TH0,#9Ch; MOV TL0,#9Ch
                   0x75, 0x98, 0x50,                      // MOV SCON,#50h
                   0x75, 0xA8, 0x82,                      // MOV IE,#82h
                   0xD2, 0x8E, 0xD2, 0x8C,                // SETB TR1; SETB TR0
                   0x80, 0xFE});                          // SJMP $
    Place(0x0050, {0xB2, 0x90, 0x00, 0x32});              // CPL P1.0; NOP; RETI
    const uint8_t byte = 0x41;
    SerialLineSend(&byte, 1);

    ArmedRun run;
    uint64_t windowAt = 0, receivedAt = 0;
    std::vector<uint64_t> entries;
    run.before = [&](uint64_t cycles) {
        if (windowAt == 0 && cycles >= 777) {
            windowAt = cycles;
            SubmitInput({InputKind::DirectByte, 0xFE, 0, Sfr::P2});
        }
    };
    run.after = [&](const StepResult& step, uint64_t started) {
        if (receivedAt == 0 && (Get(Sfr::SCON) & 0x01)) receivedAt = started;
        if (step.interrupted) entries.push_back(started + 2);
    };
    const SignalHistory h = run.Run({PinSignal("P2.0", Sfr::P2, 0), BitSignal("RI", Sfr::SCON, 0),
                                     BitSignal("TF0", Sfr::TCON, 5), ByteSignal("SBUF", Sfr::SBUF)},
                                    1500);
    SerialLineClear();
    ASSERT_GT(windowAt, 0u);
    ASSERT_GT(receivedAt, 0u);
    ASSERT_GT(entries.size(), 5u);

    const auto& p20 = h.Changes(0);
    ASSERT_EQ(p20.size(), 2u);
    EXPECT_EQ(p20[1].value, 0u);
    EXPECT_EQ(p20[1].cycle, windowAt);
    EXPECT_EQ(p20[1].writer, kFromOutside);
    for (std::size_t s : {1u, 3u}) {
        const auto& received = h.Changes(s);
        ASSERT_EQ(received.size(), 2u) << s;
        EXPECT_EQ(received[1].cycle, receivedAt) << s;
        EXPECT_EQ(received[1].writer, kFromOutside) << s;
    }
    EXPECT_EQ(h.Changes(3)[1].value, byte);

    std::vector<uint64_t> cleared;
    for (const auto& c : h.Changes(2)) {
        if (&c == &h.Changes(2)[0] || c.value != 0) continue;
        cleared.push_back(c.cycle);
        EXPECT_EQ(c.writer, 0x000B);
    }
    EXPECT_EQ(cleared, entries);
}

TEST(Signals, BoundedStoreDropsOldestAndSaysFromWhenItIsComplete) {
    Fresh();
    PlaceTimerToggle();
    Recording full({PinSignal("P1.0", Sfr::P1, 0), ByteSignal("TL0", Sfr::TL0)});
    full.Run(20000);
    Fresh();
    PlaceTimerToggle();
    Recording small({PinSignal("P1.0", Sfr::P1, 0), ByteSignal("TL0", Sfr::TL0)}, 1024);
    small.Run(20000);

    SignalHistory all, once, often;
    all.Update(full.recorder);
    once.Update(small.recorder);  // read once at the end: the recorder's ring has lapped
    ASSERT_EQ(all.Dropped(), 0u);
    EXPECT_GT(once.Dropped(), 0u);
    EXPECT_GT(once.FirstCycle(), 0u);
    EXPECT_LE(once.ChangeCount(), 1024u + 2);
    for (uint64_t c = once.FirstCycle(); c <= once.LastCycle(); c += 7)
        for (std::size_t s = 0; s < 2; ++s) ASSERT_EQ(once.ValueAt(s, c), all.ValueAt(s, c)) << c;

    // A history of its own capacity that reads often keeps the newest quarter-to-whole of it.
    Fresh();
    PlaceTimerToggle();
    Recording stepwise({PinSignal("P1.0", Sfr::P1, 0), ByteSignal("TL0", Sfr::TL0)}, 1024);
    for (int i = 0; i < 200; ++i) {
        stepwise.Run(100);
        often.Update(stepwise.recorder);
    }
    EXPECT_GT(often.Dropped(), 0u);
    EXPECT_LE(often.ChangeCount(), 1024u + 2);
    for (uint64_t c = often.FirstCycle(); c <= often.LastCycle(); c += 7)
        for (std::size_t s = 0; s < 2; ++s) ASSERT_EQ(often.ValueAt(s, c), all.ValueAt(s, c)) << c;
}

// Named for the ThreadSanitizer run: a reader copies changes while a run records them.
TEST(Threads, SignalHistoryReadsWhileRecording) {
    Fresh();
    PlaceTimerToggle();
    ArmedRun::Choose({PinSignal("P1.0", Sfr::P1, 0), ByteSignal("TL0", Sfr::TL0)});
    std::atomic<bool> done{false};
    SignalHistory live;
    std::thread reader([&] {
        while (!done.load()) live.Update(LogicSignals);
        live.Update(LogicSignals);
    });
    ArmedRun().Loop(100000);
    done = true;
    reader.join();
    SignalHistory after;
    after.Update(LogicSignals);
    LogicSignals.SetSignals({});
    ASSERT_GT(after.ChangeCount(), 1000u);
    ASSERT_EQ(live.ChangeCount(), after.ChangeCount());
    for (std::size_t s = 0; s < 2; ++s)
        for (std::size_t i = 0; i < after.Changes(s).size(); ++i)
            ASSERT_EQ(live.Changes(s)[i].cycle, after.Changes(s)[i].cycle);
}

TEST(Signals, VcdReadsBackThroughOurReaderAndGtkwave) {
    Fresh();
    PlaceTimerToggle();
    Recording r({PinSignal("P1.0", Sfr::P1, 0), ByteSignal("TL0", Sfr::TL0), ByteSignal("total", 0x30, 2)});
    Set(0x30, 0x34);
    Set(0x31, 0x12);
    r.recorder.Begin(0);
    r.Run(2000);
    SignalHistory h;
    h.Update(r.recorder);
    const uint32_t clock = 11059200;
    std::ostringstream text;
    WriteVcd(h, clock, text);
    auto check = [&](const testing_vcd::Vcd& v, const char* what) {
        SCOPED_TRACE(what);
        EXPECT_EQ(v.error, "");
        EXPECT_EQ(v.timescale, "1ns");
        ASSERT_EQ(v.vars.size(), 3u);
        EXPECT_EQ(v.vars.at("P1.0").width, 1);
        EXPECT_EQ(v.vars.at("TL0").width, 8);
        EXPECT_EQ(v.vars.at("total").width, 16);
        EXPECT_EQ(v.vars.at("total").changes.at(0).second, 0x1234u);
        // Repeated values (a converter may write them) are not changes.
        std::vector<std::pair<uint64_t, uint64_t>> edges;
        for (auto& c : v.vars.at("P1.0").changes)
            if (edges.empty() || edges.back().second != c.second) edges.push_back(c);
        const auto& want = h.Changes(0);
        ASSERT_EQ(edges.size(), want.size());
        for (std::size_t i = 0; i < want.size(); ++i) {
            uint64_t ns = uint64_t(std::llround(double(want[i].cycle) * 12e9 / clock));
            EXPECT_EQ(edges[i].first, ns);
            EXPECT_EQ(edges[i].second, want[i].value);
        }
    };
    check(testing_vcd::ReadVcd(text.str()), "written");

    if (std::system("command -v vcd2fst >/dev/null && command -v fst2vcd >/dev/null") != 0)
        GTEST_SKIP() << "GTKWave's vcd2fst is not installed";
    std::string base = ::testing::TempDir() + "signals_" + std::to_string(::getpid());
    std::ofstream(base + ".vcd") << text.str();
    ASSERT_EQ(std::system(("vcd2fst " + base + ".vcd " + base + ".fst >/dev/null 2>&1").c_str()), 0);
    ASSERT_EQ(std::system(("fst2vcd " + base + ".fst > " + base + ".back.vcd 2>/dev/null").c_str()), 0);
    std::ifstream back(base + ".back.vcd");
    std::stringstream s;
    s << back.rdbuf();
    check(testing_vcd::ReadVcd(s.str()), "through vcd2fst and fst2vcd");
    std::remove((base + ".vcd").c_str());
    std::remove((base + ".fst").c_str());
    std::remove((base + ".back.vcd").c_str());
}
