// One-shot stops, data breakpoints, the shadow call stack and the stopwatch counters.
#include "Debugger.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>

#include "HexText.h"

std::vector<DataBreakpoint> DataBreakpoints;
Shared<uint8_t> DebugStopsArmed;
Shared<uint8_t> DataWatchArmed;
Shared<uint8_t> ScreenRefreshDue{1};
Shared<uint64_t> CyclesSinceReset;
Shared<uint64_t> CyclesLastRun;
Shared<uint64_t> CyclesSinceZero;

namespace {

// ---- The run's own copy of its stop conditions --------------------------------------------
// Written by ArmDebugStops before the worker starts, then only read by the worker.

struct ArmedWatch {
    DataBreakpoint b;
    int index;         // into DataBreakpoints
    uint16_t place;    // InternalRam index, or external address
    uint8_t mask;      // the bit within the byte, 0xFF for a byte
};

std::vector<ArmedWatch> Armed;
// One entry per InternalRam index: some armed watch looks at it.
std::array<bool, kInternalRamSize + 1> WatchedIndex{};
bool AnyExternalWatch = false;
OneShotStop OneShot;
bool OneShotArmed = false;

// The hit of the current run: set by the store that matched, read by DebugStopBefore and
// after the run.
Shared<uint8_t> HitPending;
Shared<uint8_t> HitSeen;
Shared<int32_t> HitIndex{-1};
Shared<uint16_t> HitWriter;
Shared<uint8_t> HitValue;

bool Matches(const ArmedWatch& w, uint8_t value, uint8_t old) {
    const uint8_t v = value & w.mask, o = old & w.mask;
    switch (w.b.match) {
        case WatchMatch::AnyWrite: return true;
        case WatchMatch::Changes: return v != o;
        case WatchMatch::Equals:
            return w.mask == 0xFF ? v == w.b.value : (v != 0) == (w.b.value != 0);
    }
    return false;
}

void Hit(const ArmedWatch& w, uint8_t value) {
    if (HitPending) return;  // the first store of the instruction that matched counts
    HitIndex = w.index;
    HitWriter = uint16_t(ProgramCounter);
    HitValue = value;
    HitSeen = 1;
    HitPending = 1;
}

// ---- The shadow call stack --------------------------------------------------------------------

CallFrame Unpack(uint64_t w) {
    CallFrame f;
    f.site = uint16_t(w);
    f.target = uint16_t(w >> 16);
    f.returnAddress = uint16_t(w >> 32);
    f.sp = uint8_t(w >> 48);
    f.interrupt = (w >> 56) & 1;
    return f;
}

}  // namespace

// ---- Texts and parsing ----------------------------------------------------------------------

std::string WatchPlaceText(const DataBreakpoint& b) {
    switch (b.space) {
        case WatchSpace::Iram: return "IRAM " + HexByteText(b.address);
        case WatchSpace::Sfr: return "SFR " + HexByteText(b.address);
        case WatchSpace::Bit: {
            char bit[4];
            std::snprintf(bit, sizeof bit, ".%u", b.address & 7u);
            return "Bit " + HexByteText(b.address) + " (" + HexByteText(BitByteAddress(uint8_t(b.address))) + bit + ")";
        }
        case WatchSpace::Xram: return "XRAM " + HexAddressText(b.address);
    }
    return {};
}

std::string WatchConditionText(const DataBreakpoint& b) {
    switch (b.match) {
        case WatchMatch::AnyWrite: return "any write";
        case WatchMatch::Changes: return "value changes";
        case WatchMatch::Equals:
            return b.space == WatchSpace::Bit ? "written as " + std::to_string(b.value ? 1 : 0)
                                              : "written as " + HexByteText(b.value);
    }
    return {};
}

bool ParseWatchText(const std::string& text, DataBreakpoint* out, std::string* error) {
    DataBreakpoint b;
    std::string s = text, space = "iram", value;
    if (size_t eq = s.find('='); eq != std::string::npos) {
        value = s.substr(eq + 1);
        s = s.substr(0, eq);
    }
    if (size_t colon = s.find(':'); colon != std::string::npos) {
        space = s.substr(colon + 1);
        s = s.substr(0, colon);
    }
    for (char& c : space) c = char(std::tolower(static_cast<unsigned char>(c)));
    auto hex = [](const std::string& t, unsigned long limit, unsigned long* v) {
        if (t.empty() || t.size() > 4) return false;
        for (char c : t)
            if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
        *v = std::strtoul(t.c_str(), nullptr, 16);
        return *v <= limit;
    };
    unsigned long limit = 0xFF;
    if (space == "iram") b.space = WatchSpace::Iram;
    else if (space == "sfr") b.space = WatchSpace::Sfr;
    else if (space == "bit") b.space = WatchSpace::Bit;
    else if (space == "xram") b.space = WatchSpace::Xram, limit = 0xFFFF;
    else {
        *error = "unknown space '" + space + "' (iram, sfr, bit or xram)";
        return false;
    }
    unsigned long a = 0;
    if (!hex(s, limit, &a)) {
        *error = "'" + s + "' is not a hexadecimal address 0-" + (limit == 0xFF ? "FF" : "FFFF");
        return false;
    }
    if (b.space == WatchSpace::Sfr && a < 0x80) {
        *error = "SFR addresses are 80-FF";
        return false;
    }
    b.address = uint16_t(a);
    if (!value.empty()) {
        unsigned long v = 0;
        if (!hex(value, b.space == WatchSpace::Bit ? 1 : 0xFF, &v)) {
            *error = b.space == WatchSpace::Bit ? "a bit's value is 0 or 1"
                                                : "'" + value + "' is not a hexadecimal byte 0-FF";
            return false;
        }
        b.match = WatchMatch::Equals;
        b.value = uint8_t(v);
    }
    *out = b;
    return true;
}

// ---- Arming and the stop test -----------------------------------------------------------------

void ArmDebugStops(const OneShotStop* oneShot) {
    Armed.clear();
    WatchedIndex.fill(false);
    AnyExternalWatch = false;
    for (size_t i = 0; i < DataBreakpoints.size(); ++i) {
        const DataBreakpoint& b = DataBreakpoints[i];
        if (!b.enabled) continue;
        ArmedWatch w{b, int(i), 0, 0xFF};
        switch (b.space) {
            case WatchSpace::Iram:
                w.place = b.address < 0x80 ? b.address : uint16_t(b.address + 0x80);
                break;
            case WatchSpace::Sfr: w.place = uint16_t(b.address | 0x80); break;
            case WatchSpace::Bit:
                w.place = BitByteAddress(uint8_t(b.address));
                w.mask = uint8_t(1u << (b.address & 7));
                break;
            case WatchSpace::Xram: w.place = b.address; break;
        }
        if (b.space == WatchSpace::Xram) AnyExternalWatch = true;
        else if (w.place < kInternalRamSize) WatchedIndex[w.place] = true;
        Armed.push_back(w);
    }
    OneShotArmed = oneShot != nullptr;
    if (oneShot) OneShot = *oneShot;
    HitPending = 0;
    HitSeen = 0;
    HitIndex = -1;
    ScreenRefreshDue = 1;
    DataWatchArmed = Armed.empty() ? 0 : 1;
    DebugStopsArmed = (OneShotArmed || !Armed.empty()) ? 1 : 0;
}

OneShotStop StepOverStop() {
    OneShotStop s;
    const uint16_t pc = ProgramCounter;
    const uint8_t op = CodeMemory[pc];
    if (op == 0x12 || (op & 0x1F) == 0x11) {
        s.addresses.set(uint16_t(pc + AsmTable[op].Length));
        s.stack = OneShotStop::Stack::AtMost;
        s.stackLimit = InternalRam[Sfr::SP];
    } else {
        s.anyAddress = true;
    }
    return s;
}

OneShotStop StepOutStop() {
    OneShotStop s;
    s.anyAddress = true;
    s.stack = OneShotStop::Stack::Below;
    s.stackLimit = InternalRam[Sfr::SP];
    s.onlyAfterReturn = true;
    return s;
}

OneShotStop RunToStop(uint16_t address) {
    OneShotStop s;
    s.addresses.set(address);
    return s;
}

DebugStop DebugStopBefore(uint16_t pc, uint16_t lastExecuted) {
    if (HitPending) {
        HitPending = 0;
        return DebugStop::Watch;
    }
    if (!OneShotArmed) return DebugStop::None;
    const OneShotStop& s = OneShot;
    if (!s.anyAddress && !s.addresses[pc]) return DebugStop::None;
    if (s.onlyAfterReturn) {
        const uint8_t op = CodeMemory[lastExecuted];
        if (op != 0x22 && op != 0x32) return DebugStop::None;
    }
    const uint8_t sp = InternalRam[Sfr::SP];
    switch (s.stack) {
        case OneShotStop::Stack::Any: break;
        case OneShotStop::Stack::AtMost: if (sp > s.stackLimit) return DebugStop::None; break;
        case OneShotStop::Stack::Below: if (sp >= s.stackLimit) return DebugStop::None; break;
    }
    return DebugStop::Reached;
}

WatchHitInfo LastWatchHit() {
    WatchHitInfo h;
    h.hit = HitSeen != 0;
    h.index = HitIndex;
    h.writer = HitWriter;
    h.value = HitValue;
    return h;
}

void ForgetWatchHit() {
    HitSeen = 0;
    HitIndex = -1;
}

void NoteWatchedStore(uint16_t index, uint8_t value, uint8_t old) {
    if (index >= WatchedIndex.size() || !WatchedIndex[index]) return;
    for (const ArmedWatch& w : Armed)
        if (w.b.space != WatchSpace::Xram && w.place == index && Matches(w, value, old)) {
            Hit(w, value);
            return;
        }
}

void NoteWatchedExternalStore(uint16_t address, uint8_t value, uint8_t old) {
    if (!AnyExternalWatch) return;
    for (const ArmedWatch& w : Armed)
        if (w.b.space == WatchSpace::Xram && w.place == address && Matches(w, value, old)) {
            Hit(w, value);
            return;
        }
}

// ---- Call stack ------------------------------------------------------------------------------

namespace call_stack {

Shared<uint64_t> Frames[kMaxCallFrames];
Shared<int32_t> Depth;

void Unwind(int sp) {
    int d = Depth;
    while (d > 0 && FrameSp(Frames[d - 1]) > sp) --d;
    Depth = d;
}

void PushSlow(uint64_t frame) {
    // The frames above the stack position of the new return address are gone (a program that
    // moved SP down, or left a routine by a jump after discarding its return address).
    Unwind(FrameSp(frame) - 2);
    int d = Depth;
    if (d == kMaxCallFrames) {
        // Deeper than any 8051 stack holds with proper returns: forget the outermost frame.
        for (int i = 1; i < d; ++i) Frames[i - 1] = uint64_t(Frames[i]);
        --d;
    }
    Frames[d] = frame;
    Depth = d + 1;
}

}  // namespace call_stack

void NoteInterruptEntry(uint16_t site, uint16_t vector) {
    call_stack::Push(call_stack::Pack(site, vector, site, InternalRam[Sfr::SP], true));
}

std::vector<CallFrame> CallStackSnapshot() {
    std::vector<CallFrame> out;
    const int sp = InternalRam[Sfr::SP];
    const int d = call_stack::Depth;
    for (int i = 0; i < d; ++i) {
        CallFrame f = Unpack(call_stack::Frames[i]);
        if (int(f.sp) > sp) break;
        out.push_back(f);
    }
    return out;
}

void ResetCallStack() { call_stack::Depth = 0; }

// ---- Stopwatch ---------------------------------------------------------------------------------

void NoteRunCycles(uint64_t cycles) {
    CyclesSinceReset = CyclesSinceReset + cycles;
    CyclesSinceZero = CyclesSinceZero + cycles;
    CyclesLastRun = cycles;
}

void ResetDebugCounters() {
    CyclesSinceReset = 0;
    CyclesLastRun = 0;
    CyclesSinceZero = 0;
    ResetCallStack();
}
