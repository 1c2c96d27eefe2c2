#pragma once

// What the end-to-end tests know of the program and of the machine they run on: where the
// executable and the host's tools are, the program's texts and ids, its settings in the
// registry, and a bounded wait for things that happen in other processes.

#include "StartProcess.h" // DesktopName()

#include <windows.h>

#include <functional>
#include <string>

namespace e2e {

inline constexpr char kPanelExe[] = KESTREL_PANEL_EXE;
// Copies of the executable under other names go here.
inline constexpr char kWorkDir[] = KESTREL_E2E_WORK_DIR;
inline constexpr char kWorkDirUnix[] = KESTREL_E2E_WORK_DIR_UNIX;
inline constexpr char kScreenshotDir[] = KESTREL_SCREENSHOT_DIR;
inline constexpr char kScreenshotDirUnix[] = KESTREL_SCREENSHOT_DIR_UNIX;
inline constexpr char kXdotool[] = KESTREL_XDOTOOL;
inline constexpr char kImport[] = KESTREL_IMPORT;

inline constexpr char kDialogClass[] = "#32770";
inline constexpr char kMenuClass[] = "#32768";
inline constexpr char kPanelCaption[] = "Quillmar KESTREL";
inline constexpr char kAboutCaption[] = "About Quillmar KESTREL";
// The application name of the program as built: its file name without the extension.
inline constexpr char kAppName[] = "Quillmar KESTREL";

inline constexpr UINT kTrayIconId = 135;
inline constexpr UINT kTrayMenuId = 135;
inline constexpr UINT kRestoreCommand = 0x8003;
inline constexpr UINT kExitCommand = 0x8004;
inline constexpr UINT kCpuLow = 137;
inline constexpr UINT kCpuMedium = 138;
inline constexpr UINT kCpuHigh = 139;
inline constexpr int kRateList = 1000;
inline constexpr int kClockList = 1001;
inline constexpr int kBufferList = 1003;
inline constexpr int kDoneButton = 1007;
inline constexpr UINT kAboutCommand = 0x10;

// Polls `done` every 20 ms until it is true or `timeoutMs` have passed; the result of the last
// poll. The bound only keeps a fault from hanging the suite.
bool WaitUntil(const std::function<bool()>& done, DWORD timeoutMs = 10000);

// The program's settings key below HKEY_CURRENT_USER for an application name, e.g.
// "software\Quillmar\Quillmar KESTREL\KESTREL".
std::string SettingsKey(const std::string& appName);
// SPDIFSync of that application: the stored value, or -2 when it is missing or not a REG_DWORD.
long StoredClockSource(const std::string& appName);
bool StoreClockSource(const std::string& appName, DWORD value);
// Removes the application's whole key, "software\Quillmar\<appName>".
void DeleteSettings(const std::string& appName);

} // namespace e2e
