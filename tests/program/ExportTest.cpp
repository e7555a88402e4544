// The export: labels, columns with tabs or blanks, the opcode comment and CR LF line ends.
#include <gtest/gtest.h>

#include "Code.h"
#include "Disassembler.h"
#include "Export.h"
#include "Symbols.h"
#include "TempFiles.h"

namespace {

std::vector<ListingRow> ListingOf(std::initializer_list<uint8_t> bytes, ListingFormat f = {}) {
    CodeMemory.fill(0);
    uint16_t a = 0;
    for (uint8_t b : bytes) CodeMemory[a++] = b;
    ProgramEnd = int32_t(a) - 1;
    BuildListing(f);
    return Listing;
}

TEST(Export, TabsLabelsAndComments) {
    auto rows = ListingOf({0x75, 0x89, 0x20, 0x80, 0xFE});
    ExportOptions o;
    EXPECT_EQ(ExportText(rows, o), "\tMOV\tTMOD,#32\r\nLABEL1:\r\n\tSJMP\tLABEL1\r\n");
    o.OpcodeComment = true;
    EXPECT_EQ(ExportText(rows, o),
              "\tMOV\tTMOD,#32\t\t;75 89 20\r\nLABEL1:\r\n\tSJMP\tLABEL1\t\t\t;80 FE\r\n");
    o.SpacesForTabs = true;
    EXPECT_EQ(ExportText(rows, o),
              "        MOV     TMOD,#32                ;75 89 20\r\n"
              "LABEL1:\r\n"
              "        SJMP    LABEL1                  ;80 FE\r\n");
}

TEST(Export, LinesWithoutOperands) {
    auto rows = ListingOf({0x00});
    ExportOptions o;
    EXPECT_EQ(ExportText(rows, o), "\tNOP\t\r\n");
    o.SpacesForTabs = true;
    EXPECT_EQ(ExportText(rows, o), "        NOP\r\n");
    o.OpcodeComment = true;
    EXPECT_EQ(ExportText(rows, o), "        NOP                             ;00\r\n");
}

TEST(Export, LabelNumbersFollowTheSortedTargets) {
    // 0000: SJMP 0004h; 0002: SJMP 0000h; 0004: SJMP 0000h; 0006: LJMP 0003h (inside a row)
    auto rows = ListingOf({0x80, 0x02, 0x80, 0xFC, 0x80, 0xFA, 0x02, 0x00, 0x03});
    std::vector<uint16_t> targets = CollectLabelTargets(rows);
    EXPECT_EQ(targets, (std::vector<uint16_t>{0x0000, 0x0003, 0x0004}));
    ExportOptions o;
    o.UpperCase = false;
    EXPECT_EQ(ExportText(rows, o),
              "label1:\r\n\tSJMP\tlabel3\r\n\tSJMP\tlabel1\r\n"
              "label3:\r\n\tSJMP\tlabel1\r\n\tLJMP\t0003h\r\n");
}

TEST(Export, UpperCasingOnlyWhereALabelWasPlaced) {
    ListingFormat f;
    f.UpperOperands = false;
    // 0000: JB ACC.7,0005h; 0003: MOV A,#0Fh style line; 0005: NOP
    auto rows = ListingOf({0x20, 0xE7, 0x02, 0xE5, 0x8A, 0x00}, f);
    EXPECT_EQ(rows[0].Text, "JB acc.7,0005h");
    ExportOptions o;
    EXPECT_EQ(ExportText(rows, o), "\tJB\tACC.7,LABEL1\r\n\tMOV\ta,tl0\r\nLABEL1:\r\n\tNOP\t\r\n");
}

TEST(Export, UndefinedOpcodeKeepsBothBytes) {
    auto rows = ListingOf({0xA5, 0xE0});
    EXPECT_EQ(rows[0].Text, "DB ACC");
    ExportOptions o;
    EXPECT_EQ(ExportText(rows, o), "\tDB\t165,224\r\n");
    o.Numbers = 2;
    EXPECT_EQ(ExportText(rows, o), "\tDB\tA5h,E0h\r\n");
}

TEST(Export, LongOperandsTakeTheCommentDirectly) {
    auto rows = ListingOf({0x90, 0x12, 0x34});
    rows[0].Text = "MOV DPTR,#00010010001101000000000000000000b";
    ExportOptions o;
    o.OpcodeComment = true;
    o.SpacesForTabs = true;
    EXPECT_EQ(ExportText(rows, o),
              "        MOV     DPTR,#00010010001101000000000000000000b;90 12 34\r\n");
    o.SpacesForTabs = false;
    EXPECT_EQ(ExportText(rows, o), "\tMOV\tDPTR,#00010010001101000000000000000000b;90 12 34\r\n");
}

// With symbols: names in operands whatever the casing options, a name per labelled row (in a
// fourth field of the listing), names as export labels and definitions for the data names.
TEST(Export, ListingAndExportWithSymbols) {
    SymbolTable t;
    t.labels = {{"_Start", 0x0000, true, false}, {"_Loop", 0x0005, true, false},
                {"_rxdata", 0x30, false, false}, {"_ticks", 0x32, false, false}};
    t.Finish();
    ListingFormat f;
    f.Symbols = &t;
    f.UpperOperands = false;
    // 0000: MOV 30h,#5 (data template after a direct one); 0003: SJMP 0005h; 0005: LCALL 0000h;
    // 0008: MOV 33h,A (a byte inside no variable); 000A: SJMP 0003h (no name there)
    auto rows = ListingOf({0x75, 0x30, 0x05, 0x80, 0x00, 0x12, 0x00, 0x00, 0xF5, 0x33, 0x80, 0xF7}, f);
    ASSERT_EQ(rows.size(), 5u);
    EXPECT_EQ(rows[0].Text, "MOV _rxdata,#5");
    EXPECT_EQ(rows[0].Label, "_Start");
    EXPECT_EQ(rows[1].Text, "SJMP _Loop");
    EXPECT_EQ(rows[1].Label, "");
    EXPECT_EQ(rows[2].Text, "LCALL _Start");
    EXPECT_EQ(rows[3].Text, "MOV 33h,a");
    EXPECT_EQ(rows[4].Text, "SJMP 0003h");
    EXPECT_EQ(DisassembleAt(0x20, f).Label, "");

    ExportOptions o;
    o.Symbols = &t;
    EXPECT_EQ(ExportText(rows, o),
              "_rxdata\tDATA\t30h\r\n"
              "_Start:\r\n\tMOV\t_rxdata,#5\r\n"
              "LABEL2:\r\n\tSJMP\t_Loop\r\n"
              "_Loop:\r\n\tLCALL\t_Start\r\n"
              "\tMOV\t33h,a\r\n"
              "\tSJMP\tLABEL2\r\n");
    // The same rows without symbols export as they always did.
    EXPECT_EQ(ExportText(ListingOf({0x75, 0x30, 0x05, 0x80, 0x00, 0x12, 0x00, 0x00, 0xF5, 0x33, 0x80, 0xF7}),
                         ExportOptions()),
              "LABEL1:\r\n\tMOV\t30h,#5\r\n"
              "LABEL2:\r\n\tSJMP\tLABEL3\r\n"
              "LABEL3:\r\n\tLCALL\tLABEL1\r\n"
              "\tMOV\t33h,A\r\n"
              "\tSJMP\tLABEL2\r\n");
    // A line whose target became a label is upper-cased, the program's names in it are not.
    t.labels.push_back({"_led_on", 0x01, false, false, true});
    t.Finish();
    auto jnb = ListingOf({0x00, 0x30, 0x01, 0xFD}, f);  // NOP; JNB 01h to itself
    EXPECT_EQ(jnb[1].Text, "JNB _led_on,0001h");
    EXPECT_NE(ExportText(jnb, o).find("_Start:\r\n\tNOP\t\r\nLABEL1:\r\n\tJNB\t_led_on,LABEL1\r\n"), std::string::npos)
        << ExportText(jnb, o);
}

TEST(Export, WritesSafelyAndReportsFailure) {
    TempDir dir;
    auto rows = ListingOf({0x00});
    std::string error;
    EXPECT_TRUE(ExportListing(rows, ExportOptions(), dir.File("out.asm"), &error));
    EXPECT_EQ(dir.Read("out.asm"), "\tNOP\t\r\n");
    std::string bad = dir.File("no-such-folder/out.asm");
    EXPECT_FALSE(ExportListing(rows, ExportOptions(), bad, &error));
    EXPECT_NE(error.find(bad), std::string::npos);
}

}  // namespace
