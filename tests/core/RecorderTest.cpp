// The execution recorder on small programs with known counts: a loop with a branch taken on odd
// iterations, a recursive routine, an interrupt during a call, the trace ring and the cost of a
// run with the recorder off.
#include <gtest/gtest.h>

#include <numeric>

#include "Recorder.h"
#include "RunThreads.h"
#include "TestMachine.h"

using namespace testing_machine;

namespace {

class RecorderTest : public ::testing::Test {
protected:
    void SetUp() override {
        Fresh();
        ResetDebugCounters();
        SingleStepMode = 0;
        Recorder.Clear();
        ASSERT_TRUE(Recorder.Enable(8));
    }
    void TearDown() override {
        Recorder.Disable();
        Recorder.Clear();
    }
    // Runs to the end of the program on this thread; returns the run's machine cycles.
    uint64_t Run() {
        TRunThread t(nullptr, RunSettings());
        t.RunSimulation();
        instructions = t.Instructions;
        return t.CycleCount;
    }
    uint64_t SumOfCycles() const {
        uint64_t sum = 0;
        for (uint32_t a = 0; a < 0x10000; ++a) sum += Recorder.Cycles(uint16_t(a));
        return sum;
    }
    const CallEdge* FindEdge(const std::vector<CallEdge>& edges, uint16_t site, uint16_t target) {
        for (const CallEdge& e : edges)
            if (e.site == site && e.target == target) return &e;
        return nullptr;
    }
    uint64_t instructions = 0;
};

TEST_F(RecorderTest, LoopCountsBranchesAndCycles) {
    Place(0x0000, {0x7F, 0x0A,         // MOV R7,#10
                   0xEF,               // loop: MOV A,R7
                   0x30, 0xE0, 0x01,   // JNB ACC.0,skip (jumps on even R7)
                   0x0E,               // INC R6
                   0xDF, 0xF9,         // skip: DJNZ R7,loop
                   0x00});             // NOP
    ProgramEnd = 9;
    const uint64_t cycles = Run();
    EXPECT_EQ(Recorder.Starts(0x0000), 1u);
    EXPECT_EQ(Recorder.Starts(0x0002), 10u);
    EXPECT_EQ(Recorder.Starts(0x0003), 10u);
    EXPECT_EQ(Recorder.Taken(0x0003), 5u);  // R7 = 10, 8, 6, 4, 2
    EXPECT_EQ(Recorder.Starts(0x0006), 5u);
    EXPECT_EQ(Recorder.Taken(0x0007), 9u);  // DJNZ falls through once
    EXPECT_EQ(Recorder.Starts(0x0009), 1u);
    EXPECT_EQ(Recorder.Cycles(0x0003), 20u);
    EXPECT_EQ(Recorder.Cycles(0x0007), 20u);
    EXPECT_EQ(SumOfCycles(), cycles);
    EXPECT_EQ(Recorder.TotalCycles(), cycles);
    EXPECT_EQ(Recorder.TotalInstructions(), instructions);
    // A second run adds to the counts; Clear forgets them.
    ProgramCounter = 0;
    Run();
    EXPECT_EQ(Recorder.Starts(0x0002), 20u);
    Recorder.Clear();
    EXPECT_EQ(Recorder.Starts(0x0002), 0u);
    EXPECT_FALSE(Recorder.HasData());
    // With another step observer beside it the recorder is called through the observer list,
    // and counts the same.
    struct Counter final : StepObserver {
        uint64_t steps = 0;
        void Stepped(const StepInfo&) override { ++steps; }
    } other;
    ASSERT_TRUE(AddStepObserver(&other));
    ProgramCounter = 0;
    EXPECT_EQ(Run(), cycles);
    RemoveStepObserver(&other);
    EXPECT_EQ(other.steps, instructions);
    EXPECT_EQ(Recorder.Starts(0x0002), 10u);
    EXPECT_EQ(Recorder.Taken(0x0003), 5u);
    EXPECT_EQ(Recorder.Taken(0x0007), 9u);
    EXPECT_EQ(SumOfCycles(), cycles);
}

TEST_F(RecorderTest, RecursiveCallsCountEveryEdgeAndTheOutermostActivationOnce) {
    Place(0x0000, {0x02, 0x00, 0x10});        // LJMP main
    Place(0x0003, {0xDF, 0x01,                // f: DJNZ R7,again
                   0x22,                      // RET
                   0x12, 0x00, 0x03,          // again: LCALL f
                   0x22});                    // RET
    Place(0x0010, {0x7F, 0x03,                // main: MOV R7,#3
                   0x12, 0x00, 0x03,          // LCALL f
                   0x00});                    // NOP
    ProgramEnd = 0x15;
    const uint64_t cycles = Run();
    EXPECT_EQ(cycles, 22u);
    const auto edges = Recorder.Edges();
    ASSERT_EQ(edges.size(), 2u);
    const CallEdge* outer = FindEdge(edges, 0x0012, 0x0003);
    const CallEdge* inner = FindEdge(edges, 0x0006, 0x0003);
    ASSERT_TRUE(outer && inner);
    // Innermost f: DJNZ + RET = 4; middle: DJNZ + LCALL + 4 + RET = 10; outer: 2 + 2 + 10 + 2.
    EXPECT_EQ(outer->calls, 1u);
    EXPECT_EQ(outer->cycles, 16u);
    EXPECT_EQ(inner->calls, 2u);
    EXPECT_EQ(inner->cycles, 14u);
    EXPECT_FALSE(outer->interrupt);
    const auto f = Recorder.Entry(0x0003);
    EXPECT_EQ(f.calls, 3u);
    EXPECT_EQ(f.cycles, 16u);
    EXPECT_EQ(Recorder.Taken(0x0003), 2u);
    EXPECT_EQ(SumOfCycles(), cycles);
}

TEST_F(RecorderTest, InterruptDuringACallIsAnEdgeOfItsOwnInsideTheCall) {
    Place(0x0000, {0x02, 0x00, 0x50});        // LJMP main
    Place(0x0003, {0x02, 0x00, 0x20});        // INT0 vector: LJMP isr
    Place(0x0020, {0x0D, 0x32});              // isr: INC R5; RETI
    Place(0x0040, {0xD2, 0x89,                // sub: SETB IE0
                   0x00, 0x00,                // NOP; NOP
                   0x22});                    // RET
    Place(0x0050, {0x75, 0xA8, 0x81,          // main: MOV IE,#81h
                   0xD2, 0x88,                // SETB IT0
                   0x12, 0x00, 0x40,          // LCALL sub
                   0x00});                    // NOP
    ProgramEnd = 0x58;
    const uint64_t cycles = Run();
    EXPECT_EQ(Get(5), 1);
    const auto edges = Recorder.Edges();
    const CallEdge* call = FindEdge(edges, 0x0055, 0x0040);
    const CallEdge* irq = FindEdge(edges, 0x0042, 0x0003);
    ASSERT_TRUE(call && irq);
    EXPECT_TRUE(irq->interrupt);
    EXPECT_EQ(irq->calls, 1u);
    // The vector's step is charged the entry's 2 cycles and its LJMP's 2; then INC R5 and RETI.
    EXPECT_EQ(Recorder.Cycles(0x0003), 4u);
    EXPECT_EQ(Recorder.Starts(0x0003), 1u);
    const uint64_t isr = Recorder.Cycles(0x0003) + Recorder.Cycles(0x0020) + Recorder.Cycles(0x0021);
    EXPECT_EQ(isr, 7u);
    EXPECT_EQ(irq->cycles, isr);
    EXPECT_EQ(irq->instructions, 3u);
    uint64_t sub = isr;
    for (uint16_t a = 0x0040; a <= 0x0044; ++a) sub += Recorder.Cycles(a);
    EXPECT_EQ(call->cycles, sub);
    EXPECT_EQ(Recorder.Entry(0x0003).calls, 1u);
    EXPECT_EQ(SumOfCycles(), cycles);
}

TEST_F(RecorderTest, TraceKeepsTheLastInstructionsWithTheirRegisters) {
    Place(0x0000, {0x74, 0x01,         // MOV A,#1
                   0x04, 0x04, 0x04,   // INC A (3x)
                   0x90, 0x12, 0x34,   // MOV DPTR,#1234h
                   0x04, 0x04, 0x04,   // INC A (3x)
                   0x04, 0x04, 0x04});
    ProgramEnd = 13;
    Run();
    const auto trace = Recorder.Trace();
    ASSERT_EQ(trace.size(), 8u);  // the ring holds 8
    EXPECT_EQ(trace.back().address, 13);
    EXPECT_EQ(trace.back().a, 10);
    EXPECT_EQ(trace.back().dptr, 0x1234);
    EXPECT_EQ(trace.back().sp, 7);
    EXPECT_EQ(trace.back().cycle, Recorder.TotalCycles());
    EXPECT_EQ(trace.front().address, 4);
    EXPECT_EQ(trace[1].address, 5);
    EXPECT_EQ(trace[1].cycle, trace[0].cycle + 2);  // MOV DPTR took 2 cycles
    EXPECT_EQ(trace[2].cycle, trace[1].cycle + 1);
    // A single step records too.
    SingleStepMode = 1;
    ProgramCounter = 2;
    Run();
    EXPECT_EQ(Recorder.Trace().back().address, 2);
    EXPECT_EQ(Recorder.Starts(2), 2u);
}

TEST_F(RecorderTest, NothingIsRecordedWhileOff) {
    Recorder.Disable();
    Place(0x0000, {0x12, 0x00, 0x05, 0x80, 0x02, 0x04, 0x22});  // LCALL 5; SJMP 7; INC A; RET
    ProgramEnd = 6;
    Run();
    EXPECT_EQ(Recorder.TotalInstructions(), 0u);
    EXPECT_TRUE(Recorder.Edges().empty());
    // Switching it on while a routine is on the stack takes that routine over, not as a call.
    Fresh();
    ResetDebugCounters();
    // LCALL 6; SJMP 9; NOP; INC A; INC A; RET
    Place(0x0000, {0x12, 0x00, 0x06, 0x80, 0x04, 0x00, 0x04, 0x04, 0x22});
    ProgramEnd = 8;
    SingleStepMode = 1;
    Run();  // the call, recorded by nobody
    ASSERT_TRUE(Recorder.Enable(8));
    SingleStepMode = 0;
    Run();
    EXPECT_EQ(Recorder.Entry(0x0004).calls, 0u);
    EXPECT_EQ(Recorder.TotalInstructions(), 4u);
}

}  // namespace
