#pragma once

// What the installer tests read back through Win32: where the build and the installed copy
// keep their files, the registry entries and the Start-menu shortcut; and the commands the
// installer leaves in the registry, run as the system runs them.

#include "ChildProcess.h"

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace inst {

// Autostart: HKLM's for every logon; HKCU's held it for the installing account in earlier
// versions. The value for the panel.
inline constexpr char kRunKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
inline constexpr char kRunValue[] = "Quillmar KESTREL";
// HKLM: the Add/Remove Programs entry.
inline constexpr char kUninstallKey[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Quillmar KESTREL";

// Files of this build tree, found from the test program's own place in it.
std::string SetupProgram();
std::string BuiltPanel();

// 64-bit Windows keeps two Program Files folders and two views of HKLM\Software; a 32-bit
// system has one of each. A build's installer is of the build's kind: the 32-bit product's
// belongs in "Program Files (x86)" and in the 32-bit view (WOW6432Node) there, as users of
// 64-bit Windows get it; the 64-bit build's in the others.

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

// The path a shell link points at, or nothing when it cannot be read.
std::optional<std::string> ShortcutTarget(const std::string& link);

// Starts a command line as the registry keeps it: the program, quoted if it holds a space,
// then its arguments. False, with the last error, when it cannot be started.
bool StartCommand(test::ChildProcess& child, const std::string& commandLine);

} // namespace inst
