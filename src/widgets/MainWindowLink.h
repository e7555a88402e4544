// The main-window services that views and dialogs call back into, without knowing the main window.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "Debugger.h"

class MainWindowLink {
public:
    // The disassembly view tells when it opens and closes.
    virtual void ListingViewOpened(bool open) = 0;
    // Replaces the disassembly view by a new one at the same place, state and stacking order.
    virtual void ReplaceListingView() = 0;
    // Rebuilds the windows whose layout depends on the processor.
    virtual void RebuildProcessorWindows() = 0;
    // The processor and clock text of the status bar.
    virtual void UpdateProcessorStatus() = 0;
    // Opens the disassembly view when needed and selects and shows the row of `address`.
    virtual void ShowListingAddress(uint16_t address) = 0;
    // Opens the internal or external RAM view when needed, brings it to the front and selects
    // `count` bytes from `first` (internal: the view's address 00h-FFh; external: 0000h-FFFFh).
    enum class MemoryView { Internal, External };
    virtual void ShowMemoryBytes(MemoryView view, uint16_t first, int count) = 0;
    // Shows a code address where the user reads the program: the Source window at its C line when
    // the symbols have one, the listing's row otherwise; the window comes to the front.
    virtual void ShowCodePlace(uint16_t address) = 0;
    // Whether a run is in progress (breakpoints are not edited then).
    virtual bool RunInProgress() const = 0;
    // Opens the Source window at LINE of FILE; false when it has no such file.
    virtual bool ShowSourceLine(const std::string& file, int line) = 0;
    // Go to Last Write: back to the instant right after the last instruction that wrote any of
    // `targets`, that instruction selected in the listing and the Source window.
    virtual void GoToLastWrite(const std::vector<DataBreakpoint>& targets) { (void)targets; }

protected:
    ~MainWindowLink() = default;
};

// The main window while it exists, nullptr otherwise.
extern MainWindowLink* MainWindow;

class QAbstractItemView;
class QModelIndex;
// Gives a memory grid a context menu with "Go to Last Write" (object name GoToLastWrite) for the
// cell under the mouse; `target` names the byte of a cell, nullopt for a cell without one.
void AddLastWriteMenu(QAbstractItemView* grid, std::function<std::optional<DataBreakpoint>(const QModelIndex&)> target);
