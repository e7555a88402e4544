// The interrupt and timer stage: acceptance by priority and polling order, the level stack,
// level-triggered requests, the hold after RETI and IE/IP writes, and Timers 0, 1 and 2.
#include <gtest/gtest.h>

#include "TestMachine.h"

using namespace testing_machine;

namespace {

// Fills code memory with NOPs except for a RETI at every vector.
void VectorsReturn() {
    for (uint16_t v : {0x03, 0x0B, 0x13, 0x1B, 0x23, 0x2B}) CodeMemory[v] = 0x32;
}

TEST(Interrupts, NothingIsTakenWhileEaIsClear) {
    Fresh();
    Set(Sfr::IE, 0x01);
    Set(Sfr::TCON, 0x03);  // IT0, IE0
    Exec({0x00});
    EXPECT_EQ(ProgramCounter, 0x0101);
    EXPECT_EQ(Get(Sfr::TCON) & 0x02, 0x02);
}

TEST(Interrupts, EntryPushesTheAddressAndRunsTheFirstInstructionOfTheRoutine) {
    Fresh();
    CodeMemory[0x0003] = 0x04;  // INC A at the vector
    Set(Sfr::IE, 0x81);
    Set(Sfr::TCON, 0x03);
    Exec({0x00}, 0x0123);
    EXPECT_EQ(Get(0x08), 0x23);
    EXPECT_EQ(Get(0x09), 0x01);
    EXPECT_EQ(Get(Sfr::SP), 0x09);
    EXPECT_EQ(Acc(), 0x01);
    EXPECT_EQ(ProgramCounter, 0x0004);
    EXPECT_EQ(Get(Sfr::TCON), 0x01);  // IE0 cleared on entry
    EXPECT_EQ(InterruptLevelStack[0], 1);
}

TEST(Interrupts, PollingOrderAtOneLevelAndTheRestWaitsForReti) {
    Fresh();
    VectorsReturn();
    Set(Sfr::IE, 0x83);
    Set(Sfr::TCON, 0x23);  // IT0, IE0, TF0
    Place(0x0100, {0x00, 0x00, 0x00});
    ProgramCounter = 0x0100;
    Step();  // IE0 taken; RETI at 0003h runs in the same step
    EXPECT_EQ(ProgramCounter, 0x0100);
    EXPECT_EQ(Get(Sfr::TCON) & 0x20, 0x20);
    Step();  // one instruction after RETI before the next interrupt
    EXPECT_EQ(ProgramCounter, 0x0101);
    Step();  // TF0 now
    EXPECT_EQ(ProgramCounter, 0x0101);
    EXPECT_EQ(Get(Sfr::TCON) & 0x20, 0x00);
}

TEST(Interrupts, HighPriorityWinsAndStacksItsLevel) {
    Fresh();
    CodeMemory[0x001B] = 0x00;
    Set(Sfr::IE, 0x89);  // EA, ET1, EX0
    Set(Sfr::IP, 0x08);  // PT1 high
    Set(Sfr::TCON, 0x83);
    Exec({0x00});
    EXPECT_EQ(Get(0x08), 0x00);
    EXPECT_EQ(ProgramCounter, 0x001C);
    EXPECT_EQ(InterruptLevelStack[0], 2);
    EXPECT_EQ(InterruptLevelStack[1], 0);
    EXPECT_EQ(Get(Sfr::TCON) & 0x02, 0x02);
    Step(3);  // low-level IE0 waits while the high-level routine runs
    EXPECT_EQ(ProgramCounter, 0x001F);
    Exec({0x32}, 0x0020);
    EXPECT_EQ(InterruptLevelStack[0], 0);
    EXPECT_EQ(ProgramCounter, 0x0100);
    Step();  // hold after RETI
    EXPECT_EQ(ProgramCounter, 0x0101);
    Step();
    EXPECT_EQ(InterruptLevelStack[0], 1);
    EXPECT_EQ(ProgramCounter, 0x0004);
}

TEST(Interrupts, HighInterruptsNestInsideALowRoutine) {
    Fresh();
    Set(Sfr::IE, 0x83);
    Set(Sfr::IP, 0x02);  // PT0 high
    InterruptLevelStack.Set(0, 1);
    Set(Sfr::TCON, 0x03);  // IE0 (low) waits
    Exec({0x00});
    EXPECT_EQ(ProgramCounter, 0x0101);
    Set(Sfr::TCON, 0x23);
    Step();
    EXPECT_EQ(ProgramCounter, 0x000C);
    EXPECT_EQ(InterruptLevelStack[0], 2);
    EXPECT_EQ(InterruptLevelStack[1], 1);
}

TEST(Interrupts, SerialAndTimer2KeepTheirRequestBits) {
    Fresh();
    Set(Sfr::IE, 0x90);
    Set(Sfr::SCON, 0x02);
    Exec({0x00});
    EXPECT_EQ(ProgramCounter, 0x0024);
    EXPECT_EQ(Get(Sfr::SCON), 0x02);
    // Timer 2's vector is taken on the 8051 too when a program raises TF2.
    Fresh(false);
    Set(Sfr::IE, 0xA0);
    Set(Sfr::T2CON, 0x80);
    Exec({0x00});
    EXPECT_EQ(ProgramCounter, 0x002C);
    EXPECT_EQ(Get(Sfr::T2CON), 0x80);
}

TEST(Interrupts, AnInstructionWritingIeLetsOneMoreInstructionRun) {
    Fresh();
    Set(Sfr::TCON, 0x03);
    Place(0x0100, {0x75, 0xA8, 0x81, 0x00, 0x00});  // MOV IE,#81h; NOP; NOP
    ProgramCounter = 0x0100;
    Step();
    EXPECT_EQ(ProgramCounter, 0x0103);
    Step();
    EXPECT_EQ(ProgramCounter, 0x0104);
    Step();
    EXPECT_EQ(ProgramCounter, 0x0004);
    EXPECT_EQ(Get(0x08), 0x04);
}

TEST(Interrupts, LevelTriggeredFollowsThePinWhateverTheEnables) {
    Fresh();
    Set(Sfr::P3, 0xFB);  // INT0 low, IT0 = 0, nothing enabled
    Exec({0x00});
    EXPECT_EQ(Get(Sfr::TCON) & 0x02, 0x02);
    Set(Sfr::P3, 0xFF);
    Exec({0x00});
    EXPECT_EQ(Get(Sfr::TCON) & 0x02, 0x00);
}

TEST(Interrupts, AHeldLowLevelPinReentersAfterOneInstruction) {
    Fresh();
    VectorsReturn();
    Set(Sfr::IE, 0x81);
    Set(Sfr::P3, 0xFB);
    Place(0x0100, {0x00, 0x00, 0x00, 0x00});
    ProgramCounter = 0x0100;
    Step();  // entered, RETI runs
    EXPECT_EQ(ProgramCounter, 0x0100);
    EXPECT_EQ(InterruptLevelStack[0], 0);
    Step();  // one instruction of the program
    EXPECT_EQ(ProgramCounter, 0x0101);
    Step();  // entered again
    EXPECT_EQ(ProgramCounter, 0x0101);
    Set(Sfr::P3, 0xFF);
    Step(2);
    EXPECT_EQ(ProgramCounter, 0x0103);
}

TEST(Timers, Timer0Modes) {
    Fresh();
    Set(Sfr::TMOD, 0x02);
    Set(Sfr::TCON, 0x10);
    Set(Sfr::TH0, 0x9C);
    Set(Sfr::TL0, 0xFF);
    Exec({0x80, 0xFE});  // a two-cycle instruction
    EXPECT_EQ(Get(Sfr::TL0), 0x9D);
    EXPECT_EQ(Get(Sfr::TCON) & 0x20, 0x20);

    Fresh();
    Set(Sfr::TMOD, 0x01);
    Set(Sfr::TCON, 0x10);
    Set(Sfr::TH0, 0xFF);
    Set(Sfr::TL0, 0xFE);
    Exec({0xA4});  // MUL AB, four cycles
    EXPECT_EQ(Get(Sfr::TH0), 0x00);
    EXPECT_EQ(Get(Sfr::TL0), 0x02);
    EXPECT_EQ(Get(Sfr::TCON) & 0x20, 0x20);

    Fresh();  // mode 0 with stray upper TL bits still overflows at the 13-bit count
    Set(Sfr::TCON, 0x10);
    Set(Sfr::TH0, 0xFF);
    Set(Sfr::TL0, 0xFF);
    Exec({0x00});
    EXPECT_EQ(Get(Sfr::TH0), 0x00);
    EXPECT_EQ(Get(Sfr::TL0), 0x00);
    EXPECT_EQ(Get(Sfr::TCON) & 0x20, 0x20);
}

TEST(Timers, GateStopsTimer0WhilePinIsLow) {
    Fresh();
    Set(Sfr::TMOD, 0x09);
    Set(Sfr::TCON, 0x10);
    Set(Sfr::P3, 0xFB);
    Exec({0x00});
    EXPECT_EQ(Get(Sfr::TL0), 0x00);
    Set(Sfr::P3, 0xFF);
    Exec({0x00});
    EXPECT_EQ(Get(Sfr::TL0), 0x01);
}

TEST(Timers, Timer0Mode3SplitsTheTimer) {
    Fresh();
    Set(Sfr::TMOD, 0x13);  // Timer 1 mode 1, Timer 0 mode 3
    Set(Sfr::TCON, 0x40);  // TR1 only
    Set(Sfr::TL0, 0x05);
    Set(Sfr::TH0, 0xFF);
    Set(Sfr::TH1, 0xFF);
    Set(Sfr::TL1, 0xFF);
    Exec({0x00});
    EXPECT_EQ(Get(Sfr::TL0), 0x05);
    EXPECT_EQ(Get(Sfr::TH0), 0x00);
    EXPECT_EQ(Get(Sfr::TCON) & 0x80, 0x80);  // from TH0
    EXPECT_EQ(Get(Sfr::TH1), 0x00);          // Timer 1 overflowed silently
    Set(Sfr::TCON, 0x00);
    Set(Sfr::TH1, 0xFF);
    Set(Sfr::TL1, 0xFF);
    Exec({0x00});  // Timer 1 counts even with TR1 = 0, TH0 does not
    EXPECT_EQ(Get(Sfr::TL1), 0x00);
    EXPECT_EQ(Get(Sfr::TH0), 0x00);
    EXPECT_EQ(Get(Sfr::TCON), 0x00);
}

TEST(Timers, Timer1StopsInMode3AndInCounterMode) {
    Fresh();
    Set(Sfr::TMOD, 0x30);
    Set(Sfr::TCON, 0x40);
    Exec({0x00});
    EXPECT_EQ(Get(Sfr::TL1), 0x00);
    Set(Sfr::TMOD, 0x50);
    Exec({0x00});
    EXPECT_EQ(Get(Sfr::TL1), 0x00);
    Set(Sfr::TMOD, 0x20);
    Set(Sfr::TH1, 0xFD);
    Set(Sfr::TL1, 0xFF);
    Exec({0x00});
    EXPECT_EQ(Get(Sfr::TL1), 0xFD);
    EXPECT_EQ(Get(Sfr::TCON), 0xC0);
}

TEST(Timers, Timer2AutoReloadCaptureAndBaudRate) {
    struct {
        uint8_t t2con, th2, tl2;
        int tf2;
    } cases[] = {{0x04, 0xFF, 0x00, 1}, {0x05, 0x00, 0x00, 1}, {0x34, 0xFF, 0x00, 0},
                 {0x35, 0xFF, 0x00, 0}};
    for (auto& c : cases) {
        Fresh(true);
        Set(Sfr::T2CON, c.t2con);
        Set(Sfr::TH2, 0xFF);
        Set(Sfr::TL2, 0xFF);
        Set(Sfr::RCAP2H, 0xFF);
        Set(Sfr::RCAP2L, 0x00);
        Exec({0x00});
        SCOPED_TRACE(c.t2con);
        EXPECT_EQ(Get(Sfr::TH2), c.th2);
        EXPECT_EQ(Get(Sfr::TL2), c.tl2);
        EXPECT_EQ(Get(Sfr::T2CON) >> 7, c.tf2);
    }
    Fresh(false);
    Set(Sfr::T2CON, 0x04);
    Exec({0x00});
    EXPECT_EQ(Get(Sfr::TL2), 0x00);
}

TEST(Timers, OverflowIsTakenAtTheNextStep) {
    Fresh();
    VectorsReturn();
    Set(Sfr::IE, 0x82);
    Set(Sfr::TMOD, 0x02);
    Set(Sfr::TH0, 0xFE);
    Set(Sfr::TL0, 0xFE);
    Set(Sfr::TCON, 0x10);
    Place(0x0100, {0x00, 0x00});
    ProgramCounter = 0x0100;
    Step();  // TL0 FEh -> FFh
    EXPECT_EQ(ProgramCounter, 0x0101);
    Step();  // overflow while counting for this NOP
    EXPECT_EQ(ProgramCounter, 0x0102);
    Step();  // entered at 000Bh, whose RETI runs in the same step
    EXPECT_EQ(Get(0x08), 0x02);
    EXPECT_EQ(ProgramCounter, 0x0102);
}

// The step skips its interrupt stage and keeps its timer set-up until a store changes what they
// depend on, and the run loop steps with watched stores (window refreshes) only every N-th
// instruction. Whatever it skips, every step must leave the machine that a step doing all the
// work leaves (MachineStateChanged before each step), in every timer mode, with interrupts of
// both levels, pin edges and the serial port.
TEST(StepForms, WatchedAndUnwatchedStepsLeaveTheSameMachine) {
    uint8_t program[] = {
        0x75, 0x89, 0x21,  // 0040 MOV TMOD,#21h (patched per run)
        0x75, 0x8D, 0xF0,  // MOV TH1,#F0h (patched per run)
        0x75, 0x8A, 0xF0,  // MOV TL0,#F0h
        0x75, 0x8C, 0xFF,  // MOV TH0,#FFh
        0x75, 0xCB, 0xFF,  // MOV RCAP2H,#FFh
        0x75, 0xCA, 0xC0,  // MOV RCAP2L,#C0h
        0x75, 0xC8, 0x04,  // MOV T2CON,#04h (TR2)
        0x75, 0x88, 0x55,  // MOV TCON,#55h (TR1, TR0, IT1, IT0)
        0x75, 0xB8, 0x0A,  // MOV IP,#0Ah (Timers 0 and 1 high)
        0x75, 0xA8, 0xBF,  // MOV IE,#BFh
        0x75, 0x98, 0x40,  // MOV SCON,#40h
        0xF5, 0x99,        // 0061 loop: MOV SBUF,A
        0x04,              // INC A
        0xB2, 0xB2,        // CPL P3.2 (INT0 edges)
        0xB2, 0xB3,        // CPL P3.3 (INT1 edges, gate of Timer 1)
        0x24, 0x03,        // ADD A,#3
        0x78, 0x40,        // MOV R0,#40h
        0xF6,              // MOV @R0,A
        0xC2, 0x8C,        // CLR TR0
        0xD2, 0x8C,        // SETB TR0
        0xA4,              // MUL AB (four cycles)
        0x80, 0xED,        // SJMP loop
    };
    auto load = [&](uint8_t tmod, uint8_t t2con) {
        Fresh();
        Place(0x0000, {0x02, 0x00, 0x40});
        Place(0x0003, {0x05, 0x35, 0x32});        // INC 35h, RETI
        Place(0x000B, {0x05, 0x30, 0x32});        // INC 30h, RETI
        Place(0x0013, {0x05, 0x31, 0x32});        // INC 31h, RETI
        Place(0x001B, {0x05, 0x32, 0x32});        // INC 32h, RETI
        Place(0x0023, {0xC2, 0x99, 0x05, 0x33, 0x32});  // CLR TI, INC 33h, RETI
        Place(0x002B, {0xC2, 0xCF, 0x05, 0x34, 0x32});  // CLR TF2, INC 34h, RETI
        for (size_t i = 0; i < sizeof program; ++i) CodeMemory[0x40 + i] = program[i];
        CodeMemory[0x42] = tmod;
        CodeMemory[0x54] = t2con;
    };
    using Snapshot = std::vector<uint8_t>;
    auto run = [&](uint8_t tmod, uint8_t t2con, int watchEvery, bool everything = false) {
        load(tmod, t2con);
        RecordingHooks hooks;
        if (watchEvery) InstallStoreRefreshHooks(&hooks);
        std::vector<Snapshot> states;
        for (int n = 0; n < 1500; ++n) {
            ScreenUpdateCountdown = watchEvery && n % watchEvery == 0 ? 0 : 255;
            if (everything) MachineStateChanged();
            Step();
            Snapshot s;
            for (size_t i = 0; i < kInternalRamSize; ++i) s.push_back(InternalRam[i]);
            s.push_back(uint8_t(ProgramCounter));
            s.push_back(uint8_t(ProgramCounter >> 8));
            for (int i = 0; i < 4; ++i) s.push_back(InterruptLevelStack[i]);
            states.push_back(s);
        }
        ScreenUpdateCountdown = 0;
        InstallStoreRefreshHooks(nullptr);
        if (watchEvery == 1) {
            EXPECT_GT(hooks.direct.size(), 1500u);
        }
        return states;
    };
    auto compare = [&](uint8_t tmod, uint8_t t2con, uint8_t th1) {
        SCOPED_TRACE(testing::Message() << "TMOD " << int(tmod) << " T2CON " << int(t2con) << " TH1 " << int(th1));
        program[5] = th1;
        const std::vector<Snapshot> reference = run(tmod, t2con, 0, true);
        EXPECT_NE(reference.back()[0x30] | reference.back()[0x32] | reference.back()[0x35], 0);
        for (int every : {0, 1, 3}) {
            const std::vector<Snapshot> other = run(tmod, t2con, every);
            for (size_t n = 0; n < reference.size(); ++n) {
                if (other[n] != reference[n]) {
                    ADD_FAILURE() << "watched every " << every << ": differs after step " << n;
                    break;
                }
            }
        }
    };
    for (uint8_t tmod : {0x21, 0x20, 0x23, 0x12, 0x29, 0xA1, 0x00})
        for (uint8_t t2con : {0x04, 0x34, 0x05}) compare(tmod, t2con, 0xF0);
    // Timer 1 alone in mode 2 (Timer 0 a counter without edges, Timer 2 stopped): the baud-rate
    // path, also with periods of one and three cycles, where an instruction overflows more than
    // once.
    for (uint8_t th1 : {0xF0, 0xFF, 0xFD}) compare(0x24, 0x00, th1);
}

}  // namespace
