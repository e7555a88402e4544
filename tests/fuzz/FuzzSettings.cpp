// libFuzzer target: reading and rewriting settings files.
#include <string>

#include "IniFile.h"
#include "Settings.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    IniFile ini(std::string(reinterpret_cast<const char*>(data), size));
    TSettings s = ReadSettings(ini, "/x/");
    if (s.Digits < 1 || s.Digits > 8 || s.Numbers > 2 || s.Addresses > 2 || s.Processor > 1) __builtin_trap();
    WriteSettings(s, ini);
    // What was written reads back the same.
    TSettings again = ReadSettings(IniFile(ini.Text()), "/x/");
    if (again.Frequency != s.Frequency || again.BinOffset != s.BinOffset || again.Digits != s.Digits)
        __builtin_trap();
    return 0;
}
