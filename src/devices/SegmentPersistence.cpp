// The multiplexed display's persistence: time each segment was on while its digit was selected.
#include "SegmentPersistence.h"

#include <algorithm>

void SegmentPersistence::Period::Add(const Period& other) {
    for (size_t i = 0; i < 8; ++i) {
        selected[i] += other.selected[i];
        for (size_t n = 0; n < 8; ++n) on[i][n] += other.on[i][n];
    }
}

SegmentPersistence& SegmentPersistence::operator=(const SegmentPersistence& o) {
    if (this == &o) return *this;
    wiring_ = o.wiring_;
    share_ = o.share_;
    periodCycles_ = o.periodCycles_;
    periodStart_ = o.periodStart_;
    last_ = o.last_;
    selected_ = o.selected_;
    on_ = o.on_;
    current_ = o.current_;
    previous_ = o.previous_;
    beforePrevious_ = o.beforePrevious_;
    StoreRelaxed(published_, o.Published());
    return *this;
}

void SegmentPersistence::SetClock(int32_t frequencyHz) {
    const uint64_t perSecond = uint64_t(frequencyHz > 0 ? frequencyHz : 11059200) / 12;
    periodCycles_ = std::max<uint64_t>(1, perSecond * kPeriodMs / 1000);
}

void SegmentPersistence::Configure(const SegmentWiring& wiring, int32_t frequencyHz, uint64_t cycle,
                                   int sharePercent) {
    wiring_ = wiring;
    wiring_.Digits = std::clamp(wiring.Digits, 1, 8);
    share_ = std::clamp(sharePercent, 1, 100);
    selected_ = on_ = 0;
    SetClock(frequencyHz);
    Clear(cycle);
}

void SegmentPersistence::Clear(uint64_t cycle) {
    periodStart_ = last_ = cycle;
    current_ = previous_ = beforePrevious_ = Period{};
    StoreRelaxed(published_, uint64_t(0));
}

void SegmentPersistence::Count(uint64_t cycles) {
    if (!cycles || !selected_) return;
    for (int i = 0; i < wiring_.Digits; ++i) {
        if (!(selected_ >> i & 1)) continue;
        current_.selected[size_t(i)] += cycles;
        for (int n = 0; n < 8; ++n)
            if (on_ >> n & 1) current_.on[size_t(i)][size_t(n)] += cycles;
    }
}

void SegmentPersistence::Advance(uint64_t cycle) {
    if (cycle < last_) cycle = last_;
    while (cycle - periodStart_ >= periodCycles_) {
        const uint64_t end = periodStart_ + periodCycles_;
        Count(end - last_);
        beforePrevious_ = previous_;
        previous_ = current_;
        current_ = Period{};
        periodStart_ = last_ = end;
        StoreRelaxed(published_, Lit(beforePrevious_, previous_));
        // A long time without a change: the periods in between all look the same.
        const uint64_t whole = (cycle - periodStart_) / periodCycles_;
        if (whole > 2) {
            periodStart_ += (whole - 2) * periodCycles_;
            last_ = periodStart_;
        }
    }
    Count(cycle - last_);
    last_ = cycle;
}

uint64_t SegmentPersistence::Lit(const Period& a, const Period& b) const {
    uint64_t digits = 0;
    for (size_t i = 0; i < size_t(wiring_.Digits); ++i) {
        const uint64_t selected = a.selected[i] + b.selected[i];
        if (!selected) {
            // Selected only now, no time yet (pins set by hand while the program stands still):
            // the digit shows what its pins hold.
            if (selected_ >> i & 1) digits |= uint64_t(on_) << (8 * i);
            continue;
        }
        uint8_t lit = 0;
        for (size_t n = 0; n < 8; ++n)
            if ((a.on[i][n] + b.on[i][n]) * 100 >= selected * uint64_t(share_)) lit |= uint8_t(1u << n);
        digits |= uint64_t(lit) << (8 * i);
    }
    return digits;
}

void SegmentPersistence::PinsChanged(const PortLevels& levels, uint64_t cycle) {
    Advance(cycle);
    uint8_t selected = 0, on = 0;
    for (int i = 0; i < wiring_.Digits; ++i)
        if (!levels.Level(wiring_.Select[size_t(i)])) selected |= uint8_t(1u << i);
    for (int n = 0; n < 8; ++n)
        if (!levels.Level(wiring_.Segments[size_t(n)])) on |= uint8_t(1u << n);
    selected_ = selected;
    on_ = on;
}

void SegmentPersistence::PinsSetByHand(const PortLevels& levels, uint64_t cycle) {
    Clear(cycle);
    PinsChanged(levels, cycle);
    Publish(cycle);
}

uint64_t SegmentPersistence::Shown(uint64_t cycle) const {
    SegmentPersistence later = *this;
    later.Advance(cycle);
    return later.Lit(later.previous_, later.current_);
}
