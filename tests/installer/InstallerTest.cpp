// "Quillmar KESTREL Setup.exe" and its uninstaller, run silently (/S) as an administrator would,
// with what they did read back through Win32: files, the Start-menu shortcut, the registry, and
// the panel's process, window and tray icon.
//
// Covered: the installer's version record; a fresh install; the installed panel started at a
// logon, hidden in the tray, and ended by an uninstall that removes all that was added and
// keeps the stored clock source; an install over a running copy, with its tray menu or About box
// open; other Quillmar products' files and settings left alone; a panel that does not end, a
// panel file that is held, and a folder outside Program Files stopping the installer (and the
// first the uninstaller) before they change anything.
// Not covered: the interactive pages; a panel whose process cannot be opened (Wine opens every
// process for every caller).
#include "InstallerHarness.h"
#include "PanelState.h"
#include "PanelStandIn.h"
#include "UniqueHandle.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

using namespace inst;

namespace {

constexpr DWORD kScriptAbort = 2; // NSIS's exit code for an install the script stopped
constexpr DWORD kFileInUse = ERROR_SHARING_VIOLATION;

// What the system renames or removes at its next restart (MoveFileEx with
// MOVEFILE_DELAY_UNTIL_REBOOT): pairs of a "\??\" path and its new name, empty for a removal.
constexpr char kSessionManagerKey[] = "SYSTEM\\CurrentControlSet\\Control\\Session Manager";
constexpr char kRestartRenames[] = "PendingFileRenameOperations";

std::optional<std::vector<char>> RestartRenames() {
    std::vector<char> value(1 << 16);
    DWORD size = static_cast<DWORD>(value.size());
    if (RegGetValueA(HKEY_LOCAL_MACHINE, kSessionManagerKey, kRestartRenames, RRF_RT_REG_MULTI_SZ,
                     nullptr, value.data(), &size) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    value.resize(size);
    return value;
}

// The paths below `folder` (and it) that the next restart removes, in its order.
std::vector<std::string> RemovedAtRestart(const std::string& folder) {
    const std::vector<char> value = RestartRenames().value_or(std::vector<char>());
    std::vector<std::string> strings; // the empty ones included
    for (size_t at = 0; at < value.size(); at += strings.back().size() + 1) {
        strings.emplace_back(&value[at]);
    }
    std::vector<std::string> paths;
    for (size_t i = 0; i + 1 < strings.size(); i += 2) {
        const std::string& path = strings[i];
        if (strings[i + 1].empty() && path.rfind("\\??\\" + folder, 0) == 0) {
            paths.push_back(path.substr(4, path.find_last_not_of('\\') - 3)); // no closing "\"
        }
    }
    return paths;
}

// Another product of the company: its folder beside ours, its settings.
constexpr char kOtherProduct[] = "Software\\Quillmar\\Quillmar OTHER";
std::string OtherProductDir() {
    return CompanyDir() + "\\OTHER";
}

// Writes as an install (or an earlier version's) would: in the build's registry view.
LSTATUS SetString(HKEY root, const char* key, const char* name, const std::string& value) {
    return RegSetKeyValueA(root, key, name, REG_SZ, value.c_str(),
                           static_cast<DWORD>(value.size() + 1));
}

std::string Quoted(const std::string& path) {
    return "\"" + path + "\"";
}

// One string of the installer's version record, in its first language.
std::optional<std::string> VersionString(const std::string& file, const char* name) {
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeA(file.c_str(), &ignored);
    std::vector<char> record(size);
    if (size == 0 || !GetFileVersionInfoA(file.c_str(), 0, size, record.data())) {
        return std::nullopt;
    }
    struct Translation {
        WORD language;
        WORD codePage;
    };
    Translation* translations = nullptr;
    UINT length = 0;
    if (!VerQueryValueA(record.data(), "\\VarFileInfo\\Translation",
                        reinterpret_cast<void**>(&translations), &length) ||
        length < sizeof(Translation)) {
        return std::nullopt;
    }
    char query[128] = {};
    snprintf(query, sizeof(query), "\\StringFileInfo\\%04x%04x\\%s", translations[0].language,
             translations[0].codePage, name);
    char* value = nullptr;
    if (!VerQueryValueA(record.data(), query, reinterpret_cast<void**>(&value), &length)) {
        return std::nullopt;
    }
    return std::string(value);
}

class InstallerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(FileExists(SetupProgram())) << SetupProgram() << " is not built";
        ASSERT_EQ(test::FindTopLevel(0, panel::kDialogClass, panel::kPanelCaption), nullptr)
            << "a panel from elsewhere still runs";
        ExpectNothingInstalled();
        ASSERT_FALSE(HasFailure()) << "an earlier install was left";
        savedClockSource_ = panel::StoredClockSource();
        savedRestartRenames_ = RestartRenames();
    }

    void TearDown() override {
        standIn_.reset();
        if (panel_.IsValid()) { // ends a panel that a failed test left running
            TerminateProcess(panel_.Get(), 255);
            WaitForSingleObject(panel_.Get(), test::kProgramMs);
        }
        if (KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey)) {
            EXPECT_TRUE(Uninstall()) << "the uninstall after the test did not finish";
        }
        // What a case left goes now: another product of the company, what was left for the next
        // restart (and the restart's list is as it was).
        DeleteFileA((OtherProductDir() + "\\other.txt").c_str());
        RemoveDirectoryA(OtherProductDir().c_str());
        RegDeleteTreeA(HKEY_CURRENT_USER, kOtherProduct);
        DeleteFileA(InstalledUninstaller().c_str());
        RemoveDirectoryA(InstallDir().c_str());
        RemoveDirectoryA(CompanyDir().c_str());
        if (savedRestartRenames_) {
            RegSetKeyValueA(HKEY_LOCAL_MACHINE, kSessionManagerKey, kRestartRenames, REG_MULTI_SZ,
                            savedRestartRenames_->data(),
                            static_cast<DWORD>(savedRestartRenames_->size()));
        } else {
            RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, kSessionManagerKey, kRestartRenames);
        }
        if (savedClockSource_ != -2) { // -2: none was stored
            panel::StoreClockSource(static_cast<DWORD>(savedClockSource_));
        } else {
            RegDeleteKeyValueA(HKEY_CURRENT_USER, panel::SettingsKey().c_str(),
                               panel::kClockSetting);
        }
    }

    static void Install(const std::string& arguments = "/S", DWORD expected = 0) {
        std::optional<DWORD> exitCode = test::RunToEnd(SetupProgram(), arguments);
        ASSERT_TRUE(exitCode.has_value()) << "the installer did not start or end";
        ASSERT_EQ(*exitCode, expected) << arguments;
    }

    // Runs the entry's own quiet command. The uninstaller hands over to a copy of itself in the
    // temp folder and ends at once, so the end of the work shows as the entry going away: the
    // uninstaller removes it last.
    static bool Uninstall() {
        std::optional<std::string> command =
            ReadString(HKEY_LOCAL_MACHINE, kUninstallKey, "QuietUninstallString");
        test::ChildProcess uninstaller;
        if (!command || !StartCommand(uninstaller, *command) ||
            !uninstaller.WaitForExit(test::kSlowMs)) {
            return false;
        }
        return test::WaitUntil([] { return !KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey); },
                               test::kSlowMs);
    }

    // Logs on as far as Wine has a logon: its session start (wineboot) runs the Run keys'
    // commands. Waits until the installed panel sits hidden in the tray.
    void LogOn() {
        char system[MAX_PATH] = {};
        GetSystemDirectoryA(system, MAX_PATH);
        ASSERT_EQ(test::RunToEnd(std::string(system) + "\\wineboot.exe"), std::optional<DWORD>(0));
        EXPECT_TRUE(test::WaitUntil(
            [this] {
                window_ = test::FindTopLevel(0, panel::kDialogClass, panel::kPanelCaption);
                return panel::IsHiddenInTray(window_);
            },
            test::kProgramMs))
            << "not hidden in the tray: " << panel::NotHiddenInTray(window_);
        panel_.Reset(OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, test::ProcessOf(window_)));
        ASSERT_TRUE(panel_.IsValid()) << "no panel: error " << GetLastError();
    }

    void MakeStandIn() {
        standIn_ = std::make_unique<PanelStandIn>();
        ASSERT_TRUE(standIn_->Create()) << "error " << GetLastError();
    }

    // Nothing of the install is there, whatever else is: in neither Program Files folder and
    // neither registry view of 64-bit Windows.
    static void ExpectNothingInstalled() {
        EXPECT_FALSE(FileExists(InstalledPanel()));
        EXPECT_FALSE(FileExists(InstalledUninstaller()));
        EXPECT_FALSE(FileExists(ShortcutFile()));
        for (const std::string& folder : ProgramFilesFolders()) {
            EXPECT_FALSE(DirectoryExists(folder + "\\Quillmar\\KESTREL")) << folder;
        }
        for (REGSAM view : RegistryViews()) {
            SCOPED_TRACE("registry view " + std::to_string(view));
            for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
                EXPECT_FALSE(ReadString(root, kRunKey, kRunValue, view).has_value());
            }
            EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey, view));
        }
    }

    UniqueHandle panel_;
    HWND window_ = nullptr;
    std::unique_ptr<PanelStandIn> standIn_;

private:
    long savedClockSource_ = -2;
    std::optional<std::vector<char>> savedRestartRenames_;
};

TEST_F(InstallerTest, SetupCarriesTheProductVersionRecord) {
    struct Row {
        const char* name;
        const char* expected;
    };
    const Row rows[] = {
        {"CompanyName", "Quillmar"},
        {"ProductName", "Quillmar KESTREL"},
        {"FileVersion", "1.0.0.1"},
        {"ProductVersion", "1.0.0.1"},
        {"OriginalFilename", "Quillmar KESTREL Setup.exe"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(VersionString(SetupProgram(), row.name).value_or("<none>"), row.expected);
    }
}

TEST_F(InstallerTest, SilentInstallAddsPanelShortcutAutostartAndUninstallEntry) {
    // The installing account's autostart of an earlier version goes.
    const std::string command = Quoted(InstalledPanel());
    ASSERT_EQ(SetString(HKEY_CURRENT_USER, kRunKey, kRunValue, command), ERROR_SUCCESS);
    ASSERT_NO_FATAL_FAILURE(Install());

    std::optional<std::string> installed = ReadFileBytes(InstalledPanel());
    ASSERT_TRUE(installed.has_value()) << InstalledPanel();
    EXPECT_TRUE(installed == ReadFileBytes(BuiltPanel())) << "not the build's panel";
    std::optional<std::string> uninstaller = ReadFileBytes(InstalledUninstaller());
    ASSERT_TRUE(uninstaller.has_value()) << InstalledUninstaller();

    EXPECT_EQ(ShortcutTarget(ShortcutFile()).value_or("<unreadable>"), InstalledPanel());
    // Every logon starts the panel, from the machine's Run key in the build's view (a 64-bit
    // logon runs the 32-bit view's too); no user's.
    EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, kRunKey, kRunValue).value_or("<none>"), command);
    EXPECT_FALSE(ReadString(HKEY_CURRENT_USER, kRunKey, kRunValue).has_value());
    // On 64-bit Windows the other kind's folder and registry view get nothing.
    const std::vector<std::string> folders = ProgramFilesFolders();
    for (size_t i = 1; i < folders.size(); ++i) {
        EXPECT_NE(folders[i], folders[0]);
        EXPECT_FALSE(DirectoryExists(folders[i] + "\\Quillmar")) << folders[i];
    }
    const std::vector<REGSAM> views = RegistryViews();
    for (size_t i = 1; i < views.size(); ++i) {
        EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey, views[i]))
            << "the uninstall entry is in the other kind's registry view";
        EXPECT_FALSE(ReadString(HKEY_LOCAL_MACHINE, kRunKey, kRunValue, views[i]).has_value());
    }

    struct Row {
        const char* name;
        std::string expected;
    };
    const Row strings[] = {
        {"DisplayName", "Quillmar KESTREL"},
        {"DisplayVersion", "1.0.0.1"},
        {"Publisher", "Quillmar"},
        {"DisplayIcon", Quoted(InstalledPanel()) + ",0"},
        {"InstallLocation", InstallDir()},
        {"UninstallString", Quoted(InstalledUninstaller())},
        {"QuietUninstallString", Quoted(InstalledUninstaller()) + " /S"},
    };
    for (const Row& row : strings) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, kUninstallKey, row.name).value_or("<none>"),
                  row.expected);
    }
    EXPECT_EQ(ReadDword(HKEY_LOCAL_MACHINE, kUninstallKey, "NoModify").value_or(0), 1u);
    EXPECT_EQ(ReadDword(HKEY_LOCAL_MACHINE, kUninstallKey, "NoRepair").value_or(0), 1u);
    // Kilobytes of what the install holds, rounded either way.
    const size_t bytes = installed->size() + uninstaller->size();
    const DWORD estimated =
        ReadDword(HKEY_LOCAL_MACHINE, kUninstallKey, "EstimatedSize").value_or(0);
    EXPECT_GE(estimated, bytes / 1024);
    EXPECT_LE(estimated, (bytes + 1023) / 1024);
}

TEST_F(InstallerTest, InstalledPanelStartsHiddenInTheTrayAndSilentUninstallEndsIt) {
    ASSERT_NO_FATAL_FAILURE(Install());
    ASSERT_TRUE(panel::StoreClockSource(1));
    ASSERT_NO_FATAL_FAILURE(LogOn());
    // The uninstalling account's autostart of an earlier version goes too.
    ASSERT_EQ(SetString(HKEY_CURRENT_USER, kRunKey, kRunValue, "x"), ERROR_SUCCESS);

    ASSERT_TRUE(Uninstall());
    EXPECT_EQ(test::WaitPumping(panel_.Get(), test::kProgramMs), WAIT_OBJECT_0) << "it still runs";
    ExpectNothingInstalled();
    EXPECT_FALSE(DirectoryExists(CompanyDir())) << "the empty company folder stayed";
    EXPECT_EQ(panel::StoredClockSource(), 1) << "the stored clock source went with the program";
}

// The installer asks the panel to end as its tray menu's "E&xit" does, whatever runs in it.
TEST_F(InstallerTest, InstallOverARunningPanelEndsItAndKeepsTheSetting) {
    ASSERT_NO_FATAL_FAILURE(Install());
    ASSERT_TRUE(panel::StoreClockSource(2));
    const UINT trayMessage = RegisterWindowMessageA("KESTREL tray notification");
    struct Row {
        const char* name;
        bool toTrayIcon; // else to the panel
        UINT message;
        WPARAM wParam;
        LPARAM lParam;
        const char* opens; // the class of the window it opens
    };
    const Row rows[] = {
        {"hidden in the tray", false, WM_NULL, 0, 0, nullptr},
        {"its tray menu open", true, trayMessage, panel::kTrayIconId, WM_RBUTTONUP,
         panel::kMenuClass},
        {"its About box open", false, WM_SYSCOMMAND, panel::kAboutCommand, 0, panel::kDialogClass},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ASSERT_NO_FATAL_FAILURE(LogOn());
        const DWORD id = test::ProcessOf(window_);
        if (row.opens != nullptr) {
            ASSERT_TRUE(PostMessageA(row.toTrayIcon ? panel::TrayIconOwner(id) : window_,
                                     row.message, row.wParam, row.lParam));
            ASSERT_TRUE(
                test::WaitUntil([&] { return !test::VisibleTopLevels(id, row.opens).empty(); }));
        }

        ASSERT_NO_FATAL_FAILURE(Install());
        EXPECT_EQ(WaitForSingleObject(panel_.Get(), 0), WAIT_OBJECT_0) << "it ran through";
        EXPECT_TRUE(ReadFileBytes(InstalledPanel()) == ReadFileBytes(BuiltPanel()));
        EXPECT_TRUE(FileExists(InstalledUninstaller()));
        EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, kRunKey, kRunValue).value_or("<none>"),
                  Quoted(InstalledPanel()));
        EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, kUninstallKey, "DisplayVersion").value_or("-"),
                  "1.0.0.1");
        EXPECT_EQ(panel::StoredClockSource(), 2);
    }
}

TEST_F(InstallerTest, UninstallLeavesTheCompanysOtherProductsAndSettings) {
    const std::string otherDir = OtherProductDir();
    const std::string otherFile = otherDir + "\\other.txt";
    const std::string otherKey = std::string(kOtherProduct) + "\\OTHER";
    const DWORD seven = 7;
    ASSERT_TRUE(CreateDirectoryA(CompanyDir().c_str(), nullptr) ||
                GetLastError() == ERROR_ALREADY_EXISTS);
    ASSERT_TRUE(CreateDirectoryA(otherDir.c_str(), nullptr)) << "error " << GetLastError();
    HANDLE file = CreateFileA(otherFile.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << "error " << GetLastError();
    CloseHandle(file);
    ASSERT_EQ(RegSetKeyValueA(HKEY_CURRENT_USER, otherKey.c_str(), "Setting", REG_DWORD, &seven,
                              sizeof(seven)),
              ERROR_SUCCESS);

    ASSERT_NO_FATAL_FAILURE(Install());
    ASSERT_TRUE(Uninstall());
    ExpectNothingInstalled();
    EXPECT_TRUE(FileExists(otherFile));
    EXPECT_EQ(ReadDword(HKEY_CURRENT_USER, otherKey, "Setting").value_or(0), 7u);
}

// A program that holds the uninstaller's file through the uninstall (a virus scanner, say): the
// file and the folders go at the next restart, file first, and the entry goes now.
TEST_F(InstallerTest, AFileHeldThroughTheUninstallGoesAtTheNextRestart) {
    ASSERT_NO_FATAL_FAILURE(Install());
    HANDLE held = CreateFileA(InstalledUninstaller().c_str(), GENERIC_READ, FILE_SHARE_READ,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE) << "error " << GetLastError();
    const bool uninstalled = Uninstall();
    CloseHandle(held);
    ASSERT_TRUE(uninstalled);
    EXPECT_FALSE(FileExists(InstalledPanel()));
    EXPECT_EQ(RemovedAtRestart(CompanyDir()),
              (std::vector<std::string>{InstalledUninstaller(), InstallDir(), CompanyDir()}));
}

// The stand-in takes the Exit command and stays, as a panel blocked in the driver would.
TEST_F(InstallerTest, InstallStopsWhenThePanelDoesNotEnd) {
    ASSERT_NO_FATAL_FAILURE(MakeStandIn());

    std::optional<DWORD> exitCode = test::RunToEnd(SetupProgram(), "/S");
    ASSERT_TRUE(exitCode.has_value()) << "the installer did not start or end";
    EXPECT_EQ(*exitCode, kScriptAbort);
    EXPECT_EQ(standIn_->Commands(), std::vector<WPARAM>{panel::kExitCommand});
    ExpectNothingInstalled();
}

TEST_F(InstallerTest, UninstallStopsWhenThePanelDoesNotEnd) {
    ASSERT_NO_FATAL_FAILURE(Install());
    ASSERT_NO_FATAL_FAILURE(MakeStandIn());

    // Run in place (_?=) so that its own end, and its exit code, can be waited for.
    std::optional<DWORD> exitCode = test::RunToEnd(InstalledUninstaller(), "/S _?=" + InstallDir());
    ASSERT_TRUE(exitCode.has_value()) << "the uninstaller did not start or end";
    EXPECT_EQ(*exitCode, kScriptAbort);
    EXPECT_EQ(standIn_->Commands(), std::vector<WPARAM>{panel::kExitCommand});
    EXPECT_TRUE(FileExists(InstalledPanel()));
    EXPECT_TRUE(FileExists(ShortcutFile()));
    EXPECT_TRUE(ReadString(HKEY_LOCAL_MACHINE, kRunKey, kRunValue).has_value());
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
}

// A copy of the panel that runs where the installer cannot see it (another user's session), or
// any program, holds the installed file: the install stops before it changes anything. An
// earlier version's file and record stay as they were; no file is skipped.
TEST_F(InstallerTest, InstallStopsWhenThePanelFileIsHeld) {
    ASSERT_NO_FATAL_FAILURE(Install());
    std::ofstream(InstalledPanel(), std::ios::binary | std::ios::trunc) << "earlier";
    ASSERT_EQ(SetString(HKEY_LOCAL_MACHINE, kUninstallKey, "DisplayVersion", "0.9.0.0"), 0);
    UniqueHandle held(CreateFileA(InstalledPanel().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(held.IsValid()) << "error " << GetLastError();

    ASSERT_NO_FATAL_FAILURE(Install("/S", kFileInUse));
    held.Reset();
    EXPECT_EQ(ReadFileBytes(InstalledPanel()).value_or("<none>"), "earlier");
    EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, kUninstallKey, "DisplayVersion").value_or("-"),
              "0.9.0.0");
}

// Every logon starts the panel from its folder, so only one that takes administrators to change
// will do: below Program Files, as the file system reads the path. A folder elsewhere, from
// /D= or from an earlier install's record, is refused before anything is written.
TEST_F(InstallerTest, InstallsOnlyBelowProgramFiles) {
    const std::string programFiles = ProgramFilesFolders()[0];
    std::string lowerCase = InstallDir() + "\\";
    CharLowerA(lowerCase.data());
    struct Row {
        const char* name;
        std::string folder;
        bool recorded; // by an earlier install, else given with /D=
        DWORD exitCode;
    };
    const Row rows[] = {
        {"elsewhere", "C:\\Quillmar\\KESTREL", false, kScriptAbort},
        {"beside, with a longer name", programFiles + "2\\KESTREL", false, kScriptAbort},
        {"back out of it", programFiles + "\\..\\KESTREL", false, kScriptAbort},
        {"Program Files itself", programFiles, false, kScriptAbort},
        {"recorded elsewhere", "C:\\Quillmar\\KESTREL", true, kScriptAbort},
        {"in other case, with a closing backslash", lowerCase, false, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const bool existed = DirectoryExists(row.folder);
        if (row.recorded) {
            ASSERT_EQ(SetString(HKEY_LOCAL_MACHINE, kUninstallKey, "InstallLocation", row.folder),
                      ERROR_SUCCESS);
        }
        ASSERT_NO_FATAL_FAILURE(Install(row.recorded ? "/S" : "/S /D=" + row.folder, row.exitCode));
        EXPECT_EQ(FileExists(InstalledPanel()), row.exitCode == 0);
        EXPECT_EQ(DirectoryExists(row.folder), existed || row.exitCode == 0);
        if (row.recorded) {
            EXPECT_EQ(RegDeleteTreeA(HKEY_LOCAL_MACHINE, kUninstallKey), ERROR_SUCCESS);
        }
        if (row.exitCode != 0) {
            ExpectNothingInstalled();
        }
    }
}

} // namespace
