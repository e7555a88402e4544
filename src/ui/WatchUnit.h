// TWatchForm, the Watch window: the program's variables by name with type, memory and value.
#pragma once

#include <QMdiSubWindow>
#include <QPointer>
#include <QTreeWidget>
#include <map>
#include <string>

struct Symbol;
struct DecodedValue;

class TWatchForm : public QMdiSubWindow {
    Q_OBJECT
public:
    explicit TWatchForm(QWidget* parent = nullptr);

    // Name, type, space, value; structures and arrays expand into their members and elements.
    QTreeWidget* WatchList;

    // Reads every value anew: the locals and parameters of the function the program counter is
    // in, then every global and static variable. A value that differs from the one shown at the
    // last refresh is drawn in red.
    void Refresh();
    // Stores `text` into the variable of a top-level row, as the value column's editor does.
    // Returns false (and says why in a message box) when the text does not fit the type.
    bool EditValue(QTreeWidgetItem* item, const QString& text);
    // The top-level row of a variable, nullptr when it is not listed.
    QTreeWidgetItem* FindRow(const QString& name) const;

private:
    void Fill(QTreeWidgetItem* item, const DecodedValue& v, const QString& path);
    bool filling_ = false;
    std::map<QString, QString> shown_;  // value texts of the last refresh by row path
    std::map<QTreeWidgetItem*, const Symbol*> symbols_;
};

// The open Watch window, empty while there is none.
extern QPointer<TWatchForm> WatchForm;
