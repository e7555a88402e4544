// libFuzzer target: the binary reader with relocation by any origin.
#include <cstdio>
#include <string>
#include <unistd.h>

#include "Code.h"
#include "ProgramFiles.h"
#include "Settings.h"

namespace {
class Quiet : public LoadReporter {
public:
    void ShowError(const std::string&) override {}
    bool AskYesNo(const std::string&) override { return false; }
};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    static const std::string path = "/tmp/corvamat-fuzz-" + std::to_string(getpid()) + ".bin";
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return 0;
    // Images of any length up to past 64 KB: the input is repeated to a length chosen by it.
    const size_t length = (size_t(data[0]) << 9) | (size_t(data[1]) << 1);
    for (size_t written = 0; written < length;) {
        size_t n = std::min(size - 2, length - written);
        if (n == 0) break;
        std::fwrite(data + 2, 1, n, f);
        written += n;
    }
    std::fclose(f);
    Settings.BinOffset = uint16_t(data[0] << 8 | data[1]);
    Quiet quiet;
    LoadBinaryFile(path, quiet);
    return 0;
}
