// libFuzzer target: the binary reader with relocation by any origin.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>
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
    // Images of any length up to past 64 KB: the input is repeated to a length chosen by it.
    const size_t length = size > 2 ? (size_t(data[0]) << 9) | (size_t(data[1]) << 1) : 0;
    static std::vector<uint8_t> image;
    image.resize(length);
    // Doubling copies: a few calls however long the image, so the work stays in the loader.
    if (length > 0) std::memcpy(image.data(), data + 2, std::min(length, size - 2));
    for (size_t done = std::min(length, size - 2); done < length; done *= 2)
        std::memcpy(image.data() + done, image.data(), std::min(done, length - done));
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return 0;
    std::fwrite(image.data(), 1, image.size(), f);
    std::fclose(f);
    Settings.BinOffset = uint16_t(data[0] << 8 | data[1]);
    Quiet quiet;
    LoadBinaryFile(path, quiet);
    return 0;
}
