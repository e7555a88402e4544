// The symbols of the loaded program (from its .cdb, .map or .noi), and the machine's memories as
// the value decoder reads them.
#pragma once

#include <string>

#include "Symbols.h"
#include "ValueDecoder.h"

// The loaded program's symbols; empty when it has none.
extern SymbolTable ProgramSymbols;
// &ProgramSymbols when it holds anything, else nullptr (the listing then has no names).
const SymbolTable* ActiveProgramSymbols();
void ForgetProgramSymbols();

// Reads the symbols beside `programPath` into ProgramSymbols (forgetting the previous ones).
// Returns false with a message when a file is there but does not fit or cannot be read; false
// with an empty message when there is none.
bool LoadProgramSymbolsBeside(const std::string& programPath, std::string* error);
// Reads a chosen .cdb/.map/.noi for the program at `programPath` into ProgramSymbols; on failure
// the previous symbols stay.
bool LoadProgramSymbolsFile(const std::string& path, const std::string& programPath, std::string* error);

// Plain reads of the controller's memories: nothing a read does changes the machine.
class MachineMemory : public TargetMemory {
public:
    uint8_t Data(uint8_t address) override;
    uint8_t Idata(uint8_t address) override;
    uint8_t Xdata(uint16_t address) override;
    uint8_t Code(uint16_t address) override;
};

// Makes the stores that write a variable (EncodeVariableValue) as inputs from the user: through the
// input queue, so that they take effect between two instructions and history records them.
void SubmitVariableStores(const std::vector<VariableStore>& stores);

// Every global and static variable with its value, as one JSON object ("{}" without symbols):
// {"result": 42, "origin": {"x": 3, ...}, ...}. `indent` starts every line after the first.
std::string VariablesJson(const SymbolTable& table, TargetMemory& memory, const std::string& indent);
