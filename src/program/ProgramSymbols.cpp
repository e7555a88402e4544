// The loaded program's symbols and the decoder's view of the controller's memories.
#include "ProgramSymbols.h"

#include "Code.h"
#include "Inputs.h"
#include "ProgramFiles.h"

SymbolTable ProgramSymbols;

const SymbolTable* ActiveProgramSymbols() { return ProgramSymbols.Empty() ? nullptr : &ProgramSymbols; }

void ForgetProgramSymbols() { ProgramSymbols = SymbolTable(); }

bool LoadProgramSymbolsBeside(const std::string& programPath, std::string* error) {
    ForgetProgramSymbols();
    SymbolTable t;
    if (!LoadSymbolsBeside(programPath, LoadedProgramEnd, &t, error)) return false;
    ProgramSymbols = std::move(t);
    return true;
}

bool LoadProgramSymbolsFile(const std::string& path, const std::string& programPath, std::string* error) {
    SymbolTable t;
    if (!LoadSymbolsFile(path, LoadedProgramEnd, &t, error, programPath)) return false;
    ProgramSymbols = std::move(t);
    return true;
}

uint8_t MachineMemory::Data(uint8_t address) { return InternalRam[address]; }
uint8_t MachineMemory::Idata(uint8_t address) { return InternalRam[IndirectIndex(address)]; }
uint8_t MachineMemory::Xdata(uint16_t address) { return ExternalRam[address]; }
uint8_t MachineMemory::Code(uint16_t address) { return CodeMemory[address]; }

std::string VariablesJson(const SymbolTable& table, TargetMemory& memory, const std::string& indent) {
    std::string out = "{";
    bool first = true;
    for (const auto& [name, symbol] : table.StaticVariables()) {
        DecodedValue v = DecodeSymbol(*symbol, table, memory);
        out += first ? "\n" : ",\n";
        out += indent + "  \"" + name + "\": " + v.json;
        first = false;
    }
    out += first ? "}" : "\n" + indent + "}";
    return out;
}

void SubmitVariableStores(const std::vector<VariableStore>& stores) {
    for (const VariableStore& s : stores) {
        switch (s.kind) {
            case VariableStore::Direct: SubmitInput(MakeInput(InputKind::DirectByte, s.address & 0xFF, s.value)); break;
            case VariableStore::Indirect: SubmitInput(MakeInput(InputKind::IndirectByte, s.address & 0xFF, s.value)); break;
            case VariableStore::External: SubmitInput(MakeInput(InputKind::ExternalByte, s.address, s.value)); break;
            case VariableStore::Bit: SubmitInput(MakeInput(InputKind::DirectBit, s.address & 0xFF, s.value ? 1 : 0)); break;
        }
    }
}
