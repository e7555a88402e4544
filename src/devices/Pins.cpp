// Names of port pins and ports as the board and settings files write them.
#include "Pins.h"

#include <cctype>

namespace {

std::string_view Trimmed(std::string_view t) {
    while (!t.empty() && std::isspace(static_cast<unsigned char>(t.front()))) t.remove_prefix(1);
    while (!t.empty() && std::isspace(static_cast<unsigned char>(t.back()))) t.remove_suffix(1);
    return t;
}

bool IsPortDigit(char c) { return c >= '0' && c <= '3'; }

}  // namespace

std::string PinText(uint8_t b) {
    if (!IsPortPin(b)) return "?";
    return {'P', char('0' + ((b >> 4) & 3)), '.', char('0' + (b & 7))};
}

std::optional<uint8_t> ParsePinText(std::string_view text) {
    const std::string_view t = Trimmed(text);
    if (t.size() != 4 || (t[0] != 'P' && t[0] != 'p') || !IsPortDigit(t[1]) || t[2] != '.' || t[3] < '0' ||
        t[3] > '7')
        return std::nullopt;
    return PortPin(t[1] - '0', t[3] - '0');
}

std::string PortText(int port) { return {'P', char('0' + (port & 3))}; }

std::optional<int> ParsePortText(std::string_view text) {
    const std::string_view t = Trimmed(text);
    if (t.size() != 2 || (t[0] != 'P' && t[0] != 'p') || !IsPortDigit(t[1])) return std::nullopt;
    return t[1] - '0';
}
