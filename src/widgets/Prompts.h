// The questions, messages and file choosers of the desktop program, replaceable in tests.
#pragma once

#include <QString>

class QFileDialog;
class QWidget;

// Every modal message box and file dialog goes through the installed Prompts, so that tests can
// answer them without a user.
class Prompts {
public:
    virtual ~Prompts() = default;
    // An error box with an OK button.
    virtual void Error(QWidget* parent, const QString& text) = 0;
    // An error box with Yes and No; true = Yes.
    virtual bool ErrorYesNo(QWidget* parent, const QString& text) = 0;
    // A confirmation with Yes and No; true = Yes.
    virtual bool ConfirmYesNo(QWidget* parent, const QString& text) = 0;
    // A confirmation with OK and Cancel; true = OK.
    virtual bool ConfirmOkCancel(QWidget* parent, const QString& text) = 0;
    // The file chosen to open or save, empty when cancelled.
    virtual QString OpenFileName(QWidget* parent, const QString& folder, const QString& filter) = 0;
    virtual QString SaveFileName(QWidget* parent, const QString& folder, const QString& filter,
                                 const QString& defaultSuffix) = 0;
    // A file chosen to open under another caption ("Locate..." for a missing source file).
    virtual QString OpenFileNameTitled(QWidget* parent, const QString& caption, const QString& folder,
                                       const QString& filter) {
        (void)caption;
        return OpenFileName(parent, folder, filter);
    }
};

// Makes a file dialog match its patterns ("*.hex") against names in any case: Qt's own dialog,
// since the desktop's native dialog may compare them case by case.
void MatchFileNamesInAnyCase(QFileDialog& dialog);

// The prompts in use; message boxes and file dialogs unless a test installed its own.
Prompts& CurrentPrompts();
void InstallPrompts(Prompts* prompts);
