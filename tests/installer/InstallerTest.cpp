// "Quillmar KESTREL Setup.exe" and its uninstaller, run silently (/S) as an administrator would,
// with what they did read back through Win32: files, the Start-menu shortcut, the registry, and
// the panel's process, window and tray icon.
//
// Covered: the installer's version record; a fresh install; the installed panel started by its
// autostart command, hidden in the tray, and ended by an uninstall that removes all that was
// added and keeps the stored clock source; an install over a running copy; other Quillmar
// products' files and settings left alone; a panel that does not end stopping both the
// installer and the uninstaller before they change anything.
// Not covered: the interactive pages, and autostart at a real logon (Wine has none to test).
#include "InstallerHarness.h"
#include "PanelState.h"
#include "PanelStandIn.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

using namespace inst;

namespace {

constexpr DWORD kScriptAbort = 2; // NSIS's exit code for an install the script stopped

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
        panel_.Kill(); // ends a panel that a failed test left running
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

    static void Install() {
        std::optional<DWORD> exitCode = test::RunToEnd(SetupProgram(), "/S");
        ASSERT_TRUE(exitCode.has_value()) << "the installer did not start or end";
        ASSERT_EQ(*exitCode, 0u);
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

    // Starts the installed panel the way a logon does, by its autostart command, and waits
    // until it sits hidden in the tray.
    void StartPanelFromAutostart() {
        std::optional<std::string> command = ReadString(HKEY_CURRENT_USER, kRunKey, kRunValue);
        ASSERT_TRUE(command.has_value()) << "no autostart entry";
        ASSERT_TRUE(StartCommand(panel_, *command)) << *command << ": error " << GetLastError();
        const auto window = [this] {
            return test::FindTopLevel(panel_.Id(), panel::kDialogClass, panel::kPanelCaption);
        };
        EXPECT_TRUE(
            test::WaitUntil([&] { return panel::IsHiddenInTray(window()); }, test::kProgramMs))
            << "not hidden in the tray: " << panel::NotHiddenInTray(window());
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
            EXPECT_FALSE(ReadString(HKEY_CURRENT_USER, kRunKey, kRunValue, view).has_value());
            EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey, view));
        }
    }

    test::ChildProcess panel_;
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
    ASSERT_NO_FATAL_FAILURE(Install());

    std::optional<std::string> installed = ReadFileBytes(InstalledPanel());
    ASSERT_TRUE(installed.has_value()) << InstalledPanel();
    EXPECT_TRUE(installed == ReadFileBytes(BuiltPanel())) << "not the build's panel";
    std::optional<std::string> uninstaller = ReadFileBytes(InstalledUninstaller());
    ASSERT_TRUE(uninstaller.has_value()) << InstalledUninstaller();

    EXPECT_EQ(ShortcutTarget(ShortcutFile()).value_or("<unreadable>"), InstalledPanel());
    // The user's Run key is one in both views: a 64-bit logon starts the 32-bit panel too.
    for (REGSAM view : RegistryViews()) {
        SCOPED_TRACE("registry view " + std::to_string(view));
        EXPECT_EQ(ReadString(HKEY_CURRENT_USER, kRunKey, kRunValue, view).value_or("<none>"),
                  Quoted(InstalledPanel()));
    }
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
    ASSERT_NO_FATAL_FAILURE(StartPanelFromAutostart());

    ASSERT_TRUE(Uninstall());
    EXPECT_TRUE(panel_.WaitForExit(test::kProgramMs).has_value()) << "the panel still runs";
    ExpectNothingInstalled();
    EXPECT_FALSE(DirectoryExists(CompanyDir())) << "the empty company folder stayed";
    EXPECT_EQ(panel::StoredClockSource(), 1) << "the stored clock source went with the program";
}

TEST_F(InstallerTest, InstallOverARunningPanelEndsItAndKeepsTheSetting) {
    ASSERT_NO_FATAL_FAILURE(Install());
    ASSERT_TRUE(panel::StoreClockSource(2));
    ASSERT_NO_FATAL_FAILURE(StartPanelFromAutostart());

    ASSERT_NO_FATAL_FAILURE(Install());
    EXPECT_TRUE(panel_.WaitForExit(0).has_value()) << "the panel ran through the install";
    EXPECT_TRUE(ReadFileBytes(InstalledPanel()) == ReadFileBytes(BuiltPanel()));
    EXPECT_TRUE(FileExists(InstalledUninstaller()));
    EXPECT_EQ(ReadString(HKEY_CURRENT_USER, kRunKey, kRunValue).value_or("<none>"),
              Quoted(InstalledPanel()));
    EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, kUninstallKey, "DisplayVersion").value_or("<none>"),
              "1.0.0.1");
    EXPECT_EQ(panel::StoredClockSource(), 2);
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
    EXPECT_TRUE(ReadString(HKEY_CURRENT_USER, kRunKey, kRunValue).has_value());
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
}

} // namespace
