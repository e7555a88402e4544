// The byte editor: hexadecimal text and bit boxes kept in step, OK and Cancel.
#include "ByteEditUnit.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "KeyFilters.h"
#include "Prompts.h"

TByteEditForm* ByteEditForm = nullptr;
std::function<std::optional<uint8_t>(const QString&, uint8_t)> EditEntryOverride;

TByteEditForm::TByteEditForm(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("ByteEditForm"));
    setFixedSize(187, 121);
    // The layout is measured in pixels for a small dialog font.
    QFont small = font();
    small.setPixelSize(11);
    setFont(small);
    Label1 = new QLabel(QStringLiteral("Value:"), this);
    Label1->move(8, 11);
    Edit1 = new QLineEdit(this);
    Edit1->setGeometry(48, 8, 33, 21);
    Edit1->setMaxLength(2);
    Label1->setBuddy(Edit1);
    KeyFilter::Install(Edit1, KeyFilter::Hexadecimal);
    Label2 = new QLabel(QStringLiteral("Bits:"), this);
    Label2->move(8, 56);
    for (int i = 0; i < 8; ++i) {
        Bits[i] = new QCheckBox(this);
        Bits[i]->setGeometry(161 - 18 * i, 56, 16, 16);
        Bits[i]->setAccessibleName(QStringLiteral("Bit %1").arg(i));
        auto* digit = new QLabel(QString::number(i), this);
        digit->move(164 - 18 * i, 44);
        connect(Bits[i], &QCheckBox::clicked, this, [this] { BitsOnClick(); });
    }
    Button1 = new QPushButton(QStringLiteral("OK"), this);
    Button1->setGeometry(16, 88, 75, 25);
    Button1->setDefault(true);
    Button2 = new QPushButton(QStringLiteral("Cancel"), this);
    Button2->setGeometry(96, 88, 75, 25);
    connect(Edit1, &QLineEdit::textChanged, this, [this] { Edit1Change(); });
    connect(Button1, &QPushButton::clicked, this, [this] {
        unsigned v;
        if (!Value(&v)) {
            CurrentPrompts().Error(this, NotAValidInteger(Edit1->text()));
            return;
        }
        accept();
    });
    connect(Button2, &QPushButton::clicked, this, &QDialog::reject);
    ByteEditForm = this;
}

bool TByteEditForm::Value(unsigned* value) const {
    if (Edit1->text().isEmpty()) {
        *value = 0;
        return true;
    }
    return ParseHexText(Edit1->text(), value);
}

void TByteEditForm::Edit1Change() {
    unsigned v = 0;
    if (!Value(&v)) {
        CurrentPrompts().Error(this, NotAValidInteger(Edit1->text()));
        return;
    }
    settingBoxes_ = true;
    for (int i = 0; i < 8; ++i) Bits[i]->setChecked((v >> i) & 1);
    settingBoxes_ = false;
}

void TByteEditForm::BitsOnClick() {
    if (settingBoxes_) return;
    unsigned v = 0;
    for (int i = 0; i < 8; ++i)
        if (Bits[i]->isChecked()) v |= 1u << i;
    Edit1->setText(QStringLiteral("%1").arg(v, 2, 16, QLatin1Char('0')).toUpper());
}

std::optional<uint8_t> EditEntry(const QString& caption, uint8_t value) {
    if (EditEntryOverride) return EditEntryOverride(caption, value);
    if (!ByteEditForm) return std::nullopt;
    ByteEditForm->setWindowTitle(caption);
    ByteEditForm->Edit1->setText(QStringLiteral("%1").arg(value, 2, 16, QLatin1Char('0')).toUpper());
    ByteEditForm->Edit1->selectAll();
    if (ByteEditForm->exec() != QDialog::Accepted) return std::nullopt;
    unsigned v = 0;
    if (!ByteEditForm->Value(&v)) return std::nullopt;
    return uint8_t(v & 0xFF);
}
