// The execution recorder: allocation, the call-stack follower, the edge table and the readers.
#include "Recorder.h"

#include <algorithm>

ExecutionRecorder Recorder;

bool IsConditionalJump(uint8_t op) {
    switch (op) {
        case 0x10: case 0x20: case 0x30: case 0x40: case 0x50: case 0x60: case 0x70: case 0xD5:
            return true;
        default:
            return (op >= 0xB4 && op <= 0xBF) || (op >= 0xD8 && op <= 0xDF);
    }
}

ExecutionRecorder::ExecutionRecorder() {
    for (int op = 0; op < 256; ++op) conditional_[op] = IsConditionalJump(uint8_t(op)) ? 1 : 0;
}

ExecutionRecorder::~ExecutionRecorder() { RemoveStepObserver(this); }

bool ExecutionRecorder::Enable(size_t traceLength) {
    if (!counts_) {
        counts_ = std::make_unique<std::atomic<uint64_t>[]>(2 * 0x10000);
        taken_ = std::make_unique<std::atomic<uint64_t>[]>(0x10000);
        edges_ = std::make_unique<std::atomic<uint64_t>[]>(4 * kEdgeSlots);
        entries_ = std::make_unique<std::atomic<uint64_t>[]>(3 * 0x10000);
        active_ = std::make_unique<uint16_t[]>(0x10000);
    }
    if (traceLength != traceLength_) {
        ring_ = std::make_unique<std::atomic<uint64_t>[]>(2 * traceLength);
        traceLength_ = traceLength;
        ringNext_ = 0;
        Put(ringWritten_, 0);
    }
    if (!AddStepObserver(this)) return false;
    // Routines already on the stack are taken over, not counted as calls.
    FollowCalls(TotalCycles(), TotalInstructions(), false);
    enabled_.store(true, std::memory_order_relaxed);
    return true;
}

void ExecutionRecorder::Disable() {
    RemoveStepObserver(this);
    enabled_.store(false, std::memory_order_relaxed);
}

void ExecutionRecorder::Clear() {
    if (counts_) {
        for (size_t i = 0; i < 2 * 0x10000; ++i) Put(counts_[i], 0);
        for (size_t i = 0; i < 0x10000; ++i) Put(taken_[i], 0);
        for (size_t i = 0; i < 4 * kEdgeSlots; ++i) Put(edges_[i], 0);
        for (size_t i = 0; i < 3 * 0x10000; ++i) Put(entries_[i], 0);
        std::fill_n(active_.get(), 0x10000, uint16_t(0));
    }
    for (size_t i = 0; i < 2 * traceLength_; ++i) Put(ring_[i], 0);
    ringNext_ = 0;
    Put(ringWritten_, 0);
    Put(totalCycles_, 0);
    Put(totalInstructions_, 0);
    Put(lostEdges_, 0);
    // Routines still on the stack start again from here: what they ran before is forgotten.
    depth_.store(0, std::memory_order_relaxed);
    top_ = 0;
    if (counts_) FollowCalls(0, 0, false);
}

int ExecutionRecorder::EdgeSlot(uint16_t site, uint16_t target, bool interrupt) {
    const uint64_t key = uint64_t(site) | uint64_t(target) << 16 | uint64_t(interrupt) << 32 | uint64_t(1) << 33;
    size_t i = size_t((key * 0x9E3779B97F4A7C15ull) >> 48) & (kEdgeSlots - 1);
    for (size_t probes = 0; probes < kEdgeSlots; ++probes, i = (i + 1) & (kEdgeSlots - 1)) {
        const uint64_t k = Load(edges_[4 * i]);
        if (k == key) return int(i);
        if (k == 0) {
            Put(edges_[4 * i], key);
            return int(i);
        }
    }
    Add(lostEdges_, 1);
    return -1;
}

void ExecutionRecorder::Credit(int f) {
    const Frame& fr = frames_[f];
    const uint64_t cycles = Load(totalCycles_) - Load(fr.cycles);
    const uint64_t instructions = Load(totalInstructions_) - Load(fr.instructions);
    const int edge = fr.edge.load(std::memory_order_relaxed);
    if (edge >= 0) {
        Add(edges_[4 * edge + 2], cycles);
        Add(edges_[4 * edge + 3], instructions);
    }
    const uint16_t target = uint16_t(Load(fr.word) >> 16);
    if (fr.outermost.load(std::memory_order_relaxed)) {
        Add(entries_[3 * target + 1], cycles);
        Add(entries_[3 * target + 2], instructions);
    }
    if (active_[target] > 0) --active_[target];
}

void ExecutionRecorder::FollowCalls(uint64_t cyclesBefore, uint64_t instructionsBefore, bool counting) {
    const int d = std::min<int>(call_stack::Depth, kMaxCallFrames);
    int depth = depth_.load(std::memory_order_relaxed), same = 0;
    while (same < d && same < depth && call_stack::Frames[same] == Load(frames_[same].word)) ++same;
    // Returns first, innermost first: they end with this step. The depth drops before a frame is
    // credited, so a reader never counts a routine twice.
    while (depth > same) {
        depth_.store(--depth, std::memory_order_relaxed);
        Credit(depth);
    }
    for (; depth < d; ++depth) {
        Frame& fr = frames_[depth];
        const uint64_t word = call_stack::Frames[depth];
        const uint16_t site = uint16_t(word), target = uint16_t(word >> 16);
        const bool interrupt = (word >> 56) & 1;
        const int edge = EdgeSlot(site, target, interrupt);
        if (counting) {
            if (edge >= 0) Add(edges_[4 * edge + 1], 1);
            Add(entries_[3 * target], 1);
        }
        Put(fr.word, word);
        fr.edge.store(edge, std::memory_order_relaxed);
        fr.outermost.store(active_[target]++ == 0, std::memory_order_relaxed);
        // A call's own cycles belong to the caller: the routine starts after it. An interrupt
        // entry is charged to the vector, so the step that entered it belongs to the routine.
        Put(fr.cycles, interrupt ? cyclesBefore : Load(totalCycles_));
        Put(fr.instructions, interrupt ? instructionsBefore : Load(totalInstructions_));
        depth_.store(depth + 1, std::memory_order_relaxed);
    }
    top_ = depth > 0 ? Load(frames_[depth - 1].word) : 0;
}

ExecutionRecorder::EntryTotals ExecutionRecorder::Entry(uint16_t entry) const {
    EntryTotals t;
    if (!entries_) return t;
    t.calls = Load(entries_[3 * entry]);
    t.cycles = Load(entries_[3 * entry + 1]);
    t.instructions = Load(entries_[3 * entry + 2]);
    // Outermost activations still running count up to now.
    const int depth = depth_.load(std::memory_order_relaxed);
    for (int f = 0; f < depth; ++f) {
        if (uint16_t(Load(frames_[f].word) >> 16) == entry && frames_[f].outermost.load(std::memory_order_relaxed)) {
            t.cycles += TotalCycles() - Load(frames_[f].cycles);
            t.instructions += TotalInstructions() - Load(frames_[f].instructions);
        }
    }
    return t;
}

std::vector<CallEdge> ExecutionRecorder::Edges() const {
    std::vector<CallEdge> out;
    if (!edges_) return out;
    for (size_t i = 0; i < kEdgeSlots; ++i) {
        const uint64_t key = Load(edges_[4 * i]);
        if (!key) continue;
        CallEdge e;
        e.site = uint16_t(key);
        e.target = uint16_t(key >> 16);
        e.interrupt = (key >> 32) & 1;
        e.calls = Load(edges_[4 * i + 1]);
        e.cycles = Load(edges_[4 * i + 2]);
        e.instructions = Load(edges_[4 * i + 3]);
        // Activations still running count up to now.
        const int depth = depth_.load(std::memory_order_relaxed);
        for (int f = 0; f < depth; ++f) {
            if (frames_[f].edge.load(std::memory_order_relaxed) == int(i)) {
                e.cycles += TotalCycles() - Load(frames_[f].cycles);
                e.instructions += TotalInstructions() - Load(frames_[f].instructions);
            }
        }
        out.push_back(e);
    }
    std::sort(out.begin(), out.end(), [](const CallEdge& a, const CallEdge& b) {
        return std::tie(a.site, a.target, a.interrupt) < std::tie(b.site, b.target, b.interrupt);
    });
    return out;
}

std::vector<TraceEntry> ExecutionRecorder::Trace() const {
    std::vector<TraceEntry> out;
    if (!ring_ || traceLength_ == 0) return out;
    const uint64_t written = Load(ringWritten_);
    const size_t n = size_t(std::min<uint64_t>(written, traceLength_));
    const size_t first = size_t((written - n) % traceLength_);
    out.reserve(n);
    for (size_t k = 0; k < n; ++k) {
        const size_t i = (first + k) % traceLength_;
        const uint64_t w = Load(ring_[2 * i + 1]);
        if (!(w >> 56)) continue;
        TraceEntry e;
        e.cycle = Load(ring_[2 * i]);
        e.address = uint16_t(w);
        e.a = uint8_t(w >> 16);
        e.psw = uint8_t(w >> 24);
        e.sp = uint8_t(w >> 32);
        e.dptr = uint16_t(uint8_t(w >> 40) | uint16_t(uint8_t(w >> 48)) << 8);
        out.push_back(e);
    }
    return out;
}
