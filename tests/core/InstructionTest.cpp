// Instruction execution: flags of the arithmetic families, logic, jumps, calls, the stack,
// parity and transmission through SBUF. Expected values follow the published instruction set.
#include <gtest/gtest.h>

#include "TestMachine.h"

using namespace testing_machine;

namespace {

struct ArithCase {
    uint8_t op, a, x, cyIn;
    uint8_t result;
    int cy, ac, ov;
};

class ArithmeticFlags : public ::testing::TestWithParam<ArithCase> {};

TEST_P(ArithmeticFlags, ImmediateForm) {
    const ArithCase& c = GetParam();
    Fresh();
    Set(Sfr::ACC, c.a);
    Set(Sfr::PSW, c.cyIn ? 0x80 : 0x00);
    Exec({c.op, c.x});
    EXPECT_EQ(Acc(), c.result);
    EXPECT_EQ(Cy(), c.cy);
    EXPECT_EQ(Ac(), c.ac);
    EXPECT_EQ(Ov(), c.ov);
    EXPECT_EQ(Parity(), __builtin_parity(c.result));
}

// The same operation through the direct, @Ri and Rn forms must give the same flags.
TEST_P(ArithmeticFlags, RegisterAndIndirectForms) {
    const ArithCase& c = GetParam();
    const uint8_t base = c.op & 0xF0;
    for (uint8_t op : {uint8_t(base | 5), uint8_t(base | 7), uint8_t(base | 0xD)}) {
        Fresh();
        Set(Sfr::PSW, uint8_t(0x08 | (c.cyIn ? 0x80 : 0)));  // bank 1
        Set(Sfr::ACC, c.a);
        Set(0x0D, c.x);   // R5 of bank 1
        Set(0x09, 0x40);  // R1 of bank 1 points at 40h
        Set(0x40, c.x);
        if ((op & 0x0F) == 5) Exec({op, 0x40});
        else Exec({op});
        SCOPED_TRACE(op);
        EXPECT_EQ(Acc(), c.result);
        EXPECT_EQ(Cy(), c.cy);
        EXPECT_EQ(Ac(), c.ac);
        EXPECT_EQ(Ov(), c.ov);
    }
}

INSTANTIATE_TEST_SUITE_P(
    AddAddcSubb, ArithmeticFlags,
    ::testing::Values(ArithCase{0x24, 0x7F, 0x01, 0, 0x80, 0, 1, 1},
                      ArithCase{0x24, 0x80, 0x80, 0, 0x00, 1, 0, 1},
                      ArithCase{0x24, 0x0F, 0x01, 1, 0x10, 0, 1, 0},  // ADD ignores CY
                      ArithCase{0x24, 0xC3, 0xAA, 0, 0x6D, 1, 0, 1},
                      ArithCase{0x34, 0xFF, 0x00, 1, 0x00, 1, 1, 0},
                      ArithCase{0x34, 0x7F, 0x00, 1, 0x80, 0, 1, 1},
                      ArithCase{0x34, 0x01, 0x01, 0, 0x02, 0, 0, 0},
                      ArithCase{0x94, 0x00, 0x01, 0, 0xFF, 1, 1, 0},
                      ArithCase{0x94, 0x00, 0x0F, 1, 0xF0, 1, 1, 0},
                      ArithCase{0x94, 0x80, 0x01, 1, 0x7E, 0, 1, 1},
                      ArithCase{0x94, 0x80, 0x00, 1, 0x7F, 0, 1, 1},
                      ArithCase{0x94, 0x7F, 0xFF, 0, 0x80, 1, 0, 1},
                      ArithCase{0x94, 0x50, 0x20, 0, 0x30, 0, 0, 0},
                      ArithCase{0x94, 0x10, 0x10, 1, 0xFF, 1, 1, 0}));

TEST(Arithmetic, IncDecChangeNoFlag) {
    Fresh();
    Set(Sfr::PSW, 0xC4);
    Set(Sfr::ACC, 0xFF);
    Exec({0x04});
    EXPECT_EQ(Acc(), 0x00);
    EXPECT_EQ(Get(Sfr::PSW) & 0xC4, 0xC4);
    Set(0x30, 0x00);
    Exec({0x15, 0x30});
    EXPECT_EQ(Get(0x30), 0xFF);
    Set(Sfr::PSW, 0x00);
    Set(0x02, 0x7F);
    Exec({0x0A});  // INC R2
    EXPECT_EQ(Get(0x02), 0x80);
    EXPECT_EQ(Get(Sfr::PSW) & 0xC4, 0);
}

TEST(Arithmetic, IncDptrCarriesIntoDph) {
    Fresh();
    Set(Sfr::DPL, 0xFF);
    Set(Sfr::DPH, 0x12);
    Exec({0xA3});
    EXPECT_EQ(Get(Sfr::DPL), 0x00);
    EXPECT_EQ(Get(Sfr::DPH), 0x13);
    Set(Sfr::DPL, 0xFF);
    Set(Sfr::DPH, 0xFF);
    Exec({0xA3});
    EXPECT_EQ(Get(Sfr::DPH), 0x00);
}

TEST(Arithmetic, MulAndDiv) {
    Fresh();
    Set(Sfr::ACC, 0x80);
    Set(Sfr::B, 0x02);
    Set(Sfr::PSW, 0x80);
    Exec({0xA4});
    EXPECT_EQ(Acc(), 0x00);
    EXPECT_EQ(Get(Sfr::B), 0x01);
    EXPECT_EQ(Cy(), 0);
    EXPECT_EQ(Ov(), 1);
    Set(Sfr::ACC, 0x0F);
    Set(Sfr::B, 0x0F);
    Exec({0xA4});
    EXPECT_EQ(Acc(), 0xE1);
    EXPECT_EQ(Get(Sfr::B), 0x00);
    EXPECT_EQ(Ov(), 0);

    Set(Sfr::ACC, 0xFB);
    Set(Sfr::B, 0x12);
    Set(Sfr::PSW, 0x84);
    Exec({0x84});
    EXPECT_EQ(Acc(), 0x0D);
    EXPECT_EQ(Get(Sfr::B), 0x11);
    EXPECT_EQ(Cy(), 0);
    EXPECT_EQ(Ov(), 0);
    Set(Sfr::ACC, 0x34);
    Set(Sfr::B, 0x00);
    Set(Sfr::PSW, 0x80);
    Exec({0x84});
    EXPECT_EQ(Acc(), 0x34);
    EXPECT_EQ(Get(Sfr::B), 0x00);
    EXPECT_EQ(Cy(), 0);
    EXPECT_EQ(Ov(), 1);
}

TEST(Arithmetic, DecimalAdjust) {
    struct {
        uint8_t a, psw, result;
        int cy;
    } cases[] = {{0x0C, 0x00, 0x12, 0}, {0x9A, 0x00, 0x00, 1}, {0xFA, 0x00, 0x60, 1},
                 {0x12, 0x40, 0x18, 0}, {0x05, 0x80, 0x65, 1}, {0x99, 0x00, 0x99, 0},
                 {0x56, 0x80, 0xB6, 1}};
    for (auto& c : cases) {
        Fresh();
        Set(Sfr::ACC, c.a);
        Set(Sfr::PSW, c.psw);
        Exec({0xD4});
        SCOPED_TRACE(c.a);
        EXPECT_EQ(Acc(), c.result);
        EXPECT_EQ(Cy(), c.cy);
    }
    // 38h + 49h = 81h with AC set; DA gives 87h.
    Fresh();
    Place(0x0100, {0x74, 0x38, 0x24, 0x49, 0xD4});
    ProgramCounter = 0x0100;
    Step(3);
    EXPECT_EQ(Acc(), 0x87);
    EXPECT_EQ(Cy(), 0);
}

TEST(Logic, OrlAnlXrlAndRotations) {
    Fresh();
    Set(Sfr::ACC, 0xA5);
    Set(0x30, 0x0F);
    Exec({0x42, 0x30});  // ORL 30h,A
    EXPECT_EQ(Get(0x30), 0xAF);
    Exec({0x53, 0x30, 0x3C});  // ANL 30h,#3Ch
    EXPECT_EQ(Get(0x30), 0x2C);
    Exec({0x65, 0x30});  // XRL A,30h
    EXPECT_EQ(Acc(), 0x89);
    Exec({0xF4});
    EXPECT_EQ(Acc(), 0x76);
    Exec({0x03});  // RR A
    EXPECT_EQ(Acc(), 0x3B);
    Exec({0x23});  // RL A
    EXPECT_EQ(Acc(), 0x76);
    Exec({0xC4});  // SWAP A
    EXPECT_EQ(Acc(), 0x67);
    Set(Sfr::PSW, 0x80);
    Set(Sfr::ACC, 0x02);
    Exec({0x13});  // RRC A: CY into bit 7, bit 0 into CY
    EXPECT_EQ(Acc(), 0x81);
    EXPECT_EQ(Cy(), 0);
    Exec({0x33});  // RLC A
    EXPECT_EQ(Acc(), 0x02);
    EXPECT_EQ(Cy(), 1);
}

TEST(Logic, BitOperations) {
    Fresh();
    Exec({0xD2, 0x08});  // SETB 21h.0
    EXPECT_EQ(Get(0x21), 0x01);
    Exec({0xB2, 0x08});  // CPL
    EXPECT_EQ(Get(0x21), 0x00);
    Exec({0xD3});
    EXPECT_EQ(Cy(), 1);
    Exec({0x92, 0x0F});  // MOV 21h.7,C
    EXPECT_EQ(Get(0x21), 0x80);
    Exec({0xB3});  // CPL C
    EXPECT_EQ(Cy(), 0);
    Exec({0xA2, 0x0F});  // MOV C,21h.7
    EXPECT_EQ(Cy(), 1);
    Exec({0x82, 0x00});  // ANL C,20h.0 (0)
    EXPECT_EQ(Cy(), 0);
    Exec({0xA0, 0x00});  // ORL C,/20h.0
    EXPECT_EQ(Cy(), 1);
    Exec({0xB0, 0x0F});  // ANL C,/21h.7 (1 -> 0)
    EXPECT_EQ(Cy(), 0);
    Exec({0x72, 0x0F});  // ORL C,21h.7
    EXPECT_EQ(Cy(), 1);
    Exec({0xC3});
    EXPECT_EQ(Cy(), 0);
    Exec({0xC2, 0x0F});
    EXPECT_EQ(Get(0x21), 0x00);
}

TEST(DataTransfer, MovesExchangesAndExternalRam) {
    Fresh();
    Exec({0x75, 0x30, 0x12});  // MOV 30h,#12h
    Exec({0x85, 0x30, 0x31});  // MOV 31h,30h: first byte source
    EXPECT_EQ(Get(0x31), 0x12);
    Exec({0x90, 0x12, 0x34});  // MOV DPTR,#1234h
    EXPECT_EQ(Get(Sfr::DPH), 0x12);
    EXPECT_EQ(Get(Sfr::DPL), 0x34);
    Set(Sfr::ACC, 0xAB);
    Exec({0xF0});  // MOVX @DPTR,A
    EXPECT_EQ(ExternalRam[0x1234], 0xAB);
    Set(Sfr::ACC, 0);
    Exec({0xE0});
    EXPECT_EQ(Acc(), 0xAB);
    Set(0x01, 0x34);  // R1
    Set(Sfr::P2, 0x00);
    Set(Sfr::ACC, 0xCD);
    Exec({0xF3});  // MOVX @R1,A in page 00h
    EXPECT_EQ(ExternalRam[0x0034], 0xCD);
    EXPECT_EQ(ExternalRam[0x1234], 0xAB);
    Exec({0xE4});
    Exec({0xE3});
    EXPECT_EQ(Acc(), 0xCD);
    Set(Sfr::ACC, 0x5A);
    Set(0x30, 0xA5);
    Exec({0xC5, 0x30});  // XCH A,30h
    EXPECT_EQ(Acc(), 0xA5);
    EXPECT_EQ(Get(0x30), 0x5A);
    Set(0x00, 0x30);  // R0 -> 30h
    Set(Sfr::ACC, 0x12);
    Exec({0xD6});  // XCHD A,@R0
    EXPECT_EQ(Acc(), 0x1A);
    EXPECT_EQ(Get(0x30), 0x52);
}

TEST(DataTransfer, Movc) {
    Fresh();
    Place(0x0201, {0x77});
    Set(Sfr::ACC, 0);
    Exec({0x83}, 0x0200);  // MOVC A,@A+PC reads the byte after the instruction
    EXPECT_EQ(Acc(), 0x77);
    Place(0x1300, {0x00, 0x00, 0x00, 0x99});
    Set(Sfr::DPH, 0x13);
    Set(Sfr::DPL, 0x00);
    Set(Sfr::ACC, 3);
    Exec({0x93});
    EXPECT_EQ(Acc(), 0x99);
    CodeMemory[0x0001] = 0x42;  // wraps past FFFFh
    Set(Sfr::DPH, 0xFF);
    Set(Sfr::DPL, 0xFF);
    Set(Sfr::ACC, 2);
    Exec({0x93});
    EXPECT_EQ(Acc(), 0x42);
}

TEST(Stack, PushPopOnBothVariants) {
    Fresh(true);
    Set(Sfr::SP, 0x7F);
    Set(Sfr::ACC, 0x3C);
    Exec({0xC0, 0xE0});  // PUSH ACC
    EXPECT_EQ(Get(Sfr::SP), 0x80);
    EXPECT_EQ(Get(0x100), 0x3C);
    EXPECT_EQ(Get(Sfr::P0), 0xFF);
    Exec({0xD0, 0x30});  // POP 30h
    EXPECT_EQ(Get(0x30), 0x3C);
    EXPECT_EQ(Get(Sfr::SP), 0x7F);

    Fresh();
    Exec({0xC0, 0x81});  // PUSH SP pushes the incremented value
    EXPECT_EQ(Get(0x08), 0x08);
    Set(Sfr::SP, 0x40);
    Set(0x40, 0x20);
    Exec({0xD0, 0x81});  // POP SP: decrement first, then the store
    EXPECT_EQ(Get(Sfr::SP), 0x20);
}

TEST(Jumps, RelativeTargetsAndWrap) {
    Fresh();
    Exec({0x80, 0xFE}, 0x0100);
    EXPECT_EQ(ProgramCounter, 0x0100);
    Exec({0x80, 0x01}, 0xFFFE);
    EXPECT_EQ(ProgramCounter, 0x0001);
    Set(Sfr::ACC, 0);
    Exec({0x60, 0x10});  // JZ taken
    EXPECT_EQ(ProgramCounter, 0x0112);
    Exec({0x70, 0x10});  // JNZ not taken
    EXPECT_EQ(ProgramCounter, 0x0102);
    Set(Sfr::PSW, 0x80);
    Exec({0x40, 0x80});  // JC back by 128
    EXPECT_EQ(ProgramCounter, 0x0082);
    Exec({0x50, 0x80});
    EXPECT_EQ(ProgramCounter, 0x0102);
}

TEST(Jumps, BitJumps) {
    Fresh();
    Set(0x20, 0x01);
    Exec({0x10, 0x00, 0xF0});  // JBC 20h.0,-16
    EXPECT_EQ(ProgramCounter, 0x00F3);
    EXPECT_EQ(Get(0x20), 0x00);
    Exec({0x10, 0x00, 0xF0});  // not set: no jump, nothing cleared
    EXPECT_EQ(ProgramCounter, 0x0103);
    Exec({0x30, 0x00, 0x05});  // JNB
    EXPECT_EQ(ProgramCounter, 0x0108);
    Exec({0x20, 0x00, 0x05});  // JB
    EXPECT_EQ(ProgramCounter, 0x0103);
}

TEST(Jumps, CompareAndDecrement) {
    Fresh();
    Set(Sfr::ACC, 0x10);
    Set(0x30, 0x20);
    Exec({0xB5, 0x30, 0x05});  // CJNE A,30h: compares with the byte at 30h
    EXPECT_EQ(ProgramCounter, 0x0108);
    EXPECT_EQ(Cy(), 1);
    Set(0x30, 0x10);
    Exec({0xB5, 0x30, 0x05});
    EXPECT_EQ(ProgramCounter, 0x0103);
    EXPECT_EQ(Cy(), 0);
    Exec({0xB4, 0x0F, 0x05});
    EXPECT_EQ(Cy(), 0);
    EXPECT_EQ(ProgramCounter, 0x0108);
    Set(0x05, 0x01);  // R5
    Exec({0xBD, 0x02, 0xFD});
    EXPECT_EQ(Cy(), 1);
    EXPECT_EQ(ProgramCounter, 0x0100);
    Set(0x05, 2);
    Exec({0xDD, 0xFE});  // DJNZ R5
    EXPECT_EQ(Get(0x05), 1);
    EXPECT_EQ(ProgramCounter, 0x0100);
    Exec({0xDD, 0xFE});
    EXPECT_EQ(Get(0x05), 0);
    EXPECT_EQ(ProgramCounter, 0x0102);
    Set(0x30, 0);
    Exec({0xD5, 0x30, 0x10});  // DJNZ 30h wraps to FFh and jumps
    EXPECT_EQ(Get(0x30), 0xFF);
    EXPECT_EQ(ProgramCounter, 0x0113);
}

TEST(Jumps, AbsoluteJumpsKeepTheUpperBitsOfTheNextAddress) {
    Fresh();
    Exec({0x21, 0x23}, 0x0800);
    EXPECT_EQ(ProgramCounter, 0x0923);
    Exec({0x01, 0x10}, 0x07FE);
    EXPECT_EQ(ProgramCounter, 0x0810);
    Exec({0xE1, 0xFF}, 0xF000);
    EXPECT_EQ(ProgramCounter, 0xF7FF);
    Exec({0x02, 0xAB, 0xCD});
    EXPECT_EQ(ProgramCounter, 0xABCD);
    Set(Sfr::DPH, 0x12);
    Set(Sfr::DPL, 0xF0);
    Set(Sfr::ACC, 0x20);
    Exec({0x73});
    EXPECT_EQ(ProgramCounter, 0x1310);
}

TEST(Calls, CallsPushTheReturnAddressLowByteFirst) {
    Fresh();
    Exec({0x71, 0x34}, 0x1234);  // ACALL 1334h
    EXPECT_EQ(ProgramCounter, 0x1334);
    EXPECT_EQ(Get(0x08), 0x36);
    EXPECT_EQ(Get(0x09), 0x12);
    Exec({0x12, 0x40, 0x00}, 0x1334);  // LCALL 4000h
    EXPECT_EQ(Get(0x0A), 0x37);
    EXPECT_EQ(Get(0x0B), 0x13);
    EXPECT_EQ(Get(Sfr::SP), 0x0B);
    Exec({0x22}, 0x4000);
    EXPECT_EQ(ProgramCounter, 0x1337);
    InterruptLevelStack.Set(0, 2);
    InterruptLevelStack.Set(1, 1);
    InterruptLevelStack.Set(3, 2);
    Exec({0x32}, 0x1337);  // RETI also pops the level stack
    EXPECT_EQ(ProgramCounter, 0x1236);
    EXPECT_EQ(InterruptLevelStack[0], 1);
    EXPECT_EQ(InterruptLevelStack[2], 2);
    EXPECT_EQ(InterruptLevelStack[3], 0);
}

TEST(Parity, RewrittenAfterEveryInstructionButTheSixThatLeaveEarly) {
    Fresh();
    Set(Sfr::ACC, 0x07);
    Set(Sfr::PSW, 0x00);
    Exec({0x00});
    EXPECT_EQ(Parity(), 1);
    Exec({0x75, 0xD0, 0x00});  // MOV PSW,#0 and parity is back after the instruction
    EXPECT_EQ(Parity(), 1);
    Exec({0x02, 0x01, 0x00});  // LJMP updates parity too
    Set(Sfr::PSW, 0x00);
    Exec({0x01, 0x00});  // AJMP does not
    EXPECT_EQ(Parity(), 0);
}

TEST(Parity, UndefinedOpcodeIsATwoByteNop) {
    Fresh();
    Set(Sfr::ACC, 0x01);
    Exec({0xA5, 0xE0});
    EXPECT_EQ(ProgramCounter, 0x0102);
    EXPECT_EQ(Acc(), 0x01);
    EXPECT_EQ(Parity(), 1);
}

// MOVX @R0/@R1 put P2's latch on the high address lines, on both variants.
TEST(DataTransfer, MovxThroughRiIsPagedByP2) {
    for (bool is8052 : {false, true}) {
        Fresh(is8052);
        Set(Sfr::PSW, 0x08);  // bank 1: R0 = 08h, R1 = 09h
        Set(0x08, 0x34);
        Set(0x09, 0x34);
        Set(Sfr::P2, 0x12);
        Set(Sfr::ACC, 0xCD);
        Exec({0xF2});  // MOVX @R0,A
        EXPECT_EQ(ExternalRam[0x1234], 0xCD);
        EXPECT_EQ(ExternalRam[0x0034], 0x00);
        Set(Sfr::P2, 0x13);  // another page between the write and the read
        Exec({0xE3});        // MOVX A,@R1
        EXPECT_EQ(Acc(), 0x00);
        Set(Sfr::ACC, 0x77);
        Exec({0xF3});
        EXPECT_EQ(ExternalRam[0x1334], 0x77);
        Set(Sfr::P2, 0x12);
        Exec({0xE2});
        EXPECT_EQ(Acc(), 0xCD);
        EXPECT_EQ(Parity(), 1);
        // The lines follow the latch, not the pins: a program writing P2 with a port value.
        Exec({0x75, 0xA0, 0xFF});  // MOV P2,#FFh
        Set(Sfr::ACC, 0x99);
        Exec({0xF2});
        EXPECT_EQ(ExternalRam[0xFF34], 0x99);
    }
}

TEST(Serial, StoresToSbufThroughTheListedFormsSendAByte) {
    Fresh();
    RecordingSerial serial;
    InstallSerialOutputHook(&serial);
    Exec({0x75, 0x99, 0x41});  // MOV SBUF,#41h
    ASSERT_EQ(serial.bytes.size(), 1u);
    EXPECT_EQ(serial.bytes[0], 0x41);
    EXPECT_EQ(Get(Sfr::SCON) & 0x02, 0x02);
    Set(Sfr::SCON, 0);
    Exec({0x85, 0x99, 0x30});  // MOV 30h,SBUF sends nothing
    EXPECT_EQ(serial.bytes.size(), 1u);
    Set(0x30, 0x42);
    Exec({0x85, 0x30, 0x99});  // MOV SBUF,30h sends
    EXPECT_EQ(serial.bytes.back(), 0x42);
    Set(Sfr::ACC, 0x43);
    Exec({0xF5, 0x99});
    EXPECT_EQ(serial.bytes.back(), 0x43);
    Exec({0xC5, 0x99});  // XCH A,SBUF changes SBUF but sends nothing
    EXPECT_EQ(serial.bytes.size(), 3u);
    Set(0x00, 0x99);
    Exec({0xF6});  // MOV @R0,A on the 8052 goes to upper RAM, not SBUF
    EXPECT_EQ(serial.bytes.size(), 3u);
    Set(0x05, 0x44);
    Exec({0x8D, 0x99});  // MOV SBUF,R5
    EXPECT_EQ(serial.bytes.back(), 0x44);
    InstallSerialOutputHook(nullptr);
}

// SBUF is a transmit register and a receive buffer at one address: instructions read the
// received byte, stores send; InternalRam[SBUF] shows the last byte written or received.
TEST(Serial, ReadsOfSbufGiveTheReceivedByte) {
    Fresh();
    RecordingSerial serial;
    InstallSerialOutputHook(&serial);
    EXPECT_EQ(SerialReceiveBufferRead, 1);  // nothing waiting at start-up
    Set(Sfr::SCON, 0x50);
    ReceiveSerialByte(0x61, 0);
    EXPECT_EQ(Get(Sfr::SCON), 0x51);
    EXPECT_EQ(Get(Sfr::SBUF), 0x61);
    EXPECT_EQ(SerialReceiveBufferRead, 0);
    Exec({0x75, 0x99, 0x41});  // MOV SBUF,#41h: the transmit side only
    EXPECT_EQ(serial.bytes.back(), 0x41);
    EXPECT_EQ(Get(Sfr::SBUF), 0x41);
    EXPECT_EQ(SerialReceiveBufferRead, 0);
    Exec({0xE5, 0x99});  // MOV A,SBUF
    EXPECT_EQ(Acc(), 0x61);
    EXPECT_EQ(SerialReceiveBufferRead, 1);
    Exec({0x85, 0x99, 0x30});  // MOV 30h,SBUF
    EXPECT_EQ(Get(0x30), 0x61);
    Exec({0xC0, 0x99});  // PUSH SBUF
    EXPECT_EQ(Get(0x08), 0x61);
    Set(Sfr::ACC, 0x01);
    Exec({0x25, 0x99});  // ADD A,SBUF
    EXPECT_EQ(Acc(), 0x62);
    Exec({0x05, 0x99});  // INC SBUF: reads the receive buffer, sends the sum
    EXPECT_EQ(serial.bytes.back(), 0x62);
    Exec({0x63, 0x99, 0xFF});  // XRL SBUF,#FFh
    EXPECT_EQ(serial.bytes.back(), 0x9E);
    EXPECT_EQ(SerialReceiveBuffer, 0x61);
    Set(Sfr::ACC, 0x61);
    Exec({0xB5, 0x99, 0x10});  // CJNE A,SBUF,+10h: equal, no jump
    EXPECT_EQ(ProgramCounter, 0x0103);
    InstallSerialOutputHook(nullptr);
}

// RB8 and RI of a received byte, in one SCON store after the receive buffer.
TEST(Serial, ReceivedBytesSetRb8AndRiAsTheModeAllows) {
    Fresh();
    RecordingHooks hooks;
    InstallStoreRefreshHooks(&hooks);
    Set(Sfr::SCON, 0x54);  // mode 1 with a stale RB8
    hooks.direct.clear();
    ReceiveSerialByte(0x12, 0);
    EXPECT_EQ(Get(Sfr::SCON), 0x51);
    ASSERT_EQ(hooks.direct.size(), 2u);
    EXPECT_EQ(hooks.direct[0].address, Sfr::SBUF);
    EXPECT_EQ(hooks.direct[1].address, Sfr::SCON);
    Set(Sfr::SCON, 0xF0);  // mode 3 with SM2: no RI without the ninth bit
    ReceiveSerialByte(0x13, 0);
    EXPECT_EQ(Get(Sfr::SCON), 0xF0);
    EXPECT_EQ(SerialReceiveBuffer, 0x13);
    ReceiveSerialByte(0x14, 1);
    EXPECT_EQ(Get(Sfr::SCON), 0xF5);
    EXPECT_EQ(SerialReceiveBuffer, 0x14);
    EXPECT_FALSE(hooks.direct.back().worker);
    InstallStoreRefreshHooks(nullptr);
}

// A user's store to SBUF sets both registers, so that setting SBUF and then RI by hand hands the
// program that byte; Reset and Clear Internal RAM empty the receive buffer.
TEST(Serial, UserStoresResetAndClearSetTheReceiveBuffer) {
    Fresh();
    WriteDirectUser(Sfr::SBUF, 0x5A);
    WriteDirectUser(Sfr::SCON, 0x51);
    EXPECT_EQ(SerialReceiveBuffer, 0x5A);
    Exec({0xE5, 0x99});
    EXPECT_EQ(Acc(), 0x5A);
    ReceiveSerialByte(0x33, 0);
    ResetController();
    EXPECT_EQ(SerialReceiveBuffer, 0x00);
    EXPECT_EQ(SerialReceiveBufferRead, 1);
    for (bool is8052 : {false, true}) {
        Fresh(is8052);
        ReceiveSerialByte(0x44, 0);
        ClearInternalRam();
        EXPECT_EQ(SerialReceiveBuffer, 0x00);
        EXPECT_EQ(Get(Sfr::SBUF), 0x00);
    }
}

}  // namespace
