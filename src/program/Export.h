// The disassembly export: listing rows written as assembler source with generated labels.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Disassembler.h"

class SymbolTable;

struct ExportOptions {
    bool UpperCase = true;         // Optn0: label lines and lines with a label upper-cased
    bool OpcodeComment = false;    // Optn2: the instruction's bytes as a comment
    bool SpacesForTabs = false;    // Optn3
    uint8_t Numbers = 1;           // radix of DB operands (the undefined opcode A5h)
    bool UpperOperands = true;     // Optn1, for the DB operands
    // With symbols: named targets and function starts get their names as labels (written as the
    // program spells them), and the data, bit and code names the operands use without a label
    // line of their own are defined at the top (DATA, BIT, CODE).
    const SymbolTable* Symbols = nullptr;
};

ExportOptions CurrentExportOptions();

// The jump and call targets of the rows, distinct and ascending.
std::vector<uint16_t> CollectLabelTargets(const std::vector<ListingRow>& rows);
// The whole file as text, every line ended with CR LF.
std::string ExportText(const std::vector<ListingRow>& rows, const ExportOptions& options);
// Writes ExportText to `path` safely (temporary file, then rename). On failure the message names
// the file and the reason.
bool ExportListing(const std::vector<ListingRow>& rows, const ExportOptions& options,
                   const std::string& path, std::string* error);
