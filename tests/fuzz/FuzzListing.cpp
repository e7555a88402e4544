// libFuzzer target: the listing and the export over arbitrary code and options. Each input
// lists a region of its own choosing, a few hundred rows at most, so that the sanitizers spend
// their time on many inputs rather than on 65,536 rows of zeros.
#include <algorithm>
#include <cstring>

#include "Code.h"
#include "Disassembler.h"
#include "Export.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4) return 0;
    ListingFormat f;
    f.UpperMnemonics = data[0] & 1;
    f.UpperOperands = data[0] & 2;
    f.Numbers = (data[0] >> 2) & 3;
    f.Addresses = (data[0] >> 4) & 3;
    ExportOptions o;
    o.UpperCase = data[1] & 1;
    o.OpcodeComment = data[1] & 2;
    o.SpacesForTabs = data[1] & 4;
    o.Numbers = (data[1] >> 3) & 3;
    // The code goes to the address the input names, the end of memory included, where operands
    // run past FFFFh.
    const uint16_t at = uint16_t(data[2] << 8 | data[3]);
    const size_t code = size - 4;
    CodeMemory.fill(0);
    for (size_t i = 0; i < code; ++i) CodeMemory[uint16_t(at + i)] = data[4 + i];

    // The whole listing from 0000h, as BuildListing makes it, over a short program; or the
    // region the code was placed in, instruction by instruction, up to FFFFh.
    std::vector<ListingRow> rows;
    if (at < 0x400) {
        ProgramEnd = int32_t(std::min<size_t>(at + code, 0x7FF));
        BuildListing(f);
        rows = Listing;
    } else {
        const uint32_t end = std::min<uint32_t>(at + uint32_t(code) + 3, 0xFFFF);
        for (uint32_t a = at; a <= end; a += AsmTable[CodeMemory[a]].Length) rows.push_back(DisassembleAt(a, f));
    }
    (void)ExportText(rows, o);
    return 0;
}
