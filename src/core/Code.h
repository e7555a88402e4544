// The simulated 8051/8052: process-wide machine state, the instruction table, one-step execution,
// interrupts and timers, and the store routines with their pin and window side effects.
//
// How to use it: set Processor8052, call InitMachineState(), put a program into CodeMemory and
// call StepInstruction(ProgramCounter) once per instruction. Every store into internal data memory
// goes through WriteDirect (simulation thread) or WriteDirectUi (user-interface thread); stores to
// external RAM through WriteExternalRam. Plain reads (InternalRam[a], ReadBit) never change the
// machine, so painting a window is always safe.
//
// Two threads share this state without a lock: the worker that runs instructions and the
// user-interface thread that drives pins and edits bytes. Every shared byte and the program
// counter is therefore read and written through relaxed atomics (see SharedBytes and Shared), which
// on x86 are ordinary moves. Nothing here knows about windows: refreshes leave through the
// installable StoreRefreshHooks, and transmitted bytes through SerialOutputHook; received bytes
// enter through ReceiveSerialByte (or ReceiveSerialByteUi).
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string_view>

// A fixed array of bytes that two threads may read and write at once. Each element is accessed
// with a relaxed atomic load or store: whole bytes, no ordering beyond that.
template <std::size_t N>
class SharedBytes {
public:
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

// A scalar shared between the two threads; reads and writes are relaxed atomics.
template <typename T>
class Shared {
public:
    constexpr Shared() = default;
    constexpr explicit Shared(T v) : value_(v) {}
    operator T() const { return value_.load(std::memory_order_relaxed); }
    Shared& operator=(T v) {
        value_.store(v, std::memory_order_relaxed);
        return *this;
    }
    Shared(const Shared&) = delete;
    Shared& operator=(const Shared&) = delete;

private:
    std::atomic<T> value_{};
};

// ---- Machine state ---------------------------------------------------------------------------

// Index of InternalRam that an 8051 reaches through @Ri or the stack for addresses 80h-FFh: the
// 8051 has no RAM there, so such a store is dropped and such a read gives 00h.
constexpr uint16_t kIndirectNowhere = 0x180;
// The size of internal memory as the windows and the state dump show it (00h-17Fh).
constexpr std::size_t kInternalRamSize = 0x180;

// Program memory, written only by the loaders while no run is in progress.
extern std::array<uint8_t, 0x10000> CodeMemory;
// 00h-7Fh RAM, 80h-FFh one byte per special-function-register address, 100h-17Fh the 8052's
// upper RAM (indirect only). The extra byte at kIndirectNowhere always reads 00h.
extern SharedBytes<kInternalRamSize + 1> InternalRam;
extern SharedBytes<0x10000> ExternalRam;
// One byte per code address: 1 = breakpoint, 2 = a breakpoint the user disabled (kept, not stopping).
extern SharedBytes<0x10000> BreakpointTable;
extern Shared<uint16_t> ProgramCounter;
// Highest code address of the loaded program, -1 after an empty image.
extern Shared<int32_t> ProgramEnd;
// 1 = 8052 (the default), 0 = 8051.
extern Shared<uint8_t> Processor8052;
// One-shot marker: the next store of this thread goes to an indirect (stack) address. One flag
// per thread, so that a store of one thread never consumes the other thread's marker.
extern thread_local uint8_t IndirectWritePending;
// Priority levels in service, entry 0 the innermost (0 none, 1 low, 2 high).
extern SharedBytes<4> InterruptLevelStack;
// Window refreshes by stores happen only while this is 0 (the run loop counts it down).
extern Shared<uint8_t> ScreenUpdateCountdown;
// 0 while a store is writing into the register view, 1 otherwise.
extern Shared<uint8_t> RegisterViewIdle;
extern Shared<uint16_t> PendingRegisterAddress;
extern Shared<uint8_t> PendingRegisterValue;
// Set by RETI and by any store to IE or IP: the next instruction runs before an interrupt can
// be accepted, as on the real part.
extern Shared<uint8_t> InterruptHold;
// SBUF is two registers at one address. A store by the program loads the transmit side, which
// is InternalRam[SBUF] (the byte the windows show: the last one written or received). A read by
// an instruction gives the receive buffer below, loaded only by ReceiveSerialByte and by a user's
// store (WriteDirectUi), and cleared by start-up, Reset and Clear Internal RAM.
extern Shared<uint8_t> SerialReceiveBuffer;
// 1 once an instruction has read SBUF since the last byte arrived (and before the first one): a
// paced sender waits for it, so that a slow program never loses a byte.
extern Shared<uint8_t> SerialReceiveBufferRead;

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

inline int ReadBit(uint8_t b) { return (InternalRam[BitByteAddress(b)] >> (b & 7)) & 1; }

// Read-modify-write of the bit's byte through WriteDirect; no store when the bit already has v.
void WriteBit(uint8_t b, int v);
void PushByte(uint8_t v);
uint8_t PopByte();

// ---- Store routines --------------------------------------------------------------------------

// The simulation thread's store to InternalRam index 000h-17Fh, with every side effect.
void WriteDirect(uint16_t address, uint8_t value);
// The user-interface thread's twin of WriteDirect. A user's store to SBUF sets both of its
// registers, so that editing SBUF and then RI hands the program that byte.
void WriteDirectUi(uint16_t address, uint8_t value);
// The user-interface side of an external RAM store (MOVX stores go through the same path on the
// worker thread).
void WriteExternalRam(uint16_t address, uint8_t value);

// A byte arriving at the serial port, as a complete frame would deliver it: the receive buffer
// (and InternalRam[SBUF] for the windows), then RB8 and RI in one SCON store. RB8 takes the ninth
// bit; RI is set unless SM2 = 1 and the ninth bit is 0. ReceiveSerialByte is the simulation
// thread's entry (the runner's serial input), ReceiveSerialByteUi the user-interface thread's
// (the terminal's Send).
void ReceiveSerialByte(uint8_t value, int ninthBit);
void ReceiveSerialByteUi(uint8_t value, int ninthBit);

// One falling edge on a timer's counter input (T0 or T1), with mode 0-3 counting rules.
void TimerCounterTick(int mode, uint16_t thAddress, uint16_t tlAddress, uint8_t flag);

// Window refreshes requested by stores. The core calls these only while ScreenUpdateCountdown
// is 0 and hooks are installed. `fromWorker` tells which entry point made the store: a worker
// store must have its window work carried out on the user-interface thread before it returns.
// For worker stores PendingRegisterAddress/Value hold the address and value and RegisterViewIdle
// is 0 for the duration of the call.
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

// ---- Execution -------------------------------------------------------------------------------

// Whether a step's stores are watched: each watched store asks for a window refresh while
// ScreenUpdateCountdown is 0. The run loop decides this once per instruction; any further reason
// to look at every store of an instruction joins the test here.
inline bool StepIsWatched(uint8_t screenUpdateCountdown) { return screenUpdateCountdown == 0; }

// One simulation step at `address` (normally ProgramCounter): the interrupt and timer stage,
// then the instruction stage. Returns the address of the instruction executed (an interrupt
// vector when an interrupt was accepted). StepWatched and StepUnwatched are the same step with
// its stores watched or not; both leave the machine in the same state.
uint16_t StepWatched(uint16_t address);
uint16_t StepUnwatched(uint16_t address);
inline uint16_t StepInstruction(uint16_t address) {
    return StepIsWatched(ScreenUpdateCountdown) ? StepWatched(address) : StepUnwatched(address);
}

// The step routine skips its interrupt stage, keeps its timer set-up and leaves PSW.P alone while
// no store has changed a register they depend on. Call this after writing such registers (TCON,
// TMOD, SCON, T2CON, IE, IP, P3, ACC, PSW) straight into InternalRam instead of through a store
// routine, as the register view's PSW bits and a test that seeds the machine do.
void MachineStateChanged();

// ---- Lifecycle -------------------------------------------------------------------------------

// Start-up: everything zero, then SP = 07h and P0-P3 = FFh through WriteDirectUi, PC = 0000h.
// Processor8052 keeps the value the caller set.
void InitMachineState();
// Clear Internal RAM: every index up to 0FFh (8051) or 17Fh (8052) written in ascending order.
void ClearInternalRam();
// Reset: level stack cleared, PC = 0000h, then Clear Internal RAM.
void ResetController();
// Clear External RAM: WriteExternalRam(a, 0) for every address.
void ClearExternalRam();
