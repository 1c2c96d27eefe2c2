#include "CWinApp.h"

#include <cstring>

IMPLEMENT_RUNTIME_CLASS(CWinApp, CObject)

namespace {

CWinApp* g_app = nullptr;

// String resource that names the application when a program carries it.
const UINT kAppTitleString = 0xE000;

std::string ExecutableBaseName() {
    char path[MAX_PATH] = {};
    DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string name(path, length);
    size_t slash = name.find_last_of("\\/");
    if (slash != std::string::npos) {
        name.erase(0, slash + 1);
    }
    size_t dot = name.find_last_of('.');
    if (dot != std::string::npos) {
        name.erase(dot);
    }
    return name;
}

} // namespace

CWinApp::CWinApp(const char* appName) : m_pMainWnd(nullptr), m_hInstance(nullptr) {
    if (g_app == nullptr) {
        g_app = this;
    }
    if (appName != nullptr) {
        m_appName = appName;
    } else {
        char title[256] = {};
        int length = LoadStringA(GetModuleHandleA(nullptr), kAppTitleString, title, sizeof(title));
        m_appName = length > 0 ? std::string(title, length) : ExecutableBaseName();
    }
}

CWinApp::~CWinApp() {
    if (g_app == this) {
        g_app = nullptr;
    }
}

BOOL CWinApp::InitInstance() {
    return TRUE;
}

int CWinApp::Run() {
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return static_cast<int>(msg.wParam);
}

void CWinApp::SetRegistryKey(const char* company) {
    m_registryKey = company;
}

const char* CWinApp::GetAppName() const {
    return m_appName.c_str();
}

const char* CWinApp::GetRegistryKey() const {
    return m_registryKey.c_str();
}

UniqueRegKey CWinApp::OpenSectionKey(const char* section) const {
    if (m_registryKey.empty()) {
        return UniqueRegKey();
    }
    std::string path = "software\\" + m_registryKey + "\\" + m_appName + "\\" + section;
    HKEY key = nullptr;
    LONG error =
        RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_READ | KEY_WRITE, nullptr, &key, nullptr);
    if (error != ERROR_SUCCESS) {
        SetLastError(static_cast<DWORD>(error));
        return UniqueRegKey();
    }
    return UniqueRegKey(key);
}

int CWinApp::GetProfileInt(const char* section, const char* entry, int defaultValue) {
    UniqueRegKey key = OpenSectionKey(section);
    if (!key) {
        return defaultValue;
    }
    DWORD type = 0;
    DWORD value = 0;
    DWORD size = sizeof(value);
    LONG error =
        RegQueryValueExA(key.Get(), entry, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
    if (error != ERROR_SUCCESS || type != REG_DWORD || size != sizeof(value)) {
        return defaultValue;
    }
    return static_cast<int>(value);
}

BOOL CWinApp::WriteProfileInt(const char* section, const char* entry, int value) {
    UniqueRegKey key = OpenSectionKey(section);
    if (!key) {
        return FALSE;
    }
    DWORD data = static_cast<DWORD>(value);
    LONG error = RegSetValueExA(key.Get(), entry, 0, REG_DWORD,
                                reinterpret_cast<const BYTE*>(&data), sizeof(data));
    if (error != ERROR_SUCCESS) {
        SetLastError(static_cast<DWORD>(error));
        return FALSE;
    }
    return TRUE;
}

CWinApp* AfxGetApp() {
    return g_app;
}

HINSTANCE AfxGetResourceHandle() {
    if (g_app != nullptr && g_app->m_hInstance != nullptr) {
        return g_app->m_hInstance;
    }
    return GetModuleHandleA(nullptr);
}

int AfxWinMain(HINSTANCE instance) {
    CWinApp* app = AfxGetApp();
    if (app == nullptr) {
        return -1;
    }
    app->m_hInstance = instance;
    if (!app->InitInstance()) {
        return 0;
    }
    return app->Run();
}
