#include "PanelStandIn.h"

#include "PanelIds.h"

PanelStandIn::~PanelStandIn() {
    if (m_hWnd != nullptr) {
        DestroyWindow(m_hWnd);
    }
}

bool PanelStandIn::Create() {
    // The dialog class's own procedure does the rest; hidden, as the panel is in the tray.
    m_hWnd = CreateWindowExA(0, panel::kDialogClass, panel::kPanelCaption, WS_POPUP, 0, 0, 10, 10,
                             nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    if (m_hWnd == nullptr) {
        return false;
    }
    SetWindowLongPtrA(m_hWnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    m_dialogProc = reinterpret_cast<WNDPROC>(SetWindowLongPtrA(
        m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&PanelStandIn::RecordingProc)));
    return m_dialogProc != nullptr;
}

LRESULT CALLBACK PanelStandIn::RecordingProc(HWND window, UINT message, WPARAM wParam,
                                             LPARAM lParam) {
    auto* self = reinterpret_cast<PanelStandIn*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (message == WM_COMMAND) {
        self->m_commands.push_back(wParam);
        return 0;
    }
    return CallWindowProcA(self->m_dialogProc, window, message, wParam, lParam);
}
