// Stand-in for the panel's start on an old system: creates the tray icon as the panel does and
// reports through its exit code what came of it: bit 0 the add's result, bit 1 a hidden window
// was made, bit 2 the icon counts as shown, bits 4-7 the system's major version (15 at most).
#include "PanelIds.h"
#include "TrayHarness.h"

#include <windows.h>

int main() {
    DWORD major = LOBYTE(LOWORD(GetVersion()));
    int code = static_cast<int>(major < 15 ? major : 15) << 4;
    {
        TrayProbe tray;
        UINT message = RegisterWindowMessageA("KESTREL tray notification");
        HICON icon = LoadIconA(nullptr, MAKEINTRESOURCEA(32512)); // IDI_APPLICATION
        if (tray.CreateTrayIcon(nullptr, message, "KESTREL", icon, panel::kTrayIconId)) {
            code |= 1;
        }
        if (IsWindow(tray.m_hWnd)) {
            code |= 2;
        }
        if (tray.iconShown) {
            code |= 4;
        }
    }
    return code;
}
