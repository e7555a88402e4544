// Stores with side effects: external interrupt edges, timer counter inputs, Timer 2 pins and the
// window-refresh hook.
#include <gtest/gtest.h>

#include "TestMachine.h"

using namespace testing_machine;

namespace {

TEST(ExternalInterruptEdges, EdgeModeLatchesWhateverTheEnables) {
    Fresh();
    Set(Sfr::IE, 0x81);
    Set(Sfr::TCON, 0x01);  // IT0
    Set(Sfr::P3, 0xFB);
    EXPECT_EQ(Get(Sfr::TCON), 0x03);
    Set(Sfr::TCON, 0x01);
    Set(Sfr::P3, 0xFB);  // no new edge
    EXPECT_EQ(Get(Sfr::TCON), 0x01);
    Set(Sfr::P3, 0xFF);
    Set(Sfr::IE, 0x00);  // disabled: still latched, taken once enabled
    Set(Sfr::P3, 0xFB);
    EXPECT_EQ(Get(Sfr::TCON), 0x03);
    Set(Sfr::TCON, 0x04);  // IT1 on P3.3
    Set(Sfr::P3, 0xF3);
    EXPECT_EQ(Get(Sfr::TCON), 0x0C);
}

TEST(ExternalInterruptEdges, LevelModeSetsNothingOnAStore) {
    Fresh();
    Set(Sfr::IE, 0x81);
    Set(Sfr::P3, 0xFB);
    EXPECT_EQ(Get(Sfr::TCON), 0x00);
}

TEST(TimerCounterInputs, Timer0Mode1OverflowAndGate) {
    Fresh();
    Set(Sfr::TMOD, 0x05);
    Set(Sfr::TCON, 0x10);
    Set(Sfr::TH0, 0xFF);
    Set(Sfr::TL0, 0xFF);
    Set(Sfr::P3, 0xEF);
    EXPECT_EQ(Get(Sfr::TH0), 0x00);
    EXPECT_EQ(Get(Sfr::TL0), 0x00);
    EXPECT_EQ(Get(Sfr::TCON), 0x30);
    Set(Sfr::P3, 0xFF);

    Fresh();
    Set(Sfr::TMOD, 0x0D);  // GATE0
    Set(Sfr::TCON, 0x10);
    Set(Sfr::P3, 0xFB);  // INT0 low
    Set(Sfr::P3, 0xEB);  // T0 falls
    EXPECT_EQ(Get(Sfr::TL0), 0x00);
}

TEST(TimerCounterInputs, Mode2ReloadAndMode0ThirteenBits) {
    Fresh();
    Set(Sfr::TMOD, 0x06);
    Set(Sfr::TCON, 0x10);
    Set(Sfr::TL0, 0xFF);
    Set(Sfr::TH0, 0x80);
    Set(Sfr::P3, 0xEF);
    EXPECT_EQ(Get(Sfr::TL0), 0x80);
    EXPECT_EQ(Get(Sfr::TH0), 0x80);
    EXPECT_EQ(Get(Sfr::TCON) & 0x20, 0x20);

    Fresh();
    Set(Sfr::TMOD, 0x04);
    Set(Sfr::TCON, 0x10);
    Set(Sfr::TH0, 0xFF);
    Set(Sfr::TL0, 0x1F);
    Set(Sfr::P3, 0xEF);
    EXPECT_EQ(Get(Sfr::TH0), 0x00);
    EXPECT_EQ(Get(Sfr::TL0), 0x00);
    EXPECT_EQ(Get(Sfr::TCON) & 0x20, 0x20);

    // Upper TL bits do not take part in the 13-bit count.
    Fresh();
    Set(Sfr::TMOD, 0x04);
    Set(Sfr::TCON, 0x10);
    Set(Sfr::TH0, 0xFF);
    Set(Sfr::TL0, 0xFF);
    Set(Sfr::P3, 0xEF);
    EXPECT_EQ(Get(Sfr::TH0), 0x00);
    EXPECT_EQ(Get(Sfr::TL0), 0x00);
    EXPECT_EQ(Get(Sfr::TCON) & 0x20, 0x20);
}

TEST(TimerCounterInputs, Timer1CountsOnP35) {
    Fresh();
    Set(Sfr::TMOD, 0x50);  // C/T1, mode 1
    Set(Sfr::TCON, 0x40);
    Set(Sfr::TL1, 0x10);
    Set(Sfr::P3, 0xDF);
    EXPECT_EQ(Get(Sfr::TL1), 0x11);
    Set(Sfr::P3, 0xDF);
    EXPECT_EQ(Get(Sfr::TL1), 0x11);
}

TEST(Timer2Pins, CounterReloadCaptureAndBaudRateMode) {
    struct {
        uint8_t t2con, th2, tl2;
        int tf2;
    } cases[] = {{0x06, 0x12, 0x34, 1}, {0x07, 0x00, 0x00, 1}, {0x26, 0x12, 0x34, 0},
                 {0x17, 0x12, 0x34, 0}, {0x02, 0xFF, 0xFF, 0}};
    for (auto& c : cases) {
        Fresh(true);
        Set(Sfr::T2CON, c.t2con);
        Set(Sfr::TH2, 0xFF);
        Set(Sfr::TL2, 0xFF);
        Set(Sfr::RCAP2H, 0x12);
        Set(Sfr::RCAP2L, 0x34);
        Set(Sfr::P1, 0xFE);
        SCOPED_TRACE(c.t2con);
        EXPECT_EQ(Get(Sfr::TH2), c.th2);
        EXPECT_EQ(Get(Sfr::TL2), c.tl2);
        EXPECT_EQ(Get(Sfr::T2CON) >> 7, c.tf2);
    }
}

TEST(Timer2Pins, T2exCapturesOrReloads) {
    Fresh(true);
    Set(Sfr::T2CON, 0x09);
    Set(Sfr::TH2, 0xAB);
    Set(Sfr::TL2, 0xCD);
    Set(Sfr::P1, 0xFD);
    EXPECT_EQ(Get(Sfr::RCAP2H), 0xAB);
    EXPECT_EQ(Get(Sfr::RCAP2L), 0xCD);
    EXPECT_EQ(Get(Sfr::T2CON), 0x49);

    Fresh(true);
    Set(Sfr::T2CON, 0x08);
    Set(Sfr::RCAP2H, 0x11);
    Set(Sfr::RCAP2L, 0x22);
    Set(Sfr::P1, 0xFD);
    EXPECT_EQ(Get(Sfr::TH2), 0x11);
    EXPECT_EQ(Get(Sfr::TL2), 0x22);
    EXPECT_EQ(Get(Sfr::T2CON), 0x48);

    Fresh(true);  // baud-rate mode: only EXF2
    Set(Sfr::T2CON, 0x39);
    Set(Sfr::TH2, 0xAB);
    Set(Sfr::P1, 0xFD);
    EXPECT_EQ(Get(Sfr::RCAP2H), 0x00);
    EXPECT_EQ(Get(Sfr::T2CON), 0x79);
}

TEST(Timer2Pins, The8051HasNoTimer2Pins) {
    Fresh(false);
    Set(Sfr::T2CON, 0x06);
    Set(Sfr::TL2, 0x10);
    Set(Sfr::P1, 0xFE);
    EXPECT_EQ(Get(Sfr::TL2), 0x10);
}

TEST(Timer2Pins, IndirectStoreTo90hOnThe8052LeavesP1Alone) {
    Fresh(true);
    Set(Sfr::T2CON, 0x06);
    WriteDirect(0x90, 0xFE, true);
    EXPECT_EQ(Get(0x110), 0xFE);
    EXPECT_EQ(Get(Sfr::P1), 0xFF);
    EXPECT_EQ(Get(Sfr::TL2), 0x00);
}

TEST(RefreshHook, CalledOnlyWhileTheCountdownIsZeroAndInStoreOrder) {
    Fresh();
    RecordingHooks hooks;
    InstallStoreRefreshHooks(&hooks);
    ScreenUpdateCountdown = 3;
    Set(0x30, 1);
    WriteExternalRam(0x1234, 5);
    EXPECT_TRUE(hooks.direct.empty());
    EXPECT_TRUE(hooks.external.empty());
    EXPECT_EQ(Get(0x30), 1);
    ScreenUpdateCountdown = 0;
    // A T0 edge stores TCON (overflow), TH0 and TL0 before P3 itself.
    Set(Sfr::TMOD, 0x05);
    Set(Sfr::TCON, 0x10);
    Set(Sfr::TH0, 0xFF);
    Set(Sfr::TL0, 0xFF);
    hooks.direct.clear();
    Set(Sfr::P3, 0xEF);
    ASSERT_EQ(hooks.direct.size(), 4u);
    EXPECT_EQ(hooks.direct[0].address, Sfr::TCON);
    EXPECT_EQ(hooks.direct[1].address, Sfr::TH0);
    EXPECT_EQ(hooks.direct[2].address, Sfr::TL0);
    EXPECT_EQ(hooks.direct[3].address, Sfr::P3);
    EXPECT_FALSE(hooks.direct[3].worker);
    hooks.direct.clear();
    Exec({0x75, 0x30, 0x07});  // MOV 30h,#07h: the store, then the parity store
    ASSERT_EQ(hooks.direct.size(), 2u);
    EXPECT_EQ(hooks.direct[0].address, 0x30);
    EXPECT_TRUE(hooks.direct[0].worker);
    EXPECT_EQ(hooks.direct[1].address, Sfr::PSW);
    EXPECT_EQ(PendingRegisterAddress, Sfr::PSW);
    EXPECT_EQ(RegisterViewIdle, 1);
    WriteExternalRam(0x1234, 6);
    ASSERT_EQ(hooks.external.size(), 1u);
    EXPECT_EQ(hooks.external[0].address, 0x1234);
    InstallStoreRefreshHooks(nullptr);
}

}  // namespace
