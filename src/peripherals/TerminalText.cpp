// Bytes as terminal text and typed text as bytes.
#include "TerminalText.h"

void TerminalTextDecoder::Append(uint8_t byte, std::string& out) {
    if (byte == '\r' || byte == '\n') {
        // The second half of CR LF (or LF CR) ends the same line.
        if (lastBreak_ && lastBreak_ != byte) {
            lastBreak_ = 0;
            return;
        }
        out += '\n';
        lastBreak_ = byte;
        return;
    }
    lastBreak_ = 0;
    if ((byte >= 0x20 && byte < 0x7F) || byte == '\t') {
        out += char(byte);
        return;
    }
    static const char* hex = "0123456789ABCDEF";
    out += "\\x";
    out += hex[byte >> 4];
    out += hex[byte & 15];
}

std::string ReturnBytes(uint8_t termReturn) {
    return termReturn == 1 ? "\n" : termReturn == 2 ? "\r\n" : "\r";
}

std::string TypedBytes(const std::string& utf8, uint8_t termReturn) {
    std::string out;
    for (size_t i = 0; i < utf8.size(); ++i) {
        if (utf8[i] == '\r' || utf8[i] == '\n') {
            if (utf8[i] == '\r' && i + 1 < utf8.size() && utf8[i + 1] == '\n') ++i;
            out += ReturnBytes(termReturn);
        } else {
            out += utf8[i];
        }
    }
    return out;
}
