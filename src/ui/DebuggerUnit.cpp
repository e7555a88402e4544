// The debugger window: breakpoint lists, the call stack and the stopwatch; the data breakpoint editor.
#include "DebuggerUnit.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>

#include "Code.h"
#include "CodePlaces.h"
#include "Disassembler.h"
#include "HexText.h"
#include "MainWindowLink.h"
#include "ProgramSymbols.h"
#include "Prompts.h"
#include "Targets.h"
#include "RunThreads.h"
#include "Settings.h"
#include "Unit2.h"

QPointer<TDebuggerForm> DebuggerForm;

namespace {

QString AddressText(unsigned v) { return QString::fromStdString(HexAddressText(v)); }
QString ByteText(unsigned v) { return QString::fromStdString(HexByteText(v)); }

QString InterruptName(uint16_t vector) {
    switch (vector) {
        case 0x03: return QStringLiteral("External 0 interrupt");
        case 0x0B: return QStringLiteral("Timer 0 interrupt");
        case 0x13: return QStringLiteral("External 1 interrupt");
        case 0x1B: return QStringLiteral("Timer 1 interrupt");
        case 0x23: return QStringLiteral("Serial interrupt");
        case 0x2B: return QStringLiteral("Timer 2 interrupt");
    }
    return QStringLiteral("Interrupt");
}

QString ListingText(uint16_t address) {
    const int32_t row = ListingRowMap[address];
    if (row == kNoListingRow || row >= int32_t(Listing.size())) return {};
    return QString::fromStdString(Listing[size_t(row)].Text);
}

QTreeWidget* MakeList(const QStringList& headers, const QString& name, const QString& description) {
    auto* list = new QTreeWidget;
    list->setObjectName(name);
    list->setHeaderLabels(headers);
    list->setRootIsDecorated(false);
    list->setUniformRowHeights(true);
    list->setAllColumnsShowFocus(true);
    list->setAccessibleName(name);
    list->setAccessibleDescription(description);
    return list;
}

// Every column but the last as wide as its texts, so that names and lines are read whole.
void FitColumns(QTreeWidget* list) {
    for (int c = 0; c + 1 < list->columnCount(); ++c) list->resizeColumnToContents(c);
}

QPushButton* MakeButton(const QString& caption, const QString& description) {
    auto* b = new QPushButton(caption);
    b->setAccessibleDescription(description);
    return b;
}

QString CyclesText(uint64_t cycles) {
    const int32_t f = Settings.Frequency;
    const QString time = f > 0 ? QString::fromStdString(FormatSeconds(double(cycles) / (double(f) / 12.0)))
                               : QStringLiteral("?");
    return QStringLiteral("%1 cycles, %2 sec").arg(cycles).arg(time);
}

}  // namespace

// ---- The data breakpoint editor ------------------------------------------------------------------

TDataBreakpointDialog::TDataBreakpointDialog(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("DataBreakpointDialog"));
    setWindowTitle(QStringLiteral("Data Breakpoint"));
    VariableBox = new QComboBox;
    VariableBox->setEditable(true);
    VariableBox->setInsertPolicy(QComboBox::NoInsert);
    VariableBox->addItem(QString());
    if (const SymbolTable* table = ActiveProgramSymbols())
        for (const std::string& name : WatchableVariables(*table)) VariableBox->addItem(QString::fromStdString(name));
    VariableBox->setEnabled(VariableBox->count() > 1);
    VariableBox->setAccessibleName(QStringLiteral("Variable"));
    VariableBox->setAccessibleDescription(QStringLiteral(
        "A variable of the program to watch by name, every byte of it; empty to watch an address"));
    SpaceBox = new QComboBox;
    SpaceBox->addItems({QStringLiteral("Internal RAM"), QStringLiteral("SFR"), QStringLiteral("Bit"),
                        QStringLiteral("External RAM")});
    SpaceBox->setAccessibleName(QStringLiteral("Memory"));
    SpaceBox->setAccessibleDescription(QStringLiteral("The memory the watched address lies in"));
    AddressEdit = new QLineEdit;
    AddressEdit->setAccessibleName(QStringLiteral("Address"));
    AddressEdit->setAccessibleDescription(QStringLiteral("Hexadecimal address to watch"));
    ConditionBox = new QComboBox;
    ConditionBox->addItems({QStringLiteral("Any write"), QStringLiteral("Written value equals"),
                            QStringLiteral("Value changes")});
    ConditionBox->setAccessibleName(QStringLiteral("Condition"));
    ConditionBox->setAccessibleDescription(QStringLiteral("Which writes stop the run"));
    ValueEdit = new QLineEdit;
    ValueEdit->setAccessibleName(QStringLiteral("Value"));
    ValueEdit->setAccessibleDescription(QStringLiteral("Hexadecimal byte (a bit: 0 or 1) that stops the run"));
    EnabledBox = new QCheckBox(QStringLiteral("Enabled"));
    EnabledBox->setChecked(true);
    EnabledBox->setAccessibleDescription(QStringLiteral("Whether the breakpoint stops runs"));
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Variable:"), VariableBox);
    form->addRow(QStringLiteral("Memory:"), SpaceBox);
    form->addRow(QStringLiteral("Address (hex):"), AddressEdit);
    form->addRow(QStringLiteral("Stop on:"), ConditionBox);
    form->addRow(QStringLiteral("Value (hex):"), ValueEdit);
    form->addRow(QString(), EnabledBox);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
    connect(ConditionBox, &QComboBox::currentIndexChanged, this, [this] { UpdateValueField(); });
    connect(VariableBox, &QComboBox::currentTextChanged, this, [this] { UpdateAddressFields(); });
    UpdateValueField();
}

// A variable names its own memory and address: the fields show where it lies and rest.
void TDataBreakpointDialog::UpdateAddressFields() {
    const QString name = VariableBox->currentText().trimmed();
    SpaceBox->setEnabled(name.isEmpty());
    AddressEdit->setEnabled(name.isEmpty());
    const SymbolTable* table = ActiveProgramSymbols();
    if (name.isEmpty() || !table) return;
    DataTarget target;
    target.target = name.toStdString();
    const auto bytes = ResolveDataTarget(target, table);
    if (!bytes || bytes->empty()) return;
    const DataBreakpoint& first = bytes->front();
    SpaceBox->setCurrentIndex(int(first.space));
    AddressEdit->setText(QString::fromStdString(HexDigits(first.address, first.address > 0xFF ? 4 : 2)));
}

bool TDataBreakpointDialog::ReadBreakpoints(std::vector<DataBreakpoint>* out, QString* error) const {
    out->clear();
    const QString name = VariableBox->currentText().trimmed();
    if (name.isEmpty()) {
        DataBreakpoint b;
        if (!ReadBreakpoint(&b, error)) return false;
        out->push_back(b);
        return true;
    }
    // A name as the runner's --watch takes it: every byte of a variable (an address also works).
    DataTarget target;
    target.target = name.toStdString();
    target.match = WatchMatch(ConditionBox->currentIndex());
    target.value = ValueEdit->text().trimmed().toStdString();
    const auto set = ResolveDataTarget(target, ActiveProgramSymbols());
    if (!set) {
        *error = QString::fromStdString(set.error());
        if (!error->isEmpty()) (*error)[0] = error->at(0).toUpper();
        return false;
    }
    *out = *set;
    for (DataBreakpoint& b : *out) b.enabled = EnabledBox->isChecked();
    return true;
}

void TDataBreakpointDialog::UpdateValueField() {
    ValueEdit->setEnabled(ConditionBox->currentIndex() == int(WatchMatch::Equals));
}

void TDataBreakpointDialog::SetBreakpoint(const DataBreakpoint& b) {
    SpaceBox->setCurrentIndex(int(b.space));
    AddressEdit->setText(QString::number(b.address, 16).toUpper());
    ConditionBox->setCurrentIndex(int(b.match));
    ValueEdit->setText(b.match == WatchMatch::Equals ? QString::number(b.value, 16).toUpper() : QString());
    EnabledBox->setChecked(b.enabled);
    UpdateValueField();
}

bool TDataBreakpointDialog::ReadBreakpoint(DataBreakpoint* b, QString* error) const {
    // An address in the chosen memory, read by the same typed routine as a variable's name.
    DataTarget target;
    target.target = AddressEdit->text().trimmed().toStdString();
    target.space = WatchSpace(SpaceBox->currentIndex());
    target.match = WatchMatch(ConditionBox->currentIndex());
    if (target.match == WatchMatch::Equals) target.value = ValueEdit->text().trimmed().toStdString();
    const auto set = ResolveDataTarget(target, nullptr);
    if (!set || set->size() != 1) {
        *error = set ? QStringLiteral("no address") : QString::fromStdString(set.error());
        if (!error->isEmpty()) (*error)[0] = error->at(0).toUpper();
        return false;
    }
    *b = set->front();
    b->enabled = EnabledBox->isChecked();
    return true;
}

void TDataBreakpointDialog::accept() {
    std::vector<DataBreakpoint> b;
    QString error;
    if (!ReadBreakpoints(&b, &error)) {
        CurrentPrompts().Error(this, error + QLatin1Char('.'));
        return;
    }
    QDialog::accept();
}

// ---- The debugger window ---------------------------------------------------------------------

TDebuggerForm::TDebuggerForm(QWidget* parent) : QMdiSubWindow(parent) {
    setAttribute(Qt::WA_DeleteOnClose);
    setObjectName(QStringLiteral("DebuggerForm"));
    setWindowTitle(QStringLiteral("Debugger"));
    setWindowIcon(QIcon(QStringLiteral(":/icons/step.svg")));
    auto* client = new QWidget;
    auto* layout = new QVBoxLayout(client);
    layout->setContentsMargins(4, 4, 4, 4);
    StopLabel = new QLabel;
    StopLabel->setObjectName(QStringLiteral("StopLabel"));
    StopLabel->setWordWrap(true);
    StopLabel->setAccessibleName(QStringLiteral("Last stop"));
    StopLabel->setAccessibleDescription(QStringLiteral("The data breakpoint that stopped the last run and the instruction that wrote"));
    StopLabel->hide();
    layout->addWidget(StopLabel);
    Tabs = new QTabWidget;
    Tabs->setObjectName(QStringLiteral("Tabs"));
    layout->addWidget(Tabs);

    // Code breakpoints.
    auto* code = new QWidget;
    auto* codeLayout = new QVBoxLayout(code);
    CodeList = MakeList({QStringLiteral("Address"), QStringLiteral("Source"), QStringLiteral("Instruction"), QStringLiteral("State")},
                        QStringLiteral("Code breakpoints"),
                        QStringLiteral("The code breakpoints by address, C line and function; a run stops before these instructions; double-click shows one in the source or the listing"));
    RemoveCode = MakeButton(QStringLiteral("Remove"), QStringLiteral("Removes the selected code breakpoint"));
    RemoveAllCode = MakeButton(QStringLiteral("Remove All"), QStringLiteral("Removes every code breakpoint"));
    ToggleCode = MakeButton(QStringLiteral("Disable"), QStringLiteral("Disables or enables the selected code breakpoint without removing it"));
    auto* codeButtons = new QHBoxLayout;
    for (QPushButton* b : {RemoveCode, RemoveAllCode, ToggleCode}) codeButtons->addWidget(b);
    codeButtons->addStretch();
    codeLayout->addWidget(CodeList);
    codeLayout->addLayout(codeButtons);
    Tabs->addTab(code, QStringLiteral("Breakpoints"));

    // Data breakpoints.
    auto* data = new QWidget;
    auto* dataLayout = new QVBoxLayout(data);
    DataList = MakeList({QStringLiteral("Place"), QStringLiteral("Stop on"), QStringLiteral("State")},
                        QStringLiteral("Data breakpoints"),
                        QStringLiteral("A run stops after an instruction that writes one of these places"));
    AddData = MakeButton(QStringLiteral("Add..."), QStringLiteral("Adds a data breakpoint"));
    EditData = MakeButton(QStringLiteral("Edit..."), QStringLiteral("Changes the selected data breakpoint"));
    RemoveData = MakeButton(QStringLiteral("Remove"), QStringLiteral("Removes the selected data breakpoint"));
    ToggleData = MakeButton(QStringLiteral("Disable"), QStringLiteral("Disables or enables the selected data breakpoint"));
    auto* dataButtons = new QHBoxLayout;
    for (QPushButton* b : {AddData, EditData, RemoveData, ToggleData}) dataButtons->addWidget(b);
    dataButtons->addStretch();
    dataLayout->addWidget(DataList);
    dataLayout->addLayout(dataButtons);
    Tabs->addTab(data, QStringLiteral("Data Breakpoints"));

    // Call stack.
    StackList = MakeList({QStringLiteral("Function"), QStringLiteral("Source"), QStringLiteral("At"), QStringLiteral("Returns to"), QStringLiteral("SP")},
                         QStringLiteral("Call stack"),
                         QStringLiteral("The functions and interrupts not yet returned from, innermost first, with the C line each one is at; double-click shows the place in the source or the listing"));
    Tabs->addTab(StackList, QStringLiteral("Call Stack"));

    // Stopwatch.
    auto* watch = new QWidget;
    auto* watchLayout = new QFormLayout(watch);
    auto makeValue = [](const QString& name, const QString& description) {
        auto* l = new QLabel;
        l->setAccessibleName(name);
        l->setAccessibleDescription(description);
        l->setTextInteractionFlags(Qt::TextSelectableByMouse);
        return l;
    };
    ResetCycles = makeValue(QStringLiteral("Since Reset"), QStringLiteral("Machine cycles and controller time since Reset"));
    LastRunCycles = makeValue(QStringLiteral("Since last stop"), QStringLiteral("Machine cycles and controller time from the stop before the last one to the last stop"));
    ZeroCycles = makeValue(QStringLiteral("Stopwatch"), QStringLiteral("Machine cycles and controller time since the stopwatch was zeroed"));
    ZeroButton = MakeButton(QStringLiteral("Zero"), QStringLiteral("Sets the stopwatch to zero"));
    watchLayout->addRow(QStringLiteral("Since Reset:"), ResetCycles);
    watchLayout->addRow(QStringLiteral("Since last stop:"), LastRunCycles);
    watchLayout->addRow(QStringLiteral("Stopwatch:"), ZeroCycles);
    watchLayout->addRow(QString(), ZeroButton);
    Tabs->addTab(watch, QStringLiteral("Stopwatch"));

    setWidget(client);
    resize(520, 300);

    connect(CodeList, &QTreeWidget::itemSelectionChanged, this, [this] { UpdateButtons(); });
    connect(DataList, &QTreeWidget::itemSelectionChanged, this, [this] { UpdateButtons(); });
    connect(RemoveCode, &QPushButton::clicked, this, [this] {
        if (QTreeWidgetItem* i = CodeList->currentItem()) RemoveBreakpoint(i->data(1, Qt::UserRole).toInt());
        RefreshAll();
    });
    connect(RemoveAllCode, &QPushButton::clicked, this, [this] {
        RemoveCodeBreakpoints();
        RefreshAll();
    });
    connect(ToggleCode, &QPushButton::clicked, this, [this] {
        if (QTreeWidgetItem* i = CodeList->currentItem()) {
            const int id = i->data(1, Qt::UserRole).toInt();
            if (const auto b = FindBreakpoint(id)) EnableBreakpoint(id, !b->enabled);
        }
        RefreshAll();
    });
    connect(AddData, &QPushButton::clicked, this, [this] { OpenDataEditor(-1); });
    connect(EditData, &QPushButton::clicked, this, [this] {
        if (QTreeWidgetItem* i = DataList->currentItem()) OpenDataEditor(DataList->indexOfTopLevelItem(i));
    });
    connect(DataList, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* i) {
        if (!running_) OpenDataEditor(DataList->indexOfTopLevelItem(i));
    });
    connect(RemoveData, &QPushButton::clicked, this, [this] {
        const int n = DataList->indexOfTopLevelItem(DataList->currentItem());
        const auto data = ListBreakpoints(Breakpoint::Kind::Data);
        if (n >= 0 && n < int(data.size())) RemoveBreakpoint(data[size_t(n)].id);
        ForgetWatchHit();
        RefreshAll();
    });
    connect(ToggleData, &QPushButton::clicked, this, [this] {
        const int n = DataList->indexOfTopLevelItem(DataList->currentItem());
        const auto data = ListBreakpoints(Breakpoint::Kind::Data);
        if (n >= 0 && n < int(data.size())) EnableBreakpoint(data[size_t(n)].id, !data[size_t(n)].enabled);
        RefreshAll();
        DataList->setCurrentItem(DataList->topLevelItem(n));
    });
    connect(CodeList, &QTreeWidget::itemDoubleClicked, this, [](QTreeWidgetItem* i) {
        if (MainWindow) MainWindow->ShowCodePlace(uint16_t(i->data(0, Qt::UserRole).toUInt()));
    });
    connect(StackList, &QTreeWidget::itemDoubleClicked, this, [](QTreeWidgetItem* i) {
        if (MainWindow) MainWindow->ShowCodePlace(uint16_t(i->data(0, Qt::UserRole).toUInt()));
    });
    connect(ZeroButton, &QPushButton::clicked, this, [this] {
        // Only the zeroed counter: the one since Reset counts from the machine's total, which the
        // simulation thread owns while a run is in progress.
        CyclesSinceZero = 0;
        ZeroCycles->setText(CyclesText(0));
    });
    RefreshAll();
}

TDebuggerForm::~TDebuggerForm() = default;

void TDebuggerForm::closeEvent(QCloseEvent* event) {
    QMdiSubWindow::closeEvent(event);
    if (event->isAccepted() && DebuggerForm == this) DebuggerForm = nullptr;
}

void TDebuggerForm::RefreshAll() {
    FillCode();
    FillData();
    FillStack();
    FillStopwatch();
    if (Form2) Form2->RepaintGrid();
}

void TDebuggerForm::SetRunning(bool running) {
    running_ = running;
    UpdateButtons();
}

void TDebuggerForm::UpdateButtons() {
    const bool code = CodeList->currentItem() != nullptr, data = DataList->currentItem() != nullptr;
    RemoveCode->setEnabled(!running_ && code);
    ToggleCode->setEnabled(!running_ && code);
    RemoveAllCode->setEnabled(!running_ && CodeList->topLevelItemCount() > 0);
    AddData->setEnabled(!running_);
    EditData->setEnabled(!running_ && data);
    RemoveData->setEnabled(!running_ && data);
    ToggleData->setEnabled(!running_ && data);
    if (QTreeWidgetItem* i = CodeList->currentItem())
        if (const auto b = FindBreakpoint(i->data(1, Qt::UserRole).toInt()))
            ToggleCode->setText(b->enabled ? QStringLiteral("Disable") : QStringLiteral("Enable"));
    const int n = DataList->indexOfTopLevelItem(DataList->currentItem());
    const auto watches = ListBreakpoints(Breakpoint::Kind::Data);
    if (n >= 0 && n < int(watches.size()))
        ToggleData->setText(watches[size_t(n)].enabled ? QStringLiteral("Disable") : QStringLiteral("Enable"));
}

void TDebuggerForm::FillCode() {
    const int keep = CodeList->indexOfTopLevelItem(CodeList->currentItem());
    CodeList->clear();
    const SymbolTable* table = ActiveProgramSymbols();
    for (const Breakpoint& b : ListBreakpoints(Breakpoint::Kind::Code)) {
        const QString place = QString::fromStdString(CodePlaceText(DescribeCode(table, b.address)));
        auto* item = new QTreeWidgetItem(CodeList, {AddressText(b.address), place, ListingText(b.address),
                                                    b.enabled ? QStringLiteral("Enabled") : QStringLiteral("Disabled")});
        item->setData(0, Qt::UserRole, unsigned(b.address));
        item->setData(1, Qt::UserRole, b.id);
    }
    FitColumns(CodeList);
    if (keep >= 0) CodeList->setCurrentItem(CodeList->topLevelItem(std::min(keep, CodeList->topLevelItemCount() - 1)));
    UpdateButtons();
}

void TDebuggerForm::FillData() {
    const int keep = DataList->indexOfTopLevelItem(DataList->currentItem());
    DataList->clear();
    const WatchHitInfo hit = LastWatchHit();
    const SymbolTable* table = ActiveProgramSymbols();
    // "result (IRAM 09h)" where a variable lies, the address alone elsewhere.
    auto place = [table](const DataBreakpoint& b) {
        const std::string variable = DataBreakpointVariable(table, b);
        return QString::fromStdString(variable.empty() ? WatchPlaceText(b) : variable + " (" + WatchPlaceText(b) + ")");
    };
    const auto data = ListBreakpoints(Breakpoint::Kind::Data);
    int hitRow = -1;
    for (size_t n = 0; n < data.size(); ++n) {
        const DataBreakpoint& b = data[n].data;
        new QTreeWidgetItem(DataList, {place(b),
                                       QString::fromStdString(WatchConditionText(b)),
                                       data[n].enabled ? QStringLiteral("Enabled") : QStringLiteral("Disabled")});
        if (hit.hit && data[n].id == hit.id) hitRow = int(n);
    }
    if (hitRow >= 0) {
        DataList->setCurrentItem(DataList->topLevelItem(hitRow));
        const std::string source = CodePlaceText(DescribeCode(table, hit.writer));
        StopLabel->setText(QStringLiteral("Stopped by data breakpoint %1 (%2): the instruction at %3 wrote %4.")
                               .arg(hitRow + 1)
                               .arg(place(data[size_t(hitRow)].data))
                               .arg(AddressText(hit.writer) + (source.empty() ? QString() : QStringLiteral(" in ") + QString::fromStdString(source)),
                                    ByteText(hit.value)));
        StopLabel->show();
    } else {
        StopLabel->clear();
        StopLabel->hide();
        if (keep >= 0 && DataList->topLevelItemCount() > 0)
            DataList->setCurrentItem(DataList->topLevelItem(std::min(keep, DataList->topLevelItemCount() - 1)));
    }
    FitColumns(DataList);
    UpdateButtons();
}

void TDebuggerForm::FillStack() {
    StackList->clear();
    const SymbolTable* table = ActiveProgramSymbols();
    const std::vector<CallFrame> frames = CallStackSnapshot();
    // The C line each frame is at, "" where there is no source.
    auto source = [table](uint16_t at) {
        const CodePlace p = DescribeCode(table, at);
        return p.file.empty() ? QString() : QStringLiteral("%1:%2").arg(QString::fromStdString(p.file)).arg(p.line);
    };
    // A frame's routine by name: the function it is in, a library routine's label, its address.
    auto routine = [table](uint16_t target, uint16_t at) {
        const CodePlace p = DescribeCode(table, at);
        if (!p.function.empty()) return QString::fromStdString(p.function);
        const std::string label = table ? table->CodeLabelAt(target) : std::string();
        return label.empty() ? AddressText(target) : QString::fromStdString(label);
    };
    uint16_t at = ProgramCounter;
    for (auto f = frames.rbegin(); f != frames.rend(); ++f) {
        const QString name = f->interrupt ? QStringLiteral("%1 (%2)").arg(InterruptName(f->target), routine(f->target, at))
                                          : routine(f->target, at);
        auto* item = new QTreeWidgetItem(StackList, {name, source(at), AddressText(at), AddressText(f->returnAddress), ByteText(f->sp)});
        item->setData(0, Qt::UserRole, at);
        at = f->site;
    }
    // The outermost frame: main, or "(program)" where no function is known.
    const CodePlace p = DescribeCode(table, at);
    auto* outer = new QTreeWidgetItem(StackList, {p.function.empty() ? QStringLiteral("(program)") : QString::fromStdString(p.function),
                                                  source(at), AddressText(at), QString(), QString()});
    outer->setData(0, Qt::UserRole, at);
    FitColumns(StackList);
}

void TDebuggerForm::FillStopwatch() {
    resetCyclesAtStop_ = CyclesSinceReset();
    ResetCycles->setText(CyclesText(resetCyclesAtStop_));
    LastRunCycles->setText(CyclesText(CyclesLastRun));
    ZeroCycles->setText(CyclesText(CyclesSinceZero));
}

void TDebuggerForm::ShowRunningStopwatch(uint64_t runCycles) {
    // Only a text that changed is set: an unchanged label is not repainted.
    const auto show = [](QLabel* label, uint64_t cycles) {
        const QString text = CyclesText(cycles);
        if (label->text() != text) label->setText(text);
    };
    show(ResetCycles, resetCyclesAtStop_ + runCycles);
    show(LastRunCycles, runCycles);
    show(ZeroCycles, CyclesSinceZero + runCycles);
}

void TDebuggerForm::StoreDataBreakpoint(int edit, const DataBreakpoint& b, const std::string& label) {
    const auto data = ListBreakpoints(Breakpoint::Kind::Data);
    if (edit >= 0 && edit < int(data.size())) {
        ChangeDataBreakpoint(data[size_t(edit)].id, b);
        ForgetWatchHit();
    } else {
        AddDataBreakpoint(b, label);
    }
    RefreshAll();
    DataList->setCurrentItem(DataList->topLevelItem(edit >= 0 ? edit : DataList->topLevelItemCount() - 1));
}

void TDebuggerForm::OpenDataEditor(int edit) {
    TDataBreakpointDialog dialog(this);
    const auto data = ListBreakpoints(Breakpoint::Kind::Data);
    if (edit >= 0 && edit < int(data.size())) dialog.SetBreakpoint(data[size_t(edit)].data);
    if (dialog.exec() != QDialog::Accepted) return;
    std::vector<DataBreakpoint> set;
    QString error;
    if (!dialog.ReadBreakpoints(&set, &error)) return;
    // An edit changes its own breakpoint; the other bytes of a variable are added after it.
    const std::string label = dialog.VariableBox->currentText().trimmed().toStdString();
    StoreDataBreakpoint(edit, set.front(), label);
    for (size_t i = 1; i < set.size(); ++i) StoreDataBreakpoint(-1, set[i], label);
}

namespace {

bool Same(const DataBreakpoint& a, const DataBreakpoint& b) {
    return a.space == b.space && a.address == b.address && a.match == b.match &&
           (a.match != WatchMatch::Equals || a.value == b.value);
}

// The id of the data breakpoint that watches as `b` does, 0 for none.
int DataBreakpointLike(const DataBreakpoint& b) {
    for (const Breakpoint& d : ListBreakpoints(Breakpoint::Kind::Data))
        if (Same(b, d.data)) return d.id;
    return 0;
}

}  // namespace

bool HasVariableBreakpoints(const std::vector<DataBreakpoint>& set) {
    return !set.empty() && std::all_of(set.begin(), set.end(), [](const DataBreakpoint& b) { return DataBreakpointLike(b) != 0; });
}

void AddVariableBreakpoints(const std::vector<DataBreakpoint>& set, const std::string& variable) {
    for (const DataBreakpoint& b : set) {
        if (const int id = DataBreakpointLike(b)) EnableBreakpoint(id, true);
        else AddDataBreakpoint(b, variable);
    }
    if (DebuggerForm) DebuggerForm->RefreshAll();
}

void RemoveVariableBreakpoints(const std::vector<DataBreakpoint>& set) {
    for (const DataBreakpoint& b : set)
        if (const int id = DataBreakpointLike(b)) RemoveBreakpoint(id);
    ForgetWatchHit();
    if (DebuggerForm) DebuggerForm->RefreshAll();
}
