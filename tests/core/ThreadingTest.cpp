// Two threads storing at once: the indirect-store marker of one thread never routes the other's.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "TestMachine.h"

using namespace testing_machine;

namespace {

TEST(Threads, IndirectMarkerBelongsToTheStoringThread) {
    Fresh(true);
    // The worker pushes and pops through a stack in the upper RAM (SP 80h-BFh) ...
    std::atomic<bool> stop{false};
    std::thread worker([&] {
        for (int i = 0; i < 200000 && !stop; ++i) {
            WriteDirect(Sfr::SP, 0x90);
            PushByte(uint8_t(i));
            PopByte();
        }
    });
    // ... while the user-interface thread stores into another part of the upper RAM by index.
    for (int i = 0; i < 200000; ++i) {
        WriteDirectUi(uint16_t(0x140 + (i & 0x1F)), 0xA5);
    }
    stop = true;
    worker.join();
    // No user-interface byte was routed elsewhere and no pushed byte left the stack area.
    for (uint16_t a = 0x140; a < 0x160; ++a) EXPECT_EQ(Get(a), 0xA5) << a;
    for (uint16_t a = 0x80; a < 0x100; ++a) {
        if (a == Sfr::SP || a == Sfr::P0 || a == Sfr::P1 || a == Sfr::P2 || a == Sfr::P3) continue;
        EXPECT_EQ(Get(a), 0) << a;
    }
    for (uint16_t a = 0x160; a < 0x180; ++a) EXPECT_EQ(Get(a), 0) << a;
    for (uint16_t a = 0x30; a < 0x80; ++a) EXPECT_EQ(Get(a), 0) << a;
}

}  // namespace
