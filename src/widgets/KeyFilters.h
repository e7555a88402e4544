// Key filters of the edit fields: decimal digits, or hexadecimal digits turned to upper case.
#pragma once

#include <QObject>

class QLineEdit;

// Lets control keys pass and only the given characters in; typed "a"-"f" arrive as capitals in a
// hexadecimal field.
class KeyFilter : public QObject {
public:
    enum Kind { Decimal, Hexadecimal };
    KeyFilter(Kind kind, QObject* parent) : QObject(parent), kind_(kind) {}
    static void Install(QLineEdit* edit, Kind kind);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    Kind kind_;
};

// "$" + text read as a hexadecimal number, as the run-time conversion does; false when it is none.
bool ParseHexText(const QString& text, unsigned* value);
// "'$TEXT' is not a valid integer value".
QString NotAValidInteger(const QString& text);
