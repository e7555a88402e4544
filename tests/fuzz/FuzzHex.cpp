// libFuzzer target: the Intel HEX reader on arbitrary file contents.
#include <array>
#include <cstdio>
#include <string>
#include <unistd.h>

#include "Code.h"
#include "ProgramFiles.h"
#include "Settings.h"

namespace {
class Answers : public LoadReporter {
public:
    bool yes = false;
    void ShowError(const std::string&) override {}
    bool AskYesNo(const std::string&) override { return yes; }
};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string path = "/tmp/corvamat-fuzz-" + std::to_string(getpid()) + ".hex";
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return 0;
    std::fwrite(data, 1, size, f);
    std::fclose(f);
    Answers answers;
    answers.yes = size > 0 && (data[0] & 1);
    Settings.DelNops = size > 1 && (data[1] & 1);
    bool loaded = LoadHexFile(path, answers);
    if (loaded && (ProgramEnd < 0 || ProgramEnd > 0xFFFF)) __builtin_trap();
    static const std::array<uint8_t, 0x10000> empty{};
    if (!loaded && CodeMemory != empty) __builtin_trap();  // a refused load leaves no program
    return 0;
}
