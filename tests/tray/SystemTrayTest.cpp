// CSystemTray under Wine's shell and the driver simulator. Observed at the real boundaries: the
// shell's own idea of the icon (a modification of the same window and id succeeds only while
// the icon is there), the hidden window read back through Win32, the tray menu while it is open
// (MenuWatcher), the commands and WM_NULL that reach a stand-in main window, and the
// GetCpuLevel requests in the simulator's log.
//
// Not covered here: a system before version 4 (TrayVersionTest.cpp), a real mouse on the icon
// (the panel's end-to-end tests).
#include "PanelState.h"
#include "SimulatorTest.h"
#include "TrayHarness.h"
#include "TrayTestIds.h"
#include "Wait.h"

#include "CWinApp.h"
#include "PanelApp.h"
#include "DeviceGlobals.h"

#include <gtest/gtest.h>

#include <shellapi.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace {

using panel::kTrayIconId;
using panel::ShellHasIcon;
using panel::ShellIcon;

constexpr UINT kOtherIconId = 77;

#if !defined(_WIN64)
static_assert(NOTIFYICONDATAA_V1_SIZE == 88);
#endif

class SystemTray : public test::SimulatorTest {
protected:
    void SetUp() override {
        test::SimulatorTest::SetUp();
        ASSERT_EQ(AfxGetApp(), &app_);
        ASSERT_EQ(g_controlChannel.Open(), 0u);
        ASSERT_TRUE(main_.Create(600));
        ASSERT_TRUE(other_.Create(700));
        app_.m_pMainWnd = &main_;
        trayMessage_ = RegisterWindowMessageA("KESTREL tray notification");
        ASSERT_NE(trayMessage_, 0u);
        icon_ = LoadIconA(nullptr, MAKEINTRESOURCEA(32512)); // IDI_APPLICATION
        ASSERT_NE(icon_, nullptr);
        ASSERT_TRUE(sim_.ClearLog());
    }

    void TearDown() override {
        app_.m_pMainWnd = nullptr;
        g_controlChannel.Close();
    }

    // Shows the icon `id` with the tip "KESTREL", its notifications going to `target`.
    bool Show(TrayProbe& tray, UINT id = kTrayIconId, CWnd* target = nullptr) {
        return tray.CreateTrayIcon(target, trayMessage_, "KESTREL", icon_, id) != FALSE;
    }

    LRESULT Notify(const TrayProbe& tray, WPARAM id, LPARAM event) {
        return SendMessageA(tray.m_hWnd, trayMessage_, id, event);
    }

    // Sends a right click and lets the watcher close the menu with `keys`; the posted messages
    // are then delivered.
    LRESULT RightClick(TrayProbe& tray, std::vector<MenuWatcher::Key> keys, MenuObservation& seen) {
        MenuWatcher watcher(std::move(keys));
        LRESULT result = Notify(tray, kTrayIconId, WM_RBUTTONUP);
        seen = watcher.Seen();
        test::PumpMessages();
        return result;
    }

    // Sends `event` of icon `id`, which gets `result` and nothing else: no menu opens, nothing
    // reaches the main window, nothing is asked of the driver.
    void ExpectIgnored(TrayProbe& tray, WPARAM id, LPARAM event, LRESULT result) {
        main_.received.clear();
        ASSERT_TRUE(sim_.ClearLog());
        MenuWatcher watcher({kEscape}); // closes a menu that should not have opened
        EXPECT_EQ(Notify(tray, id, event), result);
        EXPECT_FALSE(watcher.Seen().opened);
        test::PumpMessages();
        EXPECT_TRUE(main_.received.empty());
        EXPECT_TRUE(Requests().empty());
    }

    // The codes of the requests the driver saw since the last ClearLog.
    std::vector<std::uint32_t> Requests() { return test::Codes(sim_.Log()); }

    CWinApp& app_ = theApp; // the program's application object
    MainWindowStub main_;
    MainWindowStub other_;
    UINT trayMessage_ = 0;
    HICON icon_ = nullptr;
};

const std::vector<std::uint32_t> kOneCpuRead = {KSIM_GET_CPU_LEVEL};

TEST_F(SystemTray, StartsWithoutWindowOrIconAndCarriesItsClassRecord) {
    TrayProbe tray;
    EXPECT_STREQ(tray.GetRuntimeClass()->className, "CSystemTray");
    EXPECT_TRUE(tray.IsKindOf(&CWnd::classCWnd));
    EXPECT_EQ(tray.m_hWnd, nullptr);
    EXPECT_FALSE(tray.iconShown);
    EXPECT_EQ(tray.defaultItem, 0u);
    EXPECT_TRUE(tray.defaultItemByPosition);
    NOTIFYICONDATAA zero = {};
    EXPECT_EQ(std::memcmp(&tray.iconData, &zero, sizeof(zero)), 0);
    // Nothing to delete yet.
    tray.DeleteTrayIcon();
    EXPECT_FALSE(tray.iconShown);
}

TEST_F(SystemTray, CreateTrayIconAddsTheIconForItsHiddenWindow) {
    HWND hidden = nullptr;
    {
        TrayProbe tray;
        ASSERT_TRUE(Show(tray));
        EXPECT_TRUE(tray.iconShown);
        hidden = tray.m_hWnd;
        ASSERT_TRUE(IsWindow(hidden));
        EXPECT_EQ(CWnd::FromHandlePermanent(hidden), &tray);

        // The 88-byte form as handed to the shell.
        EXPECT_EQ(tray.iconData.cbSize, static_cast<DWORD>(NOTIFYICONDATAA_V1_SIZE));
        EXPECT_EQ(tray.iconData.hWnd, hidden);
        EXPECT_EQ(tray.iconData.uID, kTrayIconId);
        EXPECT_EQ(tray.iconData.uFlags, 7u);
        EXPECT_EQ(tray.iconData.uCallbackMessage, trayMessage_);
        EXPECT_EQ(tray.iconData.hIcon, icon_);
        EXPECT_STREQ(tray.iconData.szTip, "KESTREL");
        EXPECT_TRUE(ShellHasIcon(hidden, kTrayIconId));

        // A hidden 10x10 popup of a class with style 0 and no cursor, brush or icon.
        LONG style = GetWindowLongA(hidden, GWL_STYLE);
        EXPECT_EQ(style & (WS_POPUP | WS_CHILD | WS_VISIBLE), static_cast<LONG>(WS_POPUP));
        EXPECT_FALSE(IsWindowVisible(hidden));
        EXPECT_EQ(GetParent(hidden), nullptr);
        RECT rect = {};
        ASSERT_TRUE(GetWindowRect(hidden, &rect));
        EXPECT_EQ(rect.left, 0);
        EXPECT_EQ(rect.top, 0);
        EXPECT_EQ(rect.right - rect.left, 10);
        EXPECT_EQ(rect.bottom - rect.top, 10);
        EXPECT_EQ(GetWindowTextLengthA(hidden), 0);
        EXPECT_EQ(GetClassLongPtrA(hidden, GCL_STYLE), 0u);
        EXPECT_EQ(GetClassLongPtrA(hidden, GCLP_HCURSOR), 0u);
        EXPECT_EQ(GetClassLongPtrA(hidden, GCLP_HBRBACKGROUND), 0u);
        EXPECT_EQ(GetClassLongPtrA(hidden, GCLP_HICON), 0u);

        // Messages other than the tray message get the default procedure.
        EXPECT_TRUE(SetWindowTextA(hidden, "probe"));
        char text[16] = {};
        EXPECT_EQ(GetWindowTextA(hidden, text, sizeof(text)), 5);
        EXPECT_STREQ(text, "probe");
    }
    // The destructor removes the icon and destroys the window.
    EXPECT_FALSE(IsWindow(hidden));
    EXPECT_FALSE(ShellHasIcon(hidden, kTrayIconId));
    EXPECT_TRUE(Requests().empty());
}

TEST_F(SystemTray, NotificationsGoToAGivenWindowAndTheDestructorRemovesItsIcon) {
    auto tray = std::make_unique<TrayProbe>();
    ASSERT_TRUE(Show(*tray, kOtherIconId, &other_));
    EXPECT_EQ(tray->iconData.hWnd, other_.m_hWnd);
    HWND hidden = tray->m_hWnd;
    EXPECT_TRUE(IsWindow(hidden)); // made all the same
    EXPECT_TRUE(ShellHasIcon(other_.m_hWnd, kOtherIconId));
    EXPECT_FALSE(ShellHasIcon(hidden, kOtherIconId));

    // A window object without a window counts as none.
    MainWindowStub unmade;
    TrayProbe second;
    ASSERT_TRUE(Show(second, kTrayIconId, &unmade));
    EXPECT_EQ(second.iconData.hWnd, second.m_hWnd);

    // The given window outlives the tray: only the delete can have removed its icon.
    tray.reset();
    EXPECT_FALSE(IsWindow(hidden));
    EXPECT_TRUE(IsWindow(other_.m_hWnd));
    EXPECT_FALSE(ShellHasIcon(other_.m_hWnd, kOtherIconId));
}

TEST_F(SystemTray, DeleteTrayIconRemovesTheIconOnceAndKeepsTheWindow) {
    TrayProbe tray;
    ASSERT_TRUE(Show(tray));
    tray.DeleteTrayIcon();
    EXPECT_FALSE(tray.iconShown);
    EXPECT_EQ(tray.iconData.uFlags, 0u);
    EXPECT_EQ(tray.iconData.uID, kTrayIconId);
    EXPECT_FALSE(ShellHasIcon(tray.m_hWnd, kTrayIconId));
    EXPECT_TRUE(IsWindow(tray.m_hWnd));

    // A second delete does nothing: an icon added since under the same window and id stays.
    ASSERT_TRUE(ShellIcon(NIM_ADD, tray.m_hWnd, kTrayIconId));
    tray.DeleteTrayIcon();
    EXPECT_FALSE(tray.iconShown);
    EXPECT_TRUE(ShellHasIcon(tray.m_hWnd, kTrayIconId));
    EXPECT_TRUE(ShellIcon(NIM_DELETE, tray.m_hWnd, kTrayIconId));
}

// The shell refuses an add while it holds an icon of the same window and id (one that another
// program added here), as it holds one whose add it took after the call had timed out. The add
// is tried again every few seconds, or at once on a new taskbar, until the shell holds the
// icon; the delete removes the icon asked for whatever its add reported, and stays.
TEST_F(SystemTray, ARefusedAddIsTriedAgainAndTheIconAskedForIsDeleted) {
    struct Row {
        const char* name;
        bool shellLosesIt; // before the next try
        UINT next;         // WM_TIMER (wait for the retry), the "TaskbarCreated" message, or 0
    };
    const UINT taskbarCreated = RegisterWindowMessageA("TaskbarCreated");
    const Row rows[] = {{"deleted before any retry", false, 0},
                        {"a retry the shell refuses, then a change", false, WM_TIMER},
                        {"a retry once the shell has lost it", true, WM_TIMER},
                        {"a new taskbar without the icon", true, taskbarCreated}};
    ASSERT_TRUE(ShellIcon(NIM_ADD, other_.m_hWnd, kOtherIconId));
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        TrayProbe tray;
        EXPECT_FALSE(Show(tray, kOtherIconId, &other_));
        EXPECT_FALSE(tray.iconShown);
        EXPECT_TRUE(IsWindow(tray.m_hWnd));
        if (row.shellLosesIt) {
            ASSERT_TRUE(ShellIcon(NIM_DELETE, other_.m_hWnd, kOtherIconId));
        }
        if (row.next == taskbarCreated) {
            SendMessageA(tray.m_hWnd, taskbarCreated, 0, 0);
        }
        if (row.next != 0) {
            EXPECT_TRUE(test::WaitUntil([&] { return tray.iconShown != FALSE; })) << "no retry";
            EXPECT_TRUE(ShellHasIcon(other_.m_hWnd, kOtherIconId));
            EXPECT_FALSE(KillTimer(tray.m_hWnd, TrayProbe::kRetryTimer)) << "retries went on";
        }
        tray.DeleteTrayIcon();
        EXPECT_FALSE(ShellHasIcon(other_.m_hWnd, kOtherIconId)) << "a ghost icon stayed";
        // Another program's "TaskbarCreated" or WM_TIMER brings no deleted icon back; nor does
        // the destructor remove an icon added since (the next row's add would not be refused).
        SendMessageA(tray.m_hWnd, taskbarCreated, 0, 0);
        SendMessageA(tray.m_hWnd, WM_TIMER, TrayProbe::kRetryTimer, 0);
        EXPECT_FALSE(tray.iconShown);
        EXPECT_FALSE(ShellHasIcon(other_.m_hWnd, kOtherIconId)) << "a deleted icon came back";
        ASSERT_TRUE(ShellIcon(NIM_ADD, other_.m_hWnd, kOtherIconId));
    }
    EXPECT_TRUE(ShellHasIcon(other_.m_hWnd, kOtherIconId));
    EXPECT_TRUE(ShellIcon(NIM_DELETE, other_.m_hWnd, kOtherIconId));
}
// A shell that makes its notification area anew announces it with "TaskbarCreated" (sent here
// to the hidden window; the end-to-end tests broadcast it to the real program).
TEST_F(SystemTray, ANewTaskbarGetsTheIconBackWhileOneIsAskedFor) {
    const UINT taskbarCreated = RegisterWindowMessageA("TaskbarCreated");
    ASSERT_NE(taskbarCreated, 0u);
    TrayProbe tray;
    ASSERT_TRUE(Show(tray));
    HWND hidden = tray.m_hWnd;

    // A restarted shell holds none of the old icons: the icon comes back with its data.
    ASSERT_TRUE(ShellIcon(NIM_DELETE, hidden, kTrayIconId));
    EXPECT_EQ(SendMessageA(hidden, taskbarCreated, 0, 0), 0);
    EXPECT_TRUE(tray.iconShown);
    EXPECT_TRUE(ShellHasIcon(hidden, kTrayIconId));
    EXPECT_EQ(tray.iconData.uFlags, 7u);
    EXPECT_EQ(tray.iconData.uCallbackMessage, trayMessage_);
    EXPECT_STREQ(tray.iconData.szTip, "KESTREL");

    // A shell that kept the icon refuses a second one; the kept one stays shown, so that the
    // delete still removes it.
    SendMessageA(hidden, taskbarCreated, 0, 0);
    EXPECT_TRUE(tray.iconShown);
    EXPECT_TRUE(ShellHasIcon(hidden, kTrayIconId));
    tray.DeleteTrayIcon();
    EXPECT_FALSE(ShellHasIcon(hidden, kTrayIconId));

    // A deleted icon is not brought back.
    SendMessageA(hidden, taskbarCreated, 0, 0);
    EXPECT_FALSE(tray.iconShown);
    EXPECT_FALSE(ShellHasIcon(hidden, kTrayIconId));
    EXPECT_TRUE(Requests().empty());
}

// Some shells forget icons over sleep without announcing a new taskbar; on a wake the panel
// asks for the icon again.
TEST_F(SystemTray, AnIconTheShellLostComesBackOnAWakeUnlessDeleted) {
    TrayProbe tray;
    ASSERT_TRUE(Show(tray));
    HWND hidden = tray.m_hWnd;

    tray.RestoreIconIfLost(); // still held: one icon, shown
    EXPECT_TRUE(tray.iconShown);
    EXPECT_TRUE(ShellHasIcon(hidden, kTrayIconId));
    ASSERT_TRUE(ShellIcon(NIM_DELETE, hidden, kTrayIconId));
    EXPECT_FALSE(ShellIcon(NIM_DELETE, hidden, kTrayIconId)) << "the shell held a second icon";

    tray.RestoreIconIfLost(); // lost: added again
    EXPECT_TRUE(tray.iconShown);
    EXPECT_TRUE(ShellHasIcon(hidden, kTrayIconId));
    tray.DeleteTrayIcon();
    tray.RestoreIconIfLost(); // deleted: stays deleted
    EXPECT_FALSE(tray.iconShown);
    EXPECT_FALSE(ShellHasIcon(hidden, kTrayIconId));
    EXPECT_TRUE(Requests().empty());
}

TEST_F(SystemTray, ASecondCreateReplacesTheFirstIcon) {
    TrayProbe tray;
    ASSERT_TRUE(Show(tray));
    HWND hidden = tray.m_hWnd;
    ASSERT_TRUE(Show(tray, kOtherIconId));
    EXPECT_EQ(tray.m_hWnd, hidden); // the window is kept
    EXPECT_FALSE(ShellHasIcon(hidden, kTrayIconId));
    EXPECT_TRUE(ShellHasIcon(hidden, kOtherIconId));
    tray.DeleteTrayIcon();
    EXPECT_FALSE(ShellHasIcon(hidden, kOtherIconId));
}

TEST_F(SystemTray, TipsLongerThan63CharactersAreCut) {
    const std::pair<size_t, size_t> rows[] = {{0, 0}, {62, 62}, {63, 63}, {64, 63}, {200, 63}};
    for (const auto& [length, kept] : rows) {
        SCOPED_TRACE("a tip of " + std::to_string(length) + " characters");
        std::string tip;
        for (size_t i = 0; i < length; ++i) {
            tip += static_cast<char>('A' + i % 26);
        }
        TrayProbe tray;
        ASSERT_TRUE(tray.CreateTrayIcon(nullptr, trayMessage_, tip.c_str(), icon_, kTrayIconId));
        EXPECT_EQ(std::strlen(tray.iconData.szTip), kept);
        EXPECT_EQ(std::string(tray.iconData.szTip), tip.substr(0, kept));
        EXPECT_EQ(tray.iconData.szTip[63], '\0');
        // The rest of the full structure stays untouched.
        for (size_t i = 64; i < sizeof(tray.iconData.szTip); ++i) {
            ASSERT_EQ(tray.iconData.szTip[i], '\0') << i;
        }
        EXPECT_TRUE(ShellHasIcon(tray.m_hWnd, kTrayIconId));
    }
    TrayProbe noTip;
    ASSERT_TRUE(noTip.CreateTrayIcon(nullptr, trayMessage_, nullptr, icon_, kTrayIconId));
    EXPECT_STREQ(noTip.iconData.szTip, "");
}

TEST_F(SystemTray, CurrentCpuMenuItemMapsTheDriverLevelWithOneRequest) {
    // The driver's level and the item it checks (0: none).
    const std::pair<std::uint32_t, UINT> rows[] = {{1000, panel::kCpuHigh},
                                                   {2000, panel::kCpuMedium},
                                                   {4000, panel::kCpuLow},
                                                   {999, 0},
                                                   {1001, 0},
                                                   {3000, 0},
                                                   {3999, 0},
                                                   {4001, 0},
                                                   {0, 0},
                                                   {0xFFFFFFFF, 0}};
    TrayProbe tray;
    for (const auto& [level, item] : rows) {
        SCOPED_TRACE("level " + std::to_string(level));
        ASSERT_TRUE(sim_.SetCpu(level));
        ASSERT_TRUE(sim_.ClearLog());
        EXPECT_EQ(tray.CurrentCpuMenuItem(), item);
        EXPECT_EQ(Requests(), kOneCpuRead);
    }

    // A failed request checks nothing, even with a level the table knows.
    ASSERT_TRUE(sim_.SetCpu(2000));
    ASSERT_TRUE(sim_.Fail(KSIM_GET_CPU_LEVEL, ERROR_GEN_FAILURE));
    ASSERT_TRUE(sim_.ClearLog());
    EXPECT_EQ(tray.CurrentCpuMenuItem(), 0u);
    EXPECT_TRUE(
        test::LogIs(sim_.Log(), {{.code = KSIM_GET_CPU_LEVEL, .status = ERROR_GEN_FAILURE}}));

    // No driver at all: nothing is asked.
    ASSERT_TRUE(sim_.ClearFaults());
    g_controlChannel.Close();
    ASSERT_TRUE(sim_.ClearLog());
    EXPECT_EQ(tray.CurrentCpuMenuItem(), 0u);
    EXPECT_TRUE(Requests().empty());
}

TEST_F(SystemTray, RightClickShowsTheMenuWithTheDriverLevelChecked) {
    struct Row {
        const char* name;
        std::uint32_t level;
        bool fail;
        UINT checked; // 0: none
    };
    const Row rows[] = {
        {"High", 1000, false, panel::kCpuHigh}, {"Medium", 2000, false, panel::kCpuMedium},
        {"Low", 4000, false, panel::kCpuLow},   {"unknown level", 3000, false, 0},
        {"failed request", 2000, true, 0},
    };
    TrayProbe tray;
    ASSERT_TRUE(Show(tray));
    const POINT cursor = {300, 200};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ASSERT_TRUE(sim_.SetCpu(row.level));
        ASSERT_TRUE(sim_.ClearFaults());
        if (row.fail) {
            ASSERT_TRUE(sim_.Fail(KSIM_GET_CPU_LEVEL, ERROR_GEN_FAILURE));
        }
        ASSERT_TRUE(sim_.ClearLog());
        main_.received.clear();
        ASSERT_TRUE(SetForegroundWindow(other_.m_hWnd));
        ASSERT_TRUE(SetCursorPos(cursor.x, cursor.y));

        MenuObservation seen;
        EXPECT_EQ(RightClick(tray, {kEscape}, seen), 1);
        ASSERT_TRUE(seen.opened);
        EXPECT_EQ(FindMenuWindow(), nullptr);

        // "&Restore" is the bold default; exactly the driver's level is checked.
        EXPECT_EQ(seen.defaultPosition, 0u);
        EXPECT_TRUE(seen.firstItemState & MFS_DEFAULT);
        for (int i = 0; i < 3; ++i) {
            SCOPED_TRACE(kCpuCommands[i]);
            EXPECT_EQ((seen.cpuStates[i] & MF_CHECKED) != 0, kCpuCommands[i] == row.checked);
        }
        // At the cursor, with the main window brought forward.
        EXPECT_EQ(seen.rect.left, cursor.x);
        EXPECT_EQ(seen.rect.top, cursor.y);
        EXPECT_EQ(seen.foreground, main_.m_hWnd);

        // Escape sends nothing, WM_NULL follows all the same, the menu is gone, and the
        // opening read the level once.
        EXPECT_TRUE(main_.Commands().empty());
        EXPECT_EQ(main_.NullCount(), 1);
        EXPECT_FALSE(IsMenu(seen.menu));
        EXPECT_EQ(Requests(), kOneCpuRead);
    }
}

TEST_F(SystemTray, AChosenMenuEntryReachesTheMainWindowAsItsCommand) {
    struct Row {
        const char* name;
        std::vector<MenuWatcher::Key> keys;
        UINT command;
    };
    const Row rows[] = {
        {"E&xit by its mnemonic", {{WM_CHAR, 'x'}}, panel::kExitCommand},
        {"&Restore by its mnemonic", {{WM_CHAR, 'r'}}, panel::kRestoreCommand},
        {"Low through the CPU submenu",
         {{WM_KEYDOWN, VK_DOWN},
          {WM_KEYDOWN, VK_DOWN},
          {WM_KEYDOWN, VK_RIGHT},
          {WM_KEYDOWN, VK_DOWN},
          {WM_KEYDOWN, VK_DOWN},
          {WM_KEYDOWN, VK_RETURN}},
         panel::kCpuLow},
    };
    TrayProbe tray;
    ASSERT_TRUE(Show(tray));
    // Without the driver's answer the entries still work.
    ASSERT_TRUE(sim_.Fail(KSIM_GET_CPU_LEVEL, ERROR_GEN_FAILURE));
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        main_.received.clear();
        MenuObservation seen;
        EXPECT_EQ(RightClick(tray, row.keys, seen), 1);
        ASSERT_TRUE(seen.opened);
        std::vector<ReceivedMessage> commands = main_.Commands();
        ASSERT_EQ(commands.size(), 1u);
        EXPECT_EQ(commands[0].wParam, static_cast<WPARAM>(row.command));
        EXPECT_EQ(commands[0].lParam, 0);
        // The command was queued while the menu ran; WM_NULL comes after it.
        ASSERT_EQ(main_.received.size(), 2u);
        EXPECT_EQ(main_.received[0].message, static_cast<UINT>(WM_COMMAND));
        EXPECT_EQ(main_.received[1].message, static_cast<UINT>(WM_NULL));
    }
}

TEST_F(SystemTray, DoubleClickSendsTheDefaultEntrysCommand) {
    TrayProbe tray;
    ASSERT_TRUE(Show(tray));
    ASSERT_TRUE(SetForegroundWindow(other_.m_hWnd));

    EXPECT_EQ(Notify(tray, kTrayIconId, WM_LBUTTONDBLCLK), 1);
    // Sent, not posted: handled before the handler returned, with the main window in front.
    std::vector<ReceivedMessage> commands = main_.Commands();
    ASSERT_EQ(commands.size(), 1u);
    EXPECT_EQ(commands[0].wParam, static_cast<WPARAM>(panel::kRestoreCommand));
    EXPECT_EQ(commands[0].lParam, 0);
    EXPECT_EQ(commands[0].foreground, main_.m_hWnd);
    test::PumpMessages();
    EXPECT_EQ(main_.NullCount(), 0);
    EXPECT_TRUE(Requests().empty());

    // Only the low word of lParam names the event; the target is the main window of the moment.
    main_.received.clear();
    app_.m_pMainWnd = &other_;
    EXPECT_EQ(Notify(tray, kTrayIconId, MAKELPARAM(WM_LBUTTONDBLCLK, 0x1234)), 1);
    EXPECT_TRUE(main_.received.empty());
    ASSERT_EQ(other_.Commands().size(), 1u);
    EXPECT_EQ(other_.Commands()[0].wParam, static_cast<WPARAM>(panel::kRestoreCommand));

    // With no main window nothing is delivered.
    app_.m_pMainWnd = nullptr;
    other_.received.clear();
    EXPECT_EQ(Notify(tray, kTrayIconId, WM_LBUTTONDBLCLK), 1);
    test::PumpMessages();
    EXPECT_TRUE(other_.received.empty());
}

TEST_F(SystemTray, DoubleClickFollowsTheDefaultItemSetting) {
    struct Row {
        const char* name;
        UINT item;
        BOOL byPosition;
        LRESULT result;
        UINT command; // 0: nothing sent
    };
    const Row rows[] = {
        {"position 2", 2, TRUE, 1, panel::kExitCommand},
        {"command id", panel::kCpuHigh, FALSE, 1, panel::kCpuHigh},
        // The CPU submenu and a missing position carry no command.
        {"submenu position", 1, TRUE, 0, 0},
        {"position past the end", 3, TRUE, 0, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        TrayProbe tray;
        ASSERT_TRUE(Show(tray));
        tray.defaultItem = row.item;
        tray.defaultItemByPosition = row.byPosition;
        main_.received.clear();
        EXPECT_EQ(Notify(tray, kTrayIconId, WM_LBUTTONDBLCLK), row.result);
        test::PumpMessages();
        std::vector<ReceivedMessage> commands = main_.Commands();
        if (row.command == 0) {
            EXPECT_TRUE(commands.empty());
        } else {
            ASSERT_EQ(commands.size(), 1u);
            EXPECT_EQ(commands[0].wParam, static_cast<WPARAM>(row.command));
        }
    }
}

TEST_F(SystemTray, OtherEventsAndOtherIconsAreIgnored) {
    struct Row {
        const char* name;
        WPARAM id;
        LPARAM event;
        LRESULT result;
    };
    const Row rows[] = {
        {"move", kTrayIconId, WM_MOUSEMOVE, 1},
        {"left down", kTrayIconId, WM_LBUTTONDOWN, 1},
        {"left up", kTrayIconId, WM_LBUTTONUP, 1},
        {"right down", kTrayIconId, WM_RBUTTONDOWN, 1},
        {"right double click", kTrayIconId, WM_RBUTTONDBLCLK, 1},
        {"middle up", kTrayIconId, WM_MBUTTONUP, 1},
        {"right up, high word only", kTrayIconId, MAKELPARAM(0, WM_RBUTTONUP), 1},
        {"right up for id 134", kTrayIconId - 1, WM_RBUTTONUP, 0},
        {"right up for id 136", kTrayIconId + 1, WM_RBUTTONUP, 0},
        {"double click for id 136", kTrayIconId + 1, WM_LBUTTONDBLCLK, 0},
        {"double click for id 0", 0, WM_LBUTTONDBLCLK, 0},
    };
    TrayProbe tray;
    ASSERT_TRUE(Show(tray));
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ExpectIgnored(tray, row.id, row.event, row.result);
    }
}

TEST_F(SystemTray, AMissingMenuDropsTheEvent) {
    struct Row {
        const char* name;
        UINT iconId;
    };
    const Row rows[] = {
        {"no menu resource", IDR_TEST_NO_MENU},
        {"menu without a submenu", IDR_TEST_NO_POPUP},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        TrayProbe tray;
        ASSERT_TRUE(Show(tray, row.iconId));
        ExpectIgnored(tray, row.iconId, WM_RBUTTONUP, 0);
        ExpectIgnored(tray, row.iconId, WM_LBUTTONDBLCLK, 0);
    }
}

} // namespace
