// The serial terminal: the dump, bytes from the controller handed over from the simulation
// thread, the Send button, and the baud rates.
#include "SerialUnit.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QCoreApplication>
#include <QMetaObject>
#include <QPushButton>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextEdit>
#include <cmath>
#include <mutex>
#include <vector>

#include "Code.h"
#include "FitText.h"
#include "HexDump.h"
#include "KeyFilters.h"
#include "Prompts.h"
#include "Settings.h"

QPointer<TSerialForm> SerialForm;

namespace {

// Bytes the program sent, collected on the simulation thread and appended on the user-interface
// thread; the run does not wait for the terminal.
class SerialBridge : public SerialOutputHook {
public:
    void ByteSent(uint8_t value) override {
        bool post;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            post = pending_.empty();
            pending_.push_back(value);
        }
        if (post) QMetaObject::invokeMethod(QCoreApplication::instance(), [this] { Flush(); }, Qt::QueuedConnection);
    }
    void Flush() {
        std::vector<uint8_t> bytes;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            bytes.swap(pending_);
        }
        if (SerialForm) SerialForm->AppendControllerBytes(bytes);
    }

private:
    std::mutex mutex_;
    std::vector<uint8_t> pending_;
};

SerialBridge Bridge;

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
    client->setFixedSize(552, 269);
    QFont small = client->font();
    small.setPixelSize(11);
    client->setFont(small);
    RichEdit1 = new QTextEdit(client);
    RichEdit1->setObjectName(QStringLiteral("RichEdit1"));
    RichEdit1->setAccessibleName(QStringLiteral("Serial dump"));
    RichEdit1->setGeometry(0, 0, 551, 197);
    QFont mono(QStringLiteral("Courier New"));
    mono.setStyleHint(QFont::Monospace);
    mono.setPixelSize(13);
    RichEdit1->setFont(mono);
    RichEdit1->setReadOnly(true);
    RichEdit1->setUndoRedoEnabled(false);  // a long session must not keep every edit
    RichEdit1->setLineWrapMode(QTextEdit::NoWrap);
    RichEdit1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    GroupBox1 = new QGroupBox(QStringLiteral("Transmission"), client);
    GroupBox1->setGeometry(8, 204, 345, 57);
    GroupBox2 = new QGroupBox(QStringLiteral("Baud Rate"), client);
    GroupBox2->setGeometry(360, 204, 185, 57);
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
    UpdateBaudRate();
    CheckSCON();
    AddRefreshTarget(this, RefreshOrder::Serial, [](uint16_t a) {
        return a == 0x88 || a == 0x89 || a == 0x8C || a == 0x8D || a == 0xC8 || a == 0xCA ||
               a == 0xCB || a == 0x98;
    });
    InstallSerialOutputHook(&Bridge);
}

TSerialForm::~TSerialForm() {
    RemoveRefreshTarget(this);
    if (!SerialForm || SerialForm == this) InstallSerialOutputHook(nullptr);
}

void TSerialForm::closeEvent(QCloseEvent* event) {
    QMdiSubWindow::closeEvent(event);
    if (!event->isAccepted()) return;
    RemoveRefreshTarget(this);
    if (SerialForm == this) {
        Bridge.Flush();
        SerialForm = nullptr;
        InstallSerialOutputHook(nullptr);
    }
}

void TSerialForm::DirectRefresh(uint16_t a, uint8_t, uint8_t) {
    UpdateBaudRate();
    if (a == 0x98) CheckSCON();
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
    ReceiveSerialByteUi(byte, CheckBox1->isChecked() ? 1 : 0);
    AppendByte(byte, true);
}

void TSerialForm::Button2Click() {
    RichEdit1->clear();
    RichEdit1->setTextColor(Qt::black);
}

void TSerialForm::AppendByte(uint8_t byte, bool fromUser) {
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
    // The rest of the current line byte by byte, then whole lines as one piece of text.
    while (i < bytes.size() && !doc->isEmpty() && doc->lastBlock().text().size() < 66)
        AppendByte(bytes[i++], false);
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
