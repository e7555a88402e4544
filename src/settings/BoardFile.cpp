// The board file reader and writer, and the device sections of corvamat.ini.
#include "BoardFile.h"

#include <algorithm>
#include <cctype>
#include <set>

#include "Pins.h"
#include "SafeFile.h"

namespace {

std::string Lower(std::string s) {
    for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// Reads the keys of one section; a wrong value is reported and leaves the key's default.
class SectionReader {
public:
    SectionReader(const IniFile& ini, std::string section, std::vector<std::string>* errors)
        : ini_(ini), section_(std::move(section)), errors_(errors) {}

    void Fail(const std::string& key, const std::string& value, const std::string& why) {
        if (errors_) errors_->push_back("[" + section_ + "] " + key + "=" + value + ": " + why);
        failed_ = true;
    }
    bool Failed() const { return failed_; }

    // A pin: "P2.0", or with `numbers` also its bit address as corvamat.ini stores it.
    void Pin(const std::string& key, uint8_t* pin, bool numbers = false, bool ground = false) {
        auto v = ini_.Read(section_, key);
        if (!v) return;
        if (auto p = ParsePinText(*v)) {
            *pin = *p;
            return;
        }
        int64_t n;
        if (numbers && ParseSettingNumber(*v, &n) && IsPortPin(int(n))) {
            *pin = uint8_t(n);
            return;
        }
        const std::string word = Lower(*v);
        if (ground && (word == "gnd" || word == "none" || word.empty())) {
            *pin = kGroundPin;
            return;
        }
        Fail(key, *v, ground ? "not a port pin (P0.0 to P3.7) or GND" : "not a port pin (P0.0 to P3.7)");
    }
    void Port(const std::string& key, int* port) {
        auto v = ini_.Read(section_, key);
        if (!v) return;
        if (auto p = ParsePortText(*v)) *port = *p;
        else Fail(key, *v, "not a port (P0 to P3)");
    }
    void Number(const std::string& key, int* value, int low, int high) {
        auto v = ini_.Read(section_, key);
        if (!v) return;
        int64_t n;
        if (ParseSettingNumber(*v, &n) && n >= low && n <= high) *value = int(n);
        else Fail(key, *v, "not a number from " + std::to_string(low) + " to " + std::to_string(high));
    }
    void Flag(const std::string& key, bool* value) {
        auto v = ini_.Read(section_, key);
        if (!v) return;
        const std::string word = Lower(*v);
        int64_t n;
        if (word == "yes" || word == "true" || word == "on") *value = true;
        else if (word == "no" || word == "false" || word == "off") *value = false;
        else if (ParseSettingNumber(*v, &n)) *value = n != 0;
        else Fail(key, *v, "not 1 or 0");
    }
    template <size_t N>
    void Pins(const std::string& key, std::array<uint8_t, N>* pins) {
        auto v = ini_.Read(section_, key);
        if (!v) return;
        std::array<uint8_t, N> read{};
        size_t count = 0, start = 0;
        bool ok = true;
        while (ok) {
            const size_t comma = v->find(',', start);
            const std::string item = v->substr(start, comma == std::string::npos ? std::string::npos : comma - start);
            auto p = ParsePinText(item);
            if (!p || count == N) ok = false;
            else read[count++] = *p;
            if (comma == std::string::npos) break;
            start = comma + 1;
        }
        if (ok && count == N) *pins = read;
        else Fail(key, *v, std::to_string(N) + " port pins separated by commas (P1.0,P1.1,...)");
    }
    std::optional<std::string> Text(const std::string& key) { return ini_.Read(section_, key); }
    bool Present() const { return ini_.HasSection(section_); }

private:
    const IniFile& ini_;
    std::string section_;
    std::vector<std::string>* errors_;
    bool failed_ = false;
};

bool Distinct(std::initializer_list<uint8_t> pins) {
    std::set<uint8_t> seen;
    for (uint8_t p : pins)
        if (p != kGroundPin && !seen.insert(p).second) return false;
    return true;
}

std::string PinList(const std::array<uint8_t, 4>& pins) {
    std::string s;
    for (uint8_t p : pins) {
        if (!s.empty()) s += ',';
        s += PinText(p);
    }
    return s;
}

// The LCD section; false when a value is wrong or the pins collide.
bool ReadLcd(const IniFile& ini, LcdWiring* out, std::vector<std::string>* errors) {
    SectionReader r(ini, "LCD", errors);
    LcdWiring w;
    r.Port("Data", &w.DataPort);
    r.Pin("RS", &w.RS);
    r.Pin("RW", &w.RW, false, true);
    r.Pin("E", &w.E);
    r.Number("Bits", &w.Bits, 4, 8);
    if (w.Bits != 4 && w.Bits != 8) {
        r.Fail("Bits", std::to_string(w.Bits), "4 or 8");
        w.Bits = 8;
    }
    r.Number("Columns", &w.Columns, 8, 40);
    r.Number("Lines", &w.Lines, 1, 4);
    if (w.Lines == 3) r.Fail("Lines", "3", "1, 2 or 4");
    if (w.Lines * w.Columns > 80)
        r.Fail("Columns", std::to_string(w.Columns), "a module shows at most 80 characters (20 columns on 4 lines)");
    if (auto c = r.Text("Color")) {
        const std::string word = Lower(*c);
        if (word == "green" || word == "blue") w.Blue = word == "blue";
        else r.Fail("Color", *c, "Green or Blue");
    }
    if (!r.Failed())
        if (std::string why = LcdWiringProblem(w); !why.empty()) r.Fail("RS", PinText(w.RS), why);
    if (!r.Failed()) *out = w;
    return !r.Failed();
}

bool ReadKeypad4x4(const IniFile& ini, Keypad4x4Wiring* out, std::vector<std::string>* errors) {
    SectionReader r(ini, "Keypad4x4", errors);
    Keypad4x4Wiring w;
    r.Pins("Rows", &w.Rows);
    r.Pins("Columns", &w.Columns);
    if (!r.Failed())
        if (std::string why = Keypad4x4WiringProblem(w); !why.empty()) r.Fail("Rows", PinList(w.Rows), why);
    if (!r.Failed()) *out = w;
    return !r.Failed();
}

bool ReadLedBar(const IniFile& ini, LedBarWiring* out, std::vector<std::string>* errors) {
    SectionReader r(ini, "LEDBar", errors);
    LedBarWiring w;
    r.Port("Port", &w.Port);
    r.Flag("ActiveLow", &w.ActiveLow);
    if (!r.Failed()) *out = w;
    return !r.Failed();
}

bool ReadSevenSegment(const IniFile& ini, SevenSegmentBoard* out, std::vector<std::string>* errors) {
    SectionReader r(ini, "LED", errors);
    SevenSegmentBoard b;
    int digits = b.Digits;
    r.Number("Digits", &digits, 1, 8);
    b.Digits = uint8_t(digits);
    r.Flag("Trigger", &b.Trigger);
    for (int i = 0; i < 8; ++i) {
        r.Pin("LED" + std::to_string(i), &b.LED[i], true);
        r.Pin("Trig" + std::to_string(i), &b.Trig[i], true);
    }
    r.Flag("Persistence", &b.Persistence);
    if (!r.Failed()) *out = b;
    return !r.Failed();
}

bool ReadKeypad4x2(const IniFile& ini, Keypad4x2Board* out, std::vector<std::string>* errors) {
    SectionReader r(ini, "Keys", errors);
    Keypad4x2Board b;
    for (int i = 0; i < 9; ++i) r.Pin("Port" + std::to_string(i), &b.Port[i], true);
    r.Flag("UseInt", &b.UseInt);
    if (!r.Failed()) *out = b;
    return !r.Failed();
}

void WriteLcd(const LcdWiring& w, IniFile& ini) {
    ini.Write("LCD", "Data", PortText(w.DataPort));
    ini.Write("LCD", "RS", PinText(w.RS));
    ini.Write("LCD", "RW", w.RW == kGroundPin ? "GND" : PinText(w.RW));
    ini.Write("LCD", "E", PinText(w.E));
    ini.Write("LCD", "Bits", std::to_string(w.Bits));
    ini.Write("LCD", "Columns", std::to_string(w.Columns));
    ini.Write("LCD", "Lines", std::to_string(w.Lines));
    ini.Write("LCD", "Color", w.Blue ? "Blue" : "Green");
}

void WriteKeypad4x4(const Keypad4x4Wiring& w, IniFile& ini) {
    ini.Write("Keypad4x4", "Rows", PinList(w.Rows));
    ini.Write("Keypad4x4", "Columns", PinList(w.Columns));
}

void WriteLedBar(const LedBarWiring& w, IniFile& ini) {
    ini.Write("LEDBar", "Port", PortText(w.Port));
    ini.Write("LEDBar", "ActiveLow", w.ActiveLow ? "1" : "0");
}

}  // namespace

std::string LcdWiringProblem(const LcdWiring& w) {
    if (!Distinct({w.RS, w.RW, w.E})) return "RS, RW and E need pins of their own";
    // The data lines the module uses: the whole port, or bits 4-7 in the 4-bit interface.
    for (uint8_t pin : {w.RS, w.RW, w.E})
        if (pin != kGroundPin && PortLevels::PortOf(pin) == w.DataPort && (w.Bits == 8 || (pin & 7) >= 4))
            return PinText(pin) + " is both a data line and RS, RW or E";
    return {};
}

std::string Keypad4x4WiringProblem(const Keypad4x4Wiring& w) {
    if (!Distinct({w.Rows[0], w.Rows[1], w.Rows[2], w.Rows[3], w.Columns[0], w.Columns[1], w.Columns[2],
                   w.Columns[3]}))
        return "the eight row and column pins must differ";
    return {};
}

bool ReadBoard(const IniFile& ini, Board* board, std::vector<std::string>* errors) {
    Board b;
    bool ok = true;
    if (ini.HasSection("LCD")) ok &= ReadLcd(ini, &b.LCD.emplace(), errors);
    if (ini.HasSection("Keypad4x4")) ok &= ReadKeypad4x4(ini, &b.Keypad4x4.emplace(), errors);
    if (ini.HasSection("LEDBar")) ok &= ReadLedBar(ini, &b.LEDBar.emplace(), errors);
    if (ini.HasSection("LED")) ok &= ReadSevenSegment(ini, &b.LED.emplace(), errors);
    if (ini.HasSection("Keys")) ok &= ReadKeypad4x2(ini, &b.Keys.emplace(), errors);
    if (ok) *board = b;
    return ok;
}

void WriteBoard(const Board& board, IniFile& ini) {
    for (const char* section : {"LCD", "Keypad4x4", "LEDBar", "LED", "Keys"}) ini.RemoveSection(section);
    if (board.LED) {
        const SevenSegmentBoard& b = *board.LED;
        ini.Write("LED", "Digits", std::to_string(b.Digits));
        ini.Write("LED", "Trigger", b.Trigger ? "1" : "0");
        for (int i = 0; i < 8; ++i) ini.Write("LED", "LED" + std::to_string(i), PinText(b.LED[i]));
        for (int i = 0; i < 8; ++i) ini.Write("LED", "Trig" + std::to_string(i), PinText(b.Trig[i]));
        ini.Write("LED", "Persistence", b.Persistence ? "1" : "0");
    }
    if (board.Keys) {
        for (int i = 0; i < 9; ++i) ini.Write("Keys", "Port" + std::to_string(i), PinText(board.Keys->Port[i]));
        ini.Write("Keys", "UseInt", board.Keys->UseInt ? "1" : "0");
    }
    if (board.LCD) WriteLcd(*board.LCD, ini);
    if (board.Keypad4x4) WriteKeypad4x4(*board.Keypad4x4, ini);
    if (board.LEDBar) WriteLedBar(*board.LEDBar, ini);
}

bool LoadBoardFile(const std::string& path, Board* board, std::string* error) {
    auto ini = IniFile::Load(path);
    if (!ini) {
        if (error) *error = "Unable to read the board file " + path;
        return false;
    }
    std::vector<std::string> errors;
    if (ReadBoard(*ini, board, &errors)) return true;
    if (error) {
        *error = "The board file " + path + " has values Corvamat cannot use:";
        for (const auto& e : errors) *error += "\n" + e;
    }
    return false;
}

bool SaveBoardFile(const std::string& path, const Board& board, std::string* error) {
    auto old = IniFile::Load(path);
    IniFile ini = old ? *old : IniFile();
    WriteBoard(board, ini);
    return WriteFileSafely(path, ini.Text(), error);
}

SevenSegmentBoard SevenSegmentOf(const TSettings& s) {
    SevenSegmentBoard b;
    b.Digits = s.Digits;
    b.Trigger = s.Trigger;
    std::copy(s.LED, s.LED + 8, b.LED);
    std::copy(s.Trig, s.Trig + 8, b.Trig);
    b.Persistence = s.Persistence;
    return b;
}

Keypad4x2Board Keypad4x2Of(const TSettings& s) {
    Keypad4x2Board b;
    std::copy(s.Port, s.Port + 9, b.Port);
    b.UseInt = s.UseInt;
    return b;
}

void ApplyBoard(const Board& board, TSettings* s) {
    if (board.LCD) s->LCD = *board.LCD;
    if (board.Keypad4x4) s->Keypad4x4 = *board.Keypad4x4;
    if (board.LEDBar) s->LEDBar = *board.LEDBar;
    if (board.LED) {
        s->Digits = board.LED->Digits;
        s->Trigger = board.LED->Trigger;
        std::copy(board.LED->LED, board.LED->LED + 8, s->LED);
        std::copy(board.LED->Trig, board.LED->Trig + 8, s->Trig);
        s->Persistence = board.LED->Persistence;
    }
    if (board.Keys) {
        std::copy(board.Keys->Port, board.Keys->Port + 9, s->Port);
        s->UseInt = board.Keys->UseInt;
    }
}

void ReadDeviceSettings(const IniFile& ini, TSettings* s) {
    // A wrong value or colliding pins leave the whole device at its defaults.
    s->LCD = LcdWiring{};
    s->Keypad4x4 = Keypad4x4Wiring{};
    s->LEDBar = LedBarWiring{};
    ReadLcd(ini, &s->LCD, nullptr);
    ReadKeypad4x4(ini, &s->Keypad4x4, nullptr);
    ReadLedBar(ini, &s->LEDBar, nullptr);
}

void WriteDeviceSettings(const TSettings& s, IniFile& ini) {
    WriteLcd(s.LCD, ini);
    WriteKeypad4x4(s.Keypad4x4, ini);
    WriteLedBar(s.LEDBar, ini);
}
