// Fitting a control's text into a layout measured in pixels for a narrower font than this system's.
#pragma once

class QComboBox;
class QWidget;

// Narrows the font of `w` step by step, to three-quarters width at most, until the control's text
// fits `width` pixels (the control's own width when 0).
void CondenseToFit(QWidget* w, int width = 0);
// Narrows the font of a list box the same way until its widest item fits the text field.
void CondenseItemsToFit(QComboBox* box);
// The width of the widest item of a list box, and the width its text field leaves for it.
int WidestItem(const QComboBox* box);
int ItemRoom(const QComboBox* box);
