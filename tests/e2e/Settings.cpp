#include "Settings.h"

namespace e2e {

bool WaitUntil(const std::function<bool()>& done, DWORD timeoutMs) {
    const ULONGLONG end = GetTickCount64() + timeoutMs;
    for (;;) {
        if (done()) {
            return true;
        }
        if (GetTickCount64() >= end) {
            return done();
        }
        Sleep(20);
    }
}

std::string SettingsKey(const std::string& appName) {
    return "software\\Quillmar\\" + appName + "\\KESTREL";
}

long StoredClockSource(const std::string& appName) {
    DWORD value = 0, size = sizeof(value), type = 0;
    LONG result = RegGetValueA(HKEY_CURRENT_USER, SettingsKey(appName).c_str(), "SPDIFSync",
                               RRF_RT_ANY, &type, &value, &size);
    if (result != ERROR_SUCCESS || type != REG_DWORD) {
        return -2;
    }
    return static_cast<long>(value);
}

bool StoreClockSource(const std::string& appName, DWORD value) {
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, SettingsKey(appName).c_str(), 0, nullptr, 0, KEY_WRITE,
                        nullptr, &key, nullptr) != ERROR_SUCCESS) {
        return false;
    }
    LONG result = RegSetValueExA(key, "SPDIFSync", 0, REG_DWORD,
                                 reinterpret_cast<const BYTE*>(&value), sizeof(value));
    RegCloseKey(key);
    return result == ERROR_SUCCESS;
}

void DeleteSettings(const std::string& appName) {
    RegDeleteTreeA(HKEY_CURRENT_USER, ("software\\Quillmar\\" + appName).c_str());
}

} // namespace e2e
