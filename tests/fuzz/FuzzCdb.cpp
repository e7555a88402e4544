// libFuzzer target: the .cdb, .map and .noi readers, the lookups, the decoder and the encoder over
// arbitrary text.
#include <algorithm>
#include <array>
#include <string_view>

#include "Symbols.h"
#include "ValueDecoder.h"

namespace {

class NoiseMemory : public TargetMemory {
public:
    explicit NoiseMemory(std::string_view bytes) : bytes_(bytes) {}
    uint8_t Data(uint8_t a) override { return At(a); }
    uint8_t Idata(uint8_t a) override { return At(a + 7u); }
    uint8_t Xdata(uint16_t a) override { return At(a + 13u); }
    uint8_t Code(uint16_t a) override { return At(a + 29u); }

private:
    uint8_t At(unsigned a) const { return bytes_.empty() ? 0 : uint8_t(bytes_[a % bytes_.size()]); }
    std::string_view bytes_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The first kilobyte: enough for every kind of record, while the readers, which use every
    // record they understand, keep the work per input small.
    std::string_view text(reinterpret_cast<const char*>(data), std::min<size_t>(size, 1024));
    SymbolTable t;
    if (ReadCdbText(text, "fuzz.cdb", &t).ok) {
        NoiseMemory memory(text);
        std::string error;
        for (const auto& [name, s] : t.StaticVariables()) {
            (void)DecodeSymbol(*s, t, memory);
            (void)EncodeVariableValue(*s, t, memory, "1");
            (void)t.FindVariable(name, &error);
        }
        for (const auto& f : t.functions) (void)t.FunctionNamed(t.UniqueName(f), &error);
        for (const auto& f : t.functions)
            for (const Symbol* s : t.LocalsOf(f)) (void)DecodeSymbol(*s, t, memory);
        for (unsigned a = 0; a < 0x10000; a += 97) {
            (void)t.FunctionAt(uint16_t(a));
            (void)t.LineAt(uint16_t(a));
            (void)t.DataNameAt(uint8_t(a));
        }
        (void)CheckSymbolsMatch(t, 0x100, nullptr);
    }
    SymbolTable m;
    (void)ReadMapText(text, "fuzz.map", &m);
    (void)MapModules(text);
    (void)ReadNoiText(text, "fuzz.noi", &m);
    return 0;
}
