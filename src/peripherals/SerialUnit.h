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
    void DirectRefresh(uint16_t address, uint8_t value, uint8_t old) override;

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
