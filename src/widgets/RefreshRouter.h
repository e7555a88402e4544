// Routes the store routines' refresh requests to the open windows, on the user-interface thread.
#pragma once

#include <cstdint>
#include <functional>

#include <QCloseEvent>
#include <QPointer>

// A window that shows bytes of internal or external memory.
class RefreshTarget {
public:
    virtual ~RefreshTarget() = default;
    // A store to InternalRam index `address` (000h-17Fh) changed `old` into `value`.
    virtual void DirectRefresh(uint16_t address, uint8_t value, uint8_t old) = 0;
    // A store to external RAM.
    virtual void ExternalRefresh(uint16_t, uint8_t) {}
};

// The order in which one store refreshes the windows.
enum class RefreshOrder { Led = 0, InternalRam = 1, Registers = 2, Ports = 3, Serial = 4, ExternalRam = 5 };

// Registers a window (user-interface thread). `interested` tells for every InternalRam index
// whether a store there concerns the window; the simulation thread asks nothing else before it
// hands a refresh over, so stores that no open window shows cost no round trip.
void AddRefreshTarget(RefreshTarget* target, RefreshOrder order,
                      const std::function<bool(uint16_t)>& interested);
// Recomputes the addresses a registered window cares about (after its settings changed).
void UpdateRefreshInterest(RefreshTarget* target, const std::function<bool(uint16_t)>& interested);
// The external RAM page whose stores the target shows, -1 for none.
void SetExternalRefreshPage(RefreshTarget* target, int page);
void RemoveRefreshTarget(RefreshTarget* target);
// Set while every store refreshes the windows ("Update screen every" 1) and no window redraws on
// stores that change nothing: a worker store of the value a byte already held then needs no round
// trip, since the windows show that value already.
void SetSkipUnchangedStores(bool skip);

// FormClose of a window that shows memory, after the window's own close handling: once the close
// is accepted, the window leaves the router and its process-wide reference is emptied. Refreshes
// are looked up on the user-interface thread when they run, so none can reach a closed window.
template <class Form>
void ForgetRefreshWindow(Form* window, QPointer<Form>& reference, const QCloseEvent* event) {
    if (!event->isAccepted()) return;
    RemoveRefreshTarget(window);
    if (reference == window) reference = nullptr;
}
