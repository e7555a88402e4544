// libFuzzer target: the listing and the export over arbitrary code memory and options.
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
    // Code placed at the end of memory as well, where operands run past FFFFh.
    const uint16_t at = uint16_t(data[2] << 8 | data[3]);
    CodeMemory.fill(0);
    for (size_t i = 4; i < size; ++i) CodeMemory[uint16_t(at + i - 4)] = data[i];
    ProgramEnd = data[2] == 0xFF ? 0xFFFF : int32_t(std::min<size_t>(size, 0xFFFF));
    BuildListing(f);
    (void)ExportText(Listing, o);
    return 0;
}
