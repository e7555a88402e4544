// Tests of the .cdb/.map readers, the lookups and the value decoder on files SDCC wrote in the build.
#include "SdccPrograms.h"

#include <set>

namespace {

#ifdef CORVAMAT_SDCC_DIR
using namespace sdcc_programs;

// Functions, their ranges and the line records agree with the code SDCC generated.
TEST(CdbReader, FunctionsAndLinesMatchTheCode) {
    Program p("main");
    const SymbolTable& t = p.table;
    EXPECT_EQ(t.modules, (std::vector<std::string>{"main", "helper"}));
    const Function* main = t.FindFunction("main");
    const Function* square = t.FindFunction("square");
    const Function* helper = t.FindFunction("_helper");
    ASSERT_TRUE(main && square && helper);
    EXPECT_EQ(square->scope, Scope::File);
    EXPECT_EQ(helper->module, "helper");
    EXPECT_LE(main->start, main->end);
    EXPECT_GE(main->last, main->end);
    EXPECT_EQ(p.code[square->last], 0x22);  // the function's last instruction is its RET
    EXPECT_EQ(t.FunctionAt(main->start), main);
    EXPECT_EQ(t.FunctionAt(main->last), main);
    EXPECT_EQ(t.FunctionAt(square->start + 1), square);

    // "TMOD = 0x20;" starts with MOV TMOD,#20h.
    uint32_t line = SourceLine("main.c", "TMOD = 0x20;"), actual = 0;
    auto a = t.AddressOfLine("main.c", line, &actual);
    ASSERT_TRUE(a);
    EXPECT_EQ(actual, line);
    EXPECT_EQ(p.code[*a], 0x75);
    EXPECT_EQ(p.code[*a + 1u], 0x89);
    EXPECT_EQ(p.code[*a + 2u], 0x20);
    EXPECT_EQ(t.FunctionAt(*a), main);
    ASSERT_NE(t.LineAt(uint16_t(*a + 1)), nullptr);
    EXPECT_EQ(t.LineAt(uint16_t(*a + 1))->line, line);
    // A step by line from there stops at any other line's start, never inside the same line.
    auto stops = t.OtherLineStarts(uint16_t(*a + 1));
    EXPECT_EQ(std::count(stops.begin(), stops.end(), *a), 0);
    EXPECT_EQ(std::count(stops.begin(), stops.end(), *t.AddressOfLine("main.c", line + 1)), 1);
    EXPECT_EQ(std::count(stops.begin(), stops.end(), square->start), 1);
    // A line without code moves to the next that has some; the path of the file does not matter.
    uint32_t blank = SourceLine("main.c", "struct point local;");
    EXPECT_TRUE(t.AddressOfLine("some/dir/main.c", blank, &actual));
    EXPECT_GT(actual, blank);
    EXPECT_FALSE(t.AddressOfLine("other.c", 1));
    // The library's printf has no debug records; the linker map beside names it.
    auto printfLabel = std::find_if(t.labels.begin(), t.labels.end(), [](const Label& l) { return l.name == "_printf"; });
    ASSERT_NE(printfLabel, t.labels.end());
    EXPECT_EQ(t.CodeLabelAt(printfLabel->address), "_printf");
    EXPECT_EQ(t.CodeLabelAt(main->start), "_main");
    EXPECT_EQ(t.CodeLabelAt(uint16_t(main->start + 1)), "");
    EXPECT_FALSE(t.asmLines.empty());
}

// Scopes, address spaces, types and the names a dump shows.
TEST(CdbReader, SymbolsKeepScopeSpaceAndType) {
    Program p("main");
    const SymbolTable& t = p.table;
    const Function* square = t.FindFunction("square");
    ASSERT_TRUE(square);
    EXPECT_EQ(p.Sym("result").space, Space::Data);
    EXPECT_EQ(p.Sym("result").type.Text(), "int");
    EXPECT_EQ(p.Sym("counter").scope, Scope::File);
    EXPECT_EQ(p.Sym("counter").type.Text(), "unsigned char");
    EXPECT_EQ(p.Sym("hidden").module, "helper");
    EXPECT_EQ(p.Sym("square.calls").scope, Scope::Local);
    const Symbol& v = p.Sym("v", square->start);
    EXPECT_EQ(v.space, Space::Register);
    EXPECT_EQ(v.registers, (std::vector<std::string>{"r6", "r7"}));
    EXPECT_TRUE(p.Sym("r", square->start).registers.empty());
    EXPECT_EQ(t.FindSymbol("v"), nullptr);  // a local is not visible from outside its function
    EXPECT_EQ(p.Sym("table").space, Space::External);
    EXPECT_EQ(p.Sym("table").type.Text(), "int[4]");
    EXPECT_EQ(p.Sym("greeting").space, Space::CodeStatic);
    EXPECT_EQ(p.Sym("ibuf").space, Space::Idata);
    EXPECT_EQ(p.Sym("flag").space, Space::Bit);
    EXPECT_EQ(p.Sym("flag").type.Text(), "__bit");
    EXPECT_EQ(p.Sym("where").type.Text(), "unsigned char *");
    EXPECT_EQ(p.Sym("xwhere").type.Text(), "unsigned char __xdata *");
    EXPECT_EQ(p.Sym("origin").type.Text(), "struct point");
    const StructType* point = t.FindStruct("point", "main");
    ASSERT_TRUE(point);
    ASSERT_EQ(point->members.size(), 5u);
    EXPECT_EQ(point->members[2].name, "z");
    EXPECT_EQ(point->members[2].offset, 3u);
    EXPECT_EQ(point->members[4].type.links[0].bitOffset, 3);

    std::vector<std::string> names;
    for (auto& [name, sym] : t.StaticVariables()) names.push_back(name);
    for (const char* want : {"result", "counter", "hidden", "table", "square.calls", "main.sum", "ibuf", "flag"})
        EXPECT_NE(std::find(names.begin(), names.end(), want), names.end()) << want;
    for (const char* never : {"__str_0", "P1", "TI", "main", "main.i"})
        EXPECT_EQ(std::find(names.begin(), names.end(), never), names.end()) << never;

    std::string error;
    auto w = ResolveWatchName(t, "result", &error);
    ASSERT_TRUE(w);
    EXPECT_EQ(w->space, "iram");
    EXPECT_EQ(w->size, 2u);
    EXPECT_EQ(ResolveWatchName(t, "table", &error)->space, "xram");
    EXPECT_EQ(ResolveWatchName(t, "TI", &error)->space, "bit");
    EXPECT_FALSE(ResolveWatchName(t, "greeting", &error));
    EXPECT_FALSE(ResolveWatchName(t, "nosuch", &error));
    EXPECT_EQ(error, "no variable nosuch");
}

// A program of two modules as SDCC 4.2 writes it: a bool (also a member), bits in both modules,
// an extern, statics of same-named static functions and files, a structure without a tag.
TEST(CdbReader, AProgramOfTwoModules) {
    Program p("multi");
    const SymbolTable& t = p.table;
    EXPECT_TRUE(t.notes.empty());
    std::vector<std::string> names;
    for (auto& [name, sym] : t.StaticVariables()) names.push_back(name);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"ab", "anon", "b_flag", "b_other", "conf", "led_on", "ma.c:fs",
                                               "ma.c:tick.n", "mb.c:fs", "mb.c:tick.n", "ready", "shared", "tx_ready"}));
    EXPECT_EQ(p.Sym("ready").type.Text(), "bool");
    EXPECT_EQ(t.FindStruct("flags", "ma")->members[0].type.Text(), "bool");
    EXPECT_EQ(p.Sym("anon").type.Text(), "struct {\u2026}");

    // The bits' linked addresses: the functions set them with SETB.
    auto sets = [&](const char* function, const char* bit) {
        const Function* f = t.FindFunction(function);
        const Symbol& b = p.Sym(bit);
        if (!f || !b.address) return false;
        for (uint32_t a = f->start; a < f->last; ++a)
            if (p.code[a] == 0xD2 && p.code[a + 1] == *b.address) return true;
        return false;
    };
    EXPECT_TRUE(sets("other", "b_flag"));
    EXPECT_TRUE(sets("other", "b_other"));
    EXPECT_TRUE(sets("main", "led_on"));
    std::set<uint32_t> bits;
    for (const char* b : {"led_on", "tx_ready", "b_flag", "b_other"}) bits.insert(p.Sym(b).address.value_or(999));
    EXPECT_EQ(bits.size(), 4u);
    EXPECT_EQ(t.BitNameAt(uint8_t(*p.Sym("b_flag").address)), "_b_flag");

    std::string error;
    EXPECT_EQ(t.FindVariable("tick.n", &error), nullptr);
    EXPECT_EQ(error, "tick.n is ambiguous: ma.c:tick.n, mb.c:tick.n");
    const Symbol* n = t.FindVariable("mb.c:tick.n", &error);
    ASSERT_TRUE(n);
    EXPECT_EQ(n->module, "mb");
    EXPECT_EQ(t.FindVariable("mb:tick.n", &error), n);
    EXPECT_EQ(t.FindSymbol("mb.c:tick.n"), n);
    EXPECT_EQ(t.FindVariable("fs", &error), nullptr);
    EXPECT_EQ(t.FindVariable("ab", &error), &p.Sym("ab"));
    EXPECT_EQ(t.FunctionNamed("tick", &error), nullptr);
    EXPECT_EQ(error, "tick is ambiguous: ma.c:tick, mb.c:tick");
    const Function* tickB = t.FunctionNamed("mb.c:tick", &error);
    ASSERT_TRUE(tickB);
    EXPECT_EQ(t.UniqueName(*tickB), "mb.c:tick");
    EXPECT_EQ(t.UniqueName(*t.FindFunction("main")), "main");
    // The listing's names mean one thing each.
    const Function* tickA = t.FunctionNamed("ma.c:tick", &error);
    ASSERT_TRUE(tickA);
    EXPECT_EQ(t.CodeLabelAt(tickA->start), "_tick_ma");
    EXPECT_EQ(t.CodeLabelAt(tickB->start), "_tick_mb");
    EXPECT_EQ(t.DataNameAt(uint8_t(*n->address)), "_tick_n_mb");

    // Values: a bool as JSON's true and false, also as a member.
    FakeMemory m;
    m.Put(LocateSymbol(p.Sym("conf"), t, m), {1, 2});
    DecodedValue conf = DecodeSymbol(p.Sym("conf"), t, m);
    EXPECT_EQ(conf.text, "{on = true, level = 2}");
    EXPECT_EQ(conf.json, "{\"on\": true, \"level\": 2}");
    EXPECT_EQ(DecodeSymbol(p.Sym("ready"), t, m).json, "false");
}

// Each kind of value, read from the memory where the debug file says it lives.
TEST(ValueDecoder, DecodesEveryKindFromItsMemory) {
    Program p("main");
    const SymbolTable& t = p.table;
    FakeMemory m;
    auto put = [&](const Symbol& s, std::vector<uint8_t> b) { m.Put(LocateSymbol(s, t, m), std::move(b)); };
    auto text = [&](const Symbol& s) { return DecodeSymbol(s, t, m).text; };
    put(p.Sym("result"), {42, 0});
    put(p.Sym("negative"), {0xFB});
    put(p.Sym("big"), {0x00, 0x5E, 0xD0, 0xB2});
    put(p.Sym("ratio"), {0x00, 0x00, 0x90, 0x40});
    put(p.Sym("origin"), {3, 0, 0xFE, 14, 0, 0, 0, 5 | (2 << 3)});
    put(p.Sym("table"), {0, 0, 1, 0, 4, 0, 0xF7, 0xFF});
    put(p.Sym("where"), {0x2B, 0x00, 0x40});
    put(p.Sym("xwhere"), {0x03, 0x00});
    put(p.Sym("ibuf"), {1, 2, 7});
    put(p.Sym("greeting"), {'h', 'i', 0});
    EXPECT_EQ(text(p.Sym("result")), "42");
    EXPECT_EQ(text(p.Sym("negative")), "-5");
    EXPECT_EQ(text(p.Sym("big")), "3000000000");
    EXPECT_EQ(text(p.Sym("ratio")), "4.5");
    DecodedValue origin = DecodeSymbol(p.Sym("origin"), t, m);
    EXPECT_EQ(origin.text, "{x = 3, y = -2, z = 14, flags = 5, mode = 2}");
    EXPECT_EQ(origin.json, "{\"x\": 3, \"y\": -2, \"z\": 14, \"flags\": 5, \"mode\": 2}");
    ASSERT_EQ(origin.children.size(), 5u);
    EXPECT_EQ(origin.children[1].name, "y");
    EXPECT_EQ(text(p.Sym("table")), "{0, 1, 4, -9}");
    EXPECT_EQ(DecodeSymbol(p.Sym("table"), t, m).children[3].name, "[3]");
    EXPECT_EQ(text(p.Sym("where")), "0x002B (data)");
    EXPECT_EQ(text(p.Sym("xwhere")), "0x0003 (xdata)");
    EXPECT_EQ(text(p.Sym("ibuf")), "{1, 2, 7}");
    EXPECT_EQ(text(p.Sym("greeting")), "\"hi\"");
    EXPECT_EQ(DecodeSymbol(p.Sym("greeting"), t, m).json, "\"hi\"");
    const Symbol& flag = p.Sym("flag");
    ASSERT_TRUE(flag.address);  // from the module's .rst: the linker gives bits no record
    EXPECT_EQ(text(flag), "0");
    m.iram[0x20 + *flag.address / 8] |= uint8_t(1 << (*flag.address & 7));
    EXPECT_EQ(text(flag), "1");
    EXPECT_EQ(t.BitNameAt(uint8_t(*flag.address)), "_flag");
    // Registers of the bank PSW selects; a local the compiler dropped.
    const Function* square = t.FindFunction("square");
    m.sfr[0xD0] = 0x08;
    m.iram[0x08 + 6] = 0x10;
    m.iram[0x08 + 7] = 0x27;
    EXPECT_EQ(text(p.Sym("v", square->start)), "10000");
    EXPECT_EQ(text(p.Sym("r", square->start)), "<optimized out>");
    EXPECT_EQ(DecodeSymbol(p.Sym("r", square->start), t, m).json, "null");

    // Large model: globals in external RAM, a reentrant function's frame on the stack from _bp.
    Program s("stack");
    const Function* work = s.table.FindFunction("work");
    ASSERT_TRUE(work);
    EXPECT_EQ(s.Sym("total").space, Space::External);
    const Symbol& arr = s.Sym("arr", work->start);
    const Symbol& mm = s.Sym("m", work->start);
    EXPECT_TRUE(arr.onStack);
    EXPECT_LT(mm.stackOffset, 0);
    FakeMemory k;
    auto bp = std::find_if(s.table.labels.begin(), s.table.labels.end(), [](const Label& l) { return l.name == "_bp"; });
    ASSERT_NE(bp, s.table.labels.end());
    k.iram[bp->address] = 0x60;
    k.Put(LocateSymbol(mm, s.table, k), {0xA0, 0x86, 0x01, 0x00});
    EXPECT_EQ(LocateSymbol(mm, s.table, k).address, unsigned(0x60 + mm.stackOffset));
    EXPECT_EQ(DecodeSymbol(mm, s.table, k).text, "100000");

    // Types that do not add up decode as "?" instead of reading past their bytes.
    SymbolTable odd;
    ASSERT_TRUE(ReadCdbText("M:m\nS:G$a$0_0$0({0}SI:S),E,0,0\nS:G$b$0_0$0({2}DA4d,DA2d:S),E,0,0\n"
                            "T:Fm$s[({0}S:S$x$0_0$0({4}STs:S),Z,0,0)]\nS:G$c$0_0$0({4}STs:S),E,0,0\n"
                            "L:G$a$0_0$0:10\nL:G$b$0_0$0:10\nL:G$c$0_0$0:10\n", "odd.cdb", &odd).ok);
    EXPECT_EQ(DecodeSymbol(*odd.FindSymbol("a"), odd, m).text, "?");
    EXPECT_EQ(DecodeSymbol(*odd.FindSymbol("b"), odd, m).text, "{}");
    EXPECT_NE(DecodeSymbol(*odd.FindSymbol("c"), odd, m).text.find('?'), std::string::npos);

    // Editing: the bytes of a typed value, or why it does not fit.
    std::string error;
    EXPECT_EQ(*EncodeScalar(p.Sym("result").type, "-3", &error), (std::vector<uint8_t>{0xFD, 0xFF}));
    EXPECT_EQ(*EncodeScalar(p.Sym("ratio").type, "1.5", &error), (std::vector<uint8_t>{0, 0, 0xC0, 0x3F}));
    EXPECT_EQ(*EncodeScalar(p.Sym("counter").type, "0x2A", &error), (std::vector<uint8_t>{0x2A}));
    EXPECT_FALSE(EncodeScalar(p.Sym("counter").type, "300", &error));
    EXPECT_EQ(error, "300 is out of range (0 to 255)");
    EXPECT_FALSE(EncodeScalar(p.Sym("negative").type, "x", &error));
    EXPECT_FALSE(EncodeScalar(p.Sym("table").type, "1", &error));
}

// A record the reader does not understand is skipped with one note naming the file and line; the
// rest of the file is used. A file for another program is refused with one message.
TEST(CdbReader, SkipsRecordsItDoesNotUnderstand) {
    const char* broken[] = {
        "hello",
        "S:G$x$0_0$0({2}SI:S),Q,0,0",
        "S:G$x$0_0$0({2}SI:S",
        "S:Gx({2}SI:S),E,0,0",
        "S:G$x$0_0$0({2}QQ:S),E,0,0",
        "S:G$x$0_0$0({2}:S),E,0,0",
        "L:G$x$0_0$0:ZZ",
        "L:G$x$0_0$0:12345",
        "F:G$f$0_0$0({2}DF,SI:S),C,0,0",
        "T:Fm$s[({0}S:S$a$0_0$0({2}SI:S),Z,0,0]",
        "Q:unknown",
    };
    for (const char* line : broken) {
        SymbolTable t;
        std::string text = std::string("M:m\nS:G$ok$0_0$0({1}SC:U),E,0,0\n") + line +
                           "\nS:G$after$0_0$0({1}SC:U),E,0,0\nL:G$after$0_0$0:31\n";
        ReadResult r = ReadCdbText(text, "/some/dir/bad.cdb", &t);
        ASSERT_TRUE(r.ok) << line;
        ASSERT_EQ(t.notes.size(), 1u) << line;
        EXPECT_EQ(t.notes[0].rfind("bad.cdb:3: ", 0), 0u) << t.notes[0];
        EXPECT_NE(t.notes[0].find("skipped"), std::string::npos) << t.notes[0];
        ASSERT_TRUE(t.FindSymbol("after")) << line;
        EXPECT_EQ(*t.FindSymbol("after")->address, 0x31u);
    }
    SymbolTable t;
    ASSERT_TRUE(ReadCdbText("M:m\nhello\nS:G$ok$0_0$0({1}SC:U),E,0,0\nQ:x\nQ:y\n", "bad.cdb", &t).ok);
    EXPECT_EQ(t.notes, (std::vector<std::string>{"bad.cdb:2: not a record; this and 2 other records were skipped."}));
    ReadResult nothing = ReadCdbText("hello\nQ:x\n", "bad.cdb", &t);
    EXPECT_FALSE(nothing.ok);
    EXPECT_EQ(nothing.error, "bad.cdb:1: not a record; no record of the file could be used.");
    EXPECT_FALSE(ReadCdbText("", "empty.cdb", &t).ok);
    EXPECT_FALSE(ReadCdbFile(kDir + "/missing.cdb", &t).ok);

    Program p("main");
    std::string cdb = kDir + "/main.cdb", error;
    EXPECT_FALSE(LoadSymbolsFile(cdb, 0x40, &t, &error));
    EXPECT_NE(error.find("main.cdb:"), std::string::npos) << error;
    EXPECT_NE(error.find("past the end of the program"), std::string::npos) << error;
    std::vector<std::string> others = {"main", "printf_large"};
    error = CheckSymbolsMatch(p.table, p.end, &others);
    EXPECT_EQ(error, "main.cdb: module helper is not part of the program; the symbols belong to another program.");
    std::vector<std::string> modules = MapModules(ReadAll(kDir + "/main.map"));
    EXPECT_EQ(CheckSymbolsMatch(p.table, p.end, &modules), "");
    // The stack program's symbols do not fit the main program's modules.
    error.clear();
    EXPECT_FALSE(LoadSymbolsFile(kDir + "/stack.cdb", 0x30, &t, &error));
    EXPECT_NE(error.find("stack.cdb:"), std::string::npos);
}

// Without a .cdb the global labels of the linker's .map or a NoICE file still name addresses.
TEST(MapReader, GlobalLabelsFromMapAndNoi) {
    SymbolTable t;
    ASSERT_TRUE(ReadMapText(ReadAll(kDir + "/main.map"), "main.map", &t).ok);
    Program p("main");
    const Function* main = p.table.FindFunction("main");
    ASSERT_TRUE(main);
    EXPECT_EQ(t.CodeLabelAt(main->start), "_main");
    const Symbol& result = p.Sym("result");
    EXPECT_EQ(t.DataNameAt(uint8_t(*result.address)), "_result");
    EXPECT_EQ(p.table.DataNameAt(uint8_t(*result.address + 1)), "_result+1");
    EXPECT_EQ(t.DataNameAt(0x7F), "");
    for (const auto& l : t.labels) EXPECT_EQ(l.name.find('$'), std::string::npos) << l.name;
    EXPECT_FALSE(ReadMapText("just text\n", "x.map", &t).ok);

    ASSERT_TRUE(ReadNoiText("LOAD main.ihx\nDEF _main 0x97\nDEF l_CSEG 0x10\nDEF s_CSEG 0x73\n", "m.noi", &t).ok);
    EXPECT_EQ(t.CodeLabelAt(0x97), "_main");
    EXPECT_EQ(t.labels.size(), 1u);
    ReadResult bad = ReadNoiText("DEF _main\n", "m.noi", &t);
    EXPECT_EQ(bad.error, "m.noi:1: bad DEF line");
}
// An assembler program as a classroom builds it (sdas8051 -a -y, sdld's narrow map and .noi):
// labels name code addresses only (neither the equate "count = 0x30" nor the SFR names of the
// .noi), the names the narrow map cuts to nine characters come whole from the .noi, and the
// debug file's line records make the .a51 file a source file with a line for every instruction.
TEST(MapReader, AnAssemblerProgram) {
    int32_t end = -1;
    const std::vector<uint8_t> code = ReadHex(kDir + "/runlight.ihx", &end);
    SymbolTable map, noi;
    ASSERT_TRUE(ReadMapText(ReadAll(kDir + "/runlight.map"), "runlight.map", &map).ok);
    ASSERT_TRUE(ReadNoiText(ReadAll(kDir + "/runlight.noi"), "runlight.noi", &noi).ok);
    for (const SymbolTable* t : {&map, &noi}) {
        EXPECT_EQ(t->CodeLabelAt(0x0030), "start");
        EXPECT_EQ(t->DataNameAt(0x30), "");
        EXPECT_EQ(t->BitNameAt(0x08), "");
        for (const auto& l : t->labels) EXPECT_TRUE(l.code && int32_t(l.address) <= end) << l.name;
    }
    const uint32_t call = SourceLine("runlight.a51", "lcall wait_a_while");
    std::string error;
    SymbolTable t;
    ASSERT_TRUE(LoadSymbolsFile(kDir + "/runlight.noi", end, &t, &error)) << error;
    ASSERT_TRUE(LoadSymbolsFile(kDir + "/runlight.map", end, &t, &error)) << error;

    SymbolTable lines;  // the debug file alone: line records, no names
    ASSERT_TRUE(ReadCdbFile(kDir + "/runlight.cdb", &lines).ok);
    EXPECT_FALSE(lines.Empty());
    Program p("runlight");
    EXPECT_EQ(p.table.SourceFiles(), (std::vector<std::string>{"runlight.a51"}));
    auto a = p.table.AddressOfLine("runlight.a51", call);
    ASSERT_TRUE(a);
    ASSERT_EQ(code[*a], 0x12);  // LCALL
    const uint16_t routine = uint16_t(code[*a + 1u] << 8 | code[*a + 2u]);
    EXPECT_EQ(t.CodeLabelAt(routine), "wait_a_while");
    EXPECT_EQ(p.table.CodeLabelAt(routine), "wait_a_while");
    EXPECT_EQ(p.table.LineAt(*a)->line, call);
    auto stops = p.table.OtherLineStarts(*a);
    EXPECT_EQ(std::count(stops.begin(), stops.end(), *a), 0);
    EXPECT_EQ(std::count(stops.begin(), stops.end(), *a + 3), 1);
    EXPECT_EQ(std::count(stops.begin(), stops.end(), routine), 1);
}
// Writing a number into a variable: the stores for its memory and type, or why it cannot be.
TEST(ValueEncoder, StoresThatWriteAVariable) {
    using S = VariableStore;
    Program p("main");
    const SymbolTable& t = p.table;
    FakeMemory m;
    auto stores = [&](const Symbol& s, const char* text) {
        auto r = EncodeVariableValue(s, t, m, text);
        return r ? *r : std::vector<S>{};
    };
    const uint16_t result = uint16_t(*p.Sym("result").address);
    EXPECT_EQ(stores(p.Sym("result"), "-3"), (std::vector<S>{{S::Direct, result, 0xFD}, {S::Direct, uint16_t(result + 1), 0xFF}}));
    EXPECT_EQ(stores(p.Sym("ibuf"), "1"), std::vector<S>{});  // an array is no number
    EXPECT_EQ(stores(p.Sym("flag"), "1"), (std::vector<S>{{S::Bit, uint16_t(*p.Sym("flag").address), 1}}));
    EXPECT_EQ(stores(p.Sym("ratio"), "1.5").size(), 4u);
    // A register variable in the bank PSW selects now.
    const Function* square = t.FindFunction("square");
    m.sfr[0xD0] = 0x10;
    EXPECT_EQ(stores(p.Sym("v", square->start), "0x1234"), (std::vector<S>{{S::Direct, 0x16, 0x34}, {S::Direct, 0x17, 0x12}}));
    auto refused = [&](const Symbol& s, const char* text) { return EncodeVariableValue(s, t, m, text).error(); };
    EXPECT_EQ(refused(p.Sym("counter"), "300"), "300 is out of range (0 to 255)");
    EXPECT_EQ(refused(p.Sym("greeting"), "1"), "greeting lies in code memory, which a program cannot write");
    EXPECT_EQ(refused(p.Sym("r", square->start), "1"), "r is optimized out here");

    // A bit field keeps the other bits of its byte; a bool takes true and false; stack variables
    // live at _bp plus their offset.
    SymbolTable odd;
    ASSERT_TRUE(ReadCdbText("M:m\nS:G$bf$0_0$0({1}SB3$2:U),E,0,0\nS:G$ok$0_0$0({1}:S),E,0,0\n"
                            "L:G$bf$0_0$0:30\nL:G$ok$0_0$0:31\n", "odd.cdb", &odd).ok);
    m.iram[0x30] = 0xFF;
    EXPECT_EQ(*EncodeVariableValue(*odd.FindSymbol("bf"), odd, m, "1"), (std::vector<S>{{S::Direct, 0x30, 0xEF}}));
    EXPECT_EQ(*EncodeVariableValue(*odd.FindSymbol("ok"), odd, m, "true"), (std::vector<S>{{S::Direct, 0x31, 1}}));
    EXPECT_FALSE(EncodeVariableValue(*odd.FindSymbol("ok"), odd, m, "2"));
    Program s("stack");
    const Symbol& mm = s.Sym("m", s.table.FindFunction("work")->start);
    auto bp = std::find_if(s.table.labels.begin(), s.table.labels.end(), [](const Label& l) { return l.name == "_bp"; });
    m.iram[bp->address] = 0x60;
    auto onStack = EncodeVariableValue(mm, s.table, m, "1");
    ASSERT_TRUE(onStack);
    EXPECT_EQ((*onStack)[0], (S{S::Indirect, uint16_t(0x60 + mm.stackOffset), 1}));
}
#endif

}  // namespace
