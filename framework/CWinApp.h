#pragma once

#include "CObject.h"
#include "UniqueRegKey.h"

#include <windows.h>

#include <string>

class CWnd;

// The application object. Exactly one exists per program, usually a static object; AfxWinMain
// starts it.
class CWinApp : public CObject {
    DECLARE_RUNTIME_CLASS(CWinApp)

public:
    // Without a name the application is named by string resource 0xE000 when the program has
    // one, else by the executable's file name without its extension.
    explicit CWinApp(const char* appName = nullptr);
    ~CWinApp() override;

    // The program's start-up. False ends the program without a message loop.
    virtual BOOL InitInstance();
    // The message loop that follows a successful start-up; returns the WM_QUIT code.
    virtual int Run();

    // From now on the profile lives in HKEY_CURRENT_USER\software\<company>\<application name>.
    void SetRegistryKey(const char* company);
    // An integer of the profile, by section and value name. Reading and writing both create
    // missing keys. A missing value, one of another type than REG_DWORD, a failure to open the
    // key, or no registry key set yet, all read as `defaultValue`.
    int GetProfileInt(const char* section, const char* entry, int defaultValue);
    // Stores a REG_DWORD; false if the key cannot be created or written, or no registry key is
    // set (the profile then has nowhere to go: the program keeps no settings files).
    BOOL WriteProfileInt(const char* section, const char* entry, int value);

    const char* GetAppName() const;
    const char* GetRegistryKey() const;

    CWnd* m_pMainWnd;
    HINSTANCE m_hInstance;

private:
    UniqueRegKey OpenSectionKey(const char* section) const;

    std::string m_appName;
    std::string m_registryKey;
};

// The application object, or null if none has been constructed.
CWinApp* AfxGetApp();
// The module whose resources the program uses: the executable.
HINSTANCE AfxGetResourceHandle();
// The program's entry: call from WinMain. Runs InitInstance of the application object, and its
// message loop if InitInstance returns true. Returns the process exit code (-1 without an
// application object).
int AfxWinMain(HINSTANCE instance);
