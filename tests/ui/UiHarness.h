// Shared fixture of the window tests: a main window with its own settings file, scripted answers
// to every message box and file dialog, and helpers to load programs and wait for runs.
#pragma once

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QStringList>
#include <deque>
#include <memory>

#include "Code.h"
#include "ProgramFiles.h"
#include "SimCfg.h"
#include "Prompts.h"
#include "Settings.h"
#include "TempFiles.h"
#include "Unit1.h"

class ScriptedPrompts : public Prompts {
public:
    QStringList messages;   // every text shown, in order
    std::deque<bool> answers;  // answers to questions; Yes/OK when empty
    QString openFile, saveFile;
    void Error(QWidget*, const QString& t) override { messages << t; }
    bool ErrorYesNo(QWidget*, const QString& t) override { return Answer(t); }
    bool ConfirmYesNo(QWidget*, const QString& t) override { return Answer(t); }
    bool ConfirmOkCancel(QWidget*, const QString& t) override { return Answer(t); }
    QString OpenFileName(QWidget*, const QString&, const QString&) override { return openFile; }
    QString SaveFileName(QWidget*, const QString&, const QString&, const QString&) override {
        return saveFile;
    }

private:
    bool Answer(const QString& t) {
        messages << t;
        if (answers.empty()) return true;
        bool a = answers.front();
        answers.pop_front();
        return a;
    }
};

class UiTest : public ::testing::Test {
protected:
    void SetUp() override {
        InstallPrompts(&prompts);
        Settings = TSettings();
        form = std::make_unique<TForm1>(QString::fromStdString(dir.File("corvamat.ini")));
    }
    void TearDown() override {
        if (form) {
            form->FinishWorker(true);
            form->close();
            form.reset();
        }
        QApplication::processEvents();
        InstallPrompts(nullptr);
    }
    // Writes an Intel HEX file of `bytes` at 0000h and opens it through the Open command.
    bool Open(const std::vector<uint8_t>& bytes, const std::string& name = "prog.hex") {
        std::string text;
        for (size_t at = 0; at < bytes.size(); at += 16) {
            size_t n = std::min<size_t>(16, bytes.size() - at);
            unsigned sum = unsigned(n) + unsigned(at >> 8) + unsigned(at & 0xFF);
            char head[16];
            std::snprintf(head, sizeof head, ":%02X%04X00", unsigned(n), unsigned(at));
            text += head;
            for (size_t i = 0; i < n; ++i) {
                char b[3];
                std::snprintf(b, sizeof b, "%02X", bytes[at + i]);
                text += b;
                sum += bytes[at + i];
            }
            char cs[4];
            std::snprintf(cs, sizeof cs, "%02X\n", (0x100 - (sum & 0xFF)) & 0xFF);
            text += cs;
        }
        text += ":00000001FF\n";
        prompts.openFile = QString::fromStdString(dir.Write(name, text));
        form->OpenHEX->trigger();
        return !ProgramFileName.empty();
    }
    // Waits for the run or step in progress, serving its calls into the user-interface thread.
    void WaitForRun() {
        form->FinishWorker(false);
        QApplication::processEvents();
    }

    TempDir dir;
    ScriptedPrompts prompts;
    std::unique_ptr<TForm1> form;
};
