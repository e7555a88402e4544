// Helpers for driving the simulated controller from tests: fresh state, code placement, stepping.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <random>
#include <vector>

#include "Code.h"
#include "Inputs.h"

namespace testing_machine {

inline void Fresh(bool is8052 = true) {
    InstallStoreRefreshHooks(nullptr);
    InstallSerialOutputHook(nullptr);
    Processor8052 = is8052 ? 1 : 0;
    InitMachineState();
    ProgramEnd = 0xFFFF;
}

inline void Place(uint16_t at, std::initializer_list<uint8_t> bytes) {
    for (uint8_t b : bytes) CodeMemory[at++] = b;
}

inline void Step(int n = 1) {
    for (int i = 0; i < n; ++i) StepInstruction(ProgramCounter);
}

// Places one instruction at `at`, points the program counter at it and executes it.
inline void Exec(std::initializer_list<uint8_t> bytes, uint16_t at = 0x0100) {
    Place(at, bytes);
    ProgramCounter = at;
    Step();
}

inline void Set(uint16_t address, uint8_t v) { WriteDirectUser(address, v); }
inline uint8_t Get(uint16_t index) { return InternalRam[index]; }
inline uint8_t Acc() { return InternalRam[Sfr::ACC]; }
inline int Cy() { return InternalRam[Sfr::PSW] >> 7; }
inline int Ac() { return (InternalRam[Sfr::PSW] >> 6) & 1; }
inline int Ov() { return (InternalRam[Sfr::PSW] >> 2) & 1; }
inline int Parity() { return InternalRam[Sfr::PSW] & 1; }

struct StoreRecord {
    uint16_t address;
    uint8_t value;
    bool worker;
};

// Records every refresh request the store routines make.
class RecordingHooks : public StoreRefreshHooks {
public:
    std::vector<StoreRecord> direct, external;
    void DirectStored(uint16_t a, uint8_t v, uint8_t, bool w) override { direct.push_back({a, v, w}); }
    void ExternalStored(uint16_t a, uint8_t v, bool w) override { external.push_back({a, v, w}); }
    int CountFor(uint16_t a) const {
        int n = 0;
        for (auto& r : direct) n += r.address == a;
        return n;
    }
};

class RecordingSerial : public SerialOutputHook {
public:
    std::vector<uint8_t> bytes;
    void ByteSent(uint8_t v) override { bytes.push_back(v); }
};

// Random code memory (from `seed`) entered through a start-up that runs every timer, the serial
// port and all interrupts before it jumps into the random bytes at 0200h; with `retiVectors`
// each interrupt vector counts in 7Fh and returns.
inline void RandomTimedProgram(unsigned seed, bool retiVectors) {
    Fresh(true);
    std::mt19937 random(seed);
    for (uint32_t a = 0; a < 0x10000; ++a) CodeMemory[a] = uint8_t(random());
    Place(0x0000, {0x02, 0x01, 0x00});  // LJMP 0100h
    if (retiVectors)
        for (uint16_t v : {0x03, 0x0B, 0x13, 0x1B, 0x23, 0x2B}) Place(v, {0x05, 0x7F, 0x32});  // INC 7Fh; RETI
    Place(0x0100, {0x75, 0x89, 0x21,    // MOV TMOD,#21h
                   0x75, 0x8D, 0xFD,    // MOV TH1,#FDh
                   0x75, 0x98, 0x50,    // MOV SCON,#50h
                   0x75, 0x88, 0x55,    // MOV TCON,#55h (TR1, TR0, IT1, IT0)
                   0x75, 0xA8, 0x9F,    // MOV IE,#9Fh
                   0x02, 0x02, 0x00});  // LJMP 0200h
    NoteCodeChanged();
}

// An input from outside the program, as the windows and the runner submit them.
inline MachineInput Input(InputKind kind, uint16_t address, uint8_t value, uint8_t extra = 0) {
    return MakeInput(kind, address, value, extra);
}

}  // namespace testing_machine
