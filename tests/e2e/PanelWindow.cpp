#include "PanelWindow.h"

#include "Settings.h"

namespace e2e {

namespace {

const DWORD kAnswerTimeoutMs = 5000;

std::string Narrow(const wchar_t* text) {
    char narrow[512] = {};
    WideCharToMultiByte(CP_ACP, 0, text, -1, narrow, sizeof(narrow), nullptr, nullptr);
    return narrow;
}

struct TopLevelSearch {
    DWORD processId;
    const char* className;
    const char* caption;
    std::vector<HWND> found;
    bool visibleOnly;
};

BOOL CALLBACK CollectTopLevel(HWND window, LPARAM context) {
    auto* search = reinterpret_cast<TopLevelSearch*>(context);
    if (ProcessOf(window) != search->processId) {
        return TRUE;
    }
    if (search->visibleOnly && !IsWindowVisible(window)) {
        return TRUE;
    }
    char className[256] = {};
    GetClassNameA(window, className, sizeof(className));
    if (search->className != nullptr && lstrcmpiA(className, search->className) != 0) {
        return TRUE;
    }
    if (search->caption != nullptr && WindowText(window) != search->caption) {
        return TRUE;
    }
    search->found.push_back(window);
    return TRUE;
}

} // namespace

DWORD ProcessOf(HWND window) {
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    return processId;
}

std::string WindowText(HWND window) {
    wchar_t text[256] = {};
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXT, ARRAYSIZE(text), reinterpret_cast<LPARAM>(text),
                             SMTO_ABORTIFHUNG, kAnswerTimeoutMs, &copied)) {
        return std::string();
    }
    return Narrow(text);
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

HWND FindTopLevel(DWORD processId, const char* className, const char* caption) {
    TopLevelSearch search = {processId, className, caption, {}, false};
    EnumWindows(CollectTopLevel, reinterpret_cast<LPARAM>(&search));
    return search.found.empty() ? nullptr : search.found.front();
}

std::vector<HWND> VisibleTopLevels(DWORD processId, const char* className) {
    TopLevelSearch search = {processId, className, nullptr, {}, true};
    EnumWindows(CollectTopLevel, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::vector<HWND> VisibleMenus(DWORD processId) {
    return VisibleTopLevels(processId, kMenuClass);
}

} // namespace e2e
