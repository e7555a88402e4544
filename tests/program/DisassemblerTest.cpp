// The listing: operand names and radixes, casing, targets, rows and the row map.
#include <gtest/gtest.h>

#include <initializer_list>

#include "Code.h"
#include "Disassembler.h"
#include "Settings.h"

namespace {

std::string Text(std::initializer_list<uint8_t> bytes, uint16_t at = 0x0200,
                 ListingFormat f = ListingFormat()) {
    uint16_t a = at;
    for (uint8_t b : bytes) CodeMemory[a++] = b;
    return DisassembleAt(at, f).Text;
}

TEST(Listing, ExamplesWithDefaultSettings) {
    CodeMemory.fill(0);
    EXPECT_EQ(Text({0x75, 0x89, 0x20}), "MOV TMOD,#32");
    EXPECT_EQ(Text({0x85, 0x30, 0x90}), "MOV P1,30h");
    EXPECT_EQ(Text({0x20, 0xE7, 0x05}, 0x0100), "JB ACC.7,0108h");
    EXPECT_EQ(Text({0x80, 0xFE}, 0x0010), "SJMP 0010h");
    EXPECT_EQ(Text({0x80, 0x00}, 0x0020), "SJMP 0022h");
    EXPECT_EQ(Text({0x90, 0x12, 0x34}), "MOV DPTR,#4660");
    EXPECT_EQ(Text({0x01, 0x23}), "AJMP 0023h");
    EXPECT_EQ(Text({0x31, 0x45}), "ACALL 0145h");
    EXPECT_EQ(Text({0xD2, 0x00}), "SETB 00h");
    EXPECT_EQ(Text({0xE5, 0x40}), "MOV A,40h");
    EXPECT_EQ(Text({0xC0, 0xE0}), "PUSH ACC");
    EXPECT_EQ(Text({0xA5, 0xE0}), "DB ACC");
    EXPECT_EQ(Text({0xB5, 0x88, 0x10}, 0x0100), "CJNE A,TCON,0113h");
    EXPECT_EQ(Text({0x43, 0xA8, 0x82}), "ORL IE,#130");
    EXPECT_EQ(Text({0xB0, 0xD2}), "ANL C,/D2h");
    EXPECT_EQ(Text({0xA2, 0xD5}), "MOV C,F0");
    EXPECT_EQ(Text({0x12, 0xAB, 0xCD}), "LCALL ABCDh");
    EXPECT_EQ(Text({0xD5, 0x30, 0xFD}, 0x0100), "DJNZ 30h,0100h");
    EXPECT_EQ(Text({0x73}), "JMP @A+DPTR");
}

TEST(Listing, AbsoluteTargetsKeepThePageOfTheNextInstruction) {
    CodeMemory.fill(0);
    EXPECT_EQ(Text({0x21, 0x23}, 0x0800), "AJMP 0923h");
    EXPECT_EQ(Text({0x01, 0x10}, 0x07FE), "AJMP 0810h");
}

TEST(Listing, RelativeTargetsWrap) {
    CodeMemory.fill(0);
    EXPECT_EQ(Text({0x80, 0x80}, 0x0000), "SJMP FF82h");
    EXPECT_EQ(Text({0x80, 0x7F}, 0xFFF0), "SJMP 0071h");
}

TEST(Listing, RadixesAndCasing) {
    CodeMemory.fill(0);
    ListingFormat f;
    f.Addresses = 1;
    EXPECT_EQ(Text({0xE5, 0x40}, 0x200, f), "MOV A,64");
    EXPECT_EQ(Text({0x85, 0x30, 0x90}, 0x200, f), "MOV P1,30h");
    EXPECT_EQ(Text({0xD2, 0x00}, 0x200, f), "SETB 00h");
    f = ListingFormat();
    f.Numbers = 0;
    EXPECT_EQ(Text({0x74, 0x12}, 0x200, f), "MOV A,#00010010b");
    EXPECT_EQ(Text({0x90, 0x12, 0x34}, 0x200, f), "MOV DPTR,#0001001000110100b");
    f.Numbers = 2;
    EXPECT_EQ(Text({0x74, 0xF0}, 0x200, f), "MOV A,#F0h");
    EXPECT_EQ(Text({0x90, 0x12, 0x34}, 0x200, f), "MOV DPTR,#1234h");
    f = ListingFormat();
    f.UpperMnemonics = false;
    EXPECT_EQ(Text({0x75, 0x89, 0x20}, 0x200, f), "mov TMOD,#32");
    f = ListingFormat();
    f.UpperOperands = false;
    EXPECT_EQ(Text({0x75, 0x89, 0x20}, 0x200, f), "MOV tmod,#32");
    f.UpperMnemonics = false;
    EXPECT_EQ(Text({0x02, 0x00, 0xF0}, 0x200, f), "ljmp 00f0h");
    f = ListingFormat();
    f.Numbers = 7;
    EXPECT_EQ(Text({0x74, 0x12}, 0x200, f), "MOV A,#");
}

TEST(Listing, RowsBytesAndRowMap) {
    CodeMemory.fill(0);
    CodeMemory[0] = 0x75;
    CodeMemory[1] = 0x89;
    CodeMemory[2] = 0x20;
    CodeMemory[3] = 0x02;  // LJMP whose operands lie past the program end
    ProgramEnd = 3;
    BuildListing(ListingFormat());
    ASSERT_EQ(Listing.size(), 2u);
    EXPECT_EQ(Listing[0].Address, "0000");
    EXPECT_EQ(Listing[0].Bytes, "75 89 20");
    EXPECT_EQ(Listing[1].Address, "0003");
    EXPECT_EQ(Listing[1].Text, "LJMP 0000h");
    EXPECT_EQ(Listing[1].Bytes, "02 00 00");
    EXPECT_EQ(ListingRowMap[3], 1);
    EXPECT_EQ(ListingRowMap[1], kNoListingRow);  // inside the first instruction
    EXPECT_EQ(ListingRowMap[4], kNoListingRow);  // past the listing

    ProgramEnd = -1;
    BuildListing(ListingFormat());
    EXPECT_TRUE(Listing.empty());

    ProgramEnd = 0;
    CodeMemory[0] = 0;
    BuildListing(ListingFormat());
    ASSERT_EQ(Listing.size(), 1u);
    EXPECT_EQ(Listing[0].Text, "NOP");
    EXPECT_EQ(Listing[0].Bytes, "00");
}

TEST(Listing, WholeCodeMemoryAndTheLastInstruction) {
    CodeMemory.fill(0);
    CodeMemory[0xFFFF] = 0x02;  // LJMP at FFFFh: its operands read as 00h
    ProgramEnd = 0xFFFF;
    BuildListing(ListingFormat());
    ASSERT_EQ(Listing.size(), 0x10000u);
    EXPECT_EQ(Listing.back().Text, "LJMP 0000h");
    EXPECT_EQ(Listing.back().Bytes, "02 00 00");
    EXPECT_EQ(ListingRowMap[0xFFFF], 0xFFFF);
}

TEST(Listing, NameTables) {
    int sfr = 0, bits = 0;
    for (int i = 0; i < 256; ++i) {
        sfr += !SfrNames[i].empty();
        bits += !BitNames[i].empty();
    }
    EXPECT_EQ(sfr, 26);
    EXPECT_EQ(bits, 32 + 8 + 8 + 7 + 6 + 8 + 6 + 8 + 8);
    EXPECT_EQ(BitNames[0xB2], "P3.2");
    EXPECT_EQ(BitNames[0xC8], "CP/RL2");
    EXPECT_TRUE(BitNames[0xAE].empty());
    EXPECT_EQ(SfrNames[0xCB], "RCAP2H");
}

}  // namespace
