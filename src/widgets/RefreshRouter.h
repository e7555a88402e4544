// Routes the store routines' refresh requests to the open windows: the worker only marks what
// changed, the user-interface thread repaints the marked windows from live state.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include <QCloseEvent>
#include <QPointer>

// A window that shows bytes of internal or external memory, or values derived from them.
class RefreshTarget {
public:
    virtual ~RefreshTarget() = default;
    // Shows the machine as it is now: every byte the window declared, read from memory
    // (user-interface thread).
    virtual void ShowLiveState() = 0;
    // Takes over what the worker queued for this window through QueueDelivery (bytes sent).
    virtual void DeliverQueued() {}
};

// The kinds of memory-showing windows, in the order in which one repaint serves them. There is
// at most one window of each kind.
enum class RefreshOrder { Led = 0, InternalRam = 1, Registers = 2, Ports = 3, Serial = 4, ExternalRam = 5 };

// Registers a window (user-interface thread). `shows` tells for every InternalRam index whether
// the window shows that byte or derives something it shows from it; a due store there marks the
// window for the next repaint. Stores that no open window declares cost nothing more.
void AddRefreshTarget(RefreshTarget* target, RefreshOrder order, const std::function<bool(uint16_t)>& shows);
// Declares anew what a registered window shows (after its settings changed).
void UpdateRefreshInterest(RefreshTarget* target, const std::function<bool(uint16_t)>& shows);
// The external RAM page whose stores concern the target, -1 for none.
void SetExternalRefreshPage(RefreshTarget* target, int page);
void RemoveRefreshTarget(RefreshTarget* target);

// The multiplexed LED display shows what the pins held when a digit's trigger fell, not what they
// hold now, so the store that makes the edge captures them. Latch i captures pins[0..7] (bit
// addresses) on every falling edge of bit address `trigger`, on the thread that stores, through
// a store observer (Observers.h) installed while any latch is set: runs started from then on
// watch every store for it.
struct TriggerLatch {
    uint8_t trigger;
    uint8_t pins[8];
};
// Replaces the latches (at most eight; an empty list switches them off) and forgets what they
// captured: every latch reads FFh (all pins high) until its trigger falls.
void SetTriggerLatches(const std::vector<TriggerLatch>& latches);
// Bit n = the level of pins[n] of latch i at its trigger's last falling edge.
uint8_t LatchedPins(int i);
// Forgets what the latches captured (Reset): every digit is dark until its trigger falls again.
void ForgetLatchedPins();

// Any thread: the window of `order` gets DeliverQueued at the next repaint.
void QueueDelivery(RefreshOrder order);

// User-interface thread: repaints the windows marked since the last repaint (and delivers what
// was queued). Also run at once after every store made on the user-interface thread.
void RepaintChangedWindows();
// User-interface thread: every window shows live state, as at the end of a run or step.
void RepaintAllWindows();
// While a worker runs, changed windows are repainted at the display's pace (every 16 ms), and
// `eachTick` (when given) then shows what follows the program without a store: the program
// counter, the cycle counts, the variables.
void StartRepaintPacing(std::function<void()> eachTick = {});
void StopRepaintPacing();

// FormClose of a window that shows memory, after the window's own close handling: once the close
// is accepted, the window leaves the router and its process-wide reference is emptied.
template <class Form>
void ForgetRefreshWindow(Form* window, QPointer<Form>& reference, const QCloseEvent* event) {
    if (!event->isAccepted()) return;
    RemoveRefreshTarget(window);
    if (reference == window) reference = nullptr;
}
