// Fixtures of the symbol tests: the SDCC programs the build compiled, their code memory, and a
// memory the value decoder reads from.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <fstream>
#include <sstream>

#include "Symbols.h"
#include "ValueDecoder.h"

#ifdef CORVAMAT_SDCC_DIR
namespace sdcc_programs {

inline const std::string kDir = CORVAMAT_SDCC_DIR;

inline std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// The line of `file` in tests/symbols/c that contains `marker`.
inline uint32_t SourceLine(const std::string& file, const std::string& marker) {
    std::istringstream in(ReadAll(std::string(CORVAMAT_SDCC_SOURCES) + "/" + file));
    std::string line;
    for (uint32_t n = 1; std::getline(in, line); ++n)
        if (line.find(marker) != std::string::npos) return n;
    ADD_FAILURE() << marker << " not in " << file;
    return 0;
}

// Code memory from an Intel HEX file, and its last address.
inline std::vector<uint8_t> ReadHex(const std::string& path, int32_t* end) {
    std::vector<uint8_t> code(0x10000, 0);
    *end = -1;
    std::istringstream in(ReadAll(path));
    std::string line;
    while (std::getline(in, line)) {
        if (line.size() < 11 || line[0] != ':' || line.substr(7, 2) != "00") continue;
        unsigned n = std::stoul(line.substr(1, 2), nullptr, 16);
        unsigned a = std::stoul(line.substr(3, 4), nullptr, 16);
        for (unsigned i = 0; i < n; ++i) code[a + i] = uint8_t(std::stoul(line.substr(9 + 2 * i, 2), nullptr, 16));
        if (n) *end = std::max<int32_t>(*end, int32_t(a + n - 1));
    }
    return code;
}

class FakeMemory : public TargetMemory {
public:
    std::array<uint8_t, 256> iram{};
    std::array<uint8_t, 256> sfr{};
    std::vector<uint8_t> xram = std::vector<uint8_t>(0x10000, 0);
    std::vector<uint8_t> code = std::vector<uint8_t>(0x10000, 0);
    uint8_t Data(uint8_t a) override { return a < 0x80 ? iram[a] : sfr[a]; }
    uint8_t Idata(uint8_t a) override { return iram[a]; }
    uint8_t Xdata(uint16_t a) override { return xram[a]; }
    uint8_t Code(uint16_t a) override { return code[a]; }
    void Put(const ValueLocation& l, std::vector<uint8_t> bytes) {
        for (size_t i = 0; i < bytes.size(); ++i) {
            if (l.kind == ValueLocation::Xdata) xram[l.address + i] = bytes[i];
            else if (l.kind == ValueLocation::Code) code[l.address + i] = bytes[i];
            else if (l.kind == ValueLocation::Registers) iram[(sfr[0xD0] & 0x18) + l.registers[i]] = bytes[i];
            else iram[(l.address + i) & 0xFF] = bytes[i];
        }
    }
};

struct Program {
    SymbolTable table;
    std::vector<uint8_t> code;
    int32_t end = -1;
    explicit Program(const std::string& name) {
        code = ReadHex(kDir + "/" + name + ".ihx", &end);
        std::string error;
        EXPECT_TRUE(LoadSymbolsBeside(kDir + "/" + name + ".ihx", end, &table, &error)) << error;
    }
    const Symbol& Sym(const std::string& name, std::optional<uint16_t> pc = {}) {
        const Symbol* s = table.FindSymbol(name, pc);
        EXPECT_NE(s, nullptr) << name;
        static Symbol none;
        return s ? *s : none;
    }
};

}  // namespace sdcc_programs
#endif
