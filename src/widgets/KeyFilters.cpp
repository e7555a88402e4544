// Key filters for the decimal and hexadecimal edit fields, and hexadecimal text conversion.
#include "KeyFilters.h"

#include <QKeyEvent>
#include <QLineEdit>

void KeyFilter::Install(QLineEdit* edit, Kind kind) { edit->installEventFilter(new KeyFilter(kind, edit)); }

bool KeyFilter::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress) return false;
    auto* key = static_cast<QKeyEvent*>(event);
    const QString text = key->text();
    if (text.isEmpty() || text.at(0).unicode() < 32 || (key->modifiers() & Qt::ControlModifier))
        return false;
    const QChar c = text.at(0).toUpper();
    const bool digit = c >= QLatin1Char('0') && c <= QLatin1Char('9');
    const bool hex = c >= QLatin1Char('A') && c <= QLatin1Char('F');
    if (!(digit || (kind_ == Hexadecimal && hex))) return true;  // discarded
    if (c != text.at(0)) {
        if (auto* edit = qobject_cast<QLineEdit*>(watched)) edit->insert(QString(c));
        return true;
    }
    return false;
}

bool ParseHexText(const QString& text, unsigned* value) {
    if (text.isEmpty() || text.size() > 8) return false;
    bool ok = false;
    unsigned v = text.toUInt(&ok, 16);
    if (!ok || text.startsWith(QLatin1Char('+')) || text.startsWith(QLatin1Char('-'))) return false;
    *value = v;
    return true;
}

QString NotAValidInteger(const QString& text) {
    return QStringLiteral("'$%1' is not a valid integer value").arg(text);
}
