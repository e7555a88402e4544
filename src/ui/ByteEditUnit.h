// TByteEditForm and EditEntry: the modal editor of one byte, as hexadecimal text or eight bits.
#pragma once

#include <QDialog>
#include <functional>
#include <optional>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

class TByteEditForm : public QDialog {
    Q_OBJECT
public:
    explicit TByteEditForm(QWidget* parent);
    QLabel *Label1, *Label2;
    QLineEdit* Edit1;
    QCheckBox* Bits[8];
    QPushButton *Button1, *Button2;

    // Edit1Change: the boxes follow the text.
    void Edit1Change();
    // BitsOnClick: the text follows the boxes.
    void BitsOnClick();
    // The value in Edit1 (0 when empty); false when the text is not hexadecimal.
    bool Value(unsigned* value) const;

private:
    bool settingBoxes_ = false;
};

extern TByteEditForm* ByteEditForm;

// Shows the editor with `caption` and `value`. Returns the edited byte after OK, or nothing after
// Cancel (or OK with text that is not a number): the caller then writes nothing.
std::optional<uint8_t> EditEntry(const QString& caption, uint8_t value);

// Tests answer the editor through this instead of a modal dialog.
extern std::function<std::optional<uint8_t>(const QString& caption, uint8_t value)> EditEntryOverride;
