// Two threads storing at once: the indirect-store marker of one thread never routes the other's,
// and bytes received on one thread reach a program running on the other.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "Recorder.h"
#include "RunThreads.h"
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

// The user-interface thread delivers bytes as the terminal's Send does, each once the program
// has taken the one before; the running echo program must send every byte back unchanged.
TEST(Threads, BytesReceivedDuringARunReachTheProgram) {
    Fresh(true);
    // TI stays set, so that the program stores SCON only to clear RI, while no byte can come:
    // a store of SCON by the program races with one by the other thread, as any byte does.
    Place(0x0000, {0x75, 0x98, 0x52,   // MOV SCON,#52h
                   0x30, 0x98, 0xFD,   // JNB RI,$
                   0xC2, 0x98,         // CLR RI
                   0xE5, 0x99,         // MOV A,SBUF
                   0xF5, 0x99,         // MOV SBUF,A
                   0x80, 0xF5});       // SJMP 0003h
    struct Echo : SerialOutputHook {
        std::vector<uint8_t> bytes;
        std::atomic<size_t> count{0};
        void ByteSent(uint8_t v) override {
            bytes.push_back(v);
            count.store(bytes.size(), std::memory_order_release);
        }
    } echo;
    InstallSerialOutputHook(&echo);
    constexpr size_t kBytes = 200;
    std::atomic<bool> stop{false};
    std::thread worker([&] {
        while (!stop.load(std::memory_order_relaxed)) StepInstruction(ProgramCounter);
    });
    for (size_t i = 0; i < kBytes; ++i) {
        while ((InternalRam[Sfr::SCON] & 0x11) != 0x10 || !SerialReceiveBufferRead) std::this_thread::yield();
        ReceiveSerialByteUi(uint8_t(i * 7), 0);
    }
    while (echo.count.load(std::memory_order_acquire) < kBytes) std::this_thread::yield();
    stop = true;
    worker.join();
    InstallSerialOutputHook(nullptr);
    ASSERT_EQ(echo.bytes.size(), kBytes);
    for (size_t i = 0; i < kBytes; ++i) ASSERT_EQ(echo.bytes[i], uint8_t(i * 7)) << i;
}

// The windows read the recorder while the worker records: every count, edge, running frame and
// trace entry is read while it is being written.
TEST(Threads, RecorderIsReadWhileARunRecords) {
    Fresh(true);
    ResetDebugCounters();
    Place(0x0000, {0x7F, 0x00,         // loop: MOV R7,#0
                   0x12, 0x00, 0x10,   // LCALL 0010h
                   0x80, 0xF9});       // SJMP loop
    Place(0x0010, {0xDF, 0xFE, 0x22}); // DJNZ R7,$; RET
    Recorder.Clear();
    Recorder.Enable(64);
    SingleStepMode = 0;
    TRunThread run(nullptr, RunSettings());
    run.Start();
    uint64_t seen = 0;
    for (int i = 0; i < 20; ++i) {
        seen += Recorder.Starts(0x0010) + Recorder.Entry(0x0010).cycles + Recorder.Edges().size() +
                Recorder.Trace().size() + Recorder.TotalCycles();
        std::this_thread::yield();
    }
    run.Terminate();
    run.WaitFor();
    Recorder.Disable();
    EXPECT_GT(seen, 0u);
    EXPECT_EQ(Recorder.TotalCycles(), run.CycleCount);
    Recorder.Clear();
}

}  // namespace
