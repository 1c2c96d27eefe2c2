#pragma once

// Stand-in for the panel as the application's main window: records the commands and the
// WM_NULL messages that reach it, in arrival order.

#include "CWnd.h"

#include <windows.h>

#include <vector>

struct ReceivedMessage {
    UINT message; // WM_COMMAND or WM_NULL
    WPARAM wParam;
    LPARAM lParam;
    HWND foreground; // the foreground window when it arrived
};

class MainWindowStub : public CWnd {
public:
    // A hidden popup at (x, 100), as the panel is while it sits in the notification area.
    bool Create(int x);
    std::vector<ReceivedMessage> Commands() const;
    int NullCount() const;

    std::vector<ReceivedMessage> received;

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
};
