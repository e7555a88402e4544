// The machine as one value (copy, restore, replay of logged inputs), the cycles a step reports,
// the paced serial line, and pins against latches.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "Debugger.h"
#include "Inputs.h"
#include "RunThreads.h"
#include "TestMachine.h"

using namespace testing_machine;

namespace {

struct InputLog : InputObserver {
    std::vector<MachineInput> inputs;
    void InputApplied(const MachineInput& in) override { inputs.push_back(in); }
};

// Random code after a set-up that starts Timer 0, Timer 1 as the baud-rate generator, the receiver
// and every interrupt; a copy taken in the middle of the run and restored, with the inputs logged
// after it replayed at their stamps, gives the same machine as the first run.
TEST(MachineValue, ACopyRestoredAndReplayedReproducesTheRestOfTheRun) {
    for (unsigned seed = 1; seed <= 12; ++seed) {
        RandomTimedProgram(seed, false);
        InputLog log;
        InstallInputObserver(&log);
        Step(2000);
        const MachineState copy = SaveMachine();
        log.inputs.clear();
        const uint8_t text[] = {'a', 'b', 'c', 'd', 'e'};
        SerialLineSend(text, sizeof text);
        for (int i = 0; i < 6000; ++i) {
            if (i == 1000) SubmitInput(Input(InputKind::DevicePull, 3, 0xF3, uint8_t(DeviceId::PortPanel)));
            if (i == 1500) SubmitInput(Input(InputKind::ExternalByte, 0x1234, 0x5A));
            if (i == 2500) SubmitInput(Input(InputKind::DevicePin, 3 * 8 + 2, 1, uint8_t(DeviceId::PortPanel)));
            Step();
        }
        const MachineState first = SaveMachine();
        const std::vector<MachineInput> logged = log.inputs;

        SerialLineClear();
        RestoreMachine(copy);
        EXPECT_EQ(FirstMachineDifference(SaveMachine(), copy), "");
        size_t next = 0;
        for (int i = 0; i < 6000; ++i) {
            while (next < logged.size() && logged[next].stamp == Machine.instructions) ApplyInput(logged[next++]);
            Step();
        }
        InstallInputObserver(nullptr);
        EXPECT_EQ(next, logged.size()) << "seed " << seed;
        EXPECT_EQ(FirstMachineDifference(first, SaveMachine()), "") << "seed " << seed;
        EXPECT_TRUE(first == SaveMachine()) << "seed " << seed;
    }
}

// While TR0 = 1 in mode 1, TH0:TL0 advances exactly by the machine cycles counted, interrupt
// entries included; an entry is 2 machine cycles charged to the vector's first instruction, and
// the run loop, the stopwatch and the runner's extras count the same cycles.
TEST(Cycles, TimerZeroCountsEveryCycleTheStepsReportInterruptEntriesIncluded) {
    Fresh(true);
    Place(0x0000, {0x75, 0x89, 0x21,    // MOV TMOD,#21h (Timer 1 mode 2, Timer 0 mode 1)
                   0x75, 0x8D, 0xC0,    // MOV TH1,#C0h
                   0x75, 0xA8, 0x88,    // MOV IE,#88h (EA, ET1)
                   0x75, 0x88, 0x50,    // MOV TCON,#50h (TR1, TR0)
                   0xA4,                // loop: MUL AB
                   0x80, 0xFD});        // SJMP loop
    Place(0x001B, {0x32});              // RETI
    Step(4);
    const uint64_t start = Machine.cycles;
    const unsigned timer = Get(Sfr::TH0) * 256u + Get(Sfr::TL0);
    int entries = 0;
    uint64_t reported = 0;
    while (entries < 100) {
        const StepResult r = StepInstruction(ProgramCounter);
        reported += r.cycles;
        if (r.interrupted) {
            ++entries;
            EXPECT_EQ(r.executed, 0x001B);
            EXPECT_EQ(r.cycles, 2 + 2);  // the entry, then RETI
        }
    }
    EXPECT_EQ(Machine.cycles - start, reported);
    EXPECT_EQ((Get(Sfr::TH0) * 256u + Get(Sfr::TL0) - timer) & 0xFFFF, reported & 0xFFFF);

    // A run: the loop's count, the extras' sum and the stopwatch agree with the machine's total.
    struct Sum {
        uint64_t cycles = 0;
        int entries = 0;
        bool BeforeStep(uint64_t c, StopReason* r) {
            *r = StopReason::MaxCycles;
            return c >= 20000;
        }
        bool AfterStep(uint16_t, const StepResult& s, StopReason*) {
            cycles += s.cycles;
            entries += s.interrupted;
            return false;
        }
    } sum;
    ArmDebugStops(nullptr);
    SingleStepMode = 0;
    RunSettings rs;
    rs.ScrUpdate = 0;
    TRunThread run(nullptr, rs);
    const uint64_t before = Machine.cycles, sinceZero = CyclesSinceZero;
    run.RunSimulation(sum);
    EXPECT_GT(sum.entries, 0);
    EXPECT_EQ(run.CycleCount, sum.cycles);
    EXPECT_EQ(Machine.cycles - before, sum.cycles);
    EXPECT_EQ(CyclesLastRun, sum.cycles);
    EXPECT_EQ(CyclesSinceZero - sinceZero, sum.cycles);
}

// The line delivers a byte no earlier than one frame after the previous one, at the rate of the
// serial mode and its baud-rate source; with none running the next byte waits.
TEST(SerialLine, DeliversAtTheFramePaceOfTheModeAndItsBaudRateSource) {
    struct Case {
        const char* name;
        std::vector<uint8_t> setup;
        uint32_t frame;
    };
    const std::vector<Case> cases = {
        {"mode 1, Timer 1 reload FDh", {0x75, 0x89, 0x20, 0x75, 0x8D, 0xFD, 0xD2, 0x8E, 0x75, 0x98, 0x50}, 960},
        {"mode 1, SMOD", {0x75, 0x89, 0x20, 0x75, 0x8D, 0xFD, 0xD2, 0x8E, 0x75, 0x87, 0x80, 0x75, 0x98, 0x50}, 480},
        {"mode 3, Timer 1 reload FEh", {0x75, 0x89, 0x20, 0x75, 0x8D, 0xFE, 0xD2, 0x8E, 0x75, 0x98, 0xD0}, 704},
        {"mode 2", {0x75, 0x98, 0x90}, 59},
        {"mode 0", {0x75, 0x98, 0x10}, 8},
        {"mode 1, Timer 2 RCLK", {0x75, 0xCB, 0xFF, 0x75, 0xCA, 0xDC, 0x75, 0xC8, 0x24, 0x75, 0x98, 0x50}, 960},
    };
    for (const Case& c : cases) {
        Fresh(true);
        uint16_t at = 0;
        for (uint8_t b : c.setup) CodeMemory[at++] = b;
        // loop: JNB RI,loop; CLR RI; MOV A,SBUF; SJMP loop
        Place(at, {0x30, 0x98, 0xFD, 0xC2, 0x98, 0xE5, 0x99, 0x80, 0xF7});
        Step(int(c.setup.size() / 3) + 2);
        EXPECT_EQ(SerialFrameCycles(), c.frame) << c.name;
        struct Arrivals : InputObserver {
            std::vector<uint64_t> cycles;
            void InputApplied(const MachineInput&) override { cycles.push_back(Machine.cycles); }
        } arrivals;
        InstallInputObserver(&arrivals);
        const uint8_t bytes[] = {1, 2, 3, 4};
        SerialLineSend(bytes, sizeof bytes);
        while (arrivals.cycles.size() < 4 && Machine.cycles < 100000) Step();
        InstallInputObserver(nullptr);
        Step(4);
        ASSERT_EQ(arrivals.cycles.size(), 4u) << c.name;
        for (size_t i = 1; i < 4; ++i) {
            const uint64_t gap = arrivals.cycles[i] - arrivals.cycles[i - 1];
            EXPECT_GE(gap, c.frame) << c.name;
            EXPECT_LE(gap, c.frame + 8) << c.name;
        }
        EXPECT_EQ(Acc(), 4) << c.name;
    }
    // Mode 1 with Timer 1 stopped: nothing arrives until it runs.
    Fresh(true);
    Place(0x0000, {0x75, 0x89, 0x20, 0x75, 0x8D, 0xFD, 0x75, 0x98, 0x50,  // no SETB TR1
                   0x30, 0x98, 0xFD, 0xE5, 0x99, 0xD2, 0x8E, 0x80, 0xFE});  // JNB RI,$; MOV A,SBUF; SETB TR1
    const uint8_t one = 0x42;
    SerialLineSend(&one, 1);
    Step(3000);
    EXPECT_EQ(SerialLineWaiting(), 1u);
    EXPECT_EQ(ProgramCounter, 0x0009);
    SubmitInput(Input(InputKind::DirectByte, Sfr::TCON, 0x40));  // TR1
    Step(300);
    EXPECT_EQ(SerialLineWaiting(), 0u);
    EXPECT_EQ(Acc(), 0x42);
}

// Instructions read the pins (the latch AND every device's pull), read-modify-write instructions
// the latch; devices pull pins and never write the latch, and edges follow the pins.
TEST(Pins, InstructionsReadPinsReadModifyWriteKeepsTheLatchAndEdgesFollowPulls) {
    Fresh(true);
    SetDevicePull(DeviceId::PortPanel, 1, 0xFE);
    Exec({0xE5, 0x90});  // MOV A,P1
    EXPECT_EQ(Acc(), 0xFE);
    Exec({0x43, 0x90, 0x00});  // ORL P1,#0: the latch stays FFh
    EXPECT_EQ(Get(Sfr::P1), 0xFF);
    Exec({0xA2, 0x90});  // MOV C,P1.0: the pin
    EXPECT_EQ(Cy(), 0);
    Exec({0xB2, 0x90});  // CPL P1.0: the latch's bit, now 0
    EXPECT_EQ(Get(Sfr::P1), 0xFE);
    Exec({0xD2, 0x90});  // SETB P1.0
    // A held key survives the program writing the port; each device's pull is its own.
    SetDevicePull(DeviceId::Keypad, 1, 0x7F);
    Exec({0x75, 0x90, 0xFF});  // MOV P1,#0FFh
    EXPECT_EQ(Get(Sfr::P1), 0xFF);
    EXPECT_EQ(PortPins(1), 0x7E);
    SetDevicePull(DeviceId::Keypad, 1, 0xFF);
    EXPECT_EQ(PortPins(1), 0xFE);

    // INT0 in edge mode: a pull's falling edge requests; in level mode the request follows the pin.
    Set(Sfr::TCON, 0x01);
    SetDevicePull(DeviceId::Keypad, 3, 0xFB);
    EXPECT_EQ(Get(Sfr::TCON) & 0x02, 0x02);
    EXPECT_EQ(Get(Sfr::P3), 0xFF);
    Set(Sfr::TCON, 0x00);
    Exec({0x00});
    EXPECT_EQ(Get(Sfr::TCON) & 0x02, 0x02);
    SetDevicePull(DeviceId::Keypad, 3, 0xFF);
    Exec({0x00});
    EXPECT_EQ(Get(Sfr::TCON) & 0x02, 0x00);

    // A device whose pulls follow the latch (a matrix keypad's column follows its row).
    struct Matrix : PortLatchListener {
        void LatchChanged(int port, uint8_t latch) override {
            if (port == 1) SetDevicePull(DeviceId::MatrixKeypad, 1, (latch & 1) ? 0xFF : 0xEF);
        }
    } matrix;
    InstallPortLatchListener(&matrix);
    Exec({0x75, 0x90, 0xFE});  // MOV P1,#0FEh: row P1.0 low, the held key pulls column P1.4 low
    Exec({0xE5, 0x90});        // MOV A,P1
    EXPECT_EQ(Acc(), 0xEE);
    InstallPortLatchListener(nullptr);
    // The pulls belong to the machine value.
    const MachineState pulled = SaveMachine();
    SetDevicePull(DeviceId::MatrixKeypad, 1, 0xFF);
    RestoreMachine(pulled);
    EXPECT_EQ(PortPins(1), 0xEE);
}

// A 4x4 keypad key is an input (logged, stamped, replayable) that pulls pins, never a latch; the
// keypad belongs to the machine value, so a copy put back brings its keys and pulls back.
TEST(Board, KeypadKeysAreLoggedInputsAndPartOfTheMachineValue) {
    Fresh(true);
    AttachKeypad4x4(Keypad4x4Wiring{});
    InputLog log;
    InstallInputObserver(&log);
    Exec({0x75, 0x90, 0xFD});  // MOV P1,#0FDh: row 1 low
    SetKeypad4x4Key(6, true);  // row 1, column 2 (P1.6)
    ASSERT_EQ(log.inputs.size(), 1u);
    EXPECT_EQ(log.inputs[0].kind, InputKind::DeviceKey);
    EXPECT_EQ(log.inputs[0].stamp, Machine.instructions);
    Exec({0xE5, 0x90});  // MOV A,P1: the column follows the row
    EXPECT_EQ(Acc(), 0xBD);
    Exec({0x53, 0x90, 0xFF});  // ANL P1,#0FFh reads the latch
    EXPECT_EQ(Get(Sfr::P1), 0xFD);
    Exec({0x75, 0x90, 0xFE});  // row 0 low: the key's column is released
    EXPECT_EQ(PortPins(1), 0xFE);
    Exec({0x75, 0x90, 0xFD});
    const MachineState held = SaveMachine();
    SetKeypad4x4Key(6, false);
    EXPECT_EQ(PortPins(1), 0xFD);
    const MachineState released = SaveMachine();
    RestoreMachine(held);
    EXPECT_EQ(Keypad4x4Keys(), 1u << 6);
    EXPECT_EQ(PortPins(1), 0xBD);
    // The logged release, replayed, gives the same machine.
    ApplyInput(log.inputs.back());
    EXPECT_EQ(FirstMachineDifference(released, SaveMachine()), "");
    InstallInputObserver(nullptr);
    DetachBoard();
}

}  // namespace
