// Helpers for driving the simulated controller from tests: fresh state, code placement, stepping.
#pragma once

#include <cstdint>
#include <initializer_list>
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

// An input from outside the program, as the windows and the runner submit them.
inline MachineInput Input(InputKind kind, uint16_t address, uint8_t value, uint8_t extra = 0) {
    MachineInput in;
    in.kind = kind;
    in.address = address;
    in.value = value;
    in.extra = extra;
    return in;
}

}  // namespace testing_machine
