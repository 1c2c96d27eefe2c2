#include "PanelWindow.h"

std::vector<std::string> PanelWindow::Texts(HWND list) {
    std::vector<std::string> texts;
    const int count = Count(list);
    for (int i = 0; i < count; ++i) {
        wchar_t text[64] = {};
        if (SendMessageW(list, CB_GETLBTEXTLEN, static_cast<WPARAM>(i), 0) >= 64) {
            texts.emplace_back("<too long>");
            continue;
        }
        SendMessageW(list, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
        char narrow[64] = {};
        WideCharToMultiByte(CP_ACP, 0, text, -1, narrow, static_cast<int>(sizeof(narrow)), nullptr,
                            nullptr);
        texts.emplace_back(narrow);
    }
    return texts;
}

std::string PanelWindow::Selected(HWND list) {
    const LRESULT position = SendMessageW(list, CB_GETCURSEL, 0, 0);
    const std::vector<std::string> texts = Texts(list);
    if (position < 0 || static_cast<size_t>(position) >= texts.size()) {
        return "<none>";
    }
    return texts[static_cast<size_t>(position)];
}

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
