#pragma once

// The running panel's window as another process sees it: its three lists (their entries read by
// test::ListTexts) and the user's choices sent to it as the lists and the tray menu send them.

#include "ChildProcess.h"
#include "PanelIds.h"

#include <windows.h>

#include <string>
#include <vector>

class PanelWindow {
public:
    explicit PanelWindow(HWND dialog) : dialog_(dialog) {}

    HWND Dialog() const { return dialog_; }
    HWND RateList() const { return GetDlgItem(dialog_, panel::kRateList); }
    HWND ClockList() const { return GetDlgItem(dialog_, panel::kClockList); }
    HWND BufferList() const { return GetDlgItem(dialog_, panel::kBufferList); }
    // The lists are those of `units` units: four rates for one unit and two for two, two clock
    // sources for one unit and three for two.
    bool ShowsUnits(int units) const;

    static int Count(HWND list);

    // Selects `position` as the user would and tells the panel (CBN_SELCHANGE).
    void Pick(HWND list, int position) const;
    // A menu command, as the tray menu sends it.
    void Command(UINT id) const;
    // "E&xit": the panel ends as the user ends it.
    void Exit() const;

private:
    HWND dialog_;
};
