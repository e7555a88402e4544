// Board files: the format read without regard to case, a round trip through the file,
// clear messages for wrong values, and the device sections of corvamat.ini.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "BoardFile.h"
#include "Pins.h"

namespace {

TEST(BoardFile, ReadsEverySectionAnyCaseAndRoundTrips) {
    Board b;
    std::vector<std::string> errors;
    ASSERT_TRUE(ReadBoard(IniFile("[lcd]\ndata=p2\nRS=P3.5\nrw=gnd\nE=P3.7\nBITS=4\nColumns=20\nLines=4\n"
                                  "color=blue\n"
                                  "[KEYPAD4X4]\nRows = P1.0, P1.1,P1.2,P1.3\nColumns=P0.4,P0.5,P0.6,P0.7\n"
                                  "[LEDBar]\nPort=P3\nActiveLow=0\n"
                                  "[LED]\nDigits=2\nLED0=P0.3\nTrig1=145\n"
                                  "[Keys]\nPort8=P3.3\nUseInt=no\n"),
                          &b, &errors))
        << (errors.empty() ? "" : errors[0]);
    ASSERT_TRUE(b.LCD && b.Keypad4x4 && b.LEDBar && b.LED && b.Keys);
    EXPECT_EQ(b.LCD->DataPort, 2);
    EXPECT_EQ(b.LCD->RS, 0xB5);
    EXPECT_EQ(b.LCD->RW, kGroundPin);
    EXPECT_EQ(b.LCD->Bits, 4);
    EXPECT_EQ(b.LCD->Columns, 20);
    EXPECT_TRUE(b.LCD->Blue);
    EXPECT_EQ(b.Keypad4x4->Columns[3], 0x87);
    EXPECT_EQ(b.LEDBar->Port, 3);
    EXPECT_FALSE(b.LEDBar->ActiveLow);
    EXPECT_EQ(b.LED->Digits, 2);
    EXPECT_EQ(b.LED->LED[0], 0x83);
    EXPECT_EQ(b.LED->Trig[1], 0x91);
    EXPECT_EQ(b.LED->LED[1], 0xA1) << "a missing key keeps its default";
    EXPECT_EQ(b.Keys->Port[8], 0xB3);
    EXPECT_FALSE(b.Keys->UseInt);

    // Through a file that holds a comment and a section of its own, which stay; a device the board
    // no longer has loses its section.
    namespace fs = std::filesystem;
    const fs::path path = fs::temp_directory_path() / "corvamat-board-test.board";
    std::ofstream(path) << "; exercise 3\n[LEDBar]\nPort=P0\n[Teacher]\nNote=hi\n";
    b.LEDBar.reset();
    std::string error;
    ASSERT_TRUE(SaveBoardFile(path.string(), b, &error)) << error;
    Board back;
    ASSERT_TRUE(LoadBoardFile(path.string(), &back, &error)) << error;
    EXPECT_FALSE(back.LEDBar);
    EXPECT_EQ(back.LCD, b.LCD);
    EXPECT_EQ(back.Keypad4x4, b.Keypad4x4);
    EXPECT_EQ(back.LED->LED[0], 0x83);
    EXPECT_EQ(back.Keys->Port[8], 0xB3);
    const IniFile saved = *IniFile::Load(path.string());
    EXPECT_EQ(saved.Text().rfind("; exercise 3", 0), 0u);
    EXPECT_EQ(saved.Read("Teacher", "Note"), "hi");
    fs::remove(path);

    // An empty board has no device at all; a board puts only its own devices into the settings.
    Board empty;
    ASSERT_TRUE(ReadBoard(IniFile(""), &empty, nullptr));
    EXPECT_FALSE(empty.LCD || empty.Keypad4x4 || empty.LEDBar || empty.LED || empty.Keys);
    TSettings s;
    ApplyBoard(back, &s);
    EXPECT_EQ(s.LCD.DataPort, 2);
    EXPECT_EQ(s.LEDBar, LedBarWiring{});
    EXPECT_FALSE(s.UseInt);
}

TEST(BoardFile, WrongValuesAreNamedAndNothingIsTaken) {
    Board b;
    b.LEDBar = LedBarWiring{};
    std::vector<std::string> errors;
    EXPECT_FALSE(ReadBoard(IniFile("[LCD]\nRS=P2.9\nBits=6\nData=P2\n[Keypad4x4]\nRows=P1.0,P1.1\n"
                                   "[LED]\nLED2=7\n"),
                           &b, &errors));
    ASSERT_EQ(errors.size(), 4u);
    EXPECT_EQ(errors[0], "[LCD] RS=P2.9: not a port pin (P0.0 to P3.7)");
    EXPECT_EQ(errors[1], "[LCD] Bits=6: 4 or 8");
    EXPECT_NE(errors[2].find("[Keypad4x4] Rows=P1.0,P1.1: 4 port pins"), std::string::npos);
    EXPECT_EQ(errors[3], "[LED] LED2=7: not a port pin (P0.0 to P3.7)");
    // Pins that collide: the LCD's control pins among its data lines.
    errors.clear();
    EXPECT_FALSE(ReadBoard(IniFile("[LCD]\nData=P2\n"), &b, &errors));
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0], "[LCD] RS=P2.0: P2.0 is both a data line and RS, RW or E");
    EXPECT_TRUE(b.LEDBar && !b.LCD) << "the board is left as it was";

    std::string error;
    EXPECT_FALSE(LoadBoardFile("/nonexistent/x.board", &b, &error));
    EXPECT_NE(error.find("/nonexistent/x.board"), std::string::npos);
}

TEST(BoardFile, SettingsFileSectionsAndTheDisplayModel) {
    // A new settings file takes the persistence model; one written before it keeps the edge latch.
    EXPECT_TRUE(ReadSettings(IniFile(""), "/w/").Persistence);
    EXPECT_FALSE(ReadSettings(IniFile("[LED]\nDigits=4\n"), "/w/").Persistence);
    EXPECT_TRUE(ReadSettings(IniFile("[LED]\nPersistence=1\n"), "/w/").Persistence);
    // The device sections read leniently: colliding pins give the defaults, no message.
    TSettings s = ReadSettings(IniFile("[LCD]\nData=P1\nE=P1.2\n[LEDBar]\nPort=P2\n"), "/w/");
    EXPECT_EQ(s.LCD, LcdWiring{});
    EXPECT_EQ(s.LEDBar.Port, 2);
    IniFile ini;
    WriteSettings(s, ini);
    EXPECT_EQ(ReadSettings(ini, "/w/").LEDBar.Port, 2);
}

}  // namespace
