// libFuzzer target: inputs applied during a run and logged, then replayed from a copy of the
// machine, must rebuild exactly the same machine.
#include <vector>

#include "Code.h"
#include "Inputs.h"

namespace {

struct Log : InputObserver {
    std::vector<MachineInput> inputs;
    void InputApplied(const MachineInput& in) override { inputs.push_back(in); }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 8) return 0;
    Processor8052 = data[0] & 1;
    InitMachineState();
    ProgramEnd = 0xFFFF;
    // The first byte's upper bits say how many 6-byte inputs follow; the rest is code.
    const size_t count = data[0] >> 1;
    size_t i = 1;
    struct Planned {
        uint16_t at;  // instruction number
        MachineInput in;
    };
    std::vector<Planned> planned;
    for (size_t n = 0; n < count && i + 6 <= size; ++n, i += 6) {
        MachineInput in;
        in.kind = InputKind(data[i] % (uint8_t(InputKind::Reset) + 1));
        in.value = data[i + 1];
        in.extra = data[i + 2];
        in.address = uint16_t(data[i + 3] | data[i + 4] << 8);
        planned.push_back({uint16_t(data[i + 5] * 8), in});
    }
    for (size_t a = 0; i < size; ++a, ++i) CodeMemory[a & 0xFFFF] = data[i];
    NoteCodeChanged();
    const uint8_t line[] = {0x31, 0x32, 0x33};
    SerialLineSend(line, sizeof line);

    Log log;
    InstallInputObserver(&log);
    const MachineState start = SaveMachine();
    for (int n = 0; n < 2100; ++n) {
        for (const Planned& p : planned)
            if (p.at == n) SubmitInput(p.in);
        StepInstruction(ProgramCounter);
    }
    const MachineState first = SaveMachine();
    const std::vector<MachineInput> logged = log.inputs;

    SerialLineClear();
    RestoreMachine(start);
    size_t next = 0;
    for (int n = 0; n < 2100; ++n) {
        while (next < logged.size() && logged[next].stamp == Machine.instructions) ApplyInput(logged[next++]);
        StepInstruction(ProgramCounter);
    }
    InstallInputObserver(nullptr);
    if (!(first == SaveMachine())) __builtin_trap();
    return 0;
}
