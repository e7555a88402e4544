// The serial terminal: the dump, bytes from the controller handed over from the simulation
// thread, the Send button, and the baud rates.
#include "SerialUnit.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QMenu>
#include <QPlainTextEdit>
#include <QTabBar>
#include <QTabWidget>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocumentFragment>
#include <QTextEdit>
#include <QTimer>
#include <cmath>
#include <mutex>
#include <vector>

#include "Code.h"
#include "Inputs.h"
#include "FitText.h"
#include "HexDump.h"
#include "KeyFilters.h"
#include "Prompts.h"
#include "Settings.h"

QPointer<TSerialForm> SerialForm;

namespace {

// The one owner of the controller's serial output on the window side: it installs the output hook
// and keeps the bytes on their way to the one terminal attached. Bytes sent while no terminal is
// attached are dropped, and a terminal that closes drops its undelivered bytes, so no byte sent
// before a close can reach a terminal opened later. The run never waits for the terminal: the
// bytes are delivered at the next repaint.
class SerialLink : public SerialOutputHook {
public:
    void ByteSent(uint8_t value) override {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (!terminal_) return;
            pending_.push_back(value);
            // The dump keeps its last kDumpLines lines: a program that sends faster than the
            // terminal can show loses whole lines from the front, lines that would have scrolled
            // out anyway, never the newest ones; the dump then starts again with the lines kept.
            if (pending_.size() >= 2 * kKept) {
                pending_.erase(pending_.begin(), pending_.end() - kKept);
                overflowed_ = true;
            }
        }
        QueueDelivery(RefreshOrder::Serial);
    }
    void Attach(TSerialForm* terminal) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            terminal_ = terminal;
            pending_.clear();
        }
        InstallSerialOutputHook(this);
    }
    void Detach(TSerialForm* terminal) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (terminal_ != terminal) return;
        terminal_ = nullptr;
        pending_.clear();
        pending_.shrink_to_fit();
    }
    // The oldest `most` bytes on their way; `overflowed` tells that bytes before them were
    // dropped (a multiple of 16, so that the rest keep their columns), `more` that bytes remain.
    std::vector<uint8_t> Take(TSerialForm* terminal, size_t most, bool* overflowed, bool* more) {
        std::vector<uint8_t> bytes;
        std::lock_guard<std::mutex> lock(mutex_);
        *overflowed = *more = false;
        if (terminal_ != terminal) return bytes;
        if (pending_.size() <= most) {
            bytes.swap(pending_);
        } else {
            bytes.assign(pending_.begin(), pending_.begin() + ptrdiff_t(most));
            pending_.erase(pending_.begin(), pending_.begin() + ptrdiff_t(most));
            *more = true;
        }
        *overflowed = overflowed_;
        overflowed_ = false;
        return bytes;
    }

private:
    static constexpr size_t kKept = size_t(TSerialForm::kDumpLines) * 16;
    bool overflowed_ = false;
    std::mutex mutex_;
    TSerialForm* terminal_ = nullptr;
    std::vector<uint8_t> pending_;
};

SerialLink Link;

long Nearest(double x) { return std::lrint(x); }  // halves to the even neighbour

}  // namespace

BaudRates ComputeBaudRates(double f) {
    BaudRates r;
    const uint8_t scon = InternalRam[Sfr::SCON];
    const bool sm0 = scon & 0x80, sm1 = scon & 0x40;
    const bool smod = InternalRam[Sfr::PCON] & 0x80;
    if (sm1) {
        const double k = smod ? 192 : 384;
        const int t1mode = (InternalRam[Sfr::TMOD] >> 4) & 3;
        const double d1 = t1mode == 0 ? 8192 : t1mode == 1 ? 65536 : t1mode == 2 ? 256 - InternalRam[Sfr::TH1] : 256;
        const std::string timer1 = std::to_string(Nearest(f / k / d1)) + " (Timer 1)";
        const uint8_t t2con = InternalRam[Sfr::T2CON];
        const unsigned rcap = InternalRam[Sfr::RCAP2H] * 256u + InternalRam[Sfr::RCAP2L];
        const std::string timer2 = std::to_string(Nearest(f / 32 / (65536.0 - rcap))) + " (Timer 2)";
        r.Receive = Processor8052 && (t2con & 0x20) ? timer2 : timer1;
        r.Transmit = Processor8052 && (t2con & 0x10) ? timer2 : timer1;
    } else if (sm0) {
        r.Receive = r.Transmit = std::to_string(Nearest(smod ? f / 32 : f / 64)) + " (Oscillator)";
    } else {
        r.Receive = r.Transmit = std::to_string(Nearest(f / 12)) + " (Oscillator)";
    }
    return r;
}

TSerialForm::TSerialForm(QWidget* parent) : QMdiSubWindow(parent) {
    setAttribute(Qt::WA_DeleteOnClose);
    setObjectName(QStringLiteral("SerialForm"));
    setWindowTitle(QStringLiteral("Serial I/O Terminal"));
    setWindowIcon(QIcon(QStringLiteral(":/icons/serial.svg")));
    setWindowFlags(Qt::SubWindow | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    auto* client = new QWidget(this);
    QFont small = client->font();
    small.setPixelSize(11);
    client->setFont(small);
    QFont mono(QStringLiteral("Courier New"));
    mono.setStyleHint(QFont::Monospace);
    mono.setPixelSize(13);
    // The two views of the same bytes share the dump's place, one tab click apart; what Return
    // sends is chosen beside the tabs.
    PageControl1 = new QTabWidget(client);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    PageControl1->setDocumentMode(true);
    PageControl1->setAccessibleName(QStringLiteral("Terminal views"));
    PageControl1->setAccessibleDescription(QStringLiteral("The bytes sent both ways as text or as a hexadecimal dump"));
    Memo1 = new QPlainTextEdit;
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setAccessibleName(QStringLiteral("Serial text"));
    Memo1->setAccessibleDescription(QStringLiteral(
        "The bytes from the controller as text, the bytes sent to it in red; non-printable bytes as \\xNN; "
        "typed or pasted text goes to the controller's receiver"));
    Memo1->setPlaceholderText(QStringLiteral("Type here to send text to the controller"));
    Memo1->setFont(mono);
    Memo1->setReadOnly(true);
    Memo1->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    Memo1->setUndoRedoEnabled(false);
    Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
    Memo1->setMaximumBlockCount(kDumpLines);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setContextMenuPolicy(Qt::CustomContextMenu);
    Memo1->installEventFilter(this);
    RichEdit1 = new QTextEdit;
    RichEdit1->setObjectName(QStringLiteral("RichEdit1"));
    RichEdit1->setAccessibleName(QStringLiteral("Serial dump"));
    RichEdit1->setFont(mono);
    RichEdit1->setReadOnly(true);
    RichEdit1->setUndoRedoEnabled(false);  // a long session must not keep every edit
    RichEdit1->setLineWrapMode(QTextEdit::NoWrap);
    RichEdit1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    PageControl1->addTab(Memo1, QStringLiteral("Text"));
    PageControl1->addTab(RichEdit1, QStringLiteral("Hex Dump"));
    auto* corner = new QWidget;
    auto* cornerLayout = new QHBoxLayout(corner);
    cornerLayout->setContentsMargins(0, 0, 4, 0);
    Label6 = new QLabel(QStringLiteral("Return sends:"));
    ComboBox1 = new QComboBox;
    ComboBox1->setObjectName(QStringLiteral("ComboBox1"));
    ComboBox1->addItems({QStringLiteral("CR"), QStringLiteral("LF"), QStringLiteral("CR LF")});
    ComboBox1->setCurrentIndex(Settings.TermReturn);
    ComboBox1->setAccessibleName(QStringLiteral("Return sends"));
    ComboBox1->setAccessibleDescription(QStringLiteral("The bytes the Return key and the line breaks of pasted text send"));
    Label6->setBuddy(ComboBox1);
    cornerLayout->addWidget(Label6);
    cornerLayout->addWidget(ComboBox1);
    PageControl1->setCornerWidget(corner, Qt::TopRightCorner);
    // The dump keeps its 551 x 197 pixels below the tabs; the controls below move down by them.
    const int bar = std::max(PageControl1->tabBar()->sizeHint().height(), corner->sizeHint().height());
    PageControl1->setGeometry(0, 0, 552, bar + 197);
    client->setFixedSize(552, 269 + bar);
    PageControl1->setCurrentIndex(Settings.TermText ? 0 : 1);
    GroupBox1 = new QGroupBox(QStringLiteral("Transmission"), client);
    GroupBox1->setGeometry(8, 204 + bar, 345, 57);
    GroupBox2 = new QGroupBox(QStringLiteral("Baud Rate"), client);
    GroupBox2->setGeometry(360, 204 + bar, 185, 57);
    Label1 = new QLabel(QStringLiteral("Value:"), GroupBox1);
    Label1->move(16, 24);
    Edit1 = new QLineEdit(QStringLiteral("00"), GroupBox1);
    Edit1->setGeometry(56, 21, 33, 21);
    Edit1->setMaxLength(2);
    Label1->setBuddy(Edit1);
    KeyFilter::Install(Edit1, KeyFilter::Hexadecimal);
    CheckBox1 = new QCheckBox(QStringLiteral("9th bit"), GroupBox1);
    CheckBox1->setGeometry(104, 23, 57, 17);
    CondenseToFit(CheckBox1);
    Button1 = new QPushButton(QStringLiteral("Send"), GroupBox1);
    Button1->setGeometry(166, 18, 75, 25);
    Button2 = new QPushButton(QStringLiteral("Clear"), GroupBox1);
    Button2->setGeometry(254, 18, 75, 25);
    Label4 = new QLabel(QStringLiteral("Receive:"), GroupBox2);
    Label4->move(16, 16);
    Label2 = new QLabel(GroupBox2);
    Label2->setGeometry(72, 16, 110, 14);
    Label5 = new QLabel(QStringLiteral("Transmit:"), GroupBox2);
    Label5->move(16, 32);
    Label3 = new QLabel(GroupBox2);
    Label3->setGeometry(72, 32, 110, 14);
    Label2->setAccessibleDescription(QStringLiteral("Receive baud rate"));
    Label3->setAccessibleDescription(QStringLiteral("Transmit baud rate"));
    setWidget(client);
    connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
    connect(Button2, &QPushButton::clicked, this, [this] { Button2Click(); });
    connect(PageControl1, &QTabWidget::currentChanged, this, [](int index) { Settings.TermText = index == 0; });
    connect(ComboBox1, &QComboBox::currentIndexChanged, this, [](int index) { Settings.TermReturn = uint8_t(index); });
    connect(Memo1, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        QMenu* menu = Memo1->createStandardContextMenu(pos);
        menu->setAttribute(Qt::WA_DeleteOnClose);
        QAction* paste = menu->addAction(QStringLiteral("Paste to Controller"));
        paste->setObjectName(QStringLiteral("PasteToController"));
        paste->setEnabled(!QApplication::clipboard()->text().isEmpty());
        connect(paste, &QAction::triggered, this, [this] { SendText(QApplication::clipboard()->text()); });
        menu->popup(Memo1->viewport()->mapToGlobal(pos));
    });

    ShowLiveState();
    // Every byte the rates and the Send controls are derived from.
    AddRefreshTarget(this, RefreshOrder::Serial, [](uint16_t a) {
        return a == Sfr::SCON || a == Sfr::PCON || a == Sfr::TMOD || a == Sfr::TH1 ||
               a == Sfr::T2CON || a == Sfr::RCAP2L || a == Sfr::RCAP2H;
    });
    Link.Attach(this);
}

TSerialForm::~TSerialForm() {
    RemoveRefreshTarget(this);
    Link.Detach(this);
}

void TSerialForm::closeEvent(QCloseEvent* event) {
    QMdiSubWindow::closeEvent(event);
    if (!event->isAccepted()) return;
    RemoveRefreshTarget(this);
    Link.Detach(this);
    if (SerialForm == this) SerialForm = nullptr;
}

void TSerialForm::ShowLiveState() {
    UpdateBaudRate();
    CheckSCON();
}

void TSerialForm::DeliverQueued() {
    // A few hundred lines at a time, so that a program that floods the terminal leaves the
    // user-interface thread free between them; the rest follows at once through the event loop.
    bool overflowed = false, more = false;
    const std::vector<uint8_t> bytes = Link.Take(this, 256 * 16, &overflowed, &more);
    if (more) {
        QTimer::singleShot(0, this, [] {
            QueueDelivery(RefreshOrder::Serial);
            RepaintChangedWindows();
        });
    }
    if (overflowed) {
        // Every line shown now would have scrolled out: the dump starts again with the bytes
        // kept, from the first one that begins a line.
        const size_t fill = RichEdit1->document()->isEmpty() ? 0 : size_t(RichEdit1->document()->lastBlock().text().size() - 50);
        const size_t skip = fill == 0 || fill >= 16 ? 0 : 16 - fill;
        RichEdit1->clear();
        AppendControllerBytes(std::vector<uint8_t>(bytes.begin() + std::min(skip, bytes.size()), bytes.end()));
        return;
    }
    if (!bytes.empty()) AppendControllerBytes(bytes);
}

QTextDocumentFragment TSerialForm::Lines() const { return QTextDocumentFragment(RichEdit1->document()); }

void TSerialForm::TakeLines(const QTextDocumentFragment& lines) {
    QTextCursor cursor(RichEdit1->document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertFragment(lines);
    RichEdit1->setTextCursor(cursor);
}

void TSerialForm::UpdateBaudRate() {
    BaudRates r = ComputeBaudRates(Settings.Frequency);
    Label2->setText(QString::fromStdString(r.Receive));
    Label3->setText(QString::fromStdString(r.Transmit));
}

void TSerialForm::CheckSCON() {
    const uint8_t scon = InternalRam[Sfr::SCON];
    const bool ren = scon & 0x10;
    Edit1->setEnabled(ren);
    Label1->setEnabled(ren);
    Button1->setEnabled(ren);
    CheckBox1->setEnabled(ren && (scon & 0x80));
}

void TSerialForm::Button1Click() {
    unsigned value = 0;
    if (!ParseHexText(Edit1->text(), &value)) {
        CurrentPrompts().Error(this, NotAValidInteger(Edit1->text()));
        return;  // neither SBUF nor SCON is stored
    }
    // The receive buffer first, then RB8 and RI, so that a program polling RI reads the new
    // byte. The dump shows the byte sent, whatever the running program stores into SBUF meanwhile.
    const uint8_t byte = uint8_t(value);
    SubmitInput(MakeInput(InputKind::SerialByte, 0, byte, CheckBox1->isChecked() ? 1 : 0));
    AppendByte(byte, true);
}

void TSerialForm::Button2Click() {
    RichEdit1->clear();
    RichEdit1->setTextColor(Qt::black);
    Memo1->clear();
    received_ = sent_ = TerminalTextDecoder();
}

void TSerialForm::AppendByte(uint8_t byte, bool fromUser) {
    AppendDumpByte(byte, fromUser);
    std::string text;
    (fromUser ? sent_ : received_).Append(byte, text);
    AppendText(text, fromUser);
}

void TSerialForm::AppendText(const std::string& text, bool fromUser) {
    if (text.empty()) return;
    // The view follows the newest text unless the user scrolled back to read.
    QScrollBar* bar = Memo1->verticalScrollBar();
    const bool atEnd = bar->value() == bar->maximum();
    QTextCursor cursor(Memo1->document());
    cursor.movePosition(QTextCursor::End);
    QTextCharFormat format;
    format.setForeground(fromUser ? QColor(0xFF, 0x00, 0x00) : QColor(Qt::black));
    // Line by line, so that the view's limit on lines removes whole old ones.
    const QString all = QString::fromLatin1(text.data(), int(text.size()));
    const QStringList lines = all.split(QLatin1Char('\n'));
    for (int i = 0; i < lines.size(); ++i) {
        if (i > 0) cursor.insertBlock();
        if (!lines[i].isEmpty()) cursor.insertText(lines[i], format);
    }
    if (atEnd) bar->setValue(bar->maximum());
}

void TSerialForm::SendText(const QString& text) {
    // The bytes go onto the serial line, which delivers them at the pace of their frames as the
    // program takes them; the terminal shows them at once, as a terminal echoes what is typed.
    const std::string bytes = TypedBytes(text.toUtf8().toStdString(), Settings.TermReturn);
    if (bytes.empty()) return;
    SerialLineSend(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    for (char c : bytes) AppendByte(uint8_t(c), true);
}

bool TSerialForm::eventFilter(QObject* watched, QEvent* event) {
    if (watched != Memo1 || event->type() != QEvent::KeyPress) return QMdiSubWindow::eventFilter(watched, event);
    auto* key = static_cast<QKeyEvent*>(event);
    // Copying and selecting keep their keys; pasting sends the clipboard's text.
    if (key->matches(QKeySequence::Paste)) {
        SendText(QApplication::clipboard()->text());
        return true;
    }
    if (key->matches(QKeySequence::Copy) || key->matches(QKeySequence::SelectAll)) return false;
    switch (key->key()) {
        case Qt::Key_Return: case Qt::Key_Enter: SendText(QStringLiteral("\n")); return true;
        case Qt::Key_Backspace: SendText(QStringLiteral("\b")); return true;
        case Qt::Key_Tab: SendText(QStringLiteral("\t")); return true;
        case Qt::Key_Escape: SendText(QStringLiteral("\x1B")); return true;
        default: break;
    }
    const QString text = key->text();
    if (!text.isEmpty() && !(key->modifiers() & (Qt::ControlModifier | Qt::MetaModifier)) && text.at(0).isPrint()) {
        SendText(text);
        return true;
    }
    return false;  // moving and scrolling
}

void TSerialForm::ShowTextView(bool text) { PageControl1->setCurrentIndex(text ? 0 : 1); }

QTextDocumentFragment TSerialForm::TextLines() const { return QTextDocumentFragment(Memo1->document()); }

void TSerialForm::TakeTextLines(const QTextDocumentFragment& lines) {
    QTextCursor cursor(Memo1->document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertFragment(lines);
}

void TSerialForm::AppendDumpByte(uint8_t byte, bool fromUser) {
    QTextDocument* doc = RichEdit1->document();
    const bool hasLine = !doc->isEmpty();
    const QTextBlock last = doc->lastBlock();
    HexDumpPlacement p = PlaceHexDumpByte(hasLine, last.text().toStdString(), byte);
    QTextCursor cursor(doc);
    QTextCharFormat black, colour;
    black.setForeground(Qt::black);
    colour.setForeground(fromUser ? QColor(0xFF, 0x00, 0x00) : QColor(Qt::black));
    cursor.movePosition(QTextCursor::End);
    if (p.newLine) {
        if (hasLine) cursor.insertBlock();
        cursor.insertText(QString::fromStdString(HexDumpLineTemplate), black);
    }
    const int start = doc->lastBlock().position();
    cursor.setPosition(start + 3 * p.k);
    cursor.setPosition(start + 3 * p.k + 2, QTextCursor::KeepAnchor);
    cursor.insertText(QString::fromLatin1(p.digits, 2), colour);
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(QString(QChar::fromLatin1(p.character)), colour);
    RichEdit1->setTextCursor(cursor);
}

void TSerialForm::AppendControllerBytes(const std::vector<uint8_t>& bytes) {
    QTextDocument* doc = RichEdit1->document();
    size_t i = 0;
    std::string text;
    for (uint8_t b : bytes) received_.Append(b, text);
    AppendText(text, false);
    // The rest of the current line byte by byte, then whole lines as one piece of text.
    while (i < bytes.size() && !doc->isEmpty() && doc->lastBlock().text().size() < 66)
        AppendDumpByte(bytes[i++], false);
    if (i == bytes.size()) return;
    std::string lines;
    for (; i < bytes.size(); ++i) AppendHexDumpByte(lines, bytes[i]);
    QTextCursor cursor(doc);
    cursor.movePosition(QTextCursor::End);
    QTextCharFormat black;
    black.setForeground(Qt::black);
    if (!doc->isEmpty()) cursor.insertBlock();
    cursor.insertText(QString::fromLatin1(lines.data(), int(lines.size())), black);
    // A long session keeps the most recent lines; old ones go a thousand at a time, since every
    // removal at the head makes the document lay itself out again.
    const int excess = doc->blockCount() - kDumpLines;
    if (excess >= 1000) {
        QTextCursor head(doc);
        head.setPosition(doc->findBlockByNumber(excess).position(), QTextCursor::KeepAnchor);
        head.removeSelectedText();
    }
    cursor.movePosition(QTextCursor::End);
    RichEdit1->setTextCursor(cursor);
}
