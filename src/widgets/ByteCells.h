// Byte cells shared by the register, memory and port views: the value grid and cell texts.
#pragma once

#include <QString>
#include <cstdint>

class QTableWidget;
class QWidget;

// A value grid of the register and memory views: cells 23 x 17 with 1-pixel lines, no headers,
// no focus, no scroll bars; `rows` x `columns` cells.
QTableWidget* MakeValueGrid(QWidget* parent, int rows, int columns);
// " 0A": a blank and two upper-case hexadecimal digits.
QString ByteCell(uint8_t value);
// An editor caption: `prefix`, `value` as `digits` upper-case hexadecimal digits, and "h".
QString HexCaption(const QString& prefix, unsigned value, int digits);
