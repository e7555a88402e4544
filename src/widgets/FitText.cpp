// Fitting a control's text into a layout measured in pixels for a narrower font than this system's.
#include "FitText.h"

#include <QWidget>

void CondenseToFit(QWidget* w, int width) {
    const int room = width > 0 ? width : w->width();
    QFont f = w->font();
    for (int stretch : {94, 88, 82, 76}) {
        if (w->sizeHint().width() <= room) return;
        f.setStretch(stretch);
        w->setFont(f);
    }
}
