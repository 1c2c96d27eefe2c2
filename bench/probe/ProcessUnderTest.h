#pragma once

// A program started for measurement or a test (a test::ChildProcess, killed when the object goes
// if it still runs), and what the bench reads of it from outside through Win32: its windows, its
// notification-area icon, its memory.

#include "ChildProcess.h"
#include "PanelState.h"

#include <windows.h>

class ProcessUnderTest : public test::ChildProcess {
public:
    // Its top-level window with exactly this caption, or null.
    HWND WindowCaptioned(const char* caption) const {
        return test::FindTopLevel(Id(), nullptr, caption);
    }
    // True if the shell holds an icon with this id for one of its windows.
    bool HasTrayIcon(UINT iconId) const { return panel::TrayIconOwner(Id(), iconId) != nullptr; }
    // Its window `caption` is hidden in the tray with its icon `iconId` (panel::IsHiddenInTray).
    bool IsHiddenInTray(const char* caption, UINT iconId) const;
    // Waits, looking every millisecond, until it is hidden in the tray: false when it ends
    // first or is not there after `timeoutMs`.
    bool ReachesTray(const char* caption, UINT iconId, DWORD timeoutMs) const;
    // Ends it as the user does, through "E&xit" to its window `caption`: false, and killed, when
    // it has not ended 10 s later.
    bool Exit(const char* caption);

    // Private bytes committed: PrivateUsage, or PagefileUsage where the system leaves
    // PrivateUsage at 0 (Wine 8); the two are the same figure on Windows. 0 on failure.
    SIZE_T PrivateBytes() const;
};
