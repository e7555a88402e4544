// The port panel, the serial terminal, the LED display and the keypad with their dialogs.
#include <QAccessible>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QTest>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTableWidget>
#include <QTextBlock>
#include <QTextEdit>
#include <algorithm>

#include "HexDump.h"
#include "Inputs.h"
#include "KeyCfg.h"
#include "KeyUnit.h"
#include "LEDCfg.h"
#include "LEDUnit.h"
#include "PortUnit.h"
#include "SerialUnit.h"
#include "ByteCells.h"
#include "ByteEditUnit.h"
#include "SFRUnit.h"
#include "UiHarness.h"
#include "Unit3.h"
#include "Unit4.h"

namespace {

using PeripheralsTest = UiTest;

// A click pulls the pin low or lets it go; the latch stays as the program wrote it, and the
// boxes show the pins.
TEST_F(PeripheralsTest, PortClicksPullThePinWithItsSideEffects) {
    form->ShowPorts->trigger();
    ASSERT_TRUE(PortForm);
    TPortForm* v = PortForm;
    v->Boxes[8 + 7]->click();  // rightmost box of P1
    EXPECT_EQ(PortPins(1), 0xFE);
    EXPECT_EQ(InternalRam[Sfr::P1], 0xFF);
    EXPECT_EQ(v->Grids[1]->item(0, 0)->text(), " FE");
    EXPECT_TRUE(v->Boxes[8 + 7]->toolTip().contains("pin 0, latch 1")) << v->Boxes[8 + 7]->toolTip().toStdString();
    WriteDirectUser(Sfr::P2, 0x5A);
    QString bits;
    for (int c = 0; c < 8; ++c) bits += v->Boxes[16 + c]->isChecked() ? '1' : '0';
    EXPECT_EQ(bits, "01011010");
    EXPECT_EQ(v->Grids[2]->item(0, 0)->text(), " 5A");
    EXPECT_EQ(InternalRam[Sfr::P2], 0x5A);  // showing made no store
    WriteDirectUser(Sfr::TCON, 0x01);          // IT0: edge mode
    v->Boxes[24 + 5]->click();               // P3.2 low
    EXPECT_EQ(PortPins(3), 0xFB);
    EXPECT_EQ(InternalRam[Sfr::TCON] & 0x02, 0x02);
    // A pin the latch holds low stays low when the panel lets it go.
    WriteDirectUser(Sfr::P0, 0x0F);
    v->Boxes[0]->click();  // P0.7
    EXPECT_FALSE(v->Boxes[0]->isChecked());
    EXPECT_EQ(InternalRam[Sfr::P0], 0x0F);
    v->Boxes[8 + 7]->click();  // P1.0 let go
    EXPECT_EQ(PortPins(1), 0xFF);
}

TEST_F(PeripheralsTest, PortPanelLabelsFollowTheProcessor) {
    form->ShowPorts->trigger();
    auto labels = PortForm->findChildren<QLabel*>();
    bool t2 = false;
    for (QLabel* l : labels) t2 = t2 || l->text() == "P1.0 = T2";
    EXPECT_TRUE(t2);
    Processor8052 = 0;
    PortForm->close();
    QApplication::processEvents();
    form->ShowPorts->trigger();
    t2 = false;
    for (QLabel* l : PortForm->findChildren<QLabel*>()) t2 = t2 || l->text() == "P1.0 = T2";
    EXPECT_FALSE(t2);
    Processor8052 = 1;
}

TEST(HexDumpLines, SixteenBytesALine) {
    std::string dump;
    for (int i = 0; i < 16; ++i) AppendHexDumpByte(dump, uint8_t(0x41 + i));
    EXPECT_EQ(dump.size(), 66u);
    EXPECT_EQ(dump.substr(0, 6), "41 42 ");
    EXPECT_EQ(dump.substr(48, 18), "| ABCDEFGHIJKLMNOP");
    AppendHexDumpByte(dump, 0x20);
    EXPECT_EQ(dump.substr(67, 2), "20");
    EXPECT_EQ(dump.back(), '.');
    AppendHexDumpByte(dump, 0x7E);
    EXPECT_EQ(dump.back(), '~');
}

TEST_F(PeripheralsTest, SendDeliversTheByteAndDumpsItInRed) {
    form->ShowSerial->trigger();
    ASSERT_TRUE(SerialForm);
    TSerialForm* t = SerialForm;
    WriteDirectUser(Sfr::SCON, 0x00);
    EXPECT_FALSE(t->Button1->isEnabled());
    EXPECT_FALSE(t->Edit1->isEnabled());
    EXPECT_FALSE(t->CheckBox1->isEnabled());
    WriteDirectUser(Sfr::SCON, 0x50);
    EXPECT_TRUE(t->Button1->isEnabled());
    EXPECT_FALSE(t->CheckBox1->isEnabled());
    t->Edit1->setText("41");
    t->Button1Click();
    EXPECT_EQ(InternalRam[Sfr::SCON], 0x51);
    EXPECT_EQ(InternalRam[Sfr::SBUF], 0x41);
    QTextBlock line = t->RichEdit1->document()->firstBlock();
    EXPECT_EQ(line.text().left(2), "41");
    EXPECT_EQ(line.text().mid(50), "A");
    QTextCursor c(line);
    c.setPosition(line.position() + 1);
    EXPECT_EQ(c.charFormat().foreground().color(), QColor(0xFF, 0, 0));
    // Mode 3 with SM2: no RI without the ninth bit; with it SCON becomes F5h.
    WriteDirectUser(Sfr::SCON, 0xF0);
    t->Button1Click();
    EXPECT_EQ(InternalRam[Sfr::SCON], 0xF0);
    t->CheckBox1->setChecked(true);
    t->Button1Click();
    EXPECT_EQ(InternalRam[Sfr::SCON], 0xF5);
    // An empty field stores nothing at all.
    WriteDirectUser(Sfr::SCON, 0x50);
    t->Edit1->setText("");
    t->Button1Click();
    EXPECT_EQ(prompts.messages.last(), "'$' is not a valid integer value");
    EXPECT_EQ(InternalRam[Sfr::SCON], 0x50);
}

// A running program may store into SBUF while Send delivers: the dump shows the byte the user
// sent, and the program reads that byte from the receive buffer.
TEST_F(PeripheralsTest, SendDumpsTheByteSentWhateverTheProgramStoresMeanwhile) {
    form->ShowSerial->trigger();
    TSerialForm* t = SerialForm;
    WriteDirectUser(Sfr::SCON, 0x50);
    struct ProgramStoresSbuf : StoreRefreshHooks {
        void DirectStored(uint16_t a, uint8_t, uint8_t, bool) override {
            if (a == Sfr::SCON) InternalRam.Set(Sfr::SBUF, 0x99);
        }
        void ExternalStored(uint16_t, uint8_t, bool) override {}
    } program;
    StoreRefreshHooks* router = InstalledStoreRefreshHooks();
    InstallStoreRefreshHooks(&program);
    t->Edit1->setText("41");
    t->Button1Click();
    InstallStoreRefreshHooks(router);
    EXPECT_EQ(InternalRam[Sfr::SBUF], 0x99);  // the program's store came in between
    EXPECT_EQ(t->RichEdit1->document()->firstBlock().text().left(2), "41");
    EXPECT_EQ(SerialReceiveBuffer, 0x41);
    EXPECT_EQ(InternalRam[Sfr::SCON], 0x51);
}

TEST_F(PeripheralsTest, TheDumpWrapsAfterSixteenBytesAndTheControllerWritesInBlack) {
    form->ShowSerial->trigger();
    TSerialForm* t = SerialForm;
    for (int i = 0; i < 17; ++i) t->AppendByte(uint8_t(0x30 + i), false);
    QTextDocument* d = t->RichEdit1->document();
    EXPECT_EQ(d->blockCount(), 2);
    EXPECT_EQ(d->firstBlock().text().size(), 66);
    EXPECT_EQ(d->lastBlock().text().left(2), "40");
    QTextCursor c(d->lastBlock());
    c.setPosition(d->lastBlock().position() + 1);
    EXPECT_EQ(c.charFormat().foreground().color(), QColor(Qt::black));
    t->Button2Click();
    EXPECT_TRUE(d->isEmpty());
}

TEST_F(PeripheralsTest, BatchesOfControllerBytesDumpLikeSingleBytes) {
    form->ShowSerial->trigger();
    TSerialForm* t = SerialForm;
    t->AppendByte(0x55, true);
    std::vector<uint8_t> bytes;
    for (int i = 0; i < 40; ++i) bytes.push_back(uint8_t(i * 7));
    t->AppendControllerBytes(bytes);
    std::string expected;
    AppendHexDumpByte(expected, 0x55);
    for (uint8_t b : bytes) AppendHexDumpByte(expected, b);
    EXPECT_EQ(t->RichEdit1->toPlainText().toLatin1().toStdString(), expected);
    QTextCursor c(t->RichEdit1->document()->firstBlock());
    c.setPosition(1);
    EXPECT_EQ(c.charFormat().foreground().color(), QColor(0xFF, 0, 0));  // the user's byte stays red
    t->Button2Click();
    t->AppendControllerBytes(std::vector<uint8_t>(16 * (TSerialForm::kDumpLines + 1500), 0x41));
    EXPECT_EQ(t->RichEdit1->document()->blockCount(), TSerialForm::kDumpLines);
}

TEST_F(PeripheralsTest, BytesSentByARunReachTheTerminal) {
    form->ShowSerial->trigger();
    ASSERT_TRUE(Open({0x75, 0x99, 0x48, 0x75, 0x99, 0x69, 0x80, 0xFE}));  // "Hi", then idle
    form->RunProg->trigger();
    while (SerialForm->RichEdit1->document()->firstBlock().text().size() < 52)
        QApplication::processEvents();
    form->StopExecute();
    WaitForRun();
    EXPECT_EQ(SerialForm->RichEdit1->document()->firstBlock().text().mid(50), "Hi");
}

// Bytes the controller sent reach only the terminal that was open when they were sent, even when
// the worker took the output hook just before the terminal closed.
TEST_F(PeripheralsTest, BytesSentBeforeTheTerminalClosesNeverReachALaterOne) {
    form->ShowSerial->trigger();
    SerialOutputHook* hook = InstalledSerialOutputHook();
    ASSERT_TRUE(hook);
    SerialForm->close();
    hook->ByteSent(0x41);
    form->ShowSerial->trigger();
    QApplication::processEvents();
    form->RefreshAllViews();
    EXPECT_TRUE(SerialForm->RichEdit1->document()->isEmpty());
    InstalledSerialOutputHook()->ByteSent(0x42);
    form->RefreshAllViews();
    EXPECT_EQ(SerialForm->RichEdit1->document()->firstBlock().text().mid(50), "B");
}

TEST_F(PeripheralsTest, BaudRates) {
    form->ShowSerial->trigger();
    TSerialForm* t = SerialForm;
    WriteDirectUser(Sfr::TMOD, 0x20);
    WriteDirectUser(Sfr::TH1, 0xFD);
    WriteDirectUser(Sfr::SCON, 0x50);
    EXPECT_EQ(t->Label2->text(), "9600 (Timer 1)");
    EXPECT_EQ(t->Label3->text(), "9600 (Timer 1)");
    WriteDirectUser(Sfr::RCAP2H, 0xFF);
    WriteDirectUser(Sfr::RCAP2L, 0xDC);
    WriteDirectUser(Sfr::T2CON, 0x20);
    EXPECT_EQ(t->Label2->text(), "9600 (Timer 2)");
    EXPECT_EQ(t->Label3->text(), "9600 (Timer 1)");
    WriteDirectUser(Sfr::PCON, 0x80);  // SMOD doubles the rate at once
    EXPECT_EQ(t->Label3->text(), "19200 (Timer 1)");
    WriteDirectUser(Sfr::SCON, 0x50);
    EXPECT_EQ(t->Label3->text(), "19200 (Timer 1)");
    Settings.Frequency = 12000000;
    WriteDirectUser(Sfr::SCON, 0x00);
    EXPECT_EQ(t->Label2->text(), "1000000 (Oscillator)");
}

TEST_F(PeripheralsTest, SwitchingTheProcessorKeepsTheDump) {
    form->ShowSerial->trigger();
    SerialForm->AppendByte(0x41, true);
    TSimCfgForm* d = form->SimCfgForm;
    d->FormCreate();
    d->Radio8051->setChecked(true);
    ASSERT_TRUE(d->Button1Click());
    ASSERT_TRUE(SerialForm);
    QTextDocument* dump = SerialForm->RichEdit1->document();
    EXPECT_EQ(dump->firstBlock().text().mid(50), "A");
    QTextCursor red(dump->firstBlock());
    red.setPosition(1);
    EXPECT_EQ(red.charFormat().foreground().color(), QColor(0xFF, 0, 0));
    // The rebuilt terminal keeps no undo history either, however long the session.
    for (int i = 0; i < 50; ++i) SerialForm->AppendControllerBytes(std::vector<uint8_t>(100, 0x42));
    EXPECT_EQ(dump->availableUndoSteps(), 0);
    EXPECT_EQ(dump->blockCount(), 313);
    d->FormCreate();
    d->Radio8052->setChecked(true);
    ASSERT_TRUE(d->Button1Click());
}

// The text view: typed and pasted text reaches the program over the paced serial line, Return
// as the setting says, and shows at once in red; what the program sends back shows as lines,
// non-printable bytes as \xNN; the choice of view and Return outlives the window.
TEST_F(PeripheralsTest, TextTerminalSendsTypedTextAndShowsReceivedLines) {
    Settings.TermText = true;
    form->ShowSerial->trigger();
    TSerialForm* t = SerialForm;
    EXPECT_EQ(t->PageControl1->currentWidget(), t->Memo1);
    t->ComboBox1->setCurrentIndex(2);  // CR LF
    // 9600 baud from Timer 1; stores each byte received at 40h up and echoes it, then at NUL
    // sends "ok", a bell and CR LF.
    ASSERT_TRUE(Open({0x75, 0x89, 0x20, 0x75, 0x8D, 0xFD, 0xD2, 0x8E,  // TMOD=20h, TH1=FDh, SETB TR1
                      0x75, 0x98, 0x50, 0x78, 0x40,  // MOV SCON,#50h; MOV R0,#40h
                      0x30, 0x98, 0xFD, 0xE5, 0x99, 0xC2, 0x98,  // 000D JNB RI,$; MOV A,SBUF; CLR RI
                      0xF6, 0x08, 0x60, 0x09,        // MOV @R0,A; INC R0; JZ 0021
                      0xF5, 0x99, 0x30, 0x99, 0xFD, 0xC2, 0x99,  // MOV SBUF,A; JNB TI,$; CLR TI
                      0x80, 0xEC,                    // SJMP 000D
                      0x90, 0x00, 0x32,              // 0021 MOV DPTR,#0032h
                      0xE4, 0x93, 0x60, 0xFE,        // 0024 CLR A; MOVC A,@A+DPTR; JZ $
                      0xF5, 0x99, 0x30, 0x99, 0xFD, 0xC2, 0x99, 0xA3, 0x80, 0xF2,  // send, INC DPTR, SJMP 0024
                      'o', 'k', 0x07, 0x0D, 0x0A, 0x00}));
    form->RunProg->trigger();
    t->Memo1->setFocus();
    QTest::keyClicks(t->Memo1, "hi");
    QTest::keyClick(t->Memo1, Qt::Key_Return);
    QApplication::clipboard()->setText("a\nb");
    QTest::keyClick(t->Memo1, Qt::Key_V, Qt::ControlModifier);
    t->SendText(QString(QChar(0)));
    const QString typed = "hi\na\nb\\x00";
    EXPECT_TRUE(t->Memo1->toPlainText().startsWith(typed)) << t->Memo1->toPlainText().toStdString();
    EXPECT_TRUE(WaitUntil([&] { return t->Memo1->toPlainText().endsWith("ok\\x07\n"); }))
        << t->Memo1->toPlainText().toStdString();
    form->StopExecute();
    WaitForRun();
    const uint8_t expected[] = {'h', 'i', 0x0D, 0x0A, 'a', 0x0D, 0x0A, 'b', 0x00};
    for (size_t i = 0; i < sizeof expected; ++i) EXPECT_EQ(InternalRam[0x40 + i], expected[i]) << i;
    EXPECT_EQ(SerialLineWaiting(), 0u);
    // The user's bytes in red, the program's echo after them in black.
    EXPECT_EQ(t->Memo1->toPlainText(), typed + "hi\na\nbok\\x07\n");
    QTextCursor c(t->Memo1->document()->firstBlock());
    c.setPosition(1);
    EXPECT_EQ(c.charFormat().foreground().color(), QColor(0xFF, 0, 0));
    c.setPosition(int(typed.size()) + 1);
    EXPECT_EQ(c.charFormat().foreground().color(), QColor(Qt::black));
    EXPECT_EQ(t->RichEdit1->document()->firstBlock().text().left(5), "68 69");  // the dump has them too
    // The dump one click away, and both choices kept for the next terminal.
    t->PageControl1->setCurrentIndex(1);
    t->close();
    QApplication::processEvents();
    EXPECT_FALSE(Settings.TermText);
    EXPECT_EQ(Settings.TermReturn, 2);
    form->ShowSerial->trigger();
    EXPECT_EQ(SerialForm->PageControl1->currentWidget(), SerialForm->RichEdit1);
    EXPECT_EQ(SerialForm->ComboBox1->currentText(), "CR LF");
}

QColor SegmentPixel(TLEDForm* led, int digitFromRight, int segment) {
    const int digits = Settings.Digits;
    const int x0 = 36 * (digits - 1 - digitFromRight) + 8;
    const QPoint centres[8] = {{13, 10}, {24, 18}, {24, 40}, {13, 48}, {2, 40}, {2, 18}, {13, 29}, {30, 48}};
    return led->Picture.pixelColor(x0 + centres[segment].x(), centres[segment].y());
}

// A store shows what a window derives from the byte, even when the byte keeps its value: the
// second SCON store after SMOD was set shows the doubled rate.
TEST_F(PeripheralsTest, SingleStepsShowTheRatesDerivedFromEveryByte) {
    form->ShowSerial->trigger();
    // MOV TMOD,#20h; MOV TH1,#0FDh; MOV SCON,#50h; MOV PCON,#80h; MOV SCON,#50h
    ASSERT_TRUE(Open({0x75, 0x89, 0x20, 0x75, 0x8D, 0xFD, 0x75, 0x98, 0x50, 0x75, 0x87, 0x80, 0x75, 0x98, 0x50}));
    for (int i = 0; i < 5; ++i) {
        form->RunStep->trigger();
        WaitForRun();
        if (i == 2) {
            EXPECT_EQ(SerialForm->Label3->text(), "9600 (Timer 1)");
        }
    }
    EXPECT_EQ(SerialForm->Label3->text(), "19200 (Timer 1)");
    EXPECT_EQ(SerialForm->Label2->text(), "19200 (Timer 1)");
    EXPECT_TRUE(SerialForm->Button1->isEnabled());  // REN
}

// A direct-mode display opened during a run lights with the next store, although that store
// leaves P2 as it was.
TEST_F(PeripheralsTest, ADirectDisplayOpenedDuringARunLights) {
    Settings.Trigger = false;
    Settings.Digits = 2;
    Settings.ScrUpdate = 1;
    ASSERT_TRUE(Open({0x75, 0xA0, 0xC0, 0x80, 0xFB}));  // MOV P2,#0C0h; SJMP back
    form->RunProg->trigger();
    ASSERT_TRUE(WaitUntil([] { return InternalRam[Sfr::P2] == 0xC0; }));
    form->ShowLED->trigger();
    EXPECT_TRUE(WaitUntil([] { return SegmentPixel(LEDForm, 0, 0) == LedOn; }));
    form->StopExecute();
    WaitForRun();
    for (int n = 0; n < 8; ++n) EXPECT_EQ(SegmentPixel(LEDForm, 0, n), n < 6 ? LedOn : LedOff) << n;
}

// Whatever "Update screen every" says, a stopped run leaves every window showing memory as it is.
TEST_F(PeripheralsTest, WindowsShowMemoryAtTheEndOfEveryRun) {
    // MOV R0,#30h; INC @R0; MOV A,@R0; MOV P2,A; MOVX @DPTR,A; INC R0; CJNE R0,#40h,back; SJMP 0
    ASSERT_TRUE(Open({0x78, 0x30, 0x06, 0xE6, 0xF5, 0xA0, 0xF0, 0x08, 0xB8, 0x40, 0xF7, 0x80, 0xF3}));
    for (QAction* a : {form->ShowSFR8051, form->ShowIntRAM, form->ShowExtRAM, form->ShowPorts})
        a->trigger();
    for (int n : {1, 100, 0}) {
        Settings.ScrUpdate = uint8_t(n);
        form->RunProg->trigger();
        WaitUntil([] { return InternalRam[0x3F] > 2; });
        form->Stop->trigger();
        WaitForRun();
        ASSERT_FALSE(form->Running());
        for (int a = 0; a < 0x100; ++a)
            ASSERT_EQ(Form3->StringGrid1->item(a / 16, a % 16)->text(),
                      ByteCell(InternalRam[InternalViewIndex(a)])) << n << " " << a;
        EXPECT_EQ(Form4->StringGrid1->item(0, 0)->text(), ByteCell(ExternalRam[0])) << n;
        EXPECT_EQ(PortForm->Grids[2]->item(0, 0)->text(), ByteCell(InternalRam[Sfr::P2])) << n;
        for (int i = 0; i < 17 + SFRForm8051->Column3Rows(); ++i) {
            const RegisterViewRow& row = RegisterViewRows[i];
            QTableWidget* grid = row.Column == 1 ? SFRForm8051->StringGrid1
                                 : row.Column == 2 ? SFRForm8051->StringGrid2 : SFRForm8051->StringGrid3;
            const int k = i - (row.Column == 1 ? 0 : row.Column == 2 ? 10 : 17);
            EXPECT_EQ(grid->item(k, 0)->text(), ByteCell(InternalRam[TSFRForm8051::RowAddress(i)])) << n << " " << row.Name;
        }
    }
}

// With repaints at the display's pace the terminal still gets every byte in order, and the
// multiplexed display still shows every digit the program latched, not what the pins hold now.
TEST_F(PeripheralsTest, RepaintsKeepEveryByteAndEveryLatchedDigit) {
    Settings.ScrUpdate = 1;
    Settings.Persistence = false;  // digits latched at the trigger's falling edge
    form->ShowSerial->trigger();
    form->ShowLED->trigger();
    std::vector<uint8_t> program;
    const uint8_t patterns[4] = {0xF9, 0xA4, 0xB0, 0x99};  // 1, 2, 3, 4
    for (int i = 0; i < 4; ++i) {
        for (uint8_t b : {uint8_t(0x75), uint8_t(0xA0), patterns[i], uint8_t(0x75), uint8_t(0x90),
                          uint8_t(~(1u << i)), uint8_t(0x75), uint8_t(0x90), uint8_t(0xFF)})
            program.push_back(b);
    }
    for (uint8_t b : {0x75, 0xA0, 0xFF, 0xE4, 0xF5, 0x99, 0x04, 0x70, 0xFB, 0x80, 0xFE}) program.push_back(b);
    ASSERT_TRUE(Open(program));  // ...; MOV P2,#0FFh; CLR A; MOV SBUF,A; INC A; JNZ back; SJMP $
    form->RunProg->trigger();
    QTextDocument* dump = SerialForm->RichEdit1->document();
    EXPECT_TRUE(WaitUntil([&] { return dump->blockCount() == 16 && dump->lastBlock().text().size() == 66; }));
    form->StopExecute();
    WaitForRun();
    std::string expected;
    for (int b = 0; b < 256; ++b) AppendHexDumpByte(expected, uint8_t(b));
    std::replace(expected.begin(), expected.end(), '\xA0', ' ');  // the plain text has no hard blank
    EXPECT_EQ(SerialForm->RichEdit1->toPlainText().toLatin1().toStdString(), expected);
    for (int i = 0; i < 4; ++i)
        for (int n = 0; n < 8; ++n)
            EXPECT_EQ(SegmentPixel(LEDForm, i, n), (patterns[i] >> n) & 1 ? LedOff : LedOn) << i << " " << n;
}

TEST_F(PeripheralsTest, MultiplexedDigitsDrawOnFallingTriggers) {
    Settings.Persistence = false;
    form->ShowLED->trigger();
    ASSERT_TRUE(LEDForm);
    TLEDForm* led = LEDForm;
    EXPECT_EQ(led->Picture.width(), 36 * 4 + 12);
    EXPECT_EQ(SegmentPixel(led, 0, 0), LedOff);
    WriteDirectUser(Sfr::P2, 0x00);
    WriteDirectUser(Sfr::P1, 0xFE);  // trigger of digit 0 falls
    for (int n = 0; n < 8; ++n) EXPECT_EQ(SegmentPixel(led, 0, n), LedOn) << n;
    EXPECT_EQ(SegmentPixel(led, 1, 0), LedOff);
    WriteDirectUser(Sfr::P2, 0xFF);
    WriteDirectUser(Sfr::P1, 0xFF);  // rising: nothing
    WriteDirectUser(Sfr::P1, 0xFF);
    EXPECT_EQ(SegmentPixel(led, 0, 3), LedOn);
    Settings.LED[0] = 0x95;  // segment 0 on P1.5, as the dialog would set it
    led->FormCreate();
    WriteDirectUser(Sfr::P1, 0xDE);
    EXPECT_EQ(SegmentPixel(led, 0, 0), LedOn);
    EXPECT_EQ(SegmentPixel(led, 0, 3), LedOff);
}

TEST_F(PeripheralsTest, DirectModeRedrawsOnEveryStore) {
    Settings.Trigger = false;
    Settings.Digits = 2;
    form->ShowLED->trigger();
    TLEDForm* led = LEDForm;
    WriteDirectUser(Sfr::P2, 0xC0);
    for (int n = 0; n < 6; ++n) EXPECT_EQ(SegmentPixel(led, 0, n), LedOn) << n;
    EXPECT_EQ(SegmentPixel(led, 0, 6), LedOff);
    EXPECT_EQ(SegmentPixel(led, 0, 7), LedOff);
    InternalRam.Set(Sfr::P1, 0x00);  // digit 1 follows P1 at the next store, whatever its address
    WriteDirectUser(Sfr::ACC, 0x12);
    EXPECT_EQ(SegmentPixel(led, 1, 6), LedOn);
}

TEST_F(PeripheralsTest, LedDialogLimitsDirectModeToTwoDigits) {
    TLEDCfgForm* d = form->LEDCfgForm;
    d->FormShow();
    EXPECT_EQ(d->TrackBar1->value(), -3);
    d->TrackBar1->setValue(-4);
    d->CheckBox1->click();
    EXPECT_EQ(d->TrackBar1->value(), -1);
    d->Data[0]->setCurrentIndex(8 + 5);  // P1.5
    d->Button1Click();
    EXPECT_EQ(Settings.Digits, 2);
    EXPECT_FALSE(Settings.Trigger);
    EXPECT_EQ(Settings.LED[0], 0x95);
    Settings.Trig[3] = 0x20;  // a bit address outside the list is kept
    d->FormShow();
    EXPECT_EQ(d->Trig[3]->currentIndex(), -1);
    d->Button1Click();
    EXPECT_EQ(Settings.Trig[3], 0x20);
}

TEST_F(PeripheralsTest, KeypadTogglesPinsAndTheSharedPin) {
    form->ShowKeys->trigger();
    ASSERT_TRUE(KeyForm);
    TKeyForm* k = KeyForm;
    k->Keys[3]->click();
    EXPECT_EQ(PortPins(0), 0xF7);
    EXPECT_EQ(PortPins(3), 0xFB);
    EXPECT_EQ(InternalRam[Sfr::P0], 0xFF);  // a key pulls the pin, the latch stays
    EXPECT_TRUE(k->Keys[3]->font().bold());
    WriteDirectUser(Sfr::P0, 0xFF);  // a held key survives the program writing the port
    EXPECT_EQ(PortPins(0), 0xF7);
    k->Keys[5]->click();
    k->Keys[3]->click();  // releasing one key sets the shared pin although key 5 is down
    EXPECT_EQ(PortPins(0), 0xDF);
    EXPECT_EQ(PortPins(3), 0xFF);
    EXPECT_FALSE(k->Keys[3]->font().bold());
    k->FormKeyPress("5");
    EXPECT_EQ(PortPins(0), 0xFF);
    k->FormKeyPress("8");
    k->FormKeyPress("a");
    EXPECT_EQ(PortPins(0), 0xFF);
    Settings.UseInt = false;
    k->Keys[0]->click();
    EXPECT_EQ(PortPins(3), 0xFF);
}

// Each pin list of the keypad dialog stands beside its own key, the one nearest to it, and is
// named after it.
TEST_F(PeripheralsTest, KeypadDialogPutsEachPinListBesideItsKey) {
    TKeyCfgForm* d = form->KeyCfgForm;
    QPushButton* keys[8] = {};
    for (QPushButton* b : d->findChildren<QPushButton*>()) {
        bool digit = false;
        const int n = b->text().toInt(&digit);
        if (digit && n >= 0 && n < 8) keys[n] = b;
    }
    QStringList wrong;
    for (int n = 0; n < 8; ++n) {
        ASSERT_TRUE(keys[n]) << n;
        const QPoint box = d->Pins[n]->geometry().center();
        int nearest = 0;
        for (int k = 1; k < 8; ++k)
            if ((keys[k]->geometry().center() - box).manhattanLength() <
                (keys[nearest]->geometry().center() - box).manhattanLength())
                nearest = k;
        if (nearest != n) wrong << QStringLiteral("list of key %1 stands beside key %2").arg(n).arg(nearest);
        if (AccessibleText(d->Pins[n], QAccessible::Description) != QStringLiteral("Pin of key %1").arg(n))
            wrong << AccessibleText(d->Pins[n], QAccessible::Description);
    }
    EXPECT_EQ(wrong.join(", ").toStdString(), "");
}

// Reset darkens the 7-segment display in both wirings: no digit lights until the program selects
// one again.
TEST_F(PeripheralsTest, ResetDarkensTheDisplay) {
    form->ShowLED->trigger();
    WriteDirectUser(Sfr::P2, 0x00);
    WriteDirectUser(Sfr::P1, 0xFE);  // digit 0 latches all segments
    ASSERT_EQ(SegmentPixel(LEDForm, 0, 0), LedOn);
    form->ResetMC->trigger();
    for (int n = 0; n < 8; ++n) EXPECT_EQ(SegmentPixel(LEDForm, 0, n), LedOff) << n;
    EXPECT_EQ(AccessibleText(LEDForm->Image1), "dark");
    WriteDirectUser(Sfr::P2, 0xF9);
    WriteDirectUser(Sfr::P1, 0xFE);  // the program selects it again
    EXPECT_EQ(SegmentPixel(LEDForm, 0, 1), LedOn);
    EXPECT_EQ(SegmentPixel(LEDForm, 0, 0), LedOff);

    Settings.Trigger = false;
    Settings.Digits = 2;
    LEDForm->FormCreate();
    WriteDirectUser(Sfr::P2, 0xC0);
    ASSERT_EQ(SegmentPixel(LEDForm, 0, 0), LedOn);
    form->ResetMC->trigger();
    EXPECT_EQ(SegmentPixel(LEDForm, 0, 0), LedOff);
    EXPECT_EQ(AccessibleText(LEDForm->Image1), "dark");
}

// The keypad example: a key click interrupts the running program through INT0, and the program
// shows the key on the rightmost digit.
TEST_F(PeripheralsTest, KeypadExampleShowsTheKeyPressed) {
    prompts.openFile = QString::fromLatin1(CORVAMAT_EXAMPLES "/keypad.hex");
    form->OpenHEX->trigger();
    ASSERT_FALSE(ProgramFileName.empty());
    form->ShowLED->trigger();
    form->ShowKeys->trigger();
    form->RunProg->trigger();
    auto waitForSegments = [&](std::initializer_list<int> lit) {
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < 10000) {
            QApplication::processEvents();
            bool all = true;
            for (int n = 0; n < 8; ++n) {
                bool on = std::find(lit.begin(), lit.end(), n) != lit.end();
                all = all && (SegmentPixel(LEDForm, 0, n) == (on ? LedOn : LedOff));
            }
            if (all) return true;
        }
        return false;
    };
    EXPECT_TRUE(waitForSegments({6}));  // a dash: no key down
    KeyForm->Keys[3]->click();
    EXPECT_TRUE(waitForSegments({0, 1, 2, 3, 6}));  // "3"
    KeyForm->Keys[3]->click();  // released: no falling edge, the digit stays
    KeyForm->Keys[5]->click();
    EXPECT_TRUE(waitForSegments({0, 2, 3, 5, 6}));  // "5"
    form->StopExecute();
    WaitForRun();
}

// Whatever was changed before a Cancel, a dialog shows the settings again when it reopens.
TEST_F(PeripheralsTest, OptionDialogsShowTheSettingsEachTimeTheyOpen) {
    TLEDCfgForm* led = form->LEDCfgForm;
    led->show();
    led->CheckBox1->click();  // direct mode: the track bar goes to -1
    EXPECT_EQ(led->TrackBar1->value(), -1);
    led->reject();
    led->show();
    EXPECT_FALSE(led->CheckBox1->isChecked());
    EXPECT_EQ(led->TrackBar1->value(), -3);
    led->Button1Click();
    EXPECT_EQ(Settings.Digits, 4);
    EXPECT_TRUE(Settings.Trigger);

    TKeyCfgForm* keys = form->KeyCfgForm;
    keys->show();
    keys->Pins[0]->setCurrentIndex(8);  // P1.0
    keys->CheckBox1->click();
    keys->reject();
    EXPECT_EQ(Settings.Port[0], 0x80);
    keys->show();
    EXPECT_EQ(keys->Pins[0]->currentIndex(), 0);
    EXPECT_TRUE(keys->CheckBox1->isChecked());
    keys->Button1Click();
    EXPECT_EQ(Settings.Port[0], 0x80);
    EXPECT_TRUE(Settings.UseInt);
}

// A screen reader reads the values the peripherals show, and the keypad keys' state.
TEST_F(PeripheralsTest, PeripheralValuesReachAssistiveTechnology) {
    form->ShowPorts->trigger();
    WriteDirectUser(Sfr::P1, 0x5A);
    EXPECT_EQ(AccessibleCellText(PortForm->Grids[1], 0, 0), " 5A");
    EXPECT_EQ(AccessibleCellText(PortForm->Grids[1], 0, 0, QAccessible::Description), "P1 value");

    form->ShowSerial->trigger();
    WriteDirectUser(Sfr::TMOD, 0x20);
    WriteDirectUser(Sfr::TH1, 0xFD);
    WriteDirectUser(Sfr::SCON, 0x50);
    EXPECT_EQ(AccessibleText(SerialForm->Label2), "9600 (Timer 1)");
    EXPECT_EQ(AccessibleText(SerialForm->Label3, QAccessible::Description), "Transmit baud rate");

    Settings.Persistence = false;  // each digit keeps what its trigger's falling edge latched
    form->ShowLED->trigger();
    QLabel* display = LEDForm->Image1;
    EXPECT_EQ(AccessibleText(display), "dark");
    EXPECT_EQ(AccessibleText(display, QAccessible::Description), "7-segment display");
    WriteDirectUser(Sfr::P1, 0xFF);
    WriteDirectUser(Sfr::P2, uint8_t(~0x4F));  // the segments of a 3
    WriteDirectUser(Sfr::P1, 0xFE);            // into the rightmost digit
    WriteDirectUser(Sfr::P2, uint8_t(~0xBF));  // 0 with its point
    WriteDirectUser(Sfr::P1, 0xFD);            // into the next digit
    EXPECT_EQ(AccessibleText(display), "  0.3");

    form->ShowKeys->trigger();
    QAccessibleInterface* key = QAccessible::queryAccessibleInterface(KeyForm->Keys[2]);
    EXPECT_EQ(key->text(QAccessible::Name), "2");
    EXPECT_TRUE(key->state().checkable);
    EXPECT_FALSE(key->state().checked);
    KeyForm->Keys[2]->click();
    EXPECT_TRUE(key->state().checked);
    KeyForm->FormKeyPress("2");
    EXPECT_FALSE(key->state().checked);
    EXPECT_EQ(InternalRam[Sfr::P0], 0xFF);
}

// The port panel's bit numbers and the LED dialog's data pin lists where the layout puts them.
TEST_F(PeripheralsTest, ColumnLabelsAndPinListsStandWhereTheLayoutPutsThem) {
    form->ShowPorts->trigger();
    QStringList wrong;
    for (QLabel* l : PortForm->widget()->findChildren<QLabel*>()) {
        bool digit = false;
        const int n = l->text().toInt(&digit);
        if (digit && l->pos() != QPoint(186 - 22 * n, 8)) wrong << "port " + l->text();
    }
    TLEDCfgForm* d = form->LEDCfgForm;
    for (int n = 0; n < 8; ++n) {
        const QPoint list(112 + 76 * (n / 4), 16 + 24 * (n % 4));
        if (d->Data[n]->pos() != list) wrong << QStringLiteral("list %1").arg(n);
        for (QLabel* l : d->Data[n]->parentWidget()->findChildren<QLabel*>(Qt::FindDirectChildrenOnly))
            if (l->text() == QString::number(n) && l->pos() != list + QPoint(-12, 4))
                wrong << QStringLiteral("label %1").arg(n);
    }
    EXPECT_EQ(wrong.join(", ").toStdString(), "");
}

// The LED and keypad windows carry pictures of their own, which reach them from the resources.
TEST_F(PeripheralsTest, PeripheralWindowsCarryTheirOwnIcons) {
    form->ShowLED->trigger();
    form->ShowKeys->trigger();
    for (auto [window, file] : {std::pair<QWidget*, QString>{LEDForm, ":/icons/led.svg"},
                                {KeyForm, ":/icons/keypad.svg"}}) {
        const QImage shown = window->windowIcon().pixmap(16, 16).toImage();
        ASSERT_FALSE(shown.isNull()) << file.toStdString();
        EXPECT_EQ(shown, QIcon(file).pixmap(16, 16).toImage()) << file.toStdString();
    }
}

}  // namespace

namespace {

// Every window open, every store refreshing, while the user clicks pins and keys, sends serial
// bytes, edits registers, opens and closes windows, switches the processor and resets.
TEST_F(PeripheralsTest, StressEveryWindowDuringARun) {
    // ledcount-like loop: stores to P1, P2, RAM through @R0, and a byte out through SBUF.
    ASSERT_TRUE(Open({0x78, 0x30, 0x06, 0xE6, 0xF5, 0xA0, 0x75, 0x90, 0xFE, 0x75, 0x90, 0xFF,
                      0xF5, 0x99, 0x80, 0xF2}));
    Settings.ScrUpdate = 1;
    for (QAction* a : {form->ShowSFR8051, form->ShowIntRAM, form->ShowExtRAM, form->ShowPorts,
                       form->ShowSerial, form->ShowLED, form->ShowKeys})
        a->trigger();
    EditEntryOverride = [](const QString&, uint8_t v) -> std::optional<uint8_t> { return uint8_t(v + 1); };
    form->RunProg->trigger();
    QElapsedTimer bound;
    bound.start();
    for (int i = 0; i < 120 && bound.elapsed() < 20000; ++i) {
        QApplication::processEvents();
        switch (i % 10) {
            case 0: if (PortForm) PortForm->Boxes[i % 32]->click(); break;
            case 1: if (KeyForm) KeyForm->Keys[i % 8]->click(); break;
            case 2: if (SerialForm) { WriteDirectUser(Sfr::SCON, 0x50); SerialForm->Button1Click(); } break;
            case 3: if (SFRForm8051) SFRForm8051->EditAt(SFRForm8051->StringGrid1->pos() + QPoint(12, 8)); break;
            case 4: if (PortForm) PortForm->close(); form->ShowPorts->trigger(); break;
            case 5: if (SerialForm) SerialForm->close(); form->ShowSerial->trigger(); break;
            case 6: if (LEDForm) LEDForm->close(); form->ShowLED->trigger(); break;
            case 7: form->ResetMC->trigger(); form->RunProg->trigger(); break;
            case 8: if (KeyForm) KeyForm->close(); form->ShowKeys->trigger(); break;
            case 9:
                if (i % 50 == 9) {
                    form->StopExecute();
                    form->FinishWorker();
                    TSimCfgForm* d = form->SimCfgForm;
                    d->FormCreate();
                    (Settings.Processor ? d->Radio8051 : d->Radio8052)->setChecked(true);
                    d->Button1Click();
                    form->RunProg->trigger();
                }
                break;
        }
    }
    form->StopExecute();
    WaitForRun();
    EditEntryOverride = nullptr;
    EXPECT_FALSE(form->Running());
    Processor8052 = 1;
    Settings.Processor = 1;
}

}  // namespace
