#pragma once

// What the installer tests read back through Win32: where the build and the installed copy
// keep their files, the registry entries, the Start-menu shortcut, and programs run to their
// end or watched while they run.

#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace inst {

constexpr DWORD kWaitMs = 60000; // bound on anything a test expects to happen

extern const char kRunKey[];       // HKCU: per-user autostart
extern const char kRunValue[];     // its value for the panel
extern const char kUninstallKey[]; // HKLM: the Add/Remove Programs entry
extern const char kCompanyKey[];   // HKCU: every Quillmar program's settings
extern const char kSettingsKey[];  // HKCU: the panel's section, which holds SPDIFSync
extern const char kClockSetting[]; // "SPDIFSync"

// Files of this build tree, found from the test program's own place in it.
std::string SetupProgram();
std::string BuiltPanel();

// 64-bit Windows keeps two Program Files folders and two views of HKLM\Software; a 32-bit
// system has one of each. A build's installer is of the build's kind: the 32-bit product's
// belongs in "Program Files (x86)" and in the 32-bit view (WOW6432Node) there, as users of
// 64-bit Windows get it; the 64-bit build's in the others.
bool SystemIs64Bit();
// The Program Files folder of the build's kind first, then the other kind's on 64-bit Windows.
std::vector<std::string> ProgramFilesFolders();
// The registry view of the build's kind first (0 on a 32-bit system, which has one), then the
// other kind's on 64-bit Windows: KEY_WOW64_32KEY or KEY_WOW64_64KEY.
std::vector<REGSAM> RegistryViews();

// Where the installer puts things.
std::string CompanyDir();
std::string InstallDir();
std::string InstalledPanel();
std::string InstalledUninstaller();
std::string ShortcutFile();

bool FileExists(const std::string& path);
bool DirectoryExists(const std::string& path);
std::optional<std::string> ReadFileBytes(const std::string& path);

// Reads in the registry view of the build's kind unless `view` names another.
bool KeyExists(HKEY root, const std::string& key, REGSAM view = RegistryViews()[0]);
std::optional<std::string> ReadString(HKEY root, const std::string& key, const char* name,
                                      REGSAM view = RegistryViews()[0]);
std::optional<DWORD> ReadDword(HKEY root, const std::string& key, const char* name,
                               REGSAM view = RegistryViews()[0]);
LSTATUS WriteDword(HKEY root, const std::string& key, const char* name, DWORD value);
LSTATUS DeleteValue(HKEY root, const std::string& key, const char* name);

// The path a shell link points at, or nothing when it cannot be read.
std::optional<std::string> ShortcutTarget(const std::string& link);

// Waits for `handle` while dispatching this thread's messages, so that a program that sends to
// one of the test's windows is not held up by the test. Returns what the wait returned.
DWORD WaitPumping(HANDLE handle, DWORD timeoutMs);
bool Eventually(const std::function<bool()>& condition, DWORD timeoutMs = kWaitMs);

// A program started by a test. One still running when the owner goes is ended by force.
class ChildProcess {
public:
    ChildProcess() = default;
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // False, with the last error, when the program cannot be started.
    bool Start(const std::string& commandLine);
    DWORD Id() const { return info_.dwProcessId; }
    // The exit code, or nothing while the program still runs after `timeoutMs`.
    std::optional<DWORD> WaitForExit(DWORD timeoutMs = kWaitMs);

private:
    PROCESS_INFORMATION info_ = {};
};

// Starts `commandLine` and waits for its end: its exit code, or nothing when it could not be
// started or did not end in time.
std::optional<DWORD> RunToEnd(const std::string& commandLine);

// The panel's own window ("#32770", "Quillmar KESTREL") in process `processId`, or null.
HWND FindPanelWindow(DWORD processId);
// True if a window of process `processId` holds the panel's icon (id 135) in the tray.
bool HasTrayIcon(DWORD processId);

} // namespace inst
