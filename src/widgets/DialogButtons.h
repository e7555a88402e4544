// The OK and Cancel row of the option dialogs laid out by a layout manager.
#pragma once

#include <functional>

class QDialog;
class QHBoxLayout;
class QLayout;
class QPushButton;
class QWidget;

// Makes "OK" (the default button) and "Cancel" on `dialog` and returns them right-aligned in a row.
QHBoxLayout* OkCancelRow(QWidget* dialog, QPushButton*& ok, QPushButton*& cancel);
// Lays out an option dialog: `body` above the OK and Cancel row, at its natural fixed size; OK
// calls `accept` (which stores the options and closes the dialog), Cancel rejects it.
void LayOutOptionDialog(QDialog* dialog, QLayout* body, std::function<void()> accept);
