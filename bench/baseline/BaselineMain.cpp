// The benchmark's baseline: the least a Win32 program does to do the panel's outward job at
// start-up without a driver. A dialog of the panel's size with three empty lists starts in a
// modal loop of its own, adds a notification-area icon, minimises itself and hides its window,
// then waits there; "E&xit" (command 0x8004) or Escape ends it. No framework, no artwork, no
// device access. Not DialogBoxParamA: the platform's modal loop shows its dialog, restored, the
// first time its message queue goes idle, after the posted SC_MINIMIZE has hidden it.
#include "BaselineIds.h"

#include <windows.h>

#include <shellapi.h>

namespace {

const UINT WM_APP_TRAY = WM_APP + 1;
const UINT kIconId = 1;
bool g_running = false;

bool AddTrayIcon(HWND dialog) {
    NOTIFYICONDATAA data = {};
    data.cbSize = NOTIFYICONDATAA_V1_SIZE;
    data.hWnd = dialog;
    data.uID = kIconId;
    data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    data.uCallbackMessage = WM_APP_TRAY;
    data.hIcon = LoadIconA(nullptr, MAKEINTRESOURCEA(32512)); // IDI_APPLICATION
    lstrcpynA(data.szTip, "KESTREL Baseline", sizeof(data.szTip));
    return Shell_NotifyIconA(NIM_ADD, &data) != FALSE;
}

void DeleteTrayIcon(HWND dialog) {
    NOTIFYICONDATAA data = {};
    data.cbSize = NOTIFYICONDATAA_V1_SIZE;
    data.hWnd = dialog;
    data.uID = kIconId;
    Shell_NotifyIconA(NIM_DELETE, &data);
}

INT_PTR CALLBACK BaselineProc(HWND dialog, UINT message, WPARAM wParam, LPARAM /*lParam*/) {
    switch (message) {
    case WM_INITDIALOG:
        AddTrayIcon(dialog);
        PostMessageA(dialog, WM_SYSCOMMAND, SC_MINIMIZE, 0);
        return TRUE;
    case WM_SYSCOMMAND:
        if (wParam == SC_MINIMIZE) {
            // Minimised, then hidden: the icon stands for the window from now on.
            DefWindowProcA(dialog, message, wParam, 0);
            ShowWindow(dialog, SW_HIDE);
            return TRUE;
        }
        return FALSE;
    case WM_COMMAND:
        if (LOWORD(wParam) == ID_BASELINE_EXIT || LOWORD(wParam) == IDCANCEL) {
            DeleteTrayIcon(dialog);
            EndDialog(dialog, IDCANCEL);
            g_running = false;
            return TRUE;
        }
        return FALSE;
    default:
        return FALSE;
    }
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE /*previous*/, LPSTR /*commandLine*/,
                   int /*show*/) {
    HWND dialog =
        CreateDialogParamA(instance, MAKEINTRESOURCEA(IDD_BASELINE), nullptr, BaselineProc, 0);
    if (dialog == nullptr) {
        return 1;
    }
    g_running = true;
    MSG msg;
    while (g_running && GetMessageA(&msg, nullptr, 0, 0) > 0) {
        if (!IsDialogMessageA(dialog, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
    DestroyWindow(dialog);
    return 0;
}
