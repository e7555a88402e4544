// What the eye sees on a multiplexed 7-segment display: each digit's segments by the share of the
// time they were lit while the digit was selected.
//
// A digit is selected while its select (trigger) pin is low; a segment is on while its data pin
// is low. The display is looked at once per refresh period of 20 ms of controller time. A segment
// of a digit is lit when, over the last two periods (the running one counting as one), it was on
// for at least `SharePercent` of the time its digit was selected; a digit not selected in that time
// is dark (unless it is selected right now and no time has passed yet: it then shows its pins as
// they are). So the order in which a program selects a digit and writes its segments, and blanking
// between digits, do not matter: the few cycles in which a digit shows its neighbour's pattern are
// too short to be seen, as on a board.
//
// Fed with every change of the pins (and the machine cycle it happened at); one value that can be
// copied. The simulation thread updates it; at every refresh period it publishes the digits as a
// single 64-bit word (Published) that a window may read at any time.
#pragma once

#include <array>
#include <cstdint>

#include "Pins.h"
#include "Relaxed.h"
#include "Wiring.h"

class SegmentPersistence {
public:
    SegmentPersistence() = default;
    SegmentPersistence(const SegmentPersistence&) = default;
    SegmentPersistence& operator=(const SegmentPersistence& o);
    bool operator==(const SegmentPersistence&) const = default;

    static constexpr int kPeriodMs = 20;
    static constexpr int kDefaultSharePercent = 25;

    // Sets the wiring and the 8051's clock and starts dark at `cycle`.
    void Configure(const SegmentWiring& wiring, int32_t frequencyHz, uint64_t cycle = 0,
                   int sharePercent = kDefaultSharePercent);
    // The 8051's clock changed: periods from now on last 20 ms at it.
    void SetClock(int32_t frequencyHz);
    // Time passes without a change of the pins: the periods that end by `cycle` are closed and
    // published.
    void Tick(uint64_t cycle) { Advance(cycle); }
    // The cycle at which the running period ends.
    uint64_t PeriodEnd() const { return periodStart_ + periodCycles_; }
    // Forgets the time seen so far (Reset): every digit dark until the pins light it again.
    void Clear(uint64_t cycle);
    // The pins at `cycle` (no earlier than the last call).
    void PinsChanged(const PortLevels& levels, uint64_t cycle);
    // Pins changed by hand while the program stands still: no controller time passes, yet the
    // user looks at the board for as long as it takes, so it shows what a board frozen in time
    // shows: the digits selected now, with the segments on now.
    void PinsSetByHand(const PortLevels& levels, uint64_t cycle);
    // Byte i = the lit segments of digit i (bit n = segment n) as the display shows them at
    // `cycle`: the last complete period and the running one.
    uint64_t Shown(uint64_t cycle) const;
    // The digits as last published: at each period's end, or by Publish.
    uint64_t Published() const { return LoadRelaxed(published_); }
    void Publish(uint64_t cycle) { StoreRelaxed(published_, Shown(cycle)); }

    const SegmentWiring& Wiring() const { return wiring_; }

private:
    struct Period {
        std::array<uint64_t, 8> selected{};
        std::array<std::array<uint64_t, 8>, 8> on{};
        void Add(const Period& other);
        bool operator==(const Period&) const = default;
    };
    // Counts the time up to `cycle` into the periods, closing those that end on the way.
    void Advance(uint64_t cycle);
    void Count(uint64_t cycles);
    uint64_t Lit(const Period& a, const Period& b) const;

    SegmentWiring wiring_;
    int share_ = kDefaultSharePercent;
    uint64_t periodCycles_ = 1;
    uint64_t periodStart_ = 0, last_ = 0;
    uint8_t selected_ = 0, on_ = 0;  // digits selected and segments on since `last_`
    Period current_, previous_, beforePrevious_;
    uint64_t published_ = 0;
};
