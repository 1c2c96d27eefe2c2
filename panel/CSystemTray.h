#pragma once

#include "CWnd.h"

#include <windows.h>

#include <shellapi.h>

// The panel's icon in the notification area. The object's own window is a hidden popup that
// receives the shell's notifications for the icon; the icon does no work itself: a right click
// opens the tray menu (menu resource = icon id) and a double click sends the default entry's
// command, both to the application's main window as WM_COMMAND. When the shell makes its
// notification area anew ("TaskbarCreated", e.g. after a restart of the shell, or when the
// taskbar comes up after the program), the icon is added again. An add that fails (a shell still
// busy at logon) is tried again every few seconds for about two minutes; no timer runs while the
// shell holds the icon.
class CSystemTray : public CWnd {
    DECLARE_RUNTIME_CLASS(CSystemTray)

public:
    CSystemTray();
    // Removes the icon if shown, then destroys the hidden window.
    ~CSystemTray() override;

    // Creates the hidden window and adds the icon; true if the shell took it, else the add is
    // tried again later. Notifications go to `window` when it has a handle, else to the hidden
    // window. A tip longer than 63 characters is cut to 63. On systems before version 4 nothing
    // is created.
    BOOL CreateTrayIcon(CWnd* window, UINT message, const char* tip, HICON icon, UINT id);
    // Removes the icon asked for, even one whose add was reported as failed (the shell may have
    // taken it all the same), and ends the retries; harmless otherwise. A deleted icon stays
    // deleted.
    void DeleteTrayIcon();
    // Adds the icon again if the shell no longer holds it, as some shells forget icons over
    // sleep without announcing a new taskbar; nothing if none was asked for or it was deleted.
    // An add that fails starts the retries anew.
    void RestoreIconIfLost();

    // The callback message for this icon. `wParam` is the icon id, the low word of `lParam`
    // the mouse message. 1 if the event was for this icon and not dropped, else 0.
    virtual LRESULT HandleTrayMessage(WPARAM wParam, LPARAM lParam);

    // The CPU menu entry that matches the driver's level (139 "High", 138 "Medium", 137
    // "Low"), or 0 when the level is unknown or cannot be read. One driver request per call.
    UINT CurrentCpuMenuItem();

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    // Adds the icon again, with the same data, unless none was asked for or it was deleted; an
    // add that fails starts the retries anew.
    void OnTaskbarCreated();
    // Hands the icon to the shell again: shown if the shell took it, or still held it and
    // took the change. Once shown, the retries end.
    void AddIconAgain();
    // AddIconAgain; when the shell does not take the icon, the retries begin anew.
    void AddIconAgainOrLater();
    // (Re)starts the retries of an add that failed: the retry time begins anew.
    void RetryAddLater();
    void StopRetries();
    // One retry; the last one once the retry time has run out.
    void OnRetryTimer();

    // The timer of the hidden window that paces the retries.
    static constexpr UINT_PTR kRetryTimer = 1;
    static constexpr UINT kRetryIntervalMs = 3000;
    static constexpr DWORD kRetryTimeMs = 120000;

    // The result of the last add; a delete clears it.
    BOOL iconShown;
    // The icon as handed to the shell, in the original 88-byte form (cbSize says so): only the
    // fields up to a 64-byte szTip are used.
    NOTIFYICONDATAA iconData;
    UINT defaultItem;
    // `defaultItem` is a position in the tray menu rather than a command id.
    BOOL defaultItemByPosition;
    // The shell's registered "TaskbarCreated" message; 0 until the hidden window is made.
    UINT taskbarCreatedMessage;
    // kRetryTimer while the retries run, else 0; and when they began (GetTickCount).
    UINT_PTR retryTimer;
    DWORD retryStart;
};
