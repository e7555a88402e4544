// The settings record and corvamat.ini: defaults, read rules, key order, unknown keys kept,
// safe replacement, and the status text.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <thread>

#include "SafeFile.h"
#include "Settings.h"

namespace {

TSettings FromText(const std::string& text) { return ReadSettings(IniFile(text), "/work/"); }

TEST(SettingsRead, DefaultsWithoutAFile) {
    TSettings s = FromText("");
    EXPECT_EQ(s.Processor, 1);
    EXPECT_EQ(s.Frequency, 11059200);
    EXPECT_EQ(s.ScrUpdate, 1);
    EXPECT_EQ(s.WorkDir, "/work/");
    EXPECT_EQ(s.BinOffset, 0x8000);
    EXPECT_FALSE(s.AutoRestart);
    EXPECT_FALSE(s.RealTime);
    EXPECT_TRUE(s.DelNops);
    EXPECT_EQ(s.LED[7], 0xA7);
    EXPECT_EQ(s.Trig[0], 0x90);
    EXPECT_EQ(s.Port[8], 0xB2);
    EXPECT_TRUE(s.Optn[0]);
    EXPECT_FALSE(s.Optn[3]);
    EXPECT_EQ(s.Numbers, 1);
    EXPECT_EQ(s.Addresses, 2);
    EXPECT_EQ(ProcessorStatusText(s), "8052 @ 11.0592 Mhz");
}

TEST(SettingsRead, NumbersRangesAndLowBits) {
    EXPECT_EQ(FromText("[Options]\nFrequency=500000\n").Frequency, 11059200);
    EXPECT_EQ(FromText("[Options]\nFrequency=80000001\n").Frequency, 11059200);
    EXPECT_EQ(FromText("[Options]\nFrequency=80000000\n").Frequency, 80000000);
    EXPECT_EQ(FromText("[Options]\nProcessor=2\n").Processor, 1);
    EXPECT_EQ(FromText("[Options]\nProcessor=256\n").Processor, 0);
    EXPECT_EQ(FromText("[Options]\nBinOffset=0x1F40\n").BinOffset, 0x1F40);
    EXPECT_EQ(FromText("[Options]\nBinOffset=$1f40\n").BinOffset, 0x1F40);
    EXPECT_EQ(FromText("[Options]\nBinOffset=0x\n").BinOffset, 0x8000);
    EXPECT_EQ(FromText("[Options]\nBinOffset=70000\n").BinOffset, 70000 & 0xFFFF);
    EXPECT_EQ(FromText("[Options]\nScrUpdate=300\n").ScrUpdate, 300 & 0xFF);
    EXPECT_TRUE(FromText("[Options]\nDelNops=true\n").DelNops);
    EXPECT_FALSE(FromText("[Options]\nDelNops=0\n").DelNops);
    EXPECT_TRUE(FromText("[Options]\nRealTime=1\n").RealTime);
    EXPECT_TRUE(FromText("[options]\nautorestart=5\n").AutoRestart);
    EXPECT_EQ(FromText("[Options]\nFrequency=12abc\n").Frequency, 11059200);
    EXPECT_EQ(FromText("[LED]\nLED3=0x1B2\n").LED[3], 0xB2);
}

TEST(SettingsRead, OutOfRangeValuesReadAsDefaults) {
    EXPECT_EQ(FromText("[LED]\nDigits=0\n").Digits, 4);
    EXPECT_EQ(FromText("[LED]\nDigits=9\n").Digits, 4);
    EXPECT_EQ(FromText("[LED]\nDigits=8\n").Digits, 8);
    EXPECT_EQ(FromText("[Disassembler]\nNumbers=3\n").Numbers, 1);
    EXPECT_EQ(FromText("[Disassembler]\nAddresses=9\n").Addresses, 2);
    EXPECT_EQ(FromText("[Disassembler]\nAddresses=0\n").Addresses, 0);
    EXPECT_EQ(FromText("[History]\nHistoryMB=0\n").HistoryMB, 0u);
    EXPECT_EQ(FromText("[History]\nHistoryMB=-5\n").HistoryMB, 256u);
}

TEST(SettingsWrite, NewFileHasTheSectionsAndKeysInOrder) {
    IniFile ini;
    TSettings s;
    s.WorkDir = "/home/u/";
    WriteSettings(s, ini);
    EXPECT_EQ(ini.Text(),
              "[Options]\r\nProcessor=1\r\nFrequency=11059200\r\nScrUpdate=1\r\nRealTime=0\r\n"
              "BinOffset=32768\r\n"
              "DelNops=1\r\nAutoRestart=0\r\nIgnoreChecksum=0\r\n"
              "[Default]\r\nWorkDir=/home/u/\r\n"
              "[LED]\r\nDigits=4\r\nTrigger=1\r\nLED0=160\r\nLED1=161\r\nLED2=162\r\nLED3=163\r\n"
              "LED4=164\r\nLED5=165\r\nLED6=166\r\nLED7=167\r\nTrig0=144\r\nTrig1=145\r\n"
              "Trig2=146\r\nTrig3=147\r\nTrig4=148\r\nTrig5=149\r\nTrig6=150\r\nTrig7=151\r\n"
              "Persistence=1\r\n"
              "[Keys]\r\nPort0=128\r\nPort1=129\r\nPort2=130\r\nPort3=131\r\nPort4=132\r\n"
              "Port5=133\r\nPort6=134\r\nPort7=135\r\nPort8=178\r\nUseInt=1\r\n"
              "[Disassembler]\r\nOptn0=1\r\nOptn1=1\r\nOptn2=0\r\nOptn3=0\r\nNumbers=1\r\n"
              "Addresses=2\r\n"
              "[LCD]\r\nData=P0\r\nRS=P2.0\r\nRW=P2.1\r\nE=P2.2\r\nBits=8\r\nColumns=16\r\nLines=2\r\n"
              "Color=Green\r\n"
              "[Keypad4x4]\r\nRows=P1.0,P1.1,P1.2,P1.3\r\nColumns=P1.4,P1.5,P1.6,P1.7\r\n"
              "[LEDBar]\r\nPort=P1\r\nActiveLow=1\r\n[History]\r\nHistoryMB=256\r\n"
              "[Terminal]\r\nText=1\r\nReturn=0\r\n");
}

// The terminal's text view is the first one for new users; a settings file written before it
// existed is an older user's, who keeps the dump in front.
TEST(SettingsRead, TerminalViewForNewAndOlderUsers) {
    EXPECT_TRUE(FromText("").TermText);
    EXPECT_FALSE(FromText("[Options]\nProcessor=1\n").TermText);
    EXPECT_TRUE(FromText("[Options]\nProcessor=1\n[Terminal]\nText=1\n").TermText);
    EXPECT_EQ(FromText("[Terminal]\nReturn=2\n").TermReturn, 2);
    EXPECT_EQ(FromText("[Terminal]\nReturn=3\n").TermReturn, 0);
}

TEST(SettingsWrite, UnknownKeysAndSectionsStayInPlace) {
    IniFile ini("; my comment\n[Mine]\nX=1\n\n[Options]\nFrequency=12000000\nColour=red\n\n"
                "[Other]\nY=2\n");
    TSettings s = ReadSettings(ini, "/w/");
    EXPECT_EQ(s.Frequency, 12000000);
    s.Processor = 0;
    WriteSettings(s, ini);
    std::string t = ini.Text();
    EXPECT_EQ(t.find("; my comment\r\n[Mine]\r\nX=1\r\n\r\n[Options]\r\nFrequency=12000000\r\n"
                     "Colour=red\r\nProcessor=0\r\n"),
              0u);
    EXPECT_NE(t.find("IgnoreChecksum=0\r\n\r\n[Other]\r\nY=2\r\n[Default]"), std::string::npos);
    EXPECT_EQ(ProcessorStatusText(s), "8051 @ 12 Mhz");
}

TEST(SettingsFile, RoundTripAndFailedWrites) {
    namespace fs = std::filesystem;
    fs::path dir = fs::temp_directory_path() / "corvamat-settings-test";
    fs::remove_all(dir);
    fs::create_directories(dir);
    std::string path = (dir / "corvamat.ini").string();
    std::ofstream(path) << "[Extra]\nKeep=me\n";
    Settings = TSettings();
    Settings.Frequency = 24000000;
    Settings.Optn[2] = true;
    ASSERT_TRUE(SaveSettingsFile(path));
    Settings = TSettings();
    LoadSettingsFile(path);
    EXPECT_EQ(Settings.Frequency, 24000000);
    EXPECT_TRUE(Settings.Optn[2]);
    EXPECT_EQ(IniFile::Load(path)->Read("Extra", "Keep"), "me");
    EXPECT_FALSE(fs::exists(path + ".tmp~"));

    std::string error;
    EXPECT_FALSE(SaveSettingsFile((dir / "missing" / "corvamat.ini").string(), &error));
    EXPECT_FALSE(error.empty());
    LoadSettingsFile((dir / "missing" / "corvamat.ini").string());
    EXPECT_EQ(Settings.Frequency, 11059200);
    fs::remove_all(dir);
}

// Only regular files are replaced: a link keeps pointing at its file, a device or FIFO is written
// directly, and a failed write says why.
TEST(SettingsFile, SafeWritesReplaceOnlyRegularFiles) {
    namespace fs = std::filesystem;
    fs::path dir = fs::temp_directory_path() / "corvamat-safefile-test";
    fs::remove_all(dir);
    fs::create_directories(dir);
    const std::string file = (dir / "a.ini").string(), link = (dir / "link.ini").string();
    std::ofstream(file) << "old";
    fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write);
    fs::create_symlink(file, link);
    std::string error;
    ASSERT_TRUE(WriteFileSafely(link, "new", &error)) << error;
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(fs::status(file).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
    std::string text;
    std::getline(std::ifstream(file), text);
    EXPECT_EQ(text, "new");

    const std::string fifo = (dir / "fifo").string();
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::string received;
    std::thread reader([&] { std::getline(std::ifstream(fifo), received); });
    const bool written = WriteFileSafely(fifo, "through the pipe", &error);
    if (!written) std::ofstream{fifo};  // lets the reader go
    reader.join();
    EXPECT_TRUE(written) << error;
    EXPECT_EQ(received, "through the pipe");
    EXPECT_TRUE(fs::is_fifo(fifo));

    EXPECT_TRUE(WriteFileSafely("/dev/null", "x", &error));
    EXPECT_TRUE(fs::is_character_file("/dev/null"));
    if (fs::exists("/dev/full")) {
        EXPECT_FALSE(WriteFileSafely("/dev/full", "x", &error));
        EXPECT_EQ(error, std::strerror(ENOSPC));
        EXPECT_TRUE(fs::is_character_file("/dev/full"));
    }
    EXPECT_FALSE(WriteFileSafely(dir.string(), "x", &error));
    EXPECT_EQ(error, std::strerror(EISDIR));
    fs::remove_all(dir);
}

TEST(StatusText, GeneralNumberFormat) {
    EXPECT_EQ(FormatGeneral(11.0592), "11.0592");
    EXPECT_EQ(FormatGeneral(12.0), "12");
    EXPECT_EQ(FormatGeneral(1.234567), "1.234567");
    EXPECT_EQ(FormatGeneral(1.5, ','), "1,5");
    EXPECT_EQ(FormatGeneral(80.0), "80");
}

}  // namespace
