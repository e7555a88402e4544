// TAboutForm, the About box.
#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

class TAboutForm : public QDialog {
    Q_OBJECT
public:
    explicit TAboutForm(QWidget* parent);
    QLabel *Label3, *Label4;  // the two link labels
    QPushButton* Button1;     // "Close"
};

// The version and build date shown in the About box.
QString CorvamatVersionLine();
