// Signal recording: the recorder's ring of changes, the history that copies them out, the VCD writer.
#include "Signals.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <new>

#include "Code.h"
#include "Inputs.h"
#include "Observers.h"

namespace {

// A value of several bytes whose writes are noted is taken when all of its bytes have been
// written, or this many instructions after the last of a partial write (`x++` stores only the low
// byte of x unless it carries). Compilers put a few instructions between the bytes of one
// assignment (load, add with carry, store), never this many.
constexpr uint64_t kWriteWindow = 8;

// Generations are unique across recorders, so a history given another recorder starts over.
std::atomic<uint64_t> NextGeneration{2};
uint64_t NewGeneration() { return NextGeneration.fetch_add(2, std::memory_order_relaxed); }

uint8_t FullMask(uint8_t bytes) { return uint8_t((1u << bytes) - 1); }

uint64_t ReadBytes(SignalSpace space, uint16_t address, uint8_t bytes) {
    uint64_t v = 0;
    for (int k = bytes - 1; k >= 0; --k) {
        uint8_t b = 0;
        if (space == SignalSpace::External)
            b = ExternalRam[uint16_t(address + k)];
        else if (space == SignalSpace::Pins)
            b = PortPins((address - Sfr::P0) >> 4);  // the latch and every device's pull
        else if (address + k < int(kInternalRamSize))
            b = InternalRam[address + k];
        v = (v << 8) | b;
    }
    return v;
}

uint64_t ValueOf(const SignalSource& s, uint64_t raw) {
    return s.bit >= 0 ? (raw >> s.bit) & 1 : raw;
}

}  // namespace

uint64_t ReadSignalSource(const SignalSource& s) {
    return ValueOf(s, ReadBytes(s.space, s.address, s.bit >= 0 ? 1 : s.bytes));
}

// ---- Recorder ------------------------------------------------------------------------------------

SignalRecorder LogicSignals;

void SignalRecorder::SlotFree::operator()(uint64_t* p) const { std::free(p); }

SignalRecorder::SignalRecorder(std::size_t capacity) { SetCapacity(capacity); }

void SignalRecorder::Allocate() {
    if (ring_ || defs_.empty()) return;
    auto* words = static_cast<uint64_t*>(std::calloc(capacity_ * 3, sizeof(uint64_t)));
    if (!words) throw std::bad_alloc();
    ring_.reset(words);
}

void SignalRecorder::SetCapacity(std::size_t changes) {
    capacity_ = std::max<std::size_t>(changes, 1024);
    ring_.reset();
    Allocate();
    claimed_.store(0, std::memory_order_relaxed);
    written_.store(0, std::memory_order_relaxed);
    generation_.store(NewGeneration(), std::memory_order_release);
}

void SignalRecorder::SetSignals(std::vector<SignalDef> defs) {
    defs_ = std::move(defs);
    groups_.clear();
    order_.clear();
    hasMulti_ = false;
    // One group per byte that single-byte signals read, one per value of several bytes.
    std::vector<std::vector<uint32_t>> members;
    for (uint32_t i = 0; i < defs_.size(); ++i) {
        const SignalSource& s = defs_[i].source;
        bool multi = s.bit < 0 && s.bytes > 1;
        std::size_t g = groups_.size();
        if (!multi) {
            for (std::size_t k = 0; k < groups_.size(); ++k)
                if (!groups_[k].multi && groups_[k].space == s.space && groups_[k].address == s.address) g = k;
        }
        if (g == groups_.size()) {
            Group ng{};
            ng.space = s.space;
            ng.address = s.address;
            ng.multi = multi;
            ng.bytes = multi ? s.bytes : 1;
            groups_.push_back(ng);
            members.emplace_back();
        }
        members[g].push_back(i);
        hasMulti_ = hasMulti_ || multi;
    }
    hasSlow_ = false;
    for (uint32_t& h : hotGroup_) h = kNoGroup;
    for (std::size_t g = 0; g < groups_.size(); ++g) {
        Group& gr = groups_[g];
        gr.hot = gr.space == SignalSpace::Pins && !gr.multi;
        if (gr.hot) hotGroup_[(gr.address - Sfr::P0) >> 4] = uint32_t(g);
        else hasSlow_ = true;
        groups_[g].first = uint32_t(order_.size());
        groups_[g].count = uint32_t(members[g].size());
        order_.insert(order_.end(), members[g].begin(), members[g].end());
    }
    current_.assign(defs_.size(), 0);
    if (defs_.empty()) ring_.reset();
    Allocate();
    base_ = std::make_unique<std::atomic<uint64_t>[]>(std::max<std::size_t>(defs_.size(), 1));
    claimed_.store(0, std::memory_order_relaxed);
    written_.store(0, std::memory_order_relaxed);
    generation_.store(NewGeneration(), std::memory_order_release);
}

void SignalRecorder::Begin(uint64_t cycle) {
    // An odd generation tells a reader that the record is being replaced.
    const uint64_t generation = NewGeneration();
    generation_.store(generation - 1, std::memory_order_relaxed);
    std::atomic_thread_fence(std::memory_order_release);
    claimed_.store(0, std::memory_order_relaxed);
    written_.store(0, std::memory_order_relaxed);
    droppedUpTo_.store(cycle, std::memory_order_relaxed);
    beginCycle_.store(cycle, std::memory_order_relaxed);
    lastCycle_.store(cycle, std::memory_order_relaxed);
    samples_ = 0;
    hotWord_ = PortWord();
    for (Group& g : groups_) {
        g.last = ReadBytes(g.space, g.address, g.bytes);
        g.writtenMask = 0;
        g.wroteThisStep = false;
        for (uint32_t k = 0; k < g.count; ++k) {
            uint32_t s = order_[g.first + k];
            current_[s] = ValueOf(defs_[s].source, g.last);
            base_[s].store(current_[s], std::memory_order_relaxed);
        }
    }
    for (uint32_t s = 0; s < defs_.size(); ++s) Append(s, cycle, current_[s], kFromOutside);
    generation_.store(generation, std::memory_order_release);
}

void SignalRecorder::Append(uint32_t signal, uint64_t cycle, uint64_t value, int32_t writer) {
    uint64_t n = claimed_.load(std::memory_order_relaxed);
    uint64_t* slot = &ring_[(n % capacity_) * 3];
    if (n >= capacity_) {
        // Overwriting the oldest change: its value becomes its signal's value before the oldest
        // change kept.
        uint32_t old = uint32_t(Load(slot[2]) >> 32);
        if (old < defs_.size()) base_[old].store(Load(slot[1]), std::memory_order_relaxed);
        droppedUpTo_.store(std::max(droppedUpTo_.load(std::memory_order_relaxed), Load(slot[0])),
                           std::memory_order_relaxed);
    }
    claimed_.store(n + 1, std::memory_order_relaxed);
    std::atomic_thread_fence(std::memory_order_release);
    Store(slot[0], cycle);
    Store(slot[1], value);
    Store(slot[2], uint64_t(signal) << 32 | uint32_t(writer));
    written_.store(n + 1, std::memory_order_release);
    current_[signal] = value;
}

void SignalRecorder::ByteChanged(Group& g, uint8_t now, uint64_t cycle, int32_t writer) {
    g.last = now;
    for (uint32_t k = 0; k < g.count; ++k) {
        uint32_t s = order_[g.first + k];
        uint64_t v = ValueOf(defs_[s].source, now);
        if (v != current_[s]) Append(s, cycle, v, writer);
    }
}

void SignalRecorder::TakeGroup(Group& g, uint64_t raw, uint64_t cycle, int32_t writer) {
    g.last = raw;
    for (uint32_t k = 0; k < g.count; ++k) {
        uint32_t s = order_[g.first + k];
        if (raw != current_[s]) Append(s, cycle, raw, writer);
    }
}

void SignalRecorder::SampleBetween(uint64_t cycle, int32_t writer) {
    if (PortWord() != hotWord_) HotChanged(PortWord(), cycle, writer);
    if (hasSlow_) SampleSlow(cycle, writer, false);
    lastCycle_.store(std::max(cycle, lastCycle_.load(std::memory_order_relaxed)), std::memory_order_relaxed);
}

void SignalRecorder::HotChanged(uint32_t now, uint64_t cycle, int32_t writer) {
    const uint32_t changed = now ^ hotWord_;
    hotWord_ = now;
    for (unsigned k = 0; k < 4; ++k)
        if (((changed >> (8 * k)) & 0xFF) && hotGroup_[k] != kNoGroup)
            ByteChanged(groups_[hotGroup_[k]], uint8_t(now >> (8 * k)), cycle, writer);
}

void SignalRecorder::SampleSlow(uint64_t cycle, int32_t writer, bool instruction) {
    samples_ += instruction;
    for (Group& g : groups_) {
        if (g.hot) continue;
        if (!g.multi) {
            const uint8_t now = uint8_t(ReadBytes(g.space, g.address, 1));
            if (now != uint8_t(g.last)) ByteChanged(g, now, cycle, writer);
            continue;
        }
        if (g.wroteThisStep) {
            g.wroteThisStep = false;
            g.lastWriteCycle = cycle;
            g.lastWriteSample = samples_;
            g.lastWriter = writer;
        }
        uint64_t raw = ReadBytes(g.space, g.address, g.bytes);
        if (!writesNoted_ || g.writtenMask == 0) {
            // Not written by an instruction (a timer, a window): the change is whole at once.
            if (raw != g.last) TakeGroup(g, raw, cycle, writer);
        } else if (g.writtenMask == FullMask(g.bytes)) {
            g.writtenMask = 0;
            if (raw != g.last) TakeGroup(g, raw, cycle, writer);
        } else if (samples_ - g.lastWriteSample >= kWriteWindow) {
            g.writtenMask = 0;
            if (raw != g.last) TakeGroup(g, raw, g.lastWriteCycle, g.lastWriter);
        }
    }
}

void SignalRecorder::SetWritesNoted(bool noted) {
    if (writesNoted_ && !noted) {
        for (Group& g : groups_) {
            if (!g.multi || g.writtenMask == 0) continue;
            g.writtenMask = 0;
            const uint64_t raw = ReadBytes(g.space, g.address, g.bytes);
            if (raw != g.last) TakeGroup(g, raw, g.lastWriteCycle, g.lastWriter);
        }
    }
    writesNoted_ = noted;
}

void SignalRecorder::NoteWrite(SignalSpace space, uint16_t index) {
    if (!hasMulti_) return;
    for (Group& g : groups_) {
        if (!g.multi || g.space != space) continue;
        uint16_t k = uint16_t(index - g.address);
        if (k < g.bytes) {
            g.writtenMask |= uint8_t(1u << k);
            g.wroteThisStep = true;
        }
    }
}

// ---- Arming --------------------------------------------------------------------------------------

SignalProbe LogicProbe;

namespace {
bool ProbeStores = false;
}  // namespace

SignalArming::SignalArming(SignalRecorder& r) {
    if (r.Empty() || LogicProbe.recorder) return;
    LogicProbe.recorder = &r;
    LogicProbe.offset = r.LastCycle() - Machine.cycles;
    r.SampleBetween(r.LastCycle(), kFromOutside);
    ProbeStores = r.HasValuesOfSeveralBytes();
    armed_ = AddStepObserver(&LogicProbe);
    if (armed_) armed_ = AddInputObserver(&LogicProbe);
    if (armed_ && ProbeStores) armed_ = AddStoreObserver(&LogicProbe);
    r.SetWritesNoted(armed_ && ProbeStores);
    if (!armed_) {
        RemoveStepObserver(&LogicProbe);
        RemoveInputObserver(&LogicProbe);
        RemoveStoreObserver(&LogicProbe);
        LogicProbe.recorder = nullptr;
    }
}

SignalArming::~SignalArming() {
    if (!armed_) return;
    RemoveStepObserver(&LogicProbe);
    RemoveInputObserver(&LogicProbe);
    if (ProbeStores) RemoveStoreObserver(&LogicProbe);
    LogicProbe.recorder->Publish(LogicProbe.Now());
    LogicProbe.recorder->SetWritesNoted(false);
    LogicProbe.recorder = nullptr;
}

// ---- History -------------------------------------------------------------------------------------

void SignalHistory::Clear() {
    defs_.clear();
    changes_.clear();
    generation_ = ~uint64_t(0);
    read_ = 0;
    firstCycle_ = lastCycle_ = dropped_ = 0;
    total_ = 0;
}

void SignalHistory::Restart(const SignalRecorder& r) {
    defs_ = r.defs_;
    changes_.assign(defs_.size(), {});
    read_ = 0;
    total_ = 0;
    dropped_ = 0;
    capacity_ = r.capacity_;
    firstCycle_ = lastCycle_ = r.BeginCycle();
}

void SignalHistory::Add(uint32_t signal, const SignalChange& c) {
    if (signal >= changes_.size()) return;
    auto& v = changes_[signal];
    if (v.empty() || v.back().cycle <= c.cycle) {
        v.push_back(c);
    } else {
        // A value of several bytes taken after its write window: put it where it took effect.
        auto at = std::upper_bound(v.begin(), v.end(), c.cycle,
                                   [](uint64_t cy, const SignalChange& x) { return cy < x.cycle; });
        v.insert(at, c);
    }
    ++total_;
}

bool SignalHistory::Update(const SignalRecorder& r) {
    uint64_t generation = r.generation_.load(std::memory_order_acquire);
    if (generation & 1) return false;  // Begin is replacing the record
    bool changed = false;
    if (generation != generation_) {
        Restart(r);
        changed = true;
    }
    const uint64_t cap = r.capacity_;
    uint64_t written = r.written_.load(std::memory_order_acquire);
    if (written < read_) {
        Restart(r);
        changed = true;
    }
    uint64_t from = std::max(read_, written > cap ? written - cap : 0);
    std::vector<std::pair<uint32_t, SignalChange>> taken;
    taken.reserve(std::size_t(written - from));
    for (uint64_t n = from; n < written; ++n) {
        const uint64_t* slot = &r.ring_[(n % cap) * 3];
        SignalChange c;
        c.cycle = SignalRecorder::Load(slot[0]);
        c.value = SignalRecorder::Load(slot[1]);
        uint64_t who = SignalRecorder::Load(slot[2]);
        c.writer = int32_t(uint32_t(who));
        taken.emplace_back(uint32_t(who >> 32), c);
    }
    std::atomic_thread_fence(std::memory_order_acquire);
    uint64_t claimed = r.claimed_.load(std::memory_order_relaxed);
    if (r.generation_.load(std::memory_order_relaxed) != generation) return changed;
    generation_ = generation;
    // Entries the recorder has begun to overwrite while they were copied are not to be trusted.
    uint64_t valid = std::max(from, claimed > cap ? claimed - cap : 0);
    if (valid > read_) {
        // The recorder dropped changes this history never saw: start again from the values it
        // kept for the time before its oldest change.
        uint64_t droppedUpTo = r.droppedUpTo_.load(std::memory_order_relaxed);
        dropped_ += valid - read_ + total_;
        firstCycle_ = std::max(firstCycle_, droppedUpTo);
        total_ = 0;
        for (std::size_t s = 0; s < changes_.size(); ++s) {
            changes_[s].clear();
            Add(uint32_t(s), {firstCycle_, r.base_[s].load(std::memory_order_relaxed), kFromOutside});
        }
    }
    for (uint64_t n = valid; n < written; ++n) {
        const auto& [signal, c] = taken[std::size_t(n - from)];
        if (c.cycle < firstCycle_ && !changes_[signal].empty()) continue;
        Add(signal, c);
    }
    changed = changed || written > read_;
    read_ = written;
    uint64_t last = std::max(r.LastCycle(), firstCycle_);
    changed = changed || last != lastCycle_;
    lastCycle_ = last;
    if (total_ > capacity_) Trim();
    return changed;
}

void SignalHistory::Trim() {
    // Drop the oldest quarter of the changes: find the cycle before which that many lie.
    auto countBefore = [&](uint64_t cut) {
        std::size_t n = 0;
        for (auto& v : changes_)
            n += std::lower_bound(v.begin(), v.end(), cut,
                                  [](const SignalChange& x, uint64_t cy) { return x.cycle < cy; }) -
                 v.begin();
        return n;
    };
    std::size_t goal = total_ - capacity_ * 3 / 4;
    uint64_t lo = firstCycle_, hi = lastCycle_ + 1;
    while (lo < hi) {
        uint64_t mid = lo + (hi - lo) / 2;
        if (countBefore(mid) >= goal) hi = mid; else lo = mid + 1;
    }
    uint64_t cut = lo;
    for (auto& v : changes_) {
        std::size_t keep = 0;
        while (keep + 1 < v.size() && v[keep + 1].cycle <= cut) ++keep;
        if (keep == 0) continue;
        v.erase(v.begin(), v.begin() + std::ptrdiff_t(keep));
        dropped_ += keep;
        total_ -= keep;
    }
    for (auto& v : changes_)
        if (!v.empty() && v.front().cycle < cut) v.front().cycle = cut;
    firstCycle_ = cut;
}

std::size_t SignalHistory::IndexAt(std::size_t i, uint64_t cycle) const {
    const auto& v = changes_[i];
    auto at = std::upper_bound(v.begin(), v.end(), cycle,
                               [](uint64_t cy, const SignalChange& x) { return cy < x.cycle; });
    return at == v.begin() ? 0 : std::size_t(at - v.begin() - 1);
}

// ---- VCD -----------------------------------------------------------------------------------------

uint64_t CycleToNanoseconds(uint64_t cycle, uint32_t clockHz) {
    if (clockHz == 0) return 0;
    unsigned __int128 ns2 = (unsigned __int128)cycle * 24000000000ull + clockHz;  // 2*(c*12e9) + clock
    return uint64_t(ns2 / (2ull * clockHz));
}

namespace {

std::string VcdId(std::size_t i) {
    std::string id;
    do {
        id += char('!' + i % 94);
        i /= 94;
    } while (i);
    return id;
}

std::string VcdName(const std::string& name) {
    std::string n = name.empty() ? std::string("signal") : name;
    for (char& c : n)
        if (c <= ' ' || c > '~') c = '_';
    return n;
}

void WriteValue(std::ostream& out, const SignalDef& d, uint64_t v, const std::string& id) {
    if (d.IsBit()) {
        out << (v & 1 ? '1' : '0') << id << '\n';
        return;
    }
    std::string bits;
    unsigned width = d.Width();
    for (int b = int(width) - 1; b >= 0; --b) bits += (v >> b) & 1 ? '1' : '0';
    std::size_t first = bits.find('1');
    out << 'b' << (first == std::string::npos ? std::string("0") : bits.substr(first)) << ' ' << id << '\n';
}

}  // namespace

void WriteVcd(const SignalHistory& h, uint32_t clockHz, std::ostream& out) {
    std::vector<std::string> ids;
    out << "$version Corvamat logic analyzer $end\n";
    out << "$timescale 1 ns $end\n";
    out << "$scope module corvamat $end\n";
    for (std::size_t i = 0; i < h.SignalCount(); ++i) {
        ids.push_back(VcdId(i));
        out << "$var wire " << h.Def(i).Width() << ' ' << ids[i] << ' ' << VcdName(h.Def(i).name) << " $end\n";
    }
    out << "$upscope $end\n$enddefinitions $end\n";
    out << '#' << CycleToNanoseconds(h.FirstCycle(), clockHz) << "\n$dumpvars\n";
    for (std::size_t i = 0; i < h.SignalCount(); ++i)
        WriteValue(out, h.Def(i), h.ValueAt(i, h.FirstCycle()), ids[i]);
    out << "$end\n";
    struct Entry {
        uint64_t cycle;
        uint32_t signal, index;
    };
    std::vector<Entry> entries;
    for (std::size_t i = 0; i < h.SignalCount(); ++i) {
        const auto& v = h.Changes(i);
        for (std::size_t k = h.IndexAt(i, h.FirstCycle()) + 1; k < v.size(); ++k)
            entries.push_back({v[k].cycle, uint32_t(i), uint32_t(k)});
    }
    std::stable_sort(entries.begin(), entries.end(),
                     [](const Entry& a, const Entry& b) { return a.cycle < b.cycle; });
    uint64_t lastTime = CycleToNanoseconds(h.FirstCycle(), clockHz);
    for (const Entry& e : entries) {
        uint64_t t = CycleToNanoseconds(e.cycle, clockHz);
        if (t != lastTime) {
            out << '#' << t << '\n';
            lastTime = t;
        }
        WriteValue(out, h.Def(e.signal), h.Changes(e.signal)[e.index].value, ids[e.signal]);
    }
    // The end of the record, so that a viewer shows the last values up to the time sampled.
    uint64_t end = CycleToNanoseconds(h.LastCycle(), clockHz);
    if (end > lastTime) out << '#' << end << '\n';
}
