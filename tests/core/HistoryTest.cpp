// History: instants rebuilt from checkpoints and the input log equal the run that reached them;
// searches backwards follow the breakpoint rules; a change in the past discards the future; the
// budget drops the oldest history.
#include <gtest/gtest.h>

#include <map>
#include <random>
#include <vector>

#include "Debugger.h"
#include "History.h"
#include "Inputs.h"
#include "RunThreads.h"
#include "TestMachine.h"

using namespace testing_machine;

namespace {

class HistoryTest : public ::testing::Test {
protected:
    void TearDown() override {
        SetHistoryBudget(0);
        SerialLineClear();
        RemoveAllBreakpoints();
        ArmDebugStops(nullptr);
    }
    // Random code after a set-up that starts Timer 0, Timer 1 as the baud-rate generator, the
    // receiver and every interrupt, with RETI at the vectors.
    void RandomProgram(unsigned seed) { RandomTimedProgram(seed, true); }
};

// One run of a random program with serial input, key presses, pin pulls, byte edits and a Reset,
// the same every time for a seed. `at(n)` is called between two steps, after the inputs of that
// instant; `stepped(result)` after each step.
template <class At, class Stepped>
void Scenario(unsigned seed, uint64_t steps, At at, Stepped stepped) {
    std::mt19937 random(seed * 77);
    const uint8_t text[] = "serial bytes for the receiver";
    SerialLineSend(text, sizeof text - 1);
    for (uint64_t n = 0; n < steps; ++n) {
        switch (random() % 4000) {
            case 0: SubmitInput(Input(InputKind::DevicePin, 3 * 8 + 2, random() & 1, uint8_t(DeviceId::Keypad))); break;
            case 1: SubmitInput(Input(InputKind::DirectByte, uint16_t(random() % 0x80), uint8_t(random()))); break;
            case 2: SubmitInput(Input(InputKind::ExternalByte, uint16_t(random()), uint8_t(random()))); break;
            case 3: SubmitInput(Input(InputKind::DevicePull, 1, uint8_t(random()), uint8_t(DeviceId::PortPanel))); break;
            case 4: SubmitInput(Input(InputKind::CodeByte, uint16_t(0x0200 + random() % 0x100), uint8_t(random()))); break;
            default: break;
        }
        if (n == steps / 2) SubmitInput(Input(InputKind::Reset, 0, 0));
        at(n);
        stepped(StepInstruction(ProgramCounter));
    }
}

// For random programs with interrupts, timers, serial input, key presses, byte edits and a Reset,
// the machine rebuilt at instruction K equals, bit for bit, the machine a run of K instructions
// gives: at random K and around every kind of event (an interrupt entry, a RETI, a received byte,
// a key press or edit), in any order, back and forward again; and a run through the recorded
// future arrives at the same present.
TEST_F(HistoryTest, RebuiltInstantsEqualTheRunThatReachedThem) {
    constexpr uint64_t kSteps = 3 * kCheckpointInterval + 5000;
    for (unsigned seed = 1; seed <= 3; ++seed) {
        // A first run finds the events; the instants to rebuild are around them and at random.
        RandomProgram(seed);
        // Each kind of event (an input kind, an interrupt entry, a RETI) with the instants it came at.
        std::map<int, std::vector<uint64_t>> events;
        struct Arrivals : InputObserver {
            std::map<int, std::vector<uint64_t>>* events;
            void InputApplied(const MachineInput& in) override { (*events)[int(in.kind)].push_back(in.stamp); }
        } arrivals;
        arrivals.events = &events;
        InstallInputObserver(&arrivals);
        Scenario(seed, kSteps, [](uint64_t) {}, [&](const StepResult& r) {
            if (r.interrupted) events[100].push_back(Machine.instructions);
            else if (CodeMemory[r.executed] == 0x32) events[101].push_back(Machine.instructions);
        });
        InstallInputObserver(nullptr);
        std::mt19937 random(seed);
        std::map<uint64_t, MachineState> instants;
        for (const auto& [kind, stamps] : events)
            for (int i = 0; i < 3; ++i) {
                const uint64_t e = stamps[random() % stamps.size()];
                for (uint64_t k : {e - 1, e, e + 1})
                    if (k <= kSteps) instants.emplace(k, MachineState());
            }
        EXPECT_GE(events.size(), 7u) << "seed " << seed;  // bytes, pins, pulls, edits, Reset, entries, RETIs
        for (int i = 0; i < 10; ++i) instants.emplace(random() % kSteps, MachineState());
        instants.emplace(0, MachineState());

        // A second run, the same, keeps them.
        RandomProgram(seed);
        Scenario(seed, kSteps, [&](uint64_t n) {
            if (auto it = instants.find(n); it != instants.end()) it->second = SaveMachine();
        }, [](const StepResult&) {});
        if (auto it = instants.find(kSteps); it != instants.end()) it->second = SaveMachine();

        // The run with history, and the instants rebuilt from it.
        RandomProgram(seed);
        SetHistoryBudget(64u << 20);
        Scenario(seed, kSteps, [](uint64_t) {}, [](const StepResult&) { HistoryAfterStep(); });
        const MachineState present = SaveMachine();
        std::vector<uint64_t> order;
        for (const auto& [k, state] : instants) order.push_back(k);
        std::shuffle(order.begin(), order.end(), random);
        for (uint64_t k : order) {
            ASSERT_TRUE(HistoryGoTo(k)) << "seed " << seed << " K " << k;
            ASSERT_EQ(FirstMachineDifference(instants[k], SaveMachine()), "") << "seed " << seed << " K " << k;
            EXPECT_EQ(HistoryInPast(), k < kSteps);
        }
        ASSERT_TRUE(HistoryGoTo(kSteps));
        EXPECT_FALSE(HistoryInPast());
        EXPECT_EQ(FirstMachineDifference(present, SaveMachine()), "") << "seed " << seed;
        ASSERT_TRUE(HistoryGoTo(kSteps / 3));
        EXPECT_EQ(HistoryRunForward().kind, HistoryHit::Kind::None);
        EXPECT_FALSE(HistoryInPast());
        EXPECT_EQ(FirstMachineDifference(present, SaveMachine()), "") << "seed " << seed;
        SetHistoryBudget(0);
        SerialLineClear();
    }
}

}  // namespace

// A loop: 32h set once at the start, then INC 30h, INC 31h over and over (three instructions a
// round, 30h written at instants 3k+2, 31h at 3k+3).
void CountingLoop() {
    Fresh(true);
    Place(0x0000, {0x75, 0x32, 0x05,  // MOV 32h,#5
                   0x05, 0x30,        // 0003 INC 30h
                   0x05, 0x31,        // 0005 INC 31h
                   0x80, 0xFA});      // 0007 SJMP 0003h
    NoteCodeChanged();
}

void LiveSteps(uint64_t n) {
    for (uint64_t i = 0; i < n; ++i) {
        StepInstruction(ProgramCounter);
        HistoryAfterStep();
    }
}

DataBreakpoint Watch(uint16_t address) {
    DataBreakpoint w;
    w.address = address;
    return w;
}

// The last write and reverse continue find the latest instant where a forward run's breakpoints
// would have stopped, in the newest segment or several checkpoints back; the last write leaves the
// machine where it was, reverse continue goes there, and to the oldest history when nothing stops.
TEST_F(HistoryTest, SearchesBackwardsStopWhereAForwardRunWould) {
    CountingLoop();
    SetHistoryBudget(64u << 20);
    const uint64_t now = kCheckpointInterval + 10;
    LiveSteps(now);
    const MachineState present = SaveMachine();

    HistoryHit w = HistoryLastWrite({Watch(0x30)});
    EXPECT_EQ(w.kind, HistoryHit::Kind::Watch);
    EXPECT_EQ(w.instructions, now - (now + 1) % 3);  // the latest 3k+2
    EXPECT_EQ(w.pc, 0x0003);
    EXPECT_EQ(w.value, InternalRam[0x30]);
    w = HistoryLastWrite({Watch(0x32)});  // written once, two segments back
    EXPECT_EQ(w.kind, HistoryHit::Kind::Watch);
    EXPECT_EQ(w.instructions, 1u);
    EXPECT_EQ(w.value, 5);
    EXPECT_EQ(HistoryLastWrite({Watch(0x40)}).kind, HistoryHit::Kind::None);
    EXPECT_FALSE(HistoryInPast());
    EXPECT_EQ(FirstMachineDifference(present, SaveMachine()), "");

    AddCodeBreakpoint(0x0005);
    HistoryHit hit = HistoryReverseContinue(BreakpointHistoryStops());
    EXPECT_EQ(hit.kind, HistoryHit::Kind::Breakpoint);
    EXPECT_EQ(ProgramCounter, 0x0005);
    EXPECT_EQ(Machine.instructions, hit.instructions);
    EXPECT_LT(now - hit.instructions, 4u);
    EXPECT_TRUE(HistoryInPast());
    EXPECT_EQ(HistoryReverseContinue(BreakpointHistoryStops()).instructions, hit.instructions - 3);
    EXPECT_EQ(HistoryStepBack(2), 2u);
    EXPECT_EQ(Machine.instructions, hit.instructions - 5);
    OneShotStop lineStart;  // as Step Back by source line asks: the latest instant at 0007h
    lineStart.addresses.set(0x0007);
    HistoryStops byLine;
    byLine.oneShot = &lineStart;
    EXPECT_EQ(HistoryReverseContinue(byLine).kind, HistoryHit::Kind::Reached);
    EXPECT_EQ(ProgramCounter, 0x0007);
    EXPECT_EQ(Machine.instructions, hit.instructions - 8);  // at 0007h already: the round before

    RemoveAllBreakpoints();
    AddDataBreakpoint(Watch(0x32));
    hit = HistoryReverseContinue(BreakpointHistoryStops());
    EXPECT_EQ(hit.kind, HistoryHit::Kind::Watch);
    EXPECT_EQ(Machine.instructions, 1u);
    EXPECT_EQ(InternalRam[0x32], 5);
    hit = HistoryReverseContinue(BreakpointHistoryStops());
    EXPECT_EQ(hit.kind, HistoryHit::Kind::None);
    EXPECT_EQ(Machine.instructions, 0u);
    EXPECT_EQ(HistoryStepBack(), 0u);

    // A run from the oldest instant replays the recorded future up to the present.
    RemoveAllBreakpoints();
    EXPECT_EQ(HistoryRunForward().kind, HistoryHit::Kind::None);
    EXPECT_FALSE(HistoryInPast());
    EXPECT_EQ(FirstMachineDifference(present, SaveMachine()), "");
}

// A change made in the past (through SubmitInput) discards the recorded future after that instant
// unless the gate refuses it; a full budget drops the oldest checkpoints and the instants before
// them are out of reach, those after them still exact.
TEST_F(HistoryTest, ChangesInThePastAndTheBudget) {
    CountingLoop();
    SetHistoryBudget(64u << 20);
    LiveSteps(1000);
    ASSERT_TRUE(HistoryGoTo(500));
    static bool allow;
    InstallInputGate([](const MachineInput&) { return allow; });
    allow = false;
    EXPECT_FALSE(SubmitInput(Input(InputKind::DirectByte, 0x40, 7)));
    EXPECT_EQ(CurrentHistoryExtent().present, 1000u);
    allow = true;
    EXPECT_TRUE(SubmitInput(Input(InputKind::DirectByte, 0x40, 7)));
    InstallInputGate(nullptr);
    HistoryExtent e = CurrentHistoryExtent();
    EXPECT_FALSE(e.inPast);
    EXPECT_EQ(e.present, 500u);
    EXPECT_FALSE(HistoryGoTo(501));
    LiveSteps(100);
    const MachineState at600 = SaveMachine();
    ASSERT_TRUE(HistoryGoTo(499));
    EXPECT_EQ(InternalRam[0x40], 0);
    ASSERT_TRUE(HistoryGoTo(600));
    EXPECT_EQ(InternalRam[0x40], 7);
    EXPECT_EQ(FirstMachineDifference(at600, SaveMachine()), "");

    // Each checkpoint of this loop costs a few pages; the first one the whole machine.
    CountingLoop();
    SetHistoryBudget(sizeof(MachineState) + (64u << 10));
    for (int i = 0; i < 20; ++i) {
        SubmitInput(Input(InputKind::ExternalByte, uint16_t(i * 1024), 1));  // one more page differs each time
        LiveSteps(kCheckpointInterval);
    }
    e = CurrentHistoryExtent();
    EXPECT_GT(e.oldest, 0u);
    EXPECT_LE(e.bytes, HistoryBudget());
    EXPECT_FALSE(HistoryGoTo(e.oldest - 1));
    ASSERT_TRUE(HistoryGoTo(e.oldest + 7));
    EXPECT_EQ(Machine.instructions, e.oldest + 7);
    EXPECT_EQ(InternalRam[0x30], uint8_t((e.oldest + 7 + 1) / 3));
}
