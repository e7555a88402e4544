// libFuzzer target: StepInstruction over arbitrary code and state on both processors.
#include "Code.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    Processor8052 = data[0] & 1;
    InitMachineState();
    // The first bytes seed internal RAM and the special function registers, the rest is code.
    size_t i = 1;
    for (uint16_t a = 0; a < kInternalRamSize && i < size && i < 1 + (data[0] >> 1); ++a, ++i)
        InternalRam.Set(a, data[i]);
    for (size_t a = 0; i < size; ++a, ++i) CodeMemory[a & 0xFFFF] = data[i];
    MachineStateChanged();
    ProgramEnd = 0xFFFF;
    for (int n = 0; n < 2000; ++n) {
        StepInstruction(ProgramCounter);
    }
    return 0;
}
