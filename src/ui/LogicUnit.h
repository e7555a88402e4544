// TLogicForm, the Logic Analyzer window: chosen pins, bits, bytes and variables drawn over
// controller time, with zoom, pan, two cursors and the VCD export.
#pragma once

#include <QMdiSubWindow>
#include <QPointer>
#include <QWidget>
#include <cstdint>
#include <optional>
#include <vector>

#include "Signals.h"

class QAction;
class QComboBox;
class QLabel;
class QMenuBar;
class QPushButton;
class QScrollBar;
class TLogicForm;

// The drawing: a time axis on top, one row per signal (its name and its value at cursor A on the
// left), bits as high and low traces, bytes and variables as bus segments with their values.
// Only the columns on screen are drawn, each reduced to the values it spans (min/max per pixel),
// so millions of changes draw as fast as a few.
class TWaveView : public QWidget {
    Q_OBJECT
public:
    explicit TWaveView(TLogicForm* form);
    static constexpr int kNameWidth = 130, kAxisHeight = 22, kRowHeight = 26;

    // Pixel column of a cycle and the cycle at a pixel column (the wave area starts at kNameWidth).
    double XOf(double cycle) const;
    double CycleAt(double x) const;
    // The signal row at a y position, -1 for none.
    int RowAt(int y) const;
    // The change of `row`'s signal nearest to pixel column x within `slack` pixels: its index into
    // the history's changes, or -1.
    int EdgeNear(int row, double x, double slack = 4) const;
    int WaveWidth() const { return width() - kNameWidth; }

protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void wheelEvent(QWheelEvent* e) override;

private:
    void DrawAxis(class QPainter& p);
    void DrawRow(QPainter& p, int row, int top);
    TLogicForm* form_;
    QPoint pressAt_;
    double pressStart_ = 0;
    bool dragging_ = false;
};

class TLogicForm : public QMdiSubWindow {
    Q_OBJECT
public:
    explicit TLogicForm(QWidget* parent = nullptr);
    ~TLogicForm() override;

    QMenuBar* MenuBar1;
    QAction *ExportVcd, *ZoomInAction, *ZoomOutAction, *ZoomFitAction;
    QComboBox* ComboBox1;  // the signal to add: a list of names, or one typed
    QPushButton *Button1, *Button2;  // Add, Remove
    QComboBox* ComboBox2;  // Hexadecimal or Decimal, for the selected signal
    QPushButton *Button3, *Button4, *Button5;  // +, -, Zoom to fit
    TWaveView* WaveView;
    QScrollBar* ScrollBar1;
    QLabel* Label1;  // the cursors: times, Δt and 1/Δt
    QLabel* Label2;  // says when the oldest changes were dropped

    // Adds a signal by name (as ParseSignalName takes it); a bad or repeated name gets a message.
    // Changing the signals starts a new recording from the controller's present state.
    bool AddSignal(const QString& name);
    void RemoveSignal(int row);
    // Between runs: shows exactly these signals (a session coming back), without messages; returns
    // a text for each name left out ("the Logic Analyzer signal X: why").
    std::vector<std::string> SetSignalNames(const std::vector<std::string>& names);
    int SignalCount() const { return int(history_.SignalCount()); }
    QString SignalName(int row) const;
    // The value text of a row at a cycle, as the row shows it ("9Ch", "156", "1").
    QString ValueText(int row, uint64_t cycle) const;
    void SetDecimal(int row, bool decimal);
    int SelectedRow() const { return selected_; }
    void SelectRow(int row);

    // Cursor 0 (A) and 1 (B), in machine cycles; nullopt while not placed.
    std::optional<uint64_t> Cursor(int which) const { return cursors_[which]; }
    void SetCursor(int which, uint64_t cycle);
    // A click at a row's edge: places cursor A there and selects the instruction that made the
    // change in the listing. False when no edge is near.
    bool ClickEdge(int row, double x);

    // Controller time of a cycle count as the axis writes it ("1.5 ms", "250 µs").
    QString TimeText(double cycles) const;

    void ZoomBy(double factor, double aroundX);
    // Shows time from `startCycle` on at `cyclesPerPixel` (the zoom), as zooming and panning would.
    void ShowCycles(double startCycle, double cyclesPerPixel);
    void ZoomToFit();
    void PanTo(double startCycle);
    // Writes what is recorded as a VCD file; false (with a message) when it cannot be written.
    bool ExportVcdTo(const QString& path);
    void ExportVcdExecute();

    // Takes the changes recorded since the last look and redraws; a timer calls it at the
    // display's pace while the window is open.
    void Poll();
    // The main window tells when a run or step starts and ends: signals can be changed only in
    // between, and between runs the window samples the edits made meanwhile.
    void SetRunning(bool running);

    const SignalHistory& History() const { return history_; }
    double StartCycle() const { return start_; }
    double CyclesPerPixel() const { return perPixel_; }
    bool Decimal(int row) const { return row >= 0 && row < int(decimal_.size()) && decimal_[size_t(row)]; }
    uint32_t Clock() const;

protected:
    void keyPressEvent(QKeyEvent* e) override;
    void closeEvent(QCloseEvent* e) override;

private:
    friend class TWaveView;
    void SignalsChanged(std::vector<SignalDef> defs);
    void UpdateScrollBar();
    void UpdateReadout();
    void UpdateControls();
    double SpanEnd() const;

    SignalHistory history_;
    std::vector<bool> decimal_;
    int selected_ = -1;
    double start_ = 0, perPixel_ = 1;
    bool follow_ = true;  // keeps the newest changes in view while the record grows
    bool fit_ = true;     // "zoom to fit" until the user zooms or pans
    bool running_ = false, settingScroll_ = false;
    std::optional<uint64_t> cursors_[2];
    class QTimer* timer_;
};

// The open Logic Analyzer window, empty while there is none.
extern QPointer<TLogicForm> LogicForm;
