// TSourceForm, the Source window: the program's source files (C, and assembler assembled with
// debug records) with line numbers, the line of the program counter marked, breakpoints set on
// lines.
#pragma once

#include <QAbstractTableModel>
#include <QMdiSubWindow>
#include <QPointer>
#include <QStringList>
#include <QTabWidget>
#include <QTableView>
#include <vector>

#include "Analysis.h"

// One source file as a table: breakpoint/PC margin, line number, text.
class SourceModel : public QAbstractTableModel {
    Q_OBJECT
public:
    SourceModel(QString file, QStringList lines, QObject* parent);
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    // The row header is the coverage margin (mark name, counts in the tool tip).
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    // The coverage mark of a line (1-based).
    CoverageMark MarkOfLine(int line) const;
    // The first code address of a line (1-based), -1 when the line has no code.
    int AddressOfLine(int line) const;
    void SetPcLine(int line);
    void Repaint();

    const QString file;

private:
    QStringList lines_;
    std::vector<int> addresses_;  // first code address per line, -1 without code
    std::vector<LineCode> code_;  // the instructions of each line, by line
    int pcLine_ = 0;
};

class TSourceForm : public QMdiSubWindow {
    Q_OBJECT
public:
    explicit TSourceForm(QWidget* parent = nullptr);

    // One tab per source file of the program's symbols.
    QTabWidget* PageControl1;

    // Reads the files anew (after symbols were loaded or forgotten). A file that cannot be found
    // beside the debug file or the program is asked for once ("Locate...").
    void Reload();
    // Marks the line of the program counter and brings it into view.
    void ShowProgramCounter();
    // Selects and shows LINE of FILE; false when the window has no such file.
    bool ShowLine(const std::string& file, int line);
    // Toggles the breakpoint on the first address of LINE of FILE; false when the line has no code.
    bool ToggleBreakpoint(const QString& file, int line);
    // Redraws the breakpoint marks (after a change in the listing).
    void RepaintMarks();
    // Shows the coverage margins while recording is on and repaints the marks.
    void ShowCoverage();
    QTableView* ViewOf(const QString& file) const;
    // The first code address of the selected line of the current tab, -1 without code.
    int SelectedAddress() const;
    // Brings FILE's tab to the front with LINE selected and in view; false when the window has no
    // such file.
    bool ShowLine(const QString& file, int line);

private:
    std::vector<SourceModel*> models_;
    std::vector<QTableView*> views_;
    QStringList asked_;  // files the user was asked to locate
};

// The folders in which the user found source files with "Locate...": every other file of the
// program is looked for there too, so one "Locate..." serves a whole folder. Kept per program by
// its session.
QStringList& SourceFolders();

// The open Source window, empty while there is none.
extern QPointer<TSourceForm> SourceForm;
