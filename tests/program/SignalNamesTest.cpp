// Signal names as the Logic Analyzer and --signals take them: every form, and the messages for bad ones.
#include <gtest/gtest.h>

#include "SignalNames.h"

namespace {

SignalSource Source(const std::string& name) {
    std::string error;
    auto d = ParseSignalName(name, nullptr, &error);
    EXPECT_TRUE(d) << name << ": " << error;
    return d ? d->source : SignalSource{};
}

std::string Error(const std::string& name) {
    std::string error;
    EXPECT_FALSE(ParseSignalName(name, nullptr, &error)) << name;
    return error;
}

}  // namespace

TEST(SignalNames, EveryFormAndItsSource) {
    using S = SignalSpace;
    EXPECT_EQ(Source("P1.3"), (SignalSource{S::Pins, 0x90, 3, 1}));
    EXPECT_EQ(Source("p3.7"), (SignalSource{S::Pins, 0xB0, 7, 1}));
    EXPECT_EQ(Source("P2"), (SignalSource{S::Pins, 0xA0, -1, 1}));
    EXPECT_EQ(Source("INT0"), (SignalSource{S::Pins, 0xB0, 2, 1}));
    EXPECT_EQ(Source("T2EX"), (SignalSource{S::Pins, 0x90, 1, 1}));
    EXPECT_EQ(Source("tf0"), (SignalSource{S::Direct, 0x88, 5, 1}));
    EXPECT_EQ(Source("C/T2"), (SignalSource{S::Direct, 0xC8, 1, 1}));
    EXPECT_EQ(Source("CY"), (SignalSource{S::Direct, 0xD0, 7, 1}));
    EXPECT_EQ(Source("TL0"), (SignalSource{S::Direct, 0x8A, -1, 1}));
    EXPECT_EQ(Source("SBUF"), (SignalSource{S::Direct, 0x99, -1, 1}));
    EXPECT_EQ(Source("DPTR"), (SignalSource{S::Direct, 0x82, -1, 2}));
    EXPECT_EQ(Source("D7:bit"), (SignalSource{S::Direct, 0xD0, 7, 1}));
    EXPECT_EQ(Source("0B:bit"), (SignalSource{S::Direct, 0x21, 3, 1}));
    EXPECT_EQ(Source("B4:BIT"), (SignalSource{S::Pins, 0xB0, 4, 1}));  // a port bit is its pin
    EXPECT_EQ(Source("90:sfr"), (SignalSource{S::Pins, 0x90, -1, 1}));
    EXPECT_EQ(Source("8C:sfr"), (SignalSource{S::Direct, 0x8C, -1, 1}));
    EXPECT_EQ(Source("30:iram"), (SignalSource{S::Direct, 0x30, -1, 1}));
    EXPECT_EQ(Source("85:iram"), (SignalSource{S::Direct, 0x105, -1, 1}));  // the 8052's upper RAM
    EXPECT_EQ(Source("1234:xram"), (SignalSource{S::External, 0x1234, -1, 1}));

    std::vector<SignalDef> list;
    std::string error;
    ASSERT_TRUE(ParseSignalList(" P1.0 , TL0,30:iram", nullptr, &list, &error)) << error;
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0].name, "P1.0");
    EXPECT_EQ(list[1].Width(), 8u);
    EXPECT_EQ(PortPinSignals().size(), 32u);
    EXPECT_EQ(PortPinSignals()[31].name, "P3.7");
}

TEST(SignalNames, BadNamesSayWhy) {
    EXPECT_EQ(Error("P1.8").rfind("no signal P1.8 (a pin such as P1.3", 0), 0u);
    EXPECT_EQ(Error("total").rfind("no signal total", 0), 0u);  // a variable needs symbols
    EXPECT_EQ(Error("30:port"), "unknown space 'port' in 30:port (bit, sfr, iram or xram)");
    EXPECT_EQ(Error("100:iram"), "'100' in 100:iram is not a hexadecimal address 0-FF");
    EXPECT_EQ(Error("10000:xram"), "'10000' in 10000:xram is not a hexadecimal address 0-FFFF");
    EXPECT_EQ(Error("75:sfr"), "SFR addresses are 80-FF");
    EXPECT_EQ(Error(" "), "a signal needs a name");
    std::vector<SignalDef> list;
    std::string error;
    EXPECT_FALSE(ParseSignalList("P1.0,,TL0", nullptr, &list, &error));
    EXPECT_EQ(error, "a signal needs a name");
}
