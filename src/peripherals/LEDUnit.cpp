// The 7-segment display: segment polygons, digit drawing on trigger edges or on every store.
#include "LEDUnit.h"

#include <QCloseEvent>
#include <QLabel>
#include <QPainter>
#include <QPolygon>
#include <algorithm>
#include <utility>

#include "Board.h"
#include "Code.h"
#include "Settings.h"

QPointer<TLEDForm> LEDForm;
const QColor LedBackground(0x60, 0x00, 0x00), LedOff(0x60, 0x60, 0x60), LedOn(0xFF, 0x00, 0x00);

namespace {

// Corners of the eight segments: x relative to the digit origin, y absolute.
const int kSegments[8][12] = {
    {1, 8, 25, 8, 21, 12, 5, 12},        {26, 9, 26, 28, 22, 24, 22, 13},
    {26, 30, 26, 49, 22, 45, 22, 34},    {1, 50, 25, 50, 21, 46, 5, 46},
    {0, 30, 0, 49, 4, 45, 4, 34},        {0, 9, 0, 28, 4, 24, 4, 13},
    {1, 29, 3, 27, 23, 27, 25, 29, 23, 31, 3, 31}, {28, 50, 32, 50, 32, 46, 28, 46}};
const int kCorners[8] = {4, 4, 4, 4, 4, 4, 6, 4};

// What a lit pattern of segments 0-6 reads as, for screen readers; other patterns read as "?".
QChar DigitOfSegments(uint8_t lit) {
    static const std::pair<uint8_t, char> kGlyphs[] = {
        {0x00, ' '}, {0x3F, '0'}, {0x06, '1'}, {0x5B, '2'}, {0x4F, '3'}, {0x66, '4'}, {0x6D, '5'},
        {0x7D, '6'}, {0x07, '7'}, {0x7F, '8'}, {0x6F, '9'}, {0x77, 'A'}, {0x7C, 'b'}, {0x39, 'C'},
        {0x58, 'c'}, {0x5E, 'd'}, {0x79, 'E'}, {0x71, 'F'}, {0x76, 'H'}, {0x38, 'L'}, {0x73, 'P'},
        {0x3E, 'U'}, {0x5C, 'o'}, {0x50, 'r'}, {0x54, 'n'}, {0x40, '-'}, {0x08, '_'}};
    for (auto [pattern, c] : kGlyphs)
        if (pattern == (lit & 0x7F)) return QLatin1Char(c);
    return QLatin1Char('?');
}

}  // namespace

uint8_t PinOfItem(int k) { return uint8_t(0x80 + 0x10 * (k / 8) + k % 8); }
int ItemOfPin(uint8_t b) {
    for (int k = 0; k < 32; ++k)
        if (PinOfItem(k) == b) return k;
    return -1;
}
QString PinName(int k) { return QStringLiteral("P%1.%2").arg(k / 8).arg(k % 8); }

void DrawLedSegment(QImage& image, int x0, int dy, int n, const QColor& colour) {
    QPolygon poly;
    for (int c = 0; c < kCorners[n]; ++c) poly << QPoint(x0 + kSegments[n][2 * c], kSegments[n][2 * c + 1] + dy);
    QPainter p(&image);
    p.setPen(colour);
    p.setBrush(colour);
    p.drawPolygon(poly);
}

TLEDForm::TLEDForm(QWidget* parent) : QMdiSubWindow(parent) {
    setAttribute(Qt::WA_DeleteOnClose);
    setObjectName(QStringLiteral("LEDForm"));
    setWindowTitle(QStringLiteral("7-Segment-LEDs"));
    setWindowFlags(Qt::SubWindow | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    auto* client = new QWidget(this);
    setWindowIcon(QIcon(QStringLiteral(":/icons/led.svg")));
    Image1 = new QLabel(client);
    Image1->setAccessibleDescription(QStringLiteral("7-segment display"));
    setWidget(client);
    AddRefreshTarget(this, RefreshOrder::Led, [](uint16_t) { return false; });
    FormCreate();
    UpdateInterest();
}

TLEDForm::~TLEDForm() {
    RemoveRefreshTarget(this);
    if (!LEDForm || LEDForm == this) {
        SetTriggerLatches({});
        DetachSegmentPersistence();
    }
}

void TLEDForm::closeEvent(QCloseEvent* event) {
    QMdiSubWindow::closeEvent(event);
    const bool current = LEDForm == this;
    ForgetRefreshWindow(this, LEDForm, event);
    if (event->isAccepted() && current) {
        SetTriggerLatches({});
        DetachSegmentPersistence();
    }
}

void TLEDForm::UpdateInterest() {
    // Direct mode redraws on every store, whatever its address; multiplexed mode only on stores to
    // a trigger byte, whose falling edges latch the data pins.
    UpdateRefreshInterest(this, [](uint16_t a) {
        if (!Settings.Trigger) return true;
        for (int i = 0; i < Settings.Digits && i < 8; ++i)
            if ((Settings.Trig[i] & 0xF8) == a) return true;
        return false;
    });
    // Multiplexed digits as the eye sees them, or as the select pin's falling edge latches them.
    const bool persistence = Settings.Trigger && Settings.Persistence;
    SetRefreshPolled(this, persistence);
    if (persistence) {
        SegmentWiring w;
        w.Digits = std::clamp<int>(Settings.Digits, 1, 8);
        std::copy(Settings.Trig, Settings.Trig + 8, w.Select.begin());
        std::copy(Settings.LED, Settings.LED + 8, w.Segments.begin());
        AttachSegmentPersistence(w);
    } else {
        DetachSegmentPersistence();
    }
    std::vector<TriggerLatch> latches;
    if (Settings.Trigger && !persistence) {
        const int digits = std::clamp<int>(Settings.Digits, 1, 8);
        for (int i = 0; i < digits; ++i) {
            TriggerLatch l{Settings.Trig[i], {}};
            std::copy(Settings.LED, Settings.LED + 8, l.pins);
            latches.push_back(l);
        }
    }
    SetTriggerLatches(latches);
}

void TLEDForm::FormCreate() {
    const int digits = std::clamp<int>(Settings.Digits, 1, 8);
    Picture = QImage(36 * digits + 12, 58, QImage::Format_RGB32);
    Picture.fill(LedBackground);
    for (int k = 0; k < digits; ++k)
        for (int n = 0; n < 8; ++n) DrawLedSegment(Picture, 36 * k + 8, 0, n, LedOff);
    const int clientWidth = digits > 2 ? Picture.width() : 120;
    widget()->setFixedSize(clientWidth, 58);
    Image1->setGeometry(digits > 2 ? 0 : 54 - 18 * digits, 0, Picture.width(), 58);
    std::fill(std::begin(LitSegments), std::end(LitSegments), uint8_t(0));
    shownDigits_ = 0;
    ShowDigitsText();
    // Only a window inside the main window knows its frame; a new one gets its size when added.
    if (mdiArea()) adjustSize();
    Repaint();
    UpdateInterest();
}

void TLEDForm::Repaint() { Image1->setPixmap(QPixmap::fromImage(Picture)); }

void TLEDForm::DrawLedDigit(int i, uint8_t levels) {
    const int digits = std::clamp<int>(Settings.Digits, 1, 8);
    const int x0 = 36 * (digits - 1 - i) + 8;
    uint8_t litMask = 0;
    for (int n = 0; n < 8; ++n) {
        const bool lit = !((levels >> n) & 1);  // segments are active low
        DrawLedSegment(Picture, x0, 0, n, lit ? LedOn : LedOff);
        if (lit) litMask |= uint8_t(1u << n);
    }
    if (i >= 0 && i < 8 && LitSegments[i] != litMask) {
        LitSegments[i] = litMask;
        ShowDigitsText();
    }
}

void TLEDForm::ShowLiveState() {
    const int digits = std::clamp<int>(Settings.Digits, 1, 8);
    const bool persistence = Settings.Trigger && Settings.Persistence;
    // Polled at the display's pace: only a change is drawn.
    const uint64_t shown = persistence ? SegmentDigitsShown() : 0;
    if (persistence && shown == shownDigits_) return;
    shownDigits_ = shown;
    for (int i = 0; i < digits; ++i) {
        if (persistence) {
            // Lit segments are low levels.
            DrawLedDigit(i, uint8_t(~(shown >> (8 * i))));
        } else if (Settings.Trigger) {
            DrawLedDigit(i, LatchedPins(i));
        } else {
            // Digit 1 is wired to the trigger pins, every other digit to the data pins.
            const uint8_t* pins = i == 1 ? Settings.Trig : Settings.LED;
            uint8_t levels = 0;
            for (int n = 0; n < 8; ++n) levels |= uint8_t(ReadBit(pins[n]) << n);
            DrawLedDigit(i, levels);
        }
    }
    Repaint();
}

QString TLEDForm::DigitsText() const {
    const int digits = std::clamp<int>(Settings.Digits, 1, 8);
    QString text;
    for (int i = digits - 1; i >= 0; --i) {
        text += DigitOfSegments(LitSegments[i]);
        if (LitSegments[i] & 0x80) text += QLatin1Char('.');
    }
    return text.trimmed().isEmpty() ? QStringLiteral("dark") : text;
}

void TLEDForm::ShowDigitsText() {
    const QString text = DigitsText();
    if (Image1->accessibleName() != text) Image1->setAccessibleName(text);
}
