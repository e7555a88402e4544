// The OK and Cancel row of the option dialogs.
#include "DialogButtons.h"

#include <QDialog>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

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

void LayOutOptionDialog(QDialog* dialog, QLayout* body, std::function<void()> accept) {
    QPushButton *ok, *cancel;
    auto* layout = new QVBoxLayout(dialog);
    layout->addLayout(body);
    layout->addLayout(OkCancelRow(dialog, ok, cancel));
    layout->setSizeConstraint(QLayout::SetFixedSize);
    QObject::connect(ok, &QPushButton::clicked, dialog, std::move(accept));
    QObject::connect(cancel, &QPushButton::clicked, dialog, &QDialog::reject);
}
