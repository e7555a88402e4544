// TSerialForm, the serial terminal: the bytes sent both ways as text and as a hexadecimal dump,
// typed text and Send for the controller's receiver, and the baud rates.
#pragma once

#include <QMdiSubWindow>
#include <QPointer>
#include <string>
#include <vector>

#include "RefreshRouter.h"
#include "TerminalText.h"

class QCheckBox;
class QComboBox;
class QPlainTextEdit;
class QTabWidget;
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
    // "Text" (Memo1: the bytes as text; typing here sends) and "Hex Dump" (RichEdit1).
    QTabWidget* PageControl1;
    QPlainTextEdit* Memo1;
    QComboBox* ComboBox1;  // what Return sends: CR, LF, CR LF
    QLabel* Label6;        // "Return sends:"
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
    // Appends a byte to the dump and the text: black for the controller's bytes, red for the
    // user's.
    void AppendByte(uint8_t byte, bool fromUser);
    // Typed or pasted text for the controller's receiver: line breaks as the Return setting says,
    // the bytes onto the serial line (which delivers them at the pace of their frames, each once
    // the program has taken the one before), shown in red at once.
    void SendText(const QString& text);
    // The text view (true) or the dump in front; the choice is kept in the settings.
    void ShowTextView(bool text);
    // Appends many bytes from the controller at once (black), keeping about the last kDumpLines
    // lines.
    void AppendControllerBytes(const std::vector<uint8_t>& bytes);
    static constexpr int kDumpLines = 10000;
    // The dump's lines with their colours, and their move into this terminal's own document (a
    // rebuilt terminal takes over the old one's lines, never its document).
    QTextDocumentFragment Lines() const;
    void TakeLines(const QTextDocumentFragment& lines);
    // The same for the text view.
    QTextDocumentFragment TextLines() const;
    void TakeTextLines(const QTextDocumentFragment& lines);
    // The baud rates and the Send controls, from SCON, PCON, TMOD, TH1, T2CON and RCAP2.
    void ShowLiveState() override;
    // Appends the bytes the controller sent since the last delivery.
    void DeliverQueued() override;

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void AppendDumpByte(uint8_t byte, bool fromUser);
    void AppendText(const std::string& text, bool fromUser);
    TerminalTextDecoder received_, sent_;
};

extern QPointer<TSerialForm> SerialForm;

// The receive and transmit texts of the baud-rate labels for the current SCON, PCON, timers and
// `frequency`.
struct BaudRates {
    std::string Receive, Transmit;
};
BaudRates ComputeBaudRates(double frequency);
