// Tests of the resolvers of code and data targets on the programs SDCC compiled in the build.
#include "SdccPrograms.h"
#include "SignalNames.h"
#include "Targets.h"

namespace {

#ifdef CORVAMAT_SDCC_DIR
using namespace sdcc_programs;

uint16_t Code(std::string_view text, const SymbolTable* t) {
    auto r = ResolveCodeTarget(text, t);
    EXPECT_TRUE(r) << text << ": " << r.error();
    return r ? r->address : 0xFFFF;
}

std::string CodeError(std::string_view text, const SymbolTable* t) { return ResolveCodeTarget(text, t).error(); }

// Names before addresses; the three ways to write an address; FILE:LINE of C and assembler files;
// what is wrong when nothing fits.
TEST(Targets, CodeTargets) {
    Program p("multi");
    const SymbolTable* t = &p.table;
    std::string error;
    EXPECT_EQ(Code("main", t), t->FindFunction("main")->start);
    EXPECT_EQ(Code("_main", t), t->FindFunction("main")->start);
    EXPECT_EQ(Code("add", t), t->FindFunction("add")->start);  // a function, although hexadecimal
    EXPECT_EQ(Code("add", nullptr), 0x0ADD);
    EXPECT_EQ(Code("ab", t), 0x00AB);  // a variable is no code target
    EXPECT_EQ(Code("mb.c:tick", t), t->FunctionNamed("mb.c:tick", &error)->start);
    for (const char* a : {"0x1F", "1Fh", "1fH", "1F", "001F"}) EXPECT_EQ(Code(a, nullptr), 0x1F) << a;
    const uint32_t line = SourceLine("ma.c", "ab = add(0x40, 2);");
    auto there = ResolveCodeTarget("ma.c:" + std::to_string(line), t);
    ASSERT_TRUE(there);
    EXPECT_EQ(there->line, line);
    EXPECT_EQ(there->note, "");
    auto blank = ResolveCodeTarget("some/dir/ma.c:" + std::to_string(SourceLine("ma.c", "struct flags {")), t);
    ASSERT_TRUE(blank);
    EXPECT_NE(blank->note.find("has no code; the breakpoint is on line"), std::string::npos) << blank->note;

    // The assembler file SDCC generated for a module: its line records name it.
    const LineRecord& generated = t->asmLines.back();
    EXPECT_EQ(Code(generated.file + ":" + std::to_string(generated.line), t), generated.address);
    EXPECT_EQ(CodeError("tick", t), "tick is ambiguous: ma.c:tick, mb.c:tick");
    EXPECT_EQ(CodeError("nosuch.c:3", t), "the symbols have no file nosuch.c (they have ma.c, mb.c)");
    EXPECT_EQ(CodeError("ma.c:9999", t), "ma.c has no code at or after line 9999");
    EXPECT_EQ(CodeError("ma.c:4294967298", t), "line number 4294967298 is out of range");
    EXPECT_EQ(CodeError("ma.c:0", t), "line numbers start at 1");
    EXPECT_EQ(CodeError("nosuch", t), "no function or label nosuch");
    EXPECT_EQ(CodeError("10000", t), "address 10000 is out of range (0-FFFF)");
    EXPECT_NE(CodeError("main", nullptr).find("symbols"), std::string::npos);
    EXPECT_NE(CodeError("ma.c:3", nullptr).find("symbols"), std::string::npos);
    EXPECT_NE(CodeError("12 34", t), "");

    Program asm51("runlight");
    const uint32_t call = SourceLine("runlight.a51", "lcall wait_a_while");
    EXPECT_EQ(asm51.code[Code("runlight.a51:" + std::to_string(call), &asm51.table)], 0x12);
    EXPECT_EQ(Code("start", &asm51.table), 0x0030);
}

std::vector<DataBreakpoint> Data(std::string_view text, const SymbolTable* t) {
    auto r = ResolveDataTarget(text, t);
    EXPECT_TRUE(r) << text << ": " << r.error();
    return r ? *r : std::vector<DataBreakpoint>{};
}

std::string DataError(std::string_view text, const SymbolTable* t) { return ResolveDataTarget(text, t).error(); }

// A variable's bytes in its memory, an address in a space; any write, a value, or a change.
TEST(Targets, DataTargets) {
    Program p("multi");
    const SymbolTable* t = &p.table;
    auto one = [](const std::vector<DataBreakpoint>& b) { return b.size() == 1 ? b[0] : DataBreakpoint{WatchSpace::Xram, 0xFFFF}; };
    const uint16_t ab = uint16_t(*p.Sym("ab").address);
    EXPECT_EQ(one(Data("ab", t)).address, ab);
    DataBreakpoint value = one(Data("ab=05", t));
    EXPECT_EQ(value.address, ab);
    EXPECT_EQ(value.match, WatchMatch::Equals);
    EXPECT_EQ(value.value, 5);
    EXPECT_EQ(one(Data("ab", nullptr)).address, 0xAB);
    const uint16_t shared = uint16_t(*p.Sym("shared").address);
    auto changed = Data("shared:changed", t);
    ASSERT_EQ(changed.size(), 2u);
    EXPECT_EQ(changed[1].address, shared + 1);
    EXPECT_EQ(changed[1].match, WatchMatch::Changes);
    EXPECT_EQ(one(Data("shared=0x06", t)).address, shared);
    DataBreakpoint bit = one(Data("b_flag=1", t));
    EXPECT_EQ(bit.space, WatchSpace::Bit);
    EXPECT_EQ(bit.address, *p.Sym("b_flag").address);
    EXPECT_EQ(one(Data("mb.c:tick.n:changed", t)).address, *t->FindSymbol("mb.c:tick.n")->address);

    DataBreakpoint sfr = one(Data("90:sfr=02", t));
    EXPECT_EQ(sfr.space, WatchSpace::Sfr);
    EXPECT_EQ(sfr.address, 0x90);
    EXPECT_EQ(sfr.value, 2);
    DataBreakpoint xram = one(Data("0x1234:XRAM:changed", t));
    EXPECT_EQ(xram.space, WatchSpace::Xram);
    EXPECT_EQ(xram.address, 0x1234);
    EXPECT_EQ(xram.match, WatchMatch::Changes);
    EXPECT_EQ(one(Data("30h", t)).address, 0x30);
    // Given a space, the target is an address: the dialog's typed form.
    auto typed = ResolveDataTarget(DataTarget{"ab", WatchSpace::Xram, WatchMatch::Equals, "7"}, t);
    ASSERT_TRUE(typed);
    EXPECT_EQ((*typed)[0].address, 0xAB);

    EXPECT_EQ(DataError("30=", t), "no value after '='");
    EXPECT_EQ(DataError("30:port", t), "unknown space 'port' (iram, sfr, bit or xram)");
    EXPECT_EQ(DataError("30:sfr", t), "SFR addresses are 80-FF");
    EXPECT_EQ(DataError("100", t), "address 100 is out of range (0-FF)");
    EXPECT_EQ(DataError("b_flag=2", t), "a bit's value is 0 or 1");
    EXPECT_EQ(DataError("30=100", t), "the value is a hexadecimal byte (0x2A, 2Ah or 2A)");
    EXPECT_EQ(DataError("tick.n", t), "tick.n is ambiguous: ma.c:tick.n, mb.c:tick.n");
    EXPECT_EQ(DataError("nosuch", t), "no variable nosuch");
    EXPECT_NE(DataError("total", nullptr).find("symbols"), std::string::npos);
    Program main("main");
    EXPECT_EQ(DataError("greeting", &main.table), "greeting lies in code memory, which a program cannot write");
}

// Logic-analyzer signals follow variables by the names the resolvers use: a qualified static, a
// plain global, a bit; an ambiguous name says so, and ADDR:SPACE stays an address.
TEST(Targets, SignalsByUniqueNames) {
    Program p("multi");
    const SymbolTable* t = &p.table;
    std::string error;
    auto n = ParseSignalName("mb.c:tick.n", t, &error);
    ASSERT_TRUE(n) << error;
    EXPECT_EQ(n->name, "mb.c:tick.n");
    EXPECT_EQ(n->source, (SignalSource{SignalSpace::Direct, uint16_t(*t->FindSymbol("mb.c:tick.n")->address), -1, 1}));
    EXPECT_NE(n->source, ParseSignalName("ma.c:tick.n", t, &error)->source);
    auto shared = ParseSignalName("shared", t, &error);
    ASSERT_TRUE(shared) << error;
    EXPECT_EQ(shared->source.bytes, 2);
    EXPECT_EQ(ParseSignalName("b_flag", t, &error)->source.bit, int8_t(*p.Sym("b_flag").address & 7));
    EXPECT_EQ(ParseSignalName("30:iram", t, &error)->source, (SignalSource{SignalSpace::Direct, 0x30, -1, 1}));
    EXPECT_FALSE(ParseSignalName("tick.n", t, &error));
    EXPECT_EQ(error, "tick.n is ambiguous: ma.c:tick.n, mb.c:tick.n");
    std::vector<SignalDef> list;
    ASSERT_TRUE(ParseSignalList("P1.0,ma.c:fs,mb.c:fs", t, &list, &error)) << error;
    EXPECT_NE(list[1].source, list[2].source);

    const std::vector<std::string> names = SignalCatalogue(t);
    for (const char* want : {"ma.c:tick.n", "mb.c:tick.n", "mb.c:fs", "shared", "b_flag", "P1.0", "TF0"})
        EXPECT_NE(std::find(names.begin(), names.end(), want), names.end()) << want;
    EXPECT_EQ(std::find(names.begin(), names.end(), "tick.n"), names.end());
}
#endif

}  // namespace
