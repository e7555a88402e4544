// The simulated 8051/8052: the machine as one value, the instruction table, one-step execution,
// interrupts and timers, and the store routines with their pin and observer side effects.
//
// How to use it: set Processor8052, call InitMachineState(), put a program into CodeMemory and
// call StepInstruction(ProgramCounter) once per instruction; each step reports the address it
// executed and the machine cycles it took. Every store into internal data memory goes through
// WriteDirect; stores to external RAM through WriteExternalRam. Plain reads (InternalRam[a],
// ReadBit) never change the machine, so painting a window is always safe.
//
// Everything the controller is lives in one MachineState, `Machine`: memories, registers, the
// level stack, the byte being sent, the timer plan, the shadow call stack, the cycle and
// instruction totals, the devices' pulls on the port pins and the serial line's pace. The names
// the rest of the program uses (CodeMemory, InternalRam, ProgramCounter, ...) are references into
// it. SaveMachine copies it out, RestoreMachine copies it back, operator== and
// FirstMachineDifference compare two copies.
//
// Threads: while a run is in progress only the simulation thread changes the machine; everything
// from outside the program (a received byte, a pin pull, a byte edit, Set PC) enters through
// SubmitInput (Inputs.h), which the simulation thread applies between two instructions. Windows
// read at any time: every shared byte and scalar is read and written through relaxed atomics
// (SharedBytes, Shared), which on x86 are ordinary moves. Nothing here knows about windows:
// refreshes leave through the installable StoreRefreshHooks, observers of stores and steps hang
// on hooks of their own (Observers.h), and transmitted bytes leave through SerialOutputHook.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "Board.h"

// A fixed array of bytes that two threads may read and write at once. Each element is accessed
// with a relaxed atomic load or store: whole bytes, no ordering beyond that.
//
// A copy is made by the thread that owns the machine (the only one that writes it: the simulation
// thread during a run, the controlling thread otherwise), so it reads plainly, memcpy-fast.
// Assignment stores only the bytes that differ, each as a relaxed atomic, so a window reading
// meanwhile sees whole bytes.
template <std::size_t N>
class SharedBytes {
public:
    SharedBytes() = default;
    SharedBytes(const SharedBytes& o) { std::memcpy(bytes_, o.bytes_, N); }
    SharedBytes& operator=(const SharedBytes& o) {
        if (this == &o) return *this;
        constexpr std::size_t kBlock = 64;
        for (std::size_t b = 0; b < N; b += kBlock) {
            const std::size_t n = N - b < kBlock ? N - b : kBlock;
            if (std::memcmp(bytes_ + b, o.bytes_ + b, n) == 0) continue;
            for (std::size_t i = b; i < b + n; ++i)
                if (bytes_[i] != o.bytes_[i]) Set(i, o.bytes_[i]);
        }
        return *this;
    }
    bool operator==(const SharedBytes& o) const { return std::memcmp(bytes_, o.bytes_, N) == 0; }

    uint8_t operator[](std::size_t i) const {
        return std::atomic_ref<uint8_t>(bytes_[i]).load(std::memory_order_relaxed);
    }
    void Set(std::size_t i, uint8_t v) {
        std::atomic_ref<uint8_t>(bytes_[i]).store(v, std::memory_order_relaxed);
    }
    void Fill(uint8_t v) {
        for (std::size_t i = 0; i < N; ++i) Set(i, v);
    }
    static constexpr std::size_t size() { return N; }

private:
    mutable uint8_t bytes_[N]{};
};

// A scalar shared between the two threads; reads and writes are relaxed atomics. Copies carry the
// value.
template <typename T>
class Shared {
public:
    constexpr Shared() = default;
    constexpr explicit Shared(T v) : value_(v) {}
    Shared(const Shared& o) : value_(T(o)) {}
    Shared& operator=(const Shared& o) { return *this = T(o); }
    operator T() const { return Ref().load(std::memory_order_relaxed); }
    Shared& operator=(T v) {
        Ref().store(v, std::memory_order_relaxed);
        return *this;
    }
    // Read-modify-writes for flag words that both threads set.
    T FetchOr(T bits) { return Ref().fetch_or(bits, std::memory_order_release); }
    T Exchange(T v) { return Ref().exchange(v, std::memory_order_acq_rel); }

private:
    std::atomic_ref<T> Ref() const { return std::atomic_ref<T>(value_); }
    alignas(std::atomic_ref<T>::required_alignment) mutable T value_{};
};

// ---- Machine state ---------------------------------------------------------------------------

// Index of InternalRam that an 8051 reaches through @Ri or the stack for addresses 80h-FFh: the
// 8051 has no RAM there, so such a store is dropped and such a read gives 00h.
constexpr uint16_t kIndirectNowhere = 0x180;
// The size of internal memory as the windows and the state dump show it (00h-17Fh).
constexpr std::size_t kInternalRamSize = 0x180;
// The shadow call stack's capacity (Debugger.h).
constexpr int kMaxCallFrames = 128;

// The devices that pull port pins, each with a pull of its own: releasing one device's pull
// leaves the others'. A pin reads high only while the latch and every device leave it high.
enum class DeviceId : uint8_t {
    PortPanel = 0,     // the port panel's pin clicks
    Keypad = 1,        // the 4x2 keypad
    MatrixKeypad = 2,  // the 4x4 matrix keypad
    Lcd = 3,           // the LCD's data lines
    Extra4 = 4,
    Extra5 = 5,
    Extra6 = 6,
    Extra7 = 7,
};
constexpr int kMaxDevices = 8;

// What the timer stage does, worked out from TMOD, TCON, the P3 pins and T2CON whenever they
// change instead of before every instruction.
struct TimerPlan {
    // What runs: nothing, Timer 1 alone in mode 2 (the usual baud-rate generator), or any mix.
    enum Kind : uint8_t { Idle, Timer1Mode2, Mixed } kind = Idle;
    bool t1 = false;       // Timer 1 counts machine cycles, in mode t1Mode
    bool t1Flag = false;   // and sets TF1 (not while Timer 0 is in mode 3)
    bool t0 = false;       // Timer 0 counts machine cycles, in mode t0Mode
    bool th0 = false;      // TH0 counts as Timer 0's upper half in mode 3, run by TR1
    bool t2 = false;       // Timer 2 counts machine cycles (on the 8052)
    uint8_t t1Mode = 0, t0Mode = 0;
};

// The step's cached decisions, bits of MachineState::stepDue. kInterruptStageDue: an interrupt
// could have become acceptable, or a level-triggered request could have to follow its pin.
// kTimerPlanDue: the timer plan must be rebuilt. kInputsDue: SubmitInput queued something for the
// simulation thread to apply before the next instruction.
constexpr uint8_t kInterruptStageDue = 1, kTimerPlanDue = 2, kInputsDue = 4;

// The whole controller as one value. The live one is `Machine`; copies are snapshots.
struct MachineState {
    // Program memory: written by the loaders while no run is in progress and by code edits.
    // codeGeneration changes with every such write, so that a copy can skip unchanged code.
    std::array<uint8_t, 0x10000> code{};
    uint32_t codeGeneration = 0;
    // 00h-7Fh RAM, 80h-FFh one byte per special-function-register address (a port's byte is its
    // latch), 100h-17Fh the 8052's upper RAM (indirect only). The byte at kIndirectNowhere always
    // reads 00h.
    SharedBytes<kInternalRamSize + 1> iram;
    SharedBytes<0x10000> xram;
    Shared<uint16_t> pc;
    // Priority levels in service, entry 0 the innermost (0 none, 1 low, 2 high).
    SharedBytes<4> levelStack;
    // Set by RETI and by any store to IE or IP: the next instruction runs before an interrupt can
    // be accepted, as on the real part.
    Shared<uint8_t> interruptHold;
    // SBUF is two registers at one address. A store by the program loads the transmit side
    // (txByte, and iram[SBUF], the byte the windows show). A read by an instruction gives
    // rxBuffer, loaded by a received byte and by a user's edit of SBUF. rxRead: an instruction
    // has read SBUF since the last byte arrived (and before the first one).
    Shared<uint8_t> rxBuffer;
    Shared<uint8_t> rxRead{1};
    Shared<uint8_t> txByte;
    // The step's cached decisions (kInterruptStageDue, kTimerPlanDue, kInputsDue) and the plan.
    Shared<uint8_t> stepDue{kInterruptStageDue | kTimerPlanDue};
    TimerPlan plan;
    // The shadow call stack (Debugger.h): frames packed into words, outermost first.
    Shared<uint64_t> frames[kMaxCallFrames];
    Shared<int32_t> depth;
    // The machine's cycle total at the last Reset (the stopwatch's "since Reset" counts from it).
    Shared<uint64_t> resetCycles;
    // Machine cycles and instructions executed since start-up: the step adds its own. The
    // instruction count is the time stamp of inputs and history. These and the serial line's pace
    // below are the owning thread's alone (the simulation thread during a run): others read them
    // between runs, or from an observer. Plain fields, so that the step adds to them in one
    // instruction each.
    uint64_t cycles = 0, instructions = 0;
    // Each device's pull on each port, 4 bytes per device (bit 0 = the pin pulled low), and
    // pins: every device's pull together (1 = no device pulls the pin low).
    SharedBytes<kMaxDevices * 4> devicePulls;
    SharedBytes<4> pins;
    // The serial line's pace: the machine cycle at which its last byte was delivered, the one at
    // which the program cleared RI with SBUF not read (~0 for none), and the first machine cycle
    // at which the step looks at the line again (~0 while it waits for none).
    uint64_t serialLastDelivery = 0;
    uint64_t serialUnreadSince = ~uint64_t(0);
    uint64_t serialDue = ~uint64_t(0);
    // The course hardware attached to the pins (Board.h).
    BoardState board;

    // Everything but the step's cached decisions (stepDue, plan), which RestoreMachine renews.
    bool operator==(const MachineState& o) const;
};

// The live machine.
extern MachineState Machine;

// The machine's long-standing names, as references into the one instance: each compiles to a direct access.
inline constexpr auto& CodeMemory = Machine.code;
inline constexpr auto& InternalRam = Machine.iram;
inline constexpr auto& ExternalRam = Machine.xram;
inline constexpr auto& ProgramCounter = Machine.pc;
inline constexpr auto& InterruptLevelStack = Machine.levelStack;
inline constexpr auto& InterruptHold = Machine.interruptHold;
inline constexpr auto& SerialReceiveBuffer = Machine.rxBuffer;
inline constexpr auto& SerialReceiveBufferRead = Machine.rxRead;

// A copy of the live machine, taken by the thread that owns it (the simulation thread during a
// run, e.g. from an observer; the controlling thread otherwise).
MachineState SaveMachine();
// Puts a copy back: every byte that differs is stored (code memory only when its generation
// differs), and the step re-evaluates its cached decisions before the next instruction. The owner
// thread only; windows may read meanwhile.
void RestoreMachine(const MachineState& state);
// The first difference between two copies, as "iram[81h]: 07h / 09h", empty when they are equal.
std::string FirstMachineDifference(const MachineState& a, const MachineState& b);
// Code memory was written (a load, a code edit): bumps the generation.
void NoteCodeChanged();

// Configuration beside the machine (not part of its value).

// One byte per code address: 1 = breakpoint, 2 = a breakpoint the user disabled (kept, not
// stopping). Kept by the breakpoint API (Debugger.h), read by the run loop.
extern SharedBytes<0x10000> BreakpointTable;
// Highest code address of the loaded program, -1 after an empty image.
extern Shared<int32_t> ProgramEnd;
// 1 = 8052 (the default), 0 = 8051.
extern Shared<uint8_t> Processor8052;
// Window refreshes by stores happen only while this is 0 (the run loop counts it down).
extern Shared<uint8_t> ScreenUpdateCountdown;
// 0 while a store is writing into the register view, 1 otherwise.
extern Shared<uint8_t> RegisterViewIdle;
extern Shared<uint16_t> PendingRegisterAddress;
extern Shared<uint8_t> PendingRegisterValue;

// Special function register addresses used throughout.
namespace Sfr {
constexpr uint16_t P0 = 0x80, SP = 0x81, DPL = 0x82, DPH = 0x83, PCON = 0x87, TCON = 0x88,
                   TMOD = 0x89, TL0 = 0x8A, TL1 = 0x8B, TH0 = 0x8C, TH1 = 0x8D, P1 = 0x90,
                   SCON = 0x98, SBUF = 0x99, P2 = 0xA0, IE = 0xA8, P3 = 0xB0, IP = 0xB8,
                   T2CON = 0xC8, RCAP2L = 0xCA, RCAP2H = 0xCB, TL2 = 0xCC, TH2 = 0xCD, PSW = 0xD0,
                   ACC = 0xE0, B = 0xF0;
}

// ---- Instruction table -----------------------------------------------------------------------

struct TAsmData {
    std::string_view Template;  // mnemonic, one blank, operands separated by "," (no blanks)
    uint8_t Length;             // bytes including the opcode, 1-3
    uint8_t Cycles;             // machine cycles, 1, 2 or 4
};

extern const std::array<TAsmData, 256> AsmTable;
// AsmTable's cycles and lengths as plain byte tables, for the step routine and the run loop.
extern const std::array<uint8_t, 256> InstructionCycles;
extern const std::array<uint8_t, 256> InstructionLength;

// ---- Accessors -------------------------------------------------------------------------------

inline uint8_t ReadDirect(uint16_t address) { return InternalRam[address]; }

// The InternalRam index of indirect address r (through @R0, @R1 or SP).
inline uint16_t IndirectIndex(uint8_t r) {
    if (r < 0x80) return r;
    return Processor8052 ? uint16_t(r + 0x80) : kIndirectNowhere;
}

// Direct byte address of bit address b.
inline uint8_t BitByteAddress(uint8_t b) { return b < 0x80 ? uint8_t(0x20 + (b >> 3)) : uint8_t(b & 0xF8); }

// The bit as stored (a port's bit: its latch).
inline int ReadBit(uint8_t b) { return (InternalRam[BitByteAddress(b)] >> (b & 7)) & 1; }

// Ports: P0-P3 at 80h, 90h, A0h, B0h, port n's latch at InternalRam[0x80 + 0x10 * n].
inline bool IsPortAddress(uint16_t a) { return a < 0x100 && (a & 0xCF) == 0x80; }
// The level of port n's pins: the latch AND every device's pull.
inline uint8_t PortPins(int n) { return uint8_t(InternalRam[0x80 + 0x10 * n] & Machine.pins[n]); }
// A device's pull on port n (bit clear = pulled low).
inline uint8_t DevicePull(DeviceId d, int n) { return Machine.devicePulls[int(d) * 4 + n]; }

// Read-modify-write of the bit's byte through WriteDirect; no store when the bit already has v.
void WriteBit(uint8_t b, int v);
void PushByte(uint8_t v);
uint8_t PopByte();

// ---- Store routines --------------------------------------------------------------------------

// A store to InternalRam index 000h-17Fh with every side effect, made by the thread that owns
// the machine (see SubmitInput for changes from outside a running program). `indirect`: the
// address came through @Ri or SP, so 80h-FFh reach the 8052's upper RAM (and nothing on the 8051).
void WriteDirect(uint16_t address, uint8_t value, bool indirect = false);
// A user's store (an edit): as WriteDirect, and a store to SBUF sets both of its registers, so
// that editing SBUF and then RI hands the program that byte.
void WriteDirectUser(uint16_t address, uint8_t value, bool indirect = false);
void WriteExternalRam(uint16_t address, uint8_t value);

// A byte arriving at the serial port, as a complete frame would deliver it: the receive buffer
// (and InternalRam[SBUF] for the windows), then RB8 and RI in one SCON store. RB8 takes the ninth
// bit; RI is set unless SM2 = 1 and the ninth bit is 0.
void ReceiveSerialByte(uint8_t value, int ninthBit);

// Sets device d's pull on port n (bit clear = pulled low). Pin edges, level requests and timer
// gates follow the pins this changes.
void SetDevicePull(DeviceId d, int port, uint8_t pull);

// One falling edge on a timer's counter input (T0 or T1), with mode 0-3 counting rules.
void TimerCounterTick(int mode, uint16_t thAddress, uint16_t tlAddress, uint8_t flag);

// Window refreshes requested by stores. The core calls these only while ScreenUpdateCountdown
// is 0 and hooks are installed. `fromWorker` tells whether the simulation thread made the store
// during a run: then the window work is left to the user-interface thread's next repaint. For
// worker stores PendingRegisterAddress/Value hold the address and value and RegisterViewIdle is 0
// for the duration of the call.
class StoreRefreshHooks {
public:
    virtual ~StoreRefreshHooks() = default;
    virtual void DirectStored(uint16_t address, uint8_t value, uint8_t old, bool fromWorker) = 0;
    virtual void ExternalStored(uint16_t address, uint8_t value, bool fromWorker) = 0;
};
void InstallStoreRefreshHooks(StoreRefreshHooks* hooks);
StoreRefreshHooks* InstalledStoreRefreshHooks();

// Receives every byte the program transmits through SBUF, on the simulation thread.
class SerialOutputHook {
public:
    virtual ~SerialOutputHook() = default;
    virtual void ByteSent(uint8_t value) = 0;
};
void InstallSerialOutputHook(SerialOutputHook* hook);
SerialOutputHook* InstalledSerialOutputHook();
// While history rebuilds the past, the bytes the program transmits go nowhere: they reached the
// hook the first time. The thread that owns the machine sets and clears it.
void MuteSerialOutput(bool muted);

// Told when a store changes a port's latch, and when a device's pull changes a pin, on the thread
// that does it: a device whose pulls depend on the pins (a matrix keypad's columns follow its
// rows) recomputes them here with SetDevicePull. Installed by the controlling thread between
// runs; nullptr for none, which costs nothing.
class PortLatchListener {
public:
    virtual ~PortLatchListener() = default;
    virtual void LatchChanged(int port, uint8_t latch) = 0;
    // The same, told who stored: a store by the user (an edit while no run is in progress) is a
    // change that no controller time separates from what was there before.
    virtual void LatchStored(int port, uint8_t latch, bool byUser) {
        (void)byUser;
        LatchChanged(port, latch);
    }
    // A device's pull changed the levels of port n's pins.
    virtual void PinsChanged(int port) { (void)port; }
};
void InstallPortLatchListener(PortLatchListener* listener);

// Whether the calling thread stores as the simulation thread of a run in progress (window
// refreshes are then only marked). Set by the run thread for its own duration.
extern thread_local bool StoringAsWorker;

// ---- Execution -------------------------------------------------------------------------------

// What one step did: the address of the instruction executed (the vector when an interrupt was
// entered), the machine cycles it took (2 for the interrupt entry, the hardware LCALL, plus the
// instruction's), and whether an interrupt was entered.
struct StepResult {
    uint16_t executed;
    uint8_t cycles;
    bool interrupted;
    uint8_t opcode;  // the instruction executed
};

// Whether a step's stores are watched: each watched store reaches the store observers and asks for
// a window refresh while ScreenUpdateCountdown is 0. The run loop decides this once per
// instruction.
inline bool StepIsWatched(uint8_t screenUpdateCountdown) { return screenUpdateCountdown == 0; }

// One simulation step at `address` (normally ProgramCounter): the inputs queued for the simulation
// thread and the serial line, the interrupt stage (an entry takes 2 machine cycles), the timers,
// then one instruction. StepWatched and StepUnwatched are the same step with its stores watched
// or not; both leave the machine in the same state. The step adds its cycles and one instruction
// to the machine's totals.
StepResult StepWatched(uint16_t address);
StepResult StepUnwatched(uint16_t address);
inline StepResult StepInstruction(uint16_t address) {
    return StepIsWatched(ScreenUpdateCountdown) ? StepWatched(address) : StepUnwatched(address);
}

// The step routine skips its interrupt stage, keeps its timer plan and leaves PSW.P alone while
// no store has changed a register they depend on. Call this after writing such registers (TCON,
// TMOD, SCON, T2CON, IE, IP, P3, ACC, PSW) straight into InternalRam instead of through a store
// routine, as a test that seeds the machine does.
void MachineStateChanged();

// ---- Lifecycle -------------------------------------------------------------------------------

// Start-up: everything zero (code memory, both RAMs, breakpoints, the call stack, the stopwatch,
// the totals, every device's pull released), then SP = 07h and P0-P3 = FFh, PC = 0000h.
// Processor8052 keeps the value the caller set.
void InitMachineState();
// Clear Internal RAM: every index up to 0FFh (8051) or 17Fh (8052) written in ascending order
// (P0-P3 FFh, SP 07h, the rest 00h), and the receive buffer emptied.
void ClearInternalRam();
// Reset: the level stack and the interrupt hold cleared, PC = 0000h, Clear Internal RAM, then the
// stopwatch and the call stack. Devices keep their pulls: a key held through Reset stays down.
void ResetController();
// Clear External RAM: WriteExternalRam(a, 0) for every address.
void ClearExternalRam();
