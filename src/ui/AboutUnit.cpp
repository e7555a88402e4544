// The About box: icon, name, version and build date, and links to the readme beside the program.
#include "AboutUnit.h"

#include <QDate>
#include <QFrame>
#include <QLocale>
#include <QLabel>
#include <QPushButton>
#include <QUrl>

#include "ReadmeView.h"
#include "Settings.h"

#ifndef CORVAMAT_VERSION
#define CORVAMAT_VERSION "0.1.0"
#endif

QString CorvamatVersionLine() {
    // The compiler writes the date as "Dec  8 2026"; the box shows it as 2026-12-08.
    const QDate built = QLocale::c().toDate(QStringLiteral(__DATE__).simplified(), QStringLiteral("MMM d yyyy"));
    return QStringLiteral("Version %1 (%2)")
        .arg(QStringLiteral(CORVAMAT_VERSION), built.isValid() ? built.toString(Qt::ISODate)
                                                                : QStringLiteral(__DATE__).simplified());
}

TAboutForm::TAboutForm(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("About"));
    setObjectName(QStringLiteral("AboutForm"));
    setFixedSize(247, 156);
    auto* iconFrame = new QFrame(this);
    iconFrame->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    iconFrame->setGeometry(8, 8, 40, 40);
    auto* icon = new QLabel(iconFrame);
    icon->setPixmap(QIcon(QStringLiteral(":/icons/corvamat.svg")).pixmap(32, 32));
    icon->setGeometry(4, 4, 32, 32);
    icon->setAccessibleName(QStringLiteral("Corvamat icon"));
    auto* name = new QLabel(QStringLiteral("Corvamat"), this);
    QFont bold = name->font();
    bold.setBold(true);
    bold.setPointSize(bold.pointSize() + 2);
    name->setFont(bold);
    name->setGeometry(60, 10, 180, 20);
    auto* version = new QLabel(CorvamatVersionLine(), this);
    version->setGeometry(60, 32, 180, 16);
    auto* box = new QFrame(this);
    box->setFrameStyle(QFrame::Box | QFrame::Sunken);
    box->setGeometry(8, 56, 231, 56);
    auto* internet = new QLabel(QStringLiteral("Internet: "), box);
    internet->setGeometry(6, 6, 60, 16);
    const QString readme =
        QUrl::fromLocalFile(QString::fromStdString(ExecutableFolder()) + QStringLiteral("readme.txt")).toString();
    const QString link = QStringLiteral("<a href=\"%1\">readme.txt</a>").arg(readme);
    Label3 = new QLabel(link, box);
    Label4 = new QLabel(QStringLiteral("<a href=\"%1\">%2</a>").arg(readme, QStringLiteral("Corvamat readme")), box);
    for (QLabel* l : {Label3, Label4}) {
        l->setTextFormat(Qt::RichText);
        // The readme opens in the desktop's viewer, or in a window of our own where there is none.
        connect(l, &QLabel::linkActivated, this, [this] { OpenTextFile(this, ReadmePath()); });
        l->setTextInteractionFlags(Qt::TextBrowserInteraction);
        l->setCursor(Qt::PointingHandCursor);
    }
    Label3->setGeometry(66, 6, 160, 16);
    Label4->setGeometry(66, 28, 160, 16);
    Button1 = new QPushButton(QStringLiteral("Close"), this);
    Button1->setGeometry(86, 122, 75, 25);
    connect(Button1, &QPushButton::clicked, this, &QDialog::accept);
}
