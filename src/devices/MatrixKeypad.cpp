// The 4x4 matrix keypad: lines joined by pressed keys read low together.
#include "MatrixKeypad.h"

bool MatrixKeypad::PinsChanged(const PortLevels& levels) {
    // Lines 0-3 are the rows, 4-7 the columns. Join the lines of every pressed key (a tiny
    // union-find), then a group is low when any of its lines is held low from outside.
    std::array<int, 8> group{0, 1, 2, 3, 4, 5, 6, 7};
    auto find = [&group](int x) {
        while (group[size_t(x)] != x) x = group[size_t(x)];
        return x;
    };
    const uint16_t keys = KeysDown();
    for (int k = 0; k < 16; ++k)
        if (keys >> k & 1) group[size_t(find(k / 4))] = find(4 + k % 4);
    auto pin = [this](int line) { return line < 4 ? wiring_.Rows[size_t(line)] : wiring_.Columns[size_t(line - 4)]; };
    std::array<bool, 8> low{};
    for (int line = 0; line < 8; ++line)
        if (!levels.Level(pin(line))) low[size_t(find(line))] = true;
    std::array<int, 8> members{};
    for (int line = 0; line < 8; ++line) ++members[size_t(find(line))];
    // A line alone needs no pull of ours; a line joined to a low group is pulled with it.
    PortLevels pulls;
    for (int line = 0; line < 8; ++line)
        if (low[size_t(find(line))] && members[size_t(find(line))] > 1) pulls.PullLow(pin(line));
    const bool changed = !(pulls == pulls_);
    pulls_ = pulls;
    return changed;
}

int KeypadKeyOfChar(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}
