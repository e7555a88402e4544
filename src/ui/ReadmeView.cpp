// Opening readme.txt: the desktop's viewer for text files, or a read-only window of our own.
#include "ReadmeView.h"

#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>

#include "Prompts.h"
#include "Settings.h"

QPointer<TTextFileForm> TextFileForm;

TTextFileForm::TTextFileForm(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("TextFileForm"));
    setAttribute(Qt::WA_DeleteOnClose);
    Memo1 = new QPlainTextEdit(this);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setReadOnly(true);
    Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
    Memo1->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Memo1);
    layout->addWidget(buttons);
    resize(640, 480);
}

bool TTextFileForm::LoadFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) return false;
    const QString text = QString::fromUtf8(file.readAll());
    Memo1->setPlainText(text);
    Memo1->setAccessibleName(QFileInfo(path).fileName());
    setWindowTitle(QFileInfo(path).fileName());
    // Wide enough for the longest line, as far as the screen allows.
    const QFontMetrics fm(Memo1->font());
    int widest = 0;
    for (const QString& line : text.split(QLatin1Char('\n'))) widest = std::max(widest, fm.horizontalAdvance(line));
    const QRect screen = this->screen()->availableGeometry();
    resize(std::clamp(widest + 80, 400, screen.width() * 9 / 10), std::min(640, screen.height() * 8 / 10));
    return true;
}

QString ReadmePath() { return QString::fromStdString(ExecutableFolder()) + QStringLiteral("readme.txt"); }

void OpenTextFile(QWidget* parent, const QString& path) {
    if (QDesktopServices::openUrl(QUrl::fromLocalFile(path))) return;
    // No application took the file (a desktop without a launcher for text files).
    TTextFileForm* view = TextFileForm ? TextFileForm.data() : new TTextFileForm(parent);
    if (!view->LoadFile(path)) {
        if (!TextFileForm) view->deleteLater();
        CurrentPrompts().Error(parent, QStringLiteral("Unable to open %1").arg(QDir::toNativeSeparators(path)));
        return;
    }
    TextFileForm = view;
    view->show();
    view->raise();
    view->activateWindow();
}
