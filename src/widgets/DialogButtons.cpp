// The OK and Cancel row of the option dialogs.
#include "DialogButtons.h"

#include <QHBoxLayout>
#include <QPushButton>

QHBoxLayout* OkCancelRow(QWidget* dialog, QPushButton*& ok, QPushButton*& cancel) {
    ok = new QPushButton(QStringLiteral("OK"), dialog);
    cancel = new QPushButton(QStringLiteral("Cancel"), dialog);
    ok->setDefault(true);
    auto* row = new QHBoxLayout;
    row->addStretch();
    row->addWidget(ok);
    row->addWidget(cancel);
    return row;
}
