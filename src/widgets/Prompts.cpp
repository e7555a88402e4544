// Message boxes and file dialogs behind the Prompts interface.
#include "Prompts.h"

#include <QFileDialog>
#include <QMessageBox>

namespace {

class DialogPrompts : public Prompts {
public:
    void Error(QWidget* parent, const QString& text) override {
        QMessageBox::critical(parent, QStringLiteral("Corvamat"), text, QMessageBox::Ok);
    }
    bool ErrorYesNo(QWidget* parent, const QString& text) override {
        return QMessageBox::critical(parent, QStringLiteral("Corvamat"), text,
                                     QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
    }
    bool ConfirmYesNo(QWidget* parent, const QString& text) override {
        return QMessageBox::question(parent, QStringLiteral("Confirm"), text,
                                     QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
    }
    bool ConfirmOkCancel(QWidget* parent, const QString& text) override {
        return QMessageBox::question(parent, QStringLiteral("Confirm"), text,
                                     QMessageBox::Ok | QMessageBox::Cancel) == QMessageBox::Ok;
    }
    QString OpenFileName(QWidget* parent, const QString& folder, const QString& filter) override {
        QFileDialog dialog(parent, QStringLiteral("Open"), folder, filter);
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::ExistingFile);
        MatchFileNamesInAnyCase(dialog);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
        return dialog.selectedFiles().first();
    }
    QString OpenFileNameTitled(QWidget* parent, const QString& caption, const QString& folder,
                               const QString& filter) override {
        return QFileDialog::getOpenFileName(parent, caption, folder, filter);
    }
    QString SaveFileName(QWidget* parent, const QString& folder, const QString& filter,
                         const QString& defaultSuffix) override {
        QFileDialog dialog(parent, QStringLiteral("Save As"), folder, filter);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setDefaultSuffix(defaultSuffix);
        MatchFileNamesInAnyCase(dialog);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
        return dialog.selectedFiles().first();
    }
};

DialogPrompts Default;
Prompts* Installed = nullptr;

}  // namespace

void MatchFileNamesInAnyCase(QFileDialog& dialog) {
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setFilter(dialog.filter() & ~QDir::CaseSensitive);
}

Prompts& CurrentPrompts() { return Installed ? *Installed : Default; }
void InstallPrompts(Prompts* prompts) { Installed = prompts; }
