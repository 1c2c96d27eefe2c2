#include "PanelWindow.h"

#include "ChildProcess.h"
#include "PanelIds.h"

namespace e2e {

namespace {

const DWORD kAnswerTimeoutMs = 5000;

std::string Narrow(const wchar_t* text) {
    char narrow[512] = {};
    WideCharToMultiByte(CP_ACP, 0, text, -1, narrow, sizeof(narrow), nullptr, nullptr);
    return narrow;
}

} // namespace

std::string WindowText(HWND window) {
    wchar_t text[256] = {};
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXT, ARRAYSIZE(text), reinterpret_cast<LPARAM>(text),
                             SMTO_ABORTIFHUNG, kAnswerTimeoutMs, &copied)) {
        return std::string();
    }
    return Narrow(text);
}

std::string ClassOf(HWND window) {
    char name[256] = {};
    GetClassNameA(window, name, sizeof(name));
    return name;
}

std::vector<std::string> ListTexts(HWND list) {
    std::vector<std::string> texts;
    const int count = static_cast<int>(SendMessageW(list, CB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        wchar_t text[128] = {};
        const LRESULT length = SendMessageW(list, CB_GETLBTEXTLEN, static_cast<WPARAM>(i), 0);
        if (length < 0 || length >= static_cast<LRESULT>(ARRAYSIZE(text))) {
            texts.emplace_back("<unreadable>");
            continue;
        }
        SendMessageW(list, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
        texts.push_back(Narrow(text));
    }
    return texts;
}

std::string SelectedText(HWND list) {
    const LRESULT position = SendMessageW(list, CB_GETCURSEL, 0, 0);
    if (position == CB_ERR) {
        return "<none>";
    }
    const std::vector<std::string> texts = ListTexts(list);
    if (position >= static_cast<LRESULT>(texts.size())) {
        return "<out of range>";
    }
    return texts[static_cast<size_t>(position)];
}

POINT CentreOf(HWND window) {
    RECT rect = {};
    GetWindowRect(window, &rect);
    return POINT{(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
}

bool CaptionPoint(HWND window, LRESULT hit, POINT& at) {
    RECT rect = {};
    GetWindowRect(window, &rect);
    const int frame = GetSystemMetrics(SM_CYFIXEDFRAME);
    const LONG y = rect.top + frame + GetSystemMetrics(SM_CYCAPTION) / 2;
    LONG first = -1, last = -1;
    for (LONG x = rect.left; x < rect.right; ++x) {
        DWORD_PTR answer = HTNOWHERE;
        SendMessageTimeoutA(window, WM_NCHITTEST, 0, MAKELPARAM(x, y), SMTO_ABORTIFHUNG,
                            kAnswerTimeoutMs, &answer);
        if (static_cast<LRESULT>(answer) == hit) {
            if (first < 0) {
                first = x;
            }
            last = x;
        }
    }
    if (first < 0) {
        return false;
    }
    at = POINT{(first + last) / 2, y};
    return true;
}

std::vector<HWND> VisibleTopLevels(DWORD processId, const char* className) {
    std::vector<HWND> found;
    for (HWND window : test::TopLevelWindows(processId)) {
        if (IsWindowVisible(window) && lstrcmpiA(ClassOf(window).c_str(), className) == 0) {
            found.push_back(window);
        }
    }
    return found;
}

std::vector<HWND> VisibleMenus(DWORD processId) {
    return VisibleTopLevels(processId, panel::kMenuClass);
}

std::vector<HWND> WaitForMenus(DWORD processId, size_t count) {
    std::vector<HWND> menus;
    test::WaitUntil([&] { return (menus = VisibleMenus(processId)).size() == count; });
    return menus;
}

} // namespace e2e
