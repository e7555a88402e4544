// The settings record, its defaults and read rules, and the corvamat.ini reader and writer.
#include "Settings.h"

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "BoardFile.h"
#include "SafeFile.h"

TSettings Settings;

std::string ExecutableFolder() {
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    fs::path dir = ec ? fs::current_path(ec) : exe.parent_path();
    std::string s = dir.string();
    if (s.empty() || s.back() != '/') s += '/';
    return s;
}

std::string SettingsFilePath() { return ExecutableFolder() + "corvamat.ini"; }

bool ParseSettingNumber(const std::string& text, int64_t* value) {
    int base = 10;
    size_t i = 0;
    bool negative = false;
    if (text.size() > 2 && (text.compare(0, 2, "0x") == 0 || text.compare(0, 2, "0X") == 0)) {
        base = 16;
        i = 2;
    } else if (!text.empty() && text[0] == '$') {
        base = 16;
        i = 1;
    } else if (!text.empty() && (text[0] == '-' || text[0] == '+')) {
        negative = text[0] == '-';
        i = 1;
    }
    if (i >= text.size()) return false;
    int64_t v = 0;
    for (; i < text.size(); ++i) {
        char c = text[i];
        int d;
        if (c >= '0' && c <= '9') d = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f') d = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F') d = c - 'A' + 10;
        else return false;
        v = v * base + d;
        if (v > 0xFFFFFFFFll) return false;
    }
    // Decimal numbers are 32-bit signed; hexadecimal ones may use all 32 bits.
    if (base == 10 && v > 0x7FFFFFFFll + (negative ? 1 : 0)) return false;
    if (base == 16 && v > 0x7FFFFFFF) v -= 0x100000000ll;
    *value = negative ? -v : v;
    return true;
}

namespace {

int64_t ReadInt(const IniFile& ini, const char* section, const std::string& key, int64_t def) {
    auto text = ini.Read(section, key);
    int64_t v;
    if (!text || !ParseSettingNumber(*text, &v)) return def;
    return v;
}

bool ReadBool(const IniFile& ini, const char* section, const std::string& key, bool def) {
    return ReadInt(ini, section, key, def ? 1 : 0) != 0;
}

uint8_t Low8(int64_t v) { return uint8_t(v & 0xFF); }

}  // namespace

TSettings ReadSettings(const IniFile& ini, const std::string& workDir) {
    TSettings s;
    uint8_t p = Low8(ReadInt(ini, "Options", "Processor", 1));
    s.Processor = p > 1 ? 1 : p;
    int64_t f = ReadInt(ini, "Options", "Frequency", kDefaultFrequency);
    s.Frequency = (f < 1000000 || f > 80000000) ? kDefaultFrequency : int32_t(f);
    s.ScrUpdate = Low8(ReadInt(ini, "Options", "ScrUpdate", 1));
    s.RealTime = ReadBool(ini, "Options", "RealTime", false);
    s.WorkDir = ini.Read("Default", "WorkDir").value_or(workDir);
    if (s.WorkDir.size() > 2047) s.WorkDir.resize(2047);
    s.BinOffset = uint16_t(ReadInt(ini, "Options", "BinOffset", 0x8000) & 0xFFFF);
    s.AutoRestart = ReadBool(ini, "Options", "AutoRestart", false);
    s.DelNops = ReadBool(ini, "Options", "DelNops", true);
    s.IgnoreChecksum = ReadBool(ini, "Options", "IgnoreChecksum", false);
    // The LED display indexes eight trigger pins with Digits: anything outside 1-8 is the default.
    uint8_t d = Low8(ReadInt(ini, "LED", "Digits", 4));
    s.Digits = (d < 1 || d > 8) ? 4 : d;
    s.Trigger = ReadBool(ini, "LED", "Trigger", true);
    for (int i = 0; i < 8; ++i) {
        s.LED[i] = Low8(ReadInt(ini, "LED", "LED" + std::to_string(i), 0xA0 + i));
        s.Trig[i] = Low8(ReadInt(ini, "LED", "Trig" + std::to_string(i), 0x90 + i));
    }
    for (int i = 0; i < 9; ++i)
        s.Port[i] = Low8(ReadInt(ini, "Keys", "Port" + std::to_string(i), i < 8 ? 0x80 + i : 0xB2));
    s.UseInt = ReadBool(ini, "Keys", "UseInt", true);
    s.Persistence = ReadBool(ini, "LED", "Persistence", !ini.HasSection("LED"));
    ReadDeviceSettings(ini, &s);
    const bool optDefaults[4] = {true, true, false, false};
    for (int i = 0; i < 4; ++i)
        s.Optn[i] = ReadBool(ini, "Disassembler", "Optn" + std::to_string(i), optDefaults[i]);
    // A radix outside the three list items would give empty operands in the listing.
    uint8_t n = Low8(ReadInt(ini, "Disassembler", "Numbers", 1));
    s.Numbers = n > 2 ? 1 : n;
    uint8_t a = Low8(ReadInt(ini, "Disassembler", "Addresses", 2));
    s.Addresses = a > 2 ? 2 : a;
    const bool newUser = !ini.Read("Options", "Processor").has_value();
    s.TermText = ReadBool(ini, "Terminal", "Text", newUser);
    const uint8_t r = Low8(ReadInt(ini, "Terminal", "Return", 0));
    s.TermReturn = r > 2 ? 0 : r;
    // 1 to 10,000,000 instructions (16 bytes each); anything else is the default.
    const int64_t t = ReadInt(ini, "Options", "TraceLength", 100000);
    s.TraceLength = (t < 1 || t > 10000000) ? 100000 : int32_t(t);
    // Up to 64 GB; anything else is the default.
    const int64_t mb = ReadInt(ini, "History", "HistoryMB", 256);
    s.HistoryMB = mb < 0 || mb > 65536 ? 256 : uint32_t(mb);
    return s;
}

void WriteSettings(const TSettings& s, IniFile& ini) {
    auto num = [](int64_t v) { return std::to_string(v); };
    auto flag = [](bool b) { return std::string(b ? "1" : "0"); };
    ini.Write("Options", "Processor", num(s.Processor));
    ini.Write("Options", "Frequency", num(s.Frequency));
    ini.Write("Options", "ScrUpdate", num(s.ScrUpdate));
    ini.Write("Options", "RealTime", flag(s.RealTime));
    ini.Write("Options", "BinOffset", num(s.BinOffset));
    ini.Write("Options", "DelNops", flag(s.DelNops));
    ini.Write("Options", "AutoRestart", flag(s.AutoRestart));
    ini.Write("Options", "IgnoreChecksum", flag(s.IgnoreChecksum));
    // Written once it differs from the default, or when the file has it already.
    if (s.TraceLength != 100000 || ini.Read("Options", "TraceLength"))
        ini.Write("Options", "TraceLength", num(s.TraceLength));
    ini.Write("Default", "WorkDir", s.WorkDir);
    ini.Write("LED", "Digits", num(s.Digits));
    ini.Write("LED", "Trigger", flag(s.Trigger));
    for (int i = 0; i < 8; ++i) ini.Write("LED", "LED" + std::to_string(i), num(s.LED[i]));
    for (int i = 0; i < 8; ++i) ini.Write("LED", "Trig" + std::to_string(i), num(s.Trig[i]));
    for (int i = 0; i < 9; ++i) ini.Write("Keys", "Port" + std::to_string(i), num(s.Port[i]));
    ini.Write("Keys", "UseInt", flag(s.UseInt));
    for (int i = 0; i < 4; ++i) ini.Write("Disassembler", "Optn" + std::to_string(i), flag(s.Optn[i]));
    ini.Write("Disassembler", "Numbers", num(s.Numbers));
    ini.Write("Disassembler", "Addresses", num(s.Addresses));
    // Keys that came after the ones above go after them.
    ini.Write("LED", "Persistence", flag(s.Persistence));
    WriteDeviceSettings(s, ini);
    ini.Write("History", "HistoryMB", num(s.HistoryMB));
    ini.Write("Terminal", "Text", flag(s.TermText));
    ini.Write("Terminal", "Return", num(s.TermReturn));
}

void LoadSettingsFile(const std::string& path) {
    auto ini = IniFile::Load(path);
    Settings = ReadSettings(ini ? *ini : IniFile(), ExecutableFolder());
}

bool SaveSettingsFile(const std::string& path, std::string* error) {
    auto ini = IniFile::Load(path);
    IniFile file = ini ? *ini : IniFile();
    WriteSettings(Settings, file);
    return WriteFileSafely(path, file.Text(), error);
}

std::string FormatGeneral(double value, char decimalPoint) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.15g", value);
    std::string s = buf;
    for (char& c : s)
        if (c == '.' || c == ',') c = decimalPoint;
    return s;
}

std::string ProcessorStatusText(const TSettings& s, char decimalPoint) {
    return std::string(s.Processor == 1 ? "8052 @ " : "8051 @ ") +
           FormatGeneral(s.Frequency / 1000000.0, decimalPoint) + " Mhz";
}
