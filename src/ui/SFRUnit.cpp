// The register view: layout for both processors, refreshes, double-click editing, PSW bit boxes.
#include "SFRUnit.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QTableWidget>

#include "ByteCells.h"
#include "ByteEditUnit.h"
#include "Code.h"
#include "Inputs.h"
#include "MainWindowLink.h"
#include "FitText.h"

QPointer<TSFRForm8051> SFRForm8051;

const RegisterViewRow RegisterViewRows[28] = {
    {"ACC", 1, 0xE0},    {"B", 1, 0xF0},      {"R0", 1, 0},        {"R1", 1, 1},
    {"R2", 1, 2},        {"R3", 1, 3},        {"R4", 1, 4},        {"R5", 1, 5},
    {"R6", 1, 6},        {"R7", 1, 7},        {"SP", 2, 0x81},     {"PCON", 2, 0x87},
    {"SCON", 2, 0x98},   {"IE", 2, 0xA8},     {"IP", 2, 0xB8},     {"DPH", 2, 0x83},
    {"DPL", 2, 0x82},    {"TCON", 3, 0x88},   {"TMOD", 3, 0x89},   {"TH1", 3, 0x8D},
    {"TL1", 3, 0x8B},    {"TH0", 3, 0x8C},    {"TL0", 3, 0x8A},    {"T2CON", 3, 0xC8},
    {"RCAP2H", 3, 0xCB}, {"RCAP2L", 3, 0xCA}, {"TH2", 3, 0xCD},    {"TL2", 3, 0xCC},
};
const char* const PswBitNames[8] = {"P", "", "OV", "RS0", "RS1", "F0", "AC", "CY"};

namespace {

int FirstRowOfColumn(int column) { return column == 1 ? 0 : column == 2 ? 10 : 17; }

}  // namespace

TSFRForm8051::TSFRForm8051(QWidget* parent) : QMdiSubWindow(parent) {
    setAttribute(Qt::WA_DeleteOnClose);
    setObjectName(QStringLiteral("SFRForm8051"));
    setWindowTitle(QStringLiteral("Registers"));
    setWindowIcon(QIcon(QStringLiteral(":/icons/registers.svg")));
    setWindowFlags(Qt::SubWindow | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    const bool is8052 = Processor8052;
    const int extra = is8052 ? 36 : 0;
    column3Rows_ = is8052 ? 11 : 6;
    Client = new QWidget(this);
    Client->setFixedSize(273, 321 + extra);
    // The layout is measured in pixels for a small dialog font.
    QFont small = Client->font();
    small.setPixelSize(11);
    Client->setFont(small);

    GroupBox1 = new QGroupBox(QStringLiteral("Special Function Registers"), Client);
    GroupBox1->setGeometry(8, 8, 257, 225 + extra);
    GroupBox1->installEventFilter(this);
    GroupBox1->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(GroupBox1, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) { LastWriteMenuAt(pos); });
    StringGrid1 = MakeValueGrid(GroupBox1, 10, 1);
    StringGrid1->move(48, 24);
    StringGrid2 = MakeValueGrid(GroupBox1, 7, 1);
    StringGrid2->move(128, 24);
    StringGrid3 = MakeValueGrid(GroupBox1, column3Rows_, 1);
    StringGrid3->move(208, 24);
    StringGrid1->setObjectName(QStringLiteral("StringGrid1"));
    StringGrid2->setObjectName(QStringLiteral("StringGrid2"));
    StringGrid3->setObjectName(QStringLiteral("StringGrid3"));
    for (QTableWidget* g : {StringGrid1, StringGrid2, StringGrid3})
        g->setAttribute(Qt::WA_TransparentForMouseEvents);
    const int labelX[4] = {0, 22, 94, is8052 ? 161 : 172};
    for (int i = 0; i < 17 + column3Rows_; ++i) {
        const RegisterViewRow& row = RegisterViewRows[i];
        int k = i - FirstRowOfColumn(row.Column);
        auto* label = new QLabel(QString::fromLatin1(row.Name), GroupBox1);
        label->move(labelX[row.Column], 27 + 18 * k);
        GridOfColumn(row.Column)->item(k, 0)->setData(Qt::AccessibleDescriptionRole, QString::fromLatin1(row.Name));
    }
    Label1 = new QLabel(QStringLiteral("Program Counter"), GroupBox1);
    Label1->move(is8052 ? 22 : 104, is8052 ? 225 : 189);
    CondenseToFit(Label1, 86);  // up to 2 pixels before the PC cell
    StringGrid5 = MakeValueGrid(GroupBox1, 1, 1);
    StringGrid5->setObjectName(QStringLiteral("StringGrid5"));
    StringGrid5->setColumnWidth(0, 40);
    StringGrid5->setFixedSize(41, 19);
    StringGrid5->move(is8052 ? 110 : 192, is8052 ? 222 : 186);
    StringGrid5->setAttribute(Qt::WA_TransparentForMouseEvents);
    StringGrid5->item(0, 0)->setData(Qt::AccessibleDescriptionRole, QStringLiteral("Program Counter"));

    GroupBox2 = new QGroupBox(QStringLiteral("Program Status Word"), Client);
    GroupBox2->setGeometry(8, 240 + extra, 257, 73);
    StringGrid4 = MakeValueGrid(GroupBox2, 1, 1);
    StringGrid4->setObjectName(QStringLiteral("StringGrid4"));
    StringGrid4->move(24, 31);
    StringGrid4->item(0, 0)->setData(Qt::AccessibleDescriptionRole, QStringLiteral("PSW"));
    for (int i = 0; i < 8; ++i) {
        PswBits[i] = new QCheckBox(GroupBox2);
        PswBits[i]->setGeometry(220 - 22 * i, 40, 16, 16);
        PswBits[i]->setAccessibleName(i == 1 ? QStringLiteral("PSW bit 1")
                                             : QString::fromLatin1(PswBitNames[i]));
        auto* label = new QLabel(QString::fromLatin1(PswBitNames[i]), GroupBox2);
        label->setGeometry(215 - 22 * i, 24, 24, 14);
        label->setAlignment(Qt::AlignHCenter);
        CondenseToFit(label, 19);  // neighbouring labels stand 22 pixels apart: a gap of 3
        connect(PswBits[i], &QCheckBox::clicked, this, [this] { BitsOnClick(); });
    }
    PswBits[1]->setEnabled(false);
    setWidget(Client);
    FillAll();

    // R0-R7 of every bank, since PSW picks the bank shown, and PSW itself.
    AddRefreshTarget(this, RefreshOrder::Registers, [](uint16_t a) {
        if (a < 0x20 || a == 0xD0) return true;
        for (const auto& row : RegisterViewRows)
            if (row.Column > 1 || row.Address >= 0x80)
                if (row.Address == a) return true;
        return false;
    });
}

TSFRForm8051::~TSFRForm8051() { RemoveRefreshTarget(this); }

void TSFRForm8051::closeEvent(QCloseEvent* event) {
    QMdiSubWindow::closeEvent(event);
    ForgetRefreshWindow(this, SFRForm8051, event);
}

QTableWidget* TSFRForm8051::GridOfColumn(int column) const {
    return column == 1 ? StringGrid1 : column == 2 ? StringGrid2 : StringGrid3;
}

uint16_t TSFRForm8051::RowAddress(int index) {
    if (index >= 2 && index <= 9) return uint16_t((InternalRam[0xD0] & 0x18) + (index - 2));
    return RegisterViewRows[index].Address;
}

void TSFRForm8051::SetCell(int rowIndex, uint8_t value) {
    const RegisterViewRow& row = RegisterViewRows[rowIndex];
    int k = rowIndex - FirstRowOfColumn(row.Column);
    QTableWidget* grid = GridOfColumn(row.Column);
    if (k < grid->rowCount()) grid->item(k, 0)->setText(ByteCell(value));
}

void TSFRForm8051::ShowPsw(uint8_t psw) {
    StringGrid4->item(0, 0)->setText(ByteCell(psw));
    settingBits_ = true;
    for (int i = 0; i < 8; ++i) PswBits[i]->setChecked((psw >> i) & 1);
    settingBits_ = false;
}

void TSFRForm8051::FillAll() {
    ShowLiveState();
    ShowProgramCounter(ProgramCounter);
}

void TSFRForm8051::ShowLiveState() {
    // PSW once, so that the R0-R7 rows and the bits agree even while a run changes the bank.
    const uint8_t psw = InternalRam[0xD0];
    for (int i = 0; i < 17 + column3Rows_; ++i) {
        const uint16_t a = i >= 2 && i <= 9 ? uint16_t((psw & 0x18) + (i - 2)) : RowAddress(i);
        SetCell(i, InternalRam[a]);
    }
    ShowPsw(psw);
}

void TSFRForm8051::ShowProgramCounter(uint16_t pc) {
    StringGrid5->item(0, 0)->setText(QStringLiteral(" %1").arg(pc, 4, 16, QLatin1Char('0')).toUpper());
}

void TSFRForm8051::BitsOnClick() {
    if (settingBits_) return;
    unsigned v = 0;
    for (int i = 0; i < 8; ++i)
        if (PswBits[i]->isChecked()) v |= 1u << i;
    // Straight into memory, no side effects; the next step sets P from ACC again.
    SubmitInput(MakeInput(InputKind::PswBits, 0, uint8_t(v)));
    // RS0 and RS1 pick the bank that the R0-R7 rows show.
    ShowLiveState();
}

bool TSFRForm8051::eventFilter(QObject* watched, QEvent* event) {
    if (watched == GroupBox1 && event->type() == QEvent::MouseButtonDblClick) {
        EditAt(static_cast<QMouseEvent*>(event)->position().toPoint());
        return true;
    }
    return QMdiSubWindow::eventFilter(watched, event);
}

int TSFRForm8051::RowIndexAt(const QPoint& pos) const {
    for (int column = 1; column <= 3; ++column) {
        QTableWidget* grid = GridOfColumn(column);
        const int dx = pos.x() - grid->x(), dy = pos.y() - grid->y();
        if (dx <= 1 || dx > 24) continue;
        for (int k = 0; k < grid->rowCount(); ++k)
            if (dy >= 18 * k && dy <= 18 * k + 16) return FirstRowOfColumn(column) + k;
    }
    return -1;
}

void TSFRForm8051::LastWriteMenuAt(const QPoint& pos) {
    const int index = RowIndexAt(pos);
    QMenu menu(this);
    QAction* last = menu.addAction(QStringLiteral("Go to Last Write"));
    last->setObjectName(QStringLiteral("GoToLastWrite"));
    last->setEnabled(index >= 0 && MainWindow);
    if (menu.exec(GroupBox1->mapToGlobal(pos)) != last || index < 0 || !MainWindow) return;
    const uint16_t address = RowAddress(index);
    DataBreakpoint t;
    t.space = address < 0x80 ? WatchSpace::Iram : WatchSpace::Sfr;
    t.address = address;
    MainWindow->GoToLastWrite({t});
}

void TSFRForm8051::EditAt(const QPoint& pos) {
    const int index = RowIndexAt(pos);
    if (index < 0) return;
    const uint16_t address = RowAddress(index);
    // The editor opens with the byte as it is now; Cancel writes nothing.
    auto result = EditEntry(QStringLiteral("SFR: ") + QString::fromLatin1(RegisterViewRows[index].Name),
                            InternalRam[address]);
    if (!result) return;
    SubmitInput(MakeInput(InputKind::DirectByte, address, *result));
}
