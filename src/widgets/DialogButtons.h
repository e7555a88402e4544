// The OK and Cancel row of the option dialogs laid out by a layout manager.
#pragma once

class QHBoxLayout;
class QPushButton;
class QWidget;

// Makes "OK" (the default button) and "Cancel" on `dialog` and returns them right-aligned in a row.
QHBoxLayout* OkCancelRow(QWidget* dialog, QPushButton*& ok, QPushButton*& cancel);
