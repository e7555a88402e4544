// The debugger's stop conditions on small programs: step over, step out, run to an address, data
// breakpoints, and the shadow call stack under calls, recursion, interrupts and SP tricks.
#include <gtest/gtest.h>

#include "Debugger.h"
#include "HexText.h"
#include "RunThreads.h"
#include "TestMachine.h"

using namespace testing_machine;

namespace {

// Ends a run that the condition under test would let go on forever.
struct CycleLimit {
    uint64_t limit;
    bool BeforeStep(uint64_t cycles, StopReason* r) {
        *r = StopReason::MaxCycles;
        return cycles >= limit;
    }
    bool AfterStep(uint16_t, const StepResult&, StopReason*) { return false; }
};

class DebuggerTest : public ::testing::Test {
protected:
    void SetUp() override {
        Fresh();
        SingleStepMode = 0;
        ArmDebugStops(nullptr);
    }
    void TearDown() override {
        RemoveAllBreakpoints();
        ArmDebugStops(nullptr);
    }
    StopReason Run(const OneShotStop* stop = nullptr, uint64_t limit = 100000, uint8_t scrUpdate = 0) {
        ArmDebugStops(stop);
        RunSettings rs;
        rs.ScrUpdate = scrUpdate;
        TRunThread t(nullptr, rs);
        CycleLimit extras{limit};
        t.RunSimulation(extras);
        return t.Reason;
    }
    StopReason StepOver() {
        OneShotStop s = StepOverStop();
        return Run(&s);
    }
    StopReason StepOut() {
        OneShotStop s = StepOutStop();
        return Run(&s);
    }
    int watchId = 0;
    StopReason RunTo(uint16_t a) {
        OneShotStop s = RunToStop(a);
        return Run(&s);
    }
    StopReason Watch(WatchSpace space, uint16_t address, WatchMatch match = WatchMatch::AnyWrite,
                     uint8_t value = 0) {
        RemoveDataBreakpoints();
        watchId = AddDataBreakpoint({space, address, match, value, true});
        return Run();
    }
};

// Recursion: a routine that calls itself until R7 is 0, then calls a leaf.
void PlaceRecursion() {
    Place(0x00, {0x75, 0x81, 0x30, 0x7F, 0x03, 0x12, 0x00, 0x20, 0x00, 0x80, 0xFE});
    Place(0x20, {0x1F, 0xEF, 0x60, 0x03, 0x12, 0x00, 0x20, 0x11, 0x30, 0x22});  // 0027: ACALL 0030
    Place(0x30, {0x05, 0x40, 0x22});                                             // INC 40h; RET
}

TEST_F(DebuggerTest, StepOverRunsNestedAndRecursiveCallsToTheNextInstruction) {
    PlaceRecursion();
    EXPECT_EQ(StepOver(), StopReason::Reached);  // MOV SP: a plain step
    EXPECT_EQ(ProgramCounter, 0x0003);
    StepOver();
    EXPECT_EQ(StepOver(), StopReason::Reached);
    EXPECT_EQ(ProgramCounter, 0x0008);
    EXPECT_EQ(Get(Sfr::SP), 0x30);
    EXPECT_EQ(Get(0x40), 3);  // every level's leaf call ran
    EXPECT_TRUE(CallStackSnapshot().empty());

    // The call stack at the innermost leaf: the outer call, two recursive calls, the ACALL.
    Fresh();
    PlaceRecursion();
    EXPECT_EQ(RunTo(0x0030), StopReason::Reached);
    auto frames = CallStackSnapshot();
    ASSERT_EQ(frames.size(), 4u);
    EXPECT_EQ(frames[0].site, 0x0005);
    EXPECT_EQ(frames[0].returnAddress, 0x0008);
    EXPECT_EQ(frames[1].site, 0x0024);
    EXPECT_EQ(frames[2].target, 0x0020);
    EXPECT_EQ(frames[3].site, 0x0027);
    EXPECT_EQ(frames[3].target, 0x0030);
    EXPECT_EQ(frames[3].sp, Get(Sfr::SP));
    EXPECT_EQ(BreakpointTable[0x0030], 0);  // run to an address leaves the breakpoints alone

    // Step out of the leaf: back after the ACALL, one frame fewer.
    EXPECT_EQ(StepOut(), StopReason::Reached);
    EXPECT_EQ(ProgramCounter, 0x0029);
    EXPECT_EQ(CallStackSnapshot().size(), 3u);
    // A breakpoint inside a stepped-over call still stops the run there.
    Fresh();
    PlaceRecursion();
    ProgramCounter = 0x0005;
    WriteDirectUser(Sfr::SP, 0x30);
    WriteDirectUser(0x07, 3);
    AddCodeBreakpoint(0x0030);
    EXPECT_EQ(StepOver(), StopReason::Breakpoint);
    EXPECT_EQ(ProgramCounter, 0x0030);
}

TEST_F(DebuggerTest, InterruptsInsideASteppedOverCallDoNotEndTheStep) {
    // Timer 0 in mode 2 overflows every 16 cycles; its routine counts in 41h.
    Place(0x00, {0x02, 0x00, 0x40});
    Place(0x0B, {0x05, 0x41, 0x32});
    Place(0x40, {0x75, 0x81, 0x30, 0x75, 0x89, 0x02, 0x75, 0x8C, 0xF0, 0x75, 0x8A, 0xF0,
                 0x75, 0xA8, 0x82, 0xD2, 0x8C, 0x12, 0x00, 0x60, 0x00, 0x80, 0xFE});
    Place(0x60, {0x7E, 0x32, 0xDE, 0xFE, 0x22});  // MOV R6,#50; DJNZ R6,$; RET
    EXPECT_EQ(RunTo(0x0051), StopReason::Reached);
    EXPECT_EQ(StepOver(), StopReason::Reached);
    EXPECT_EQ(ProgramCounter, 0x0054);
    EXPECT_EQ(Get(Sfr::SP), 0x30);
    EXPECT_GE(Get(0x41), 5);

    // Inside the routine: the interrupt in service is on the call stack, above the call.
    Fresh();
    Place(0x00, {0x02, 0x00, 0x40});
    Place(0x0B, {0x05, 0x41, 0x32});
    Place(0x40, {0x75, 0x81, 0x30, 0x75, 0x89, 0x02, 0x75, 0x8C, 0xF0, 0x75, 0x8A, 0xF0,
                 0x75, 0xA8, 0x82, 0xD2, 0x8C, 0x12, 0x00, 0x60, 0x00, 0x80, 0xFE});
    Place(0x60, {0x7E, 0x32, 0xDE, 0xFE, 0x22});
    EXPECT_EQ(RunTo(0x000D), StopReason::Reached);
    auto frames = CallStackSnapshot();
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[0].target, 0x0060);
    EXPECT_TRUE(frames[1].interrupt);
    EXPECT_EQ(frames[1].target, 0x000B);
    EXPECT_EQ(frames[1].returnAddress, frames[1].site);
    // Step out of the interrupt routine: after its RETI, back in the loop.
    EXPECT_EQ(StepOut(), StopReason::Reached);
    EXPECT_EQ(ProgramCounter, frames[1].returnAddress);
    EXPECT_EQ(CallStackSnapshot().size(), 1u);
    // Step out of the routine: interrupts taken meanwhile return without stopping it.
    EXPECT_EQ(StepOut(), StopReason::Reached);
    EXPECT_EQ(ProgramCounter, 0x0054);
}

TEST_F(DebuggerTest, StepOutSurvivesSpAdjustmentsAndRetAsAComputedJump) {
    // 0010 saves two registers and calls 0020, which drops its return address and jumps back.
    Place(0x00, {0x75, 0x81, 0x30, 0x12, 0x00, 0x10, 0x00, 0x80, 0xFE});
    Place(0x10, {0xC0, 0xE0, 0xC0, 0xF0, 0x12, 0x00, 0x20, 0xD0, 0xF0, 0xD0, 0xE0, 0x22});
    Place(0x20, {0x15, 0x81, 0x15, 0x81, 0x02, 0x00, 0x17});
    EXPECT_EQ(RunTo(0x0017), StopReason::Reached);
    auto frames = CallStackSnapshot();
    ASSERT_EQ(frames.size(), 1u);  // the abandoned frame is gone
    EXPECT_EQ(frames[0].target, 0x0010);
    EXPECT_EQ(StepOut(), StopReason::Reached);  // POPs take SP below the start, RET ends it
    EXPECT_EQ(ProgramCounter, 0x0006);

    // RET as a computed jump (PUSH the target, RET) does not end a Step Out.
    Fresh();
    Place(0x00, {0x75, 0x81, 0x30, 0x12, 0x00, 0x10, 0x00, 0x80, 0xFE});
    Place(0x10, {0x74, 0x20, 0xC0, 0xE0, 0xE4, 0xC0, 0xE0, 0x22});
    Place(0x20, {0x05, 0x42, 0x22});
    EXPECT_EQ(RunTo(0x0010), StopReason::Reached);
    EXPECT_EQ(StepOut(), StopReason::Reached);
    EXPECT_EQ(ProgramCounter, 0x0006);
    EXPECT_EQ(Get(0x42), 1);
    EXPECT_TRUE(CallStackSnapshot().empty());

    // A program that resets SP and calls again and again: the stack does not grow.
    Fresh();
    Place(0x00, {0x75, 0x81, 0x30, 0x12, 0x00, 0x00});
    Run(nullptr, 10000);
    EXPECT_EQ(CallStackSnapshot().size(), 1u);
    // Endless recursion wraps SP round the whole memory: the stack stays bounded.
    Fresh();
    Place(0x00, {0x12, 0x00, 0x00});
    Run(nullptr, 100000);
    EXPECT_LE(CallStackSnapshot().size(), size_t(kMaxCallFrames));
}

TEST_F(DebuggerTest, DataBreakpointOnABitStopsAfterTheWritingInstruction) {
    // MOV 21h,#01; ORL 21h,#02; SETB 0Bh (21h.3); NOP; SJMP $
    Place(0x00, {0x75, 0x21, 0x01, 0x43, 0x21, 0x02, 0xD2, 0x0B, 0x00, 0x80, 0xFE});
    EXPECT_EQ(Watch(WatchSpace::Bit, 0x0B, WatchMatch::Changes), StopReason::Watch);
    EXPECT_EQ(ProgramCounter, 0x0008);
    WatchHitInfo hit = LastWatchHit();
    EXPECT_TRUE(hit.hit);
    EXPECT_EQ(hit.id, watchId);
    EXPECT_EQ(StoppingBreakpoint(), watchId);
    EXPECT_EQ(hit.writer, 0x0006);
    EXPECT_EQ(hit.value, 0x0B);

    ProgramCounter = 0;
    EXPECT_EQ(Watch(WatchSpace::Bit, 0x0B), StopReason::Watch);  // any store to the byte
    EXPECT_EQ(ProgramCounter, 0x0003);
    ProgramCounter = 0;
    WriteDirectUser(0x21, 0);
    EXPECT_EQ(Watch(WatchSpace::Bit, 0x0B, WatchMatch::Equals, 1), StopReason::Watch);
    EXPECT_EQ(LastWatchHit().writer, 0x0006);
    // A disabled data breakpoint does nothing.
    ProgramCounter = 0;
    RemoveDataBreakpoints();
    AddDataBreakpoint({WatchSpace::Bit, 0x0B, WatchMatch::AnyWrite, 0, false});
    EXPECT_EQ(Run(nullptr, 1000), StopReason::MaxCycles);
}

TEST_F(DebuggerTest, DataBreakpointOnTimerRegistersWrittenByOverflows) {
    // MOV TMOD,#01; MOV TL0,#F0; SETB TR0; loop: NOP; SJMP loop
    Place(0x00, {0x75, 0x89, 0x01, 0x75, 0x8A, 0xF0, 0xD2, 0x8C, 0x00, 0x80, 0xFD});
    EXPECT_EQ(Watch(WatchSpace::Sfr, Sfr::TH0, WatchMatch::Changes), StopReason::Watch);
    EXPECT_EQ(Get(Sfr::TH0), 1);
    EXPECT_GE(LastWatchHit().writer, 0x0008);
    // TF0 set by the overflow of TH0 (256 x 256 cycles later).
    ProgramCounter = 0;
    EXPECT_EQ(Watch(WatchSpace::Bit, 0x8D, WatchMatch::Equals, 1), StopReason::Watch);
    EXPECT_EQ(ReadBit(0x8D), 1);
    EXPECT_EQ(Get(Sfr::TH0), 0);
}

TEST_F(DebuggerTest, DataBreakpointsOnExternalAndUpperRam) {
    // MOV DPTR,#1234h; MOV A,#55h; MOVX @DPTR,A; MOV R0,#34h; MOVX @R0,A; NOP; SJMP $
    Place(0x00, {0x90, 0x12, 0x34, 0x74, 0x55, 0xF0, 0x78, 0x34, 0xF2, 0x00, 0x80, 0xFE});
    EXPECT_EQ(Watch(WatchSpace::Xram, 0x1234, WatchMatch::Equals, 0x55), StopReason::Watch);
    EXPECT_EQ(ProgramCounter, 0x0006);
    EXPECT_EQ(LastWatchHit().writer, 0x0005);
    ProgramCounter = 0;
    EXPECT_EQ(Watch(WatchSpace::Xram, 0xFF34), StopReason::Watch);  // P2 (FFh) gives the high byte
    EXPECT_EQ(ProgramCounter, 0x0009);
    EXPECT_EQ(LastWatchHit().writer, 0x0008);
    ProgramCounter = 0;
    EXPECT_EQ(Watch(WatchSpace::Xram, 0x1234, WatchMatch::Equals, 0x66), StopReason::MaxCycles);

    // 90h as internal RAM is the 8052's upper RAM through @R1, not P1.
    Fresh();
    // MOV 90h,#01; MOV R1,#90h; MOV @R1,#07; NOP; SJMP $
    Place(0x00, {0x75, 0x90, 0x01, 0x79, 0x90, 0x77, 0x07, 0x00, 0x80, 0xFE});
    EXPECT_EQ(Watch(WatchSpace::Iram, 0x90), StopReason::Watch);
    EXPECT_EQ(ProgramCounter, 0x0007);
    ProgramCounter = 0;
    EXPECT_EQ(Watch(WatchSpace::Sfr, 0x90), StopReason::Watch);
    EXPECT_EQ(ProgramCounter, 0x0003);

    // Windows still get their refreshes while a data breakpoint holds the stores on the slow
    // path, and none when refreshes are off.
    RecordingHooks hooks;
    InstallStoreRefreshHooks(&hooks);
    ProgramCounter = 0;
    RemoveDataBreakpoints();
    AddDataBreakpoint({WatchSpace::Xram, 0x4000, WatchMatch::AnyWrite, 0, true});
    Run(nullptr, 20, 1);
    EXPECT_GT(hooks.CountFor(0x90), 0);
    hooks.direct.clear();
    ProgramCounter = 0;
    Run(nullptr, 20, 0);
    EXPECT_TRUE(hooks.direct.empty());
    InstallStoreRefreshHooks(nullptr);
}

// Step Out and Step Over follow the frame on the shadow call stack, not SP alone: a push and pop
// before a later RET does not end Step Out, and a routine that pops its return address to read
// inline data and jumps back ends Step Over once the frame is gone.
TEST_F(DebuggerTest, StepOutAndStepOverEndWhenTheirFrameIsUnwound) {
    // 0010: PUSH ACC; POP ACC; ACALL 0020; RET.  0020: RET.
    Place(0x00, {0x75, 0x81, 0x30, 0x12, 0x00, 0x10, 0x00, 0x80, 0xFE});
    Place(0x10, {0xC0, 0xE0, 0xD0, 0xE0, 0x11, 0x20, 0x22});
    Place(0x20, {0x22});
    EXPECT_EQ(RunTo(0x0012), StopReason::Reached);  // after the PUSH
    EXPECT_EQ(StepOut(), StopReason::Reached);
    EXPECT_EQ(ProgramCounter, 0x0006);

    // LCALL 0010 followed by "hi",0; the routine pops its return address, reads the text and
    // jumps past it with JMP @A+DPTR.
    Fresh();
    Place(0x00, {0x75, 0x81, 0x30, 0x12, 0x00, 0x10, 'h', 'i', 0x00, 0x00, 0x80, 0xFE});
    Place(0x10, {0xD0, 0x83, 0xD0, 0x82,       // POP DPH; POP DPL
                 0xE4, 0x93, 0xA3, 0x70, 0xFB,   // loop: CLR A; MOVC A,@A+DPTR; INC DPTR; JNZ loop
                 0xE4, 0x73});                   // CLR A; JMP @A+DPTR
    EXPECT_EQ(RunTo(0x0003), StopReason::Reached);
    EXPECT_EQ(StepOver(), StopReason::Reached);
    EXPECT_EQ(ProgramCounter, 0x0014);  // the first instruction after the frame was popped
    EXPECT_EQ(Get(Sfr::SP), 0x30);
}

// A line step from a routine's last line stops at the same line of the caller in recursion (its
// call depth differs), not only at another line.
TEST_F(DebuggerTest, LineStepStopsAtTheSameLineInTheCallersFrame) {
    Place(0x00, {0x75, 0x81, 0x30, 0x7F, 0x03, 0x12, 0x00, 0x20, 0x80, 0xFE});
    Place(0x20, {0x1F, 0xEF, 0x60, 0x03, 0x12, 0x00, 0x20, 0x05, 0x41, 0x22});
    // Lines start at 0000, 0005, 0008 (main), 0020, 0024 and 0029 (the routine's last line).
    EXPECT_EQ(RunTo(0x0029), StopReason::Reached);
    EXPECT_EQ(CallDepth(), 3);
    OneShotStop line;
    for (uint16_t a : {0x0000, 0x0005, 0x0008, 0x0020, 0x0024}) line.addresses.set(a);
    line.sameLineAddresses.set(0x0029);
    line.depth = CallDepth();
    line.stack = OneShotStop::Stack::AtMost;
    line.stackLimit = Get(Sfr::SP);
    EXPECT_EQ(Run(&line), StopReason::Reached);
    EXPECT_EQ(ProgramCounter, 0x0029);
    EXPECT_EQ(CallDepth(), 2);
}

// A data breakpoint reacts to every store an instruction makes, also of the byte it finds, and to
// the hardware's stores (the parity bit, the timers) only when they change the byte.
TEST_F(DebuggerTest, DataBreakpointsIgnoreUnchangedHardwareStores) {
    // NOP; NOP; MOV PSW,#00h; NOP; SJMP $
    Place(0x00, {0x00, 0x00, 0x75, 0xD0, 0x00, 0x00, 0x80, 0xFE});
    EXPECT_EQ(Watch(WatchSpace::Sfr, Sfr::PSW), StopReason::Watch);
    EXPECT_EQ(LastWatchHit().writer, 0x0002);
    // Timer 0 rewrites TH0 unchanged, Timer 2 TH2, until they really change.
    for (uint16_t th : {Sfr::TH0, Sfr::TH2}) {
        Fresh();
        // MOV TMOD,#01h; MOV TCON,#10h; MOV T2CON,#04h; loop: NOP; SJMP loop
        Place(0x00, {0x75, 0x89, 0x01, 0x75, 0x88, 0x10, 0x75, 0xC8, 0x04, 0x00, 0x80, 0xFD});
        EXPECT_EQ(Watch(WatchSpace::Sfr, th), StopReason::Watch) << th;
        EXPECT_EQ(Get(th), 1) << th;
    }
}

// Breakpoints have ids: adding one at an address twice gives its id, disabling keeps it listed,
// and the id of the breakpoint that stopped a run is known afterwards.
TEST_F(DebuggerTest, BreakpointsHaveIdsAndTellWhichOneStopped) {
    Place(0x00, {0x00, 0x00, 0x75, 0x30, 0x07, 0x00, 0x80, 0xFE});
    const int code = AddCodeBreakpoint(0x0001, "main.c:3");
    EXPECT_EQ(AddCodeBreakpoint(0x0001), code);
    const int data = AddDataBreakpoint({WatchSpace::Iram, 0x30, WatchMatch::AnyWrite, 0, true});
    EXPECT_NE(code, data);
    EXPECT_EQ(CodeBreakpointAt(0x0001), code);
    EXPECT_EQ(FindBreakpoint(code)->label, "main.c:3");
    EXPECT_EQ(Run(), StopReason::Breakpoint);
    EXPECT_EQ(StoppingBreakpoint(), code);
    EXPECT_TRUE(EnableBreakpoint(code, false));
    EXPECT_EQ(BreakpointTable[0x0001], 2);
    EXPECT_EQ(ListBreakpoints().size(), 2u);
    ProgramCounter = 0;
    EXPECT_EQ(Run(), StopReason::Watch);
    EXPECT_EQ(StoppingBreakpoint(), data);
    EXPECT_TRUE(RemoveBreakpoint(code));
    EXPECT_FALSE(RemoveBreakpoint(code));
    EXPECT_EQ(BreakpointTable[0x0001], 0);
    EXPECT_EQ(CodeBreakpointAt(0x0001), 0);
    ASSERT_EQ(ListBreakpoints().size(), 1u);
    EXPECT_EQ(ListBreakpoints()[0].id, data);
}

TEST_F(DebuggerTest, StopwatchAndWatchTexts) {
    Place(0x00, {0x00, 0x00, 0x12, 0x00, 0x10});  // NOP; NOP; LCALL 0010
    Place(0x10, {0x22});
    SingleStepMode = 1;
    Run();
    SingleStepMode = 0;
    EXPECT_EQ(CyclesLastRun, 1u);
    CyclesSinceZero = 0;
    EXPECT_EQ(RunTo(0x0010), StopReason::Reached);
    EXPECT_EQ(CyclesLastRun, 3u);
    EXPECT_EQ(CyclesSinceReset, 4u);
    EXPECT_EQ(CyclesSinceZero, 3u);
    ResetController();
    EXPECT_EQ(CyclesSinceReset, 0u);
    EXPECT_TRUE(CallStackSnapshot().empty());

    DataBreakpoint b;
    std::string error;
    ASSERT_TRUE(ParseWatchText("8D:BIT=1", &b, &error));
    EXPECT_EQ(WatchPlaceText(b) + ", " + WatchConditionText(b), "Bit 8Dh (88h.5), written as 1");
    ASSERT_TRUE(ParseWatchText("1234:xram", &b, &error));
    EXPECT_EQ(WatchPlaceText(b), "XRAM 1234h");
    for (const char* bad : {"12345:xram", "100", "30:sfr", "30:code", "8D:bit=2", "30=1FF", ""})
        EXPECT_FALSE(ParseWatchText(bad, &b, &error)) << bad;
}

// Every "h" number the program writes follows the assembler: no number starts with a letter.
TEST(HexText, AssemblerNotationInEveryText) {
    EXPECT_EQ(HexByteText(0x3A), "3Ah");
    EXPECT_EQ(HexByteText(0xA5), "0A5h");
    EXPECT_EQ(HexAddressText(0x0123), "0123h");
    EXPECT_EQ(HexAddressText(0x1F000), "0F000h");
    EXPECT_EQ(HexDigits(0x3A, 4), "003A");
    DataBreakpoint b;
    std::string error;
    ASSERT_TRUE(ParseWatchText("F000:xram=A5", &b, &error));
    EXPECT_EQ(WatchPlaceText(b) + ", " + WatchConditionText(b), "XRAM 0F000h, written as 0A5h");
}

}  // namespace
