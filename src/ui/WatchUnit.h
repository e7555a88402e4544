// TWatchForm, the Watch window: the program's variables by name with type, memory, address, size
// and value.
#pragma once

#include <QMdiSubWindow>
#include <QPointer>
#include <QTreeWidget>
#include <map>
#include <optional>
#include <string>

#include "MainWindowLink.h"

class QMenu;
struct Symbol;
struct DecodedValue;

class TWatchForm : public QMdiSubWindow {
    Q_OBJECT
public:
    explicit TWatchForm(QWidget* parent = nullptr);

    enum Column { NameColumn, TypeColumn, SpaceColumn, AddressColumn, SizeColumn, ValueColumn };

    // Name, type, space, address, size, value; structures and arrays expand into their members
    // and elements.
    QTreeWidget* WatchList;

    // Reads every value anew: the locals and parameters of the function the program counter is
    // in, then every global and static variable. Rows that stay keep their place, selection and
    // expansion, so that it can follow a run at the display's pace. A value that differs from the
    // one it had at the last stop is drawn in red.
    void Refresh();
    // A run or step starts: the values shown now are those of the last stop, the ones a change
    // is measured against; no value is red until the program changes it.
    void RunStarts();
    // Stores `text` into the variable of a top-level row, as the value column's editor does.
    // Returns false (and says why in a message box) when the text does not fit the type.
    bool EditValue(QTreeWidgetItem* item, const QString& text);
    // The top-level row of a variable, nullptr when it is not listed.
    QTreeWidgetItem* FindRow(const QString& name) const;

    // The bytes of the row's variable (a member's or element's: its whole variable) in a memory
    // view, when one shows them.
    struct MemoryBytes {
        MainWindowLink::MemoryView view;
        uint16_t first;
        int count;
    };
    std::optional<MemoryBytes> MemoryOf(QTreeWidgetItem* item) const;
    // The context menu of a row: "Show in Memory", "Break on Write", "Break on Change". The
    // caller owns the menu.
    QMenu* MakeContextMenu(QTreeWidgetItem* item);
    // Go to Last Write of the row's bytes (those "Show in Memory" selects).
    void GoToLastWrite(QTreeWidgetItem* item);
    // Selects the row's bytes in the internal or external RAM view.
    void ShowInMemory(QTreeWidgetItem* item);
    // Expands exactly the rows of WatchExpandedRows().
    void ApplyExpansionNow();

private:
    void Fill(QTreeWidgetItem* item, const DecodedValue& v, const QString& path);
    // The row path of an item: its top-level row's path and the names below it.
    QString PathOf(QTreeWidgetItem* item) const;
    void ApplyExpansion();
    const Symbol* SymbolOf(QTreeWidgetItem* item) const;
    void FitColumns();
    bool filling_ = false;
    bool placeholder_ = false;  // the one row that says there are no symbols
    bool sized_ = false;
    std::map<QString, QString> shown_;     // value texts of the last refresh by row path
    std::map<QString, QString> baseline_;  // value texts at the last stop by row path
    std::map<QTreeWidgetItem*, const Symbol*> symbols_;
};

// The Watch window's expanded rows by path ("origin", "origin/inner", "main.p" for a local of
// main), kept while the window is closed and per program by the session. Setting them expands
// the rows of an open window.
QStringList WatchExpandedRows();
void SetWatchExpandedRows(const QStringList& rows);

// The open Watch window, empty while there is none.
extern QPointer<TWatchForm> WatchForm;
