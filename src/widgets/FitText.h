// Fitting a control's text into a layout measured in pixels for a narrower font than this system's.
#pragma once

class QWidget;

// Narrows the font of `w` step by step, to three-quarters width at most, until the control's text
// fits `width` pixels (the control's own width when 0).
void CondenseToFit(QWidget* w, int width = 0);
