#include "PanelState.h"

#include "ChildProcess.h"

#include <shellapi.h>

namespace panel {

std::string SettingsKey(const std::string& appName) {
    return std::string("software\\Quillmar\\") + appName + "\\" + kSettingsSection;
}

long StoredClockSource(const std::string& appName) {
    DWORD value = 0, size = sizeof(value), type = 0;
    const LONG result = RegGetValueA(HKEY_CURRENT_USER, SettingsKey(appName).c_str(), kClockSetting,
                                     RRF_RT_ANY, &type, &value, &size);
    if (result != ERROR_SUCCESS || type != REG_DWORD) {
        return -2;
    }
    return static_cast<long>(value);
}

bool StoreClockSource(DWORD value, const std::string& appName) {
    return StoreClockSourceAs(REG_DWORD, &value, sizeof(value), appName);
}

bool StoreClockSourceAs(DWORD type, const void* data, DWORD size, const std::string& appName) {
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, SettingsKey(appName).c_str(), 0, nullptr, 0, KEY_WRITE,
                        nullptr, &key, nullptr) != ERROR_SUCCESS) {
        return false;
    }
    const LONG result =
        RegSetValueExA(key, kClockSetting, 0, type, static_cast<const BYTE*>(data), size);
    RegCloseKey(key);
    return result == ERROR_SUCCESS;
}

void DeleteSettings(const std::string& appName) {
    RegDeleteTreeA(HKEY_CURRENT_USER, ("software\\Quillmar\\" + appName).c_str());
}

std::optional<HWND> PublishedWindow() {
    HANDLE block = OpenFileMappingA(FILE_MAP_READ, FALSE, kInstanceBlock);
    if (block == nullptr) {
        return std::nullopt;
    }
    std::optional<HWND> window;
    const void* view = MapViewOfFile(block, FILE_MAP_READ, 0, 0, sizeof(DWORD));
    if (view != nullptr) {
        window = static_cast<HWND>(LongToHandle(*static_cast<const LONG*>(view)));
        UnmapViewOfFile(view);
    }
    CloseHandle(block);
    return window;
}

bool ShellIcon(DWORD message, HWND window, UINT id) {
    NOTIFYICONDATAA icon = {};
    icon.cbSize = NOTIFYICONDATAA_V1_SIZE;
    icon.hWnd = window;
    icon.uID = id;
    return Shell_NotifyIconA(message, &icon) != FALSE;
}

bool ShellHasIcon(HWND window, UINT id) {
    return ShellIcon(NIM_MODIFY, window, id);
}

bool ForgetIcon(HWND window, UINT id) {
    return ShellIcon(NIM_DELETE, window, id);
}

HWND TrayIconOwner(DWORD processId, UINT id) {
    for (HWND window : test::TopLevelWindows(processId)) {
        if (ShellHasIcon(window, id)) {
            return window;
        }
    }
    return nullptr;
}

HWND Taskbar() {
    return test::FindTopLevel(0, "Shell_TrayWnd", nullptr);
}

// Wine's shell keeps one owner-drawn button per top-level window, whose control id is that
// window's handle and which is visible while the window is.
HWND TaskbarButton(HWND window) {
    for (HWND child = GetWindow(Taskbar(), GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
        if (GetWindowLongPtrA(child, GWLP_ID) == reinterpret_cast<LONG_PTR>(window)) {
            return child;
        }
    }
    return nullptr;
}

std::string NotHiddenInTray(HWND window, UINT iconId) {
    if (window == nullptr) {
        return "no window";
    }
    const HWND button = TaskbarButton(window);
    const bool buttonShown = button != nullptr && IsWindowVisible(button);
    const bool iconHeld = TrayIconOwner(test::ProcessOf(window), iconId) != nullptr;
    if (IsIconic(window) && !IsWindowVisible(window) && !buttonShown && iconHeld) {
        return std::string();
    }
    return std::string("visible ") + (IsWindowVisible(window) ? "1" : "0") + ", iconic " +
           (IsIconic(window) ? "1" : "0") + ", taskbar button " +
           (button == nullptr ? "none"
            : buttonShown     ? "visible"
                              : "hidden") +
           ", icon " + (iconHeld ? "held" : "not held");
}

} // namespace panel
