// The machine value, store routines with pin side effects, interrupts, timers and instruction
// execution.
#include "Code.h"

#include "Debugger.h"
#include "Inputs.h"
#include "Observers.h"

MachineState Machine;
SharedBytes<0x10000> BreakpointTable;
Shared<int32_t> ProgramEnd;
Shared<uint8_t> Processor8052{1};
Shared<uint8_t> ScreenUpdateCountdown;
Shared<uint8_t> RegisterViewIdle{1};
Shared<uint16_t> PendingRegisterAddress;
Shared<uint8_t> PendingRegisterValue;
thread_local bool StoringAsWorker = false;

namespace {

std::atomic<StoreRefreshHooks*> RefreshHooks{nullptr};
std::atomic<SerialOutputHook*> SerialHook{nullptr};
std::atomic<bool> SerialMuted{false};

// TCON bits
constexpr uint8_t TF1 = 0x80, TR1 = 0x40, TF0 = 0x20, TR0 = 0x10, IE1 = 0x08, IT1 = 0x04,
                  IE0 = 0x02, IT0 = 0x01;
// T2CON bits
constexpr uint8_t TF2 = 0x80, EXF2 = 0x40, RCLK = 0x20, TCLK = 0x10, EXEN2 = 0x08, TR2 = 0x04,
                  CT2 = 0x02, CPRL2 = 0x01;

[[gnu::always_inline]] inline uint8_t R(uint16_t a) { return InternalRam[a]; }

// ---- What the step routine may skip ----------------------------------------------------------
//
// Most instructions change nothing that the interrupt stage or the timer set-up depends on. Bits
// of Machine.stepDue, set by every store that changes such a register, tell the next step to look
// again; the step takes them with an exchange, so that a bit set by SubmitInput on another thread
// in the meantime is never lost.
//
// kInterruptStageDue: an interrupt could have become acceptable, or a level-triggered request
// could have to follow its pin: stores that change TCON, SCON, T2CON or the P3 pins, every store
// to IE or IP (they hold off interrupts for one instruction), RETI, an accepted interrupt, Reset.
// kTimerPlanDue: TMOD, TR0/TR1 in TCON, the gate pins INT0/INT1 or T2CON changed; the timer plan
// is rebuilt before the next timer stage.
inline void MarkInterruptStageDue() { Machine.stepDue.FetchOr(kInterruptStageDue); }
inline void MarkTimerPlanDue() { Machine.stepDue.FetchOr(kTimerPlanDue); }

// After a store of `v` over `old` to one of the registers above: which flags it raises. For P3,
// `old` and `v` are the pin levels.
inline void NoteControlStore(uint16_t a, uint8_t old, uint8_t v) {
    const uint8_t changed = old ^ v;
    switch (a) {
        case Sfr::TCON:
            if (changed & (TR0 | TR1)) MarkTimerPlanDue();
            if (changed) MarkInterruptStageDue();
            break;
        case Sfr::TMOD:
            if (changed) MarkTimerPlanDue();
            break;
        case Sfr::P3:
            if (changed & 0x0C) MarkTimerPlanDue();
            if (changed) MarkInterruptStageDue();
            break;
        case Sfr::T2CON:
            if (changed) {
                MarkTimerPlanDue();
                MarkInterruptStageDue();
            }
            break;
        case Sfr::SCON:
            if (changed) MarkInterruptStageDue();
            SerialLineWake();
            break;
        case Sfr::IE:
        case Sfr::IP: MarkInterruptStageDue(); break;
        default: break;
    }
}

// An instruction reading SBUF gets the receive buffer. The fence pairs with the release fence of
// Receive: a program that saw RI set by the other thread then reads the byte that came with it.
// The byte is taken before it is marked read, since a paced sender on the other thread may put
// the next byte into the buffer as soon as it sees the mark.
[[gnu::noinline, gnu::cold]] uint8_t ReadReceiveBuffer() {
    std::atomic_thread_fence(std::memory_order_acquire);
    const uint8_t v = SerialReceiveBuffer;
    if (!SerialReceiveBufferRead) {
        SerialReceiveBufferRead = 1;
        SerialLineWake();
    }
    return v;
}

// Direct addresses whose read by an instruction is not the byte itself: SBUF (the receive buffer)
// and the ports (an instruction that reads a port reads its pins).
constexpr uint8_t kReadPlain = 0, kReadSbuf = 1, kReadPort = 2;
constexpr std::array<uint8_t, 256> MakeReadTable() {
    std::array<uint8_t, 256> t{};
    t[Sfr::SBUF] = kReadSbuf;
    t[Sfr::P0] = t[Sfr::P1] = t[Sfr::P2] = t[Sfr::P3] = kReadPort;
    return t;
}
constexpr std::array<uint8_t, 256> kReadKind = MakeReadTable();

[[gnu::noinline]] uint8_t ReadSpecial(uint8_t a) {
    if (a == Sfr::SBUF) return ReadReceiveBuffer();
    return PortPins((a >> 4) & 3);
}

// An instruction's read of direct address a as a source operand: a port gives its pins.
[[gnu::always_inline]] inline uint8_t Src(uint8_t a) {
    if (kReadKind[a] != kReadPlain) [[unlikely]] return ReadSpecial(a);
    return R(a);
}

// The read of a read-modify-write instruction (ANL, ORL, XRL, INC, DEC, DJNZ direct): a port gives
// its latch, as the published instruction set describes.
[[gnu::always_inline]] inline uint8_t SrcLatch(uint8_t a) {
    if (a == Sfr::SBUF) [[unlikely]] return ReadReceiveBuffer();
    return R(a);
}

// An instruction's test of a bit (JB, JNB, MOV C,bit, ANL/ORL C,bit): a port bit gives its pin.
[[gnu::always_inline]] inline int ReadPinBit(uint8_t b) {
    if ((b & 0xC8) == 0x80) [[unlikely]] return (PortPins((b >> 4) & 3) >> (b & 7)) & 1;
    return ReadBit(b);
}

// ---- The store routine ---------------------------------------------------------------------
//
// Every store routine has two forms. A watched store (Watched = true) does everything a store
// can do beyond the byte: while ScreenUpdateCountdown is 0 it tells the store observers and, when
// they are due, the windows. An unwatched store only changes the byte and its pin, timer and
// interrupt effects. The step routine is compiled in both forms and the run loop decides once per
// instruction which one runs; stores outside the step decide per store.
//
// `Program` tells a store of the program (an instruction, or the hardware acting for it) from a
// user's store (an input): only the program's store to IE or IP holds interrupts off and only its
// store to SBUF loads the byte to send. `by` tells the observers who made it.

template <bool Program>
[[gnu::noinline]] void Refresh(uint16_t a, uint8_t v, uint8_t old, StoreBy by) {
    if (StoreObserversInstalled()) {
        NotifyStoreObservers(StoreSpace::Internal, a, v, old, by);
        // The run loop watches every store for the observers; the windows may not be due.
        if (!ScreenRefreshDue) return;
    }
    StoreRefreshHooks* hooks = RefreshHooks.load(std::memory_order_acquire);
    if (!hooks) return;
    const bool worker = Program || StoringAsWorker;
    RegisterViewIdle = 0;
    if (worker) {
        PendingRegisterAddress = a;
        PendingRegisterValue = v;
    }
    hooks->DirectStored(a, v, old, worker);
    RegisterViewIdle = 1;
}

// The byte itself, and in a watched store the observers and the refresh.
template <bool Program, bool Watched>
[[gnu::always_inline]] inline void StoreByte(uint16_t a, uint8_t v, StoreBy by) {
    if (Watched && ScreenUpdateCountdown == 0) {
        uint8_t old = R(a);
        InternalRam.Set(a, v);
        Refresh<Program>(a, v, old, by);
    } else {
        InternalRam.Set(a, v);
    }
}

template <bool Program, bool Watched>
inline void StoreAs(uint16_t a, uint8_t v, StoreBy by = StoreBy::Instruction);

// A Timer 0/1 half as a counter: its limit, reload value and current count for a mode. Mode 0 is
// the 13-bit counter of TH and the low five bits of TL.
struct TimerCount {
    uint32_t limit, reload, count;
};

inline TimerCount ReadTimer(int mode, uint16_t th, uint16_t tl) {
    switch (mode & 3) {
        case 0: return {0x2000, 0, R(th) * 32u + (R(tl) & 0x1F)};
        case 1: return {0x10000, 0, R(th) * 256u + R(tl)};
        case 2: return {0x100, R(th), R(tl)};
        default: return {0x100, 0, R(tl)};
    }
}

// Stores a count back: TH then TL in modes 0 and 1, TL alone in modes 2 and 3.
template <bool Program, bool Watched>
void WriteTimer(int mode, uint16_t th, uint16_t tl, uint32_t count) {
    constexpr StoreBy hw = StoreBy::Hardware;
    switch (mode & 3) {
        case 0:
            StoreAs<Program, Watched>(th, uint8_t(count / 32), hw);
            StoreAs<Program, Watched>(tl, uint8_t(count % 32), hw);
            break;
        case 1:
            StoreAs<Program, Watched>(th, uint8_t(count / 256), hw);
            StoreAs<Program, Watched>(tl, uint8_t(count % 256), hw);
            break;
        default: StoreAs<Program, Watched>(tl, uint8_t(count), hw); break;
    }
}

// One event on a counter input (T0 or T1 pin).
template <bool Program, bool Watched>
void CounterTick(int mode, uint16_t th, uint16_t tl, uint8_t flag) {
    TimerCount t = ReadTimer(mode, th, tl);
    uint32_t next = t.count + 1;
    if (next == t.limit) {
        next = t.reload;
        StoreAs<Program, Watched>(Sfr::TCON, R(Sfr::TCON) | flag, StoreBy::Hardware);
    }
    WriteTimer<Program, Watched>(mode, th, tl, next);
}

// The P3 pins went from p to v (a store to the latch or a device's pull): falling edges on
// INT0/INT1 (edge mode) and on the T0/T1 counter inputs. The gates read the pins as they are now.
template <bool Program, bool Watched>
void Port3Edges(uint8_t p, uint8_t v) {
    constexpr StoreBy hw = StoreBy::Hardware;
    uint8_t falling = p & ~v;
    if (!falling) return;
    // An edge-triggered request is latched whatever EA and EX0/EX1 say; it is taken once enabled.
    if ((falling & 0x04) && (R(Sfr::TCON) & IT0)) StoreAs<Program, Watched>(Sfr::TCON, R(Sfr::TCON) | IE0, hw);
    if ((falling & 0x08) && (R(Sfr::TCON) & IT1)) StoreAs<Program, Watched>(Sfr::TCON, R(Sfr::TCON) | IE1, hw);
    if (falling & 0x10) {
        uint8_t tmod = R(Sfr::TMOD);
        if ((R(Sfr::TCON) & TR0) && (tmod & 0x04) && (!(tmod & 0x08) || (p & 0x04)))
            CounterTick<Program, Watched>(tmod & 3, Sfr::TH0, Sfr::TL0, TF0);
    }
    if (falling & 0x20) {
        uint8_t tmod = R(Sfr::TMOD);
        if ((R(Sfr::TCON) & TR1) && (tmod & 0x40) && (!(tmod & 0x80) || (p & 0x08)))
            CounterTick<Program, Watched>((tmod >> 4) & 3, Sfr::TH1, Sfr::TL1, TF1);
    }
}

// The P1 pins went from p to v on the 8052: the T2 counter input and the T2EX capture/reload
// trigger.
template <bool Program, bool Watched>
void Port1Edges(uint8_t p, uint8_t v) {
    constexpr StoreBy hw = StoreBy::Hardware;
    uint8_t falling = p & ~v;
    if (!falling) return;
    if (falling & 0x01) {
        uint8_t s = R(Sfr::T2CON);
        if ((s & CT2) && (s & TR2)) {
            uint32_t n = R(Sfr::TH2) * 256u + R(Sfr::TL2) + 1;
            if (n == 0x10000) {
                bool baud = s & (RCLK | TCLK);
                // In baud-rate mode Timer 2 always reloads and never sets TF2.
                n = (s & CPRL2) && !baud ? 0 : R(Sfr::RCAP2H) * 256u + R(Sfr::RCAP2L);
                if (!baud) StoreAs<Program, Watched>(Sfr::T2CON, R(Sfr::T2CON) | TF2, hw);
            }
            StoreAs<Program, Watched>(Sfr::TH2, uint8_t(n >> 8), hw);
            StoreAs<Program, Watched>(Sfr::TL2, uint8_t(n), hw);
        }
    }
    if (falling & 0x02) {
        uint8_t s = R(Sfr::T2CON);
        if (s & EXEN2) {
            if (s & (RCLK | TCLK)) {
                // Baud-rate mode: the edge only raises EXF2.
            } else if (s & CPRL2) {
                StoreAs<Program, Watched>(Sfr::RCAP2H, R(Sfr::TH2), hw);
                StoreAs<Program, Watched>(Sfr::RCAP2L, R(Sfr::TL2), hw);
            } else {
                StoreAs<Program, Watched>(Sfr::TH2, R(Sfr::RCAP2H), hw);
                StoreAs<Program, Watched>(Sfr::TL2, R(Sfr::RCAP2L), hw);
            }
            StoreAs<Program, Watched>(Sfr::T2CON, R(Sfr::T2CON) | EXF2, hw);
        }
    }
}

// The pins of port n go from `before` to `after`: the edges' stores (before the port's own
// store, when a store changes them), then the level requests and timer gates.
template <bool Program, bool Watched>
void PinEdges(int n, uint8_t before, uint8_t after) {
    if (n == 3) Port3Edges<Program, Watched>(before, after);
    else if (n == 1 && Processor8052) Port1Edges<Program, Watched>(before, after);
}
inline void PinLevelsChanged(int n, uint8_t before, uint8_t after) {
    if (n == 3) NoteControlStore(Sfr::P3, before, after);
}

std::atomic<PortLatchListener*> LatchListener{nullptr};

// Addresses whose store does more than change the byte: the ports (pin edges, latch listeners), IE
// and IP (the interrupt hold), TCON, TMOD, SCON and T2CON (interrupt requests and the timer plan),
// SBUF (the byte to send), and everything from kIndirectNowhere on (dropped).
constexpr std::array<bool, kInternalRamSize + 1> MakeSpecialTable() {
    std::array<bool, kInternalRamSize + 1> t{};
    t[Sfr::P0] = t[Sfr::P1] = t[Sfr::P2] = t[Sfr::P3] = true;
    t[Sfr::IE] = t[Sfr::IP] = t[Sfr::SBUF] = t[kIndirectNowhere] = true;
    t[Sfr::TCON] = t[Sfr::TMOD] = t[Sfr::SCON] = t[Sfr::T2CON] = true;
    return t;
}
constexpr std::array<bool, kInternalRamSize + 1> kSpecialStore = MakeSpecialTable();

template <bool Program, bool Watched>
[[gnu::noinline]] void StoreSlow(uint16_t a, uint8_t v, StoreBy by) {
    if (a >= kIndirectNowhere) return;
    const uint8_t old = R(a);
    if (IsPortAddress(a)) {
        const int n = (a >> 4) & 3;
        const uint8_t pull = Machine.pins[n];
        const uint8_t before = old & pull, after = v & pull;
        if (before != after) PinEdges<Program, Watched>(n, before, after);
        // The devices follow the new latch before the windows are told, so that a window repainted
        // at this store shows the devices' answer to it.
        InternalRam.Set(a, v);
        if (before != after) PinLevelsChanged(n, before, after);
        if (old != v)
            if (PortLatchListener* l = LatchListener.load(std::memory_order_acquire)) l->LatchStored(n, v, by == StoreBy::User);
        if (Watched && ScreenUpdateCountdown == 0) Refresh<Program>(a, v, old, by);
        return;
    }
    if (Program && (a == Sfr::IE || a == Sfr::IP)) {
        // An instruction that writes IE or IP lets one more instruction run before an interrupt.
        InterruptHold = 1;
    } else if (Program && a == Sfr::SBUF) {
        Machine.txByte = v;
    }
    StoreByte<Program, Watched>(a, v, by);
    if (kSpecialStore[a]) NoteControlStore(a, old, v);
}

// The store routine. Most stores change one byte of RAM or an SFR without pin effects; they take
// the short path, which costs a table lookup.
template <bool Program, bool Watched>
[[gnu::always_inline]] inline void StoreAs(uint16_t a, uint8_t v, StoreBy by) {
    if (a > kIndirectNowhere || kSpecialStore[a]) {
        StoreSlow<Program, Watched>(a, v, by);
    } else {
        StoreByte<Program, Watched>(a, v, by);
    }
}

template <bool Program, bool Watched>
void ExternalStoreAs(uint16_t a, uint8_t v, StoreBy by) {
    if (!(Watched && ScreenUpdateCountdown == 0)) {
        ExternalRam.Set(a, v);
        return;
    }
    const uint8_t old = ExternalRam[a];
    ExternalRam.Set(a, v);
    if (StoreObserversInstalled()) {
        NotifyStoreObservers(StoreSpace::External, a, v, old, by);
        if (!ScreenRefreshDue) return;
    }
    if (StoreRefreshHooks* h = RefreshHooks.load(std::memory_order_acquire))
        h->ExternalStored(a, v, Program || StoringAsWorker);
}

// A store of the worker whose register has no effect beyond the byte (see StoreFixed below).
template <bool Watched>
[[gnu::always_inline]] inline void StoreRegister(uint16_t a, uint8_t v, StoreBy by) {
    StoreByte<true, Watched>(a, v, by);
}

// ---- Timers --------------------------------------------------------------------------------

// Sets an overflow flag in TCON or T2CON. A watched stage stores `base | flag` at every overflow,
// `base` being the register as read at the start of the timer's counting; an unwatched one
// stores only when the flag is not set yet, which leaves the same byte.
template <bool Watched>
[[gnu::always_inline]] inline void RaiseFlag(uint16_t reg, uint8_t base, uint8_t flag) {
    const uint8_t now = R(reg);
    const uint8_t v = Watched ? uint8_t(base | flag) : uint8_t(now | flag);
    if (v == now && !Watched) return;
    StoreRegister<Watched>(reg, v, StoreBy::Hardware);
    if (v != now) MarkInterruptStageDue();
}

// Advances a Timer 0/1 half by c machine cycles, count by count, storing the overflow flag
// (control register as read at the start) at each overflow and the registers once at the end.
template <bool Watched>
[[gnu::noinline]] void RunTimerCounts(int mode, uint16_t th, uint16_t tl, uint8_t flag, bool storeFlag, unsigned c) {
    TimerCount t = ReadTimer(mode, th, tl);
    const uint8_t tcon = R(Sfr::TCON);
    for (unsigned i = 0; i < c; ++i) {
        if (++t.count == t.limit) {
            t.count = t.reload;
            if (storeFlag) RaiseFlag<Watched>(Sfr::TCON, tcon, flag);
        }
    }
    WriteTimer<true, Watched>(mode, th, tl, t.count);
}

// The common case first: the low byte (five bits in mode 0) does not overflow within these c
// counts, so TL is advanced by arithmetic and TH stays (a watched stage still stores it, as the
// general routine does). Overflows go through the count-by-count routine.
template <bool Watched>
[[gnu::always_inline]] inline void RunTimer(int mode, uint16_t th, uint16_t tl, uint8_t flag, bool storeFlag, unsigned c) {
    const unsigned low = R(tl);
    if (mode >= 2) {
        // The serial port's baud-rate generator overflows every few cycles, too irregularly for
        // a branch to predict: an unwatched stage reloads without a branch (overflow to overflow,
        // more than once only for the shortest periods) and sets the flag once.
        unsigned count = low + c;
        if (!Watched) {
            // In arithmetic, not branches: the compiler would otherwise test the overflow, which
            // a fast baud rate makes as good as random. `overflow` is 0 or 1 (c is at most 6).
            const unsigned reload = mode == 2 ? R(th) : 0;
            const unsigned overflow = count >> 8;
            count -= (0u - overflow) & (0x100 - reload);
            while (count >= 0x100) [[unlikely]] count = count - 0x100 + reload;
            const unsigned flagMissing = (R(Sfr::TCON) & flag) == 0;
            if ((overflow & unsigned(storeFlag) & flagMissing) != 0) [[unlikely]]
                RaiseFlag<Watched>(Sfr::TCON, R(Sfr::TCON), flag);
        } else if (count >= 0x100) {
            // A watched stage stores the flag at every overflow, count by count.
            const unsigned reload = mode == 2 ? R(th) : 0;
            const uint8_t tcon = R(Sfr::TCON);
            count = low;
            for (unsigned i = 0; i < c; ++i) {
                if (++count == 0x100) {
                    count = reload;
                    if (storeFlag) RaiseFlag<Watched>(Sfr::TCON, tcon, flag);
                }
            }
        }
        StoreRegister<Watched>(tl, uint8_t(count), StoreBy::Hardware);
    } else if (mode == 1 && low + c < 0x100) {
        if (Watched) StoreRegister<Watched>(th, R(th), StoreBy::Hardware);
        StoreRegister<Watched>(tl, uint8_t(low + c), StoreBy::Hardware);
    } else if (mode == 0 && (low & 0x1F) + c < 0x20) {
        if (Watched) StoreRegister<Watched>(th, R(th), StoreBy::Hardware);
        StoreRegister<Watched>(tl, uint8_t((low & 0x1F) + c), StoreBy::Hardware);
    } else {
        RunTimerCounts<Watched>(mode, th, tl, flag, storeFlag, c);
    }
}

[[gnu::noinline]] void RebuildTimerPlan() {
    // The gates follow the INT0/INT1 pins.
    const uint8_t tmod = R(Sfr::TMOD), tcon = R(Sfr::TCON), p3 = PortPins(3), t2con = R(Sfr::T2CON);
    const bool t0mode3 = (tmod & 3) == 3;
    const int t1mode = (tmod >> 4) & 3;
    const uint8_t gate1 = tmod & 0xC0, gate0 = tmod & 0x0C;
    TimerPlan p;
    // Timer 1. While Timer 0 is in mode 3 it counts machine cycles whatever TR1, GATE1 and C/T1
    // say, and its overflow sets no flag (TF1 belongs to TH0 then).
    p.t1 = ((tcon & TR1) || t0mode3) && t1mode != 3 &&
           (gate1 == 0 || t0mode3 || (gate1 == 0x80 && (p3 & 0x08)));
    p.t1Flag = !t0mode3;
    p.t1Mode = uint8_t(t1mode);
    p.t0 = (tcon & TR0) && (gate0 == 0 || (gate0 == 0x08 && (p3 & 0x04)));
    p.t0Mode = tmod & 3;
    p.th0 = (tcon & TR1) && t0mode3 && (gate1 == 0 || (gate1 == 0x80 && (p3 & 0x08)));
    p.t2 = (t2con & TR2) && !(t2con & CT2);
    if (p.t1 && p.t1Mode == 2 && !p.t0 && !p.th0 && !p.t2) p.kind = TimerPlan::Timer1Mode2;
    else if (p.t1 || p.t0 || p.th0 || p.t2) p.kind = TimerPlan::Mixed;
    Machine.plan = p;
}

template <bool Watched>
[[gnu::always_inline]] inline void AdvanceTimers(unsigned c) {
    const TimerPlan& Plan = Machine.plan;
    if (Plan.kind == TimerPlan::Timer1Mode2) [[likely]] {
        RunTimer<Watched>(2, Sfr::TH1, Sfr::TL1, TF1, Plan.t1Flag, c);
        return;
    }
    if (Plan.kind == TimerPlan::Idle) return;

    if (Plan.t1) RunTimer<Watched>(Plan.t1Mode, Sfr::TH1, Sfr::TL1, TF1, Plan.t1Flag, c);
    if (Plan.t0) RunTimer<Watched>(Plan.t0Mode, Sfr::TH0, Sfr::TL0, TF0, true, c);

    // The upper half of Timer 0 in mode 3, run by TR1.
    if (Plan.th0) {
        const uint8_t tcon = R(Sfr::TCON);
        unsigned count = R(Sfr::TH0);
        for (unsigned i = 0; i < c; ++i) {
            if (++count == 0x100) {
                count = 0;
                RaiseFlag<Watched>(Sfr::TCON, tcon, TF1);
            }
        }
        StoreRegister<Watched>(Sfr::TH0, uint8_t(count), StoreBy::Hardware);
    }

    // Timer 2 (8052 only), counting machine cycles when C/T2 = 0.
    if (Plan.t2 && Processor8052) {
        const uint8_t s = R(Sfr::T2CON);
        const bool baud = s & (RCLK | TCLK);
        uint32_t count = R(Sfr::TH2) * 256u + R(Sfr::TL2);
        if (count + c < 0x10000) {
            count += c;
        } else {
            for (unsigned i = 0; i < c; ++i) {
                if (++count == 0x10000) {
                    count = (s & CPRL2) && !baud ? 0 : R(Sfr::RCAP2H) * 256u + R(Sfr::RCAP2L);
                    if (!baud) RaiseFlag<Watched>(Sfr::T2CON, s, TF2);
                }
            }
        }
        StoreRegister<Watched>(Sfr::TH2, uint8_t(count >> 8), StoreBy::Hardware);
        StoreRegister<Watched>(Sfr::TL2, uint8_t(count), StoreBy::Hardware);
    }
}

// ---- Interrupts ----------------------------------------------------------------------------

struct InterruptSource {
    uint8_t enable;        // IE bit
    uint16_t requestByte;  // where the request bits live
    uint8_t requestMask;   // any of these bits requests
    uint8_t priority;      // IP bit
    uint16_t vector;
    uint8_t clearMask;  // TCON AND mask on entry, 0xFF = none
};

constexpr InterruptSource kSources[6] = {
    {0x01, Sfr::TCON, IE0, 0x01, 0x0003, 0xFD},
    {0x02, Sfr::TCON, TF0, 0x02, 0x000B, 0xDF},
    {0x04, Sfr::TCON, IE1, 0x04, 0x0013, 0xF7},
    {0x08, Sfr::TCON, TF1, 0x08, 0x001B, 0x7F},
    {0x10, Sfr::SCON, 0x03, 0x10, 0x0023, 0xFF},
    {0x20, Sfr::T2CON, TF2 | EXF2, 0x20, 0x002B, 0xFF},
};

// Opcodes that send a byte when their direct destination is SBUF (b1 = 99h).
constexpr std::array<bool, 256> MakeSendTable() {
    std::array<bool, 256> t{};
    for (int op : {0x05, 0x15, 0x42, 0x43, 0x52, 0x53, 0x62, 0x63, 0x75, 0xD0, 0xF5}) t[op] = true;
    for (int op = 0x86; op <= 0x8F; ++op) t[op] = true;
    return t;
}
constexpr std::array<bool, 256> kSendsThroughB1 = MakeSendTable();

// Which operand byte of an opcode is a direct destination through which it sends a byte when it
// is SBUF: kSendNone, kSendB1, or kSendB2 (MOV direct,direct).
constexpr uint8_t kSendNone = 0, kSendB1 = 1, kSendB2 = 2;
constexpr std::array<uint8_t, 256> MakeSendOperandTable() {
    std::array<uint8_t, 256> t{};
    for (int op = 0; op < 256; ++op)
        if (kSendsThroughB1[op]) t[op] = kSendB1;
    t[0x85] = kSendB2;
    return t;
}
constexpr std::array<uint8_t, 256> kSendOperand = MakeSendOperandTable();

// ---- The step routine in one form ---------------------------------------------------------

constexpr uint8_t CY = 0x80, AC = 0x40, OV = 0x04;

// The worker's store routines and the step routine, with every store watched or none.
template <bool Watched>
struct Exec {
    template <bool Program>
    [[gnu::always_inline]] static void Store(uint16_t a, uint8_t v, StoreBy by = StoreBy::Instruction) {
        StoreAs<Program, Watched>(a, v, by);
    }
    template <bool Program>
    static void ExternalStore(uint16_t a, uint8_t v) { ExternalStoreAs<Program, Watched>(a, v, StoreBy::Instruction); }
    [[gnu::always_inline]] static void StoreFixed(uint16_t a, uint8_t v) {
        StoreRegister<Watched>(a, v, StoreBy::Instruction);
    }
    static void StoreOperand(uint16_t oi, uint8_t v);
    [[gnu::always_inline]] static void StorePsw(uint8_t v) { StoreFixed(Sfr::PSW, v); }
    [[gnu::always_inline]] static void StoreAcc(uint8_t v) { StoreFixed(Sfr::ACC, v); }
    static void WriteBitW(uint8_t b, int v, StoreBy by = StoreBy::Instruction);
    static void PushW(uint8_t v, StoreBy by = StoreBy::Instruction);
    static uint8_t PopW();
    static void AddToAcc(uint8_t x, unsigned c);
    static void SubbFromAcc(uint8_t x);
    static void RenewLevelRequests();
    static int AcceptInterrupt(uint16_t pc);
    static void SendByte();
    static StepResult Step(uint16_t address);
};

// The operand of an @Ri or Rn form; the 8051's indirect addresses above 7Fh go nowhere.
template <bool Watched>
[[gnu::always_inline]] inline void Exec<Watched>::StoreOperand(uint16_t oi, uint8_t v) {
    if (oi < kIndirectNowhere) StoreFixed(oi, v);
}

// SETB, CLR, CPL, MOV bit,C and JBC: a read-modify-write of the bit's byte (a port's latch).
template <bool Watched>
inline void Exec<Watched>::WriteBitW(uint8_t b, int v, StoreBy by) {
    uint8_t addr = BitByteAddress(b);
    uint8_t byte = R(addr);
    uint8_t mask = uint8_t(1u << (b & 7));
    int c = (byte & mask) ? 1 : 0;
    if (c == v) return;
    Store<true>(addr, v ? uint8_t(byte | mask) : uint8_t(byte & ~mask), by);
}

template <bool Watched>
inline void Exec<Watched>::PushW(uint8_t v, StoreBy by) {
    uint8_t sp = uint8_t(R(Sfr::SP) + 1);
    StoreRegister<Watched>(Sfr::SP, sp, by);
    Store<true>(IndirectIndex(sp), v, by);
}

template <bool Watched>
inline uint8_t Exec<Watched>::PopW() {
    uint8_t sp = R(Sfr::SP);
    uint8_t v = R(IndirectIndex(sp));
    StoreFixed(Sfr::SP, uint8_t(sp - 1));
    return v;
}

// The flags of an 8-bit addition or subtraction from its operands and its 9-bit result r: CY is
// bit 8 (carry or borrow), AC the carry or borrow into bit 4 (bit 4 of a ^ x ^ r), OV the signed
// overflow (operands of one sign for ADD, of different signs for SUBB, and a result of the other).
inline uint8_t WithArithmeticFlags(uint8_t psw, unsigned a, unsigned x, unsigned r, bool subtract) {
    const unsigned ov = (subtract ? (a ^ x) & (a ^ r) : ~(a ^ x) & (a ^ r)) & 0x80;
    return uint8_t((psw & ~(CY | AC | OV)) | ((r >> 1) & CY) | (((a ^ x ^ r) & 0x10) << 2) | (ov >> 5));
}

// ADD and ADDC: the ACC store, then one PSW store with CY, AC and OV.
template <bool Watched>
[[gnu::always_inline]] inline void Exec<Watched>::AddToAcc(uint8_t x, unsigned c) {
    unsigned a = R(Sfr::ACC);
    unsigned sum = a + x + c;
    StoreAcc(uint8_t(sum));
    StorePsw(WithArithmeticFlags(R(Sfr::PSW), a, x, sum, false));
}

template <bool Watched>
[[gnu::always_inline]] inline void Exec<Watched>::SubbFromAcc(uint8_t x) {
    unsigned a = R(Sfr::ACC);
    unsigned c = R(Sfr::PSW) >> 7;
    unsigned diff = (a - x - c) & 0x1FF;
    StoreAcc(uint8_t(diff));
    StorePsw(WithArithmeticFlags(R(Sfr::PSW), a, x, diff, true));
}

// Level-triggered requests: IE0/IE1 follow their pins before every instruction.
template <bool Watched>
[[gnu::noinline]] void Exec<Watched>::RenewLevelRequests() {
    uint8_t p3 = PortPins(3);
    uint8_t tcon = R(Sfr::TCON);
    // In one test: IE0/IE1 of the level-mode inputs already equal their inverted pins.
    const uint8_t levelFlags = uint8_t((~tcon & (IT0 | IT1)) << 1);
    const uint8_t pinsLow = uint8_t(((~p3 & 0x04) >> 1) | (~p3 & 0x08));
    if (((tcon ^ pinsLow) & levelFlags) == 0) return;
    if (!(tcon & IT0)) {
        bool want = !(p3 & 0x04);
        if (want != bool(tcon & IE0)) Store<true>(Sfr::TCON, tcon ^ IE0, StoreBy::Hardware);
    }
    tcon = R(Sfr::TCON);
    if (!(tcon & IT1)) {
        bool want = !(p3 & 0x08);
        if (want != bool(tcon & IE1)) Store<true>(Sfr::TCON, tcon ^ IE1, StoreBy::Hardware);
    }
}

// Returns the vector taken, or -1.
template <bool Watched>
[[gnu::noinline]] int Exec<Watched>::AcceptInterrupt(uint16_t pc) {
    uint8_t ie = R(Sfr::IE);
    if (!(ie & 0x80) || !(ie & 0x3F)) return -1;
    uint8_t ip = R(Sfr::IP);
    int taken = -1, level = 0;
    for (int i = 0; i < 6; ++i) {
        const InterruptSource& s = kSources[i];
        if (!(ie & s.enable) || !(R(s.requestByte) & s.requestMask)) continue;
        int l = (ip & s.priority) ? 2 : 1;
        if (l > level) {
            level = l;
            taken = i;
        }
    }
    if (taken < 0 || level <= InterruptLevelStack[0]) return -1;
    InterruptLevelStack.Set(3, InterruptLevelStack[2]);
    InterruptLevelStack.Set(2, InterruptLevelStack[1]);
    InterruptLevelStack.Set(1, InterruptLevelStack[0]);
    InterruptLevelStack.Set(0, uint8_t(level));
    PushW(uint8_t(pc), StoreBy::Hardware);
    PushW(uint8_t(pc >> 8), StoreBy::Hardware);
    const InterruptSource& s = kSources[taken];
    NoteInterruptEntry(pc, s.vector);
    if (s.clearMask != 0xFF) Store<true>(Sfr::TCON, R(Sfr::TCON) & s.clearMask, StoreBy::Hardware);
    if (StepObserversInstalled()) NotifyInterruptEntry({pc, s.vector, 2, true, CodeMemory[s.vector]});
    return s.vector;
}

template <bool Watched>
[[gnu::noinline]] void Exec<Watched>::SendByte() {
    WriteBitW(0x99, 1, StoreBy::Hardware);
    if (SerialMuted.load(std::memory_order_relaxed)) return;
    if (SerialOutputHook* h = SerialHook.load(std::memory_order_acquire)) h->ByteSent(Machine.txByte);
}

// The stores outside the step routine decide per store whether they are watched.
template <bool Program>
void Store(uint16_t a, uint8_t v, StoreBy by) {
    if (ScreenUpdateCountdown == 0) StoreAs<Program, true>(a, v, by);
    else StoreAs<Program, false>(a, v, by);
}

inline void WriteBitW(uint8_t b, int v) {
    const uint8_t addr = BitByteAddress(b), byte = R(addr), mask = uint8_t(1u << (b & 7));
    if (bool(byte & mask) == bool(v)) return;
    Store<true>(addr, v ? uint8_t(byte | mask) : uint8_t(byte & ~mask), StoreBy::Instruction);
}

// The InternalRam index a store reaches, kIndirectNowhere when it reaches nothing.
uint16_t StoreIndex(uint16_t address, bool indirect) {
    if (indirect && address > 0x7F && address < 0x100) return IndirectIndex(uint8_t(address));
    return address;
}

}  // namespace

// ---- The machine value -----------------------------------------------------------------------

bool MachineState::operator==(const MachineState& o) const { return FirstMachineDifference(*this, o).empty(); }

MachineState SaveMachine() { return Machine; }

void RestoreMachine(const MachineState& s) {
    if (s.codeGeneration != Machine.codeGeneration) {
        Machine.code = s.code;
        Machine.codeGeneration = s.codeGeneration;
    }
    Machine.iram = s.iram;
    Machine.xram = s.xram;
    Machine.pc = s.pc;
    Machine.levelStack = s.levelStack;
    Machine.interruptHold = s.interruptHold;
    Machine.rxBuffer = s.rxBuffer;
    Machine.rxRead = s.rxRead;
    Machine.txByte = s.txByte;
    for (int i = 0; i < kMaxCallFrames; ++i) Machine.frames[i] = s.frames[i];
    Machine.depth = s.depth;
    Machine.resetCycles = s.resetCycles;
    Machine.cycles = s.cycles;
    Machine.instructions = s.instructions;
    Machine.devicePulls = s.devicePulls;
    Machine.pins = s.pins;
    Machine.serialLastDelivery = s.serialLastDelivery;
    Machine.serialUnreadSince = s.serialUnreadSince;
    Machine.board = s.board;
    // The cached decisions are made anew from the restored registers, and the line looks again.
    Machine.serialDue = 0;
    MachineStateChanged();
}

namespace {

std::string HexText(unsigned v, int digits) {
    static const char* kDigits = "0123456789ABCDEF";
    std::string t;
    for (int i = digits - 1; i >= 0; --i) t += kDigits[(v >> (4 * i)) & 15];
    return t + "h";
}

template <std::size_t N>
std::string BytesDifference(const char* name, const SharedBytes<N>& a, const SharedBytes<N>& b) {
    for (std::size_t i = 0; i < N; ++i)
        if (a[i] != b[i])
            return std::string(name) + "[" + HexText(unsigned(i), N > 0x1000 ? 4 : 2) + "]: " +
                   HexText(a[i], 2) + " / " + HexText(b[i], 2);
    return {};
}

template <typename T>
std::string ValueDifference(const char* name, T a, T b) {
    if (a == b) return {};
    return std::string(name) + ": " + std::to_string(uint64_t(a)) + " / " + std::to_string(uint64_t(b));
}

}  // namespace

std::string FirstMachineDifference(const MachineState& a, const MachineState& b) {
    for (uint32_t i = 0; i < 0x10000; ++i)
        if (a.code[i] != b.code[i])
            return "code[" + HexText(i, 4) + "]: " + HexText(a.code[i], 2) + " / " + HexText(b.code[i], 2);
    std::string d;
    if (!(d = BytesDifference("iram", a.iram, b.iram)).empty()) return d;
    if (!(d = BytesDifference("xram", a.xram, b.xram)).empty()) return d;
    if (!(d = ValueDifference("pc", uint16_t(a.pc), uint16_t(b.pc))).empty()) return d;
    if (!(d = BytesDifference("levelStack", a.levelStack, b.levelStack)).empty()) return d;
    if (!(d = ValueDifference("interruptHold", uint8_t(a.interruptHold), uint8_t(b.interruptHold))).empty()) return d;
    if (!(d = ValueDifference("rxBuffer", uint8_t(a.rxBuffer), uint8_t(b.rxBuffer))).empty()) return d;
    if (!(d = ValueDifference("rxRead", uint8_t(a.rxRead), uint8_t(b.rxRead))).empty()) return d;
    if (!(d = ValueDifference("txByte", uint8_t(a.txByte), uint8_t(b.txByte))).empty()) return d;
    if (!(d = ValueDifference("depth", int32_t(a.depth), int32_t(b.depth))).empty()) return d;
    for (int i = 0; i < a.depth && i < kMaxCallFrames; ++i)
        if (uint64_t(a.frames[i]) != uint64_t(b.frames[i])) return "frames[" + std::to_string(i) + "]";
    if (!(d = ValueDifference("resetCycles", uint64_t(a.resetCycles), uint64_t(b.resetCycles))).empty()) return d;
    if (!(d = ValueDifference("cycles", uint64_t(a.cycles), uint64_t(b.cycles))).empty()) return d;
    if (!(d = ValueDifference("instructions", uint64_t(a.instructions), uint64_t(b.instructions))).empty()) return d;
    if (!(d = BytesDifference("devicePulls", a.devicePulls, b.devicePulls)).empty()) return d;
    if (!(d = BytesDifference("pins", a.pins, b.pins)).empty()) return d;
    if (!(a.board == b.board)) return "board";
    if (!(d = ValueDifference("serialUnreadSince", uint64_t(a.serialUnreadSince), uint64_t(b.serialUnreadSince))).empty()) return d;
    return ValueDifference("serialLastDelivery", uint64_t(a.serialLastDelivery), uint64_t(b.serialLastDelivery));
}

void NoteCodeChanged() { Machine.codeGeneration = Machine.codeGeneration + 1; }

// ---- Public store routines and accessors -----------------------------------------------------

void WriteDirect(uint16_t address, uint8_t value, bool indirect) {
    Store<true>(StoreIndex(address, indirect), value, StoreBy::Instruction);
}

void WriteDirectUser(uint16_t address, uint8_t value, bool indirect) {
    const uint16_t a = StoreIndex(address, indirect);
    if (a == Sfr::SBUF) SerialReceiveBuffer = value;
    Store<false>(a, value, StoreBy::User);
}

void WriteExternalRam(uint16_t address, uint8_t value) {
    if (ScreenUpdateCountdown == 0) ExternalStoreAs<false, true>(address, value, StoreBy::User);
    else ExternalStoreAs<false, false>(address, value, StoreBy::User);
}

// A byte arriving at the serial port. The release fence orders the receive buffer before RI for
// a window reading on the other thread.
void ReceiveSerialByte(uint8_t value, int ninthBit) {
    SerialReceiveBuffer = value;
    SerialReceiveBufferRead = 0;
    Store<false>(Sfr::SBUF, value, StoreBy::User);
    std::atomic_thread_fence(std::memory_order_release);
    const uint8_t scon = R(Sfr::SCON);
    const uint8_t flags = ninthBit ? 0x05 : (scon & 0x20) ? 0x00 : 0x01;
    Store<false>(Sfr::SCON, uint8_t((scon & 0xFA) | flags), StoreBy::User);
}

void SetDevicePull(DeviceId d, int port, uint8_t pull) {
    if (port < 0 || port > 3 || int(d) >= kMaxDevices) return;
    const uint8_t before = PortPins(port);
    Machine.devicePulls.Set(size_t(int(d) * 4 + port), pull);
    uint8_t all = 0xFF;
    for (int i = 0; i < kMaxDevices; ++i) all &= Machine.devicePulls[size_t(i * 4 + port)];
    Machine.pins.Set(size_t(port), all);
    const uint8_t after = PortPins(port);
    if (before == after) return;
    if (ScreenUpdateCountdown == 0) PinEdges<false, true>(port, before, after);
    else PinEdges<false, false>(port, before, after);
    PinLevelsChanged(port, before, after);
    if (PortLatchListener* l = LatchListener.load(std::memory_order_acquire)) l->PinsChanged(port);
    // The port panel shows the pins: a pin that changed is a change of what it shows.
    if (ScreenUpdateCountdown == 0)
        if (StoreRefreshHooks* h = RefreshHooks.load(std::memory_order_acquire)) {
            const uint16_t a = uint16_t(0x80 + 0x10 * port);
            h->DirectStored(a, R(a), R(a), StoringAsWorker);
        }
}

void TimerCounterTick(int mode, uint16_t thAddress, uint16_t tlAddress, uint8_t flag) {
    CounterTick<true, true>(mode, thAddress, tlAddress, flag);
}

void WriteBit(uint8_t b, int v) { WriteBitW(b, v); }
void PushByte(uint8_t v) { Exec<true>::PushW(v); }
uint8_t PopByte() { return Exec<true>::PopW(); }

void InstallStoreRefreshHooks(StoreRefreshHooks* hooks) {
    RefreshHooks.store(hooks, std::memory_order_release);
}
StoreRefreshHooks* InstalledStoreRefreshHooks() {
    return RefreshHooks.load(std::memory_order_acquire);
}
void InstallSerialOutputHook(SerialOutputHook* hook) {
    SerialHook.store(hook, std::memory_order_release);
}
SerialOutputHook* InstalledSerialOutputHook() { return SerialHook.load(std::memory_order_acquire); }
void MuteSerialOutput(bool muted) { SerialMuted.store(muted, std::memory_order_relaxed); }
void InstallPortLatchListener(PortLatchListener* listener) {
    LatchListener.store(listener, std::memory_order_release);
}

void MachineStateChanged() {
    MarkInterruptStageDue();
    MarkTimerPlanDue();
}

// ---- Lifecycle ----------------------------------------------------------------------------------

void InitMachineState() {
    CodeMemory.fill(0);
    NoteCodeChanged();
    InternalRam.Fill(0);
    ExternalRam.Fill(0);
    InterruptLevelStack.Fill(0);
    DetachBoard();
    Machine.devicePulls.Fill(0xFF);
    Machine.pins.Fill(0xFF);
    Machine.cycles = 0;
    Machine.instructions = 0;
    Machine.serialLastDelivery = 0;
    Machine.serialUnreadSince = ~uint64_t(0);
    Machine.serialDue = 0;
    Machine.txByte = 0;
    SerialLineClear();
    RemoveAllBreakpoints();
    ResetDebugCounters();
    ProgramEnd = 0;
    ScreenUpdateCountdown = 0;
    InterruptHold = 0;
    MachineStateChanged();
    SerialReceiveBuffer = 0;
    SerialReceiveBufferRead = 1;
    WriteDirectUser(Sfr::SP, 0x07);
    WriteDirectUser(Sfr::P0, 0xFF);
    WriteDirectUser(Sfr::P1, 0xFF);
    WriteDirectUser(Sfr::P2, 0xFF);
    WriteDirectUser(Sfr::P3, 0xFF);
    ProgramCounter = 0;
}

void ClearInternalRam() {
    uint16_t last = Processor8052 ? 0x17F : 0xFF;
    for (uint16_t i = 0; i <= last; ++i) {
        uint8_t v = 0;
        if (i == Sfr::P0 || i == Sfr::P1 || i == Sfr::P2 || i == Sfr::P3) v = 0xFF;
        else if (i == Sfr::SP) v = 0x07;
        WriteDirectUser(i, v);  // SBUF's store clears the receive buffer as well
    }
    SerialReceiveBufferRead = 1;
}

void ResetController() {
    InterruptLevelStack.Fill(0);
    ProgramCounter = 0;
    ClearInternalRam();
    InterruptHold = 0;
    ResetDebugCounters();
    MachineStateChanged();
}

void ClearExternalRam() {
    for (uint32_t a = 0; a <= 0xFFFF; ++a) WriteExternalRam(uint16_t(a), 0);
}

// ---- One step -----------------------------------------------------------------------------------

// The inputs queued for the simulation thread and the cached decisions they may renew.
[[gnu::noinline]] uint8_t TakeInputs(uint8_t due) {
    ApplyQueuedInputs();
    return uint8_t((due & ~kInputsDue) | Machine.stepDue.Exchange(0));
}

template <bool Watched>
StepResult Exec<Watched>::Step(uint16_t address) {
    // Stage 0: inputs from outside the program and the serial line, between two instructions.
    if (Machine.cycles >= Machine.serialDue) [[unlikely]] ServeSerialLine();
    uint8_t due = 0;
    if (Machine.stepDue) {
        due = Machine.stepDue.Exchange(0);
        if (due & kInputsDue) [[unlikely]] {
            due = TakeInputs(due);
            address = ProgramCounter;  // Set PC or Reset may have moved it
        }
    }
    // Stage 1: level-triggered requests, interrupt acceptance, timers. The interrupt part runs
    // only when a store since the last look may have changed its outcome. An accepted interrupt
    // is the hardware's LCALL to the vector: 2 machine cycles, which the timers count, and then
    // the vector's first instruction in the same step.
    uint8_t op = CodeMemory[address];
    unsigned c = 0;
    bool entered = false;
    if (due & kInterruptStageDue) {
        RenewLevelRequests();
        if (InterruptHold) {
            InterruptHold = 0;
            MarkInterruptStageDue();
        } else {
            int vector = AcceptInterrupt(address);
            if (vector >= 0) {
                address = uint16_t(vector);
                ProgramCounter = address;
                op = CodeMemory[address];
                MarkInterruptStageDue();
                c = 2;
                entered = true;
            }
        }
    }
    if (due & kTimerPlanDue) RebuildTimerPlan();
    const uint16_t pc = address;
    c += InstructionCycles[op];
    AdvanceTimers<Watched>(c);
    Machine.cycles += c;
    ++Machine.instructions;
    const StepResult result{pc, uint8_t(c), entered, op};
    // Stage 2: the instruction.
    const uint8_t b1 = CodeMemory[uint16_t(pc + 1)];
    // The second operand byte, read where an instruction has one.
    auto b2 = [&] { return CodeMemory[uint16_t(pc + 2)]; };
    const uint8_t bank8 = R(Sfr::PSW) & 0x18;
    uint16_t oi = 0;  // the operand's InternalRam index for the @Ri and Rn forms
    if ((op & 0x0F) >= 8) oi = bank8 + (op & 7);
    else if ((op & 0x0E) == 6) oi = IndirectIndex(R(bank8 + (op & 1)));

    uint16_t next = uint16_t(pc + InstructionLength[op]);
    auto jump = [&](uint8_t rel) { next = uint16_t(next + int8_t(rel)); };
    auto acc = [] { return R(Sfr::ACC); };
    auto dptr = [] { return uint16_t(R(Sfr::DPH) * 256 + R(Sfr::DPL)); };
    // MOVX @Ri: P2's latch drives the high address lines, R0 or R1 the low ones.
    auto pagedRi = [&] { return uint16_t(R(Sfr::P2) * 256 + R(bank8 + (op & 1))); };
    auto absTarget = [&] { return uint16_t(((pc + 2) & 0xF800) + (op >> 5) * 256 + b1); };

    switch (op) {
        // ---- Data transfer
        case 0x74: StoreAcc(b1); break;
        case 0xE5: StoreAcc(Src(b1)); break;
        case 0xE6 ... 0xEF: StoreAcc(R(oi)); break;
        case 0xE4: StoreAcc(0); break;
        case 0xF5: Store<true>(b1, acc()); break;
        case 0xF6 ... 0xFF: StoreOperand(oi, acc()); break;
        case 0x75: Store<true>(b1, b2()); break;
        case 0x76 ... 0x7F: StoreOperand(oi, b1); break;
        case 0x85: Store<true>(b2(), Src(b1)); break;
        case 0x86 ... 0x8F: Store<true>(b1, R(oi)); break;
        case 0xA6 ... 0xAF: StoreOperand(oi, Src(b1)); break;
        case 0x90:
            StoreFixed(Sfr::DPH, b1);
            StoreFixed(Sfr::DPL, b2());
            break;
        case 0xC5: {
            uint8_t t = Src(b1);
            Store<true>(b1, acc());
            StoreAcc(t);
            break;
        }
        case 0xC6 ... 0xCF: {
            uint8_t t = R(oi);
            StoreOperand(oi, acc());
            StoreAcc(t);
            break;
        }
        case 0xD6: case 0xD7: {
            uint8_t r = R(oi) & 0x0F, a = acc() & 0x0F;
            StoreAcc(uint8_t((acc() & 0xF0) | r));
            StoreOperand(oi, uint8_t((R(oi) & 0xF0) | a));
            break;
        }
        case 0x93: StoreAcc(CodeMemory[uint16_t(acc() + dptr())]); break;
        case 0x83: StoreAcc(CodeMemory[uint16_t(acc() + pc + 1)]); break;
        case 0xE0: StoreAcc(ExternalRam[dptr()]); break;
        case 0xE2: case 0xE3: StoreAcc(ExternalRam[pagedRi()]); break;
        case 0xF0: ExternalStore<true>(dptr(), acc()); break;
        case 0xF2: case 0xF3: ExternalStore<true>(pagedRi(), acc()); break;
        case 0xC0: {
            uint8_t sp = uint8_t(R(Sfr::SP) + 1);
            Store<true>(Sfr::SP, sp);
            uint8_t v = Src(b1);
            Store<true>(IndirectIndex(sp), v);
            break;
        }
        case 0xD0: {
            uint8_t sp = R(Sfr::SP);
            uint8_t v = R(IndirectIndex(sp));
            Store<true>(Sfr::SP, uint8_t(sp - 1));
            Store<true>(b1, v);
            break;
        }

        // ---- Arithmetic
        case 0x24: AddToAcc(b1, 0); break;
        case 0x25: AddToAcc(Src(b1), 0); break;
        case 0x26 ... 0x2F: AddToAcc(R(oi), 0); break;
        case 0x34: AddToAcc(b1, R(Sfr::PSW) >> 7); break;
        case 0x35: AddToAcc(Src(b1), R(Sfr::PSW) >> 7); break;
        case 0x36 ... 0x3F: AddToAcc(R(oi), R(Sfr::PSW) >> 7); break;
        case 0x94: SubbFromAcc(b1); break;
        case 0x95: SubbFromAcc(Src(b1)); break;
        case 0x96 ... 0x9F: SubbFromAcc(R(oi)); break;
        case 0x04: StoreAcc(uint8_t(acc() + 1)); break;
        case 0x05: Store<true>(b1, uint8_t(SrcLatch(b1) + 1)); break;
        case 0x06 ... 0x0F: StoreOperand(oi, uint8_t(R(oi) + 1)); break;
        case 0x14: StoreAcc(uint8_t(acc() - 1)); break;
        case 0x15: Store<true>(b1, uint8_t(SrcLatch(b1) - 1)); break;
        case 0x16 ... 0x1F: StoreOperand(oi, uint8_t(R(oi) - 1)); break;
        case 0xA3: {
            uint8_t dpl = uint8_t(R(Sfr::DPL) + 1);
            StoreFixed(Sfr::DPL, dpl);
            if (dpl == 0) StoreFixed(Sfr::DPH, uint8_t(R(Sfr::DPH) + 1));
            break;
        }
        case 0xA4: {
            unsigned p = unsigned(acc()) * R(Sfr::B);
            StoreFixed(Sfr::B, uint8_t(p >> 8));
            StoreAcc(uint8_t(p));
            if (p < 256) {
                StorePsw(R(Sfr::PSW) & 0x7B);
            } else {
                StorePsw(R(Sfr::PSW) & 0x7F);
                StorePsw(R(Sfr::PSW) | 0x04);
            }
            break;
        }
        case 0x84: {
            StorePsw(R(Sfr::PSW) & 0x7F);
            uint8_t a = acc(), d = R(Sfr::B);
            if (d == 0) {
                StorePsw(R(Sfr::PSW) | 0x04);
            } else {
                StorePsw(R(Sfr::PSW) & 0xFB);
                StoreAcc(uint8_t(a / d));
                StoreFixed(Sfr::B, uint8_t(a % d));
            }
            break;
        }
        case 0xD4: {
            unsigned a = acc();
            int cy = R(Sfr::PSW) >> 7;
            if ((a & 0x0F) > 9 || (R(Sfr::PSW) & AC)) {
                a += 0x06;
                if (a > 0xFF) cy = 1;
                a &= 0xFF;
            }
            if (cy || (a >> 4) > 9) {
                a += 0x60;
                if (a > 0xFF) cy = 1;
                a &= 0xFF;
            }
            WriteBitW(0xD7, cy);
            StoreAcc(uint8_t(a));
            break;
        }

        // ---- Logic and rotation
        case 0x42: Store<true>(b1, SrcLatch(b1) | acc()); break;
        case 0x52: Store<true>(b1, SrcLatch(b1) & acc()); break;
        case 0x62: Store<true>(b1, SrcLatch(b1) ^ acc()); break;
        case 0x43: Store<true>(b1, SrcLatch(b1) | b2()); break;
        case 0x53: Store<true>(b1, SrcLatch(b1) & b2()); break;
        case 0x63: Store<true>(b1, SrcLatch(b1) ^ b2()); break;
        case 0x44: StoreAcc(acc() | b1); break;
        case 0x54: StoreAcc(acc() & b1); break;
        case 0x64: StoreAcc(acc() ^ b1); break;
        case 0x45: StoreAcc(acc() | Src(b1)); break;
        case 0x55: StoreAcc(acc() & Src(b1)); break;
        case 0x65: StoreAcc(acc() ^ Src(b1)); break;
        case 0x46 ... 0x4F: StoreAcc(acc() | R(oi)); break;
        case 0x56 ... 0x5F: StoreAcc(acc() & R(oi)); break;
        case 0x66 ... 0x6F: StoreAcc(acc() ^ R(oi)); break;
        case 0xF4: StoreAcc(acc() ^ 0xFF); break;
        case 0x03: StoreAcc(uint8_t((acc() >> 1) | (acc() << 7))); break;
        case 0x23: StoreAcc(uint8_t((acc() << 1) | (acc() >> 7))); break;
        case 0x13: {
            uint8_t b = acc() & 1;
            StoreAcc(uint8_t((acc() >> 1) | (R(Sfr::PSW) & 0x80)));
            StorePsw(uint8_t((R(Sfr::PSW) & 0x7F) | (b << 7)));
            break;
        }
        case 0x33: {
            uint8_t b = acc() >> 7;
            StoreAcc(uint8_t((acc() << 1) | (R(Sfr::PSW) >> 7)));
            StorePsw(uint8_t((R(Sfr::PSW) & 0x7F) | (b << 7)));
            break;
        }
        case 0xC4: StoreAcc(uint8_t((acc() << 4) | (acc() >> 4))); break;

        // ---- Bit operations
        case 0xC3: WriteBitW(0xD7, 0); break;
        case 0xD3: WriteBitW(0xD7, 1); break;
        case 0xB3: WriteBitW(0xD7, 1 - (R(Sfr::PSW) >> 7)); break;
        case 0xC2: WriteBitW(b1, 0); break;
        case 0xD2: WriteBitW(b1, 1); break;
        case 0xB2: WriteBitW(b1, 1 - ReadBit(b1)); break;
        case 0xA2: WriteBitW(0xD7, ReadPinBit(b1)); break;
        case 0x92: WriteBitW(b1, R(Sfr::PSW) >> 7); break;
        case 0x72: StorePsw(uint8_t(R(Sfr::PSW) | (ReadPinBit(b1) << 7))); break;
        case 0xA0: StorePsw(uint8_t(R(Sfr::PSW) | ((1 - ReadPinBit(b1)) << 7))); break;
        case 0x82: StorePsw(uint8_t(R(Sfr::PSW) & ((ReadPinBit(b1) << 7) + 0x7F))); break;
        case 0xB0: StorePsw(uint8_t(R(Sfr::PSW) & (((1 - ReadPinBit(b1)) << 7) + 0x7F))); break;

        // ---- Jumps, calls and returns
        case 0x00: case 0xA5: break;
        case 0x02: next = uint16_t(b1 * 256 + b2()); break;  // LJMP still updates parity
        case 0x01: case 0x21: case 0x41: case 0x61: case 0x81: case 0xA1: case 0xC1: case 0xE1:
            ProgramCounter = absTarget();
            return result;
        case 0x11: case 0x31: case 0x51: case 0x71: case 0x91: case 0xB1: case 0xD1: case 0xF1: {
            uint16_t ret = uint16_t(pc + 2);
            PushW(uint8_t(ret));
            PushW(uint8_t(ret >> 8));
            ProgramCounter = absTarget();
            NoteCall(pc, absTarget(), ret);
            return result;
        }
        case 0x12: {
            uint16_t ret = uint16_t(pc + 3);
            PushW(uint8_t(ret));
            PushW(uint8_t(ret >> 8));
            ProgramCounter = uint16_t(b1 * 256 + b2());
            NoteCall(pc, uint16_t(b1 * 256 + b2()), ret);
            return result;
        }
        case 0x22: case 0x32: {
            uint8_t h = PopW();
            uint8_t l = PopW();
            ProgramCounter = uint16_t(h * 256 + l);
            NoteReturn();
            if (op == 0x32) {
                InterruptLevelStack.Set(0, InterruptLevelStack[1]);
                InterruptLevelStack.Set(1, InterruptLevelStack[2]);
                InterruptLevelStack.Set(2, InterruptLevelStack[3]);
                InterruptLevelStack.Set(3, 0);
                InterruptHold = 1;
                MarkInterruptStageDue();
            }
            return result;
        }
        case 0x73: ProgramCounter = uint16_t(acc() + dptr()); return result;
        case 0x80: jump(b1); break;
        case 0x40: if (R(Sfr::PSW) & CY) jump(b1); break;
        case 0x50: if (!(R(Sfr::PSW) & CY)) jump(b1); break;
        case 0x60: if (acc() == 0) jump(b1); break;
        case 0x70: if (acc() != 0) jump(b1); break;
        case 0x20: if (ReadPinBit(b1)) jump(b2()); break;
        case 0x30: if (!ReadPinBit(b1)) jump(b2()); break;
        case 0x10:
            if (ReadBit(b1)) {
                WriteBitW(b1, 0);
                jump(b2());
            }
            break;
        case 0xB4: case 0xB5: {
            uint8_t x = op == 0xB4 ? b1 : Src(b1);
            uint8_t a = acc();
            if (a != x) jump(b2());
            StorePsw(uint8_t((R(Sfr::PSW) & 0x7F) | (a < x ? CY : 0)));
            break;
        }
        case 0xB6 ... 0xBF: {
            uint8_t v = R(oi);
            if (v != b1) jump(b2());
            StorePsw(uint8_t((R(Sfr::PSW) & 0x7F) | (v < b1 ? CY : 0)));
            break;
        }
        case 0xD5: {
            uint8_t v = uint8_t(SrcLatch(b1) - 1);
            Store<true>(b1, v);
            if (v != 0) jump(b2());
            break;
        }
        case 0xD8 ... 0xDF:
            StoreOperand(oi, uint8_t(R(oi) - 1));
            if (R(oi) != 0) jump(b1);
            break;
    }

    // Parity of ACC into PSW.P after every instruction that did not leave above, the same way in
    // both forms and without testing the opcode or whether P changed: such tests would be
    // branches that follow the program's data. Where neither ACC nor P changed, the store leaves
    // the same byte.
    {
        uint8_t psw = R(Sfr::PSW);
        uint8_t p = uint8_t((psw & 0xFE) | __builtin_parity(acc()));
        StoreRegister<Watched>(Sfr::PSW, p, StoreBy::Hardware);
    }
    const uint8_t send = kSendOperand[op];
    if (send != kSendNone && (send == kSendB1 ? b1 : b2()) == Sfr::SBUF) SendByte();
    ProgramCounter = next;
    return result;
}

[[gnu::noinline]] StepResult StepWatched(uint16_t address) { return Exec<true>::Step(address); }
StepResult StepUnwatched(uint16_t address) { return Exec<false>::Step(address); }
