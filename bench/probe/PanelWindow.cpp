#include "PanelWindow.h"

bool PanelWindow::ShowsUnits(int units) const {
    return Count(RateList()) == (units == 1 ? 4 : 2) && Count(ClockList()) == (units == 2 ? 3 : 2);
}

int PanelWindow::Count(HWND list) {
    return static_cast<int>(SendMessageW(list, CB_GETCOUNT, 0, 0));
}

void PanelWindow::Pick(HWND list, int position) const {
    SendMessageW(list, CB_SETCURSEL, static_cast<WPARAM>(position), 0);
    SendMessageW(dialog_, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(list), CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(list));
}

void PanelWindow::Command(UINT id) const {
    SendMessageW(dialog_, WM_COMMAND, MAKEWPARAM(id, 0), 0);
}

void PanelWindow::Exit() const {
    PostMessageW(dialog_, WM_COMMAND, MAKEWPARAM(panel::kExitCommand, 0), 0);
}
