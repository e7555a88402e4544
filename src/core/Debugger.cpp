// One-shot stops, breakpoints with their ids, data breakpoints as a store observer, the shadow
// call stack and the stopwatch counters.
#include "Debugger.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "Observers.h"

#include "HexText.h"

Shared<uint8_t> DebugStopsArmed;

namespace {

// ---- The breakpoint list ------------------------------------------------------------------
// Edited by the controlling thread; the mutex keeps a second controlling thread (an adapter)
// from tearing it.

std::mutex ListMutex;
std::vector<Breakpoint> List;
int NextId = 1;
Shared<int32_t> StoppedBy;

// The run loop's table entry for a code breakpoint.
void SyncTable(const Breakpoint& b, bool removed) {
    if (b.kind != Breakpoint::Kind::Code) return;
    BreakpointTable.Set(b.address, removed ? 0 : b.enabled ? 1 : 2);
}

// ---- The run's own copy of its stop conditions --------------------------------------------
// Written by ArmDebugStops before the worker starts, then only read by the worker.

struct ArmedWatch {
    DataBreakpoint b;
    int id;
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
Shared<int32_t> HitId;
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
    HitId = w.id;
    HitWriter = uint16_t(ProgramCounter);
    HitValue = value;
    HitSeen = 1;
    HitPending = 1;
}

// The data breakpoints' store observer: an instruction's store always counts, the hardware's
// only when it changes the byte, a user's never.
class DataWatch : public StoreObserver {
public:
    void Stored(StoreSpace space, uint16_t index, uint8_t value, uint8_t old, StoreBy by) override {
        if (by == StoreBy::User || (by == StoreBy::Hardware && value == old)) return;
        if (space == StoreSpace::Internal) {
            if (index >= WatchedIndex.size() || !WatchedIndex[index]) return;
            for (const ArmedWatch& w : Armed)
                if (w.b.space != WatchSpace::Xram && w.place == index && Matches(w, value, old)) return Hit(w, value);
        } else if (AnyExternalWatch) {
            for (const ArmedWatch& w : Armed)
                if (w.b.space == WatchSpace::Xram && w.place == index && Matches(w, value, old)) return Hit(w, value);
        }
    }
};
DataWatch TheDataWatch;

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

// ---- The breakpoint API -----------------------------------------------------------------------

int AddCodeBreakpoint(uint16_t address, const std::string& label) {
    std::lock_guard<std::mutex> lock(ListMutex);
    for (Breakpoint& b : List)
        if (b.kind == Breakpoint::Kind::Code && b.address == address) {
            b.enabled = true;
            if (!label.empty()) b.label = label;
            SyncTable(b, false);
            return b.id;
        }
    Breakpoint b;
    b.id = NextId++;
    b.address = address;
    b.label = label;
    List.push_back(b);
    SyncTable(b, false);
    return b.id;
}

int AddDataBreakpoint(const DataBreakpoint& watch, const std::string& label) {
    std::lock_guard<std::mutex> lock(ListMutex);
    Breakpoint b;
    b.id = NextId++;
    b.kind = Breakpoint::Kind::Data;
    b.data = watch;
    b.enabled = watch.enabled;
    b.label = label;
    List.push_back(b);
    return b.id;
}

bool ChangeDataBreakpoint(int id, const DataBreakpoint& watch) {
    std::lock_guard<std::mutex> lock(ListMutex);
    for (Breakpoint& b : List)
        if (b.id == id && b.kind == Breakpoint::Kind::Data) {
            b.data = watch;
            b.data.enabled = b.enabled;
            return true;
        }
    return false;
}

bool RemoveBreakpoint(int id) {
    std::lock_guard<std::mutex> lock(ListMutex);
    auto it = std::find_if(List.begin(), List.end(), [&](const Breakpoint& b) { return b.id == id; });
    if (it == List.end()) return false;
    SyncTable(*it, true);
    List.erase(it);
    return true;
}

bool EnableBreakpoint(int id, bool enabled) {
    std::lock_guard<std::mutex> lock(ListMutex);
    for (Breakpoint& b : List)
        if (b.id == id) {
            b.enabled = enabled;
            b.data.enabled = enabled;
            SyncTable(b, false);
            return true;
        }
    return false;
}

std::vector<Breakpoint> ListBreakpoints() {
    std::vector<Breakpoint> code = ListBreakpoints(Breakpoint::Kind::Code);
    std::vector<Breakpoint> data = ListBreakpoints(Breakpoint::Kind::Data);
    code.insert(code.end(), data.begin(), data.end());
    return code;
}

std::vector<Breakpoint> ListBreakpoints(Breakpoint::Kind kind) {
    std::vector<Breakpoint> out;
    {
        std::lock_guard<std::mutex> lock(ListMutex);
        for (const Breakpoint& b : List)
            if (b.kind == kind) out.push_back(b);
    }
    if (kind == Breakpoint::Kind::Code)
        std::stable_sort(out.begin(), out.end(), [](const Breakpoint& a, const Breakpoint& b) { return a.address < b.address; });
    return out;
}

std::optional<Breakpoint> FindBreakpoint(int id) {
    std::lock_guard<std::mutex> lock(ListMutex);
    for (const Breakpoint& b : List)
        if (b.id == id) return b;
    return std::nullopt;
}

int CodeBreakpointAt(uint16_t address) {
    if (BreakpointTable[address] == 0) return 0;
    std::lock_guard<std::mutex> lock(ListMutex);
    for (const Breakpoint& b : List)
        if (b.kind == Breakpoint::Kind::Code && b.address == address) return b.id;
    return 0;
}

namespace {
void RemoveKind(bool code, bool data) {
    std::lock_guard<std::mutex> lock(ListMutex);
    std::vector<Breakpoint> kept;
    for (const Breakpoint& b : List) {
        const bool isCode = b.kind == Breakpoint::Kind::Code;
        if ((isCode && code) || (!isCode && data)) SyncTable(b, true);
        else kept.push_back(b);
    }
    List = std::move(kept);
    if (code) BreakpointTable.Fill(0);
}
}  // namespace

void RemoveCodeBreakpoints() { RemoveKind(true, false); }
void RemoveDataBreakpoints() { RemoveKind(false, true); }
void RemoveAllBreakpoints() { RemoveKind(true, true); }

int StoppingBreakpoint() { return StoppedBy; }
void NoteStoppingBreakpoint(int id) { StoppedBy = id; }

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
    for (const Breakpoint& bp : ListBreakpoints(Breakpoint::Kind::Data)) {
        if (!bp.enabled) continue;
        const DataBreakpoint& b = bp.data;
        ArmedWatch w{b, bp.id, 0, 0xFF};
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
    HitId = 0;
    StoppedBy = 0;
    ScreenRefreshDue = 1;
    if (Armed.empty()) RemoveStoreObserver(&TheDataWatch);
    else AddStoreObserver(&TheDataWatch);
    DebugStopsArmed = (OneShotArmed || !Armed.empty()) ? 1 : 0;
}

int CallDepth() {
    const int sp = InternalRam[Sfr::SP];
    const int d = call_stack::Depth;
    int n = 0;
    while (n < d && call_stack::FrameSp(call_stack::Frames[n]) <= sp) ++n;
    return n;
}

OneShotStop StepOverStop() {
    OneShotStop s;
    const uint16_t pc = ProgramCounter;
    const uint8_t op = CodeMemory[pc];
    s.anyAddress = true;
    if (op == 0x12 || (op & 0x1F) == 0x11) {
        // The frame the call is about to push: its SP is two above today's, and it sits above
        // every frame still on the stack.
        s.stack = OneShotStop::Stack::Unwound;
        s.stackLimit = uint8_t(InternalRam[Sfr::SP] + 2);
        s.depth = CallDepth() + 1;
    }
    return s;
}

OneShotStop StepOutStop() {
    OneShotStop s;
    s.anyAddress = true;
    const int depth = CallDepth();
    if (depth > 0) {
        s.stack = OneShotStop::Stack::Unwound;
        s.stackLimit = uint8_t(call_stack::FrameSp(call_stack::Frames[depth - 1]));
        s.depth = depth;
    } else {
        // No call on record (the program moved SP, or entered the routine by a jump): the first
        // return that leaves SP below its value now.
        s.stack = OneShotStop::Stack::Below;
        s.stackLimit = InternalRam[Sfr::SP];
        s.onlyAfterReturn = true;
    }
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
    if (!s.anyAddress && !s.addresses[pc]) {
        if (!s.sameLineAddresses[pc] || CallDepth() == s.depth) return DebugStop::None;
    }
    if (s.onlyAfterReturn) {
        const uint8_t op = CodeMemory[lastExecuted];
        if (op != 0x22 && op != 0x32) return DebugStop::None;
    }
    const uint8_t sp = InternalRam[Sfr::SP];
    switch (s.stack) {
        case OneShotStop::Stack::Any: break;
        case OneShotStop::Stack::AtMost: if (sp > s.stackLimit) return DebugStop::None; break;
        case OneShotStop::Stack::Below: if (sp >= s.stackLimit) return DebugStop::None; break;
        case OneShotStop::Stack::Unwound:
            // Gone once its return address lies above SP, or once RET/RETI dropped it.
            if (int(sp) >= int(s.stackLimit) - 1 && int(call_stack::Depth) >= s.depth) return DebugStop::None;
            break;
    }
    return DebugStop::Reached;
}

WatchHitInfo LastWatchHit() {
    WatchHitInfo h;
    h.hit = HitSeen != 0;
    h.id = HitId;
    h.writer = HitWriter;
    h.value = HitValue;
    return h;
}

void ForgetWatchHit() {
    HitSeen = 0;
    HitId = 0;
}

// ---- Call stack ------------------------------------------------------------------------------

namespace call_stack {

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
