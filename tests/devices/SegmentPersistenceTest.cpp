// The multiplexed display's persistence: the digits a program shows with either order of select
// and segments, with blanking, and what is left when it stops.
#include <gtest/gtest.h>

#include "SegmentPersistence.h"

namespace {

// Segment patterns of 1, 2, 3, 4 (bit n = segment n lit).
constexpr uint8_t kDigits[4] = {0x06, 0x5B, 0x4F, 0x66};

// A program on P1 (select, low active) and P2 (segments, low active) at 12 MHz: 20000 cycles per
// refresh period.
struct Board {
    SegmentPersistence display;
    PortLevels pins;
    uint64_t cycle = 0;
    Board() { display.Configure(SegmentWiring{}, 12000000, 0); }
    void Store(int port, uint8_t v, uint64_t cycles = 1) {
        pins.port[size_t(port)] = v;
        cycle += cycles;
        display.PinsChanged(pins, cycle);
    }
    uint64_t Shown() const { return display.Shown(cycle); }
};

uint64_t Expected() {
    uint64_t v = 0;
    for (int i = 0; i < 4; ++i) v |= uint64_t(kDigits[i]) << (8 * i);
    return v;
}

enum class Order { SegmentsFirst, SelectFirst, SelectFirstBlanked };

// Four digits, 1 ms each, for `periods` refresh periods.
void Multiplex(Board& b, Order order, int periods) {
    for (int round = 0; round < 5 * periods; ++round) {
        for (int d = 0; d < 4; ++d) {
            const uint8_t select = uint8_t(~(1u << d)), segments = uint8_t(~kDigits[d]);
            switch (order) {
            case Order::SegmentsFirst:
                b.Store(2, segments, 2);
                b.Store(1, select, 2);
                b.Store(1, 0xFF, 1000);
                break;
            case Order::SelectFirst:
                // The digit shows its neighbour's pattern for the few cycles until its own arrives.
                b.Store(1, select, 2);
                b.Store(2, segments, 40);
                b.cycle += 960;
                break;
            case Order::SelectFirstBlanked:
                b.Store(1, select, 2);
                b.Store(2, segments, 3);
                b.Store(2, 0xFF, 1000);
                break;
            }
        }
    }
}

TEST(SegmentPersistence, EveryOrderShowsTheRightDigits) {
    for (Order order : {Order::SegmentsFirst, Order::SelectFirst, Order::SelectFirstBlanked}) {
        Board b;
        Multiplex(b, order, 3);
        EXPECT_EQ(b.Shown(), Expected()) << int(order);
        EXPECT_EQ(b.display.Published(), Expected()) << "published at the end of each period";
    }
}

TEST(SegmentPersistence, StoppedScanDimShareAndClear) {
    Board b;
    Multiplex(b, Order::SegmentsFirst, 2);
    // The program stops multiplexing with no digit selected: two periods later all are dark.
    b.Store(1, 0xFF, 45000);
    EXPECT_EQ(b.Shown(), 0u);
    // One digit held selected: only it is lit, with its segments on.
    b.Store(2, uint8_t(~0x3F), 1);
    b.Store(1, 0xFE, 1);
    b.cycle += 100;
    EXPECT_EQ(b.Shown(), 0x3Fu) << "follows the pins while stepping";
    // A segment on for less than a quarter of its digit's time is not seen.
    b.Store(2, uint8_t(~0xBF), 30000);
    b.Store(2, uint8_t(~0x3F), 3000);
    b.cycle += 30000;
    EXPECT_EQ(b.Shown(), 0x3Fu);
    b.display.Clear(b.cycle);
    EXPECT_EQ(b.display.Published(), 0u);
    // Pins set by hand with the program standing still: the selected digit shows them at once.
    b.pins.port[2] = uint8_t(~0x06);
    b.display.PinsSetByHand(b.pins, b.cycle);
    EXPECT_EQ(b.display.Published(), 0x06u);
    // A long time without a change is counted without stepping through every period.
    b.Store(1, 0xFE, uint64_t(1) << 40);
    EXPECT_EQ(b.Shown(), 0x06u);
}

}  // namespace
