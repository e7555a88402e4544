// Intel HEX and binary readers: record rules, messages, checksum questions, relocation, and
// broken files that must never crash or leave a half-loaded program.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "Code.h"
#include "Debugger.h"
#include "ProgramFiles.h"
#include "Settings.h"
#include "TempFiles.h"

namespace {

class Reporter : public LoadReporter {
public:
    std::vector<std::string> errors, questions;
    bool answer = false;
    void ShowError(const std::string& m) override { errors.push_back(m); }
    bool AskYesNo(const std::string& q) override {
        questions.push_back(q);
        return answer;
    }
};

class Loader : public ::testing::Test {
protected:
    void SetUp() override {
        Settings = TSettings();
        CodeMemory.fill(0xEE);
        RemoveCodeBreakpoints();
        AddCodeBreakpoint(0x10);
        InterruptLevelStack.Set(0, 1);
        ProgramEnd = 1234;
    }
    bool LoadHex(const std::string& text, const std::string& name = "p.hex") {
        return LoadProgramFile(dir.Write(name, text), rep);
    }
    void ExpectEmptyProgram() {
        for (uint32_t a = 0; a < 0x10000; ++a) ASSERT_EQ(CodeMemory[a], 0) << a;
        EXPECT_EQ(BreakpointTable[0x10], 0);
        EXPECT_EQ(InterruptLevelStack[0], 0);
    }
    TempDir dir;
    Reporter rep;
};

TEST_F(Loader, EndOfFileRecordOnly) {
    EXPECT_TRUE(LoadHex(":00000001FF\n"));
    EXPECT_EQ(ProgramEnd, 0);
    ExpectEmptyProgram();
    EXPECT_TRUE(rep.errors.empty());
}

TEST_F(Loader, DataRecordsChecksumsAndCase) {
    // 03 bytes at 0100h: 75 89 20; sum = 03+01+00+00+75+89+20 = 0x122 -> checksum DE.
    EXPECT_TRUE(LoadHex(":03010000758920DE\r\n:0201030080fe7c\r\n:00000001FF\r\n"));
    EXPECT_TRUE(rep.questions.empty());
    EXPECT_EQ(CodeMemory[0x100], 0x75);
    EXPECT_EQ(CodeMemory[0x104], 0xFE);
    EXPECT_EQ(CodeMemory[0x105], 0x00);
    EXPECT_EQ(ProgramEnd, 0x104);
    EXPECT_EQ(LoadedProgramEnd, 0x104);
}

TEST_F(Loader, ChecksumZeroAndOtherRecordTypes) {
    // Byte sum 0x100: checksum 00 accepted. Type 04 with data changes nothing.
    EXPECT_TRUE(LoadHex(":01000000FF00\n:020000040001F9\n:02000002ABCD84\n"));
    EXPECT_TRUE(rep.questions.empty());
    EXPECT_EQ(CodeMemory[0], 0xFF);
    EXPECT_EQ(CodeMemory[1], 0x00);
}

TEST_F(Loader, ChecksumQuestionPerBadRecord) {
    rep.answer = true;
    EXPECT_TRUE(LoadHex(":0100000011AA\n:0100010022BB\n"));
    ASSERT_EQ(rep.questions.size(), 2u);
    EXPECT_EQ(rep.questions[0], "Checksum error in line 1 ($AA / $EE). Continue?");
    EXPECT_EQ(rep.questions[1], "Checksum error in line 2 ($BB / $DC). Continue?");
    EXPECT_EQ(CodeMemory[1], 0x22);

    rep = Reporter();
    rep.answer = false;
    EXPECT_FALSE(LoadHex(":0100000011EE\n:0100010022bb\n"));
    ASSERT_EQ(rep.questions.size(), 1u);
    EXPECT_EQ(rep.questions[0], "Checksum error in line 2 ($bb / $DC). Continue?");
    EXPECT_TRUE(rep.errors.empty());
    ExpectEmptyProgram();

    rep = Reporter();
    Settings.IgnoreChecksum = true;
    EXPECT_TRUE(LoadHex(":0100000011AA\n"));
    EXPECT_TRUE(rep.questions.empty());
}

TEST_F(Loader, FormatErrorsNameTheLine) {
    EXPECT_FALSE(LoadHex(":00000001FF\nthis is no record\n"));
    ASSERT_EQ(rep.errors.size(), 1u);
    EXPECT_EQ(rep.errors[0], "Invalid file format (line 2).");
    ExpectEmptyProgram();
    rep = Reporter();
    EXPECT_FALSE(LoadHex(":0100000011EE\n\n:00000001FF\n"));  // an empty line
    EXPECT_EQ(rep.errors.at(0), "Invalid file format (line 2).");
}

TEST_F(Loader, LineEndsAndTheEndOfFileCharacter) {
    EXPECT_TRUE(LoadHex(":0100000011EE\r junk after CR\n:00000001FF"));
    EXPECT_EQ(CodeMemory[0], 0x11);
    EXPECT_TRUE(LoadHex(":0100000011EE\n\x1A garbage after the end\n"));
    EXPECT_EQ(CodeMemory[0], 0x11);
}

TEST_F(Loader, FieldsThatAreNoNumbers) {
    EXPECT_FALSE(LoadHex(":01000000G1EE\n"));
    EXPECT_EQ(rep.errors.at(0), "'$G1' is not a valid integer value (line 1)");
    ExpectEmptyProgram();
    rep = Reporter();
    EXPECT_FALSE(LoadHex(":0100000011EE\n:00000001FF\n:1001000011\n"));  // cut short
    EXPECT_EQ(rep.errors.at(0), "'$' is not a valid integer value (line 3)");
    rep = Reporter();
    EXPECT_FALSE(LoadHex(":0Z00000011EE\n"));
    EXPECT_EQ(rep.errors.at(0), "'$0Z' is not a valid integer value (line 1)");
    rep = Reporter();
    EXPECT_FALSE(LoadHex(":01000000112\n"));
    EXPECT_EQ(rep.errors.at(0), "'$2' is not a valid integer value (line 1)");
}

TEST_F(Loader, HighAddressesAndDelNops) {
    std::string line = ":02800000AABB";
    unsigned sum = 0x02 + 0x80 + 0xAA + 0xBB;
    char cs[3];
    std::snprintf(cs, sizeof cs, "%02X", (0x100 - (sum & 0xFF)) & 0xFF);
    EXPECT_TRUE(LoadHex(line + cs + "\n"));
    EXPECT_TRUE(rep.questions.empty());
    EXPECT_EQ(ProgramEnd, 0x8001);
    Settings.DelNops = false;
    EXPECT_TRUE(LoadHex(line + cs + "\n"));
    EXPECT_EQ(ProgramEnd, 0xFFFF);
    EXPECT_EQ(LoadedProgramEnd, 0x8001);
}

TEST_F(Loader, RecordPastFFFFhDropsTheRest) {
    // Four bytes at FFFEh: the last two would lie beyond code memory.
    unsigned sum = 0x04 + 0xFF + 0xFE + 0x11 + 0x22 + 0x33 + 0x44;
    char cs[3];
    std::snprintf(cs, sizeof cs, "%02X", (0x100 - (sum & 0xFF)) & 0xFF);
    EXPECT_TRUE(LoadHex(std::string(":04FFFE0011223344") + cs + "\n"));
    EXPECT_EQ(CodeMemory[0xFFFE], 0x11);
    EXPECT_EQ(CodeMemory[0xFFFF], 0x22);
    EXPECT_EQ(CodeMemory[0x0000], 0x00);
    EXPECT_EQ(ProgramEnd, 0xFFFF);
    EXPECT_EQ(LastLoadSummary.DroppedBytes, 2u);
    EXPECT_TRUE(LoadHex(":0100000011EE\n"));
    EXPECT_EQ(LastLoadSummary.DroppedBytes, 0u);
}

TEST_F(Loader, ExtensionsAndMissingFiles) {
    EXPECT_TRUE(LoadHex(":0100000011EE\n", "sdcc.ihx"));
    EXPECT_TRUE(LoadHex(":0100000011EE\n", "UPPER.Hex"));
    EXPECT_FALSE(LoadHex(":0100000011EE\n", "notes.txt"));
    ASSERT_EQ(rep.errors.size(), 1u);  // another extension is refused with a reason
    EXPECT_NE(rep.errors[0].find("notes.txt: not a .hex, .ihx or .bin file"), std::string::npos);
    rep = Reporter();
    EXPECT_FALSE(LoadProgramFile(dir.File("missing.hex"), rep));
    ASSERT_EQ(rep.errors.size(), 1u);
    EXPECT_NE(rep.errors[0].find("missing.hex"), std::string::npos);
    ExpectEmptyProgram();
    // A folder is no file, whatever its name, and the message says so.
    for (const char* name : {"folder.bin", "folder.hex", "folder"}) {
        rep = Reporter();
        std::filesystem::create_directory(dir.File(name));
        EXPECT_FALSE(LoadProgramFile(dir.File(name), rep));
        ASSERT_EQ(rep.errors.size(), 1u);
        EXPECT_NE(rep.errors[0].find(name), std::string::npos);
        EXPECT_NE(rep.errors[0].find("Is a directory"), std::string::npos) << rep.errors[0];
    }
}

TEST_F(Loader, BrokenFilesNeverCrash) {
    std::mt19937 rng(7);
    std::string random(200000, '\0');
    for (char& c : random) c = char(rng());
    EXPECT_FALSE(LoadHex(random));
    EXPECT_TRUE(LoadHex(""));  // an empty file has no records: one NOP at 0000h
    EXPECT_EQ(ProgramEnd, 0);
    rep = Reporter();
    std::string big;
    for (int i = 0; i < 400000; ++i) big += ":0100000011EE\r\n";
    EXPECT_TRUE(LoadHex(big));
    EXPECT_GE(big.size(), 6000000u);
    EXPECT_EQ(CodeMemory[0], 0x11);
}

TEST_F(Loader, BinaryImages) {
    Settings.BinOffset = 0;
    EXPECT_TRUE(LoadProgramFile(dir.Write("p.bin", std::string(10, '\x04')), rep));
    EXPECT_EQ(ProgramEnd, 9);
    EXPECT_EQ(LoadedProgramEnd, 9);
    EXPECT_EQ(BreakpointTable[0x10], 0);
    EXPECT_TRUE(LoadProgramFile(dir.Write("e.BIN", ""), rep));
    EXPECT_EQ(ProgramEnd, -1);
    std::string big(70000, '\0');
    big[65535] = '\x12';
    big[65536] = '\x34';
    EXPECT_TRUE(LoadProgramFile(dir.Write("big.bin", big), rep));
    EXPECT_EQ(ProgramEnd, 0xFFFF);
    EXPECT_EQ(CodeMemory[0xFFFF], 0x12);
    EXPECT_EQ(LastLoadSummary.DroppedBytes, 70000u - 65536u);
    EXPECT_FALSE(LastLoadSummary.Relocated);
    EXPECT_TRUE(LoadProgramFile(dir.Write("full.bin", std::string(65536, '\0')), rep));
    EXPECT_EQ(LastLoadSummary.DroppedBytes, 0u);
}

TEST_F(Loader, RelocationByBinOffset) {
    Settings.BinOffset = 0x8000;
    EXPECT_TRUE(LoadProgramFile(dir.Write("r.bin", std::string("\x02\x81\x23\x01\x23\x12\x80\x00", 8)), rep));
    EXPECT_EQ(CodeMemory[0], 0x02);
    EXPECT_EQ(CodeMemory[1], 0x01);
    EXPECT_EQ(CodeMemory[2], 0x23);
    EXPECT_EQ(CodeMemory[3], 0x01);
    EXPECT_EQ(CodeMemory[4], 0x23);
    EXPECT_EQ(CodeMemory[6], 0x00);
    EXPECT_EQ(CodeMemory[7], 0x00);
    // The LJMP and the LCALL moved; the AJMP field stays (8000h is a multiple of 2048).
    EXPECT_TRUE(LastLoadSummary.Relocated);
    EXPECT_EQ(LastLoadSummary.Offset, 0x8000);
    EXPECT_EQ(LastLoadSummary.MovedTargets, 2u);
    Settings.BinOffset = 0x0100;
    EXPECT_TRUE(LoadProgramFile(dir.Write("r.bin", std::string("\x21\x50\x31\x00", 4)), rep));
    EXPECT_EQ(CodeMemory[0], 0x01);
    EXPECT_EQ(CodeMemory[1], 0x50);
    EXPECT_EQ(CodeMemory[2], 0x11);  // ACALL field 100h becomes 000h
    EXPECT_EQ(CodeMemory[3], 0x00);
}

TEST_F(Loader, RelocationNearTheEndStaysInsideCodeMemory) {
    CodeMemory.fill(0);
    CodeMemory[0xFFFE] = 0x02;  // an LJMP whose last operand byte would be at 10000h
    CodeMemory[0xFFFF] = 0x12;
    RelocateCode(0x8000);
    EXPECT_EQ(CodeMemory[0xFFFF], 0x12);
}

}  // namespace
