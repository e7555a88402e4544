// The dump line format of the serial terminal.
#include "HexDump.h"

const std::string HexDumpLineTemplate = std::string(48, ' ') + "| ";

HexDumpPlacement PlaceHexDumpByte(bool hasLine, const std::string& lastLine, uint8_t byte) {
    static const char* hex = "0123456789ABCDEF";
    HexDumpPlacement p{};
    p.newLine = !hasLine || lastLine.size() >= 66;
    p.k = p.newLine ? 0 : int(lastLine.size()) - 50;
    p.digits[0] = hex[byte >> 4];
    p.digits[1] = hex[byte & 15];
    p.character = byte > 0x20 ? char(byte) : '.';
    return p;
}

void AppendHexDumpByte(std::string& dump, uint8_t byte) {
    const auto nl = dump.rfind('\n');
    const bool hasLine = !dump.empty();
    std::string last = hasLine ? dump.substr(nl == std::string::npos ? 0 : nl + 1) : std::string();
    HexDumpPlacement p = PlaceHexDumpByte(hasLine, last, byte);
    if (p.newLine) dump += (hasLine ? "\n" : "") + HexDumpLineTemplate;
    const size_t start = dump.size() - (p.newLine ? HexDumpLineTemplate.size() : last.size());
    dump[start + 3 * p.k] = p.digits[0];
    dump[start + 3 * p.k + 1] = p.digits[1];
    dump += p.character;
}
