// The LED bar window: eight round LEDs drawn from the pins of a port.
#include "LEDBarUnit.h"

#include <QCloseEvent>
#include <QLabel>
#include <QPainter>

#include "Board.h"
#include "Settings.h"

QPointer<TLEDBarForm> LEDBarForm;

namespace {
constexpr int kPitch = 26, kWidth = 8 * kPitch + 8, kHeight = 46;
}

TLEDBarForm::TLEDBarForm(QWidget* parent) : QMdiSubWindow(parent) {
    setAttribute(Qt::WA_DeleteOnClose);
    setObjectName(QStringLiteral("LEDBarForm"));
    setWindowTitle(QStringLiteral("LED Bar"));
    setWindowIcon(QIcon(QStringLiteral(":/icons/ledbar.svg")));
    setWindowFlags(Qt::SubWindow | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    auto* client = new QWidget(this);
    client->setFixedSize(kWidth, kHeight);
    Image1 = new QLabel(client);
    Image1->setGeometry(0, 0, kWidth, kHeight);
    setWidget(client);
    AddPolledRefreshTarget(this, RefreshOrder::LedBar);
    FormCreate();
}

TLEDBarForm::~TLEDBarForm() { RemoveRefreshTarget(this); }

void TLEDBarForm::closeEvent(QCloseEvent* event) {
    QMdiSubWindow::closeEvent(event);
    ForgetRefreshWindow(this, LEDBarForm, event);
}

void TLEDBarForm::FormCreate() {
    Image1->setAccessibleDescription(
        QStringLiteral("LED bar on %1, LED 7 first; 1 = lit").arg(QString::fromStdString(PortText(Settings.LEDBar.Port))));
    Lit = LitLeds(Settings.LEDBar, PinLevels());
    Draw();
}

void TLEDBarForm::ShowLiveState() {
    const uint8_t lit = LitLeds(Settings.LEDBar, PinLevels());
    if (lit == Lit && !Image1->pixmap().isNull()) return;
    Lit = lit;
    Draw();
}

void TLEDBarForm::Draw() {
    QImage image(kWidth, kHeight, QImage::Format_RGB32);
    image.fill(QColor(0x30, 0x30, 0x30));
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QFont f = p.font();
    f.setPixelSize(10);
    p.setFont(f);
    for (int i = 0; i < 8; ++i) {
        const int led = 7 - i, x = 4 + i * kPitch;
        const bool on = Lit >> led & 1;
        p.setPen(QColor(0x10, 0x10, 0x10));
        p.setBrush(on ? QColor(0xFF, 0x20, 0x10) : QColor(0x58, 0x14, 0x10));
        p.drawEllipse(QRect(x + 3, 6, 18, 18));
        p.setPen(QColor(0xD0, 0xD0, 0xD0));
        p.drawText(QRect(x, 28, kPitch, 14), Qt::AlignCenter, QString::number(led));
    }
    p.end();
    Image1->setPixmap(QPixmap::fromImage(image));
    QString bits;
    for (int led = 7; led >= 0; --led) bits += QLatin1Char(Lit >> led & 1 ? '1' : '0');
    Image1->setAccessibleName(bits);
}
