// The run thread: end, breakpoints, AutoRestart, single steps, the refresh throttle, the
// user-interface updates through Synchronize, and the time texts.
#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <thread>

#include "RunThreads.h"
#include "TestMachine.h"

using namespace testing_machine;

namespace {

class RecordingView : public RunThreadView {
public:
    std::vector<std::string> calls;
    std::vector<std::thread::id> threads;
    void SetRunCommands(bool running) override { Add(running ? "commands:running" : "commands:idle"); }
    void SetRunTimes(const std::string& s, const std::string& c) override { Add("times:" + s + "|" + c); }
    void ShowProgramCounter(uint16_t pc) override {
        EXPECT_EQ(RegisterViewIdle, 0);
        Add("pc:" + std::to_string(pc));
    }
    void SelectListingRow(uint16_t pc) override { Add("row:" + std::to_string(pc)); }

private:
    void Add(const std::string& s) {
        calls.push_back(s);
        threads.push_back(std::this_thread::get_id());
    }
};

class RunThreadTest : public ::testing::Test {
protected:
    void SetUp() override {
        Fresh();
        SingleStepMode = 0;
    }
    // Runs on this thread to the end of the run.
    void Run(RunSettings s = RunSettings()) {
        TRunThread t(&view, s);
        t.RunSimulation();
        reason = t.Reason;
        cycles = t.CycleCount;
    }
    RecordingView view;
    StopReason reason{};
    uint64_t cycles = 0;
};

TEST_F(RunThreadTest, RunPastTheEndGoesBackToZero) {
    Place(0, {0x74, 0x05, 0x04, 0x00});  // MOV A,#5; INC A; NOP
    ProgramEnd = 3;
    Run();
    EXPECT_EQ(reason, StopReason::End);
    EXPECT_EQ(cycles, 3u);
    EXPECT_EQ(Acc(), 6);
    EXPECT_EQ(ProgramCounter, 0);
    // The commands are the window side's: it sets them before the thread starts, and the thread
    // reports its end from Execute (not called here).
    ASSERT_EQ(view.calls.size(), 4u);
    EXPECT_EQ(view.calls[0].rfind("times:Simulation: ", 0), 0u);
    EXPECT_NE(view.calls[0].find("|Controller: 3.25521E-6 sec"), std::string::npos);
    EXPECT_EQ(view.calls[1], "pc:4");
    EXPECT_EQ(view.calls[2], "row:4");
    EXPECT_EQ(view.calls[3], "pc:0");  // the common end
}

TEST_F(RunThreadTest, BreakpointsStopBeforeTheirInstructionExceptTheFirst) {
    Place(0, {0x04, 0x04, 0x04, 0x04});
    ProgramEnd = 3;
    AddCodeBreakpoint(0);
    AddCodeBreakpoint(2);
    Run();
    EXPECT_EQ(reason, StopReason::Breakpoint);
    EXPECT_EQ(ProgramCounter, 2);
    EXPECT_EQ(cycles, 2u);
    Run();  // starting on a breakpoint runs it
    EXPECT_EQ(reason, StopReason::End);
    EXPECT_EQ(Acc(), 4);
}

TEST_F(RunThreadTest, SingleStepExecutesOneInstruction) {
    Place(0, {0x04, 0x04});
    ProgramEnd = 1;
    SingleStepMode = 1;
    Run();
    EXPECT_EQ(Acc(), 1);
    EXPECT_EQ(ProgramCounter, 1);
    EXPECT_EQ(view.calls.size(), 4u);  // pc, row, times, pc of the common end
    EXPECT_EQ(view.calls[0], "pc:1");
    EXPECT_EQ(view.calls[2].rfind("times:", 0), 0u);
    Run();  // passes the end: the common end takes the program counter back to 0000h
    EXPECT_EQ(Acc(), 2);
    EXPECT_EQ(ProgramCounter, 0);
    view.calls.clear();
    ProgramCounter = 5;
    Run();  // beyond the end and no AutoRestart: nothing at all
    EXPECT_EQ(Acc(), 2);
    EXPECT_TRUE(view.calls.empty());
    RunSettings s;
    s.AutoRestart = true;
    Run(s);
    EXPECT_EQ(Acc(), 3);
    EXPECT_EQ(ProgramCounter, 1);
}

TEST_F(RunThreadTest, RefreshesOnlyOnEveryNthInstruction) {
    for (uint8_t n : {uint8_t(1), uint8_t(3), uint8_t(0)}) {
        Fresh();
        ProgramEnd = 8;  // nine NOPs, one parity store each
        RecordingHooks hooks;
        InstallStoreRefreshHooks(&hooks);
        RunSettings s;
        s.ScrUpdate = n;
        Run(s);
        InstallStoreRefreshHooks(nullptr);
        EXPECT_EQ(hooks.CountFor(Sfr::PSW), n == 0 ? 0 : 9 / n) << int(n);
        EXPECT_EQ(ScreenUpdateCountdown, 0);
    }
}

TEST_F(RunThreadTest, AutoRestartRunsUntilStopped) {
    Place(0, {0x05, 0x30, 0x00});  // INC 30h; NOP
    ProgramEnd = 2;
    RunSettings s;
    s.AutoRestart = true;
    s.ScrUpdate = 0;
    TRunThread t(nullptr, s);
    t.Start();
    while (InternalRam[0x31] == 0) {
        if (InternalRam[0x30] == 0xFF) InternalRam.Set(0x31, 1);  // seen it wrap around
        std::this_thread::yield();
    }
    t.Terminate();
    t.WaitFor();
    EXPECT_EQ(t.Reason, StopReason::Stopped);
    EXPECT_LE(ProgramCounter, 2);
}

std::mutex WakeMutex;
std::condition_variable Woken;
bool WakePending = false;

TEST_F(RunThreadTest, UpdatesRunOnTheUserInterfaceThreadWhileItWaits) {
    SetSynchronizeWaker([] {
        std::lock_guard<std::mutex> l(WakeMutex);
        WakePending = true;
        Woken.notify_all();
    });
    Place(0, {0x04, 0x04, 0x04});
    ProgramEnd = 2;
    {
        TRunThread t(&view, RunSettings());
        t.Start();
        t.WaitFor();  // serves the worker's calls while waiting
    }
    SetSynchronizeWaker(nullptr);
    ASSERT_EQ(view.calls.size(), 5u);
    EXPECT_EQ(view.calls.back(), "commands:idle");  // the last word of every thread
    for (auto id : view.threads) EXPECT_EQ(id, std::this_thread::get_id());
    EXPECT_EQ(Acc(), 3);
}

TEST(TimeTexts, SixSignificantDigits) {
    EXPECT_EQ(FormatSeconds(0.001), "0.001");
    EXPECT_EQ(FormatSeconds(0.00001), "0.00001");
    EXPECT_EQ(FormatSeconds(0.0000015), "1.5E-6");
    EXPECT_EQ(FormatSeconds(0.000009), "9E-6");
    EXPECT_EQ(FormatSeconds(123456.0), "123456");
    EXPECT_EQ(FormatSeconds(1234567.0), "1.23457E6");
    EXPECT_EQ(FormatSeconds(999999.5), "1E6");
    EXPECT_EQ(FormatSeconds(0.1234567), "0.123457");
    EXPECT_EQ(FormatSeconds(12.5), "12.5");
    EXPECT_EQ(FormatSeconds(0), "0");
    EXPECT_EQ(ControllerTimeText(1000, 12000000), "Controller: 0.001 sec");
    EXPECT_EQ(SimulationTimeText(2.0), "Simulation: 2 sec");
}

}  // namespace
