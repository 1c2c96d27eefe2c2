#include "MainWindowStub.h"

bool MainWindowStub::Create(int x) {
    return CreateEx(0, AfxRegisterWndClass(0), "tray test main window", WS_POPUP, x, 100, 60, 40,
                    nullptr, nullptr) != FALSE;
}

std::vector<ReceivedMessage> MainWindowStub::Commands() const {
    std::vector<ReceivedMessage> commands;
    for (const ReceivedMessage& message : received) {
        if (message.message == WM_COMMAND) {
            commands.push_back(message);
        }
    }
    return commands;
}

int MainWindowStub::NullCount() const {
    int count = 0;
    for (const ReceivedMessage& message : received) {
        count += message.message == WM_NULL ? 1 : 0;
    }
    return count;
}

LRESULT MainWindowStub::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COMMAND || message == WM_NULL) {
        received.push_back({message, wParam, lParam, GetForegroundWindow()});
    }
    return CWnd::WindowProc(message, wParam, lParam);
}
