// Machine state: start-up, reset and clear, the memory map, bit addresses, the stack on both variants.
#include <gtest/gtest.h>

#include "Debugger.h"
#include "TestMachine.h"

using namespace testing_machine;

namespace {

TEST(StartUp, PortsAndStackPointerAreSetThroughTheStoreRoutine) {
    InstallStoreRefreshHooks(nullptr);
    Processor8052 = 1;
    RecordingHooks hooks;
    InstallStoreRefreshHooks(&hooks);
    InitMachineState();
    InstallStoreRefreshHooks(nullptr);
    ASSERT_EQ(hooks.direct.size(), 5u);
    EXPECT_EQ(hooks.direct[0].address, Sfr::SP);
    EXPECT_EQ(hooks.direct[0].value, 0x07);
    EXPECT_EQ(hooks.direct[1].address, Sfr::P0);
    EXPECT_EQ(hooks.direct[4].address, Sfr::P3);
    EXPECT_FALSE(hooks.direct[0].worker);
    EXPECT_EQ(ProgramCounter, 0);
    for (uint16_t i = 0; i < kInternalRamSize; ++i) {
        uint8_t want = (i == 0x80 || i == 0x90 || i == 0xA0 || i == 0xB0) ? 0xFF : i == 0x81 ? 7 : 0;
        ASSERT_EQ(Get(i), want) << i;
    }
}

TEST(Reset, ClearsEveryIndexOnThe8052AndKeepsCodeAndExternalRam) {
    Fresh(true);
    for (uint16_t i = 0; i < kInternalRamSize; ++i) InternalRam.Set(i, 0x5A);
    CodeMemory[0x10] = 0x12;
    ExternalRam.Set(0x1234, 0x77);
    AddCodeBreakpoint(0x20);
    InterruptLevelStack.Set(0, 2);
    ProgramEnd = 0x40;
    ProgramCounter = 0x0333;
    ResetController();
    for (uint16_t i = 0; i < kInternalRamSize; ++i) {
        uint8_t want = (i == 0x80 || i == 0x90 || i == 0xA0 || i == 0xB0) ? 0xFF : i == 0x81 ? 7 : 0;
        ASSERT_EQ(Get(i), want) << i;
    }
    EXPECT_EQ(ProgramCounter, 0);
    EXPECT_EQ(InterruptLevelStack[0], 0);
    EXPECT_EQ(CodeMemory[0x10], 0x12);
    EXPECT_EQ(ExternalRam[0x1234], 0x77);
    EXPECT_EQ(BreakpointTable[0x20], 1);
    EXPECT_EQ(ProgramEnd, 0x40);
}

TEST(Reset, The8051LeavesTheUpperIndexesAlone) {
    Fresh(false);
    InternalRam.Set(0x120, 0x33);
    InternalRam.Set(0x30, 0x33);
    ClearInternalRam();
    EXPECT_EQ(Get(0x120), 0x33);
    EXPECT_EQ(Get(0x30), 0);
}

TEST(Reset, ClearExternalRamZeroesAllOfIt) {
    Fresh();
    ExternalRam.Set(0, 1);
    ExternalRam.Set(0xFFFF, 2);
    ClearExternalRam();
    EXPECT_EQ(ExternalRam[0], 0);
    EXPECT_EQ(ExternalRam[0xFFFF], 0);
}

TEST(MemoryMap, IndirectIndexDependsOnTheVariant) {
    Fresh(true);
    EXPECT_EQ(IndirectIndex(0x7F), 0x7F);
    EXPECT_EQ(IndirectIndex(0x80), 0x100);
    EXPECT_EQ(IndirectIndex(0xFF), 0x17F);
    Processor8052 = 0;
    EXPECT_EQ(IndirectIndex(0x7F), 0x7F);
    EXPECT_EQ(IndirectIndex(0x90), kIndirectNowhere);
}

TEST(MemoryMap, BitAddresses) {
    Fresh();
    Set(0x2F, 0x80);
    EXPECT_EQ(ReadBit(0x7F), 1);
    EXPECT_EQ(ReadBit(0x7E), 0);
    Set(Sfr::P0, 0x01);
    EXPECT_EQ(ReadBit(0x80), 1);
    EXPECT_EQ(ReadBit(0x81), 0);
    Set(Sfr::SCON, 0x02);
    EXPECT_EQ(ReadBit(0x99), 1);
    Set(Sfr::PSW, 0x80);
    EXPECT_EQ(ReadBit(0xD7), 1);
    WriteBit(0x00, 1);
    EXPECT_EQ(Get(0x20), 0x01);
    WriteBit(0x0F, 1);
    EXPECT_EQ(Get(0x21), 0x80);
    WriteBit(0x0F, 0);
    EXPECT_EQ(Get(0x21), 0x00);
}

TEST(MemoryMap, WriteBitOfAnUnchangedBitMakesNoStore) {
    Fresh();
    RecordingHooks hooks;
    InstallStoreRefreshHooks(&hooks);
    WriteBit(0xB2, 1);  // P3.2 is already 1 after start-up
    EXPECT_TRUE(hooks.direct.empty());
    WriteBit(0xB2, 0);
    ASSERT_EQ(hooks.direct.size(), 1u);
    EXPECT_EQ(hooks.direct[0].address, Sfr::P3);
    EXPECT_EQ(hooks.direct[0].value, 0xFB);
    InstallStoreRefreshHooks(nullptr);
}

TEST(Stack, RegisterBanksAndPushPop) {
    Fresh();
    Set(Sfr::PSW, 0x18);  // bank 3
    Exec({0x7A, 0x42});   // MOV R2,#42h
    EXPECT_EQ(Get(0x1A), 0x42);
    PushByte(0x11);
    EXPECT_EQ(Get(Sfr::SP), 0x08);
    EXPECT_EQ(Get(0x08), 0x11);
    EXPECT_EQ(PopByte(), 0x11);
    EXPECT_EQ(Get(Sfr::SP), 0x07);
}

TEST(Stack, PushAtFFhWrapsToZero) {
    Fresh();
    Set(Sfr::SP, 0xFF);
    PushByte(0x99);
    EXPECT_EQ(Get(Sfr::SP), 0x00);
    EXPECT_EQ(Get(0x00), 0x99);
}

TEST(Stack, The8052StackAbove7FhUsesTheUpperRam) {
    Fresh(true);
    Set(Sfr::SP, 0x7F);
    Exec({0x12, 0x02, 0x00});  // LCALL 0200h at 0100h
    EXPECT_EQ(Get(0x100), 0x03);
    EXPECT_EQ(Get(0x101), 0x01);
    EXPECT_EQ(Get(Sfr::SP), 0x81);
    EXPECT_EQ(Get(Sfr::P0), 0xFF);
    EXPECT_EQ(ProgramCounter, 0x0200);
}

TEST(Stack, The8051HasNoRamAbove7FhForTheStack) {
    Fresh(false);
    Set(Sfr::SP, 0x7F);
    Exec({0x12, 0x02, 0x00});  // LCALL 0200h
    EXPECT_EQ(Get(Sfr::SP), 0x81);
    EXPECT_EQ(Get(Sfr::P0), 0xFF);  // nothing lands on the registers
    EXPECT_EQ(Get(0x100), 0x00);
    Exec({0x22}, 0x0200);  // RET reads 00h from nowhere
    EXPECT_EQ(ProgramCounter, 0x0000);
    EXPECT_EQ(Get(Sfr::SP), 0x7F);
}

TEST(IndirectAccess, The8052ReachesUpperRamAndThe8051ReachesNothing) {
    Fresh(true);
    Place(0x0100, {0x78, 0x90, 0x76, 0x55, 0xE6});  // MOV R0,#90h; MOV @R0,#55h; MOV A,@R0
    ProgramCounter = 0x0100;
    Step(3);
    EXPECT_EQ(Get(0x110), 0x55);
    EXPECT_EQ(Get(Sfr::P1), 0xFF);
    EXPECT_EQ(Acc(), 0x55);

    Fresh(false);
    Place(0x0100, {0x78, 0x90, 0x76, 0x55, 0xE6});
    ProgramCounter = 0x0100;
    Step(3);
    EXPECT_EQ(Get(Sfr::P1), 0xFF);
    EXPECT_EQ(Get(0x110), 0x00);
    EXPECT_EQ(Acc(), 0x00);
}

TEST(IndirectAccess, TheStoreArgumentRoutesThatStoreOnly) {
    Fresh(true);
    WriteDirect(0x90, 0x12, true);
    EXPECT_EQ(Get(0x110), 0x12);
    EXPECT_EQ(Get(Sfr::P1), 0xFF);
    WriteDirect(0x90, 0x34);
    EXPECT_EQ(Get(Sfr::P1), 0x34);
    WriteDirect(0x30, 0x56, true);  // below 80h the address does not move
    EXPECT_EQ(Get(0x30), 0x56);
    Fresh(false);
    WriteDirect(0x90, 0x12, true);  // the 8051 has nothing there
    EXPECT_EQ(Get(Sfr::P1), 0xFF);
}

}  // namespace
