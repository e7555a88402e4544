// The Watch window: the program's variables decoded by type, changed values in red, scalars editable.
#include "WatchUnit.h"

#include <QHeaderView>
#include <QScrollBar>
#include <set>

#include "Code.h"
#include "ProgramSymbols.h"
#include "Prompts.h"
#include "Symbols.h"
#include "ValueDecoder.h"

QPointer<TWatchForm> WatchForm;

namespace {

constexpr int kName = 0, kType = 1, kSpace = 2, kValue = 3;
constexpr int kShownChildren = 1024;  // elements of a large array the tree lists

QString SpaceText(const Symbol& s) {
    if (s.space == Space::Register) {
        QString regs;
        for (const auto& r : s.registers) regs += (regs.isEmpty() ? "" : ",") + QString::fromStdString(r);
        return regs.isEmpty() ? QStringLiteral("register") : QStringLiteral("registers ") + regs;
    }
    if (s.onStack) {
        return QStringLiteral("stack (_bp%1%2)").arg(s.stackOffset < 0 ? "" : "+").arg(s.stackOffset);
    }
    return QString::fromStdString(std::string(SpaceName(s.space)));
}

bool Editable(const Symbol& s) {
    if (s.type.links.size() != 1 || s.space == Space::Code || s.space == Space::CodeStatic) return false;
    switch (s.type.links[0].kind) {
        case TypeLink::Char: case TypeLink::Short: case TypeLink::Int: case TypeLink::Long:
        case TypeLink::Float: case TypeLink::BitField: case TypeLink::Sbit: case TypeLink::Bool:
            return true;
        default:
            return false;
    }
}

// The paths of the expanded rows, so that a refresh keeps them open.
void CollectExpanded(QTreeWidgetItem* item, const QString& path, std::set<QString>* out) {
    for (int i = 0; i < item->childCount(); ++i) {
        QTreeWidgetItem* c = item->child(i);
        QString p = path + "/" + c->text(kName);
        if (c->isExpanded()) out->insert(p);
        CollectExpanded(c, p, out);
    }
}

void Expand(QTreeWidgetItem* item, const QString& path, const std::set<QString>& expanded) {
    for (int i = 0; i < item->childCount(); ++i) {
        QTreeWidgetItem* c = item->child(i);
        QString p = path + "/" + c->text(kName);
        if (expanded.count(p)) c->setExpanded(true);
        Expand(c, p, expanded);
    }
}

// Makes the stores that write a variable, through the user-interface store routines.
void Apply(const std::vector<VariableStore>& stores) {
    for (const VariableStore& s : stores) {
        switch (s.kind) {
            case VariableStore::Direct: WriteDirectUi(uint16_t(s.address & 0xFF), s.value); break;
            case VariableStore::Indirect: WriteDirectUi(IndirectIndex(uint8_t(s.address)), s.value); break;
            case VariableStore::External: WriteExternalRam(s.address, s.value); break;
            case VariableStore::Bit: {
                const uint8_t byte = BitByteAddress(uint8_t(s.address));
                const uint8_t mask = uint8_t(1 << (s.address & 7));
                WriteDirectUi(byte, uint8_t(s.value ? InternalRam[byte] | mask : InternalRam[byte] & ~mask));
                break;
            }
        }
    }
}

}  // namespace

TWatchForm::TWatchForm(QWidget* parent) : QMdiSubWindow(parent) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Watch"));
    setObjectName(QStringLiteral("WatchForm"));
    setWindowIcon(QIcon(QStringLiteral(":/icons/watch.svg")));
    WatchList = new QTreeWidget(this);
    WatchList->setObjectName(QStringLiteral("WatchList"));
    WatchList->setAccessibleName(QStringLiteral("Watched variables"));
    WatchList->setAccessibleDescription(QStringLiteral(
        "The locals and parameters of the function the program counter is in, then every global and "
        "static variable, with type, memory and value; changed values are red; double-click a "
        "number's value to change it"));
    WatchList->setColumnCount(4);
    WatchList->setHeaderLabels({QStringLiteral("Name"), QStringLiteral("Type"), QStringLiteral("Space"),
                                QStringLiteral("Value")});
    WatchList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    WatchList->setUniformRowHeights(true);
    WatchList->header()->setStretchLastSection(true);
    WatchList->setColumnWidth(kName, 120);
    WatchList->setColumnWidth(kType, 110);
    WatchList->setColumnWidth(kSpace, 80);
    setWidget(WatchList);
    resize(470, 300);
    connect(WatchList, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* item, int column) {
        if (column == kValue && (item->flags() & Qt::ItemIsEditable)) WatchList->editItem(item, kValue);
    });
    connect(WatchList, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem* item, int column) {
        if (!filling_ && column == kValue) EditValue(item, item->text(kValue));
    });
    Refresh();
}

void TWatchForm::Fill(QTreeWidgetItem* item, const DecodedValue& v, const QString& path) {
    const QString text = QString::fromStdString(v.text);
    item->setText(kValue, text);
    auto old = shown_.find(path);
    const bool changed = old != shown_.end() && old->second != text;
    item->setForeground(kValue, changed ? QBrush(Qt::red) : QBrush());
    shown_[path] = text;
    int n = 0;
    for (const auto& c : v.children) {
        if (++n > kShownChildren) break;
        auto* child = new QTreeWidgetItem(item);
        child->setText(kName, QString::fromStdString(c.name));
        child->setText(kType, QString::fromStdString(c.type));
        Fill(child, c, path + "/" + child->text(kName));
    }
}

void TWatchForm::Refresh() {
    filling_ = true;
    std::set<QString> expanded;
    CollectExpanded(WatchList->invisibleRootItem(), QString(), &expanded);
    const int scroll = WatchList->verticalScrollBar()->value();
    WatchList->clear();
    symbols_.clear();

    const SymbolTable* table = ActiveProgramSymbols();
    if (!table) {
        auto* item = new QTreeWidgetItem(WatchList);
        item->setText(kName, QStringLiteral("No symbols: open a program with a .cdb beside it, or use File > Load Symbols..."));
        item->setFirstColumnSpanned(true);
        filling_ = false;
        return;
    }
    MachineMemory memory;
    // Locals first; their paths differ from those of statics of the same name.
    std::vector<std::pair<QString, const Symbol*>> rows;
    const Function* function = table->FunctionAt(ProgramCounter);
    if (function)
        for (const Symbol* s : table->LocalsOf(*function)) rows.emplace_back(QString::fromStdString(s->name), s);
    const size_t locals = rows.size();
    for (const auto& [name, s] : table->StaticVariables()) {
        bool shownAsLocal = false;
        for (size_t i = 0; i < locals; ++i) shownAsLocal = shownAsLocal || rows[i].second == s;
        if (!shownAsLocal) rows.emplace_back(QString::fromStdString(name), s);
    }

    for (size_t i = 0; i < rows.size(); ++i) {
        const auto& [name, s] = rows[i];
        auto* item = new QTreeWidgetItem(WatchList);
        item->setText(kName, name);
        item->setText(kType, QString::fromStdString(s->type.Text()));
        item->setText(kSpace, SpaceText(*s));
        const QString path = (i < locals ? QString::fromStdString(function->name) + "." : QString()) + name;
        item->setData(kName, Qt::UserRole, path);
        DecodedValue v = DecodeSymbol(*s, *table, memory);
        Fill(item, v, path);
        if (Editable(*s) && v.available) item->setFlags(item->flags() | Qt::ItemIsEditable);
        symbols_[item] = s;
    }
    Expand(WatchList->invisibleRootItem(), QString(), expanded);
    WatchList->verticalScrollBar()->setValue(scroll);
    filling_ = false;
}

bool TWatchForm::EditValue(QTreeWidgetItem* item, const QString& text) {
    auto it = symbols_.find(item);
    const SymbolTable* table = ActiveProgramSymbols();
    if (it == symbols_.end() || !table || !Editable(*it->second)) return false;
    const Symbol& s = *it->second;
    MachineMemory memory;
    auto stores = EncodeVariableValue(s, *table, memory, text.trimmed().toStdString());
    if (!stores) {
        CurrentPrompts().Error(this, QString::fromStdString(s.name + ": " + stores.error() + "."));
        QMetaObject::invokeMethod(this, [this] { Refresh(); }, Qt::QueuedConnection);
        return false;
    }
    Apply(*stores);
    // The edit is no change the program made: it is not drawn red.
    const QString path = item->data(kName, Qt::UserRole).toString();
    DecodedValue v = DecodeSymbol(s, *table, memory);
    shown_[path] = QString::fromStdString(v.text);
    QMetaObject::invokeMethod(this, [this] { Refresh(); }, Qt::QueuedConnection);
    return true;
}

QTreeWidgetItem* TWatchForm::FindRow(const QString& name) const {
    for (int i = 0; i < WatchList->topLevelItemCount(); ++i)
        if (WatchList->topLevelItem(i)->text(kName) == name) return WatchList->topLevelItem(i);
    return nullptr;
}
