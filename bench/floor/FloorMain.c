/* The benchmark's floor: the panel's required start-up, down to the platform calls and nothing
 * else. Plain C, no framework, no C++ runtime; it carries the panel's own resources (dialog 102
 * with its initial list entries, the two 24-bit bitmaps, icon 128, menu 135, the manifest that
 * asks for common controls 6), so that the panel's start-up and memory beside it show what our
 * code costs beyond the work that has to be done. It makes these calls, in the panel's order:
 *
 *  1. LoadStringA 0xE000, GetModuleFileNameA               the application name (settings root);
 *     InitializeCriticalSection                             the unit channel's request lock
 *  2. InitCommonControls                                    common controls 6, with the manifest
 *  3. RegisterWindowMessageA "KESTREL tray notification"
 *  4. CreateMutexA unnamed; CreateMutexA "KESTREL App"      the data and the start-up mutex
 *  5. LoadIconA 128
 *  6. CreateFileA control device; DeviceIoControl 0x80882040 (unit list), then 0x80882044 (unit
 *     information) once per listed unit
 *  7. WaitForSingleObject start-up mutex
 *  8. OpenFileMappingA "CInstanceChecker_MMF_KESTREL App"  (none: no other copy runs)
 *  9. CreateDialogParamA 102 and a modal loop of its own, as the panel's framework runs it
 *     (GetMessageA, IsDialogMessageA, TranslateMessage, DispatchMessageA); during WM_INITDIALOG:
 *     a. FindResourceA 102/240, LoadResource, LockResource, SizeofResource; CB_ADDSTRING for each
 *        initial list entry
 *     b. layout at 96 dpi: FindResourceA 102/RT_DIALOG, LoadResource, LockResource; CreateFontW;
 *        WM_GETFONT, WM_SETFONT; BeginPaint, SelectObject, GetTextMetricsA, GetTextExtentPointA,
 *        SelectObject, EndPaint; GetClientRect, ClientToScreen twice, AdjustWindowRectEx,
 *        MoveWindow; per control GetWindow, GetDlgCtrlID, MoveWindow, WM_SETFONT; FreeResource
 *     c. GetSystemMenu, LoadStringA 101, AppendMenuA separator and "About" entry
 *     d. WM_SETICON big and small
 *     e. GetSystemMenu, ModifyMenuA SC_CLOSE
 *     f. OpenFileMappingA (none), CreateFileMappingA 4 bytes, MapViewOfFile, WaitForSingleObject
 *        data mutex, the window handle written, UnmapViewOfFile, ReleaseMutex start-up mutex,
 *        ReleaseMutex data mutex
 *     g. RegisterDeviceNotificationA for the unit interface class
 *     h. GetDlgItem 1000, 1001, 1003
 *     i. RegCreateKeyExA, RegQueryValueExA, RegCloseKey              the stored clock source
 *     j. DeviceIoControl 0x80882030 (sample rate); rate list: CB_RESETCONTENT, CB_ADDSTRING per
 *        rate, CB_SELECTSTRING
 *     k. RegCreateKeyExA, RegQueryValueExA, RegCloseKey              read again by the refresh
 *     l. SetupDiGetClassDevsA; SetupDiEnumDeviceInterfaces; SetupDiGetDeviceInterfaceDetailA
 *        twice; CreateFileA overlapped; CreateEventA; under the request lock DeviceIoControl
 *        0x80883004 (the unit's clock-source frame), GetOverlappedResult if pending; CloseHandle
 *        twice; the same for the second unit when two are listed; SetupDiDestroyDeviceInfoList
 *     m. clock list: CB_RESETCONTENT, EnableWindow, CB_ADDSTRING each, CB_SELECTSTRING; rate list
 *        CB_GETCURSEL
 *     n. DeviceIoControl 0x80882108 (buffer size); buffer list: CB_RESETCONTENT, EnableWindow,
 *        CB_ADDSTRING per size, CB_SELECTSTRING
 *     o. LoadIconA 128
 *     p. PostMessageA WM_SYSCOMMAND SC_MINIMIZE
 *     q. GetVersion; RegisterClassA; CreateWindowExA hidden WS_POPUP; Shell_NotifyIconA NIM_ADD
 *        (88 bytes, id 135, tip "KESTREL")
 *     r. FindResourceA, LoadResource, LockResource; WM_SETFONT with the previous font to the
 *        dialog and its controls; FreeResource; DeleteObject
 * 10. the modal loop: WM_SYSCOMMAND SC_MINIMIZE, DefWindowProcA (minimised), ShowWindow SW_HIDE
 *
 * Command 0x8004 ("E&xit") or Escape ends it: Shell_NotifyIconA NIM_DELETE, DestroyWindow,
 * EndDialog and the end of the loop, DestroyWindow of the dialog, then the handles are closed
 * and the lock deleted.
 *
 * Not DialogBoxParamA: the platform's modal loop shows its dialog, restored, the first time its
 * message queue goes idle, which comes after the posted SC_MINIMIZE has hidden it. */
#include <windows.h>

#include <commctrl.h>
#include <dbt.h>
#include <setupapi.h>
#include <shellapi.h>

#include "resource.h"

#include <string.h>

/* Driver requests. */
#define GET_SAMPLE_RATE 0x80882030u
#define GET_UNIT_LIST 0x80882040u
#define GET_UNIT_INFO 0x80882044u
#define GET_BUFFER_SIZE 0x80882108u
#define SEND_REQUEST 0x80883004u
#define MAX_UNITS 64
#define UNIT_INFO_SIZE 424
#define REQUEST_BLOCK_SIZE 520
#define RESPONSE_BLOCK_SIZE 516

#define TRAY_ICON_ID IDR_TRAY_MENU

static const char kControlDevice[] = "\\\\.\\{995949F0-6D7F-4c14-9F0A-2F26E3255C2B}";
static const GUID kUnitInterface = {
    0x995949F0, 0x6D7F, 0x4C14, {0x9F, 0x0A, 0x2F, 0x26, 0xE3, 0x25, 0x5C, 0x2B}};
static const char kBlockName[] = "CInstanceChecker_MMF_KESTREL App";
static const int kSampleRates[] = {44100, 48000, 88200, 96000};
static const int kBufferSizes[] = {1500, 2000, 2500,  3000,  3500,  4000,
                                   6000, 8000, 10000, 12000, 18000, 25000};
/* The selector CONTROL frame; byte 7 is the unit's input plug (1: internal clock). */
static const BYTE kSelectorFrame[9] = {0x00, 0x08, 0xB8, 0x80, 0x01, 0x10, 0x02, 0x01, 0x01};

/* The process's state: one of each, as in the panel. */
static char g_appName[MAX_PATH];
static HANDLE g_dataMutex;
static HANDLE g_startupMutex;
static HANDLE g_controlDevice = INVALID_HANDLE_VALUE;
static HANDLE g_block;
static HICON g_icon;
static UINT g_trayMessage;
static int g_unitCount;
static HWND g_trayWindow;
static BOOL g_minimized;
static BOOL g_running;
static HFONT g_layoutFont;
static HFONT g_previousFont;
static CRITICAL_SECTION g_unitRequestLock;

static DWORD ControlRequest(DWORD code, const void* input, DWORD inputSize, void* output,
                            DWORD outputSize) {
    DWORD bytes = 0;
    if (g_controlDevice == INVALID_HANDLE_VALUE) {
        return ERROR_INVALID_HANDLE;
    }
    return DeviceIoControl(g_controlDevice, code, (void*)input, inputSize, output, outputSize,
                           &bytes, NULL)
               ? 0
               : GetLastError();
}

static void ReadAppName(void) {
    char path[MAX_PATH] = {0};
    char* name = path;
    char* at;
    char* dot = NULL;
    if (LoadStringA(GetModuleHandleA(NULL), 0xE000, g_appName, sizeof(g_appName)) > 0) {
        return;
    }
    GetModuleFileNameA(NULL, path, MAX_PATH);
    for (at = path; *at != '\0'; ++at) {
        if (*at == '\\' || *at == '/') {
            name = at + 1;
            dot = NULL;
        } else if (*at == '.') {
            dot = at;
        }
    }
    if (dot != NULL) {
        *dot = '\0';
    }
    lstrcpynA(g_appName, name, sizeof(g_appName));
}

static void OpenDriverAndListUnits(void) {
    DWORD list[1 + MAX_UNITS] = {0};
    BYTE info[UNIT_INFO_SIZE];
    DWORD count;
    DWORD i;
    g_controlDevice = CreateFileA(kControlDevice, GENERIC_READ | GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING, 0, NULL);
    if (ControlRequest(GET_UNIT_LIST, NULL, 0, list, sizeof(list)) != 0) {
        return;
    }
    count = list[0] < MAX_UNITS ? list[0] : MAX_UNITS;
    for (i = 0; i < count; ++i) {
        if (ControlRequest(GET_UNIT_INFO, &list[1 + i], sizeof(DWORD), info, sizeof(info)) == 0) {
            ++g_unitCount;
        }
    }
}

static int ReadClockSource(void) {
    char path[MAX_PATH + 64];
    HKEY key = NULL;
    DWORD type = 0;
    DWORD value = 0;
    DWORD size = sizeof(value);
    LONG error;
    wsprintfA(path, "software\\Quillmar\\%s\\KESTREL", g_appName);
    if (RegCreateKeyExA(HKEY_CURRENT_USER, path, 0, NULL, REG_OPTION_NON_VOLATILE,
                        KEY_READ | KEY_WRITE, NULL, &key, NULL) != ERROR_SUCCESS) {
        return 0;
    }
    error = RegQueryValueExA(key, "SPDIFSync", NULL, &type, (BYTE*)&value, &size);
    RegCloseKey(key);
    return error == ERROR_SUCCESS && type == REG_DWORD ? (int)value : 0;
}

/* Opens the unit interface at `index`, sends it the frame and closes it again. */
static BOOL SendFrameToUnit(HDEVINFO set, DWORD index, BYTE plug) {
    SP_DEVICE_INTERFACE_DATA interfaceData;
    SP_DEVINFO_DATA deviceInfo;
    union {
        SP_DEVICE_INTERFACE_DETAIL_DATA_A detail;
        char bytes[sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A) + MAX_PATH * 2];
    } detail;
    DWORD detailSize = 0;
    BYTE request[REQUEST_BLOCK_SIZE] = {0};
    BYTE response[RESPONSE_BLOCK_SIZE] = {0};
    OVERLAPPED overlapped;
    DWORD bytes = 0;
    DWORD leadingWord = 2000;
    DWORD frameLength = sizeof(kSelectorFrame);
    HANDLE unit;
    BOOL sent;

    ZeroMemory(&interfaceData, sizeof(interfaceData));
    interfaceData.cbSize = sizeof(interfaceData);
    if (!SetupDiEnumDeviceInterfaces(set, NULL, &kUnitInterface, index, &interfaceData)) {
        return FALSE;
    }
    SetupDiGetDeviceInterfaceDetailA(set, &interfaceData, NULL, 0, &detailSize, NULL);
    if (detailSize < sizeof(detail.detail) || detailSize > sizeof(detail)) {
        return FALSE;
    }
    ZeroMemory(&detail, sizeof(detail));
    detail.detail.cbSize = sizeof(detail.detail);
    ZeroMemory(&deviceInfo, sizeof(deviceInfo));
    deviceInfo.cbSize = sizeof(deviceInfo);
    if (!SetupDiGetDeviceInterfaceDetailA(set, &interfaceData, &detail.detail, detailSize, NULL,
                                          &deviceInfo)) {
        return FALSE;
    }
    unit = CreateFileA(detail.detail.DevicePath, GENERIC_READ | GENERIC_WRITE,
                       FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING,
                       FILE_FLAG_OVERLAPPED, NULL);
    if (unit == INVALID_HANDLE_VALUE) {
        return FALSE;
    }
    ZeroMemory(&overlapped, sizeof(overlapped));
    overlapped.hEvent = CreateEventA(NULL, FALSE, FALSE, NULL);
    memcpy(request, &leadingWord, sizeof(leadingWord));
    memcpy(request + 4, &frameLength, sizeof(frameLength));
    memcpy(request + 8, kSelectorFrame, sizeof(kSelectorFrame));
    request[8 + 7] = plug;
    EnterCriticalSection(&g_unitRequestLock);
    sent = DeviceIoControl(unit, SEND_REQUEST, request, sizeof(request), response, sizeof(response),
                           &bytes, &overlapped);
    if (!sent && GetLastError() == ERROR_IO_PENDING) {
        sent = GetOverlappedResult(unit, &overlapped, &bytes, TRUE);
    }
    LeaveCriticalSection(&g_unitRequestLock);
    CloseHandle(unit);
    CloseHandle(overlapped.hEvent);
    return sent;
}

static void SendClockSource(int clockSource) {
    HDEVINFO set =
        SetupDiGetClassDevsA(&kUnitInterface, NULL, NULL, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE) {
        return;
    }
    if (SendFrameToUnit(set, 0, clockSource == 1 ? 0 : 1) && g_unitCount == 2) {
        SendFrameToUnit(set, 1, clockSource == 2 ? 0 : 1);
    }
    SetupDiDestroyDeviceInfoList(set);
}

static void AddText(HWND list, const char* text, BOOL select) {
    SendMessageA(list, CB_ADDSTRING, 0, (LPARAM)text);
    if (select) {
        SendMessageA(list, CB_SELECTSTRING, (WPARAM)-1, (LPARAM)text);
    }
}

static void AddThousandths(HWND list, int value, const char* unit, BOOL select) {
    char text[32];
    wsprintfA(text, "%d.%01d %s", value / 1000, (value % 1000) / 100, unit);
    AddText(list, text, select);
}

static void RefreshLists(HWND rates, HWND clocks, HWND buffers) {
    int rate[2] = {0, -1};
    int buffer[4] = {-1, 0, 0, 0};
    int clockSource;
    int i;
    if (ControlRequest(GET_SAMPLE_RATE, NULL, 0, rate, sizeof(rate)) != 0) {
        SendMessageA(rates, CB_RESETCONTENT, 0, 0);
        AddText(rates, " No Device", TRUE);
        EnableWindow(clocks, FALSE);
    } else {
        SendMessageA(rates, CB_RESETCONTENT, 0, 0);
        for (i = 0; i < (g_unitCount == 1 ? 4 : 2); ++i) {
            AddThousandths(rates, kSampleRates[i], "kHz", kSampleRates[i] == rate[1]);
        }
        clockSource = ReadClockSource();
        SendClockSource(clockSource);
        SendMessageA(clocks, CB_RESETCONTENT, 0, 0);
        EnableWindow(clocks, TRUE);
        AddText(clocks, "Internal", clockSource == 0);
        if (g_unitCount != 2) {
            AddText(clocks, "S/PDIF", clockSource != 0 && g_unitCount == 1);
        } else {
            AddText(clocks, "S/PDIF 1", clockSource == 1);
            AddText(clocks, "S/PDIF 2", clockSource == 2);
        }
    }
    if (SendMessageA(rates, CB_GETCURSEL, 0, 0) == CB_ERR) {
        SendMessageA(rates, CB_SETCURSEL, 0, 0);
    }
    if (ControlRequest(GET_BUFFER_SIZE, NULL, 0, buffer, sizeof(buffer)) != 0) {
        EnableWindow(buffers, FALSE);
        return;
    }
    SendMessageA(buffers, CB_RESETCONTENT, 0, 0);
    EnableWindow(buffers, TRUE);
    for (i = 0; i < 12; ++i) {
        AddThousandths(buffers, kBufferSizes[i], "ms", kBufferSizes[i] == buffer[0]);
    }
}

static WORD ReadWord(const BYTE* at) {
    WORD value;
    memcpy(&value, at, sizeof(value));
    return value;
}

static DWORD ReadDword(const BYTE* at) {
    DWORD value;
    memcpy(&value, at, sizeof(value));
    return value;
}

static int ReadShort(const BYTE* at) {
    return (short)ReadWord(at);
}

/* The initial list entries: records of control id, 16-bit message, length, text. */
static void AddInitialEntries(HWND dialog) {
    HMODULE module = GetModuleHandleA(NULL);
    HRSRC info =
        FindResourceA(module, MAKEINTRESOURCEA(IDD_KESTREL_DIALOG), MAKEINTRESOURCEA(RT_DLGINIT));
    const BYTE* at;
    const BYTE* end;
    if (info == NULL) {
        return;
    }
    at = (const BYTE*)LockResource(LoadResource(module, info));
    end = at + SizeofResource(module, info);
    while (end - at >= 8 && ReadWord(at) != 0) {
        SendDlgItemMessageA(dialog, ReadWord(at), CB_ADDSTRING, 0, (LPARAM)(at + 8));
        at += 8 + ReadDword(at + 4);
    }
}

static const BYTE* SkipField(const BYTE* at) {
    if (ReadWord(at) == 0xFFFF) {
        return at + 4;
    }
    while (ReadWord(at) != 0) {
        at += 2;
    }
    return at + 2;
}

static const BYTE* Align4(const BYTE* at) {
    return at + ((4 - ((ULONG_PTR)at & 3)) & 3);
}

static int Scale(int value, int units, double divisor) {
    return (int)(value * units / divisor + 0.5);
}

/* The dialog and its controls laid out from the extended template with the template's font at
 * 96 dpi. */
static void ApplyLayout(HWND dialog) {
    HMODULE module = GetModuleHandleA(NULL);
    HRSRC info = FindResourceA(module, MAKEINTRESOURCEA(IDD_KESTREL_DIALOG), RT_DIALOG);
    HGLOBAL loaded = LoadResource(module, info);
    const BYTE* dialogTemplate = (const BYTE*)LockResource(loaded);
    const BYTE* at = dialogTemplate + 26;
    const WCHAR* face;
    HDC dc;
    PAINTSTRUCT paint;
    HGDIOBJ old;
    TEXTMETRICA metrics;
    SIZE extent;
    int unitX, unitY, count, i;
    RECT client;
    POINT corners[2];
    HWND child = NULL;
    const BYTE* item;

    at = SkipField(SkipField(SkipField(at))); /* menu, class, title */
    face = (const WCHAR*)(at + 6);
    item = Align4(SkipField(at + 6));
    g_layoutFont = CreateFontW(-(int)(ReadWord(at) * 96 / 72.0 + 0.5), 0, 0, 0, ReadWord(at + 2),
                               at[4], FALSE, FALSE, DEFAULT_CHARSET, 0, 0, 0, 0, face);
    g_previousFont = (HFONT)SendMessageA(dialog, WM_GETFONT, 0, 0);
    SendMessageA(dialog, WM_SETFONT, (WPARAM)g_layoutFont, TRUE);

    dc = BeginPaint(dialog, &paint);
    old = SelectObject(dc, g_layoutFont);
    GetTextMetricsA(dc, &metrics);
    GetTextExtentPointA(dc, "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ", 52, &extent);
    SelectObject(dc, old);
    EndPaint(dialog, &paint);
    unitX = (extent.cx / 26 + 1) / 2;
    unitY = metrics.tmHeight;

    GetClientRect(dialog, &client);
    corners[0].x = client.left;
    corners[0].y = client.top;
    corners[1].x = client.left + Scale(ReadShort(dialogTemplate + 22), unitX, 4.0);
    corners[1].y = client.top + Scale(ReadShort(dialogTemplate + 24), unitY, 8.0);
    ClientToScreen(dialog, &corners[0]);
    ClientToScreen(dialog, &corners[1]);
    SetRect(&client, corners[0].x, corners[0].y, corners[1].x, corners[1].y);
    AdjustWindowRectEx(&client, ReadDword(dialogTemplate + 12), FALSE,
                       ReadDword(dialogTemplate + 8));
    MoveWindow(dialog, client.left, client.top, client.right - client.left,
               client.bottom - client.top, TRUE);

    count = ReadWord(dialogTemplate + 16);
    for (i = 0; i < count; ++i) {
        child = GetWindow(i == 0 ? dialog : child, i == 0 ? GW_CHILD : GW_HWNDNEXT);
        while (child != NULL && (DWORD)GetDlgCtrlID(child) != ReadDword(item + 20)) {
            child = GetWindow(child, GW_HWNDNEXT);
        }
        if (child == NULL) {
            break;
        }
        MoveWindow(child, Scale(ReadShort(item + 12), unitX, 4.0),
                   Scale(ReadShort(item + 14), unitY, 8.0), Scale(ReadShort(item + 16), unitX, 4.0),
                   Scale(ReadShort(item + 18), unitY, 8.0), TRUE);
        SendMessageA(child, WM_SETFONT, (WPARAM)g_layoutFont, TRUE);
        at = SkipField(SkipField(item + 24)); /* class, title */
        item = Align4(at + 2 + ReadWord(at));
    }
    FreeResource(loaded);
}

/* The dialog and its controls get their previous font back; the layout stays. */
static void RestoreFonts(HWND dialog) {
    HMODULE module = GetModuleHandleA(NULL);
    HGLOBAL loaded = LoadResource(
        module, FindResourceA(module, MAKEINTRESOURCEA(IDD_KESTREL_DIALOG), RT_DIALOG));
    HWND child;
    LockResource(loaded);
    SendMessageA(dialog, WM_SETFONT, (WPARAM)g_previousFont, TRUE);
    for (child = GetWindow(dialog, GW_CHILD); child != NULL;
         child = GetWindow(child, GW_HWNDNEXT)) {
        SendMessageA(child, WM_SETFONT, (WPARAM)g_previousFont, TRUE);
    }
    FreeResource(loaded);
    DeleteObject(g_layoutFont);
}

static void PublishWindow(HWND dialog) {
    HANDLE existing = OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, kBlockName);
    DWORD* view;
    if (existing != NULL) {
        CloseHandle(existing);
        return;
    }
    g_block = CreateFileMappingA(INVALID_HANDLE_VALUE, NULL, PAGE_READWRITE, 0, sizeof(DWORD),
                                 kBlockName);
    if (g_block == NULL) {
        return;
    }
    view = (DWORD*)MapViewOfFile(g_block, FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, sizeof(DWORD));
    if (view == NULL) {
        return;
    }
    WaitForSingleObject(g_dataMutex, INFINITE);
    *view = HandleToULong(dialog);
    UnmapViewOfFile(view);
    ReleaseMutex(g_startupMutex);
    ReleaseMutex(g_dataMutex);
}

static void RegisterForUnits(HWND dialog) {
    DEV_BROADCAST_DEVICEINTERFACE_A filter;
    ZeroMemory(&filter, sizeof(filter));
    filter.dbcc_size = sizeof(filter);
    filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    filter.dbcc_classguid = kUnitInterface;
    RegisterDeviceNotificationA(dialog, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
}

static LRESULT CALLBACK TrayWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcA(window, message, wParam, lParam);
}

static void AddTrayIcon(HICON icon) {
    WNDCLASSA windowClass;
    NOTIFYICONDATAA data;
#if defined(_MSC_VER)
#pragma warning(suppress : 4996) /* GetVersion is deprecated; only the major version is needed */
#endif
    if (LOBYTE(LOWORD(GetVersion())) < 4) {
        return;
    }
    ZeroMemory(&windowClass, sizeof(windowClass));
    windowClass.lpfnWndProc = TrayWindowProc;
    windowClass.hInstance = GetModuleHandleA(NULL);
    windowClass.lpszClassName = "KestrelFloorTray";
    RegisterClassA(&windowClass);
    g_trayWindow = CreateWindowExA(0, windowClass.lpszClassName, "", WS_POPUP, 0, 0, 10, 10, NULL,
                                   NULL, windowClass.hInstance, NULL);
    ZeroMemory(&data, sizeof(data));
    data.cbSize = NOTIFYICONDATAA_V1_SIZE;
    data.hWnd = g_trayWindow;
    data.uID = TRAY_ICON_ID;
    data.hIcon = icon;
    data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    data.uCallbackMessage = g_trayMessage;
    lstrcpynA(data.szTip, "KESTREL", 64);
    Shell_NotifyIconA(NIM_ADD, &data);
}

static void DeleteTrayIcon(void) {
    NOTIFYICONDATAA data;
    ZeroMemory(&data, sizeof(data));
    data.cbSize = NOTIFYICONDATAA_V1_SIZE;
    data.hWnd = g_trayWindow;
    data.uID = TRAY_ICON_ID;
    Shell_NotifyIconA(NIM_DELETE, &data);
    DestroyWindow(g_trayWindow);
}

static void InitPanel(HWND dialog) {
    HMENU systemMenu;
    char about[128];
    HWND rates, clocks, buffers;
    AddInitialEntries(dialog);
    ApplyLayout(dialog);
    if ((systemMenu = GetSystemMenu(dialog, FALSE)) != NULL &&
        LoadStringA(GetModuleHandleA(NULL), IDS_ABOUTBOX, about, sizeof(about)) > 0) {
        AppendMenuA(systemMenu, MF_SEPARATOR, 0, NULL);
        AppendMenuA(systemMenu, MF_STRING, IDM_ABOUTBOX, about);
    }
    SendMessageA(dialog, WM_SETICON, ICON_BIG, (LPARAM)g_icon);
    SendMessageA(dialog, WM_SETICON, ICON_SMALL, (LPARAM)g_icon);
    if ((systemMenu = GetSystemMenu(dialog, FALSE)) != NULL) {
        ModifyMenuA(systemMenu, SC_CLOSE, MF_BYCOMMAND | MF_STRING | MF_GRAYED, 0, NULL);
    }
    PublishWindow(dialog);
    RegisterForUnits(dialog);
    rates = GetDlgItem(dialog, IDC_SAMPLE_RATE);
    clocks = GetDlgItem(dialog, IDC_CLOCK_SOURCE);
    buffers = GetDlgItem(dialog, IDC_BUFFER_SIZE);
    ReadClockSource(); /* the panel's start value; the refresh reads it again */
    RefreshLists(rates, clocks, buffers);
    PostMessageA(dialog, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    AddTrayIcon(LoadIconA(GetModuleHandleA(NULL), MAKEINTRESOURCEA(IDR_MAINFRAME)));
    RestoreFonts(dialog);
}

static INT_PTR CALLBACK FloorDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    (void)lParam;
    switch (message) {
    case WM_INITDIALOG:
        InitPanel(dialog);
        return TRUE;
    case WM_SYSCOMMAND:
        if (wParam != SC_MINIMIZE || g_minimized) {
            return FALSE;
        }
        g_minimized = TRUE;
        DefWindowProcA(dialog, message, wParam, 0);
        ShowWindow(dialog, SW_HIDE);
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == ID_TRAY_EXIT || LOWORD(wParam) == IDCANCEL) {
            DeleteTrayIcon();
            EndDialog(dialog, IDCANCEL);
            g_running = FALSE;
            return TRUE;
        }
        return FALSE;
    default:
        return FALSE;
    }
}

static void RunPanelDialog(HINSTANCE instance) {
    MSG msg;
    HWND dialog = CreateDialogParamA(instance, MAKEINTRESOURCEA(IDD_KESTREL_DIALOG), NULL,
                                     FloorDialogProc, 0);
    if (dialog == NULL) {
        return;
    }
    g_running = TRUE;
    while (g_running && GetMessageA(&msg, NULL, 0, 0) > 0) {
        if (!IsDialogMessageA(dialog, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
    DestroyWindow(dialog);
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show) {
    HANDLE running;
    (void)previous;
    (void)commandLine;
    (void)show;
    ReadAppName();
    InitializeCriticalSection(&g_unitRequestLock);
    InitCommonControls();
    g_trayMessage = RegisterWindowMessageA("KESTREL tray notification");
    g_dataMutex = CreateMutexA(NULL, FALSE, NULL);
    g_startupMutex = CreateMutexA(NULL, FALSE, "KESTREL App");
    if (g_dataMutex == NULL || g_startupMutex == NULL) {
        return 0;
    }
    g_icon = LoadIconA(instance, MAKEINTRESOURCEA(IDR_MAINFRAME));
    OpenDriverAndListUnits();
    WaitForSingleObject(g_startupMutex, INFINITE);
    running = OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, kBlockName);
    if (running == NULL) {
        RunPanelDialog(instance);
    } else {
        CloseHandle(running);
    }
    if (g_controlDevice != INVALID_HANDLE_VALUE) {
        CloseHandle(g_controlDevice);
    }
    if (g_block != NULL) {
        CloseHandle(g_block);
    }
    CloseHandle(g_startupMutex);
    CloseHandle(g_dataMutex);
    DeleteCriticalSection(&g_unitRequestLock);
    return 0;
}
