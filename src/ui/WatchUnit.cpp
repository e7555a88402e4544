// The Watch window: the program's variables decoded by type, changed values in red, scalars editable.
#include "WatchUnit.h"

#include <QHeaderView>
#include <QMenu>
#include <QScrollBar>
#include <algorithm>
#include <set>

#include "Code.h"
#include "DebuggerUnit.h"
#include "HexText.h"
#include "Inputs.h"
#include "ProgramSymbols.h"
#include "Prompts.h"
#include "Symbols.h"
#include "Targets.h"
#include "ValueDecoder.h"

QPointer<TWatchForm> WatchForm;

namespace {

constexpr int kName = TWatchForm::NameColumn, kType = TWatchForm::TypeColumn, kSpace = TWatchForm::SpaceColumn,
              kAddress = TWatchForm::AddressColumn, kSize = TWatchForm::SizeColumn, kValue = TWatchForm::ValueColumn;
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

// The expanded rows by path, the window's and the session's.
std::set<QString>& Expanded() {
    static std::set<QString> rows;
    return rows;
}

QString Hex(uint32_t v, int digits) { return QString::fromStdString(HexText(v, digits)); }

// Where the variable's bytes are now, as an address of its memory ("" when it has none now).
QString AddressText(const ValueLocation& l) {
    switch (l.kind) {
        case ValueLocation::Data: case ValueLocation::Idata: return Hex(l.address & 0xFF, 2);
        case ValueLocation::Xdata: case ValueLocation::Code: return Hex(l.address & 0xFFFF, 4);
        case ValueLocation::Bit: {
            // A bit address names a bit of a byte: 00h-7Fh in 20h-2Fh, from 80h the SFR bits.
            const uint8_t a = uint8_t(l.address);
            return Hex(BitByteAddress(a), 2) + QStringLiteral(".%1").arg(a & 7);
        }
        case ValueLocation::Registers:
            return l.registers.empty() ? QString()
                                       : Hex((InternalRam[Sfr::PSW] & 0x18) + l.registers.front(), 2);
        default: return {};
    }
}

QString SizeText(const Symbol& s) {
    if (s.space == Space::Bit || s.space == Space::Sbit) return QStringLiteral("1 bit");
    return s.type.size == 1 ? QStringLiteral("1 byte") : QStringLiteral("%1 bytes").arg(s.type.size);
}

}  // namespace

QStringList WatchExpandedRows() {
    QStringList rows;
    for (const QString& r : Expanded()) rows << r;
    return rows;
}

void SetWatchExpandedRows(const QStringList& rows) {
    Expanded() = std::set<QString>(rows.begin(), rows.end());
    if (WatchForm) WatchForm->ApplyExpansionNow();
}

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
        "static variable, with type, memory, address, size and value; values changed since the last "
        "stop are red; double-click a number's value to change it; the context menu shows a "
        "variable's bytes in memory"));
    WatchList->setColumnCount(6);
    WatchList->setHeaderLabels({QStringLiteral("Name"), QStringLiteral("Type"), QStringLiteral("Space"),
                                QStringLiteral("Address"), QStringLiteral("Size"), QStringLiteral("Value")});
    WatchList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    WatchList->setUniformRowHeights(true);
    WatchList->setContextMenuPolicy(Qt::CustomContextMenu);
    WatchList->header()->setStretchLastSection(true);
    setWidget(WatchList);
    connect(WatchList, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* item, int column) {
        if (column == kValue && (item->flags() & Qt::ItemIsEditable)) WatchList->editItem(item, kValue);
    });
    connect(WatchList, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem* item, int column) {
        if (!filling_ && column == kValue) EditValue(item, item->text(kValue));
    });
    // The user's expansions are remembered by path; those a refresh makes are the same paths.
    connect(WatchList, &QTreeWidget::itemExpanded, this, [this](QTreeWidgetItem* item) { Expanded().insert(PathOf(item)); });
    connect(WatchList, &QTreeWidget::itemCollapsed, this, [this](QTreeWidgetItem* item) {
        if (!filling_) Expanded().erase(PathOf(item));
    });
    connect(WatchList, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        QTreeWidgetItem* item = WatchList->itemAt(pos);
        if (!item) return;
        QMenu* menu = MakeContextMenu(item);
        menu->setAttribute(Qt::WA_DeleteOnClose);
        menu->popup(WatchList->viewport()->mapToGlobal(pos));
    });
    Refresh();
    FitColumns();
}

// The first size: every column as wide as its texts, the value column up to a readable width.
void TWatchForm::FitColumns() {
    int value = WatchList->header()->sectionSizeHint(kValue);
    for (int i = 0; i < WatchList->topLevelItemCount(); ++i)
        value = std::max(value, WatchList->fontMetrics().horizontalAdvance(WatchList->topLevelItem(i)->text(kValue)) + 12);
    value = std::clamp(value, 120, 360);
    int columns = value;
    for (int c = kName; c < kValue; ++c) columns += WatchList->columnWidth(c);
    // The window's frame, the list's frame and room for the vertical scroll bar.
    const QMargins frame = contentsMargins();
    const int chrome = frame.left() + frame.right() + 2 * WatchList->frameWidth() +
                       WatchList->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, WatchList);
    resize(columns + chrome, 300);
}

const Symbol* TWatchForm::SymbolOf(QTreeWidgetItem* item) const {
    while (item && item->parent()) item = item->parent();
    auto it = symbols_.find(item);
    return it == symbols_.end() ? nullptr : it->second;
}

void TWatchForm::Fill(QTreeWidgetItem* item, const DecodedValue& v, const QString& path) {
    const QString text = QString::fromStdString(v.text);
    item->setText(kValue, text);
    // Red: changed since the last stop. A row seen for the first time starts from what it shows.
    auto base = baseline_.find(path);
    if (base == baseline_.end()) base = baseline_.emplace(path, text).first;
    const bool changed = base->second != text;
    item->setForeground(kValue, changed ? QBrush(Qt::red) : QBrush());
    shown_[path] = text;
    // Members and elements in place while they stay the same, so that expanded rows stay open.
    const int n = int(std::min<size_t>(v.children.size(), kShownChildren));
    bool same = item->childCount() == n;
    for (int i = 0; same && i < n; ++i)
        same = item->child(i)->text(kName) == QString::fromStdString(v.children[size_t(i)].name);
    if (!same) qDeleteAll(item->takeChildren());
    for (int i = 0; i < n; ++i) {
        const DecodedValue& c = v.children[size_t(i)];
        QTreeWidgetItem* child = same ? item->child(i) : new QTreeWidgetItem(item);
        child->setText(kName, QString::fromStdString(c.name));
        child->setText(kType, QString::fromStdString(c.type));
        Fill(child, c, path + "/" + child->text(kName));
    }
}

void TWatchForm::Refresh() {
    filling_ = true;
    const SymbolTable* table = ActiveProgramSymbols();
    if (!table) {
        if (!placeholder_) {
            WatchList->clear();
            symbols_.clear();
            auto* item = new QTreeWidgetItem(WatchList);
            item->setText(kName, QStringLiteral("No symbols: open a program with a .cdb beside it, or use File > Load Symbols..."));
            item->setFirstColumnSpanned(true);
            placeholder_ = true;
        }
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
    QStringList paths;
    for (size_t i = 0; i < rows.size(); ++i)
        paths << (i < locals ? QString::fromStdString(function->name) + "." : QString()) + rows[i].first;

    // The same variables as before keep their rows; another set (the program counter moved to
    // another function, other symbols) is listed anew, with the same rows expanded and the same
    // scroll position.
    bool same = !placeholder_ && WatchList->topLevelItemCount() == paths.size();
    for (int i = 0; same && i < paths.size(); ++i)
        same = WatchList->topLevelItem(i)->data(kName, Qt::UserRole).toString() == paths[i];
    const int scroll = WatchList->verticalScrollBar()->value();
    const bool firstList = placeholder_ || WatchList->topLevelItemCount() == 0;
    if (!same) {
        WatchList->clear();
        placeholder_ = false;
    }
    symbols_.clear();
    for (size_t i = 0; i < rows.size(); ++i) {
        const auto& [name, s] = rows[i];
        QTreeWidgetItem* item = same ? WatchList->topLevelItem(int(i)) : new QTreeWidgetItem(WatchList);
        item->setText(kName, name);
        item->setText(kType, QString::fromStdString(s->type.Text()));
        item->setText(kSpace, SpaceText(*s));
        item->setText(kAddress, AddressText(LocateSymbol(*s, *table, memory)));
        item->setText(kSize, SizeText(*s));
        item->setData(kName, Qt::UserRole, paths[int(i)]);
        DecodedValue v = DecodeSymbol(*s, *table, memory);
        Fill(item, v, paths[int(i)]);
        const bool editable = Editable(*s) && v.available;
        if (editable != bool(item->flags() & Qt::ItemIsEditable))
            item->setFlags(editable ? item->flags() | Qt::ItemIsEditable : item->flags() & ~Qt::ItemIsEditable);
        symbols_[item] = s;
    }
    ApplyExpansion();
    if (!same) {
        WatchList->verticalScrollBar()->setValue(scroll);
        // The first variables listed size the columns to their texts, so that the value column
        // has the room; other variables (a function's locals) may need wider columns, and then
        // none gets narrower.
        for (int c = kName; c < kValue; ++c) {
            const int before = WatchList->columnWidth(c);
            WatchList->resizeColumnToContents(c);
            if (!firstList && WatchList->columnWidth(c) < before) WatchList->setColumnWidth(c, before);
        }
    }
    filling_ = false;
}

QString TWatchForm::PathOf(QTreeWidgetItem* item) const {
    QString path;
    for (; item && item->parent(); item = item->parent()) path = QLatin1Char('/') + item->text(kName) + path;
    return item ? item->data(kName, Qt::UserRole).toString() + path : path;
}

// Rows listed anew open as they were: every remembered path that is listed now is expanded.
void TWatchForm::ApplyExpansion() {
    const std::set<QString>& rows = Expanded();
    if (rows.empty()) return;
    const bool filling = filling_;
    filling_ = true;
    std::vector<QTreeWidgetItem*> stack;
    for (int i = 0; i < WatchList->topLevelItemCount(); ++i) stack.push_back(WatchList->topLevelItem(i));
    while (!stack.empty()) {
        QTreeWidgetItem* item = stack.back();
        stack.pop_back();
        if (item->childCount() == 0) continue;
        if (!item->isExpanded() && rows.count(PathOf(item))) item->setExpanded(true);
        for (int i = 0; i < item->childCount(); ++i) stack.push_back(item->child(i));
    }
    filling_ = filling;
}

void TWatchForm::ApplyExpansionNow() {
    ApplyExpansion();
    // Rows the paths no longer name close.
    const std::set<QString>& rows = Expanded();
    std::vector<QTreeWidgetItem*> stack;
    for (int i = 0; i < WatchList->topLevelItemCount(); ++i) stack.push_back(WatchList->topLevelItem(i));
    while (!stack.empty()) {
        QTreeWidgetItem* item = stack.back();
        stack.pop_back();
        if (item->isExpanded() && !rows.count(PathOf(item))) item->setExpanded(false);
        for (int i = 0; i < item->childCount(); ++i) stack.push_back(item->child(i));
    }
}

void TWatchForm::RunStarts() {
    Refresh();
    baseline_ = shown_;
    Refresh();
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
    SubmitVariableStores(*stores);
    // The edit is no change the program made: this value is not drawn red, and the other values
    // keep their marks.
    const QString path = item->data(kName, Qt::UserRole).toString();
    DecodedValue v = DecodeSymbol(s, *table, memory);
    baseline_[path] = shown_[path] = QString::fromStdString(v.text);
    QMetaObject::invokeMethod(this, [this] { Refresh(); }, Qt::QueuedConnection);
    return true;
}

QTreeWidgetItem* TWatchForm::FindRow(const QString& name) const {
    for (int i = 0; i < WatchList->topLevelItemCount(); ++i)
        if (WatchList->topLevelItem(i)->text(kName) == name) return WatchList->topLevelItem(i);
    return nullptr;
}

std::optional<TWatchForm::MemoryBytes> TWatchForm::MemoryOf(QTreeWidgetItem* item) const {
    const Symbol* s = SymbolOf(item);
    const SymbolTable* table = ActiveProgramSymbols();
    if (!s || !table) return std::nullopt;
    MachineMemory memory;
    const ValueLocation l = LocateSymbol(*s, *table, memory);
    using View = MainWindowLink::MemoryView;
    const int size = std::max<int>(1, int(std::min<uint32_t>(s->type.size, 0x10000)));
    // The internal view shows 00h-7Fh, and on the 8052 the upper RAM (indirect) as 80h-FFh; the
    // SFRs are the register view's.
    auto internal = [&](uint32_t first, int count, uint32_t end) -> std::optional<MemoryBytes> {
        if (first >= end) return std::nullopt;
        return MemoryBytes{View::Internal, uint16_t(first), int(std::min<uint32_t>(uint32_t(count), end - first))};
    };
    const uint32_t idataEnd = Processor8052 ? 0x100 : 0x80;
    switch (l.kind) {
        case ValueLocation::Data: return internal(l.address & 0xFF, size, 0x80);
        case ValueLocation::Idata: return internal(l.address & 0xFF, size, idataEnd);
        case ValueLocation::Bit: return internal(BitByteAddress(uint8_t(l.address)), 1, 0x80);
        case ValueLocation::Registers: {
            if (l.registers.empty()) return std::nullopt;
            const auto [lo, hi] = std::minmax_element(l.registers.begin(), l.registers.end());
            return internal((InternalRam[Sfr::PSW] & 0x18) + *lo, int(*hi - *lo + 1), 0x20);
        }
        case ValueLocation::Xdata:
            return MemoryBytes{View::External, uint16_t(l.address), std::min(size, 0x10000 - int(l.address & 0xFFFF))};
        default: return std::nullopt;
    }
}

QMenu* TWatchForm::MakeContextMenu(QTreeWidgetItem* item) {
    auto* menu = new QMenu(this);
    QAction* show = menu->addAction(QStringLiteral("Show in Memory"));
    show->setObjectName(QStringLiteral("ShowInMemory"));
    show->setEnabled(MemoryOf(item).has_value() && MainWindow);
    // The menu stays open while a run refreshes the list: the variable is found again by its path
    // when the command is chosen.
    while (item->parent()) item = item->parent();
    const QString path = item->data(kName, Qt::UserRole).toString();
    connect(show, &QAction::triggered, this, [this, path] {
        for (int i = 0; i < WatchList->topLevelItemCount(); ++i)
            if (WatchList->topLevelItem(i)->data(kName, Qt::UserRole).toString() == path)
                return ShowInMemory(WatchList->topLevelItem(i));
    });
    // Data breakpoints on the variable's bytes: checked while they are set, unchecked to remove
    // them. Variables without fixed bytes (in registers, on the stack) have none.
    const SymbolTable* table = ActiveProgramSymbols();
    menu->setToolTipsVisible(true);
    const struct {
        const char *caption, *name;
        WatchMatch match;
    } commands[] = {{"Break on Write", "BreakOnWrite", WatchMatch::AnyWrite},
                    {"Break on Change", "BreakOnChange", WatchMatch::Changes}};
    for (const auto& c : commands) {
        DataTarget target;
        target.target = path.toStdString();
        target.match = c.match;
        const auto resolved = table ? ResolveDataTarget(target, table)
                                    : Expected<std::vector<DataBreakpoint>>::Failure("the program has no symbols");
        const std::vector<DataBreakpoint> set = resolved ? *resolved : std::vector<DataBreakpoint>();
        QAction* a = menu->addAction(QString::fromLatin1(c.caption));
        a->setObjectName(QString::fromLatin1(c.name));
        a->setCheckable(true);
        a->setChecked(HasVariableBreakpoints(set));
        a->setEnabled(!set.empty() && !(MainWindow && MainWindow->RunInProgress()));
        if (!resolved) a->setToolTip(QString::fromStdString(resolved.error()));
        const std::string variable = target.target;
        connect(a, &QAction::triggered, this, [set, variable](bool on) {
            on ? AddVariableBreakpoints(set, variable) : RemoveVariableBreakpoints(set);
        });
    }
    // Back to the last instruction that wrote any of the variable's bytes.
    QAction* last = menu->addAction(QStringLiteral("Go to Last Write"));
    last->setObjectName(QStringLiteral("GoToLastWrite"));
    last->setEnabled(MemoryOf(item).has_value() && MainWindow);
    connect(last, &QAction::triggered, this, [this, path] {
        for (int i = 0; i < WatchList->topLevelItemCount(); ++i)
            if (WatchList->topLevelItem(i)->data(kName, Qt::UserRole).toString() == path)
                return GoToLastWrite(WatchList->topLevelItem(i));
    });
    return menu;
}

void TWatchForm::GoToLastWrite(QTreeWidgetItem* item) {
    const auto bytes = MemoryOf(item);
    if (!bytes || !MainWindow) return;
    std::vector<DataBreakpoint> targets;
    for (int i = 0; i < bytes->count; ++i) {
        DataBreakpoint t;
        t.space = bytes->view == MainWindowLink::MemoryView::External ? WatchSpace::Xram : WatchSpace::Iram;
        t.address = uint16_t(bytes->first + i);
        targets.push_back(t);
    }
    MainWindow->GoToLastWrite(targets);
}

void TWatchForm::ShowInMemory(QTreeWidgetItem* item) {
    const auto bytes = MemoryOf(item);
    if (bytes && MainWindow) MainWindow->ShowMemoryBytes(bytes->view, bytes->first, bytes->count);
}
