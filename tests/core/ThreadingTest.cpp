// Two threads at once: inputs submitted while the simulation thread runs are applied between
// two instructions, none of the program's own flag changes is lost, and the recorder is read while
// a run records.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "Inputs.h"
#include "Recorder.h"
#include "RunThreads.h"
#include "TestMachine.h"

using namespace testing_machine;

namespace {

struct CountingSerial : SerialOutputHook {
    std::atomic<size_t> count{0};
    void ByteSent(uint8_t) override { count.fetch_add(1, std::memory_order_relaxed); }
};

// A program that transmits all the time and counts received bytes, while the other thread sends
// it 200 bytes: every byte is counted, and TI, set by the hardware while a byte arrives, is never
// lost (the program would stop transmitting for ever).
TEST(Threads, BytesSubmittedDuringARunAreCountedAndTiIsNeverLost) {
    Fresh(true);
    Place(0x0000, {0x75, 0x98, 0x52,   // MOV SCON,#52h (mode 1, REN, TI)
                   0x30, 0x99, 0x05,   // loop: JNB TI,rx
                   0xC2, 0x99,         // CLR TI
                   0x75, 0x99, 0x55,   // MOV SBUF,#55h
                   0x30, 0x98, 0xF5,   // rx: JNB RI,loop
                   0xC2, 0x98,         // CLR RI
                   0x05, 0x30,         // INC 30h
                   0x80, 0xEF});       // SJMP loop
    CountingSerial sent;
    InstallSerialOutputHook(&sent);
    std::atomic<bool> stop{false};
    BeginWorkerOwnership();
    std::thread worker([&] {
        StoringAsWorker = true;
        while (!stop.load(std::memory_order_relaxed)) StepInstruction(ProgramCounter);
    });
    constexpr int kBytes = 200;
    // The program's set-up first: its SCON store would clear an RI that came before it.
    while (!(InternalRam[Sfr::SCON] & 0x10)) std::this_thread::sleep_for(std::chrono::microseconds(20));
    for (int i = 0; i < kBytes; ++i) {
        // One byte at a time, as a sender waiting for the program.
        while (InternalRam[0x30] != uint8_t(i)) std::this_thread::sleep_for(std::chrono::microseconds(20));
        MachineInput in;
        in.kind = InputKind::SerialByte;
        in.value = uint8_t(i);
        SubmitInput(in);
    }
    while (InternalRam[0x30] != uint8_t(kBytes)) std::this_thread::sleep_for(std::chrono::microseconds(20));
    const size_t before = sent.count.load();
    while (sent.count.load() < before + 10) std::this_thread::sleep_for(std::chrono::microseconds(20));
    stop = true;
    worker.join();
    EndWorkerOwnership();
    InstallSerialOutputHook(nullptr);
    EXPECT_EQ(Get(0x30), kBytes);
}

// Inputs of every kind from the other thread are applied between instructions, in order, each
// stamped with the instruction count at which it took effect.
TEST(Threads, SubmittedInputsAreAppliedInOrderWithTheirStamps) {
    Fresh(true);
    Place(0x0000, {0x80, 0xFE});  // SJMP $
    struct Log : InputObserver {
        std::vector<MachineInput> inputs;
        void InputApplied(const MachineInput& in) override { inputs.push_back(in); }
    } log;
    InstallInputObserver(&log);
    std::atomic<bool> stop{false};
    BeginWorkerOwnership();
    std::thread worker([&] {
        while (!stop.load(std::memory_order_relaxed)) StepInstruction(ProgramCounter);
    });
    for (int i = 0; i < 50; ++i) {
        MachineInput in;
        in.kind = InputKind::ExternalByte;
        in.address = uint16_t(i);
        in.value = uint8_t(i + 1);
        SubmitInput(in);
        std::this_thread::yield();
    }
    stop = true;
    worker.join();
    EndWorkerOwnership();
    InstallInputObserver(nullptr);
    ASSERT_EQ(log.inputs.size(), 50u);
    for (int i = 0; i < 50; ++i) {
        EXPECT_EQ(ExternalRam[uint16_t(i)], i + 1);
        EXPECT_EQ(log.inputs[size_t(i)].address, i);
        if (i > 0) {
            EXPECT_GE(log.inputs[size_t(i)].stamp, log.inputs[size_t(i - 1)].stamp);
        }
    }
    EXPECT_LE(log.inputs.back().stamp, uint64_t(Machine.instructions));
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
    ASSERT_TRUE(Recorder.Enable(64));
    SingleStepMode = 0;
    TRunThread run(nullptr, RunSettings());
    run.Start();
    // Reads race with the recording run; on a loaded machine the run may start late, so read
    // until something was seen (at most ten seconds).
    uint64_t seen = 0;
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    for (int i = 0; (i < 20 || seen == 0) && std::chrono::steady_clock::now() < give_up; ++i) {
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
