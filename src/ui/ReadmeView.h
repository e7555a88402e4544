// Opening readme.txt: the desktop's viewer for text files, or a read-only window of our own.
#pragma once

#include <QDialog>
#include <QPointer>

class QPlainTextEdit;

// A read-only window showing one text file; one exists at a time and is reused.
class TTextFileForm : public QDialog {
    Q_OBJECT
public:
    explicit TTextFileForm(QWidget* parent);
    QPlainTextEdit* Memo1;
    // Reads `path` into the window; false (window unchanged) when the file cannot be read.
    bool LoadFile(const QString& path);
};

extern QPointer<TTextFileForm> TextFileForm;

// The path of readme.txt beside the program.
QString ReadmePath();
// Hands `path` to the desktop; where no application opens it, shows it in TTextFileForm, and
// reports a file that cannot be read.
void OpenTextFile(QWidget* parent, const QString& path);
