// The panel as a window: start-up into the tray, showing and hiding, the system menu, device
// notifications and the end of the program.
#include "PanelDialog.h"

#include "AboutDialog.h"
#include "CSystemTray.h"
#include "CWinApp.h"
#include "DeviceGlobals.h"
#include "DeviceChangeRecord.h"
#include "DialogFontScaler.h"
#include "UnitInterface.h"
#include "resource.h"

#include <dbt.h>
#include <wtsapi32.h>

namespace {

const char kTrayMessageName[] = "KESTREL tray notification";
const char kTrayTip[] = "KESTREL";

HICON LoadPanelIcon() {
    return LoadIconA(AfxGetResourceHandle(), MAKEINTRESOURCEA(IDR_MAINFRAME));
}

// Ends a dialog of ours that the panel owns: an About box, which runs a modal loop of its own
// inside the panel's.
BOOL CALLBACK EndOwnedDialog(HWND window, LPARAM owner) {
    CWnd* object = CWnd::FromHandlePermanent(window);
    if (GetWindow(window, GW_OWNER) == reinterpret_cast<HWND>(owner) && object != nullptr &&
        object->IsKindOf(&CDialog::classCDialog)) {
        static_cast<CDialog*>(object)->EndDialog(IDCANCEL);
    }
    return TRUE;
}

} // namespace

// clang-format off
BEGIN_MESSAGE_TABLE(PanelDialog, CDialog)
    ON_WM_SYSCOMMAND()
    ON_COMMAND(ID_TRAY_RESTORE, OnTrayRestore)
    ON_COMMAND(ID_TRAY_EXIT, OnTrayExit)
    ON_WM_PAINT()
    ON_WM_ACTIVATE()
    ON_WM_WINDOWPOSCHANGING()
    ON_WM_SIZE()
    ON_WM_QUERYDRAGICON()
    ON_WM_DEVICECHANGE()
    ON_WM_POWERBROADCAST()
    ON_WM_WTSSESSION_CHANGE()
    ON_CBN_SELCHANGE(IDC_SAMPLE_RATE, OnSelchangeSampleRate)
    ON_CBN_SELCHANGE(IDC_CLOCK_SOURCE, OnSelchangeClockSource)
    ON_CBN_SELCHANGE(IDC_BUFFER_SIZE, OnSelchangeBufferSize)
    ON_COMMAND_RANGE(ID_CPU_LOW, ID_CPU_HIGH, OnCpuLevel)
    ON_BN_CLICKED(IDC_DONE, OnDone)
END_MESSAGE_TABLE()
// clang-format on

PanelDialog::PanelDialog(CWnd* parent)
    : CDialog(IDD, parent), m_hIcon(nullptr), m_deviceNotify(nullptr), m_clockSource(-1),
      m_unitCount(0), m_trayIcon(nullptr), m_minimized(false),
      m_trayMessage(RegisterWindowMessageA(kTrayMessageName)), m_wake(), m_readWhileShown(false),
      m_rateReadFailed(false) {
    m_hIcon = LoadPanelIcon();
    // A second copy opens the driver too before it finds the first; it closes it again at once.
    if (g_controlChannel.Open() == Status::Success) {
        g_controlChannel.RefreshUnits();
    }
    m_rateRecord.rate = -1;
    m_bufferRecord.microseconds = -1;
}

PanelDialog::~PanelDialog() {
    g_controlChannel.Close();
}

BOOL PanelDialog::OnInitDialog() {
    DialogFontScaler scaler;
    CDialog::OnInitDialog();
    scaler.ApplyTemplateLayout(AfxGetResourceHandle(), m_hWnd, IDD, 96.0);

    if (HMENU systemMenu = GetSystemMenu(m_hWnd, FALSE)) {
        char about[128] = {};
        if (LoadStringA(AfxGetResourceHandle(), IDS_ABOUTBOX, about, sizeof(about)) > 0) {
            AppendMenuA(systemMenu, MF_SEPARATOR, 0, nullptr);
            AppendMenuA(systemMenu, MF_STRING, IDM_ABOUTBOX, about);
        }
    }
    SendMessageA(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    SendMessageA(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));
    // Close becomes a greyed, empty entry: the panel ends only through the tray menu or Escape.
    if (HMENU systemMenu = GetSystemMenu(m_hWnd, FALSE)) {
        ModifyMenuA(systemMenu, SC_CLOSE, MF_BYCOMMAND | MF_STRING | MF_GRAYED, 0, nullptr);
    }

    m_instanceChecker.PublishMainWindow();
    RegisterDeviceNotifications(UnitInterfaceGuid);
    m_session.Watch(m_hWnd);
    AttachLists();
    m_clockSource = LoadClockSource();
    RefreshPanel();
    // The dialog shows and activates once this returns: the refresh has just read the driver.
    m_readWhileShown = true;

    m_trayIcon = LoadPanelIcon();
    // Minimised, and so hidden, as soon as the modal loop runs.
    PostMessageA(m_hWnd, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    // The icon's id is its menu's resource id: the icon loads its menu by it.
    m_tray = std::make_unique<CSystemTray>();
    m_tray->CreateTrayIcon(nullptr, m_trayMessage, kTrayTip, m_trayIcon, IDR_TRAY_MENU);
    return TRUE;
}

BOOL PanelDialog::DestroyWindow() {
    m_minimized = false;
    m_tray.reset(); // removes the tray icon
    m_session.Unwatch();
    return CDialog::DestroyWindow();
}

bool PanelDialog::RegisterDeviceNotifications(const GUID& interfaceClass) {
    DEV_BROADCAST_DEVICEINTERFACE_A filter = {};
    filter.dbcc_size = sizeof(filter);
    filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    filter.dbcc_classguid = interfaceClass;
    m_deviceNotify = RegisterDeviceNotificationA(m_hWnd, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
    return m_deviceNotify != nullptr;
}

void PanelDialog::UpdateWindowVisibility() {
    ShowWindow(m_hWnd, m_minimized ? SW_HIDE : SW_SHOW);
}

void PanelDialog::OnSysCommand(UINT command, LPARAM /*lParam*/) {
    const bool wasMinimized = m_minimized;
    if (command == SC_MINIMIZE) {
        m_minimized = true;
    } else if (command == SC_RESTORE) {
        m_minimized = false;
    }
    if ((command & 0xFFF0) == IDM_ABOUTBOX) {
        AboutDialog about;
        about.DoModal();
    } else {
        Default();
    }
    if (m_minimized != wasMinimized) {
        UpdateWindowVisibility();
    }
}

void PanelDialog::OnTrayRestore() {
    // The tray icon has brought the panel to the foreground before it sent the command.
    ShowWindow(m_hWnd, SW_RESTORE);
    m_minimized = false;
    UpdateWindowVisibility();
}

void PanelDialog::OnTrayExit() {
    // The command may come from another program (an installer) while the tray menu or an
    // About box is open: each runs a loop of its own inside the panel's, which has to return
    // before the panel's loop can end.
    EndMenu();
    EnumThreadWindows(GetCurrentThreadId(), EndOwnedDialog, reinterpret_cast<LPARAM>(m_hWnd));
    OnCancel();
}

void PanelDialog::OnDone() {
    PostMessageA(m_hWnd, WM_SYSCOMMAND, SC_MINIMIZE, 0);
}

void PanelDialog::OnPaint() {
    if (!IsIconic(m_hWnd)) {
        Default();
        return;
    }
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(m_hWnd, &paint);
    SendMessageA(m_hWnd, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    const int iconWidth = GetSystemMetrics(SM_CXICON);
    const int iconHeight = GetSystemMetrics(SM_CYICON);
    RECT client;
    GetClientRect(m_hWnd, &client);
    const int x = (client.right - client.left - iconWidth + 1) / 2;
    const int y = (client.bottom - client.top - iconHeight + 1) / 2;
    DrawIcon(dc, x, y, m_hIcon);
    EndPaint(m_hWnd, &paint);
}

HCURSOR PanelDialog::OnQueryDragIcon() {
    return static_cast<HCURSOR>(m_hIcon);
}

// The user comes to look at the panel when it is shown (from the tray, by a second copy), when
// it is restored from its taskbar button, and when it is activated while in view; another
// program may have changed the driver's rate or buffer size since the panel last read them.

void PanelDialog::OnWindowPosChanging(const WINDOWPOS* position) {
    Default();
    if (position == nullptr) {
        return;
    }
    // Read before the panel appears, so that it never shows values that are gone.
    if ((position->flags & SWP_SHOWWINDOW) != 0 && !IsWindowVisible(m_hWnd)) {
        OnLookedAt();
    } else if ((position->flags & SWP_HIDEWINDOW) != 0) {
        m_readWhileShown = false;
    }
}

void PanelDialog::OnSize(UINT type, int /*width*/, int /*height*/) {
    Default();
    if (type == SIZE_MINIMIZED) {
        m_readWhileShown = false;
    } else if (type == SIZE_RESTORED && IsWindowVisible(m_hWnd)) {
        OnLookedAt();
    }
}

void PanelDialog::OnActivate(UINT state, HWND /*other*/, BOOL /*minimized*/) {
    Default();
    // The tray activates the hidden panel before it shows it: the show reads.
    if (state == WA_INACTIVE) {
        m_readWhileShown = false;
    } else if (IsWindowVisible(m_hWnd)) {
        OnLookedAt();
    }
}

void PanelDialog::OnLookedAt() {
    if (!m_readWhileShown) {
        RereadDriverValues();
        m_readWhileShown = true;
    }
}

BOOL PanelDialog::OnDeviceChange(UINT event, DWORD_PTR data) {
    // Only arrivals and completed removals carry a record that the system copies for the panel;
    // for every other event the data is whatever the sender put there, and is never read.
    if (event != DBT_DEVICEARRIVAL && event != DBT_DEVICEREMOVECOMPLETE) {
        return TRUE;
    }
    // Volumes and ports reach every top-level window unasked, in shorter records; only a unit
    // interface's record with a plausible name counts. Any name of five or more characters
    // does: it is not compared with anything.
    if (DeviceInterfaceNameLength(reinterpret_cast<const void*>(data)) >= 5) {
        ReopenDevice();
    }
    // Every event, a removal query included, is granted.
    return TRUE;
}

BOOL PanelDialog::OnPowerBroadcast(UINT event, LPARAM /*data*/) {
    // After sleep the units may hold other values or have lost their clock source, and the shell
    // may have lost the icon: a wake does what a unit arrival does, and brings the icon back.
    // The system announces every wake with PBT_APMRESUMEAUTOMATIC and, if a user woke it, with
    // PBT_APMRESUMESUSPEND, in either order on some systems; older systems send only the latter.
    // A wake is refreshed once, by whichever comes first; a refresh that could not read the
    // driver (a unit not ready yet after the bus reset) leaves the wake to the next one.
    if (event == PBT_APMSUSPEND) {
        m_wake = {};
        return TRUE;
    }
    if (event != PBT_APMRESUMEAUTOMATIC && event != PBT_APMRESUMESUSPEND) {
        return TRUE;
    }
    // A wake announces each kind once: one seen again belongs to the next wake, whose suspend
    // went unannounced.
    bool& announced =
        event == PBT_APMRESUMEAUTOMATIC ? m_wake.resumedAutomatically : m_wake.resumedByUser;
    if (announced) {
        m_wake = {};
    }
    announced = true;
    if (!m_wake.refreshed) {
        // The icon first: the driver's requests have no time limit.
        if (m_tray) {
            m_tray->RestoreIconIfLost();
        }
        m_wake.refreshed = ReopenDevice();
    }
    // Every power event is granted; none is refused.
    return TRUE;
}

void PanelDialog::OnSessionChange(UINT event, DWORD /*session*/) {
    // This session comes to the console: its user's clock source goes to the units, as after a
    // plug. Any other program may send this message too; all it can cause is a refresh, which
    // sends the clock source only when this session really is at the console.
    if (event == WTS_CONSOLE_CONNECT || event == WTS_SESSION_UNLOCK || event == WTS_SESSION_LOGON) {
        ReopenDevice();
    }
}

bool PanelDialog::IsAtConsole() const {
    return ConsoleSession::IsThisSessionAtConsole();
}
