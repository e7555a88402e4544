// The serial terminal's text view: bytes as text with line breaks, and typed text as bytes.
#pragma once

#include <cstdint>
#include <string>

// Turns one direction's bytes into text: 20h-7Eh and TAB as themselves, CR, LF, CR LF and LF CR
// as one line break ("\n"), every other byte as "\xNN" (upper-case digits).
class TerminalTextDecoder {
public:
    void Append(uint8_t byte, std::string& out);

private:
    uint8_t lastBreak_ = 0;  // CR or LF when the byte before was a line break
};

// What the Return key sends, as the setting TermReturn codes it: 0 CR, 1 LF, 2 CR LF.
std::string ReturnBytes(uint8_t termReturn);
// Typed or pasted text (UTF-8) as the bytes sent: every line break of the text (LF, CR LF, CR)
// becomes ReturnBytes, everything else goes as it is.
std::string TypedBytes(const std::string& utf8, uint8_t termReturn);
