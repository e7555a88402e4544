// Fitting a control's text into a layout measured in pixels for a narrower font than this system's.
#include "FitText.h"

#include <QComboBox>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QWidget>
#include <algorithm>

void CondenseToFit(QWidget* w, int width) {
    const int room = width > 0 ? width : w->width();
    QFont f = w->font();
    for (int stretch : {94, 88, 82, 76}) {
        if (w->sizeHint().width() <= room) return;
        f.setStretch(stretch);
        w->setFont(f);
    }
}

int WidestItem(const QComboBox* box) {
    const QFontMetrics fm(box->font());
    int widest = 0;
    for (int i = 0; i < box->count(); ++i) widest = std::max(widest, fm.horizontalAdvance(box->itemText(i)));
    return widest;
}

int ItemRoom(const QComboBox* box) {
    QStyleOptionComboBox opt;
    opt.initFrom(box);
    opt.editable = box->isEditable();
    opt.currentText = box->currentText();
    // The style draws the chosen item one pixel inside the edit field on either side.
    return box->style()->subControlRect(QStyle::CC_ComboBox, &opt, QStyle::SC_ComboBoxEditField, box).width() - 2;
}

void CondenseItemsToFit(QComboBox* box) {
    QFont f = box->font();
    for (int stretch : {94, 88, 82, 76}) {
        if (WidestItem(box) <= ItemRoom(box)) return;
        f.setStretch(stretch);
        box->setFont(f);
    }
}
