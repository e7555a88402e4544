// TSerialForm, the serial terminal: dump of the bytes sent both ways, Send, and the baud rates.
#pragma once

#include <QMdiSubWindow>
#include <QPointer>
#include <string>
#include <vector>

#include "RefreshRouter.h"

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTextDocumentFragment;
class QTextEdit;

class TSerialForm : public QMdiSubWindow, public RefreshTarget {
    Q_OBJECT
public:
    explicit TSerialForm(QWidget* parent = nullptr);
    ~TSerialForm() override;
    QTextEdit* RichEdit1;
    QLineEdit* Edit1;
    QPushButton *Button1, *Button2;  // "Send", "Clear"
    QGroupBox *GroupBox1, *GroupBox2;
    QLabel *Label1, *Label2, *Label3, *Label4, *Label5;
    QCheckBox* CheckBox1;  // "9th bit"

    void UpdateBaudRate();
    void CheckSCON();
    void Button1Click();
    void Button2Click();
    // Appends a byte to the dump: black for the controller's bytes, red for the user's.
    void AppendByte(uint8_t byte, bool fromUser);
    // Appends many bytes from the controller at once (black), keeping about the last kDumpLines
    // lines.
    void AppendControllerBytes(const std::vector<uint8_t>& bytes);
    static constexpr int kDumpLines = 10000;
    // The dump's lines with their colours, and their move into this terminal's own document (a
    // rebuilt terminal takes over the old one's lines, never its document).
    QTextDocumentFragment Lines() const;
    void TakeLines(const QTextDocumentFragment& lines);
    // The baud rates and the Send controls, from SCON, PCON, TMOD, TH1, T2CON and RCAP2.
    void ShowLiveState() override;
    // Appends the bytes the controller sent since the last delivery.
    void DeliverQueued() override;

protected:
    void closeEvent(QCloseEvent* event) override;
};

extern QPointer<TSerialForm> SerialForm;

// The receive and transmit texts of the baud-rate labels for the current SCON, PCON, timers and
// `frequency`.
struct BaudRates {
    std::string Receive, Transmit;
};
BaudRates ComputeBaudRates(double frequency);
