// Changes from outside the program: one input queue that the simulation thread applies between two
// instructions, the input observer that history logs them with, and the serial line that delivers
// received bytes at the pace of their frames.
//
// Every change that does not come from the program itself (a received byte, a device's pull on a
// pin, a byte edited in a window, Set PC, Clear RAM, Reset) is a MachineInput handed to
// SubmitInput. While a run is in progress the simulation thread owns the machine: the input is
// queued and applied before the next instruction. Otherwise it is applied at once on the calling
// thread. Either way ApplyInput does the work, stamps the input with the instruction count at which
// it took effect and reports it to the installed InputObserver; replaying a logged input calls
// ApplyInput with it at the same instruction count and so changes the machine exactly as the
// first time.
#pragma once

#include <cstddef>
#include <cstdint>

#include "Code.h"

enum class InputKind : uint8_t {
    SerialByte,        // a frame received: value, extra = the ninth bit (RB8)
    DevicePull,        // device extra's pull on port `address` (0-3) becomes value
    DevicePin,         // device extra pulls pin `address` (port * 8 + bit) low (value 0) or lets
                       // it go (value 1), its other pulls as they are
    DirectBit,         // a user's store of bit `address` (value 0 or 1) into its byte
    DirectByte,        // a user's store to InternalRam index `address` (SBUF: both registers)
    IndirectByte,      // a user's store to internal RAM 00h-FFh as @Ri reaches it
    ExternalByte,      // external RAM `address`
    CodeByte,          // code memory `address`
    PswBits,           // PSW becomes value, straight into memory (no side effects but P renewed)
    SetPc,             // the program counter becomes `address`
    ClearInternalRam,
    ClearExternalRam,
    Reset,
    DeviceKey,         // key `address` (0-15) of the 4x4 keypad goes down (value 1) or up (0)
};

struct MachineInput {
    InputKind kind = InputKind::DirectByte;
    uint8_t value = 0;
    uint8_t extra = 0;
    uint16_t address = 0;
    // Machine.instructions when the input took effect (set by ApplyInput).
    uint64_t stamp = 0;
    // Applied by the step that follows its stamp, before that step's instruction (the queue during
    // a run, the serial line), rather than between two steps (an input while no run is in
    // progress, what is left in the queue when a run ends). Set where it is applied; a replay
    // applies the inputs of one stamp in their order, and history tells the two kinds apart when
    // it rebuilds the instant between two steps.
    bool inStep = false;

    bool operator==(const MachineInput&) const = default;
};

// Any thread: queued for the simulation thread while a run is in progress, else applied at once.
// False when the installed gate refused it (nothing changes then).
bool SubmitInput(const MachineInput& input);
// An input of `kind` with its address, value and extra, not yet applied.
inline MachineInput MakeInput(InputKind kind, uint16_t address = 0, uint8_t value = 0, uint8_t extra = 0) {
    MachineInput in;
    in.kind = kind;
    in.address = address;
    in.value = value;
    in.extra = extra;
    return in;
}
// The thread that owns the machine: applies the input now, stamps it and reports it (to history
// and to the input observer).
void ApplyInput(const MachineInput& input);

// Asked by SubmitInput, on the calling thread, before anything changes: false drops the input.
// The desktop program asks the user here before a change made in the past discards the recorded
// future (History.h). nullptr for none.
using InputGate = bool (*)(const MachineInput& input);
void InstallInputGate(InputGate gate);

// Told of every applied input, with its stamp, on the thread that applied it, right after the
// input changed the machine.
class InputObserver {
public:
    virtual ~InputObserver() = default;
    virtual void InputApplied(const MachineInput& input) = 0;
};
// The input log (history's): one at a time, nullptr for none.
void InstallInputObserver(InputObserver* observer);
// Observers beside the log (signal recording), told after it: up to kMaxInputObservers, added
// once (false when all places are taken) and removed by the thread that owns the machine, between
// runs or at the start and end of its own run. Each must outlive the runs that may call it.
constexpr int kMaxInputObservers = 4;
bool AddInputObserver(InputObserver* observer);
void RemoveInputObserver(InputObserver* observer);

// True on the thread that applies an input, for as long as it does.
extern thread_local bool ApplyingInput;
// Whether a run's simulation thread owns the machine now.
bool WorkerOwnsMachine();

// The run thread takes the machine over for its run and hands it back at the end, applying what
// was queued in between.
void BeginWorkerOwnership();
void EndWorkerOwnership();

// ---- The serial line ---------------------------------------------------------------------------
//
// The bytes on their way to the receiver (the runner's --serial-in, text typed into the terminal).
// The step delivers the next one as an applied SerialByte input no earlier than one frame time
// after the previous delivery (8 bit times in mode 0, 10 in mode 1, 11 in modes 2 and 3, at the
// baud rate the timers and PCON give at that moment), and only when REN = 1, RI = 0 and the
// program has read SBUF since the previous byte: the sender never outruns the program. With no
// running baud-rate source (Timer 1 or Timer 2 stopped or counting pins) the next byte waits.

// Any thread: appends bytes to the line.
void SerialLineSend(const uint8_t* bytes, std::size_t count);
// Bytes not yet delivered; Clear drops them.
std::size_t SerialLineWaiting();
void SerialLineClear();
// One receive frame in machine cycles at the current settings, 0 with no running baud source.
uint32_t SerialFrameCycles();

// While history rebuilds the past the line delivers nothing: the bytes it delivered then are in
// the input log. The thread that owns the machine holds and releases it; on release a line with
// bytes waiting looks again before the next instruction.
void SerialLineHold(bool held);

// The step's slow paths: the queued inputs (kInputsDue) and the line (Machine.serialDue reached).
void ApplyQueuedInputs();
void ServeSerialLine();
// The program read SBUF or stored SCON: a waiting line looks again before the next instruction.
void SerialLineWake();
