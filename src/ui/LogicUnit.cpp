// The Logic Analyzer window: signal list, the wave drawing with its time axis, zoom and pan, the
// two cursors, and File > Export VCD.
#include "LogicUnit.h"

#include <QAccessible>
#include <QAction>
#include <QComboBox>
#include <QHBoxLayout>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <sstream>

#include "MainWindowLink.h"
#include "ProgramSymbols.h"
#include "Prompts.h"
#include "SafeFile.h"
#include "Settings.h"
#include "SignalNames.h"

QPointer<TLogicForm> LogicForm;

namespace {

// The one of `defs` with that name, or nullptr; names that differ in case only are the same.
const SignalDef* Shown(const std::vector<SignalDef>& defs, const std::string& name) {
    for (const SignalDef& d : defs)
        if (QString::fromStdString(d.name).compare(QString::fromStdString(name), Qt::CaseInsensitive) == 0)
            return &d;
    return nullptr;
}

constexpr double kMinPerPixel = 1.0 / 64;  // at most 64 pixels for one machine cycle
constexpr int kPollMs = 40;                 // the display's pace while the window is open

QString HexText(uint64_t v, unsigned width) {
    QString digits = QString::number(qulonglong(v), 16).toUpper().rightJustified(int((width + 3) / 4), QLatin1Char('0'));
    return digits + QLatin1Char('h');
}

}  // namespace

// ---- The drawing -------------------------------------------------------------------------------

TWaveView::TWaveView(TLogicForm* form) : QWidget(form), form_(form) {
    setObjectName(QStringLiteral("WaveView"));
    setMinimumSize(420, kAxisHeight + 3 * kRowHeight);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    setMouseTracking(false);
    setFocusPolicy(Qt::StrongFocus);
    setAccessibleDescription(QStringLiteral(
        "Signals over controller time. Click to place cursor A (on an edge: select the instruction that "
        "made it), right-click for cursor B, drag to pan, wheel to zoom"));
}

double TWaveView::XOf(double cycle) const {
    return kNameWidth + (cycle - form_->start_) / form_->perPixel_;
}

double TWaveView::CycleAt(double x) const { return form_->start_ + (x - kNameWidth) * form_->perPixel_; }

int TWaveView::RowAt(int y) const {
    if (y < kAxisHeight) return -1;
    int row = (y - kAxisHeight) / kRowHeight;
    return row < form_->SignalCount() ? row : -1;
}

int TWaveView::EdgeNear(int row, double x, double slack) const {
    if (row < 0 || row >= form_->SignalCount()) return -1;
    const auto& changes = form_->history_.Changes(size_t(row));
    const double c = CycleAt(x);
    auto at = std::lower_bound(changes.begin(), changes.end(), c,
                               [](const SignalChange& ch, double cy) { return double(ch.cycle) < cy; });
    int best = -1;
    double bestDistance = slack + 1;
    for (auto it = at == changes.begin() ? at : at - 1; it != changes.end() && it <= at; ++it) {
        if (it == changes.begin()) continue;  // the first entry is the initial value, not an edge
        double d = std::abs(XOf(double(it->cycle)) - x);
        if (d <= slack && d < bestDistance) {
            bestDistance = d;
            best = int(it - changes.begin());
        }
    }
    return best;
}

void TWaveView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), palette().base());
    p.fillRect(QRect(0, 0, kNameWidth, height()), palette().alternateBase());
    DrawAxis(p);
    for (int row = 0; row < form_->SignalCount(); ++row) DrawRow(p, row, kAxisHeight + row * kRowHeight);
    if (form_->SignalCount() == 0) {
        p.setPen(palette().color(QPalette::PlaceholderText));
        p.drawText(rect().adjusted(kNameWidth + 8, kAxisHeight, -8, 0), Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap,
                   QStringLiteral("Choose a signal above and press Add; the signals are recorded while the "
                                  "program runs or steps."));
    }
    // The cursors, A solid and B dashed.
    const QColor colors[2] = {QColor(0, 90, 200), QColor(200, 40, 40)};
    for (int k = 0; k < 2; ++k) {
        if (!form_->cursors_[k]) continue;
        double x = XOf(double(*form_->cursors_[k]));
        if (x < kNameWidth || x >= width()) continue;
        p.setPen(QPen(colors[k], 1, k == 0 ? Qt::SolidLine : Qt::DashLine));
        p.drawLine(QPointF(x, kAxisHeight), QPointF(x, height()));
        // The cursor's letter in a small box on the axis, over the tick labels.
        const QRectF box(x - 6, 2, 12, kAxisHeight - 4);
        p.fillRect(box, colors[k]);
        p.setPen(Qt::white);
        p.drawText(box, Qt::AlignCenter, k == 0 ? QStringLiteral("A") : QStringLiteral("B"));
    }
    p.setPen(palette().color(QPalette::Mid));
    p.drawLine(kNameWidth - 1, 0, kNameWidth - 1, height());
}

void TWaveView::DrawAxis(QPainter& p) {
    p.setPen(palette().color(QPalette::Mid));
    p.drawLine(0, kAxisHeight - 1, width(), kAxisHeight - 1);
    const double clock = form_->Clock();
    if (clock <= 0) return;
    const double secondsPerCycle = 12.0 / clock;
    const double secondsPerPixel = form_->perPixel_ * secondsPerCycle;
    // A tick every 1, 2 or 5 times a power of ten seconds, about 110 pixels apart.
    double step = std::pow(10.0, std::floor(std::log10(secondsPerPixel * 110)));
    for (double m : {1.0, 2.0, 5.0, 10.0})
        if (step * m >= secondsPerPixel * 110) {
            step *= m;
            break;
        }
    const double t0 = form_->start_ * secondsPerCycle;
    const double t1 = CycleAt(width()) * secondsPerCycle;
    QFontMetrics fm(font());
    for (double t = std::ceil(t0 / step) * step; t <= t1; t += step) {
        double x = XOf(t / secondsPerCycle);
        if (x < kNameWidth) continue;
        p.setPen(palette().color(QPalette::Mid));
        p.drawLine(QPointF(x, kAxisHeight - 5), QPointF(x, kAxisHeight - 1));
        p.setPen(QColor(225, 225, 225));
        p.drawLine(QPointF(x, kAxisHeight), QPointF(x, height()));
        // The unit follows the time's size, the decimals the tick step, so that every label differs.
        const double a = std::abs(t);
        const double unit = a == 0 ? (step < 1e-3 ? 1e-6 : step < 1 ? 1e-3 : 1) : a < 1e-3 ? 1e-6 : a < 1 ? 1e-3 : 1;
        const int decimals = std::max(0, int(std::ceil(-std::log10(step / unit) - 1e-9)));
        const QString label = QString::number(t / unit, 'f', decimals) +
                              (unit == 1e-6 ? QStringLiteral(" \u00b5s") : unit == 1e-3 ? QStringLiteral(" ms") : QStringLiteral(" s"));
        const double right = x + 2 + fm.horizontalAdvance(label);
        if (right > width()) continue;
        // A label that a cursor's letter box would cover is left out rather than cut.
        bool covered = false;
        for (const auto& c : form_->cursors_) {
            if (!c) continue;
            const double cx = XOf(double(*c));
            covered = covered || (cx + 7 > x && cx - 7 < right);
        }
        if (covered) continue;
        p.setPen(palette().color(QPalette::Text));
        p.drawText(QPointF(x + 2, fm.ascent() + 1), label);
    }
}

void TWaveView::DrawRow(QPainter& p, int row, int top) {
    const SignalHistory& h = form_->history_;
    const auto& changes = h.Changes(size_t(row));
    const SignalDef& def = h.Def(size_t(row));
    const bool selected = row == form_->selected_;
    if (selected) p.fillRect(QRect(0, top, kNameWidth - 1, kRowHeight), palette().highlight());
    // Name and the value at cursor A (or at the end of the record).
    const uint64_t at = form_->cursors_[0] ? *form_->cursors_[0] : h.LastCycle();
    p.setPen(selected ? palette().color(QPalette::HighlightedText) : palette().color(QPalette::Text));
    QFontMetrics fm(font());
    const QString value = form_->ValueText(row, at);
    const int valueWidth = fm.horizontalAdvance(value);
    p.drawText(QRect(4, top, kNameWidth - 12 - valueWidth, kRowHeight), Qt::AlignVCenter | Qt::AlignLeft,
               fm.elidedText(QString::fromStdString(def.name), Qt::ElideRight, kNameWidth - 14 - valueWidth));
    p.drawText(QRect(4, top, kNameWidth - 8, kRowHeight), Qt::AlignVCenter | Qt::AlignRight, value);
    p.setPen(QColor(235, 235, 235));
    p.drawLine(kNameWidth, top + kRowHeight - 1, width(), top + kRowHeight - 1);
    if (changes.empty()) return;

    const int high = top + 5, low = top + kRowHeight - 6, mid = (high + low) / 2;
    const QColor wave = def.IsBit() ? QColor(0, 140, 60) : QColor(30, 80, 170);
    p.setPen(QPen(wave, 1));
    const double first = double(h.FirstCycle()), last = double(h.LastCycle());
    const int right = width();
    // Columns from the start of the record (or the window's left edge) to the last cycle sampled.
    int x = std::max(kNameWidth, int(std::ceil(XOf(first))));
    const int end = std::min(right, int(std::ceil(XOf(last))) + 1);
    while (x < end) {
        const double c0 = std::max(first, CycleAt(x)), c1 = std::max(c0, CycleAt(x + 1));
        const size_t k0 = h.IndexAt(size_t(row), uint64_t(std::floor(c0)));
        const size_t k1 = h.IndexAt(size_t(row), uint64_t(std::max(std::ceil(c1) - 1, std::floor(c0))));
        if (k0 != k1) {
            // Several values within one pixel: the column spans from the lowest to the highest.
            if (def.IsBit()) {
                p.drawLine(x, high, x, low);
            } else {
                p.fillRect(QRect(x, high, 1, low - high + 1), wave);
            }
            ++x;
            continue;
        }
        // One value until the next change: a run of columns drawn at once.
        const double next = k0 + 1 < changes.size() ? double(changes[k0 + 1].cycle) : last;
        int xe = std::min(end, std::max(x + 1, int(std::floor(XOf(next)))));
        const uint64_t v = changes[k0].value;
        if (def.IsBit()) {
            const int y = v ? high : low;
            p.drawLine(x, y, xe, y);
            if (xe < end && k0 + 1 < changes.size()) p.drawLine(xe, high, xe, low);
        } else {
            p.drawLine(x, high, xe, high);
            p.drawLine(x, low, xe, low);
            if (xe < end && k0 + 1 < changes.size()) {
                p.drawLine(xe - 2, high, xe + 2, low);
                p.drawLine(xe - 2, low, xe + 2, high);
            }
            const QString text = form_->ValueText(row, changes[k0].cycle);
            const int room = xe - x - 8;
            if (fm.horizontalAdvance(text) <= room) {
                p.setPen(palette().color(QPalette::Text));
                p.drawText(QRect(x + 4, high, room, low - high), Qt::AlignCenter, text);
                p.setPen(QPen(wave, 1));
            }
            (void)mid;
        }
        x = xe + (xe < end && k0 + 1 < changes.size() ? 1 : 0);
    }
}

void TWaveView::mousePressEvent(QMouseEvent* e) {
    pressAt_ = e->pos();
    pressStart_ = form_->start_;
    dragging_ = false;
    if (e->button() == Qt::RightButton && e->pos().x() >= kNameWidth) {
        int row = RowAt(e->pos().y());
        int edge = EdgeNear(row, e->pos().x());
        form_->SetCursor(1, edge >= 0 ? form_->history_.Changes(size_t(row))[size_t(edge)].cycle
                                      : uint64_t(std::max(0.0, std::round(CycleAt(e->pos().x())))));
    }
}

void TWaveView::mouseMoveEvent(QMouseEvent* e) {
    if (!(e->buttons() & Qt::LeftButton)) return;
    const int dx = e->pos().x() - pressAt_.x();
    if (!dragging_ && std::abs(dx) > 3) dragging_ = true;
    if (dragging_) form_->PanTo(pressStart_ - dx * form_->perPixel_);
}

void TWaveView::mouseReleaseEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton || dragging_) {
        dragging_ = false;
        return;
    }
    if (e->pos().x() < kNameWidth) {
        form_->SelectRow(RowAt(e->pos().y()));
        return;
    }
    const int row = RowAt(e->pos().y());
    if (row >= 0) form_->SelectRow(row);
    if (!form_->ClickEdge(row, e->pos().x()))
        form_->SetCursor(0, uint64_t(std::max(0.0, std::round(CycleAt(e->pos().x())))));
}

void TWaveView::wheelEvent(QWheelEvent* e) {
    const double notches = e->angleDelta().y() / 120.0;
    if (notches == 0) return;
    form_->ZoomBy(std::pow(1.25, -notches), e->position().x());
    e->accept();
}

// ---- The window --------------------------------------------------------------------------------

TLogicForm::TLogicForm(QWidget* parent) : QMdiSubWindow(parent) {
    setObjectName(QStringLiteral("LogicForm"));
    setWindowTitle(QStringLiteral("Logic Analyzer"));
    setAttribute(Qt::WA_DeleteOnClose);
    auto* body = new QWidget;
    auto* layout = new QVBoxLayout(body);
    layout->setContentsMargins(4, 2, 4, 4);
    layout->setSpacing(4);

    MenuBar1 = new QMenuBar(body);
    MenuBar1->setObjectName(QStringLiteral("MenuBar1"));
    QMenu* file = MenuBar1->addMenu(QStringLiteral("&File"));
    ExportVcd = file->addAction(QStringLiteral("Export VCD..."));
    ExportVcd->setObjectName(QStringLiteral("ExportVcd"));
    connect(ExportVcd, &QAction::triggered, this, [this] { ExportVcdExecute(); });
    QMenu* view = MenuBar1->addMenu(QStringLiteral("&View"));
    ZoomInAction = view->addAction(QStringLiteral("Zoom In"));
    ZoomInAction->setShortcuts({QKeySequence(Qt::Key_Plus), QKeySequence(Qt::Key_Equal)});
    ZoomOutAction = view->addAction(QStringLiteral("Zoom Out"));
    ZoomOutAction->setShortcut(QKeySequence(Qt::Key_Minus));
    ZoomFitAction = view->addAction(QStringLiteral("Zoom to Fit"));
    for (QAction* a : {ZoomInAction, ZoomOutAction}) a->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    connect(ZoomInAction, &QAction::triggered, this, [this] { ZoomBy(0.5, TWaveView::kNameWidth + WaveView->WaveWidth() / 2.0); });
    connect(ZoomOutAction, &QAction::triggered, this, [this] { ZoomBy(2.0, TWaveView::kNameWidth + WaveView->WaveWidth() / 2.0); });
    connect(ZoomFitAction, &QAction::triggered, this, [this] { ZoomToFit(); });
    layout->setMenuBar(MenuBar1);

    auto* top = new QHBoxLayout;
    ComboBox1 = new QComboBox;
    ComboBox1->setObjectName(QStringLiteral("ComboBox1"));
    ComboBox1->setEditable(true);
    ComboBox1->setInsertPolicy(QComboBox::NoInsert);
    // A typed name stays as typed: "P2" must not be completed to "P2.0".
    ComboBox1->setCompleter(nullptr);
    ComboBox1->setMinimumContentsLength(14);
    ComboBox1->setAccessibleName(QStringLiteral("Signal to add"));
    ComboBox1->setAccessibleDescription(QStringLiteral(
        "A pin (P1.3), a port (P1), an SFR bit or byte by name, ADDR:bit, ADDR:iram, ADDR:xram, or a variable"));
    for (const auto& n : SignalCatalogue(ActiveProgramSymbols())) ComboBox1->addItem(QString::fromStdString(n));
    ComboBox1->setCurrentText(QStringLiteral("P1.0"));
    Button1 = new QPushButton(QStringLiteral("Add"));
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setAccessibleDescription(QStringLiteral("Adds the signal named at the left"));
    Button2 = new QPushButton(QStringLiteral("Remove"));
    Button2->setObjectName(QStringLiteral("Button2"));
    Button2->setAccessibleDescription(QStringLiteral("Removes the selected signal"));
    ComboBox2 = new QComboBox;
    ComboBox2->setObjectName(QStringLiteral("ComboBox2"));
    ComboBox2->addItems({QStringLiteral("Hexadecimal"), QStringLiteral("Decimal")});
    ComboBox2->setAccessibleDescription(QStringLiteral("How the selected byte or variable writes its values"));
    Button3 = new QPushButton(QStringLiteral("+"));
    Button4 = new QPushButton(QStringLiteral("\u2212"));
    Button5 = new QPushButton(QStringLiteral("Zoom to fit"));
    Button3->setObjectName(QStringLiteral("Button3"));
    Button4->setObjectName(QStringLiteral("Button4"));
    Button5->setObjectName(QStringLiteral("Button5"));
    Button3->setAccessibleName(QStringLiteral("Zoom in"));
    Button4->setAccessibleName(QStringLiteral("Zoom out"));
    Button3->setAccessibleDescription(QStringLiteral("Shows half the time across the window (+ key)"));
    Button4->setAccessibleDescription(QStringLiteral("Shows twice the time across the window (\u2212 key)"));
    Button5->setAccessibleDescription(QStringLiteral("Shows the whole record"));
    for (QPushButton* b : {Button3, Button4}) b->setFixedWidth(30);
    for (QPushButton* b : {Button1, Button2, Button3, Button4, Button5}) b->setAutoDefault(false);
    top->addWidget(ComboBox1, 1);
    top->addWidget(Button1);
    top->addWidget(Button2);
    top->addWidget(ComboBox2);
    top->addStretch();
    top->addWidget(Button3);
    top->addWidget(Button4);
    top->addWidget(Button5);
    layout->addLayout(top);

    WaveView = new TWaveView(this);
    layout->addWidget(WaveView, 1);
    ScrollBar1 = new QScrollBar(Qt::Horizontal);
    ScrollBar1->setObjectName(QStringLiteral("ScrollBar1"));
    ScrollBar1->setAccessibleName(QStringLiteral("Time shown"));
    ScrollBar1->setAccessibleDescription(QStringLiteral("Moves through the recorded time"));
    layout->addWidget(ScrollBar1);
    Label1 = new QLabel;
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setAccessibleDescription(QStringLiteral("The cursors' times, the time between them and its inverse"));
    Label1->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(Label1);
    Label2 = new QLabel;
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setWordWrap(true);
    Label2->setAccessibleDescription(QStringLiteral("Whether the oldest changes were dropped"));
    Label2->hide();
    layout->addWidget(Label2);
    setWidget(body);
    resize(780, 380);

    connect(Button1, &QPushButton::clicked, this, [this] { AddSignal(ComboBox1->currentText()); });
    connect(ComboBox1->lineEdit(), &QLineEdit::returnPressed, this, [this] { AddSignal(ComboBox1->currentText()); });
    connect(Button2, &QPushButton::clicked, this, [this] { RemoveSignal(selected_); });
    connect(ComboBox2, &QComboBox::currentIndexChanged, this, [this](int i) { SetDecimal(selected_, i == 1); });
    connect(Button3, &QPushButton::clicked, ZoomInAction, &QAction::trigger);
    connect(Button4, &QPushButton::clicked, ZoomOutAction, &QAction::trigger);
    connect(Button5, &QPushButton::clicked, this, [this] { ZoomToFit(); });
    connect(ScrollBar1, &QScrollBar::valueChanged, this, [this](int v) {
        if (settingScroll_) return;
        PanTo(double(History().FirstCycle()) + v * perPixel_);
    });
    addActions({ZoomInAction, ZoomOutAction});

    decimal_.assign(LogicSignals.Signals().size(), false);
    timer_ = new QTimer(this);
    timer_->setInterval(kPollMs);
    connect(timer_, &QTimer::timeout, this, [this] { Poll(); });
    timer_->start();
    Poll();
    UpdateControls();
    UpdateReadout();
}

TLogicForm::~TLogicForm() {
    if (LogicForm == this) LogicForm = nullptr;
}

void TLogicForm::closeEvent(QCloseEvent* e) {
    // Closed between runs, the window stops the recording, so that runs cost what they cost
    // without it; closed during a run, it leaves the signals to the window opened next.
    if (!running_) LogicSignals.SetSignals({});
    QMdiSubWindow::closeEvent(e);
}

uint32_t TLogicForm::Clock() const { return Settings.Frequency > 0 ? uint32_t(Settings.Frequency) : 0; }

QString TLogicForm::SignalName(int row) const { return QString::fromStdString(history_.Def(size_t(row)).name); }

QString TLogicForm::ValueText(int row, uint64_t cycle) const {
    if (row < 0 || row >= SignalCount()) return {};
    const SignalDef& d = history_.Def(size_t(row));
    if (history_.Changes(size_t(row)).empty()) return {};
    const uint64_t v = history_.ValueAt(size_t(row), cycle);
    if (d.IsBit()) return QString::number(v);
    return Decimal(row) ? QString::number(qulonglong(v)) : HexText(v, d.Width());
}

QString TLogicForm::TimeText(double cycles) const {
    const uint32_t clock = Clock();
    if (!clock) return QString::number(cycles, 'f', 0) + QStringLiteral(" cycles");
    const double seconds = cycles * 12.0 / clock, a = std::abs(seconds);
    if (a == 0) return QStringLiteral("0 s");
    if (a < 1e-3) return QString::number(seconds * 1e6, 'g', 6) + QStringLiteral(" \u00b5s");
    if (a < 1) return QString::number(seconds * 1e3, 'g', 6) + QStringLiteral(" ms");
    return QString::number(seconds, 'g', 7) + QStringLiteral(" s");
}

bool TLogicForm::AddSignal(const QString& text) {
    if (running_) return false;
    std::string error;
    auto def = ParseSignalName(text.toStdString(), ActiveProgramSymbols(), &error);
    if (!def) {
        CurrentPrompts().Error(this, QString::fromStdString(error));
        return false;
    }
    std::vector<SignalDef> defs = LogicSignals.Signals();
    if (const SignalDef* shown = Shown(defs, def->name)) {
        CurrentPrompts().Error(this, QStringLiteral("%1 is shown already").arg(QString::fromStdString(shown->name)));
        return false;
    }
    defs.push_back(*def);
    decimal_.push_back(false);
    SignalsChanged(std::move(defs));
    SelectRow(SignalCount() - 1);
    return true;
}

std::vector<std::string> TLogicForm::SetSignalNames(const std::vector<std::string>& names) {
    std::vector<std::string> left;
    if (running_) return left;
    std::vector<SignalDef> defs;
    for (const std::string& name : names) {
        std::string error;
        auto def = ParseSignalName(name, ActiveProgramSymbols(), &error);
        const bool repeated = def && Shown(defs, def->name) != nullptr;
        if (def && !repeated) defs.push_back(*def);
        else left.push_back("the Logic Analyzer signal " + name + ": " + (def ? "shown already" : error));
    }
    decimal_.assign(defs.size(), false);
    SignalsChanged(std::move(defs));
    SelectRow(SignalCount() > 0 ? 0 : -1);
    return left;
}

void TLogicForm::RemoveSignal(int row) {
    if (running_ || row < 0 || row >= SignalCount()) return;
    std::vector<SignalDef> defs = LogicSignals.Signals();
    defs.erase(defs.begin() + row);
    decimal_.erase(decimal_.begin() + row);
    SignalsChanged(std::move(defs));
    SelectRow(std::min(row, SignalCount() - 1));
}

void TLogicForm::SignalsChanged(std::vector<SignalDef> defs) {
    // The worker is idle: the recording starts over from the present state, at the machine time
    // reached so far.
    const uint64_t now = LogicSignals.LastCycle();
    LogicSignals.SetSignals(std::move(defs));
    LogicSignals.Begin(now);
    cursors_[0].reset();
    cursors_[1].reset();
    fit_ = follow_ = true;
    Poll();
    UpdateControls();
    UpdateReadout();
}

void TLogicForm::SetDecimal(int row, bool decimal) {
    if (row < 0 || row >= int(decimal_.size())) return;
    decimal_[size_t(row)] = decimal;
    WaveView->update();
}

void TLogicForm::SelectRow(int row) {
    selected_ = row >= 0 && row < SignalCount() ? row : -1;
    UpdateControls();
    WaveView->update();
}

void TLogicForm::UpdateControls() {
    Button1->setEnabled(!running_);
    Button2->setEnabled(!running_ && selected_ >= 0);
    const bool bus = selected_ >= 0 && !history_.Def(size_t(selected_)).IsBit();
    ComboBox2->setEnabled(bus);
    const QSignalBlocker block(ComboBox2);
    ComboBox2->setCurrentIndex(Decimal(selected_) ? 1 : 0);
}

void TLogicForm::SetRunning(bool running) {
    running_ = running;
    UpdateControls();
    Poll();
}

void TLogicForm::SetCursor(int which, uint64_t cycle) {
    cursors_[which] = cycle;
    UpdateReadout();
    WaveView->update();
}

bool TLogicForm::ClickEdge(int row, double x) {
    const int edge = WaveView->EdgeNear(row, x);
    if (edge < 0) return false;
    const SignalChange& c = history_.Changes(size_t(row))[size_t(edge)];
    SetCursor(0, c.cycle);
    if (c.writer >= 0 && MainWindow) MainWindow->ShowListingAddress(uint16_t(c.writer));
    return true;
}

void TLogicForm::UpdateReadout() {
    QStringList parts;
    const char* names[2] = {"A", "B"};
    for (int k = 0; k < 2; ++k)
        parts << QStringLiteral("%1: %2").arg(QLatin1String(names[k]),
                                               cursors_[k] ? TimeText(double(*cursors_[k])) : QStringLiteral("\u2013"));
    if (cursors_[0] && cursors_[1]) {
        const double cycles = double(*cursors_[1]) - double(*cursors_[0]);
        parts << QStringLiteral("\u0394t: %1 (%2 cycles)").arg(TimeText(cycles)).arg(qlonglong(cycles));
        const double seconds = std::abs(cycles) * 12.0 / std::max<uint32_t>(Clock(), 1);
        if (cycles != 0 && Clock())
            parts << QStringLiteral("1/\u0394t: %1 Hz").arg(QString::number(1.0 / seconds, 'g', 6));
    }
    Label1->setText(parts.join(QStringLiteral("    ")));
    // The values at cursor A, for a screen reader.
    QStringList values;
    const uint64_t at = cursors_[0] ? *cursors_[0] : history_.LastCycle();
    for (int row = 0; row < SignalCount(); ++row) values << SignalName(row) + QLatin1Char(' ') + ValueText(row, at);
    WaveView->setAccessibleName(values.isEmpty() ? QStringLiteral("No signals") : values.join(QStringLiteral(", ")));
    if (history_.Dropped()) {
        Label2->setText(QStringLiteral("%1 of the oldest changes were dropped to keep within %2 changes; the "
                                       "record is complete from %3 on.")
                            .arg(qulonglong(history_.Dropped()))
                            .arg(qulonglong(LogicSignals.Capacity()))
                            .arg(TimeText(double(history_.FirstCycle()))));
        Label2->show();
    } else {
        Label2->hide();
    }
}

double TLogicForm::SpanEnd() const {
    return std::max(double(history_.LastCycle()), double(history_.FirstCycle()) + 1);
}

void TLogicForm::ZoomToFit() {
    const double span = SpanEnd() - double(history_.FirstCycle());
    perPixel_ = std::max(kMinPerPixel, span / std::max(1, WaveView->WaveWidth() - 10));
    start_ = double(history_.FirstCycle());
    fit_ = follow_ = true;
    UpdateScrollBar();
    WaveView->update();
}

void TLogicForm::ZoomBy(double factor, double aroundX) {
    // While the view follows a growing record, it zooms about its newest end and goes on following.
    if (follow_) aroundX = WaveView->XOf(SpanEnd());
    const double pivot = WaveView->CycleAt(aroundX);
    const double span = SpanEnd() - double(history_.FirstCycle());
    perPixel_ = std::clamp(perPixel_ * factor, kMinPerPixel, std::max(1.0, span));
    start_ = pivot - (aroundX - TWaveView::kNameWidth) * perPixel_;
    fit_ = false;
    PanTo(start_);
}

void TLogicForm::ShowCycles(double startCycle, double cyclesPerPixel) {
    perPixel_ = std::max(kMinPerPixel, cyclesPerPixel);
    fit_ = false;
    PanTo(startCycle);
}

void TLogicForm::PanTo(double startCycle) {
    const double first = double(history_.FirstCycle());
    const double visible = WaveView->WaveWidth() * perPixel_;
    const double latest = std::max(first, SpanEnd() - visible * 0.9);
    start_ = std::clamp(startCycle, first - visible * 0.1, latest);
    // The view follows the record while its newest end is in sight.
    follow_ = start_ + visible >= SpanEnd() - perPixel_;
    fit_ = fit_ && follow_;
    UpdateScrollBar();
    WaveView->update();
}

void TLogicForm::UpdateScrollBar() {
    const double first = double(history_.FirstCycle());
    const double pixels = (SpanEnd() - first) / perPixel_;
    const int page = std::max(1, WaveView->WaveWidth());
    const double limit = 1e9;
    settingScroll_ = true;
    ScrollBar1->setRange(0, int(std::clamp(pixels - page * 0.9, 0.0, limit)));
    ScrollBar1->setPageStep(page);
    ScrollBar1->setSingleStep(std::max(1, page / 10));
    ScrollBar1->setValue(int(std::clamp((start_ - first) / perPixel_, 0.0, limit)));
    settingScroll_ = false;
}

void TLogicForm::Poll() {
    // Between runs the window records the edits made meanwhile (pin clicks, byte edits); during a
    // run the worker samples after every instruction.
    if (!running_ && !LogicSignals.Empty()) LogicSignals.SampleBetween(LogicSignals.LastCycle(), kFromOutside);
    if (!history_.Update(LogicSignals)) return;
    if (fit_) {
        ZoomToFit();
    } else if (follow_) {
        PanTo(SpanEnd());
    } else {
        PanTo(start_);  // keeps the view on what is still recorded when the oldest changes go
    }
    UpdateReadout();
}

bool TLogicForm::ExportVcdTo(const QString& path) {
    std::ostringstream text;
    WriteVcd(history_, Clock(), text);
    std::string error;
    if (!WriteFileSafely(path.toStdString(), text.str(), &error)) {
        CurrentPrompts().Error(this, QStringLiteral("Cannot write %1: %2").arg(path, QString::fromStdString(error)));
        return false;
    }
    return true;
}

void TLogicForm::ExportVcdExecute() {
    Poll();
    const QString path = CurrentPrompts().SaveFileName(this, QString::fromStdString(Settings.WorkDir),
                                                       QStringLiteral("Value change dump (*.vcd)"), QStringLiteral("vcd"));
    if (!path.isEmpty()) ExportVcdTo(path);
}

void TLogicForm::keyPressEvent(QKeyEvent* e) {
    if (e->key() == Qt::Key_Plus || e->key() == Qt::Key_Equal) {
        ZoomInAction->trigger();
    } else if (e->key() == Qt::Key_Minus) {
        ZoomOutAction->trigger();
    } else if (e->key() == Qt::Key_Delete && !ComboBox1->hasFocus()) {
        RemoveSignal(selected_);
    } else {
        QMdiSubWindow::keyPressEvent(e);
    }
}
