// The character LCD window: the module attached while the window is open, drawn dot by dot.
#include "LCDUnit.h"

#include <QCloseEvent>
#include <QLabel>
#include <QPainter>
#include <QTime>

#include "Settings.h"

QPointer<TLCDForm> LCDForm;

namespace {

// Sizes in pixels: a dot, the pitch of dots, of character cells and of lines, and the margin.
constexpr int kDot = 3, kPitch = 4, kCellWidth = 6 * kPitch, kLineHeight = 10 * kPitch, kMargin = 14;

struct Palette {
    QColor bezel, glass, dark, lit;
};
const Palette kGreen{QColor(0x2A, 0x2A, 0x26), QColor(0x9C, 0xB8, 0x3A), QColor(0x90, 0xAB, 0x34),
                     QColor(0x22, 0x2E, 0x0E)};
const Palette kBlue{QColor(0x2A, 0x2A, 0x2E), QColor(0x1E, 0x3C, 0xC8), QColor(0x27, 0x47, 0xD4),
                    QColor(0xEE, 0xF4, 0xFF)};

// The blink of the cursor block: 409.6 ms on, 409.6 ms off at the module's 270 kHz, as the eye
// sees it on the screen.
bool BlinkPhase() {
    return QTime::currentTime().msecsSinceStartOfDay() / 410 % 2 == 0;
}

}  // namespace

QImage DrawLcdGlass(const Hd44780& lcd, bool blinkPhase) {
    const LcdWiring& w = lcd.Wiring();
    const Palette& c = w.Blue ? kBlue : kGreen;
    QImage image(2 * kMargin + w.Columns * kCellWidth - 2 * kPitch, 2 * kMargin + w.Lines * kLineHeight - 2 * kPitch,
                 QImage::Format_RGB32);
    image.fill(c.bezel);
    QPainter p(&image);
    p.fillRect(image.rect().adjusted(5, 5, -5, -5), c.glass);
    const int cursor = lcd.AddressingCgram() ? -1 : lcd.AddressCounter();
    for (int line = 0; line < w.Lines; ++line) {
        for (int col = 0; col < w.Columns; ++col) {
            const int address = lcd.ShownAddress(line, col);
            std::array<uint8_t, 8> rows{};
            if (address >= 0) {
                rows = lcd.Glyph(lcd.Ddram(uint8_t(address)));
                if (address == cursor && lcd.CursorOn()) rows[7] = 0x1F;
                if (address == cursor && lcd.BlinkOn() && blinkPhase) rows.fill(0x1F);
            }
            const int x0 = kMargin + col * kCellWidth, y0 = kMargin + line * kLineHeight;
            for (int r = 0; r < 8; ++r)
                for (int d = 0; d < 5; ++d)
                    p.fillRect(x0 + d * kPitch, y0 + r * kPitch, kDot, kDot, rows[size_t(r)] >> (4 - d) & 1 ? c.lit : c.dark);
        }
    }
    return image;
}

TLCDForm::TLCDForm(QWidget* parent) : QMdiSubWindow(parent) {
    setAttribute(Qt::WA_DeleteOnClose);
    setObjectName(QStringLiteral("LCDForm"));
    setWindowTitle(QStringLiteral("LCD"));
    setWindowIcon(QIcon(QStringLiteral(":/icons/lcd.svg")));
    setWindowFlags(Qt::SubWindow | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    auto* client = new QWidget(this);
    Image1 = new QLabel(client);
    Image1->setAccessibleDescription(QStringLiteral("Character LCD (HD44780)"));
    setWidget(client);
    AddPolledRefreshTarget(this, RefreshOrder::Lcd);
    FormCreate();
}

TLCDForm::~TLCDForm() {
    RemoveRefreshTarget(this);
    if (!LCDForm || LCDForm == this) DetachLcd();
}

void TLCDForm::closeEvent(QCloseEvent* event) {
    QMdiSubWindow::closeEvent(event);
    const bool current = LCDForm == this;
    ForgetRefreshWindow(this, LCDForm, event);
    if (event->isAccepted() && current) DetachLcd();
}

void TLCDForm::FormCreate() {
    AttachLcd(Settings.LCD);
    shown_.clear();
    ShowLiveState();
    widget()->setFixedSize(Image1->pixmap().size());
    Image1->setGeometry(0, 0, Image1->pixmap().width(), Image1->pixmap().height());
    if (mdiArea()) adjustSize();
}

void TLCDForm::ShowLiveState() {
    const Hd44780& lcd = BoardLcd();
    const bool blink = BlinkPhase();
    // What the glass depends on: the shown codes, CGRAM, the cursor and the look.
    std::vector<uint8_t> state;
    const LcdWiring& w = lcd.Wiring();
    for (int line = 0; line < w.Lines; ++line)
        for (int col = 0; col < w.Columns; ++col) state.push_back(uint8_t(lcd.ShownCode(line, col) + 1));
    for (int a = 0; a < 64; ++a) state.push_back(lcd.Cgram(uint8_t(a)));
    state.push_back(lcd.AddressCounter());
    state.push_back(uint8_t(lcd.CursorOn() | lcd.BlinkOn() << 1 | lcd.AddressingCgram() << 2 | blink << 3 |
                            w.Blue << 4 | lcd.DisplayOn() << 5));
    if (state == shown_) return;
    shown_ = std::move(state);
    Image1->setPixmap(QPixmap::fromImage(DrawLcdGlass(lcd, blink)));
    const QString text = LinesText();
    if (Image1->accessibleName() != text) Image1->setAccessibleName(text);
}

QString TLCDForm::LinesText() const {
    const Hd44780& lcd = BoardLcd();
    QStringList lines;
    for (int line = 0; line < lcd.Wiring().Lines; ++line) {
        QString text = QString::fromStdString(lcd.LineText(line));
        for (QChar& ch : text)
            if (ch.unicode() < 8) ch = QLatin1Char('?');
        lines << text.trimmed();
    }
    return lines.join(QStringLiteral(" / "));
}
