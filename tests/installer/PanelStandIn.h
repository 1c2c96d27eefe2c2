#pragma once

// A window of the test process that looks like the running panel to the installer (class
// "#32770", caption "Quillmar KESTREL") but takes no command: it records each WM_COMMAND and
// stays. It stands in for a panel that does not end, e.g. one blocked in a driver request.

#include <windows.h>

#include <vector>

class PanelStandIn {
public:
    PanelStandIn() = default;
    ~PanelStandIn();
    PanelStandIn(const PanelStandIn&) = delete;
    PanelStandIn& operator=(const PanelStandIn&) = delete;

    // False, with the last error, when the window cannot be made.
    bool Create();
    // The wParam of every WM_COMMAND received, in order.
    const std::vector<WPARAM>& Commands() const { return m_commands; }

private:
    static LRESULT CALLBACK RecordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    HWND m_hWnd = nullptr;
    WNDPROC m_dialogProc = nullptr;
    std::vector<WPARAM> m_commands;
};
