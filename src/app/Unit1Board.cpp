// The main window's course hardware: the LCD, 4x4 keypad and LED bar windows and their options,
// File > Load Board... and Save Board..., the board named on the command line, and the layout that
// puts a board's windows beside the listing.
#include <QFileInfo>
#include <QMenu>
#include <QMenuBar>

#include "BoardFile.h"
#include "KeyUnit.h"
#include "Keypad4x4Cfg.h"
#include "Keypad4x4Unit.h"
#include "LCDCfg.h"
#include "LCDUnit.h"
#include "LEDBarCfg.h"
#include "LEDBarUnit.h"
#include "LEDUnit.h"
#include "Prompts.h"
#include "Settings.h"
#include "Unit1.h"
#include "Unit2.h"

namespace {

QMenu* MenuNamed(QMenuBar* bar, const QString& title) {
    for (QAction* a : bar->actions())
        if (a->menu() && a->text().remove('&') == title) return a->menu();
    return nullptr;
}

// Inserts `actions` right after `after` in `menu`.
void InsertAfter(QMenu* menu, QAction* after, const QList<QAction*>& actions) {
    if (!menu) return;
    const auto list = menu->actions();
    const int at = int(list.indexOf(after));
    QAction* before = at >= 0 && at + 1 < list.size() ? list[at + 1] : nullptr;
    menu->insertActions(before, actions);
}

const QString kBoardFilter = QStringLiteral("Board files (*.board *.ini);;All files (*)");

}  // namespace

void TForm1::CreateBoardCommands() {
    ShowLCD = MakeAction("ShowLCD", "LCD", "", "", {}, true);
    ShowKeypad4x4 = MakeAction("ShowKeypad4x4", "Keypad 4x4", "", "", {}, true);
    ShowLEDBar = MakeAction("ShowLEDBar", "LED Bar", "", "", {}, true);
    ShowLCDCfg = MakeAction("ShowLCDCfg", "LCD...", "", "", {}, true);
    ShowKeypad4x4Cfg = MakeAction("ShowKeypad4x4Cfg", "Keypad 4x4...", "", "", {}, true);
    ShowLEDBarCfg = MakeAction("ShowLEDBarCfg", "LED Bar...", "", "", {}, true);
    LoadBoard = MakeAction("LoadBoard", "Load Board...", "Load the wiring of a board's devices", "", {}, true);
    SaveBoard = MakeAction("SaveBoard", "Save Board...", "Save the wiring of the open devices", "", {}, true);
    LCDCfgForm = new TLCDCfgForm(this);
    Keypad4x4CfgForm = new TKeypad4x4CfgForm(this);
    LEDBarCfgForm = new TLEDBarCfgForm(this);
    connect(ShowLCD, &QAction::triggered, this, [this] { ShowChild(LCDForm); });
    connect(ShowKeypad4x4, &QAction::triggered, this, [this] { ShowChild(Keypad4x4Form); });
    connect(ShowLEDBar, &QAction::triggered, this, [this] { ShowChild(LEDBarForm); });
    // The options wire devices anew: never under a run.
    for (auto [action, dialog] : {std::pair<QAction*, QDialog*>{ShowLCDCfg, LCDCfgForm},
                                  {ShowKeypad4x4Cfg, Keypad4x4CfgForm},
                                  {ShowLEDBarCfg, LEDBarCfgForm}})
        connect(action, &QAction::triggered, this, [this, dialog] {
            FinishWorker();
            dialog->exec();
        });
    connect(LoadBoard, &QAction::triggered, this, [this] { LoadBoardExecute(); });
    connect(SaveBoard, &QAction::triggered, this, [this] { SaveBoardExecute(); });

    // Load and Save Board after the file commands, before Exit; the devices after the 4x2 keypad;
    // their options after the 4x2 keypad's.
    if (QMenu* file = MenuNamed(menuBar(), QStringLiteral("File"))) {
        QAction* before = nullptr;
        for (QAction* a : file->actions())
            if (a->isSeparator()) before = a;
        file->insertSeparator(before);
        file->insertActions(before, {LoadBoard, SaveBoard});
    }
    InsertAfter(MenuNamed(menuBar(), QStringLiteral("View")), ShowKeys, {ShowLCD, ShowKeypad4x4, ShowLEDBar});
    InsertAfter(MenuNamed(menuBar(), QStringLiteral("Configuration")), ShowKeyCfg,
                {ShowLCDCfg, ShowKeypad4x4Cfg, ShowLEDBarCfg});
}

void TForm1::LoadBoardExecute() {
    const QString path = CurrentPrompts().OpenFileNameTitled(this, QStringLiteral("Load Board"),
                                                             QString::fromStdString(Settings.WorkDir), kBoardFilter);
    if (!path.isEmpty()) LoadBoardFromFile(path);
}

bool TForm1::LoadBoardFromFile(const QString& path) {
    Board board;
    std::string error;
    if (!LoadBoardFile(path.toStdString(), &board, &error)) {
        CurrentPrompts().Error(this, QString::fromStdString(error));
        return false;
    }
    FinishWorker();
    ApplyBoard(board, &Settings);
    // The board's devices open (or are wired anew); the others close, so that nothing pulls pins
    // the board does not wire.
    auto place = [this](bool on, auto& ref) {
        if (!on) {
            if (ref) ref->close();
            return;
        }
        if (ref) ref->FormCreate();
        else ShowChild(ref);
    };
    place(board.LED.has_value(), LEDForm);
    // The 4x2 keypad reads its pins at every key event: nothing to wire anew.
    if (!board.Keys && KeyForm) KeyForm->close();
    else if (board.Keys && !KeyForm) ShowChild(KeyForm);
    place(board.LCD.has_value(), LCDForm);
    place(board.Keypad4x4.has_value(), Keypad4x4Form);
    place(board.LEDBar.has_value(), LEDBarForm);
    LayOutBoardWindows();
    return true;
}

void TForm1::SaveBoardExecute() {
    const QString path = CurrentPrompts().SaveFileName(this, QString::fromStdString(Settings.WorkDir), kBoardFilter,
                                                       QStringLiteral("board"));
    if (path.isEmpty()) return;
    // The board is what is open: each device window's wiring.
    Board board;
    if (LEDForm) board.LED = SevenSegmentOf(Settings);
    if (KeyForm) board.Keys = Keypad4x2Of(Settings);
    if (LCDForm) board.LCD = Settings.LCD;
    if (Keypad4x4Form) board.Keypad4x4 = Settings.Keypad4x4;
    if (LEDBarForm) board.LEDBar = Settings.LEDBar;
    std::string error;
    if (!SaveBoardFile(path.toStdString(), board, &error))
        CurrentPrompts().Error(this, QStringLiteral("Unable to write to %1").arg(path) +
                                         (error.empty() ? QString() : QStringLiteral("\n") + QString::fromStdString(error)));
}

void TForm1::LayOutBoardWindows() {
    // The device windows in a column at the right, the listing filling the room to their left.
    QList<QMdiSubWindow*> devices;
    for (QMdiSubWindow* w : std::initializer_list<QMdiSubWindow*>{LCDForm, LEDForm, LEDBarForm, Keypad4x4Form, KeyForm})
        if (w) devices << w;
    const QRect area = MdiArea->viewport()->rect();
    int width = 0;
    for (QMdiSubWindow* w : devices) {
        w->showNormal();
        width = std::max(width, w->sizeHint().width());
    }
    const int x = std::max(0, area.width() - width - 4);
    int y = 4;
    for (QMdiSubWindow* w : devices) {
        w->resize(w->sizeHint());
        w->move(x, y);
        y += w->height() + 4;
    }
    if (Form2 && !devices.isEmpty()) {
        Form2->showNormal();
        Form2->move(0, 0);
        Form2->resize(std::max(Form2->minimumSizeHint().width(), x - 4), area.height());
    }
}
