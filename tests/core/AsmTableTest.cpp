// The instruction table against an independent transcription of the 8051 opcode map.
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "Code.h"

namespace {

// Lengths and machine cycles of the published opcode map, one string per high nibble.
const char* const kLengths[16] = {
    "1231121111111111", "3231121111111111", "3211221111111111", "3211221111111111",
    "2223221111111111", "2223221111111111", "2223221111111111", "2221232222222222",
    "2221132222222222", "3221221111111111", "2221122222222222", "2221333333333333",
    "2221121111111111", "2221131122222222", "1211121111111111", "1211121111111111"};
const char* const kCycles[16] = {
    "1221111111111111", "2221111111111111", "2221111111111111", "2221111111111111",
    "2212111111111111", "2212111111111111", "2212111111111111", "2222121111111111",
    "2222422222222222", "2222111111111111", "2212422222222222", "2211222222222222",
    "2211111111111111", "2211121122222222", "2222111111111111", "2222111111111111"};

int OperandBytes(std::string_view tmpl) {
    auto space = tmpl.find(' ');
    if (space == std::string_view::npos) return 0;
    std::stringstream ss{std::string(tmpl.substr(space + 1))};
    std::string word;
    int n = 0;
    while (std::getline(ss, word, ',')) {
        if (word == "#data16" || word == "addr16") n += 2;
        else if (word == "direct" || word == "#data" || word == "bit" || word == "/bit" ||
                 word == "rel" || word == "addr11")
            n += 1;
    }
    return n;
}

TEST(AsmTable, LengthsAndCyclesMatchTheOpcodeMap) {
    for (int op = 0; op < 256; ++op) {
        SCOPED_TRACE(op);
        EXPECT_EQ(AsmTable[op].Length, kLengths[op >> 4][op & 15] - '0');
        EXPECT_EQ(AsmTable[op].Cycles, kCycles[op >> 4][op & 15] - '0');
    }
}

TEST(AsmTable, EveryRowIsWellFormedAndItsOperandsFillItsLength) {
    int fourCycleRows = 0;
    for (int op = 0; op < 256; ++op) {
        SCOPED_TRACE(op);
        const TAsmData& row = AsmTable[op];
        ASSERT_FALSE(row.Template.empty());
        EXPECT_EQ(row.Template.find("  "), std::string_view::npos);
        EXPECT_EQ(OperandBytes(row.Template), row.Length - 1);
        fourCycleRows += row.Cycles == 4;
    }
    EXPECT_EQ(fourCycleRows, 2);
}

TEST(AsmTable, NamedRows) {
    EXPECT_EQ(AsmTable[0xA5].Template, "DB direct");
    EXPECT_EQ(AsmTable[0x84].Template, "DIV AB");
    EXPECT_EQ(AsmTable[0xA4].Template, "MUL AB");
    EXPECT_EQ(AsmTable[0x85].Template, "MOV direct,direct");
    EXPECT_EQ(AsmTable[0x0F].Template, "INC R7");
    EXPECT_EQ(AsmTable[0x7C].Template, "MOV R4,#data");
    EXPECT_EQ(AsmTable[0xBF].Template, "CJNE R7,#data,rel");
    EXPECT_EQ(AsmTable[0xD7].Template, "XCHD A,@R1");
    EXPECT_EQ(AsmTable[0xE3].Template, "MOVX A,@R1");
    EXPECT_EQ(AsmTable[0x83].Template, "MOVC A,@A+PC");
    EXPECT_EQ(AsmTable[0x73].Template, "JMP @A+DPTR");
    EXPECT_EQ(AsmTable[0xB0].Template, "ANL C,/bit");
    for (int op = 0x01; op < 256; op += 0x20) {
        EXPECT_EQ(AsmTable[op].Template, "AJMP addr11");
        EXPECT_EQ(AsmTable[op + 0x10].Template, "ACALL addr11");
    }
}

}  // namespace
