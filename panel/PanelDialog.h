#pragma once

#include "CComboBox.h"
#include "CDialog.h"
#include "CInstanceChecker.h"
#include "ConsoleSession.h"
#include "ControlRecords.h"
#include "resource.h"

#include <windows.h>

#include <memory>

class CSystemTray;

// The main panel: a modal dialog that lives hidden in the notification area. It shows the
// driver's sample rate, the units' clock source and the driver's buffer size (as latency), and
// sends the user's choices back. Its model (PanelDialogModel.cpp) reads the driver at start-up,
// after a unit arrives or leaves, after a wake and when its session comes to the console, and
// reads the rate and the buffer size again whenever the user looks; its window side
// (PanelDialog.cpp) handles the tray, the system menu, minimising to the tray, showing, and
// device and session notifications.
class PanelDialog : public CDialog {
public:
    enum { IDD = IDD_KESTREL_DIALOG };

    explicit PanelDialog(CWnd* parent = nullptr);
    ~PanelDialog() override;

    BOOL DestroyWindow() override;
    BOOL OnInitDialog() override;

    // The panel model. A refresh, or a reopen, is true when it could read the sample rate.
    bool RefreshPanel();
    bool ReopenDevice();
    // Reads the rate and the buffer size, which other programs may change through the driver,
    // and shows them as a refresh does; sends nothing. After a rate read that failed it reopens
    // the driver instead, as for an arrival.
    void RereadDriverValues();
    int LoadClockSource();
    // Sends the clock source to every unit; false at the first unit that failed.
    bool ApplyClockSource();
    // Whether this panel's session is the one at the console, whose user sets the units' clock.
    virtual bool IsAtConsole() const;
    void ApplyCpuLevel(int level);

    bool RegisterDeviceNotifications(const GUID& interfaceClass);
    CInstanceChecker& InstanceChecker() { return m_instanceChecker; }
    void UpdateWindowVisibility();

    // Rates and buffer sizes the panel offers, each list ending in -1. A list position is an
    // index into its table.
    static const int kSampleRates[];
    static const int kBufferSizes[];

protected:
    DECLARE_MESSAGE_TABLE(PanelDialog)

    void OnSysCommand(UINT command, LPARAM lParam);
    void OnTrayRestore();
    void OnTrayExit();
    void OnPaint();
    void OnActivate(UINT state, HWND other, BOOL minimized);
    void OnWindowPosChanging(const WINDOWPOS* position);
    void OnSize(UINT type, int width, int height);
    // The user comes to look at the panel: it reads the driver, once until they look away
    // (the panel is hidden, minimised or deactivated).
    void OnLookedAt();
    HCURSOR OnQueryDragIcon();
    BOOL OnDeviceChange(UINT event, DWORD_PTR data);
    BOOL OnPowerBroadcast(UINT event, LPARAM data);
    void OnSessionChange(UINT event, DWORD session);
    void OnSelchangeSampleRate();
    void OnSelchangeClockSource();
    void OnSelchangeBufferSize();
    void OnCpuLevel(UINT commandId);
    void OnDone();

    // Takes the dialog's three lists by control id.
    void AttachLists();

    HICON m_hIcon;
    HDEVNOTIFY m_deviceNotify;
    SampleRateRecord m_rateRecord;
    BufferSizeRecord m_bufferRecord;
    BufferSizeRecord m_bufferRecord2;
    CComboBox m_rateList;
    CComboBox m_clockList;
    CComboBox m_bufferList;
    int m_clockSource;
    int m_unitCount;
    HICON m_trayIcon;
    bool m_minimized;
    std::unique_ptr<CSystemTray> m_tray;
    UINT m_trayMessage;
    CInstanceChecker m_instanceChecker;
    // The wake under way: the resume events it has announced, and whether a refresh of it read
    // the driver (see OnPowerBroadcast).
    struct Wake {
        bool resumedAutomatically = false;
        bool resumedByUser = false;
        bool refreshed = false;
    };
    Wake m_wake;
    // The driver's values have been read since the user last came to look at the panel.
    bool m_readWhileShown;
    // The last read of the sample rate failed: the driver or its units were gone.
    bool m_rateReadFailed;
    ConsoleSession m_session;

private:
    // The rate and the buffer size as the driver has them, into the cached records and the
    // lists; true when the rate could be read.
    bool ShowSampleRate();
    void ShowBufferSize();
    void RebuildRateList();
    void RebuildClockList();
    void RebuildBufferList();
};
