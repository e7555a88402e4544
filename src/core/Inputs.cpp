// The input queue, the input observer and the serial line's paced delivery.
#include "Inputs.h"

#include <atomic>
#include <deque>
#include <mutex>
#include <vector>

#include "Debugger.h"
#include "History.h"
#include "Observers.h"

namespace {

// Guards everything below it: the queue, who owns the machine, the line's bytes. Inputs are
// applied while it is held, so an input applied at once on the controlling thread can never
// meet one the simulation thread applies.
std::recursive_mutex QueueMutex;
std::vector<MachineInput> Queue, Taken;
bool WorkerOwns = false;
std::deque<uint8_t> Line;
// Line.size(), readable without the lock (the store routines' wake-up test).
std::atomic<std::size_t> LineCount{0};

std::atomic<InputObserver*> Observer{nullptr};
std::atomic<InputObserver*> Others[kMaxInputObservers];
std::atomic<int> OtherCount{0};
std::atomic<InputGate> Gate{nullptr};
// History is rebuilding the past: the line delivers nothing (the owner thread's).
std::atomic<bool> LineHeld{false};

constexpr uint64_t kNever = ~uint64_t(0);
// With no running baud-rate source the line looks again after this many machine cycles.
constexpr uint64_t kNoBaudRecheck = 64;

void ApplyQueuedLocked(bool inStep) {
    Taken.swap(Queue);
    for (MachineInput& in : Taken) {
        in.inStep = inStep;
        ApplyInput(in);
    }
    Taken.clear();
    if (LineCount.load(std::memory_order_relaxed) > 0) Machine.serialDue = 0;
}

}  // namespace

thread_local bool ApplyingInput = false;

bool WorkerOwnsMachine() {
    std::lock_guard<std::recursive_mutex> lock(QueueMutex);
    return WorkerOwns;
}

void ApplyInput(const MachineInput& input) {
    const bool outer = !ApplyingInput;
    ApplyingInput = true;
    MachineInput in = input;
    in.stamp = Machine.instructions;
    switch (in.kind) {
        case InputKind::SerialByte:
            ReceiveSerialByte(in.value, in.extra);
            Machine.serialLastDelivery = uint64_t(Machine.cycles);
            Machine.serialUnreadSince = kNever;
            break;
        case InputKind::DevicePull: SetDevicePull(DeviceId(in.extra & 7), in.address & 3, in.value); break;
        case InputKind::DevicePin: {
            const DeviceId d = DeviceId(in.extra & 7);
            const int port = (in.address >> 3) & 3;
            const uint8_t mask = uint8_t(1u << (in.address & 7)), pull = DevicePull(d, port);
            SetDevicePull(d, port, in.value ? uint8_t(pull | mask) : uint8_t(pull & ~mask));
            break;
        }
        case InputKind::DirectBit: {
            const uint8_t byte = BitByteAddress(uint8_t(in.address)), mask = uint8_t(1u << (in.address & 7));
            const uint8_t now = InternalRam[byte];
            WriteDirectUser(byte, in.value ? uint8_t(now | mask) : uint8_t(now & ~mask));
            break;
        }
        case InputKind::DirectByte: WriteDirectUser(in.address, in.value, false); break;
        case InputKind::IndirectByte: WriteDirectUser(in.address & 0xFF, in.value, true); break;
        case InputKind::ExternalByte: WriteExternalRam(in.address, in.value); break;
        case InputKind::CodeByte:
            CodeMemory[in.address] = in.value;
            NoteCodeChanged();
            break;
        case InputKind::PswBits:
            InternalRam.Set(Sfr::PSW, in.value);
            MachineStateChanged();
            break;
        case InputKind::SetPc: ProgramCounter = in.address; break;
        case InputKind::ClearInternalRam: ClearInternalRam(); break;
        case InputKind::ClearExternalRam: ClearExternalRam(); break;
        case InputKind::Reset:
            ResetController();
            ResetBoard();
            break;
        case InputKind::DeviceKey: ApplyKeypad4x4Key(in.address & 15, in.value != 0); break;
    }
    if (outer) ApplyingInput = false;
    // History's own replays are told to no one.
    if (!HistoryInputApplied(in)) return;
    if (InputObserver* o = Observer.load(std::memory_order_acquire)) o->InputApplied(in);
    if (OtherCount.load(std::memory_order_acquire) > 0)
        for (auto& p : Others)
            if (InputObserver* o = p.load(std::memory_order_acquire)) o->InputApplied(in);
}

bool SubmitInput(const MachineInput& input) {
    if (InputGate gate = Gate.load(std::memory_order_acquire); gate && !gate(input)) return false;
    MachineInput in = input;
    in.inStep = false;
    std::lock_guard<std::recursive_mutex> lock(QueueMutex);
    if (WorkerOwns) {
        Queue.push_back(in);
        Machine.stepDue.FetchOr(kInputsDue);
    } else {
        ApplyInput(in);
    }
    return true;
}

void InstallInputObserver(InputObserver* observer) { Observer.store(observer, std::memory_order_release); }
void InstallInputGate(InputGate gate) { Gate.store(gate, std::memory_order_release); }

bool AddInputObserver(InputObserver* observer) {
    return observer && observers::AddTo(Others, OtherCount, observer);
}

void RemoveInputObserver(InputObserver* observer) { observers::RemoveFrom(Others, OtherCount, observer); }

void BeginWorkerOwnership() {
    std::lock_guard<std::recursive_mutex> lock(QueueMutex);
    WorkerOwns = true;
    Queue.reserve(64);
    Taken.reserve(64);
}

void EndWorkerOwnership() {
    std::lock_guard<std::recursive_mutex> lock(QueueMutex);
    ApplyQueuedLocked(false);
    WorkerOwns = false;
}

void ApplyQueuedInputs() {
    std::lock_guard<std::recursive_mutex> lock(QueueMutex);
    ApplyQueuedLocked(true);
}

// ---- The serial line ---------------------------------------------------------------------------

void SerialLineSend(const uint8_t* bytes, std::size_t count) {
    if (count == 0) return;
    std::lock_guard<std::recursive_mutex> lock(QueueMutex);
    Line.insert(Line.end(), bytes, bytes + count);
    LineCount.store(Line.size(), std::memory_order_relaxed);
    if (WorkerOwns) Machine.stepDue.FetchOr(kInputsDue);
    else Machine.serialDue = 0;
}

std::size_t SerialLineWaiting() { return LineCount.load(std::memory_order_relaxed); }

void SerialLineClear() {
    std::lock_guard<std::recursive_mutex> lock(QueueMutex);
    Line.clear();
    LineCount.store(0, std::memory_order_relaxed);
}

uint32_t SerialFrameCycles() {
    const uint8_t scon = InternalRam[Sfr::SCON];
    const bool smod = InternalRam[Sfr::PCON] & 0x80;
    const int mode = scon >> 6;
    if (mode == 0) return 8;  // one bit per machine cycle
    if (mode == 2) return smod ? 30 : 59;  // 11 bits of 32 or 64 oscillator periods, rounded up
    const uint64_t bits = mode == 1 ? 10 : 11;
    const uint8_t t2con = InternalRam[Sfr::T2CON];
    if (Processor8052 && (t2con & 0x20)) {
        // Timer 2 as the receive clock (RCLK): it counts oscillator periods / 2 and a bit takes 16
        // overflows, 32 * (65536 - RCAP2) oscillator periods.
        if (!(t2con & 0x04) || (t2con & 0x02)) return 0;
        const uint64_t period = 0x10000 - (InternalRam[Sfr::RCAP2H] * 256u + InternalRam[Sfr::RCAP2L]);
        return uint32_t((bits * 32 * period + 11) / 12);
    }
    // Timer 1 counting machine cycles; a bit takes 32 overflows, 16 with SMOD.
    const uint8_t tmod = InternalRam[Sfr::TMOD], tcon = InternalRam[Sfr::TCON];
    const bool t0mode3 = (tmod & 3) == 3;
    const int t1mode = (tmod >> 4) & 3;
    const bool gateOpen = !(tmod & 0x80) || (PortPins(3) & 0x08) || t0mode3;
    if ((!(tcon & 0x40) && !t0mode3) || (tmod & 0x40) || t1mode == 3 || !gateOpen) return 0;
    const uint64_t period = t1mode == 2 ? 0x100 - InternalRam[Sfr::TH1] : t1mode == 1 ? 0x10000 : 0x2000;
    return uint32_t(bits * period * (smod ? 16 : 32));
}

void SerialLineHold(bool held) {
    std::lock_guard<std::recursive_mutex> lock(QueueMutex);
    LineHeld.store(held, std::memory_order_relaxed);
    if (!held && !Line.empty()) Machine.serialDue = 0;
}

void ServeSerialLine() {
    std::lock_guard<std::recursive_mutex> lock(QueueMutex);
    if (Line.empty() || LineHeld.load(std::memory_order_relaxed)) {
        Machine.serialDue = kNever;
        return;
    }
    const uint64_t now = Machine.cycles;
    const uint8_t scon = InternalRam[Sfr::SCON];
    if (!(scon & 0x10) || (scon & 0x01)) {
        // The receiver is off or RI still set: a store to SCON wakes the line (SerialLineWake).
        Machine.serialDue = kNever;
        return;
    }
    const uint32_t frame = SerialFrameCycles();
    if (frame == 0) {
        Machine.serialDue = now + kNoBaudRecheck;
        return;
    }
    if (!SerialReceiveBufferRead) {
        // RI is clear but SBUF not read yet (getchar clears RI first, then reads): the read wakes
        // the line. A program that drops a byte without reading it gets the next one a frame
        // after RI was found clear.
        const uint64_t since = Machine.serialUnreadSince;
        const uint64_t grace = (since != kNever ? since : uint64_t(Machine.serialLastDelivery)) + frame;
        if (now < grace) {
            Machine.serialDue = grace;
            return;
        }
    }
    const uint64_t due = Machine.serialLastDelivery + frame;
    if (now < due) {
        Machine.serialDue = due;
        return;
    }
    MachineInput in = MakeInput(InputKind::SerialByte, 0, Line.front());
    in.inStep = true;
    Line.pop_front();
    LineCount.store(Line.size(), std::memory_order_relaxed);
    ApplyInput(in);
    Machine.serialDue = Line.empty() ? kNever : now + frame;
}

void SerialLineWake() {
    // When RI was cleared with SBUF still unread (the program's own state, so that a replay finds
    // the same).
    if (!(InternalRam[Sfr::SCON] & 0x01) && !SerialReceiveBufferRead && uint64_t(Machine.serialUnreadSince) == kNever)
        Machine.serialUnreadSince = uint64_t(Machine.cycles);
    if (LineCount.load(std::memory_order_relaxed) == 0 || LineHeld.load(std::memory_order_relaxed)) return;
    // Blocked on RI, or waiting out the grace for an unread SBUF: look again now.
    if (uint64_t(Machine.serialDue) == kNever || uint64_t(Machine.serialUnreadSince) != kNever) Machine.serialDue = 0;
}
